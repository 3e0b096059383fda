#include "RESTHttpClient.h"

namespace emailmarketing {

void RESTHttpClient::SetHeader(const QByteArray& AName, const QByteArray& AValue) {
    for (auto& header : FHeaders) {
        if (header.first.compare(AName, Qt::CaseInsensitive) == 0) {
            header.second = AValue;
            return;
        }
    }
    FHeaders.append({AName, AValue});
}

hostapi::HttpResponse RESTHttpClient::Execute(hostapi::HttpRequest ARequest) {
    ARequest.Headers += FHeaders;
    return FClient.Execute(ARequest);
}

hostapi::HttpResponse RESTHttpClient::Get(const QUrl& AUrl) {
    hostapi::HttpRequest request;
    request.Url = AUrl;
    return Execute(request);
}

hostapi::HttpResponse RESTHttpClient::Post(const QUrl& AUrl, const QByteArray& ABody) {
    hostapi::HttpRequest request;
    request.Method = "POST";
    request.Url = AUrl;
    request.Body = ABody;
    return Execute(request);
}

} // namespace emailmarketing
