#include "HttpClient.h"

#include <curl/curl.h>

#include "CancellationScope.h"
#include "HostLibraries.h"

#include <QElapsedTimer>

#include <algorithm>
#include <exception>

namespace hostapi {

EHttpException::~EHttpException() = default;
EHttpCancelled::~EHttpCancelled() = default;

EHttpStatusException::EHttpStatusException(const QString& AMessage, int AStatus, QByteArray ABody,
                                           QByteArray AReason)
    : EHttpException(AMessage), FStatus(AStatus), FBody(std::move(ABody)), FReason(std::move(AReason)) {}
EHttpStatusException::~EHttpStatusException() = default;

QByteArray HttpResponse::Header(const QByteArray& AName) const {
    for (const auto& header : Headers)
        if (header.first.compare(AName, Qt::CaseInsensitive) == 0)
            return header.second;
    return {};
}

namespace {

bool IsRedirect(int AStatus) {
    return AStatus == 301 || AStatus == 302 || AStatus == 303 || AStatus == 307 || AStatus == 308;
}

bool IsHttpScheme(const QUrl& AUrl) {
    const QString scheme = AUrl.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool IsCredentialHeader(const QByteArray& AName) {
    for (const char* name : {"Authorization", "Proxy-Authorization", "Cookie"})
        if (AName.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool IsSupportedMethod(const QByteArray& AMethod) {
    for (const char* name : {"GET", "POST", "PUT", "PATCH", "DELETE"})
        if (AMethod == name)
            return true;
    return false;
}

std::atomic<double> TimeScale{1.0};

// A time limit of the request after the test hook's scale; 0 stays "none".
qint64 Scaled(qint64 AMs) {
    return AMs <= 0 ? AMs : std::max<qint64>(1, qint64(double(AMs) * TimeScale.load()));
}

QString Seconds(qint64 AMs) {
    return QString::number(double(AMs) / 1000.0);
}

int EffectivePort(const QUrl& AUrl) {
    return AUrl.port(AUrl.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80);
}

} // namespace

// State of one transfer that libcurl's callbacks fill.
struct HttpClient::Transfer {
    HttpClient* Client = nullptr;
    qint64 MaxBytes = 0;
    bool TooLarge = false;
    HttpResponse Response;
    qint64 LastReported = -1;
    std::exception_ptr CallbackError;

    static size_t Write(char* AData, size_t ASize, size_t ACount, void* AUser) {
        auto* self = static_cast<Transfer*>(AUser);
        const size_t bytes = ASize * ACount;
        if (self->Response.Body.size() + qint64(bytes) > self->MaxBytes) {
            self->TooLarge = true;
            return 0; // CURLE_WRITE_ERROR
        }
        self->Response.Body.append(AData, qsizetype(bytes));
        return bytes;
    }

    static size_t Header(char* AData, size_t ASize, size_t ACount, void* AUser) {
        auto* self = static_cast<Transfer*>(AUser);
        const size_t bytes = ASize * ACount;
        const QByteArray line = QByteArray(AData, qsizetype(bytes)).trimmed();
        if (line.startsWith("HTTP/")) {
            // A new answer (after "100 Continue"): only the last one counts.
            self->Response.Headers.clear();
            const QList<QByteArray> parts = line.split(' ');
            self->Response.Reason =
                parts.size() > 2 ? line.mid(parts[0].size() + parts[1].size() + 2) : QByteArray();
            return bytes;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            self->Response.Headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        return bytes;
    }

    static int Progress(void* AUser, curl_off_t ADlTotal, curl_off_t ADlNow, curl_off_t, curl_off_t) {
        auto* self = static_cast<Transfer*>(AUser);
        if (self->Client->CancelRequested())
            return 1;
        if (self->Client->OnProgress && ADlNow != self->LastReported) {
            self->LastReported = ADlNow;
            try {
                self->Client->OnProgress(ADlNow, ADlTotal > 0 ? ADlTotal : -1);
            } catch (...) {
                self->CallbackError = std::current_exception();
                return 1;
            }
        }
        return 0;
    }
};

HttpClient::HttpClient() {
    QV_ASSERT(HostLibraries::IsInitialized());
    FMulti = curl_multi_init();
    if (!FMulti)
        throw EHttpException(QStringLiteral("libcurl could not create a transfer handle"));
}

HttpClient::~HttpClient() {
    curl_multi_cleanup(static_cast<CURLM*>(FMulti));
}

void HttpClient::SetTimeScaleForTests(double AScale) {
    TimeScale.store(AScale > 0 ? AScale : 1.0);
}

bool HttpClient::CancelRequested() const {
    return FCancelled.load() || TCancellationScope::CurrentCancelled();
}

void HttpClient::Cancel() {
    FCancelled.store(true);
    curl_multi_wakeup(static_cast<CURLM*>(FMulti));
}

QString HttpClient::DisplayUrl(const QUrl& AUrl) {
    return AUrl.toDisplayString(QUrl::RemoveUserInfo);
}

bool HttpClient::SameOrigin(const QUrl& AOrigin, const QUrl& ATarget) {
    return AOrigin.scheme().compare(ATarget.scheme(), Qt::CaseInsensitive) == 0 &&
           AOrigin.host().compare(ATarget.host(), Qt::CaseInsensitive) == 0 &&
           EffectivePort(AOrigin) == EffectivePort(ATarget);
}

bool HttpClient::RedirectAllowed(const QUrl& AFrom, const QUrl& ATo, bool AAllowOtherHost) {
    if (!ATo.isValid() || !IsHttpScheme(ATo) || !ATo.userInfo().isEmpty())
        return false;
    if (AAllowOtherHost) // never from https down to http
        return !(AFrom.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 &&
                 ATo.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0);
    return SameOrigin(AFrom, ATo);
}

namespace {

HttpRequest MakeRequest(const char* AMethod, const QUrl& AUrl, const HttpHeaders& AHeaders,
                        const QByteArray& ABody = {}) {
    HttpRequest request;
    request.Method = AMethod;
    request.Url = AUrl;
    request.Headers = AHeaders;
    request.Body = ABody;
    return request;
}

} // namespace

HttpResponse HttpClient::Get(const QUrl& AUrl, const HttpHeaders& AHeaders) {
    return Execute(MakeRequest("GET", AUrl, AHeaders));
}

HttpResponse HttpClient::Post(const QUrl& AUrl, const QByteArray& ABody, const HttpHeaders& AHeaders) {
    return Execute(MakeRequest("POST", AUrl, AHeaders, ABody));
}

HttpResponse HttpClient::Put(const QUrl& AUrl, const QByteArray& ABody, const HttpHeaders& AHeaders) {
    return Execute(MakeRequest("PUT", AUrl, AHeaders, ABody));
}

HttpResponse HttpClient::Patch(const QUrl& AUrl, const QByteArray& ABody, const HttpHeaders& AHeaders) {
    return Execute(MakeRequest("PATCH", AUrl, AHeaders, ABody));
}

HttpResponse HttpClient::Delete(const QUrl& AUrl, const HttpHeaders& AHeaders) {
    return Execute(MakeRequest("DELETE", AUrl, AHeaders));
}

HttpResponse HttpClient::Execute(const HttpRequest& ARequest) {
    const QString shown = DisplayUrl(ARequest.Url);
    if (CancelRequested())
        throw EHttpCancelled(QStringLiteral("HTTP request to %1 was cancelled").arg(shown));
    if (!ARequest.Url.isValid() || !IsHttpScheme(ARequest.Url) || ARequest.Url.host().isEmpty())
        throw EHttpException(QStringLiteral("Not an HTTP or HTTPS URL: %1").arg(shown));
    if (!ARequest.Url.userInfo().isEmpty())
        throw EHttpException(
            QStringLiteral("Credentials in the URL are not accepted (set user name and password): %1")
                .arg(shown));
    if (!IsSupportedMethod(ARequest.Method))
        throw EHttpException(
            QStringLiteral("HTTP method %1 is not supported").arg(QString::fromLatin1(ARequest.Method)));

    QElapsedTimer clock;
    clock.start();
    QUrl url = ARequest.Url;
    QByteArray method = ARequest.Method;
    bool sendCredentials = true;
    const qint64 timeout = Scaled(ARequest.TimeoutMs);
    for (int redirects = 0;; ++redirects) {
        const qint64 remaining = timeout > 0 ? timeout - clock.elapsed() : 0; // 0: no limit
        if (timeout > 0 && remaining <= 0)
            throw EHttpException(QStringLiteral("HTTP request to %1 failed: time limit of %2 ms reached")
                                     .arg(shown)
                                     .arg(ARequest.TimeoutMs));
        HttpResponse response = Perform(ARequest, url, method, sendCredentials, remaining);
        const QByteArray location = response.Header("Location");
        if (IsRedirect(response.Status) && ARequest.MaxRedirects > 0 && !location.isEmpty()) {
            const QUrl target = url.resolved(QUrl::fromEncoded(location));
            if (redirects >= ARequest.MaxRedirects)
                throw EHttpException(QStringLiteral("HTTP request to %1 failed: more than %2 redirects")
                                         .arg(shown)
                                         .arg(ARequest.MaxRedirects));
            if (!RedirectAllowed(ARequest.Url, target, ARequest.AllowRedirectToOtherHost))
                throw EHttpException(QStringLiteral("HTTP request to %1 failed: redirect to %2 refused")
                                         .arg(shown, DisplayUrl(target)));
            sendCredentials = SameOrigin(ARequest.Url, target);
            if (response.Status == 303 ||
                (method == "POST" && (response.Status == 301 || response.Status == 302)))
                method = "GET";
            url = target;
            continue;
        }
        if (response.Status >= 400)
            throw EHttpStatusException(QStringLiteral("HTTP request to %1 failed: %2 %3")
                                           .arg(DisplayUrl(url))
                                           .arg(response.Status)
                                           .arg(QString::fromLatin1(response.Reason))
                                           .trimmed(),
                                       response.Status, response.Body, response.Reason);
        return response;
    }
}

HttpResponse HttpClient::Perform(const HttpRequest& ARequest, const QUrl& AUrl, const QByteArray& AMethod,
                                 bool ASendCredentials, qint64 ARemainingMs) {
    const QString shown = DisplayUrl(AUrl);
    CURL* easy = curl_easy_init();
    if (!easy)
        throw EHttpException(QStringLiteral("libcurl could not create a request handle"));
    CURLM* multi = static_cast<CURLM*>(FMulti);
    curl_slist* headers = nullptr;
    Transfer transfer;
    transfer.Client = this;
    transfer.MaxBytes = ARequest.MaxResponseBytes;
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    const QByteArray url = AUrl.toEncoded();
    const QByteArray user = ARequest.UserName.toUtf8();
    const QByteArray password = ARequest.Password.toUtf8();
    const QByteArray caFile = ARequest.CaFile.toLocal8Bit();
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    const qint64 connectTimeout = Scaled(ARequest.ConnectTimeoutMs);
    curl_easy_setopt(
        easy, CURLOPT_CONNECTTIMEOUT_MS,
        long(ARemainingMs > 0 ? std::min<qint64>(connectTimeout, ARemainingMs) : connectTimeout));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(ARemainingMs));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.isEmpty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.constData());
    if (ASendCredentials && !user.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        curl_easy_setopt(easy, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, password.constData());
    }
    if (AMethod == "GET" || (AMethod == "DELETE" && ARequest.Body.isEmpty())) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
        // POST, PUT and PATCH (and a DELETE with a body) send the body from memory.
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, ARequest.Body.constData());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(ARequest.Body.size()));
        headers = curl_slist_append(headers, "Expect:");
    }
    if (AMethod != "GET" && AMethod != "POST")
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, AMethod.constData());
    for (const auto& header : ARequest.Headers)
        if (ASendCredentials || !IsCredentialHeader(header.first))
            headers = curl_slist_append(headers, (header.first + ": " + header.second).constData());
    if (headers)
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(ARequest.MaxResponseBytes));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::Write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::Header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::Progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);

    // The stall rule: at least StallBytes of the answer within every StallMs since the last time
    // that many had come.
    const qint64 stallMs = ARequest.StallBytes > 0 ? Scaled(ARequest.StallMs) : 0;
    QElapsedTimer clock;
    clock.start();
    qint64 markBytes = 0;
    qint64 markMs = 0;
    bool stalled = false;

    CURLcode result = CURLE_OK;
    CURLMcode multiResult = curl_multi_add_handle(multi, easy);
    bool cancelled = false;
    if (multiResult == CURLM_OK) {
        for (;;) {
            if (CancelRequested()) {
                cancelled = true;
                break;
            }
            int running = 0;
            multiResult = curl_multi_perform(multi, &running);
            if (multiResult != CURLM_OK || running == 0)
                break;
            if (stallMs > 0) {
                const qint64 now = clock.elapsed();
                if (transfer.Response.Body.size() - markBytes >= ARequest.StallBytes) {
                    markBytes = transfer.Response.Body.size();
                    markMs = now;
                } else if (now - markMs >= stallMs) {
                    stalled = true;
                    break;
                }
            }
            // Short polls: a cancellation scope and the stall rule are looked at between them.
            multiResult = curl_multi_poll(multi, nullptr, 0, 100, nullptr);
            if (multiResult != CURLM_OK)
                break;
        }
        int pending = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &pending))
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
                result = message->data.result;
        curl_multi_remove_handle(multi, easy);
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);

    if (transfer.CallbackError)
        std::rethrow_exception(transfer.CallbackError);
    if (cancelled || result == CURLE_ABORTED_BY_CALLBACK || CancelRequested())
        throw EHttpCancelled(QStringLiteral("HTTP request to %1 was cancelled").arg(shown));
    if (stalled)
        throw EHttpException(
            QStringLiteral("HTTP request to %1 failed: the transfer stalled (fewer than %2 bytes in %3 s, "
                           "%4 bytes received)")
                .arg(shown)
                .arg(ARequest.StallBytes)
                .arg(Seconds(ARequest.StallMs))
                .arg(transfer.Response.Body.size()));
    if (multiResult != CURLM_OK)
        throw EHttpException(QStringLiteral("HTTP request to %1 failed: %2")
                                 .arg(shown, QString::fromUtf8(curl_multi_strerror(multiResult))));
    if (transfer.TooLarge || result == CURLE_FILESIZE_EXCEEDED)
        throw EHttpException(QStringLiteral("HTTP request to %1 failed: the answer is larger than %2 bytes")
                                 .arg(shown)
                                 .arg(ARequest.MaxResponseBytes));
    if (result != CURLE_OK) {
        const QString cause =
            errorBuffer[0] ? QString::fromUtf8(errorBuffer) : QString::fromUtf8(curl_easy_strerror(result));
        throw EHttpException(QStringLiteral("HTTP request to %1 failed: %2").arg(shown, cause));
    }
    transfer.Response.Status = int(status);
    transfer.Response.Url = AUrl;
    return std::move(transfer.Response);
}

} // namespace hostapi
