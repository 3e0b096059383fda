#include "LOX24SMSSender.h"

#include <QCryptographicHash>
#include <QXmlStreamReader>

namespace emailmarketing {

bool TLOX24SMSSender::NeedsUnicode(const QString& AText) {
    // GSM 03.38 default alphabet (without the escape) and the characters of its extension table.
    static const QString gsm =
        QStringLiteral("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?¡"
                       "ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà"
                       "\f^{}\\[~]|€");
    for (const QChar c : AText)
        if (!gsm.contains(c))
            return true;
    return false;
}

QString TLOX24SMSSender::SendQuery(const QString& AAccount, const QString& APassword, const QString& AAPIID,
                                   const QString& AText, const QString& ARecipient,
                                   const QString& AOriginator) {
    const QByteArray passwordHash =
        QCryptographicHash::hash(APassword.toUtf8(), QCryptographicHash::Md5).toHex();
    const QList<QPair<const char*, QString>> items{
        {"konto", AAccount},
        {"password", QString::fromLatin1(passwordHash)},
        {"service", AAPIID},
        {"text", AText},
        {"to", ARecipient},
        {"from", AOriginator},
        {"encoding", NeedsUnicode(AText) ? QStringLiteral("1") : QStringLiteral("0")},
        {"return", QStringLiteral("xml")},
        {"httphead", QStringLiteral("0")},
        {"action", QStringLiteral("send")}};
    QByteArray query;
    for (const auto& [name, value] : items) {
        if (!query.isEmpty())
            query.append('&');
        query.append(name).append('=').append(QUrl::toPercentEncoding(value));
    }
    return QString::fromLatin1(query);
}

void TLOX24SMSSender::CheckAnswer(const QByteArray& AAnswer) const {
    QXmlStreamReader xml(AAnswer);
    QString code;
    QString info;
    bool inAnswer = false;
    bool hasCode = false;
    while (!xml.atEnd()) {
        if (!xml.readNext() || !xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("answer")) {
            inAnswer = true;
        } else if (inAnswer && xml.name() == QLatin1String("code")) {
            code = xml.readElementText().trimmed();
            hasCode = true;
        } else if (inAnswer && xml.name() == QLatin1String("info")) {
            info = xml.readElementText().trimmed();
        }
    }
    if (xml.hasError() || !hasCode)
        RaiseUnreadableAnswer();
    if (code == QLatin1String("100"))
        return;
    RaiseRefusal(info, code);
}

void TLOX24SMSSender::Send() {
    CheckMessage();
    QUrl url = ServiceUrl(QStringLiteral("/API/httpsms.php"));
    for (const QString& recipient : Recipients()) {
        url.setQuery(SendQuery(UserName(), Password(), FAPIID, MessageText(), recipient, Originator()),
                     QUrl::StrictMode);
        hostapi::HttpRequest request;
        request.Url = url;
        CheckAnswer(Execute(request).Body);
    }
}

} // namespace emailmarketing
