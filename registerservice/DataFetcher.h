#pragma once

#include "HttpClient.h"

#include <QString>

#include <optional>

namespace registerservice {

// What one fetch sends: copies taken from the client.
struct TFetchSettings {
    QString URL;
    QString User;
    QString Password;
};

// One download from the register service and its import through the host's XML import. Progress
// entries are shown only when it runs on the main thread. Cancel() may come from any thread.
class TDataFetcher {
public:
    TDataFetcher();
    ~TDataFetcher();

    // Downloads and imports; answers the import's "fetch" stamp once the import has committed
    // (std::nullopt when the answer had no "register_service" part). HTTP failures are
    // hostapi::EHttpException; a refused import EQVException with the host's text.
    std::optional<QString> Execute(const TFetchSettings& ASettings, const QString& ALastFetchStamp);
    void Cancel() { FHTTP.Cancel(); }

private:
    void WorkBegin(qint64 AExpected);
    void Work(qint64 AReceived, qint64 AExpected);
    void WorkEnd();

    hostapi::HttpClient FHTTP;
    int FProgressHandle = -1;
    qint64 FMaxProgress = 0;
};

} // namespace registerservice
