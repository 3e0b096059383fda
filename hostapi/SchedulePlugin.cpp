#include "SchedulePlugin.h"

#include "QVException.h"

#include <QUuid>

namespace hostapi {

IScheduleExecuteCallBack::~IScheduleExecuteCallBack() = default;

TSchedulePlugin::TSchedulePlugin(QObject* AOwner) : QObject(AOwner) {}
TSchedulePlugin::~TSchedulePlugin() = default;

QString TSchedulePlugin::NormalizeIdentifier(const QString& AIdentifier) {
    const QUuid uuid = QUuid::fromString(AIdentifier.trimmed());
    if (uuid.isNull())
        throw EQVException(QStringLiteral("\"%1\" is not a GUID").arg(AIdentifier));
    return uuid.toString(QUuid::WithBraces).toUpper();
}

int TSchedulePlugin::AddAction(const QString& ACaption, const QString& AIdentifier) {
    const QString identifier = NormalizeIdentifier(AIdentifier);
    if (IndexOfIdentifier(identifier) >= 0)
        throw EQVException(QStringLiteral("Scheduler action %1 is added twice").arg(identifier));
    FActions.append({ACaption, identifier});
    return int(FActions.size()) - 1;
}

int TSchedulePlugin::ActionCount() const {
    return int(FActions.size());
}

TScheduleAction TSchedulePlugin::Action(int AIndex) const {
    QV_ASSERT(AIndex >= 0 && AIndex < FActions.size());
    return FActions.at(AIndex);
}

int TSchedulePlugin::IndexOfIdentifier(const QString& AIdentifier) const {
    const QUuid uuid = QUuid::fromString(AIdentifier.trimmed());
    if (uuid.isNull())
        return -1;
    const QString identifier = uuid.toString(QUuid::WithBraces).toUpper();
    for (int i = 0; i < FActions.size(); ++i)
        if (FActions.at(i).Identifier == identifier)
            return i;
    return -1;
}

void TSchedulePlugin::Execute(int AIndex, IScheduleExecuteCallBack& AScheduleExecuteCallBack, QVariant& AData,
                              bool& ASuccess) {
    QV_ASSERT(AIndex >= 0 && AIndex < FActions.size());
    QV_ASSERT(OnExecute);
    OnExecute(this, AIndex, AScheduleExecuteCallBack, AData, ASuccess);
}

} // namespace hostapi
