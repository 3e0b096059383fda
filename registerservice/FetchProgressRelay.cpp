#include "FetchProgressRelay.h"

#include "ExceptionDisplay.h"
#include "QVException.h"

#include <QCoreApplication>
#include <QThread>

namespace registerservice {

TFetchProgressRelay::TFetchProgressRelay() {
    QV_ASSERT(QCoreApplication::instance() &&
              QThread::currentThread() == QCoreApplication::instance()->thread());
}

TFetchProgressRelay::~TFetchProgressRelay() = default;

template <class F> void TFetchProgressRelay::Post(F AWork) {
    QMetaObject::invokeMethod(
        this,
        [this, AWork = std::move(AWork)] { hostapi::TVRNExceptionUtils::Guarded([&] { AWork(*this); }); },
        Qt::QueuedConnection);
}

int TFetchProgressRelay::OpenProgress(const QString& ACaption) {
    const int handle = FNextHandle++;
    Post([handle, ACaption](TFetchProgressRelay& ARelay) {
        ARelay.FEntries.insert(handle, hostapi::ProgressService::Current().OpenProgress(ACaption));
    });
    return handle;
}

void TFetchProgressRelay::UpdateProgress(int AHandle, int APosition, int AMaximum, const QString& AText) {
    Post([AHandle, APosition, AMaximum, AText](TFetchProgressRelay& ARelay) {
        QV_ASSERT(ARelay.FEntries.contains(AHandle));
        hostapi::ProgressService::Current().UpdateProgress(ARelay.FEntries.value(AHandle), APosition,
                                                           AMaximum, AText);
    });
}

void TFetchProgressRelay::CloseProgress(int AHandle) {
    Post([AHandle](TFetchProgressRelay& ARelay) {
        QV_ASSERT(ARelay.FEntries.contains(AHandle));
        hostapi::ProgressService::Current().CloseProgress(ARelay.FEntries.take(AHandle));
    });
}

void TFetchProgressRelay::Finish() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            for (int handle : std::as_const(FEntries))
                hostapi::TVRNExceptionUtils::Guarded(
                    [handle] { hostapi::ProgressService::Current().CloseProgress(handle); });
            FEntries.clear();
            deleteLater();
        },
        Qt::QueuedConnection);
}

} // namespace registerservice
