#include "HostMainWindow.h"

#include "Database.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

namespace qvhost {

HostMainWindow::HostMainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("HostMainWindow"));
    setWindowTitle(QStringLiteral("QV Host"));
    resize(1024, 700);

    FmnuFile = menuBar()->addMenu(QStringLiteral("&Datei"));
    FmnuFile->setObjectName(QStringLiteral("mnuFile"));
    FactExit = FmnuFile->addAction(QStringLiteral("&Beenden"));
    FactExit->setObjectName(QStringLiteral("actExit"));
    FactExit->setShortcut(QKeySequence::Quit);
    connect(FactExit, &QAction::triggered, this, &HostMainWindow::actExitExecute);

    FlblDatabase = new QLabel(DatabaseDescription(), this);
    FlblDatabase->setObjectName(QStringLiteral("lblDatabase"));
    statusBar()->addWidget(FlblDatabase);
}

HostMainWindow::~HostMainWindow() = default;

QString HostMainWindow::DatabaseDescription() {
    if (!hostapi::Database::IsOpen())
        return QStringLiteral("Keine Datenbank geöffnet");
    return QStringLiteral("Datenbank: %1").arg(hostapi::Database::Config().Describe());
}

void HostMainWindow::actExitExecute() {
    close();
}

} // namespace qvhost
