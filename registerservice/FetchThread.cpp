#include "FetchThread.h"

#include "ExceptionDisplay.h"
#include "RegisterServiceClient.h"
#include "RegisterServiceLog.h"

namespace registerservice {

TFetchThread::TFetchThread(TRegisterServiceClient& AClient, const TFetchSettings& ASettings)
    : FClient(AClient), FDataFetcher(std::make_unique<TDataFetcher>()), FSettings(ASettings) {}

TFetchThread::~TFetchThread() {
    wait();
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
}

} // namespace registerservice
