#pragma once

#include "DataFetcher.h"

#include <QThread>

#include <memory>

namespace registerservice {

class TRegisterServiceClient;

// Runs one fetch of the client in the background. The thread owns its fetcher; the client owns the
// thread and joins it. An error goes to the host's exception display (shown on the GUI thread).
class TFetchThread : public QThread {
    Q_OBJECT

public:
    TFetchThread(TRegisterServiceClient& AClient, const TFetchSettings& ASettings);
    ~TFetchThread() override;

protected:
    void run() override;

private:
    TRegisterServiceClient& FClient;
    std::unique_ptr<TDataFetcher> FDataFetcher;
    const TFetchSettings FSettings;
};

} // namespace registerservice
