#pragma once

#include "HostApiExport.h"

#include <QList>
#include <QRect>
#include <QString>

class QWidget;

namespace hostapi {

class ISettingsStore;

// Where windows keep their state between runs. Shared between a window and the windows it opens
// (std::shared_ptr).
class HOSTAPI_EXPORT ILocalSettingsStorage {
public:
    virtual ~ILocalSettingsStorage();
    // Stores the window's geometry (its normal geometry when maximized) and whether it is maximized,
    // under the window's class name.
    virtual void SaveWindowState(const QWidget& AWindow) = 0;
    // Gives the window what was stored for its class, fitted into the available area of the screen
    // it was on (else the primary screen). False when nothing was stored.
    virtual bool RestoreWindowState(QWidget& AWindow) = 0;
    // The pane sizes of the splitter ASplitter (its object name) of AWindow; empty when none stored.
    virtual void SaveSplitterSizes(const QWidget& AWindow, const QString& ASplitter,
                                   const QList<int>& ASizes) = 0;
    virtual QList<int> RestoreSplitterSizes(const QWidget& AWindow, const QString& ASplitter) = 0;
    // The language the user chose last (one of TVRNLang::LanguageNames()), kept across starts;
    // empty when none was chosen yet.
    virtual void SaveLanguage(const QString& ALangName) = 0;
    virtual QString RestoreLanguage() = 0;
};

// Window states in the host's settings store: section "WINDOWSTATE", key = the window's class name
// (QMetaObject::className, with namespace), value "x,y,width,height,maximized" (maximized 0 or 1).
// Splitters: the same section, key = class name + "." + splitter name, value "size,size,...".
// The language: section "LOCALSETTINGS", key "LANGUAGE", the language name.
// A stored value that cannot be read raises EQVException; so does saving an unknown language.
class HOSTAPI_EXPORT LocalSettingsStorage : public ILocalSettingsStorage {
public:
    explicit LocalSettingsStorage(ISettingsStore& AStore);

    void SaveWindowState(const QWidget& AWindow) override;
    bool RestoreWindowState(QWidget& AWindow) override;
    void SaveSplitterSizes(const QWidget& AWindow, const QString& ASplitter,
                           const QList<int>& ASizes) override;
    QList<int> RestoreSplitterSizes(const QWidget& AWindow, const QString& ASplitter) override;
    void SaveLanguage(const QString& ALangName) override;
    QString RestoreLanguage() override;

    // AGeometry made no larger than AAvailable and moved into it.
    static QRect FitIntoArea(const QRect& AGeometry, const QRect& AAvailable);

    static QString Section();

private:
    ISettingsStore& FStore;
};

} // namespace hostapi
