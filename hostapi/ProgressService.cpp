#include "ProgressService.h"

#include "OwnedText.h"
#include "QVException.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>

namespace hostapi {

namespace {

std::atomic<IProgressService*> GInstalled{nullptr};

void AssertMainThread() {
    QV_ASSERT(QCoreApplication::instance() &&
              QThread::currentThread() == QCoreApplication::instance()->thread());
}

} // namespace

IProgressService::~IProgressService() = default;

ProgressService::ProgressService(QObject* parent) : QObject(parent) {}
ProgressService::~ProgressService() = default;

int ProgressService::OpenProgress(const QString& ACaption) {
    AssertMainThread();
    ProgressEntry entry;
    entry.Handle = FNextHandle++;
    entry.Caption = OwnedCopy(ACaption); // shown after the module may be gone
    FEntries.append(entry);
    emit ProgressOpened(entry.Handle);
    return entry.Handle;
}

void ProgressService::UpdateProgress(int AHandle, int APosition, int AMaximum, const QString& AText) {
    AssertMainThread();
    const qsizetype index = IndexOf(AHandle);
    QV_ASSERT(index >= 0);
    QV_ASSERT(AMaximum >= 0);
    ProgressEntry& entry = FEntries[index];
    entry.Position = APosition;
    entry.Maximum = AMaximum;
    entry.Text = OwnedCopy(AText);
    emit ProgressChanged(AHandle);
}

void ProgressService::CloseProgress(int AHandle) {
    AssertMainThread();
    const qsizetype index = IndexOf(AHandle);
    QV_ASSERT(index >= 0);
    FEntries.removeAt(index);
    emit ProgressClosed(AHandle);
}

QList<ProgressEntry> ProgressService::Entries() const {
    AssertMainThread();
    return FEntries;
}

qsizetype ProgressService::IndexOf(int AHandle) const {
    for (qsizetype i = 0; i < FEntries.size(); ++i)
        if (FEntries.at(i).Handle == AHandle)
            return i;
    return -1;
}

ProgressService& ProgressService::Instance() {
    AssertMainThread();
    static ProgressService service;
    return service;
}

IProgressService& ProgressService::Current() {
    if (IProgressService* installed = GInstalled.load())
        return *installed;
    return Instance();
}

void ProgressService::SetCurrent(IProgressService* AService) {
    GInstalled.store(AService);
}

} // namespace hostapi
