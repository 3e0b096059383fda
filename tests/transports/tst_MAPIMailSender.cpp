#include "HostLibraries.h"
#include "MAPIMailSender.h"
#include "QVException.h"
#include "SendmailFixture.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "VRNLang.h"
#include "support/TestDatabase.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace emailmarketing;
using testsupport::FakeSendmail;
using testsupport::NewMailSender;

namespace {

QStringList ArgvOf(const QJsonObject& ACall) {
    QStringList result;
    for (const QJsonValue& value : ACall.value(QStringLiteral("argv")).toArray())
        result.append(value.toString());
    return result;
}

// The header block of a message text.
QString HeaderOf(const QString& AMessage) {
    return AMessage.left(AMessage.indexOf(QStringLiteral("\n\n")));
}

bool Send(TMAPIMailSender& ASender, const QString& ATo, const QString& ACC = {}, const QString& ABCC = {},
          const QList<TAttachementFile>& AAttachments = {}) {
    return ASender.SendMessage({}, ATo, QStringLiteral("Absender"), QStringLiteral("sender@example.test"),
                               QStringLiteral("Betreff äöü"), QStringLiteral("Hallo\nWelt"), {}, false, {},
                               AAttachments, {}, ACC, ABCC, {});
}

} // namespace

class tst_MAPIMailSender : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void SubmitArguments_data();
    void SubmitArguments();
    void Addresses_data();
    void Addresses();
    void ParseMsmtpAccounts();

    void HandsEnvelopeAsArgumentsAndMessageOnStdin();
    void RefusesRecipientThatLooksLikeOption_data();
    void RefusesRecipientThatLooksLikeOption();
    void NonZeroExitAnswersProgramErrorText();
    void ProgramExitingBeforeReadingLargeMessage();
    void UnusableProgramFailsConnect_data();
    void UnusableProgramFailsConnect();
    void NotAvailableTextInEveryLanguage();
    void MissingAttachmentFailsMessage();
    void HangingProgramIsStoppedAtTimeLimit();
    void CancelStopsRunningProgram();
    void ProfilesOnlyForMsmtp();
    void RegisteredClassTakesProgramFromSettings();
};

void tst_MAPIMailSender::SubmitArguments_data() {
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QStringList>("recipients");
    QTest::addColumn<QStringList>("expected"); // empty: refused

    const QString from = QStringLiteral("s@x.de");
    QTest::newRow("recipients after --") << from << QString() << QStringList{"a@x.de", "b@y.de"}
                                         << QStringList{"-i", "-f", from, "--", "a@x.de", "b@y.de"};
    QTest::newRow("account as one argument")
        << from << QStringLiteral("work -X") << QStringList{"a@x.de"}
        << QStringList{"-i", "-f", from, "--account=work -X", "--", "a@x.de"};
    QTest::newRow("recipient starting with -")
        << from << QString() << QStringList{"a@x.de", "-Xlogfile"} << QStringList();
    QTest::newRow("recipient with blank") << from << QString() << QStringList{"a b@x.de"} << QStringList();
    QTest::newRow("recipient with line break")
        << from << QString() << QStringList{"a@x.de\n-X"} << QStringList();
    QTest::newRow("empty recipient") << from << QString() << QStringList{QString()} << QStringList();
    QTest::newRow("sender starting with -")
        << QStringLiteral("-oQ/tmp") << QString() << QStringList{"a@x.de"} << QStringList();
}

void tst_MAPIMailSender::SubmitArguments() {
    QFETCH(QString, sender);
    QFETCH(QString, account);
    QFETCH(QStringList, recipients);
    QFETCH(QStringList, expected);
    if (expected.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException,
                                 TMAPIMailSender::SubmitArguments(sender, account, recipients));
        return;
    }
    QCOMPARE(TMAPIMailSender::SubmitArguments(sender, account, recipients), expected);
}

void tst_MAPIMailSender::Addresses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty items and blanks") << QStringLiteral(", a@x ,, b@y ") << QStringList{"a@x", "b@y"};
    QTest::newRow("quoted comma in a name")
        << QStringLiteral("\"Doe, John\" <j@x.de>, k@y.de") << QStringList{"j@x.de", "k@y.de"};
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("option-like word without domain left out")
        << QStringLiteral("a@x; -Xlogfile") << QStringList{"a@x"};
}

void tst_MAPIMailSender::Addresses() {
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(TMAPIMailSender::Addresses(text), expected);
}

void tst_MAPIMailSender::ParseMsmtpAccounts() {
    const QString config = QStringLiteral("# accounts\n"
                                          "defaults\n"
                                          "auth on\n"
                                          "account   work\n"
                                          "host smtp.example.test\n"
                                          "\taccount private : work\n"
                                          "# account commented\n"
                                          "account work\n"
                                          "account default : private\n");
    QCOMPARE(TRwMAPISession::ParseMsmtpAccounts(config), (QStringList{"work", "private", "default"}));
}

void tst_MAPIMailSender::HandsEnvelopeAsArgumentsAndMessageOnStdin() {
    FakeSendmail fake;
    auto sender = NewMailSender(fake.Program());
    sender->SetPassword(QStringLiteral("geheim-4711"));
    QVERIFY(sender->ConnectToServer(true));
    QVERIFY2(Send(*sender, QStringLiteral("rcpt@example.test"), QStringLiteral(", a@x ,, b@y "),
                  QStringLiteral("\"Hidden, One\" <hidden@z.test>")),
             qPrintable(sender->LastError()));

    const QList<QJsonObject> calls = fake.Calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(ArgvOf(calls[0]), (QStringList{"-i", "-f", "sender@example.test", "--", "rcpt@example.test",
                                            "a@x", "b@y", "hidden@z.test"}));
    QVERIFY(!ArgvOf(calls[0]).join(QLatin1Char(' ')).contains(QStringLiteral("geheim")));
    const QString message = calls[0].value(QStringLiteral("stdin")).toString();
    QVERIFY2(!message.contains(QLatin1Char('\r')), "the message must have LF line ends");
    const QString header = HeaderOf(message);
    QVERIFY2(!message.contains(QStringLiteral("hidden@z.test")), qPrintable(header));
    QVERIFY2(!header.contains(QStringLiteral("\nBcc:"), Qt::CaseInsensitive), qPrintable(header));
    QVERIFY2(header.contains(QStringLiteral("\nCc: a@x, b@y")), qPrintable(header));
    QVERIFY2(header.contains(QStringLiteral("\nTo: rcpt@example.test")), qPrintable(header));
    QVERIFY2(header.contains(QStringLiteral("From: Absender <sender@example.test>")), qPrintable(header));
    QVERIFY2(message.contains(QStringLiteral("\n\nHallo\nWelt")), qPrintable(message));
}

void tst_MAPIMailSender::RefusesRecipientThatLooksLikeOption_data() {
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("cc");
    QTest::addColumn<QString>("bcc");
    QTest::newRow("to") << QStringLiteral("-Xlogfile") << QString() << QString();
    // (A list entry without a domain, "-Xlogfile" alone, is no address and never reaches the program.)
    QTest::newRow("cc") << QStringLiteral("rcpt@example.test") << QStringLiteral("a@x, -Xlogfile@x")
                        << QString();
    QTest::newRow("bcc") << QStringLiteral("rcpt@example.test") << QString() << QStringLiteral("-Xlogfile@x");
    QTest::newRow("two addresses as the receiver")
        << QStringLiteral("rcpt@example.test, -Xlogfile@x") << QString() << QString();
}

void tst_MAPIMailSender::RefusesRecipientThatLooksLikeOption() {
    QFETCH(QString, to);
    QFETCH(QString, cc);
    QFETCH(QString, bcc);
    FakeSendmail fake;
    auto sender = NewMailSender(fake.Program());
    QVERIFY(!Send(*sender, to, cc, bcc));
    QVERIFY2(sender->LastError().contains(QStringLiteral("-Xlogfile")), qPrintable(sender->LastError()));
    QCOMPARE(sender->LastReplyErrorCode(), 0);
    QCOMPARE(fake.Calls().size(), 0);
}

void tst_MAPIMailSender::NonZeroExitAnswersProgramErrorText() {
    FakeSendmail fake;
    fake.SetBehaviour({{"exit", 75}, {"stderr", "sendmail: relay refused the message\n"}});
    auto sender = NewMailSender(fake.Program());
    QVERIFY(!Send(*sender, QStringLiteral("rcpt@example.test")));
    QCOMPARE(sender->LastError(), QStringLiteral("sendmail: relay refused the message"));
    QCOMPARE(sender->LastReplyErrorCode(), 0);

    fake.SetBehaviour({{"exit", 1}});
    QVERIFY(!Send(*sender, QStringLiteral("rcpt@example.test")));
    QVERIFY2(sender->LastError().contains(QStringLiteral("exit code 1")), qPrintable(sender->LastError()));

    fake.SetBehaviour({});
    QVERIFY2(Send(*sender, QStringLiteral("rcpt@example.test")), qPrintable(sender->LastError()));
    QCOMPARE(sender->LastError(), QString());
}

// A program that ends without reading a message larger than the pipe's buffer: the write fails
// quietly and the program's answer counts.
void tst_MAPIMailSender::ProgramExitingBeforeReadingLargeMessage() {
    FakeSendmail fake;
    fake.SetBehaviour({{"skip_stdin", true}, {"exit", 67}, {"stderr", "sendmail: user unknown"}});
    auto sender = NewMailSender(fake.Program());
    const QString body(4 << 20, QLatin1Char('x'));
    QVERIFY(!sender->SendMessage({}, QStringLiteral("rcpt@example.test"), {},
                                 QStringLiteral("sender@example.test"), QStringLiteral("s"), body, {}, false,
                                 {}, {}, {}, {}, {}, {}));
    QCOMPARE(sender->LastError(), QStringLiteral("sendmail: user unknown"));
}

void tst_MAPIMailSender::UnusableProgramFailsConnect_data() {
    QTest::addColumn<QString>("program"); // relative to a fresh temporary folder; "" for the folder
    QTest::newRow("missing") << QStringLiteral("missing/sendmail");
    QTest::newRow("not executable") << QStringLiteral("plain-file");
    QTest::newRow("a folder") << QString();
    QTest::newRow("relative path") << QStringLiteral("@relative");
}

void tst_MAPIMailSender::UnusableProgramFailsConnect() {
    QFETCH(QString, program);
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain-file")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString path =
        program == QLatin1String("@relative") ? QStringLiteral("sendmail") : dir.filePath(program);
    auto sender = NewMailSender(path);

    QVERIFY(!sender->ConnectToServer(false));
    QCOMPARE(sender->LastError(), QString());
    QVERIFY(!sender->ConnectToServer(true));
    QCOMPARE(sender->LastError(), TMAPIMailSender::ProgramNotAvailableText(path));
    QVERIFY(sender->LastError().contains(path));
    QVERIFY(!sender->IsConnected());
    QVERIFY(!Send(*sender, QStringLiteral("rcpt@example.test")));
    QStringList servers{QStringLiteral("stale")};
    sender->FillServerList(servers);
    QCOMPARE(servers, QStringList());
}

void tst_MAPIMailSender::NotAvailableTextInEveryLanguage() {
    const QString path = QStringLiteral("/opt/missing/sendmail");
    QStringList texts;
    for (const QString& language : hostapi::TVRNLang::LanguageNames()) {
        hostapi::TVRNLang::SetCurrentLanguage(language);
        const QString text = TMAPIMailSender::ProgramNotAvailableText(path);
        QVERIFY2(text.contains(path), qPrintable(language + QStringLiteral(": ") + text));
        QVERIFY2(!texts.contains(text), qPrintable(language + QStringLiteral(" repeats another language")));
        texts.append(text);
    }
    hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German"));
}

void tst_MAPIMailSender::MissingAttachmentFailsMessage() {
    FakeSendmail fake;
    auto sender = NewMailSender(fake.Program());
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("angebot.pdf"));
    QVERIFY(!Send(*sender, QStringLiteral("rcpt@example.test"), {}, {},
                  {TAttachementFile{QStringLiteral("Angebot.pdf"), missing}}));
    QVERIFY2(sender->LastError().contains(missing), qPrintable(sender->LastError()));
    QCOMPARE(fake.Calls().size(), 0);
}

void tst_MAPIMailSender::HangingProgramIsStoppedAtTimeLimit() {
    FakeSendmail fake;
    fake.SetBehaviour({{"hang", true}});
    auto sender = NewMailSender(fake.Program());
    sender->Session().SetTimeoutMs(300);
    QVERIFY(!Send(*sender, QStringLiteral("rcpt@example.test")));
    QVERIFY2(sender->LastError().contains(QStringLiteral("did not finish")), qPrintable(sender->LastError()));
}

// Cancel from another thread while the program runs, repeated to shake out races of the flag.
void tst_MAPIMailSender::CancelStopsRunningProgram() {
    FakeSendmail fake;
    fake.SetBehaviour({{"hang", true}});
    for (int round = 1; round <= 5; ++round) {
        auto sender = NewMailSender(fake.Program());
        bool sent = true;
        std::thread worker([&] { sent = Send(*sender, QStringLiteral("rcpt@example.test")); });
        const bool started = fake.WaitForCalls(round);
        sender->Cancel();
        worker.join();
        QVERIFY(started);
        QVERIFY(!sent);
        QCOMPARE(sender->LastError(), TCustomMessageSender::CancelledText());
        QVERIFY(!Send(*sender, QStringLiteral("rcpt@example.test")));
        QCOMPARE(fake.Calls().size(), round);
    }
}

void tst_MAPIMailSender::ProfilesOnlyForMsmtp() {
    FakeSendmail fake;
    auto sender = NewMailSender(fake.Program());
    sender->SetAccountName(QStringLiteral("work"));
    QStringList servers{QStringLiteral("stale")};
    sender->FillServerList(servers);
    QCOMPARE(servers, QStringList());
    // Not msmtp: the profile has no meaning and is never passed.
    QVERIFY(Send(*sender, QStringLiteral("rcpt@example.test")));
    QVERIFY(!ArgvOf(fake.Calls().value(0)).join(QLatin1Char(' ')).contains(QStringLiteral("work")));
}

void tst_MAPIMailSender::RegisteredClassTakesProgramFromSettings() {
    testsupport::TestDatabase db;
    FakeSendmail fake;
    RegisterMAPIMailSenderClass();
    RegisterMAPIMailSenderClass();
    auto& store = hostapi::SettingsStore::Instance();
    store.WriteString(QStringLiteral("EMLMARK"), MailProgramSettingsKey(),
                      hostapi::StrToStringData(fake.Program()));
    TMessageSenderSettings settings;
    settings.MailServer = QStringLiteral(" work ");
    settings.Settings = &store;
    std::unique_ptr<TCustomMessageSender> created = CreateMessageSender(msdMAPI, settings);
    auto* sender = dynamic_cast<TMAPIMailSender*>(created.get());
    QVERIFY(sender != nullptr);
    testsupport::RequireOwnMailProgram(*sender);
    QCOMPARE(sender->MailProgram(), fake.Program());
    QCOMPARE(sender->AccountName(), QStringLiteral("work"));
    QVERIFY(sender->IsSingleServer());
    QVERIFY(!sender->CanTimeOut());

    // Without the setting the system's program is taken; this sender is never connected.
    store.WriteString(QStringLiteral("EMLMARK"), MailProgramSettingsKey(), QString());
    created = CreateMessageSender(msdMAPI, settings);
    QCOMPARE(dynamic_cast<TMAPIMailSender&>(*created).MailProgram(), TRwMAPISession::DefaultProgram());
    UnRegisterMAPIMailSenderClass();
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, CreateMessageSender(msdMAPI, settings));
}

QTEST_GUILESS_MAIN(tst_MAPIMailSender)
#include "tst_MAPIMailSender.moc"
