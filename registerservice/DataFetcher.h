#pragma once

#include "HttpClient.h"

#include <QString>

#include <optional>

namespace hostapi {
class IProgressService;
}

namespace registerservice {

// What one fetch sends: copies taken from the client.
struct TFetchSettings {
    QString URL;
    QString User;
    QString Password;
};

// One download from the register service and its import through the host's XML import. Its progress
// entries go to AProgress, or, without one, to the host's progress service when it runs on the main
// thread (elsewhere none are shown). Cancel() may come from any thread.
class TDataFetcher {
public:
    // A large answer over a slow line may take long: a fetch has no total time limit and fails when
    // fewer than StallBytes arrive within StallMs.
    static constexpr qint64 StallBytes = 1024;
    static constexpr int StallMs = 60000;

    explicit TDataFetcher(hostapi::IProgressService* AProgress = nullptr);
    ~TDataFetcher();

    // Downloads and imports; answers the import's "fetch" stamp once the import has committed
    // (std::nullopt when the answer had no "register_service" part). HTTP failures are
    // hostapi::EHttpException; a refused import EQVException with the host's text.
    std::optional<QString> Execute(const TFetchSettings& ASettings, const QString& ALastFetchStamp);
    // Ends the download with hostapi::EHttpCancelled; so does a TCancellationScope of the fetching
    // thread that asks for it (a job that waits for its fetch and is terminated).
    void Cancel() { FHTTP.Cancel(); }

private:
    void WorkBegin(qint64 AExpected);
    void Work(qint64 AReceived, qint64 AExpected);
    void WorkEnd();

    hostapi::IProgressService* Progress() const;

    hostapi::IProgressService* const FProgress;
    hostapi::HttpClient FHTTP;
    int FProgressHandle = -1;
    qint64 FMaxProgress = 0;
};

} // namespace registerservice
