#pragma once

#include "PluginBaseComponent.h"
#include "QVRegisterServiceContainer.h"
#include "QVXMLImportContainer.h"

#include <QMutex>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace registerservice {

class TDataFetcher;
class TFetchThread;
struct TFetchSettings;

// The register service's client: its configuration, the import part "register_service" whose
// items go to the host's part handlers, and the fetches. Fetches are serialised: the menu, the
// scheduler, a threaded fetch and a preparing job never import in parallel. BeforeUnInit cancels
// every fetch in flight and waits for it; Fetch raises after that. A TCancellationScope of the
// fetching thread cancels its fetch, also while it waits for another one.
class TRegisterServiceClient : public hostapi::TPluginBaseComponent {
    Q_OBJECT

public:
    explicit TRegisterServiceClient(QObject* AOwner);
    ~TRegisterServiceClient() override;

    void AfterStartup();
    void BeforeUnInit();

    // Configuration (any thread; a fetch takes copies when it starts).
    QString UserName() const;
    void SetUserName(const QString& AValue);
    QString Password() const;
    void SetPassword(const QString& AValue);
    QString BaseURL() const;
    void SetBaseURL(const QString& AValue);
    QString LastFetchStamp() const;
    void SetLastFetchStamp(const QString& AValue);

    // Told, on the fetching thread, when an import has committed with a new stamp.
    std::function<void()> OnLastFetchStampChanged;

    // Empty BaseURL: EQVUserMessageException "URL to Register-Service not configured!". Threaded:
    // starts the fetch on a thread of its own and returns; its errors go to the host's exception
    // display. Otherwise fetches on the calling thread and raises its errors.
    void Fetch(bool AThreaded);
    // GUI thread: a threaded fetch whose progress entries the GUI thread shows.
    void FetchWithProgress();
    // Empties the stamp, cancels every fetch in flight and waits until each has ended. A fetch that
    // began before never stores its stamp (its import may still have committed), so the next fetch
    // reads everything.
    void ResetLastFetchStamp();

    // Fetch threads not yet joined.
    int RunningThreadCount() const;

    hostapi::TQVXMLImportContainer& XMLImportContainer() { return *FQVXMLImportContainer; }

private:
    friend class TFetchThread;
    // Runs one fetch with AFetcher on the calling thread, after any other fetch of this client.
    void RunFetch(TDataFetcher& AFetcher, const TFetchSettings& ASettings);
    void StartFetch(bool AThreaded, bool AShowProgress);
    void ReapFinishedThreads();

    void ImportItem(const QString& AName, const hostapi::TQVXMLElement& AData,
                    hostapi::TXMLImportContext& AContext);

    hostapi::TQVXMLImportContainer* FQVXMLImportContainer;
    hostapi::TQVRegisterServiceContainer* FQVRegisterServiceContainer;

    mutable QMutex FConfigLock;
    QString FUserName;
    QString FPassword;
    QString FBaseURL;
    QString FLastFetchStamp;

    std::timed_mutex FFetchLock; // held for a whole fetch
    mutable std::mutex FStateLock;
    std::condition_variable FFetchEnded;
    struct TActiveFetch {
        TDataFetcher* Fetcher;
        quint64 Generation; // FGeneration when it began
    };
    std::vector<TActiveFetch> FActive; // fetches in flight, cancelled by BeforeUnInit and resets
    quint64 FGeneration = 0;           // counts the resets
    std::vector<std::unique_ptr<TFetchThread>> FThreads;
    bool FShutDown = false;
};

} // namespace registerservice
