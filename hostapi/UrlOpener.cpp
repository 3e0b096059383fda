#include "UrlOpener.h"

#include "QVException.h"

#include <QDesktopServices>
#include <QUrl>

namespace emailmarketing {

IUrlOpener::~IUrlOpener() = default;

void DesktopUrlOpener::OpenUrl(const QString& AUrl) {
    if (!QDesktopServices::openUrl(QUrl::fromEncoded(AUrl.toUtf8(), QUrl::StrictMode)))
        throw hostapi::EQVException(QStringLiteral("The browser could not be opened for the sign-in page."));
}

} // namespace emailmarketing
