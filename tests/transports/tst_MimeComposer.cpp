// GLib's headers (through GMime) come before Qt's (Qt's keyword macro "signals").
#include <gmime/gmime.h>

#include "GMimeSupport.h"

#include "support/ParsedMimeMessage.h"

#include "HostLibraries.h"
#include "MailAddress.h"
#include "MailPeers.h"
#include "MimeComposer.h"
#include "QVException.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace emailmarketing;

namespace {

MailMessage BaseMessage() {
    MailMessage message;
    message.From = {QStringLiteral("Shop"), QStringLiteral("shop@example.com")};
    message.To = {{QStringLiteral("Anna"), QStringLiteral("anna@example.org")}};
    message.Subject = QStringLiteral("Hello");
    message.PlainBody = QStringLiteral("Plain text\r\n");
    return message;
}

} // namespace

class tst_MimeComposer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void Structure_data();
    void Structure();
    void HeadersRoundTrip();
    void HeaderValuesStayOnOneLine_data();
    void HeaderValuesStayOnOneLine();
    void LinesEndInCrLf();
    void UnreadableFileNamesIt();
    void NulCharactersRemoved();
    void AsciiDomains_data();
    void AsciiDomains();
    void HeadersCarryAsciiDomains();
    void NonAsciiFileNames_data();
    void NonAsciiFileNames();
    void AddressListParsing_data();
    void AddressListParsing();
    void TextPartsAsGMimeSetsThem_data();
    void TextPartsAsGMimeSetsThem();
    void DateInTheLocalZone_data();
    void DateInTheLocalZone();

private:
    QTemporaryDir FDir;
    QString File(const QString& AName, const QByteArray& AContent);
    // The composed message as Python's email package reads it (tests/peers/parse-mail).
    QJsonObject ParsedByPython(const QByteArray& AText);
};

void tst_MimeComposer::initTestCase() {
    hostapi::HostLibraries::Initialize();
    QVERIFY(FDir.isValid());
}

QString tst_MimeComposer::File(const QString& AName, const QByteArray& AContent) {
    const QString path = FDir.filePath(AName);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(AContent) != AContent.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QJsonObject tst_MimeComposer::ParsedByPython(const QByteArray& AText) {
    return testsupport::ParseMail(File(QStringLiteral("composed.eml"), AText));
}

void tst_MimeComposer::Structure_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QStringList>("inlineFiles");
    QTest::addColumn<QStringList>("attachments");
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("files");

    const QStringList none;
    QTest::newRow("plain only") << QString() << none << none << QStringList{"text/plain"} << none;
    QTest::newRow("plain and HTML") << "<p>Hi</p>" << none << none
                                    << QStringList{"multipart/alternative", "  text/plain", "  text/html"}
                                    << none;
    QTest::newRow("HTML with inline images")
        << "<img src=\"cid:logo.png\">" << QStringList{"logo.png"} << none
        << QStringList{"multipart/alternative", "  text/plain", "  multipart/related", "    text/html",
                       "    image/png"}
        << QStringList{"inline logo.png logo.png"};
    QTest::newRow("attachments") << QString() << none << QStringList{"Rechnung.pdf"}
                                 << QStringList{"multipart/mixed", "  text/plain", "  application/pdf"}
                                 << QStringList{"attachment Rechnung.pdf -"};
    QTest::newRow("everything") << "<img src=\"cid:logo.png\">" << QStringList{"logo.png"}
                                << QStringList{"Rechnung.pdf", "Liste.txt"}
                                << QStringList{"multipart/mixed",   "  multipart/alternative",
                                               "    text/plain",    "    multipart/related",
                                               "      text/html",   "      image/png",
                                               "  application/pdf", "  text/plain"}
                                << QStringList{"inline logo.png logo.png", "attachment Rechnung.pdf -",
                                               "attachment Liste.txt -"};
    QTest::newRow("inline files without HTML are attached")
        << QString() << QStringList{"logo.png"} << none
        << QStringList{"multipart/mixed", "  text/plain", "  image/png"}
        << QStringList{"attachment logo.png -"};
}

void tst_MimeComposer::Structure() {
    QFETCH(QString, html);
    QFETCH(QStringList, inlineFiles);
    QFETCH(QStringList, attachments);
    QFETCH(QStringList, tree);

    MailMessage message = BaseMessage();
    message.HtmlBody = html;
    for (const QString& name : inlineFiles)
        message.InlineFiles.append(File(name, "\x89PNG...."));
    for (const QString& name : attachments)
        message.Attachments.append(
            {name, File(QStringLiteral("local-") + name, "content of " + name.toUtf8())});

    const testsupport::ParsedMimeMessage parsed(MimeComposer::Compose(message));
    QVERIFY(parsed.Message());
    QCOMPARE(parsed.Tree(), tree);
    QTEST(parsed.Files(), "files");
}

void tst_MimeComposer::HeadersRoundTrip() {
    MailMessage message = BaseMessage();
    message.From = {QStringLiteral("Bäckerei Müller"), QStringLiteral("info@baecker.example")};
    message.To = {{QString(), QStringLiteral("anna@example.org")}};
    message.Cc = {{QStringLiteral("Ćelić"), QStringLiteral("c@example.org")}};
    message.ReplyTo = {{QString(), QStringLiteral("reply@example.com")}};
    message.Subject =
        QStringLiteral("Grüße aus Köln – Ihr Angebot für 2027, lang genug um gefaltet zu werden, "
                       "mit noch mehr Text");
    message.MessageId = QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e@baecker.example");
    message.Priority = MailPriority::High;
    message.DispositionNotificationTo = QStringLiteral("receipt@baecker.example");
    message.Mailer = QStringLiteral("Vorlana EMail SMTP Gateway");
    message.AutoResponseSuppress = QStringLiteral("OOF, AutoReply");
    message.Attachments = {{QStringLiteral("Überweisung März €.pdf"), File(QStringLiteral("a.pdf"), "%PDF")}};

    const QByteArray text = MimeComposer::Compose(message);
    const qsizetype headerEnd = text.indexOf("\r\n\r\n");
    for (const QByteArray& line : text.left(headerEnd).split('\n'))
        QVERIFY2(line.size() <= 998 && std::all_of(line.begin(), line.end(), [](char c) { return c > 0; }),
                 line.constData());

    const testsupport::ParsedMimeMessage parsed(text);
    GMimeMessage* msg = parsed.Message();
    QCOMPARE(QString::fromUtf8(g_mime_message_get_subject(msg)), message.Subject);
    InternetAddressList* from = g_mime_message_get_from(msg);
    QCOMPARE(QString::fromUtf8(internet_address_get_name(internet_address_list_get_address(from, 0))),
             message.From.Name);
    QCOMPARE(parsed.Header("Message-ID"), QStringLiteral("<%1>").arg(message.MessageId));
    QCOMPARE(parsed.Header("X-Mailer"), message.Mailer);
    QCOMPARE(parsed.Header("X-Priority"), QStringLiteral("2 (High)"));
    QCOMPARE(parsed.Header("Disposition-Notification-To"), message.DispositionNotificationTo);
    QCOMPARE(parsed.Header("X-Auto-Response-Suppress"), message.AutoResponseSuppress);
    QCOMPARE(parsed.Header("Reply-To"), QStringLiteral("reply@example.com"));
    QCOMPARE(parsed.Header("To"), QStringLiteral("anna@example.org"));
    QVERIFY(parsed.Header("Bcc").isNull());
    QCOMPARE(parsed.Files(), QStringList{QStringLiteral("attachment Überweisung März €.pdf -")});
    QVERIFY2(text.contains("filename*="), "non-ASCII file names use RFC 2231");
}

void tst_MimeComposer::HeaderValuesStayOnOneLine_data() {
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("name");
    QTest::newRow("CRLF in subject") << "Hi\r\nBcc: victim@example.net"
                                     << "Anna";
    QTest::newRow("LF in subject") << "Hi\nBcc: victim@example.net"
                                   << "Anna";
    QTest::newRow("CR in display name") << "Hi"
                                        << "Anna\rBcc: victim@example.net";
}

void tst_MimeComposer::HeaderValuesStayOnOneLine() {
    QFETCH(QString, subject);
    QFETCH(QString, name);
    MailMessage message = BaseMessage();
    message.Subject = subject;
    message.To = {{name, QStringLiteral("anna@example.org")}};
    const QByteArray text = MimeComposer::Compose(message);
    QVERIFY2(!text.contains("\nBcc:"), text.constData());
    const testsupport::ParsedMimeMessage parsed(text);
    QVERIFY(parsed.Header("Bcc").isNull());
}

void tst_MimeComposer::LinesEndInCrLf() {
    MailMessage message = BaseMessage();
    message.PlainBody = QStringLiteral("one\ntwo\r\n.three\n");
    message.HtmlBody = QStringLiteral("<p>one</p>\n<p>two</p>");
    message.Attachments = {{QStringLiteral("x.txt"), File(QStringLiteral("x.txt"), "a\nb\n")}};
    const QByteArray text = MimeComposer::Compose(message);
    for (qsizetype i = text.indexOf('\n'); i >= 0; i = text.indexOf('\n', i + 1))
        QVERIFY2(i > 0 && text[i - 1] == '\r', qPrintable(QStringLiteral("bare LF at %1").arg(i)));
}

void tst_MimeComposer::UnreadableFileNamesIt() {
    MailMessage message = BaseMessage();
    const QString missing = FDir.filePath(QStringLiteral("missing.pdf"));
    message.Attachments = {{QStringLiteral("x.pdf"), missing}};
    try {
        MimeComposer::Compose(message);
        QFAIL("a missing attachment composed");
    } catch (const hostapi::EQVException& e) {
        QVERIFY2(e.Message().contains(missing), qPrintable(e.Message()));
    }
}

void tst_MimeComposer::NulCharactersRemoved() {
    const QChar nul(0);
    MailMessage message = BaseMessage();
    message.PlainBody = QStringLiteral("before") + nul + QStringLiteral("after\r\n");
    message.HtmlBody = QStringLiteral("<p>before") + nul + QStringLiteral("after</p>");
    message.Subject = QStringLiteral("Hel") + nul + QStringLiteral("lo");
    message.From = {QStringLiteral("Sh") + nul + QStringLiteral("op"), QStringLiteral("shop@example.com")};
    message.Attachments = {
        {QStringLiteral("Rech") + nul + QStringLiteral("nung.pdf"), File(QStringLiteral("r.pdf"), "%PDF")}};
    const QByteArray text = MimeComposer::Compose(message);
    QVERIFY(!text.contains('\0'));
    const QJsonObject parsed = ParsedByPython(text);
    const QJsonObject headers = parsed[QStringLiteral("headers")].toObject();
    QCOMPARE(headers[QStringLiteral("subject")].toArray().first().toString(), QStringLiteral("Hello"));
    QCOMPARE(parsed[QStringLiteral("from")].toArray().first().toArray().first().toString(),
             QStringLiteral("Shop"));
    const QJsonArray parts = parsed[QStringLiteral("parts")].toArray();
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts[0].toObject()[QStringLiteral("text")].toString(), QStringLiteral("beforeafter\n"));
    QCOMPARE(parts[1].toObject()[QStringLiteral("text")].toString(), QStringLiteral("<p>beforeafter</p>"));
    QCOMPARE(parts[2].toObject()[QStringLiteral("filename")].toString(), QStringLiteral("Rechnung.pdf"));
}

void tst_MimeComposer::AsciiDomains_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ASCII unchanged") << "anna@example.test"
                                     << "anna@example.test";
    QTest::newRow("umlaut") << "anna@bücher.test"
                            << "anna@xn--bcher-kva.test";
    QTest::newRow("sharp s, non-transitional") << "anna@faß.test"
                                               << "anna@xn--fa-hia.test";
    QTest::newRow("upper case mapped") << "anna@BÜCHER.test"
                                       << "anna@xn--bcher-kva.test";
    QTest::newRow("local part kept") << "jürgen@bücher.test"
                                     << "jürgen@xn--bcher-kva.test";
    QTest::newRow("address literal") << "anna@[127.0.0.1]"
                                     << "anna@[127.0.0.1]";
    QTest::newRow("no domain") << "anna"
                               << "anna";
}

void tst_MimeComposer::AsciiDomains() {
    QFETCH(QString, address);
    QTEST(WithAsciiDomain(address), "expected");
}

void tst_MimeComposer::HeadersCarryAsciiDomains() {
    MailMessage message = BaseMessage();
    message.From = {QStringLiteral("Müller"), QStringLiteral("shop@müller.test")};
    message.To = {{QString(), QStringLiteral("anna@bücher.test")}};
    message.Cc = {{QString(), QStringLiteral("bert@faß.test")}};
    message.MessageId = QStringLiteral("0f8fad5b@müller.test");
    message.DispositionNotificationTo = QStringLiteral("receipt@müller.test");
    const QByteArray text = MimeComposer::Compose(message);
    const QByteArray header = text.left(text.indexOf("\r\n\r\n"));
    QVERIFY2(std::all_of(header.begin(), header.end(), [](char c) { return c > 0; }), header.constData());
    const QJsonObject headers = ParsedByPython(text)[QStringLiteral("headers")].toObject();
    const auto value = [&](const char* AName) {
        return headers[QLatin1String(AName)].toArray().first().toString();
    };
    QCOMPARE(value("from"), QStringLiteral("Müller <shop@xn--mller-kva.test>"));
    QCOMPARE(value("to"), QStringLiteral("anna@xn--bcher-kva.test"));
    QCOMPARE(value("cc"), QStringLiteral("bert@xn--fa-hia.test"));
    QCOMPARE(value("message-id"), QStringLiteral("<0f8fad5b@xn--mller-kva.test>"));
    QCOMPARE(value("disposition-notification-to"), QStringLiteral("receipt@xn--mller-kva.test"));
}

void tst_MimeComposer::NonAsciiFileNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("contentId");
    QTest::newRow("umlaut and blank") << "Bild Grün.png"
                                      << "Bild%20Gr%C3%BCn.png";
    QTest::newRow("long, many two-byte characters")
        << "Übersicht der Jahresabschlüsse für das Geschäftsjahr 2025 – Größenordnung äöüß äöüß äöüß.png"
        << "%C3%9Cbersicht%20der%20Jahresabschl%C3%BCsse%20f%C3%BCr%20das%20Gesch%C3%A4ftsjahr%202025%20"
           "%E2%80%93%20Gr%C3%B6%C3%9Fenordnung%20%C3%A4%C3%B6%C3%BC%C3%9F%20%C3%A4%C3%B6%C3%BC%C3%9F%20"
           "%C3%A4%C3%B6%C3%BC%C3%9F.png";
    QTest::newRow("long, four-byte characters")
        << QString(QStringLiteral("Grüße 😀😀😀😀😀😀😀😀😀😀😀😀 aus Köln.png"))
        << "Gr%C3%BC%C3%9Fe%20" + QString(QStringLiteral("%F0%9F%98%80")).repeated(12) +
               "%20aus%20K%C3%B6ln.png";
    QTest::newRow("ASCII name unchanged") << "logo.png"
                                          << "logo.png";
}

void tst_MimeComposer::NonAsciiFileNames() {
    QFETCH(QString, name);
    QFETCH(QString, contentId);
    MailMessage message = BaseMessage();
    message.HtmlBody = QStringLiteral("<p><img src=\"cid:%1\"> <img src='cid:%1'></p>").arg(name);
    message.InlineFiles = {File(name, "\x89PNG\r\n\x1a\n")};
    message.Attachments = {{name, File(QStringLiteral("a.bin"), "x")}};
    const QByteArray text = MimeComposer::Compose(message);
    QVERIFY2(std::all_of(text.begin(), text.end(), [](char c) { return c > 0; }),
             "8-bit octets in the message");

    const QJsonArray parts = ParsedByPython(text)[QStringLiteral("parts")].toArray();
    QCOMPARE(parts.size(), 4);
    const QString html = parts[1].toObject()[QStringLiteral("text")].toString();
    QCOMPARE(html, QStringLiteral("<p><img src=\"cid:%1\"> <img src='cid:%1'></p>").arg(contentId));
    for (int i = 2; i < 4; ++i) {
        const QJsonObject part = parts[i].toObject();
        QCOMPARE(part[QStringLiteral("filename")].toString(), name);
        QCOMPARE(part[QStringLiteral("broken_segments")].toArray(), QJsonArray());
    }
    QCOMPARE(parts[2].toObject()[QStringLiteral("content_id")].toString(), contentId);
}

void tst_MimeComposer::AddressListParsing_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("empty") << "" << QStringList{} << QStringList{};
    QTest::newRow("two with names") << "Anna <a@x.de>, \"Müller, Bert\" <b@y.de>"
                                    << QStringList{"a@x.de", "b@y.de"} << QStringList{"Anna", "Müller, Bert"};
    QTest::newRow("bare addresses") << "a@x.de,b@y.de" << QStringList{"a@x.de", "b@y.de"}
                                    << QStringList{"", ""};
    QTest::newRow("group flattened") << "Team: a@x.de, b@y.de;" << QStringList{"a@x.de", "b@y.de"}
                                     << QStringList{"", ""};
}

void tst_MimeComposer::AddressListParsing() {
    QFETCH(QString, text);
    QStringList addresses;
    QStringList names;
    for (const MailAddress& address : ParseAddressList(text)) {
        addresses.append(address.Address);
        names.append(address.Name);
    }
    QTEST(addresses, "addresses");
    QTEST(names, "names");
}

void tst_MimeComposer::TextPartsAsGMimeSetsThem_data() {
    QTest::addColumn<QString>("text");
    const QString umlauts =
        QStringLiteral("Sehr geehrte Frau M\u00fcller, Gr\u00fc\u00dfe aus K\u00f6ln.\r\n");
    QTest::newRow("ascii") << QStringLiteral("Hello\r\nworld\r\n");
    QTest::newRow("empty") << QString();
    QTest::newRow("latin-1, quoted-printable") << umlauts.repeated(40);
    QTest::newRow("latin-1, mostly 8-bit: base64")
        << QStringLiteral("\u00e4\u00f6\u00fc\u00df\u00e9a\r\n").repeated(20);
    QTest::newRow("latin-1 edges") << QStringLiteral("\u0080 \u00bf \u00c0 \u00ff\r\n");
    QTest::newRow("euro sign: utf-8") << umlauts + QStringLiteral("Preis: 5 \u20ac\r\n");
    QTest::newRow("first character past latin-1") << QStringLiteral("a\u0100b\r\n");
    QTest::newRow("cyrillic") << QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442\r\n");
    QTest::newRow("outside the BMP") << QStringLiteral("Gru\u00df ") + QString::fromUcs4(U"\U0001F600") +
                                            QStringLiteral("\r\n");
    QTest::newRow("lone surrogate") << QStringLiteral("M\u00fcller ") + QChar(0xD800) +
                                           QStringLiteral(" end\r\n");
    QTest::newRow("line over 998") << QString(1200, QLatin1Char('x')) + QStringLiteral("\r\n");
    QTest::newRow("latin-1 line over 998") << QString(1200, QChar(0xE4));
    QTest::newRow("From at a line start") << QStringLiteral("Hi\r\nFrom here on\r\n");
    QTest::newRow("From across GMime's read blocks")
        << QString(4093, QLatin1Char('y')) + QStringLiteral("\nFrom x\r\n");
    QTest::newRow("bare CR and LF") << QStringLiteral("a\rb\nc\r\n\u00e4");
    QTest::newRow("up to the first NUL") << QStringLiteral("abc") + QChar(0) + QStringLiteral("\u20ac");
}

// A text part is built without GMime's own text setter; its bytes on the wire must be the ones
// that setter and the best 7-bit encoding gave (charset, transfer encoding, content).
void tst_MimeComposer::TextPartsAsGMimeSetsThem() {
    QFETCH(QString, text);
    gmime::GPtr<GMimeObject> ours(GMIME_OBJECT(gmime::NewTextPart("plain", text)));
    GMimeTextPart* reference = g_mime_text_part_new_with_subtype("plain");
    gmime::GPtr<GMimeObject> referenceObject(GMIME_OBJECT(reference));
    g_mime_text_part_set_text(reference, text.toUtf8().constData());
    g_mime_part_set_content_encoding(
        GMIME_PART(reference),
        g_mime_part_get_best_content_encoding(GMIME_PART(reference), GMIME_ENCODING_CONSTRAINT_7BIT));
    QCOMPARE(gmime::WriteToBytes(ours.get()), gmime::WriteToBytes(referenceObject.get()));
}

void tst_MimeComposer::DateInTheLocalZone_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<QByteArray>("header");
    const QDateTime change(QDate(2026, 3, 29), QTime(1, 0), Qt::UTC); // Berlin: 02:00 CET -> 03:00 CEST
    QTest::newRow("before the change")
        << QByteArray("Europe/Berlin") << change.addSecs(-1) << QByteArray("Sun, 29 Mar 2026 01:59:59 +0100");
    QTest::newRow("at the change") << QByteArray("Europe/Berlin") << change
                                   << QByteArray("Sun, 29 Mar 2026 03:00:00 +0200");
    QTest::newRow("the second before again")
        << QByteArray("Europe/Berlin") << change.addSecs(-1) << QByteArray("Sun, 29 Mar 2026 01:59:59 +0100");
    QTest::newRow("given in another offset")
        << QByteArray("Europe/Berlin")
        << QDateTime(QDate(2026, 7, 1), QTime(6, 30), Qt::OffsetFromUTC, -4 * 3600)
        << QByteArray("Wed, 01 Jul 2026 12:30:00 +0200");
    QTest::newRow("half-hour zone") << QByteArray("Asia/Kolkata") << change
                                    << QByteArray("Sun, 29 Mar 2026 06:30:00 +0530");
}

void tst_MimeComposer::DateInTheLocalZone() {
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, date);
    QFETCH(QByteArray, header);
    const QByteArray previous = qgetenv("TZ");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", zone);
    tzset();
    MailMessage message = BaseMessage();
    message.Date = date;
    const QByteArray text = MimeComposer::Compose(message);
    if (hadZone)
        qputenv("TZ", previous);
    else
        qunsetenv("TZ");
    tzset();
    QVERIFY2(("\r\n" + text).contains("\r\nDate: " + header + "\r\n"), text.constData());
}

QTEST_GUILESS_MAIN(tst_MimeComposer)
#include "tst_MimeComposer.moc"
