#pragma once

#include "MenuModel.h"
#include "VRNLang.h"

#include <QList>
#include <QMainWindow>

class QAction;
class QActionGroup;
class QDockWidget;
class QLabel;
class QMenu;
class QProgressBar;
class QTabWidget;
class QTableView;

namespace qvhost {

class FirstStartDialog;
class HostSession;
class MessageLogModel;

// The host's main window: the menu "Datei" (the global menus "Neu", "Importieren", "Exportieren",
// "Einstellungen...", "Beenden"), one menu per section of
// the modules' form managers, the language menu "Sprache"; the database and the progress service's
// latest entry in the status bar; the dock "Protokoll" with the message sink's messages and the
// scheduler log. Its geometry is kept through ILocalSettingsStorage.
//
// Closing asks the session to shut its modules down: a module that refuses (or fails to unload)
// keeps the window open. Without a session the window has no module menus and closes at once.
class HostMainWindow : public QMainWindow {
    Q_OBJECT

public:
    // ASession (may be nullptr) must outlive the window.
    explicit HostMainWindow(HostSession* ASession = nullptr, QWidget* parent = nullptr);
    ~HostMainWindow() override;

    QMenu* mnuFile() const { return FmnuFile; }
    QAction* actSettings() const { return FactSettings; }
    QAction* actExit() const { return FactExit; }
    QMenu* mnuLanguage() const { return FmnuLanguage; }
    // The global menus "Neu", "Importieren", "Exportieren" in "Datei" (TQVGlobalMenu::MenuNames()
    // order), showing the actions of the live global menu clients.
    const QList<QMenu*>& GlobalMenus() const { return FGlobalMenus; }
    // The language menu's entry of ALangName (one of TVRNLang::LanguageNames()).
    QAction* LanguageAction(const QString& ALangName) const;
    // The module menus, in menu bar order.
    const QList<QMenu*>& ModuleMenus() const { return FModuleMenus; }
    QDockWidget* dckLog() const { return FdckLog; }

    // Builds the module menus anew from the session's modules.
    void BuildModuleMenus();
    // Shows the first-start dialog when the host's first start is not done yet and some module offers
    // a step; answers the open dialog, nullptr when none is shown. When the dialog closes the first
    // start is marked done and the chosen step is followed.
    FirstStartDialog* StartFirstStart();
    // Switches the host, its modules and their windows to ALangName.
    void SwitchLanguage(const QString& ALangName);

    // The database in use as the status bar shows it (never with a password).
    static QString DatabaseDescription();

protected:
    void closeEvent(QCloseEvent* AEvent) override;

private:
    void CreateGlobalMenus();
    void BuildGlobalMenus();
    void CreateLogDock();
    void RetranslateUi();
    void UpdateProgress();
    void OpenMenuEntry(const hostapi::TMenuEntry& AEntry);
    void FirstStartDialogFinished(FirstStartDialog* ADialog, int AResult);
    void RestoreGeometry();
    void SaveGeometry();

    void actSettingsExecute();
    void actExitExecute();

    HostSession* FSession;
    hostapi::TVRNLang FLang;

    QMenu* FmnuFile = nullptr;
    QList<QMenu*> FGlobalMenus;
    QAction* FactSettings = nullptr;
    QAction* FactExit = nullptr;
    QMenu* FmnuLanguage = nullptr;
    QActionGroup* FgrpLanguage = nullptr;
    QList<QMenu*> FModuleMenus;

    QLabel* FlblDatabase = nullptr;
    QLabel* FlblProgress = nullptr;
    QProgressBar* FpbProgress = nullptr;

    QDockWidget* FdckLog = nullptr;
    QTabWidget* FtabLog = nullptr;
    QTableView* FtvMessages = nullptr;
    QTableView* FtvSchedule = nullptr;
    MessageLogModel* FMessageLog = nullptr;
};

} // namespace qvhost
