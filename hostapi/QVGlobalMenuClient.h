#pragma once

#include "HostApiExport.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QAction;

namespace hostapi {

// The host's global menus that windows and data modules add their actions to: "GMNU_New",
// "GMNU_Import", "GMNU_Export" (in the host's "Datei" menu). The entries of all live clients, in the
// order they were added; Changed tells the host to show them anew. GUI thread only.
class HOSTAPI_EXPORT TQVGlobalMenu : public QObject {
    Q_OBJECT

public:
    static TQVGlobalMenu& Instance();
    // The menus in display order.
    static const QStringList& MenuNames();

    QList<QAction*> Actions(const QString& AMenuName) const;

signals:
    void Changed();

private:
    friend class TQVGlobalMenuClient;
    struct TEntry {
        const QObject* Client;
        QString MenuName;
        QPointer<QAction> Action;
    };
    void Add(const QObject* AClient, const QString& AMenuName, QAction* AAction);
    void RemoveClient(const QObject* AClient);

    QList<TEntry> FEntries;
};

// Places its owner's actions in the host's global menus while it lives (a child of the window or
// data module that owns the actions).
class HOSTAPI_EXPORT TQVGlobalMenuClient : public QObject {
    Q_OBJECT

public:
    explicit TQVGlobalMenuClient(QObject* AOwner);
    ~TQVGlobalMenuClient() override;

    // AMenuName is one of TQVGlobalMenu::MenuNames() (EQVAssertion otherwise). The action stays its
    // owner's; an action destroyed before the client leaves the menu with it.
    void AddAction(const QString& AMenuName, QAction* AAction);
};

} // namespace hostapi
