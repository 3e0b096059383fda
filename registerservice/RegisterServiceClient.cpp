#include "RegisterServiceClient.h"

#include "CancellationScope.h"
#include "DataFetcher.h"
#include "FetchProgressRelay.h"
#include "FetchThread.h"
#include "QVException.h"

#include <QMutexLocker>
#include <QScopeGuard>

#include <algorithm>
#include <chrono>

namespace registerservice {

namespace {

const QString PartId = QStringLiteral("register_service");
const QString FetchVariable = QStringLiteral("fetch");

} // namespace

TRegisterServiceClient::TRegisterServiceClient(QObject* AOwner)
    : hostapi::TPluginBaseComponent(AOwner), FQVXMLImportContainer(new hostapi::TQVXMLImportContainer(this)),
      FQVRegisterServiceContainer(new hostapi::TQVRegisterServiceContainer(this)) {
    FQVXMLImportContainer->AddPart(PartId, QStringLiteral("Register Service"), false, false);
    FQVXMLImportContainer->OnBeginPart =
        [this](hostapi::TQVXMLImportContainer*, const hostapi::TQVXMLImportPart&,
               hostapi::TQVXMLImportProcessor& AProcessor, const hostapi::TQVXMLElement& AData,
               hostapi::TXMLImportContext& AContext) {
            AContext.AddVariable(FetchVariable, AData.Attribute(FetchVariable));
            for (const hostapi::TRegisteredPartHandler& handler : FQVRegisterServiceContainer->Handlers())
                handler.Handler->BeginImport(AProcessor, AData);
        };
    FQVXMLImportContainer->OnImportData =
        [this](hostapi::TQVXMLImportContainer*, const hostapi::TQVXMLImportPart&, const QString& AName,
               const hostapi::TQVXMLElement& AData,
               hostapi::TXMLImportContext& AContext) { ImportItem(AName, AData, AContext); };
    FQVXMLImportContainer->OnEndPart = [this](hostapi::TQVXMLImportContainer*,
                                              const hostapi::TQVXMLImportPart&,
                                              hostapi::TQVXMLImportProcessor&, hostapi::TXMLImportContext&) {
        for (const hostapi::TRegisteredPartHandler& handler : FQVRegisterServiceContainer->Handlers())
            handler.Handler->EndImport();
    };
}

TRegisterServiceClient::~TRegisterServiceClient() {
    BeforeUnInit();
}

void TRegisterServiceClient::AfterStartup() {
    FQVXMLImportContainer->AfterStartup();
}

void TRegisterServiceClient::BeforeUnInit() {
    std::vector<std::unique_ptr<TFetchThread>> threads;
    {
        std::unique_lock<std::mutex> locker(FStateLock);
        FShutDown = true;
        for (const TActiveFetch& fetch : FActive)
            fetch.Fetcher->Cancel();
        FFetchEnded.wait(locker, [this] { return FActive.empty(); });
        threads.swap(FThreads);
    }
    threads.clear(); // joins them: they have left RunFetch
    FQVXMLImportContainer->BeforeUnInit();
}

QString TRegisterServiceClient::UserName() const {
    const QMutexLocker locker(&FConfigLock);
    return FUserName;
}
void TRegisterServiceClient::SetUserName(const QString& AValue) {
    const QMutexLocker locker(&FConfigLock);
    FUserName = AValue;
}
QString TRegisterServiceClient::Password() const {
    const QMutexLocker locker(&FConfigLock);
    return FPassword;
}
void TRegisterServiceClient::SetPassword(const QString& AValue) {
    const QMutexLocker locker(&FConfigLock);
    FPassword = AValue;
}
QString TRegisterServiceClient::BaseURL() const {
    const QMutexLocker locker(&FConfigLock);
    return FBaseURL;
}
void TRegisterServiceClient::SetBaseURL(const QString& AValue) {
    const QMutexLocker locker(&FConfigLock);
    FBaseURL = AValue;
}
QString TRegisterServiceClient::LastFetchStamp() const {
    const QMutexLocker locker(&FConfigLock);
    return FLastFetchStamp;
}
void TRegisterServiceClient::SetLastFetchStamp(const QString& AValue) {
    const QMutexLocker locker(&FConfigLock);
    FLastFetchStamp = AValue;
}

int TRegisterServiceClient::RunningThreadCount() const {
    const std::lock_guard<std::mutex> locker(FStateLock);
    return int(
        std::count_if(FThreads.begin(), FThreads.end(),
                      [](const std::unique_ptr<TFetchThread>& AThread) { return !AThread->isFinished(); }));
}

void TRegisterServiceClient::ReapFinishedThreads() {
    std::vector<std::unique_ptr<TFetchThread>> finished;
    {
        const std::lock_guard<std::mutex> locker(FStateLock);
        for (auto it = FThreads.begin(); it != FThreads.end();) {
            if ((*it)->isFinished()) {
                finished.push_back(std::move(*it));
                it = FThreads.erase(it);
            } else {
                ++it;
            }
        }
    }
}

void TRegisterServiceClient::ResetLastFetchStamp() {
    std::unique_lock<std::mutex> locker(FStateLock);
    const quint64 generation = ++FGeneration;
    SetLastFetchStamp(QString());
    for (const TActiveFetch& fetch : FActive)
        fetch.Fetcher->Cancel();
    FFetchEnded.wait(locker, [this, generation] {
        return std::none_of(FActive.begin(), FActive.end(), [generation](const TActiveFetch& AFetch) {
            return AFetch.Generation < generation;
        });
    });
}

void TRegisterServiceClient::Fetch(bool AThreaded) {
    StartFetch(AThreaded, false);
}

void TRegisterServiceClient::FetchWithProgress() {
    StartFetch(true, true);
}

void TRegisterServiceClient::StartFetch(bool AThreaded, bool AShowProgress) {
    const TFetchSettings settings{BaseURL(), UserName(), Password()};
    if (settings.URL.isEmpty())
        throw hostapi::EQVUserMessageException(QStringLiteral("URL to Register-Service not configured!"));
    if (!AThreaded) {
        TDataFetcher fetcher;
        RunFetch(fetcher, settings);
        return;
    }
    ReapFinishedThreads();
    auto thread =
        std::make_unique<TFetchThread>(*this, settings, AShowProgress ? new TFetchProgressRelay : nullptr);
    const std::lock_guard<std::mutex> locker(FStateLock);
    if (FShutDown)
        throw hostapi::EQVException(QStringLiteral("The register service module is shutting down"));
    thread->start();
    FThreads.push_back(std::move(thread));
}

void TRegisterServiceClient::RunFetch(TDataFetcher& AFetcher, const TFetchSettings& ASettings) {
    {
        const std::lock_guard<std::mutex> locker(FStateLock);
        // A fetch thread that starts only after BeforeUnInit is cancelled by the shut-down like one
        // in flight (nothing for the user to act on).
        if (FShutDown)
            throw hostapi::EHttpCancelled(QStringLiteral("The register service module is shutting down"));
        FActive.push_back({&AFetcher, FGeneration});
    }
    const auto leave = qScopeGuard([this, &AFetcher] {
        const std::lock_guard<std::mutex> locker(FStateLock);
        FActive.erase(std::find_if(FActive.begin(), FActive.end(), [&AFetcher](const TActiveFetch& AFetch) {
            return AFetch.Fetcher == &AFetcher;
        }));
        FFetchEnded.notify_all();
    });
    std::unique_lock<std::timed_mutex> serialised(FFetchLock, std::defer_lock);
    while (!serialised.try_lock_for(std::chrono::milliseconds(100)))
        if (hostapi::TCancellationScope::CurrentCancelled())
            throw hostapi::EHttpCancelled(
                QStringLiteral("The register-service fetch was cancelled while it waited for another fetch"));
    // The stamp as the previous fetch left it.
    const std::optional<QString> stamp = AFetcher.Execute(ASettings, LastFetchStamp());
    if (!stamp)
        return;
    // Checked and stored under the state lock, so that a reset either follows the new stamp or keeps
    // it from being stored.
    const std::lock_guard<std::mutex> locker(FStateLock);
    const auto self = std::find_if(FActive.begin(), FActive.end(), [&AFetcher](const TActiveFetch& AFetch) {
        return AFetch.Fetcher == &AFetcher;
    });
    if (self->Generation != FGeneration)
        throw hostapi::EHttpCancelled(QStringLiteral("The register-service fetch was cancelled by a reset of "
                                                     "the server data; its stamp is not stored"));
    SetLastFetchStamp(*stamp);
    if (OnLastFetchStampChanged)
        OnLastFetchStampChanged();
}

void TRegisterServiceClient::ImportItem(const QString& AName, const hostapi::TQVXMLElement& AData,
                                        hostapi::TXMLImportContext& AContext) {
    try {
        for (const hostapi::TRegisteredPartHandler& handler : FQVRegisterServiceContainer->Handlers())
            if (handler.PartName == AName)
                handler.Handler->ImportItem(AName, AData);
    } catch (...) {
        AContext.SetVariable(FetchVariable, QVariant());
        throw;
    }
}

} // namespace registerservice
