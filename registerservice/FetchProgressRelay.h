#pragma once

#include "ProgressService.h"

#include <QHash>
#include <QObject>

#include <atomic>

namespace registerservice {

// Shows the progress of a fetch that runs on another thread: its calls, made on the fetch thread, are
// queued to the GUI thread and passed on there to the host's progress service. Created on the GUI
// thread; the fetch thread calls Finish() last, which closes what is still open and deletes the
// relay on the GUI thread.
class TFetchProgressRelay : public QObject, public hostapi::IProgressService {
    Q_OBJECT

public:
    TFetchProgressRelay();

    // Any thread. OpenProgress answers a handle of the relay at once.
    int OpenProgress(const QString& ACaption) override;
    void UpdateProgress(int AHandle, int APosition, int AMaximum, const QString& AText) override;
    void CloseProgress(int AHandle) override;
    // Any thread; no call may follow.
    void Finish();

private:
    ~TFetchProgressRelay() override;
    template <class F> void Post(F AWork);

    std::atomic<int> FNextHandle{1};
    QHash<int, int> FEntries; // relay handle -> handle of the host's entry; GUI thread only
};

} // namespace registerservice
