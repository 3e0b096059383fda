#pragma once

#include "HostApiExport.h"

#include <QString>
#include <QVariant>
#include <QWidget>

#include <memory>

class QCloseEvent;

namespace hostapi {

class ILocalSettingsStorage;
class ISettingsStore;
class TFormSave;
class IScreenService;
class TDBFieldSchema;

// Base of a module's windows. The host creates a window from its module's form class list, sets its
// show parameters, shows it and then calls NotifyShown, which runs AfterShow.
//
// Every close by the user runs the close query FormCloseQuery and then the close hook FormClose, also
// for a window the host keeps and only hides: the hook saves what the user edited and may unbind what
// the window holds; AfterShow binds it again at the next show. A query that answers False or a hook
// that raises keeps the window open (the reason is shown). When the module is unloaded the host runs
// the hook once more (RunFormClose) only for a window still shown, or never closed, since its last
// show.
class HOSTAPI_EXPORT TPluginForm : public QWidget {
    Q_OBJECT

public:
    explicit TPluginForm(QWidget* AParent = nullptr);
    ~TPluginForm() override;

    // Host: runs once, after the window is created and before it is first shown; the window sets up
    // what depends on AScreen, the screen that opens it (e.g. whether its own tool bars are shown).
    virtual void InitializeUIState(const IScreenService& AScreen);
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

    // Close query: whether the window may close now (default True).
    virtual bool FormCloseQuery();
    // Close hook: save what the user edited, unbind what the window holds.
    virtual void FormClose();
    // Host, before it destroys the window: runs FormClose when it is due (see above); afterwards the
    // window counts as closed for good.
    void RunFormClose();
    bool FormClosed() const { return FFormClosed; }

    // Host: where the window keeps its geometry and splitter positions (restored at the first show,
    // saved at every close); nullptr: not kept.
    void SetWindowStateStorage(std::shared_ptr<ILocalSettingsStorage> AStorage);

    // Host services (see TQVMainInterface).
    IScreenService& GetScreen() const;
    TDBFieldSchema& GetDBFieldSchema() const;
    ISettingsStore& GetSaveSettings() const;

protected:
    // Runs the close query and hook of a user's close.
    void closeEvent(QCloseEvent* AEvent) override;
    void showEvent(QShowEvent* AEvent) override;

private:
    QVariant FShowParams;
    QString FLanguage;
    bool FAlreadyShown = false;
    bool FFormClosed = false;
    bool FCloseHookDue = true;
    bool FStateRestored = false;
    std::unique_ptr<TFormSave> FFormSave;
};

} // namespace hostapi
