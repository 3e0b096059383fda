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
    explicit ProgressEntryGuard(int& AHandle) : FHandle(AHandle) {}
    ~ProgressEntryGuard() {
        if (FHandle >= 0)
            hostapi::ProgressService::Current().CloseProgress(FHandle);
        FHandle = -1;
    }

private:
    int& FHandle;
};

} // namespace

TDataFetcher::TDataFetcher() {
    FHTTP.OnProgress = [this](qint64 AReceived, qint64 AExpected) {
        if (FProgressHandle < 0)
            WorkBegin(AExpected);
        Work(AReceived, AExpected);
    };
}

TDataFetcher::~TDataFetcher() = default;

void TDataFetcher::WorkBegin(qint64 AExpected) {
    if (!OnMainThread())
        return;
    FProgressHandle =
        hostapi::ProgressService::Current().OpenProgress(QStringLiteral("Register-Service Download"));
    FMaxProgress = AExpected;
}

void TDataFetcher::Work(qint64 AReceived, qint64 AExpected) {
    if (FProgressHandle < 0)
        return;
    FMaxProgress = AExpected;
    // The progress service counts in int; kilobytes keep the bar right for large answers.
    const bool large = AExpected > std::numeric_limits<int>::max();
    hostapi::ProgressService::Current().UpdateProgress(
        FProgressHandle, int(large ? AReceived / 1024 : AReceived),
        int(large ? AExpected / 1024 : qMax<qint64>(AExpected, 0)),
        QStringLiteral("%1 of %2 downloaded").arg(AReceived).arg(AExpected));
}

void TDataFetcher::WorkEnd() {
    if (FProgressHandle < 0)
        return;
    hostapi::ProgressService::Current().CloseProgress(FProgressHandle);
    FProgressHandle = -1;
}

std::optional<QString> TDataFetcher::Execute(const TFetchSettings& ASettings,
                                             const QString& ALastFetchStamp) {
    // The progress service is the main thread's only.
    hostapi::IProgressService* progress = OnMainThread() ? &hostapi::ProgressService::Current() : nullptr;
    int handle = progress ? progress->OpenProgress(QStringLiteral("Register-Server")) : -1;
    const ProgressEntryGuard closeEntry(handle);

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
