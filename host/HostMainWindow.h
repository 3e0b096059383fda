#pragma once

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;

namespace qvhost {

// The host's main window. It carries the menu bar into which the modules' menus go; for now the
// "Datei" menu with "Beenden", and the database in use in the status bar.
class HostMainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit HostMainWindow(QWidget* parent = nullptr);
    ~HostMainWindow() override;

    QMenu* mnuFile() const { return FmnuFile; }
    QAction* actExit() const { return FactExit; }

    // The database in use as the status bar shows it (never with a password).
    static QString DatabaseDescription();

private:
    void actExitExecute();

    QMenu* FmnuFile = nullptr;
    QAction* FactExit = nullptr;
    QLabel* FlblDatabase = nullptr;
};

} // namespace qvhost
