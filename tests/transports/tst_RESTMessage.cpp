#include "support/ParsedMimeMessage.h"

#include "HostLibraries.h"
#include "MimeMessage.h"
#include "QVException.h"
#include "RESTMessage.h"
#include "RESTMessageParts.h"
#include "support/ThrownMessage.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace emailmarketing;
using testsupport::ParsedMimeMessage;
using testsupport::ThrownMessage;

namespace {

const QByteArray kImage("\x89PNG\r\n\x1a\n\0\0\0\rIHDR binary \0\xff", 25);
const QByteArray kPdf("%PDF-1.4\n\0\x01\x02 attachment \xfe", 25);

QString WriteFile(const QTemporaryDir& ADir, const QString& AName, const QByteArray& AContent) {
    const QString path = ADir.filePath(AName);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(AContent) != AContent.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString Describe(const MimeMessagePart& APart) {
    return QStringLiteral("%1 %2 parent=%3%4%5")
        .arg(APart.PartKind == MimeMessagePart::Kind::Text ? QStringLiteral("text") : QStringLiteral("file"),
             APart.ContentType)
        .arg(APart.ParentPart)
        .arg(APart.FileName.isEmpty() ? QString() : QLatin1Char(' ') + APart.FileName,
             APart.ContentID.isEmpty() ? QString() : QLatin1Char(' ') + APart.ContentID);
}

QStringList Describe(const MimeMessageParts& AParts) {
    QStringList result;
    for (const MimeMessagePart& part : AParts)
        result.append(Describe(part));
    return result;
}

const char* const kHtml =
    "<html><head><style>p{}</style></head><body><p>Gr&uuml;&szlig;e &amp; "
    "&lt;b&gt;Hallo&lt;/b&gt;</p><img alt=\"Logo\" src=\"cid:<logo@shop>\"></body></html>";

// A received message as a mailbox client builds it: header fields, containers, attachment
// descriptions and the HTML body.
void FillReceivedMessage(TRESTMessage& AMessage, const QTemporaryDir& ADir) {
    AMessage.UID = QStringLiteral("AAMkAGI2TG93AAA=");
    AMessage.Flags = MessageFlag::Seen;
    AMessage.From = {QStringLiteral("Shop Müller"), QStringLiteral("shop@example.com")};
    AMessage.Sender = {QString(), QStringLiteral("sender@example.com")};
    AMessage.Recipients = {{QStringLiteral("Anna"), QStringLiteral("anna@example.org")},
                           {QString(), QStringLiteral("ben@example.org")}};
    AMessage.CCList = {{QStringLiteral("Carl"), QStringLiteral("carl@example.org")}};
    AMessage.BccList = {{QString(), QStringLiteral("hidden@example.org")}};
    AMessage.ReplyTo = {{QString(), QStringLiteral("reply@example.com")}};
    AMessage.Subject = QStringLiteral("Grüße aus Zürich – 日本");
    AMessage.MsgId = QStringLiteral("<1234.abcd@example.com>");
    AMessage.Date = QDateTime(QDate(2026, 3, 1), QTime(9, 30), Qt::OffsetFromUTC, 3600);
    AMessage.ExtraHeaders = {{QStringLiteral("X-Mailer"), QStringLiteral("Mailbox 1.0")},
                             {QStringLiteral("Received"), QStringLiteral("from a by b")}};
    AddMultipartContainers(AMessage.MessageParts);
    TMessageAttachmentItem& file = AMessage.Attachments().Append(false);
    file.SetContentType(QStringLiteral("application/pdf"));
    file.SetDisplayName(QStringLiteral("Rechnung März.pdf"));
    file.SetStoredPathName(WriteFile(ADir, QStringLiteral("tmp1.pdf"), kPdf));
    TMessageAttachmentItem& logo = AMessage.Attachments().Append(true);
    logo.SetContentType(QStringLiteral("image/png"));
    logo.SetDisplayName(QStringLiteral("logo.png"));
    logo.SetContentID(QStringLiteral("logo%40shop"));
    logo.SetStoredPathName(WriteFile(ADir, QStringLiteral("tmp2.png"), kImage));
    AddHTMLBodyParts(AMessage.MessageParts, QString::fromUtf8(kHtml));
}

} // namespace

class tst_RESTMessage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void ContentIDForms_data();
    void ContentIDForms();
    void InlineAttachmentsComeFirst();
    void MessageListByUID();
    void FixInlineImageReferences_data();
    void FixInlineImageReferences();
    void HtmlBodyKeepsMarkupTextIsDecoded();
    void SaveRoundTripKeepsMessage();
    void SaveWritesMimeThatGMimeReads();
    void SaveWithUnreadableFileLeavesMessage();
    void SaveStreamReadsMessage();
    void ReadTextCharSets_data();
    void ReadTextCharSets();
    void WriteTextCharSet();
    void CraftedMimeText_data();
    void CraftedMimeText();
    void HeaderValuesCannotAddHeaders();
    void PartsMustNameEarlierContainer();
};

void tst_RESTMessage::ContentIDForms_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bare id gets brackets") << "logo@shop"
                                           << "<logo@shop>";
    QTest::newRow("bracketed id keeps its pair") << "<logo@shop>"
                                                 << "<logo@shop>";
    QTest::newRow("percent-encoded id") << "logo%40shop"
                                        << "<logo@shop>";
    QTest::newRow("percent-encoded brackets") << "%3Clogo%40shop%3E"
                                              << "<logo@shop>";
    QTest::newRow("encoded blank and non-ASCII")
        << "bild%20m%C3%A4rz.png" << QString::fromUtf8("<bild märz.png>");
    QTest::newRow("only opening bracket") << "<logo"
                                          << "<logo>";
    QTest::newRow("only closing bracket") << "logo>"
                                          << "<logo>";
    QTest::newRow("empty stays empty") << ""
                                       << "";
}

void tst_RESTMessage::ContentIDForms() {
    QFETCH(QString, given);
    QFETCH(QString, expected);
    TMessageAttachmentItem item;
    item.SetContentID(given);
    QCOMPARE(item.ContentID(), expected);
}

void tst_RESTMessage::InlineAttachmentsComeFirst() {
    TMessageAttachmentList list;
    list.Append(false).SetDisplayName(QStringLiteral("a.pdf"));
    list.Append(false).SetDisplayName(QStringLiteral("b.pdf"));
    list.Append(true).SetDisplayName(QStringLiteral("logo.png"));
    list.Append(false).SetDisplayName(QStringLiteral("c.pdf"));
    list.Append(true).SetDisplayName(QStringLiteral("banner.png"));
    QStringList order;
    for (int i = 0; i < list.Count(); ++i)
        order.append(list.Items(i).DisplayName() + QLatin1Char(' ') + list.Items(i).ContentDisposition());
    QCOMPARE(order, QStringList({"banner.png inline", "logo.png inline", "a.pdf attachment",
                                 "b.pdf attachment", "c.pdf attachment"}));
}

void tst_RESTMessage::MessageListByUID() {
    TMessageList list;
    TRESTMessage& first = list.Add();
    first.UID = QStringLiteral("id-1");
    TRESTMessage& second = list.Add();
    second.UID = QStringLiteral("id-2");
    list.Add().UID = QStringLiteral("id-2");
    QCOMPARE(list.Count(), 3);
    QCOMPARE(list.ByUID(QStringLiteral("id-2")), &second);
    QCOMPARE(list.ByUID(QStringLiteral("id-1")), &first);
    QCOMPARE(list.ByUID(QStringLiteral("ID-1")), nullptr);
    QCOMPARE(list.ByUID(QStringLiteral("unknown")), nullptr);
    QVERIFY(list.Items(2).Subject.isEmpty());
}

void tst_RESTMessage::FixInlineImageReferences_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bracketed id loses brackets") << "<img src=\"cid:<logo@shop>\">"
                                                 << "<img src=\"cid:logo@shop\">";
    QTest::newRow("letter case of tag and prefix ignored") << "<IMG SRC=\"CID:<a>\" />"
                                                           << "<IMG SRC=\"CID:a\" />";
    QTest::newRow("other attributes first") << "<img alt=\"<b>\" width=\"1\" src=\"cid:<x@y>\">"
                                            << "<img alt=\"<b>\" width=\"1\" src=\"cid:x@y\">";
    QTest::newRow("every image") << "<p><img src=\"cid:<a>\"><img src=\"cid:<b>\"></p>"
                                 << "<p><img src=\"cid:a\"><img src=\"cid:b\"></p>";
    QTest::newRow("id without brackets unchanged") << "<img src=\"cid:a@b\">"
                                                   << "<img src=\"cid:a@b\">";
    QTest::newRow("only the opening bracket") << "<img src=\"cid:<a@b\">"
                                              << "<img src=\"cid:a@b\">";
    QTest::newRow("other sources unchanged") << "<img src=\"https://x/<a>\">"
                                             << "<img src=\"https://x/<a>\">";
    QTest::newRow("same text outside image tags untouched")
        << "<p>src=\"cid:<a>\"</p><a href=\"x\" src=\"cid:<b>\">"
        << "<p>src=\"cid:<a>\"</p><a href=\"x\" src=\"cid:<b>\">";
    QTest::newRow("image without cid source leaves later tags alone")
        << "<img src=\"a.png\"><video src=\"cid:<v>\"><img src=\"cid:<c>\">"
        << "<img src=\"a.png\"><video src=\"cid:<v>\"><img src=\"cid:c\">";
    QTest::newRow("tag name must be img") << "<imgx src=\"cid:<a>\">"
                                          << "<imgx src=\"cid:<a>\">";
    QTest::newRow("unclosed source at the end") << "<img src=\"cid:<a"
                                                << "<img src=\"cid:a";
}

void tst_RESTMessage::FixInlineImageReferences() {
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(emailmarketing::FixInlineImageReferences(html), expected);
}

void tst_RESTMessage::HtmlBodyKeepsMarkupTextIsDecoded() {
    MimeMessageParts parts;
    AddMultipartContainers(parts);
    AddHTMLBodyParts(parts, QString::fromUtf8(kHtml));
    QCOMPARE(Describe(parts),
             QStringList({"text multipart/related parent=-1", "text multipart/alternative parent=0",
                          "text text/plain parent=1", "text text/html parent=1"}));
    QCOMPARE(parts.at(2).CharSet, QStringLiteral("utf-8"));
    QCOMPARE(parts.at(3).CharSet, QStringLiteral("utf-8"));
    QCOMPARE(parts.at(2).Body, QString::fromUtf8("Grüße & <b>Hallo</b>"));
    // The HTML keeps its references: "&lt;b&gt;" must not become markup.
    QCOMPARE(parts.at(3).Body, QString::fromUtf8(kHtml).replace(QStringLiteral("cid:<logo@shop>"),
                                                                QStringLiteral("cid:logo@shop")));
}

void tst_RESTMessage::SaveRoundTripKeepsMessage() {
    QTemporaryDir dir;
    TRESTMessage message;
    FillReceivedMessage(message, dir);
    message.Save();

    QCOMPARE(message.UID, QStringLiteral("AAMkAGI2TG93AAA="));
    QCOMPARE(message.Flags, MessageFlags(MessageFlag::Seen));
    QCOMPARE(message.From, MailAddress({QStringLiteral("Shop Müller"), QStringLiteral("shop@example.com")}));
    QCOMPARE(message.Sender.Address, QStringLiteral("sender@example.com"));
    QCOMPARE(message.Recipients.size(), 2);
    QCOMPARE(message.Recipients.at(0),
             MailAddress({QStringLiteral("Anna"), QStringLiteral("anna@example.org")}));
    QCOMPARE(message.Recipients.at(1).Address, QStringLiteral("ben@example.org"));
    QCOMPARE(message.CCList.value(0).Address, QStringLiteral("carl@example.org"));
    QCOMPARE(message.BccList.value(0).Address, QStringLiteral("hidden@example.org"));
    QCOMPARE(message.ReplyTo.value(0).Address, QStringLiteral("reply@example.com"));
    QCOMPARE(message.Subject, QStringLiteral("Grüße aus Zürich – 日本"));
    QCOMPARE(message.MsgId, QStringLiteral("<1234.abcd@example.com>"));
    QCOMPARE(message.Date, QDateTime(QDate(2026, 3, 1), QTime(8, 30), Qt::UTC));
    QCOMPARE(message.ExtraHeaders,
             (QList<QPair<QString, QString>>{{"X-Mailer", "Mailbox 1.0"}, {"Received", "from a by b"}}));
    QCOMPARE(message.ContentType, QStringLiteral("multipart/mixed"));
    QCOMPARE(Describe(message.MessageParts),
             QStringList({"text multipart/related parent=-1", "text multipart/alternative parent=0",
                          "text text/plain parent=1", "text text/html parent=1",
                          "file image/png parent=0 logo.png <logo@shop>",
                          QString::fromUtf8("file application/pdf parent=-1 Rechnung März.pdf")}));
    QCOMPARE(message.MessageParts.at(2).Body, QString::fromUtf8("Grüße & <b>Hallo</b>"));
    QVERIFY(message.MessageParts.at(3).Body.contains(QLatin1String("&lt;b&gt;Hallo&lt;/b&gt;")));
    QVERIFY(message.MessageParts.at(3).Body.contains(QLatin1String("src=\"cid:logo@shop\"")));
    QCOMPARE(message.MessageParts.at(4).ContentDisposition, QStringLiteral("inline"));
    QCOMPARE(message.MessageParts.at(4).Content, kImage);
    QCOMPARE(message.MessageParts.at(5).ContentDisposition, QStringLiteral("attachment"));
    QCOMPARE(message.MessageParts.at(5).Content, kPdf);
    // The content is in the message now: the received files may go.
    QVERIFY(dir.remove());
    const QByteArray again = message.SaveToBytes();
    const ParsedMimeMessage parsed(again);
    QCOMPARE(parsed.Content("application/pdf"), kPdf);
}

void tst_RESTMessage::SaveWritesMimeThatGMimeReads() {
    QTemporaryDir dir;
    TRESTMessage message;
    FillReceivedMessage(message, dir);
    message.Save();
    const QByteArray mime = message.SaveToBytes();
    QVERIFY2(!mime.contains("\n") || mime.count("\n") == mime.count("\r\n"), "lines end in CRLF");

    const ParsedMimeMessage parsed(mime);
    QVERIFY(parsed.Message() != nullptr);
    QCOMPARE(parsed.Tree(),
             QStringList({"multipart/mixed", "  multipart/related", "    multipart/alternative",
                          "      text/plain", "      text/html", "    image/png", "  application/pdf"}));
    QCOMPARE(parsed.Files(),
             QStringList({"inline logo.png logo@shop", QString::fromUtf8("attachment Rechnung März.pdf -")}));
    QCOMPARE(QString::fromUtf8(g_mime_message_get_subject(parsed.Message())), message.Subject);
    QVERIFY(parsed.Header("Bcc").contains(QLatin1String("hidden@example.org")));
    QCOMPARE(parsed.Header("Message-ID").trimmed(), QStringLiteral("<1234.abcd@example.com>"));
    QCOMPARE(parsed.Header("X-Mailer"), QStringLiteral("Mailbox 1.0"));
    QCOMPARE(parsed.Content("image/png"), kImage);
    QCOMPARE(
        QString::fromUtf8(parsed.Content("text/plain")).replace(QLatin1String("\r\n"), QLatin1String("\n")),
        QString::fromUtf8("Grüße & <b>Hallo</b>"));
    QVERIFY(parsed.Content("text/html").contains("<img alt=\"Logo\" src=\"cid:logo@shop\">"));
}

void tst_RESTMessage::SaveWithUnreadableFileLeavesMessage() {
    QTemporaryDir dir;
    TRESTMessage message;
    FillReceivedMessage(message, dir);
    const QString missing = dir.filePath(QStringLiteral("gone.pdf"));
    message.Attachments().Append(false).SetStoredPathName(missing);
    const QStringList before = Describe(message.MessageParts);

    const QString error = ThrownMessage([&] { message.Save(); });
    QVERIFY2(error.contains(missing), qPrintable(error));
    QCOMPARE(Describe(message.MessageParts), before);
    QCOMPARE(message.UID, QStringLiteral("AAMkAGI2TG93AAA="));
    QCOMPARE(message.Subject, QStringLiteral("Grüße aus Zürich – 日本"));
}

void tst_RESTMessage::SaveStreamReadsMessage() {
    const QByteArray mime = "From: Anna <anna@example.org>\r\n"
                            "To: ben@example.org\r\n"
                            "Subject: =?utf-8?q?Gr=C3=BC=C3=9Fe?=\r\n"
                            "X-Trace: 42\r\n"
                            "MIME-Version: 1.0\r\n"
                            "Content-Type: multipart/alternative; boundary=\"b\"\r\n"
                            "\r\n"
                            "--b\r\n"
                            "Content-Type: text/plain; charset=iso-8859-1\r\n"
                            "Content-Transfer-Encoding: quoted-printable\r\n"
                            "\r\n"
                            "Gr=FC=DFe\r\n"
                            "--b\r\n"
                            "Content-Type: text/html; charset=utf-8\r\n"
                            "\r\n"
                            "<p>Gr\xc3\xbc\xc3\x9f"
                            "e</p>\r\n"
                            "--b--\r\n";
    for (const bool headersOnly : {true, false}) {
        TRESTMessage message;
        message.Subject = QStringLiteral("replaced");
        message.MessageParts.append(
            MimeMessagePart::Text(QStringLiteral("text/plain"), QStringLiteral("old"), {}, -1));
        QBuffer buffer;
        buffer.setData(mime);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        message.SaveStream(buffer, headersOnly);
        QCOMPARE(message.From.Address, QStringLiteral("anna@example.org"));
        QCOMPARE(message.Subject, QString::fromUtf8("Grüße"));
        QCOMPARE(message.ExtraHeaders, (QList<QPair<QString, QString>>{{"X-Trace", "42"}}));
        QCOMPARE(message.ContentType, QStringLiteral("multipart/alternative"));
        if (headersOnly) {
            QVERIFY(message.MessageParts.isEmpty());
            continue;
        }
        QCOMPARE(Describe(message.MessageParts),
                 QStringList({"text text/plain parent=-1", "text text/html parent=-1"}));
        QCOMPARE(message.MessageParts.at(0).Body, QString::fromUtf8("Grüße"));
        QCOMPARE(message.MessageParts.at(1).Body, QString::fromUtf8("<p>Grüße</p>"));
    }
}

void tst_RESTMessage::ReadTextCharSets_data() {
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    const QString none = QStringLiteral("<no exception>");
    QTest::newRow("windows-1252") << QByteArray("windows-1252") << QByteArray("\x80 \xe4\x93")
                                  << QString::fromUtf8("€ ä“") << none;
    QTest::newRow("iso-8859-15") << QByteArray("iso-8859-15") << QByteArray("\xa4") << QString::fromUtf8("€")
                                 << none;
    QTest::newRow("alias latin1") << QByteArray("latin1") << QByteArray("\xe4") << QString::fromUtf8("ä")
                                  << none;
    QTest::newRow("us-ascii") << QByteArray("us-ascii") << QByteArray("plain") << QStringLiteral("plain")
                              << none;
    QTest::newRow("unknown set")
        << QByteArray("bogus-charset") << QByteArray("x") << QString()
        << QStringLiteral("The character set \"bogus-charset\" of a message part is not known.");
}

void tst_RESTMessage::ReadTextCharSets() {
    QFETCH(QByteArray, charset);
    QFETCH(QByteArray, content);
    QFETCH(QString, text);
    QFETCH(QString, error);
    const QByteArray mime = "Subject: x\r\nContent-Type: text/plain; charset=" + charset +
                            "\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + content;
    TRESTMessage message;
    QCOMPARE(ThrownMessage([&] { message.LoadFromBytes(mime, false); }), error);
    if (error == QLatin1String("<no exception>"))
        QCOMPARE(message.MessageParts.value(0).Body, text);
}

void tst_RESTMessage::WriteTextCharSet() {
    TRESTMessage message;
    message.MessageParts.append(MimeMessagePart::Text(
        QStringLiteral("text/plain"), QString::fromUtf8("Grüße"), QStringLiteral("iso-8859-1"), -1));
    const QByteArray mime = message.SaveToBytes();
    const ParsedMimeMessage parsed(mime);
    QCOMPARE(parsed.Content("text/plain"), QByteArray("Gr\xfc\xdf"
                                                      "e"));
    TRESTMessage read;
    read.LoadFromBytes(mime, false);
    QCOMPARE(read.MessageParts.value(0).Body, QString::fromUtf8("Grüße"));

    message.MessageParts[0].Body = QString::fromUtf8("5 €");
    QCOMPARE(
        ThrownMessage([&] { message.SaveToBytes(); }),
        QStringLiteral(
            "The text of a message part cannot be converted from or to the character set \"iso-8859-1\"."));
}

void tst_RESTMessage::CraftedMimeText_data() {
    QTest::addColumn<QByteArray>("mime");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QStringList>("parts");
    QTest::newRow("empty") << QByteArray() << false << QStringList();
    QTest::newRow("text without header") << QByteArray("hello world\n") << false << QStringList();
    QTest::newRow("binary") << QByteArray("\0\x01\xff garbage", 11) << false << QStringList();
    QTest::newRow("headers without content type")
        << QByteArray("Subject: x\r\n\r\nbody") << true << QStringList({"text text/plain parent=-1"});
    QTest::newRow("multipart cut off")
        << QByteArray("Content-Type: multipart/mixed; boundary=z\r\n\r\n--z\r\n"
                      "Content-Type: multipart/related; boundary=y\r\n\r\n--y\r\n")
        << true << QStringList({"text multipart/related parent=-1"});
    QTest::newRow("boundary never closed")
        << QByteArray("Content-Type: multipart/mixed; boundary=z\r\n\r\n--z\r\n"
                      "Content-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\n!!notbase64")
        << true << QStringList({"file image/png parent=-1"});
}

void tst_RESTMessage::CraftedMimeText() {
    QFETCH(QByteArray, mime);
    QFETCH(bool, readable);
    QFETCH(QStringList, parts);
    TRESTMessage message;
    message.Subject = QStringLiteral("before");
    const QString error = ThrownMessage([&] { message.LoadFromBytes(mime, false); });
    QCOMPARE(error,
             readable ? QStringLiteral("<no exception>") : QStringLiteral("The text holds no MIME message."));
    QCOMPARE(Describe(message.MessageParts), parts);
    if (!readable)
        QVERIFY(message.Subject.isEmpty());
}

void tst_RESTMessage::HeaderValuesCannotAddHeaders() {
    TRESTMessage message;
    message.Recipients = {{QString(), QStringLiteral("anna@example.org")}};
    message.Subject = QStringLiteral("Hello\r\nBcc: evil@example.net");
    message.ExtraHeaders = {{QStringLiteral("X-Note"), QStringLiteral("a\r\nX-Injected: yes")}};
    const ParsedMimeMessage parsed(message.SaveToBytes());
    QVERIFY(parsed.Header("Bcc").isEmpty());
    QVERIFY(parsed.Header("X-Injected").isEmpty());
    QCOMPARE(parsed.Header("X-Note"), QStringLiteral("a X-Injected: yes"));

    message.ExtraHeaders = {{QStringLiteral("X-Bad\r\nBcc"), QStringLiteral("evil@example.net")}};
    QVERIFY(ThrownMessage([&] { message.SaveToBytes(); }).contains(QLatin1String("no valid header name")));
}

void tst_RESTMessage::PartsMustNameEarlierContainer() {
    TRESTMessage message;
    message.MessageParts.append(
        MimeMessagePart::Text(QStringLiteral("text/plain"), QStringLiteral("a"), {}, -1));
    message.MessageParts.append(
        MimeMessagePart::Text(QStringLiteral("text/html"), QStringLiteral("b"), {}, 0));
    QVERIFY(ThrownMessage([&] { message.SaveToBytes(); }).contains(QLatin1String("Part 1")));
    message.MessageParts[1].ParentPart = 7;
    QVERIFY(ThrownMessage([&] { message.SaveToBytes(); }).contains(QLatin1String("Part 1")));
}

QTEST_MAIN(tst_RESTMessage)
#include "tst_RESTMessage.moc"
