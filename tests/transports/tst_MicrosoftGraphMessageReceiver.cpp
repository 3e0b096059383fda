#include "MicrosoftGraphMessageReceiver.h"
#include "EnhancedOAuth2Authenticator.h"
#include "HostLibraries.h"
#include "HttpClient.h"
#include "support/HttpStub.h"
#include "support/ThrownMessage.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace emailmarketing;
using testsupport::HttpStub;
using testsupport::ThrownMessage;
using ordered_json = nlohmann::ordered_json;

namespace {

const QString Token = QStringLiteral("tok-SECRET-4711");

// The Graph mailbox stub with the script's members over a token that matches the client's.
std::unique_ptr<HttpStub> Mailbox(QJsonObject AScript) {
    if (!AScript.contains("token"))
        AScript["token"] = Token;
    HttpStub::Options options;
    options.Program = QStringLiteral("graph-stub");
    return std::make_unique<HttpStub>(AScript, options);
}

QJsonObject State(const HttpStub& AStub) {
    hostapi::HttpClient client;
    return QJsonDocument::fromJson(client.Get(AStub.Url(QStringLiteral("/_state"))).Body).object();
}

// A client of the stub, signed in with Token (valid for an hour, so no token request is made).
struct Client {
    TEnhancedOAuth2Authenticator Authenticator;
    TMicrosoftGraphMessageReceiver Receiver;

    explicit Client(const HttpStub& AStub) {
        Authenticator.SetAccessToken(Token);
        Authenticator.SetAccessTokenExpiry(QDateTime::currentDateTimeUtc().addSecs(3600));
        Receiver.SetOAuth2Authenticator(&Authenticator);
        Receiver.SetGraphEndpoint(AStub.Url(QString()).toString());
    }
};

QString WriteFile(const QTemporaryDir& ADir, const QString& AName, qint64 ASize) {
    QByteArray data(ASize, '\0');
    for (qint64 i = 0; i < ASize; ++i)
        data[i] = char((i * 7 + i / 251) & 0xff);
    QFile file(ADir.filePath(AName));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != ASize)
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

QString Sha256(const QByteArray& AData) {
    return QString::fromLatin1(QCryptographicHash::hash(AData, QCryptographicHash::Sha256).toHex());
}

QString FileSha256(const QString& APath) {
    QFile file(APath);
    file.open(QIODevice::ReadOnly);
    return Sha256(file.readAll());
}

MimeMessagePart FilePart(const QString& APath, const QString& AContentType, bool AInline = false) {
    MimeMessagePart part;
    part.PartKind = MimeMessagePart::Kind::Attachment;
    part.ContentType = AContentType;
    part.StoredPathName = APath;
    part.FileName = QFileInfo(APath).fileName();
    part.ContentDisposition = AInline ? QStringLiteral("inline") : QStringLiteral("attachment");
    if (AInline)
        part.ContentID = QStringLiteral("<img1@x>");
    return part;
}

void Address(TRESTMessage& AMessage) {
    AMessage.Subject = QStringLiteral("Angebot ä");
    AMessage.From = {QStringLiteral("Vertrieb"), QStringLiteral("sales@firma.test")};
    AMessage.Sender = AMessage.From;
    AMessage.Recipients = {{QStringLiteral("Anna"), QStringLiteral("anna@kunde.test")}};
}

QStringList Keys(const ordered_json& AObject) {
    QStringList keys;
    for (const auto& item : AObject.items())
        keys.append(QString::fromStdString(item.key()));
    return keys;
}

QStringList Calls(const HttpStub& AStub) {
    QStringList calls;
    for (const QJsonObject& request : AStub.Requests())
        calls.append(request["method"].toString() + QLatin1Char(' ') +
                     QUrl::fromPercentEncoding(request["path"].toString().toUtf8()));
    return calls;
}

QStringList ContentRanges(const HttpStub& AStub) {
    QStringList ranges;
    for (const QJsonObject& request : AStub.Requests())
        if (request["method"].toString() == QLatin1String("PUT"))
            ranges.append(request["headers"].toObject()["Content-Range"].toString());
    return ranges;
}

// Every request to the service carries the bearer token; no chunk upload carries any.
void VerifyAuthorization(const HttpStub& AStub) {
    for (const QJsonObject& request : AStub.Requests()) {
        const QJsonObject headers = request["headers"].toObject();
        const bool upload = request["path"].toString().startsWith(QLatin1String("/upload/"));
        QVERIFY2(upload ? !headers.contains("Authorization")
                        : headers["Authorization"].toString() == QStringLiteral("Bearer ") + Token,
                 qPrintable(request["path"].toString()));
    }
}

QJsonObject GraphAddress(const QString& AName, const QString& AAddress) {
    return QJsonObject{{"emailAddress", QJsonObject{{"name", AName}, {"address", AAddress}}}};
}

int TemporaryFolders() {
    return QDir(QDir::tempPath()).entryList({QStringLiteral("qv-graph-*")}, QDir::Dirs).size();
}

} // namespace

class tst_MicrosoftGraphMessageReceiver : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void sendPutsSmallAttachmentsInlineAndUploadsTheOthers();
    void uploadSessions_data();
    void uploadSessions();
    void refusedDraftUploadsAndSendsNothing_data();
    void refusedDraftUploadsAndSendsNothing();
    void bodyTakesTheHtmlOrElseThePlainText_data();
    void bodyTakesTheHtmlOrElseThePlainText();
    void receiveFollowsPagesWithHeadersAttachmentsAndSignedMessages();
    void nextLinkToAnotherHostIsNotFollowed();
    void folderPaths_data();
    void folderPaths();
    void moveDeleteAndMarkRead();
};

void tst_MicrosoftGraphMessageReceiver::sendPutsSmallAttachmentsInlineAndUploadsTheOthers() {
    QTemporaryDir dir;
    const QString a = WriteFile(dir, QStringLiteral("a.pdf"), 1000000);
    const QString b = WriteFile(dir, QStringLiteral("b.zip"), 2000000);
    const QString c = WriteFile(dir, QStringLiteral("c.png"), 500000);
    const auto stub = Mailbox({});
    Client client(*stub);
    const auto message = client.Receiver.CreateMessage();
    Address(*message);
    message->MessageParts = {
        MimeMessagePart::Text(QStringLiteral("text/html"), QStringLiteral("<p>Hallo</p>"),
                              QStringLiteral("utf-8"), -1),
        FilePart(a, QStringLiteral("application/pdf")), FilePart(b, QStringLiteral("application/zip")),
        FilePart(c, QStringLiteral("image/png"), true)};
    client.Receiver.Send(*message);

    QCOMPARE(Calls(*stub), QStringList({"POST /v1.0/me/messages",
                                        "POST /v1.0/me/messages/draft-1/attachments/createUploadSession",
                                        "PUT /upload/s1", "POST /v1.0/me/messages/draft-1/send"}));
    QCOMPARE(ContentRanges(*stub), QStringList({"bytes 0-1999999/2000000"}));
    VerifyAuthorization(*stub);

    const QList<QJsonObject> requests = stub->Requests();
    const ordered_json draft = ordered_json::parse(requests[0]["body"].toString().toLatin1().toStdString());
    QCOMPARE(Keys(draft), QStringList({"subject", "id", "internetMessageId", "from", "sender", "toRecipients",
                                       "replyTo", "ccRecipients", "bccRecipients", "attachments", "body"}));
    QCOMPARE(draft["toRecipients"].dump(),
             std::string(R"([{"emailAddress":{"name":"Anna","address":"anna@kunde.test"}}])"));
    QCOMPARE(draft["body"].dump(), std::string(R"({"contentType":"html","content":"<p>Hallo</p>"})"));
    const ordered_json& inlined = draft["attachments"];
    QCOMPARE(int(inlined.size()), 2);
    QCOMPARE(Keys(inlined[0]), QStringList({"@odata.type", "contentBytes", "contentType", "name"}));
    QCOMPARE(inlined[0]["name"].get<std::string>(), std::string("a.pdf"));
    QCOMPARE(Keys(inlined[1]),
             QStringList({"@odata.type", "contentBytes", "contentType", "isInline", "contentId", "name"}));
    QCOMPARE(inlined[1]["name"].get<std::string>(), std::string("c.png"));
    QCOMPARE(inlined[1]["contentId"].get<std::string>(), std::string("<img1@x>"));
    QCOMPARE(Sha256(QByteArray::fromBase64(
                 QByteArray::fromStdString(inlined[0]["contentBytes"].get<std::string>()))),
             FileSha256(a));
    QCOMPARE(Sha256(QByteArray::fromBase64(
                 QByteArray::fromStdString(inlined[1]["contentBytes"].get<std::string>()))),
             FileSha256(c));

    const ordered_json session = ordered_json::parse(requests[1]["body"].toString().toStdString());
    QCOMPARE(session.dump(), std::string(R"({"AttachmentItem":{"attachmentType":"file","size":2000000,)"
                                         R"("contentType":"application/zip","name":"b.zip"}})"));
    QCOMPARE(requests[2]["headers"].toObject()["Content-Type"].toString(),
             QStringLiteral("application/octet-stream"));
    QCOMPARE(requests[3]["body"].toString(), QString());

    const QJsonObject state = State(*stub);
    QCOMPARE(state["sent"].toArray(), QJsonArray({"draft-1"}));
    const QJsonArray uploads = state["drafts"].toObject()["draft-1"].toObject()["uploads"].toArray();
    QCOMPARE(uploads.size(), 1);
    QCOMPARE(uploads[0].toObject()["sha256"].toString(), FileSha256(b));
}

void tst_MicrosoftGraphMessageReceiver::uploadSessions_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("inMemory");
    QTest::addColumn<QJsonObject>("script");
    QTest::addColumn<QStringList>("ranges");
    QTest::addColumn<QString>("error"); // empty: sent

    QTest::newRow("9 MB in three chunks")
        << qint64(9000000) << false << QJsonObject()
        << QStringList(
               {"bytes 0-3799999/9000000", "bytes 3800000-7599999/9000000", "bytes 7600000-8999999/9000000"})
        << QString();
    QTest::newRow("in-memory content counts its own size")
        << qint64(3000000) << true << QJsonObject() << QStringList({"bytes 0-2999999/3000000"}) << QString();
    QTest::newRow("the service asks for an earlier start")
        << qint64(9000000) << false << QJsonObject{{"first_next_start", 1000000}}
        << QStringList({"bytes 0-3799999/9000000", "bytes 1000000-4799999/9000000",
                        "bytes 4800000-8599999/9000000", "bytes 8600000-8999999/9000000"})
        << QString();
    QTest::newRow("a chunk answered 202 for ever ends at the bound")
        << qint64(3000000) << false << QJsonObject{{"chunk_status", 202}}
        << QStringList(4, QStringLiteral("bytes 0-2999999/3000000"))
        << QStringLiteral("did not finish within 4 requests");
    QTest::newRow("a refused chunk") << qint64(3000000) << false
                                     << QJsonObject{{"chunk_status", 500},
                                                    {"upload_query", "authtoken=upl-SECRET"}}
                                     << QStringList({"bytes 0-2999999/3000000"}) << QStringLiteral("500");
    QTest::newRow("a refused upload session")
        << qint64(3000000) << false << QJsonObject{{"session_status", 403}} << QStringList()
        << QStringLiteral("403");
}

void tst_MicrosoftGraphMessageReceiver::uploadSessions() {
    QFETCH(qint64, size);
    QFETCH(bool, inMemory);
    QFETCH(QJsonObject, script);
    QFETCH(QStringList, ranges);
    QFETCH(QString, error);

    QTemporaryDir dir;
    const QString path = WriteFile(dir, QStringLiteral("big.bin"), size);
    const auto stub = Mailbox(script);
    Client client(*stub);
    client.Receiver.SetMaxExtraChunkRequests(3);
    const auto message = client.Receiver.CreateMessage();
    Address(*message);
    MimeMessagePart part = FilePart(path, QStringLiteral("application/octet-stream"));
    if (inMemory) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        part.Content = file.readAll();
        part.StoredPathName.clear();
    }
    message->MessageParts = {part};
    const QString thrown = ThrownMessage([&] { client.Receiver.Send(*message); });

    QCOMPARE(ContentRanges(*stub), ranges);
    VerifyAuthorization(*stub);
    const QJsonObject state = State(*stub);
    if (error.isEmpty()) {
        QCOMPARE(thrown, QStringLiteral("<no exception>"));
        QCOMPARE(state["sent"].toArray(), QJsonArray({"draft-1"}));
        const QJsonArray uploads = state["drafts"].toObject()["draft-1"].toObject()["uploads"].toArray();
        QCOMPARE(uploads.size(), 1);
        QCOMPARE(uploads[0].toObject()["sha256"].toString(), FileSha256(path));
        QCOMPARE(uploads[0].toObject()["name"].toString(), QStringLiteral("big.bin"));
    } else {
        QVERIFY2(thrown.contains(error), qPrintable(thrown));
        QVERIFY2(!thrown.contains(QLatin1String("SECRET")), qPrintable(thrown));
        QCOMPARE(state["sent"].toArray(), QJsonArray());
        QCOMPARE(state["deleted"].toArray(), QJsonArray({"draft-1"}));
        QCOMPARE(Calls(*stub).constLast(), QStringLiteral("DELETE /v1.0/me/messages/draft-1"));
    }
}

void tst_MicrosoftGraphMessageReceiver::refusedDraftUploadsAndSendsNothing_data() {
    QTest::addColumn<QJsonObject>("script");
    QTest::newRow("draft answered 401") << QJsonObject{{"draft_status", 401}};
    QTest::newRow("token refused") << QJsonObject{{"token", "another"}};
}

void tst_MicrosoftGraphMessageReceiver::refusedDraftUploadsAndSendsNothing() {
    QFETCH(QJsonObject, script);
    QTemporaryDir dir;
    const auto stub = Mailbox(script);
    Client client(*stub);
    const auto message = client.Receiver.CreateMessage();
    Address(*message);
    message->MessageParts = {
        FilePart(WriteFile(dir, QStringLiteral("big.bin"), 3000000), QStringLiteral("x/y"))};
    try {
        client.Receiver.Send(*message);
        QFAIL("no exception");
    } catch (const hostapi::EHttpStatusException& e) {
        QCOMPARE(e.Status(), 401);
        QVERIFY2(!e.Message().contains(Token) && !QString::fromUtf8(e.what()).contains(Token),
                 qPrintable(e.Message()));
    }
    QCOMPARE(Calls(*stub), QStringList({"POST /v1.0/me/messages"}));
    QCOMPARE(State(*stub)["sent"].toArray(), QJsonArray());
}

void tst_MicrosoftGraphMessageReceiver::bodyTakesTheHtmlOrElseThePlainText_data() {
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QString>("body");
    QTest::newRow("plain text only") << QStringList({"text/plain"})
                                     << QStringLiteral(
                                            R"({"contentType":"text","content":"Text of text/plain"})");
    QTest::newRow("plain and html") << QStringList({"text/plain", "text/html"})
                                    << QStringLiteral(
                                           R"({"contentType":"html","content":"Text of text/html"})");
    QTest::newRow("no text") << QStringList() << QStringLiteral("{}");
}

void tst_MicrosoftGraphMessageReceiver::bodyTakesTheHtmlOrElseThePlainText() {
    QFETCH(QStringList, types);
    QFETCH(QString, body);
    const auto stub = Mailbox({});
    Client client(*stub);
    const auto message = client.Receiver.CreateMessage();
    Address(*message);
    message->MessageParts.append(MimeMessagePart::Container(QStringLiteral("multipart/alternative"), -1));
    for (const QString& type : types)
        message->MessageParts.append(MimeMessagePart::Text(type, QStringLiteral("Text of ") + type, {}, 0));
    client.Receiver.Send(*message);
    const ordered_json draft =
        ordered_json::parse(stub->Requests().value(0)["body"].toString().toStdString());
    QCOMPARE(QString::fromStdString(draft["body"].dump()), body);
    QCOMPARE(State(*stub)["sent"].toArray(), QJsonArray({"draft-1"}));
}

void tst_MicrosoftGraphMessageReceiver::receiveFollowsPagesWithHeadersAttachmentsAndSignedMessages() {
    const QByteArray signedMime =
        "From: a@x.test\r\nSubject: inner\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; "
        "micalg=sha-256; boundary=\"b1\"\r\n\r\n--b1\r\nContent-Type: text/plain\r\n\r\n"
        "Signed body text\r\n--b1\r\nContent-Type: application/pkcs7-signature\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nAAEC\r\n--b1--\r\n";
    const QJsonArray plainAttachments{
        QJsonObject{{"contentType", "image/png"},
                    {"name", "logo.png"},
                    {"isInline", true},
                    {"contentId", "logo%40x"},
                    {"contentBytes", QString::fromLatin1(QByteArray("PNGDATA").toBase64())}},
        QJsonObject{{"contentType", "text/plain"},
                    {"name", "../../evil.sh/x.t$t"},
                    {"contentBytes", QString::fromLatin1(QByteArray("notes").toBase64())}},
        QJsonObject{{"contentType", "text/plain"}, {"name", "empty.txt"}, {"contentBytes", ""}}};
    auto messageJson = [&](const QString& AId, bool ARead) {
        return QJsonObject{
            {"id", AId},
            {"folder", "inbox"},
            {"isRead", ARead},
            {"subject", "Betreff " + AId},
            {"internetMessageId", "<" + AId + "@x.test>"},
            {"from", GraphAddress("Anna", "anna@x.test")},
            {"sender", GraphAddress("Anna", "anna@x.test")},
            {"toRecipients", QJsonArray{GraphAddress("Ben", "ben@y.test"), GraphAddress("", "c@y.test")}},
            {"ccRecipients", QJsonArray()},
            {"body", QJsonObject{{"contentType", "html"}, {"content", "<p>Body " + AId + "</p>"}}},
            {"headers", QJsonArray{QJsonObject{{"name", "X-Mailer"}, {"value", "M " + AId}},
                                   QJsonObject{{"name", "content-type"}, {"value", "text/html"}}}},
            {"attachments", plainAttachments}};
    };
    QJsonObject signedMessage = messageJson(QStringLiteral("m3"), false);
    signedMessage["attachments"] =
        QJsonArray{QJsonObject{{"contentType", "multipart/signed"},
                               {"name", "smime.p7m"},
                               {"contentBytes", QString::fromLatin1(signedMime.toBase64())}}};
    const auto stub = Mailbox({{"page_size", 2},
                               {"messages", QJsonArray{messageJson("m1", false), messageJson("read", true),
                                                       messageJson("m2", false), signedMessage}}});
    Client client(*stub);
    const int foldersBefore = TemporaryFolders();
    client.Receiver.Receive(QStringLiteral("inbox"), mqfUnread);

    QCOMPARE(TemporaryFolders(), foldersBefore);
    const QStringList calls = Calls(*stub);
    QCOMPARE(calls.value(0),
             QStringLiteral("GET /v1.0/me/mailFolders/inbox/messages?$filter=isRead eq false"));
    QVERIFY2(calls.contains(
                 QStringLiteral("GET /v1.0/me/mailFolders/inbox/messages?$skip=2&$filter=isRead eq false")),
             qPrintable(calls.join('\n')));
    QCOMPARE(calls.count(QStringLiteral("GET /v1.0/me/messages/m1/?$select=internetMessageHeaders")), 1);
    VerifyAuthorization(*stub);

    TMessageList& list = client.Receiver.MessageList();
    QCOMPARE(list.Count(), 3);
    TRESTMessage& first = list.Items(0);
    QCOMPARE(first.UID, QStringLiteral("m1"));
    QCOMPARE(list.Items(1).UID, QStringLiteral("m2"));
    QCOMPARE(first.Subject, QStringLiteral("Betreff m1"));
    QCOMPARE(first.MsgId, QStringLiteral("<m1@x.test>"));
    QCOMPARE(first.From, (MailAddress{QStringLiteral("Anna"), QStringLiteral("anna@x.test")}));
    QCOMPARE(first.Recipients.size(), 2);
    QCOMPARE(first.Recipients[1].Address, QStringLiteral("c@y.test"));
    QVERIFY(!first.Flags.testFlag(MessageFlag::Seen));
    QCOMPARE(first.ExtraHeaders, (QList<QPair<QString, QString>>{{"X-Mailer", "M m1"}}));

    QCOMPARE(first.Attachments().Count(), 2); // the one without content is left out
    const TMessageAttachmentItem& logo = first.Attachments().Items(0);
    QCOMPARE(logo.ContentDisposition(), QStringLiteral("inline"));
    QCOMPARE(logo.ContentID(), QStringLiteral("<logo@x>"));
    QVERIFY(logo.StoredPathName().endsWith(QLatin1String(".png")));
    const QString evil = first.Attachments().Items(1).StoredPathName();
    QCOMPARE(QFileInfo(evil).suffix(), QString()); // no extension taken from a name that is no plain one
    QCOMPARE(QFileInfo(evil).dir().path(), QFileInfo(logo.StoredPathName()).dir().path());
    QCOMPARE(first.Attachments().Items(1).DisplayName(), QStringLiteral("../../evil.sh/x.t$t"));

    bool html = false, png = false, notes = false;
    for (const MimeMessagePart& part : first.MessageParts) {
        html |=
            part.ContentType == QLatin1String("text/html") && part.Body.contains(QLatin1String("Body m1"));
        png |= part.Content == "PNGDATA";
        notes |= part.Content == "notes";
    }
    QVERIFY(html && png && notes);

    TRESTMessage& signedOne = list.Items(2);
    QCOMPARE(signedOne.UID, QStringLiteral("m3"));
    QCOMPARE(signedOne.Subject, QStringLiteral("Betreff m3"));
    QCOMPARE(signedOne.ContentType, QStringLiteral("multipart/signed"));
    bool signedText = false, htmlAdded = false;
    for (const MimeMessagePart& part : signedOne.MessageParts) {
        signedText |= part.Body.contains(QLatin1String("Signed body text"));
        htmlAdded |= part.ContentType == QLatin1String("text/html");
    }
    QVERIFY(signedText);
    QVERIFY(!htmlAdded);
}

void tst_MicrosoftGraphMessageReceiver::nextLinkToAnotherHostIsNotFollowed() {
    const auto other = Mailbox({{"messages", QJsonArray{QJsonObject{{"id", "x1"}}}}});
    const auto stub =
        Mailbox({{"page_size", 1},
                 {"next_link_base", other->Url(QString()).toString().replace("127.0.0.1", "localhost")},
                 {"messages", QJsonArray{QJsonObject{{"id", "m1"}}, QJsonObject{{"id", "m2"}}}}});
    Client client(*stub);
    const QString thrown = ThrownMessage([&] { client.Receiver.Receive(QString(), mqfReaded | mqfUnread); });
    QVERIFY2(thrown.contains(QLatin1String("another host")), qPrintable(thrown));
    QVERIFY2(!thrown.contains(Token), qPrintable(thrown));
    QCOMPARE(other->Requests().size(), 0);
    QCOMPARE(Calls(*stub).value(0), QStringLiteral("GET /v1.0/me/messages"));
}

void tst_MicrosoftGraphMessageReceiver::folderPaths_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("result"); // the id, or the error text

    QTest::newRow("top level") << QStringLiteral("Inbox") << QStringLiteral("f-inbox");
    QTest::newRow("child with a quote") << QStringLiteral("Inbox/Kunden's") << QStringLiteral("f-kunden");
    QTest::newRow("grandchild") << QStringLiteral("Inbox/Kunden's/2024") << QStringLiteral("f-2024");
    QTest::newRow("missing parent, namesake at the top")
        << QStringLiteral("a/b") << QStringLiteral("MailFolder \"a/b\" not found");
    QTest::newRow("missing child") << QStringLiteral("Inbox/2024")
                                   << QStringLiteral("MailFolder \"Inbox/2024\" not found");
    QTest::newRow("missing top level")
        << QStringLiteral("Archiv") << QStringLiteral("MailFolder \"Archiv\" not found");
}

void tst_MicrosoftGraphMessageReceiver::folderPaths() {
    QFETCH(QString, path);
    QFETCH(QString, result);
    const auto stub = Mailbox(
        {{"folders",
          QJsonArray{QJsonObject{{"id", "f-inbox"}, {"displayName", "Inbox"}, {"parent", QJsonValue()}},
                     QJsonObject{{"id", "f-kunden"}, {"displayName", "Kunden's"}, {"parent", "f-inbox"}},
                     QJsonObject{{"id", "f-2024"}, {"displayName", "2024"}, {"parent", "f-kunden"}},
                     QJsonObject{{"id", "f-b"}, {"displayName", "b"}, {"parent", QJsonValue()}}}}});
    Client client(*stub);
    QString answer;
    const QString thrown = ThrownMessage([&] { answer = client.Receiver.GetMailFolderIDByFolderName(path); });
    QCOMPARE(thrown == QLatin1String("<no exception>") ? answer : thrown, result);
    VerifyAuthorization(*stub);
    if (path == QLatin1String("Inbox/Kunden's"))
        QCOMPARE(Calls(*stub).value(1),
                 QStringLiteral(
                     "GET /v1.0/me/mailFolders/f-inbox/childFolders?$filter=displayName eq 'Kunden''s'"));
}

void tst_MicrosoftGraphMessageReceiver::moveDeleteAndMarkRead() {
    QJsonArray messages;
    for (const char* id : {"m1", "m2", "m3"})
        messages.append(QJsonObject{{"id", id}, {"folder", "inbox"}, {"isRead", false}});
    const auto stub = Mailbox({{"messages", messages}});
    Client client(*stub);
    TRESTMessage m1, m2, m3;
    m1.UID = QStringLiteral("m1");
    m2.UID = QStringLiteral("m2");
    m3.UID = QStringLiteral("m3");
    client.Receiver.Move(m1, QStringLiteral("archive"));
    m1.Flags |= MessageFlag::Seen;
    client.Receiver.UpdateMessage(m1);
    client.Receiver.Delete(m2, true);
    client.Receiver.Delete(m3, false);

    QCOMPARE(Calls(*stub), QStringList({"POST /v1.0/me/messages/m1/move", "PATCH /v1.0/me/messages/m1",
                                        "DELETE /v1.0/me/messages/m2", "POST /v1.0/me/messages/m3/move"}));
    const QList<QJsonObject> requests = stub->Requests();
    QCOMPARE(requests[0]["body"].toString(), QStringLiteral(R"({"destinationId":"archive"})"));
    QCOMPARE(requests[1]["body"].toString(), QStringLiteral(R"({"isRead":true})"));
    QCOMPARE(requests[3]["body"].toString(), QStringLiteral(R"({"destinationId":"deleteditems"})"));
    VerifyAuthorization(*stub);
    const QJsonObject state = State(*stub)["messages"].toObject();
    QCOMPARE(state["m1"].toObject(), (QJsonObject{{"isRead", true}, {"folder", "archive"}}));
    QVERIFY(!state.contains("m2"));
    QCOMPARE(state["m3"].toObject()["folder"].toString(), QStringLiteral("deleteditems"));
    QCOMPARE(ThrownMessage([&] {
                 TRESTMessage none;
                 client.Receiver.Delete(none, true);
             }),
             QStringLiteral("The message has no mailbox id"));
}

QTEST_GUILESS_MAIN(tst_MicrosoftGraphMessageReceiver)
#include "tst_MicrosoftGraphMessageReceiver.moc"
