#include "HostLibraries.h"
#include "MAPIMailSender.h"
#include "MailPeers.h"
#include "SendmailFixture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace emailmarketing;
using testsupport::NewMailSender;
using testsupport::SmtpPeer;

namespace {

const QString Msmtp = QStringLiteral("/usr/bin/msmtp");

QStringList TextsOf(const QJsonValue& AArray) {
    QStringList result;
    for (const QJsonValue& value : AArray.toArray())
        result.append(value.toString());
    return result;
}

void WriteFile(const QString& APath, const QByteArray& AData, QFile::Permissions APermissions = {}) {
    QFile file(APath);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(AData) == AData.size(), qPrintable(APath));
    file.close();
    if (APermissions)
        QVERIFY(file.setPermissions(APermissions));
}

} // namespace

// msmtp as the mail program, its user configuration in a home folder of the test's own, pointed at
// the SMTP peer on loopback.
class tst_MAPIMailSenderDelivery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void AccountsOfMsmtpAreTheProfiles();
    void MessageArrivesComplete();
    void UnknownAccountFailsConnect();
    void MsmtpFailureIsTheErrorText();

private:
    QTemporaryDir FHome;
    QByteArray FOldHome;
    std::unique_ptr<SmtpPeer> FPeer;
    quint16 FClosedPort = 0;
};

void tst_MAPIMailSenderDelivery::initTestCase() {
    hostapi::HostLibraries::Initialize();
    if (!QFileInfo(Msmtp).isExecutable())
        QFAIL("msmtp is not installed (scripts/setup installs it)");
    FPeer = std::make_unique<SmtpPeer>();
    QString error;
    QVERIFY2(FPeer->Start(error), qPrintable(error));
    FClosedPort = testsupport::FreeLoopbackPort();
    const QString config = QStringLiteral("defaults\n"
                                          "auth off\n"
                                          "tls off\n"
                                          "\n"
                                          "account peer\n"
                                          "host 127.0.0.1\n"
                                          "port %1\n"
                                          "from sender@example.test\n"
                                          "\n"
                                          "account closed : peer\n"
                                          "port %2\n"
                                          "\n"
                                          "account default : peer\n")
                               .arg(FPeer->Port())
                               .arg(FClosedPort);
    WriteFile(FHome.filePath(QStringLiteral(".msmtprc")), config.toUtf8(),
              QFile::ReadOwner | QFile::WriteOwner);
    FOldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(FHome.path()));
}

void tst_MAPIMailSenderDelivery::cleanupTestCase() {
    qputenv("HOME", FOldHome);
    FPeer.reset();
}

void tst_MAPIMailSenderDelivery::AccountsOfMsmtpAreTheProfiles() {
    auto sender = NewMailSender(Msmtp);
    QStringList accounts;
    sender->FillServerList(accounts);
    // The system file of this machine may add accounts of its own; ours come in their order.
    const QStringList ours{QStringLiteral("peer"), QStringLiteral("closed"), QStringLiteral("default")};
    QVERIFY2(accounts.mid(accounts.size() - 3) == ours, qPrintable(accounts.join(QLatin1Char(','))));
}

void tst_MAPIMailSenderDelivery::MessageArrivesComplete() {
    QTemporaryDir files;
    const QString logo = files.filePath(QStringLiteral("logo.png"));
    const QString photo = files.filePath(QStringLiteral("foto 1.jpg"));
    const QString offer = files.filePath(QStringLiteral("angebot.pdf"));
    WriteFile(logo, QByteArray("\x89PNG\r\n\x1a\n-logo-", 14));
    WriteFile(photo, QByteArray("\xff\xd8\xff\xe0-photo-", 11));
    WriteFile(offer, QByteArray("%PDF-1.4\n.\n..\n% end\n"));
    const QString html = QStringLiteral("<html><body><p>Grüße</p><img src=\"cid:logo.png\"><img "
                                        "src=\"cid:foto 1.jpg\"></body></html>");

    auto sender = NewMailSender(Msmtp);
    sender->SetAccountName(QStringLiteral("peer"));
    QVERIFY2(sender->ConnectToServer(true), qPrintable(sender->LastError()));
    const bool sent = sender->SendMessage(
        QStringLiteral("Empfänger"), QStringLiteral("rcpt@example.test"), QStringLiteral("Shop, Köln"),
        QStringLiteral("sender@example.test"), QStringLiteral("Angebot für Sie"),
        QStringLiteral("Grüße\n.\nEnde"), html, true, {logo, photo},
        {TAttachementFile{QStringLiteral("Angebot März.pdf"), offer}}, QStringLiteral("reply@example.test"),
        QStringLiteral("\"Doe, John\" <john@example.test>"), QStringLiteral("hidden@example.test"), {});
    QVERIFY2(sent, qPrintable(sender->LastError()));

    const QStringList messages = FPeer->Messages();
    QCOMPARE(messages.size(), 1);
    const QJsonObject envelope = FPeer->Envelope(messages.first());
    QCOMPARE(envelope.value(QStringLiteral("mail_from")).toString(), QStringLiteral("sender@example.test"));
    QCOMPARE(TextsOf(envelope.value(QStringLiteral("rcpt_tos"))),
             (QStringList{"rcpt@example.test", "john@example.test", "hidden@example.test"}));

    const QJsonObject parsed = FPeer->Parsed(messages.first());
    const QJsonObject headers = parsed.value(QStringLiteral("headers")).toObject();
    QVERIFY(!headers.contains(QStringLiteral("bcc")));
    QCOMPARE(TextsOf(headers.value(QStringLiteral("subject"))), QStringList{"Angebot für Sie"});
    QCOMPARE(parsed.value(QStringLiteral("from")).toArray().first().toArray(),
             (QJsonArray{"Shop, Köln", "sender@example.test"}));
    QCOMPARE(parsed.value(QStringLiteral("cc")).toArray().first().toArray(),
             (QJsonArray{"Doe, John", "john@example.test"}));
    QCOMPARE(
        TextsOf(parsed.value(QStringLiteral("structure"))),
        (QStringList{"multipart/mixed", "  multipart/alternative", "    text/plain", "    multipart/related",
                     "      text/html", "      image/png", "      image/jpeg", "  application/pdf"}));
    QStringList contentIds;
    QString plain;
    QString receivedHtml;
    QString attachmentName;
    qint64 attachmentSize = -1;
    for (const QJsonValue& value : parsed.value(QStringLiteral("parts")).toArray()) {
        const QJsonObject part = value.toObject();
        const QString type = part.value(QStringLiteral("content_type")).toString();
        if (type.startsWith(QStringLiteral("image/")))
            contentIds.append(part.value(QStringLiteral("content_id")).toString());
        if (type == QLatin1String("text/plain"))
            plain = part.value(QStringLiteral("text")).toString();
        if (type == QLatin1String("text/html"))
            receivedHtml = part.value(QStringLiteral("text")).toString();
        if (type == QLatin1String("application/pdf")) {
            attachmentName = part.value(QStringLiteral("filename")).toString();
            attachmentSize = part.value(QStringLiteral("size")).toInteger();
        }
    }
    // A Content-ID carries the file name percent-encoded, and the HTML refers to it so.
    QCOMPARE(contentIds, (QStringList{"logo.png", "foto%201.jpg"}));
    QVERIFY2(receivedHtml.contains(QStringLiteral("src=\"cid:foto%201.jpg\"")), qPrintable(receivedHtml));
    QCOMPARE(plain.trimmed(), QStringLiteral("Grüße\n.\nEnde"));
    QCOMPARE(attachmentName, QStringLiteral("Angebot März.pdf"));
    QCOMPARE(attachmentSize, QFileInfo(offer).size());
}

void tst_MAPIMailSenderDelivery::UnknownAccountFailsConnect() {
    auto sender = NewMailSender(Msmtp);
    sender->SetAccountName(QStringLiteral("--host=evil.example"));
    QVERIFY(!sender->ConnectToServer(true));
    QVERIFY2(sender->LastError().contains(QStringLiteral("is not configured")),
             qPrintable(sender->LastError()));
    QVERIFY(!sender->IsConnected());
}

void tst_MAPIMailSenderDelivery::MsmtpFailureIsTheErrorText() {
    auto sender = NewMailSender(Msmtp);
    sender->SetAccountName(QStringLiteral("closed"));
    QVERIFY(sender->ConnectToServer(true));
    const int before = FPeer->Messages().size();
    QVERIFY(!sender->SendMessage({}, QStringLiteral("rcpt@example.test"), {},
                                 QStringLiteral("sender@example.test"), QStringLiteral("s"),
                                 QStringLiteral("b"), {}, false, {}, {}, {}, {}, {}, {}));
    QVERIFY2(sender->LastError().contains(QStringLiteral("msmtp")), qPrintable(sender->LastError()));
    QCOMPARE(sender->LastReplyErrorCode(), 0);
    QCOMPARE(FPeer->Messages().size(), before);
}

QTEST_GUILESS_MAIN(tst_MAPIMailSenderDelivery)
#include "tst_MAPIMailSenderDelivery.moc"
