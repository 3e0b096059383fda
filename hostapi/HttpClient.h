#pragma once

#include "HostApiExport.h"
#include "QVException.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

namespace hostapi {

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// One HTTP request of HttpClient.
struct HOSTAPI_EXPORT HttpRequest {
    QByteArray Method = "GET"; // "GET", "POST", "PUT", "PATCH" or "DELETE"
    QUrl Url;                  // http or https; user information in the URL is refused
    HttpHeaders Headers;       // sent as given, after the client's own
    QByteArray Body;           // sent with POST, PUT and PATCH (and DELETE when not empty)

    // Basic authentication when UserName is not empty. Sent only to the host of Url.
    QString UserName;
    QString Password;

    int ConnectTimeoutMs = 30000;
    int TimeoutMs = 120000; // the whole request, redirects included; 0: no total limit
    // With StallBytes > 0 the request fails when fewer than StallBytes of the answer arrive within
    // StallMs (a stalled line), however long the whole transfer takes.
    qint64 StallBytes = 0;
    int StallMs = 60000;
    qint64 MaxResponseBytes = 64ll << 20;  // a longer answer body is refused
    QString CaFile;                        // PEM certificates that replace the system's trust store
    int MaxRedirects = 10;                 // 0: a redirect answer is returned as it is
    bool AllowRedirectToOtherHost = false; // else only to the same scheme, host and port
};

struct HOSTAPI_EXPORT HttpResponse {
    int Status = 0;
    QByteArray Reason;   // the status line's text ("Not Found"); may be empty
    HttpHeaders Headers; // of the final answer, names as sent by the server
    QByteArray Body;
    QUrl Url; // the URL that gave this answer (after redirects)

    // The first header of that name (compared without regard to letter case), or empty.
    QByteArray Header(const QByteArray& AName) const;
};

// A request that did not produce an answer below 400: connection, TLS, time limit, size limit,
// refused redirect, or cancellation. The message names the URL (never credentials) and the cause.
class HOSTAPI_EXPORT EHttpException : public EQVException {
public:
    using EQVException::EQVException;
    ~EHttpException() override;
};

// Cancel() ended the request.
class HOSTAPI_EXPORT EHttpCancelled : public EHttpException {
public:
    using EHttpException::EHttpException;
    ~EHttpCancelled() override;
};

// The server answered with a status of 400 or more; status, reason and body are kept for the caller.
class HOSTAPI_EXPORT EHttpStatusException : public EHttpException {
public:
    EHttpStatusException(const QString& AMessage, int AStatus, QByteArray ABody, QByteArray AReason = {});
    ~EHttpStatusException() override;
    int Status() const { return FStatus; }
    const QByteArray& Body() const { return FBody; }
    // The status line's text ("Bad Request"); may be empty.
    const QByteArray& Reason() const { return FReason; }

private:
    int FStatus;
    QByteArray FBody;
    QByteArray FReason;
};

// A synchronous HTTP(S) client over libcurl (hostapi::HostLibraries::Initialize() must have run).
// One request at a time on the calling thread; Cancel() may be called from any other thread, and a
// TCancellationScope of the calling thread that asks for it cancels the request as well. TLS
// certificates and host names are always verified. Redirects are followed by the client itself, so
// that credentials (basic authentication and the Authorization, Proxy-Authorization and Cookie
// headers) never reach another host.
class HOSTAPI_EXPORT HttpClient {
public:
    // (bytes received, bytes expected or -1 when not known); called on the requesting thread.
    using ProgressEvent = std::function<void(qint64 AReceived, qint64 AExpected)>;

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Runs the request. A status of 400 or more raises EHttpStatusException; every other failure
    // EHttpException.
    HttpResponse Execute(const HttpRequest& ARequest);
    HttpResponse Get(const QUrl& AUrl, const HttpHeaders& AHeaders = {});
    HttpResponse Post(const QUrl& AUrl, const QByteArray& ABody, const HttpHeaders& AHeaders = {});
    HttpResponse Put(const QUrl& AUrl, const QByteArray& ABody, const HttpHeaders& AHeaders = {});
    HttpResponse Patch(const QUrl& AUrl, const QByteArray& ABody, const HttpHeaders& AHeaders = {});
    HttpResponse Delete(const QUrl& AUrl, const HttpHeaders& AHeaders = {});

    // Ends the running request promptly with EHttpCancelled. Final: every later request of this
    // client raises EHttpCancelled at once, so a cancel that comes just before a request starts is
    // not lost.
    void Cancel();
    bool IsCancelled() const { return FCancelled.load(); }

    ProgressEvent OnProgress;

    // Test hook: every time limit and window of every request is multiplied by AScale (1: as set),
    // so that a test runs a two-minute transfer in seconds. Not for production code.
    static void SetTimeScaleForTests(double AScale);

    // The URL as shown in messages: without user information.
    static QString DisplayUrl(const QUrl& AUrl);

    // Whether a redirect from AFrom to ATo is followed (http and https only; same scheme, host and
    // port unless AAllowOtherHost). Pure rule, exposed for tests.
    static bool RedirectAllowed(const QUrl& AFrom, const QUrl& ATo, bool AAllowOtherHost);
    // Whether credentials set for AOrigin may be sent to ATarget (same scheme, host and port).
    static bool SameOrigin(const QUrl& AOrigin, const QUrl& ATarget);

private:
    struct Transfer;
    HttpResponse Perform(const HttpRequest& ARequest, const QUrl& AUrl, const QByteArray& AMethod,
                         bool ASendCredentials, qint64 ARemainingMs);
    bool CancelRequested() const;

    void* FMulti = nullptr; // CURLM*, kept for the client's life so Cancel() can wake it
    std::atomic<bool> FCancelled{false};
};

} // namespace hostapi
