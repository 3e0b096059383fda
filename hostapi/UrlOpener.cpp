#include "UrlOpener.h"

#include "QVException.h"
#include "VRNLang.h"

#include <QDesktopServices>
#include <QUrl>

#include <atomic>

namespace hostapi {

namespace {

std::atomic<IUrlOpener*> GInstalled{nullptr};

QString Tr(const char* AId) {
    static const TVRNLang lang(QStringLiteral("UrlOpener"));
    return lang.TextIn(QString::fromLatin1(AId), TVRNLang::CurrentLanguage());
}

} // namespace

IUrlOpener::~IUrlOpener() = default;

bool DesktopUrlOpener::IsAllowedUrl(const QUrl& AUrl) {
    if (!AUrl.isValid())
        return false;
    const QString scheme = AUrl.scheme().toLower();
    if (scheme == QLatin1String("mailto"))
        return !AUrl.path().isEmpty();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !AUrl.host().isEmpty();
}

QUrl DesktopUrlOpener::RequireAllowedUrl(const QString& AUrl) {
    const QUrl url = QUrl::fromEncoded(AUrl.trimmed().toUtf8(), QUrl::StrictMode);
    if (!IsAllowedUrl(url))
        throw EQVUserMessageException(Tr("IDS_UrlRefused").arg(AUrl));
    return url;
}

void DesktopUrlOpener::OpenUrl(const QString& AUrl) {
    if (!QDesktopServices::openUrl(RequireAllowedUrl(AUrl)))
        throw EQVException(Tr("IDS_UrlNotOpened").arg(AUrl));
}

IUrlOpener& DesktopUrlOpener::Current() {
    if (IUrlOpener* installed = GInstalled.load())
        return *installed;
    static DesktopUrlOpener desktop;
    return desktop;
}

void DesktopUrlOpener::SetCurrent(IUrlOpener* AOpener) {
    GInstalled.store(AOpener);
}

IUrlOpener* DesktopUrlOpener::Installed() {
    return GInstalled.load();
}

void OpenUrl(const QString& AUrl) {
    DesktopUrlOpener::RequireAllowedUrl(AUrl);
    DesktopUrlOpener::Current().OpenUrl(AUrl);
}

} // namespace hostapi
