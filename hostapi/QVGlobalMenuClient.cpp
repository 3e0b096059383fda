#include "QVGlobalMenuClient.h"

#include "QVException.h"

#include <QAction>

namespace hostapi {

TQVGlobalMenu& TQVGlobalMenu::Instance() {
    static TQVGlobalMenu menu;
    return menu;
}

const QStringList& TQVGlobalMenu::MenuNames() {
    static const QStringList names{QStringLiteral("GMNU_New"), QStringLiteral("GMNU_Import"),
                                   QStringLiteral("GMNU_Export")};
    return names;
}

QList<QAction*> TQVGlobalMenu::Actions(const QString& AMenuName) const {
    QList<QAction*> actions;
    for (const TEntry& entry : FEntries) {
        if (entry.MenuName == AMenuName && entry.Action)
            actions.append(entry.Action.data());
    }
    return actions;
}

void TQVGlobalMenu::Add(const QObject* AClient, const QString& AMenuName, QAction* AAction) {
    FEntries.append({AClient, AMenuName, AAction});
    emit Changed();
}

void TQVGlobalMenu::RemoveClient(const QObject* AClient) {
    if (FEntries.removeIf([AClient](const TEntry& entry) { return entry.Client == AClient; }) > 0)
        emit Changed();
}

TQVGlobalMenuClient::TQVGlobalMenuClient(QObject* AOwner) : QObject(AOwner) {}

TQVGlobalMenuClient::~TQVGlobalMenuClient() {
    TQVGlobalMenu::Instance().RemoveClient(this);
}

void TQVGlobalMenuClient::AddAction(const QString& AMenuName, QAction* AAction) {
    QV_ASSERT(AAction != nullptr && TQVGlobalMenu::MenuNames().contains(AMenuName));
    TQVGlobalMenu::Instance().Add(this, AMenuName, AAction);
}

} // namespace hostapi
