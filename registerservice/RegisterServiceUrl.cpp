#include "RegisterServiceUrl.h"

#include "QVException.h"

namespace registerservice {

QUrl FetchUrl(const QString& ABaseURL, const QString& ALastFetchStamp) {
    const QString path = ALastFetchStamp.isEmpty()
                             ? QStringLiteral("fetch.php?action=all")
                             : QStringLiteral("fetch.php?action=last&last=") +
                                   QString::fromLatin1(QUrl::toPercentEncoding(ALastFetchStamp));
    const QString joined =
        ABaseURL.endsWith(QLatin1Char('/')) ? ABaseURL + path : ABaseURL + QLatin1Char('/') + path;
    const QUrl url(joined, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        throw hostapi::EQVException(QStringLiteral("Invalid Register-Service URL: %1").arg(ABaseURL));
    return url;
}

} // namespace registerservice
