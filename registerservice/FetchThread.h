#pragma once

#include "DataFetcher.h"

#include <QThread>

#include <memory>

namespace registerservice {

class TFetchProgressRelay;
class TRegisterServiceClient;

// Runs one fetch of the client in the background. The thread owns its fetcher; the client owns the
// thread and joins it. An error goes to the host's exception display (shown on the GUI thread). With
// ARelay the fetch's progress is shown through it; the thread finishes the relay when it ends.
class TFetchThread : public QThread {
    Q_OBJECT

public:
    TFetchThread(TRegisterServiceClient& AClient, const TFetchSettings& ASettings,
                 TFetchProgressRelay* ARelay = nullptr);
    ~TFetchThread() override;

protected:
    void run() override;

private:
    TRegisterServiceClient& FClient;
    TFetchProgressRelay* FRelay;
    std::unique_ptr<TDataFetcher> FDataFetcher;
    const TFetchSettings FSettings;
};

} // namespace registerservice
