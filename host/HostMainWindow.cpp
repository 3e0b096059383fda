#include "HostMainWindow.h"

#include "FirstStartDialog.h"
#include "HostSession.h"
#include "HostSettingsDialog.h"
#include "MenuMnemonics.h"
#include "MessageLogModel.h"

#include "Database.h"
#include "ExceptionDisplay.h"
#include "LocalSettingsStorage.h"
#include "QVGlobalMenuClient.h"
#include "MessageSink.h"
#include "ProgressService.h"
#include "QVMainInterface.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>

namespace qvhost {

namespace {

// Menu texts of the modules are shown as they are: "&" is no mnemonic there.
QString MenuText(const QString& AText) {
    QString text = AText;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QTableView* LogView(QAbstractItemModel* AModel, const QString& AName, QWidget* AParent) {
    auto* view = new QTableView(AParent);
    view->setObjectName(AName);
    view->setModel(AModel);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

} // namespace

HostMainWindow::HostMainWindow(HostSession* ASession, QWidget* parent)
    : QMainWindow(parent), FSession(ASession), FLang(QStringLiteral("HostMainWindow")) {
    setObjectName(QStringLiteral("HostMainWindow"));
    setWindowTitle(QStringLiteral("QV Host"));
    resize(1024, 700);

    FmnuFile = menuBar()->addMenu(QString());
    FmnuFile->setObjectName(QStringLiteral("mnuFile"));
    CreateGlobalMenus();
    FactSettings = FmnuFile->addAction(QString());
    FactSettings->setObjectName(QStringLiteral("actSettings"));
    connect(FactSettings, &QAction::triggered, this, &HostMainWindow::actSettingsExecute);
    FmnuFile->addSeparator();
    FactExit = FmnuFile->addAction(QString());
    FactExit->setObjectName(QStringLiteral("actExit"));
    FactExit->setShortcut(QKeySequence::Quit);
    connect(FactExit, &QAction::triggered, this, &HostMainWindow::actExitExecute);

    FmnuLanguage = menuBar()->addMenu(QString());
    FmnuLanguage->setObjectName(QStringLiteral("mnuLanguage"));
    FgrpLanguage = new QActionGroup(this);
    FgrpLanguage->setExclusive(true);
    for (const QString& language : hostapi::TVRNLang::LanguageNames()) {
        QAction* action = FmnuLanguage->addAction(hostapi::TVRNLang::LanguageDisplayName(language));
        action->setObjectName(QStringLiteral("actLanguage") + language);
        action->setData(language);
        action->setCheckable(true);
        action->setChecked(language == hostapi::TVRNLang::CurrentLanguage());
        FgrpLanguage->addAction(action);
        connect(action, &QAction::triggered, this, [this, language] { SwitchLanguage(language); });
    }

    FlblDatabase = new QLabel(this);
    FlblDatabase->setObjectName(QStringLiteral("lblDatabase"));
    statusBar()->addWidget(FlblDatabase);
    FlblProgress = new QLabel(this);
    FlblProgress->setObjectName(QStringLiteral("lblProgress"));
    FpbProgress = new QProgressBar(this);
    FpbProgress->setObjectName(QStringLiteral("pbProgress"));
    FpbProgress->setMaximumWidth(200);
    statusBar()->addPermanentWidget(FlblProgress);
    statusBar()->addPermanentWidget(FpbProgress);
    hostapi::ProgressService& progress = hostapi::ProgressService::Instance();
    connect(&progress, &hostapi::ProgressService::ProgressOpened, this, &HostMainWindow::UpdateProgress);
    connect(&progress, &hostapi::ProgressService::ProgressChanged, this, &HostMainWindow::UpdateProgress);
    connect(&progress, &hostapi::ProgressService::ProgressClosed, this, &HostMainWindow::UpdateProgress);

    CreateLogDock();
    RetranslateUi();
    UpdateProgress();
    BuildModuleMenus();
    RestoreGeometry();
}

HostMainWindow::~HostMainWindow() = default;

void HostMainWindow::CreateGlobalMenus() {
    for (const QString& name : hostapi::TQVGlobalMenu::MenuNames()) {
        QMenu* menu = FmnuFile->addMenu(QString());
        menu->setObjectName(QStringLiteral("mnu") + name);
        FGlobalMenus.append(menu);
    }
    FmnuFile->addSeparator();
    connect(&hostapi::TQVGlobalMenu::Instance(), &hostapi::TQVGlobalMenu::Changed, this,
            &HostMainWindow::BuildGlobalMenus);
    BuildGlobalMenus();
}

void HostMainWindow::BuildGlobalMenus() {
    const QStringList& names = hostapi::TQVGlobalMenu::MenuNames();
    for (qsizetype i = 0; i < names.size(); ++i) {
        QMenu* menu = FGlobalMenus.at(i);
        menu->clear();
        const QList<QAction*> actions = hostapi::TQVGlobalMenu::Instance().Actions(names.at(i));
        menu->addActions(actions);
        menu->menuAction()->setEnabled(!actions.isEmpty());
    }
}

void HostMainWindow::CreateLogDock() {
    FdckLog = new QDockWidget(this);
    FdckLog->setObjectName(QStringLiteral("dckLog"));
    // Not closable: the host has no menu entry to bring it back.
    FdckLog->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    FtabLog = new QTabWidget(FdckLog);
    FtabLog->setObjectName(QStringLiteral("tabLog"));
    FMessageLog = new MessageLogModel(hostapi::MessageSink::Instance(), this);
    FtvMessages = LogView(FMessageLog, QStringLiteral("tvMessages"), FtabLog);
    FtabLog->addTab(FtvMessages, QString());
    if (FSession) {
        FtvSchedule = LogView(&FSession->GetScheduler().Log(), QStringLiteral("tvSchedule"), FtabLog);
        FtabLog->addTab(FtvSchedule, QString());
    }
    FdckLog->setWidget(FtabLog);
    // Module windows are windows of their own; the log keeps the lower part of the main window.
    auto* workspace = new QWidget(this);
    workspace->setObjectName(QStringLiteral("pnlWorkspace"));
    setCentralWidget(workspace);
    addDockWidget(Qt::BottomDockWidgetArea, FdckLog);
    resizeDocks({FdckLog}, {220}, Qt::Vertical);
}

void HostMainWindow::RetranslateUi() {
    FmnuFile->setTitle(FLang.Text(QStringLiteral("IDS_MenuFile")));
    for (QMenu* menu : FGlobalMenus)
        menu->setTitle(FLang.Text(QStringLiteral("IDS_") + menu->objectName().mid(3)));
    FactSettings->setText(FLang.Text(QStringLiteral("IDS_Settings")));
    FactExit->setText(FLang.Text(QStringLiteral("IDS_Exit")));
    FmnuLanguage->setTitle(FLang.Text(QStringLiteral("IDS_MenuLanguage")));
    FdckLog->setWindowTitle(FLang.Text(QStringLiteral("IDS_Log")));
    FtabLog->setTabText(FtabLog->indexOf(FtvMessages), FLang.Text(QStringLiteral("IDS_LogMessages")));
    if (FtvSchedule)
        FtabLog->setTabText(FtabLog->indexOf(FtvSchedule), FLang.Text(QStringLiteral("IDS_LogSchedule")));
    FMessageLog->SetLanguage(FLang.Language());
    FlblDatabase->setText(DatabaseDescription());
    for (QAction* action : FgrpLanguage->actions())
        action->setChecked(action->data().toString() == FLang.Language());
    MenuMnemonics::Apply(*menuBar());
}

QAction* HostMainWindow::LanguageAction(const QString& ALangName) const {
    for (QAction* action : FgrpLanguage->actions()) {
        if (action->data().toString().compare(ALangName, Qt::CaseInsensitive) == 0)
            return action;
    }
    return nullptr;
}

void HostMainWindow::BuildModuleMenus() {
    for (QMenu* menu : std::as_const(FModuleMenus)) {
        menuBar()->removeAction(menu->menuAction());
        delete menu;
    }
    FModuleMenus.clear();
    if (!FSession)
        return;
    const hostapi::MenuModel model = FSession->Menus();
    for (const hostapi::TMenuSection& section : model.Sections()) {
        auto* menu = new QMenu(MenuText(section.Caption), this);
        menu->setObjectName(QStringLiteral("mnuModule") + QString::number(FModuleMenus.size()));
        for (const hostapi::TMenuEntry& entry : section.Entries) {
            QAction* action = menu->addAction(MenuText(entry.Item.MenuTitle));
            action->setData(entry.Item.PluginFormClassName);
            connect(action, &QAction::triggered, this, [this, entry] { OpenMenuEntry(entry); });
        }
        menuBar()->insertMenu(FmnuLanguage->menuAction(), menu);
        FModuleMenus.append(menu);
    }
    MenuMnemonics::Apply(*menuBar());
}

void HostMainWindow::OpenMenuEntry(const hostapi::TMenuEntry& AEntry) {
    try {
        FSession->Screen().OpenPluginForm(AEntry.PluginGUID, AEntry.Item.PluginFormClassName, QVariant());
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent(AEntry.Item.MenuTitle);
    }
}

void HostMainWindow::SwitchLanguage(const QString& ALangName) {
    try {
        if (FSession)
            FSession->SetLanguage(ALangName);
        else
            hostapi::TVRNLang::SetCurrentLanguage(ALangName);
        FLang.SetLanguage(ALangName);
        RetranslateUi();
        // Modules may name their entries anew in the new language.
        BuildModuleMenus();
        // Kept for the next start.
        hostapi::TQVMainInterface::GetLocalSettingsStorage()->SaveLanguage(ALangName);
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
}

QString HostMainWindow::DatabaseDescription() {
    static const hostapi::TVRNLang lang(QStringLiteral("HostMainWindow"));
    const QString language = hostapi::TVRNLang::CurrentLanguage();
    if (!hostapi::Database::IsOpen())
        return lang.TextIn(QStringLiteral("IDS_NoDatabase"), language);
    return lang.TextIn(QStringLiteral("IDS_Database"), language).arg(hostapi::Database::Config().Describe());
}

void HostMainWindow::UpdateProgress() {
    try {
        const QList<hostapi::ProgressEntry> entries = hostapi::ProgressService::Instance().Entries();
        if (entries.isEmpty()) {
            FlblProgress->hide();
            FpbProgress->hide();
            return;
        }
        // The latest entry is the work in front; earlier ones wait for it.
        const hostapi::ProgressEntry& entry = entries.last();
        FlblProgress->setText(entry.Text.isEmpty() ? entry.Caption
                                                   : QStringLiteral("%1: %2").arg(entry.Caption, entry.Text));
        FpbProgress->setRange(0, entry.Maximum); // 0: busy, the amount of work is not known
        FpbProgress->setValue(entry.Maximum > 0 ? qBound(0, entry.Position, entry.Maximum) : 0);
        FlblProgress->show();
        FpbProgress->show();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
}

FirstStartDialog* HostMainWindow::StartFirstStart() {
    if (!FSession)
        return nullptr;
    try {
        if (FirstStartSteps::Done(hostapi::TQVMainInterface::GetSaveSettings()))
            return nullptr;
        FirstStartSteps steps = FirstStartSteps::FromPlugins(FSession->Loader().Plugins());
        if (steps.IsEmpty())
            return nullptr; // nothing to set up yet: asked again on the next start
        auto* dialog = new FirstStartDialog(std::move(steps), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QDialog::finished, this,
                [this, dialog](int AResult) { FirstStartDialogFinished(dialog, AResult); });
        dialog->open();
        return dialog;
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
        return nullptr;
    }
}

void HostMainWindow::FirstStartDialogFinished(FirstStartDialog* ADialog, int AResult) {
    try {
        FirstStartSteps::SetDone(hostapi::TQVMainInterface::GetSaveSettings());
        const int step = ADialog->ChosenStep();
        if (AResult == QDialog::Accepted && step >= 0)
            ADialog->Steps().Follow(step);
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
}

void HostMainWindow::actSettingsExecute() {
    try {
        auto* dialog = new HostSettingsDialog(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
}

void HostMainWindow::actExitExecute() {
    close();
}

void HostMainWindow::RestoreGeometry() {
    try {
        hostapi::TQVMainInterface::GetLocalSettingsStorage()->RestoreWindowState(*this);
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
}

void HostMainWindow::SaveGeometry() {
    try {
        hostapi::TQVMainInterface::GetLocalSettingsStorage()->SaveWindowState(*this);
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
}

void HostMainWindow::closeEvent(QCloseEvent* AEvent) {
    try {
        if (FSession && !FSession->ShutDown()) {
            AEvent->ignore();
            return;
        }
    } catch (...) {
        AEvent->ignore();
        // A module that could not be unloaded may have lost its windows: its menus go with it.
        BuildModuleMenus();
        hostapi::TVRNExceptionUtils::ShowCurrent();
        return;
    }
    SaveGeometry();
    AEvent->accept();
}

} // namespace qvhost
