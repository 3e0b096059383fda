#include "FetchThread.h"

#include "ExceptionDisplay.h"
#include "FetchProgressRelay.h"
#include "RegisterServiceClient.h"
#include "RegisterServiceLog.h"

namespace registerservice {

TFetchThread::TFetchThread(TRegisterServiceClient& AClient, const TFetchSettings& ASettings,
                           TFetchProgressRelay* ARelay)
    : FClient(AClient), FRelay(ARelay), FDataFetcher(std::make_unique<TDataFetcher>(ARelay)),
      FSettings(ASettings) {}

TFetchThread::~TFetchThread() {
    wait();
    if (FRelay) // never started
        FRelay->Finish();
}

void TFetchThread::run() {
    try {
        FClient.RunFetch(*FDataFetcher, FSettings);
    } catch (const hostapi::EHttpCancelled& e) {
        // cancelled by the module's shut-down: nothing for the user to act on
        qCInfo(lcRegisterService).noquote() << e.Message();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
    FDataFetcher.reset();
    if (FRelay)
        FRelay->Finish();
    FRelay = nullptr;
}

} // namespace registerservice
