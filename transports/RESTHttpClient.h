#pragma once

#include "HttpClient.h"

#include <QByteArray>
#include <QUrl>

namespace emailmarketing {

// The HTTPS client of a mailbox client: hostapi::HttpClient with the headers that every request
// carries (content type, authorization), which the mailbox client sets before each use.
class RESTHttpClient {
public:
    // Sets a header of every request, replacing one of the same name (letter case ignored).
    void SetHeader(const QByteArray& AName, const QByteArray& AValue);
    const hostapi::HttpHeaders& Headers() const { return FHeaders; }

    // Runs the request with the headers added (after those of ARequest). Errors as HttpClient.
    hostapi::HttpResponse Execute(hostapi::HttpRequest ARequest);
    hostapi::HttpResponse Get(const QUrl& AUrl);
    hostapi::HttpResponse Post(const QUrl& AUrl, const QByteArray& ABody);

private:
    hostapi::HttpClient FClient;
    hostapi::HttpHeaders FHeaders;
};

} // namespace emailmarketing
