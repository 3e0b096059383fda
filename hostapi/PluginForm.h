#pragma once

#include "HostApiExport.h"

#include <QString>
#include <QVariant>
#include <QWidget>

class QCloseEvent;

namespace hostapi {

class ISettingsStore;
class IScreenService;
class TDBFieldSchema;

// Base of a module's windows. The host creates a window from its module's form class list, sets its
// show parameters, shows it and then calls NotifyShown, which runs AfterShow. Before the host destroys
// a window it runs the closing hook FormClose once.
class HOSTAPI_EXPORT TPluginForm : public QWidget {
    Q_OBJECT

public:
    explicit TPluginForm(QWidget* AParent = nullptr);
    ~TPluginForm() override;

    // Runs after every show. AlreadyShown() is False during the first AfterShow and True afterwards.
    virtual void AfterShow();
    bool AlreadyShown() const { return FAlreadyShown; }
    // Host: the window has just been shown. Runs AfterShow, then marks the window as shown.
    void NotifyShown();

    // ALangName is one of TVRNLang::LanguageNames(). Derived windows switch their translation
    // components and texts.
    virtual void SetLanguage(const QString& ALangName);
    QString Language() const { return FLanguage; }

    // What the opener passed (the screen service's show parameters); invalid when nothing was passed.
    const QVariant& ShowParams() const { return FShowParams; }
    void SetShowParams(const QVariant& AParams) { FShowParams = AParams; }

    // Closing hook: the window is about to be destroyed (save what the user edited, free what the
    // window holds). Raising an exception from a user's close keeps the window open.
    virtual void FormClose();
    // Host: runs FormClose unless it has run already.
    void RunFormClose();
    bool FormClosed() const { return FFormClosed; }

    // Host services (see TQVMainInterface).
    IScreenService& GetScreen() const;
    TDBFieldSchema& GetDBFieldSchema() const;
    ISettingsStore& GetSaveSettings() const;

protected:
    // A window that is deleted on close runs its closing hook here; a failing hook is shown and the
    // window stays open.
    void closeEvent(QCloseEvent* AEvent) override;

private:
    QVariant FShowParams;
    QString FLanguage;
    bool FAlreadyShown = false;
    bool FFormClosed = false;
};

} // namespace hostapi
