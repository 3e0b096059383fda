#include "DataFetcher.h"

#include "ProgressService.h"
#include "QVException.h"
#include "QVXMLImport.h"
#include "RegisterServiceUrl.h"
#include "XMLImportContext.h"

#include <QCoreApplication>
#include <QThread>

#include <limits>

namespace registerservice {

namespace {

bool OnMainThread() {
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Closes a progress entry however the fetch ends.
class ProgressEntryGuard {
public:
    ProgressEntryGuard(hostapi::IProgressService* AProgress, int& AHandle)
        : FProgress(AProgress), FHandle(AHandle) {}
    ~ProgressEntryGuard() {
        if (FHandle >= 0)
            FProgress->CloseProgress(FHandle);
        FHandle = -1;
    }

private:
    hostapi::IProgressService* FProgress;
    int& FHandle;
};

} // namespace

TDataFetcher::TDataFetcher(hostapi::IProgressService* AProgress) : FProgress(AProgress) {
    FHTTP.OnProgress = [this](qint64 AReceived, qint64 AExpected) {
        if (FProgressHandle < 0)
            WorkBegin(AExpected);
        Work(AReceived, AExpected);
    };
}

TDataFetcher::~TDataFetcher() = default;

hostapi::IProgressService* TDataFetcher::Progress() const {
    if (FProgress)
        return FProgress;
    // The host's progress service is the main thread's only.
    return OnMainThread() ? &hostapi::ProgressService::Current() : nullptr;
}

void TDataFetcher::WorkBegin(qint64 AExpected) {
    hostapi::IProgressService* progress = Progress();
    if (!progress)
        return;
    FProgressHandle = progress->OpenProgress(QStringLiteral("Register-Service Download"));
    FMaxProgress = AExpected;
}

void TDataFetcher::Work(qint64 AReceived, qint64 AExpected) {
    if (FProgressHandle < 0)
        return;
    FMaxProgress = AExpected;
    // The progress service counts in int; kilobytes keep the bar right for large answers.
    const bool large = AExpected > std::numeric_limits<int>::max();
    Progress()->UpdateProgress(FProgressHandle, int(large ? AReceived / 1024 : AReceived),
                               int(large ? AExpected / 1024 : qMax<qint64>(AExpected, 0)),
                               QStringLiteral("%1 of %2 downloaded").arg(AReceived).arg(AExpected));
}

void TDataFetcher::WorkEnd() {
    if (FProgressHandle < 0)
        return;
    Progress()->CloseProgress(FProgressHandle);
    FProgressHandle = -1;
}

std::optional<QString> TDataFetcher::Execute(const TFetchSettings& ASettings,
                                             const QString& ALastFetchStamp) {
    hostapi::IProgressService* progress = Progress();
    int handle = progress ? progress->OpenProgress(QStringLiteral("Register-Server")) : -1;
    const ProgressEntryGuard closeEntry(progress, handle);

    hostapi::HttpRequest request;
    request.Url = FetchUrl(ASettings.URL, ALastFetchStamp);
    request.UserName = ASettings.User;
    request.Password = ASettings.Password;
    request.MaxResponseBytes = hostapi::TQVXMLImport::MaxDocumentBytes;
    request.TimeoutMs = 0;
    request.StallBytes = StallBytes;
    request.StallMs = StallMs;

    if (handle >= 0)
        progress->UpdateProgress(handle, 0, 2, QStringLiteral("Downloading Data"));
    hostapi::HttpResponse response;
    try {
        response = FHTTP.Execute(request);
    } catch (...) {
        WorkEnd();
        throw;
    }
    WorkEnd();

    if (handle >= 0)
        progress->UpdateProgress(handle, 1, 2, QStringLiteral("Processing Data"));
    hostapi::TXMLImportContext context;
    QString error;
    if (!hostapi::TQVXMLImport::Import(response.Body, error, &context))
        throw hostapi::EQVException(error);
    const QVariant stamp = context.GetVariable(QStringLiteral("fetch"));
    if (!stamp.isValid() || stamp.isNull())
        return std::nullopt;
    return stamp.toString();
}

} // namespace registerservice
