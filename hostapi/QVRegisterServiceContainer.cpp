#include "QVRegisterServiceContainer.h"

#include "QVException.h"

#include <QMutex>

namespace hostapi {

namespace {

QMutex& Lock() {
    static QMutex lock;
    return lock;
}

QList<TRegisteredPartHandler>& Registry() {
    static QList<TRegisteredPartHandler> handlers;
    return handlers;
}

QString OwnCopy(const QString& AText) {
    return QString(AText.constData(), AText.size());
}

} // namespace

TQVRegisterServiceContainer::TQVRegisterServiceContainer(QObject* AOwner) : QObject(AOwner) {}
TQVRegisterServiceContainer::~TQVRegisterServiceContainer() = default;

QList<TRegisteredPartHandler> TQVRegisterServiceContainer::Handlers() const {
    const QMutexLocker locker(&Lock());
    return Registry();
}

void TQVRegisterServiceContainer::RegisterHandler(
    const std::shared_ptr<IRegisterServicePartHandler>& AHandler) {
    QV_ASSERT(AHandler);
    TRegisteredPartHandler entry{AHandler, OwnCopy(AHandler->PartName()), OwnCopy(AHandler->LogCaption()),
                                 OwnCopy(AHandler->LogSchema()), AHandler->HasConfigForm()};
    const QMutexLocker locker(&Lock());
    for (const TRegisteredPartHandler& registered : Registry())
        if (registered.Handler == AHandler)
            return;
    Registry().append(std::move(entry));
}

void TQVRegisterServiceContainer::UnregisterHandler(const IRegisterServicePartHandler* AHandler) {
    const QMutexLocker locker(&Lock());
    Registry().removeIf(
        [AHandler](const TRegisteredPartHandler& entry) { return entry.Handler.get() == AHandler; });
}

} // namespace hostapi
