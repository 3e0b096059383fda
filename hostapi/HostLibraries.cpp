#include "HostLibraries.h"

// GLib's headers (through GMime) name struct members "signals", a keyword macro of Qt's object
// headers: they come before any Qt header that defines it.
#include <curl/curl.h>
#include <gmime/gmime.h>
#include <openssl/ssl.h>

#include "QVException.h"

#include <atomic>
#include <mutex>

namespace hostapi {

namespace {

std::mutex GLock;
std::atomic<bool> GInitialized{false};

} // namespace

void HostLibraries::Initialize() {
    const std::lock_guard<std::mutex> locker(GLock);
    if (GInitialized.load())
        return;
    if (OPENSSL_init_ssl(0, nullptr) != 1)
        throw EQVException(QStringLiteral("OpenSSL could not be initialised"));
    const CURLcode curlResult = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (curlResult != CURLE_OK)
        throw EQVException(QStringLiteral("libcurl could not be initialised: %1")
                               .arg(QString::fromUtf8(curl_easy_strerror(curlResult))));
    g_mime_init();
    GInitialized.store(true);
}

bool HostLibraries::IsInitialized() {
    return GInitialized.load();
}

} // namespace hostapi
