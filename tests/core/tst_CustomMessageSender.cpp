#include "CustomMessageSender.h"
#include "FakeMessageSender.h"
#include "QVException.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

using namespace emailmarketing;
using testsupport::FakeMessageSender;
using testsupport::FakeTransportScript;
using testsupport::FakeTransportStep;

Q_DECLARE_METATYPE(FakeTransportStep)

namespace {

// Sends one message to anna@example.com with one attachment.
bool Send(TCustomMessageSender& ASender) {
    return ASender.SendMessage({}, QStringLiteral("anna@example.com"), QStringLiteral("Shop"),
                               QStringLiteral("shop@example.com"), QStringLiteral("Rechnung"),
                               QStringLiteral("Text"), {}, false, {},
                               {{QStringLiteral("a=b.pdf"), QStringLiteral("/tmp/x.pdf")}},
                               QStringLiteral("reply@example.com"), {}, {}, {});
}

// Message of the EQVException that `action` throws; "" when it throws none.
QString ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const hostapi::EQVException& e) {
        return e.Message();
    }
    return {};
}

} // namespace

class tst_CustomMessageSender : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void BaseTransport();
    void BaseConnect_data();
    void BaseConnect();
    void ErrorsAreClearedAtEachCall_data();
    void ErrorsAreClearedAtEachCall();
    void FakeAnswersAsScripted_data();
    void FakeAnswersAsScripted();
    void SendMessageHandsOverEveryField_data();
    void SendMessageHandsOverEveryField();
    void ReportingConnectNeverRaises_data();
    void ReportingConnectNeverRaises();
    void ClassTableCreatesAndConfigures();
    void ClassTableRefusals();
    void CancelEndsBlockingCall_data();
    void CancelEndsBlockingCall();
    void CancelFromAnotherThreadStress();
    void CreateWhileUnregisteredStress();
};

void tst_CustomMessageSender::cleanup() {
    UnRegisterMessageSenderClass(msdExtSMTP);
    UnRegisterMessageSenderClass(msdInternal);
    UnRegisterSMSMessageSenderClass(smsdASPSMS);
}

void tst_CustomMessageSender::BaseTransport() {
    TCustomMessageSender sender;
    QVERIFY(sender.IsSingleServer());
    QVERIFY(!sender.IsConnected());
    QVERIFY(sender.CanTimeOut());
    QCOMPARE(sender.LastReplyErrorCode(), 0);
    QCOMPARE(sender.LastError(), QString());
    QVERIFY(!Send(sender));
    QStringList servers;
    sender.FillServerList(servers);
    QVERIFY(servers.isEmpty());
    sender.DisconnectFromServer(); // harmless without a connection
}

void tst_CustomMessageSender::BaseConnect_data() {
    QTest::addColumn<bool>("resetLastError");
    QTest::addColumn<QString>("expectedError");
    QTest::newRow("without reporting") << false << "";
    QTest::newRow("reporting") << true << "not implemented";
}

void tst_CustomMessageSender::BaseConnect() {
    QFETCH(bool, resetLastError);
    QFETCH(QString, expectedError);
    TCustomMessageSender sender;
    QVERIFY(!sender.ConnectToServer(resetLastError));
    QCOMPARE(sender.LastError(), expectedError);
    QCOMPARE(sender.LastReplyErrorCode(), 0);
}

void tst_CustomMessageSender::ErrorsAreClearedAtEachCall_data() {
    QTest::addColumn<bool>("connect"); // the second call is a connect, else a send
    QTest::addColumn<FakeTransportStep>("second");
    QTest::addColumn<QString>("expectedError");

    QTest::newRow("send succeeds") << false << FakeTransportStep::Success() << "";
    QTest::newRow("send throws") << false << FakeTransportStep::Exception("connection reset") << "";
    QTest::newRow("send fails without reply")
        << false << FakeTransportStep::Failure("connection lost") << "connection lost";
    QTest::newRow("connect fails") << true << FakeTransportStep::Failure("no route") << "no route";
    QTest::newRow("connect succeeds") << true << FakeTransportStep::Success() << "";
}

// A 421 of one call never reaches the next: a later failure is not mistaken for a retry.
void tst_CustomMessageSender::ErrorsAreClearedAtEachCall() {
    QFETCH(bool, connect);
    QFETCH(FakeTransportStep, second);
    QFETCH(QString, expectedError);
    auto script = std::make_shared<FakeTransportScript>();
    script->AddSendStep(FakeTransportStep::Reply(421, QStringLiteral("4.3.2 try again later")));
    (connect ? std::function([&] { script->AddConnectStep(second); })
             : std::function([&] { script->AddSendStep(second); }))();
    FakeMessageSender sender(script);

    QVERIFY(!Send(sender));
    QCOMPARE(sender.LastReplyErrorCode(), 421);
    QCOMPARE(sender.LastError(), QStringLiteral("4.3.2 try again later"));

    if (connect)
        sender.ConnectToServer(true);
    else
        ErrorOf([&] { Send(sender); });
    QCOMPARE(sender.LastReplyErrorCode(), 0);
    QCOMPARE(sender.LastError(), expectedError);
}

void tst_CustomMessageSender::FakeAnswersAsScripted_data() {
    QTest::addColumn<FakeTransportStep>("step");
    QTest::addColumn<bool>("expectedAnswer");
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<int>("expectedCode");
    QTest::addColumn<QString>("expectedException");

    QTest::newRow("success") << FakeTransportStep::Success() << true << "" << 0 << "";
    QTest::newRow("success after a delay") << FakeTransportStep::Success(20) << true << "" << 0 << "";
    QTest::newRow("SMTP reply") << FakeTransportStep::Reply(550, "5.1.1 user unknown") << false
                                << "5.1.1 user unknown" << 550 << "";
    QTest::newRow("failure without reply")
        << FakeTransportStep::Failure("connection lost") << false << "connection lost" << 0 << "";
    QTest::newRow("exception") << FakeTransportStep::Exception("boom") << false << "" << 0 << "boom";
}

void tst_CustomMessageSender::FakeAnswersAsScripted() {
    QFETCH(FakeTransportStep, step);
    QFETCH(bool, expectedAnswer);
    QFETCH(QString, expectedError);
    QFETCH(int, expectedCode);
    QFETCH(QString, expectedException);
    auto script = std::make_shared<FakeTransportScript>();
    script->AddSendStep(step);
    FakeMessageSender sender(script);

    bool answer = false;
    QCOMPARE(ErrorOf([&] { answer = Send(sender); }), expectedException);
    QCOMPARE(answer, expectedAnswer);
    QCOMPARE(sender.LastError(), expectedError);
    QCOMPARE(sender.LastReplyErrorCode(), expectedCode);

    const QList<testsupport::FakeSentMessage> messages = script->Messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].ReceiverEmail, QStringLiteral("anna@example.com"));
    QCOMPARE(messages[0].Accepted, expectedAnswer);
    QCOMPARE(messages[0].NormalAttachments,
             (QList<TAttachementFile>{{QStringLiteral("a=b.pdf"), QStringLiteral("/tmp/x.pdf")}}));
    // An empty script answers with success.
    QVERIFY(Send(sender));
}

void tst_CustomMessageSender::SendMessageHandsOverEveryField_data() {
    QTest::addColumn<bool>("isHTML");
    QTest::newRow("plain") << false;
    QTest::newRow("html") << true;
}

void tst_CustomMessageSender::SendMessageHandsOverEveryField() {
    // Every parameter has a value of its own, so a parameter landing in another field shows.
    QFETCH(bool, isHTML);
    auto script = std::make_shared<FakeTransportScript>();
    FakeMessageSender sender(script);
    const QStringList inlineFiles{QStringLiteral("/tmp/logo.png"), QStringLiteral("/tmp/foot.png")};
    const QList<TAttachementFile> attachments{{QStringLiteral("Rechnung.pdf"), QStringLiteral("/tmp/r.pdf")},
                                              {QStringLiteral("AGB.pdf"), QStringLiteral("/tmp/agb.pdf")}};
    QVERIFY(sender.SendMessage(QStringLiteral("Anna Muster"), QStringLiteral("anna@example.com"),
                               QStringLiteral("Shop"), QStringLiteral("shop@example.com"),
                               QStringLiteral("Rechnung"), QStringLiteral("Text"), QStringLiteral("<p>Text</p>"),
                               isHTML, inlineFiles, attachments, QStringLiteral("reply@example.com"),
                               QStringLiteral("cc@example.com"), QStringLiteral("bcc@example.com"),
                               QStringLiteral("receipt@example.com")));

    const QList<testsupport::FakeSentMessage> messages = script->Messages();
    QCOMPARE(messages.size(), 1);
    const testsupport::FakeSentMessage& m = messages[0];
    QCOMPARE(m.ReceiverName, QStringLiteral("Anna Muster"));
    QCOMPARE(m.ReceiverEmail, QStringLiteral("anna@example.com"));
    QCOMPARE(m.SenderName, QStringLiteral("Shop"));
    QCOMPARE(m.SenderEmail, QStringLiteral("shop@example.com"));
    QCOMPARE(m.Subject, QStringLiteral("Rechnung"));
    QCOMPARE(m.PlainBody, QStringLiteral("Text"));
    QCOMPARE(m.HTMLBody, QStringLiteral("<p>Text</p>"));
    QCOMPARE(m.IsHTML, isHTML);
    QCOMPARE(m.InLineAttachments, inlineFiles);
    QCOMPARE(m.NormalAttachments, attachments);
    QCOMPARE(m.ReplyEmail, QStringLiteral("reply@example.com"));
    QCOMPARE(m.CCList, QStringLiteral("cc@example.com"));
    QCOMPARE(m.BCCList, QStringLiteral("bcc@example.com"));
    QCOMPARE(m.ReceiptRecipientAddress, QStringLiteral("receipt@example.com"));
    QVERIFY(m.Accepted);
}

void tst_CustomMessageSender::ReportingConnectNeverRaises_data() {
    QTest::addColumn<FakeTransportStep>("step");
    QTest::addColumn<bool>("expectedAnswer");
    QTest::addColumn<QString>("expectedError");
    QTest::newRow("connected") << FakeTransportStep::Success() << true << "";
    QTest::newRow("refused") << FakeTransportStep::Failure("connection refused") << false << "connection refused";
    QTest::newRow("transport raises")
        << FakeTransportStep::Exception("DNS lookup of smtp.example.invalid failed") << false
        << "DNS lookup of smtp.example.invalid failed";
}

void tst_CustomMessageSender::ReportingConnectNeverRaises() {
    QFETCH(FakeTransportStep, step);
    QFETCH(bool, expectedAnswer);
    QFETCH(QString, expectedError);
    auto script = std::make_shared<FakeTransportScript>();
    script->AddConnectStep(step);
    FakeMessageSender sender(script);
    bool answer = !expectedAnswer;
    QCOMPARE(ErrorOf([&] { answer = sender.ConnectToServer(true); }), QString());
    QCOMPARE(answer, expectedAnswer);
    QCOMPARE(sender.LastError(), expectedError);
    QCOMPARE(sender.LastReplyErrorCode(), 0);
}

void tst_CustomMessageSender::ClassTableCreatesAndConfigures() {
    auto script = std::make_shared<FakeTransportScript>();
    script->SetSingleServer(false);
    RegisterMessageSenderClass(msdInternal, FakeMessageSender::ClassFor(script));
    RegisterSMSMessageSenderClass(smsdASPSMS, FakeMessageSender::ClassFor(script));

    TMessageSenderSettings settings;
    settings.DNSServer = QStringLiteral("127.0.0.1");
    settings.MailServer = QStringLiteral("smtp.example.com");
    settings.SendAuthentication = true;
    settings.SendUserName = QStringLiteral("shop");
    std::unique_ptr<TCustomMessageSender> sender = CreateMessageSender(msdInternal, settings);
    QVERIFY(dynamic_cast<FakeMessageSender*>(sender.get()));
    QVERIFY(!sender->IsSingleServer());
    std::unique_ptr<TCustomMessageSender> sms = CreateSMSMessageSender(smsdASPSMS, {});
    QVERIFY(sms);

    const QList<TMessageSenderSettings> configured = script->Configurations();
    QCOMPARE(configured.size(), 2);
    QCOMPARE(configured[0].DNSServer, QStringLiteral("127.0.0.1"));
    QCOMPARE(configured[0].MailServer, QStringLiteral("smtp.example.com"));
    QVERIFY(configured[0].SendAuthentication);
    QCOMPARE(configured[0].SendUserName, QStringLiteral("shop"));
    QCOMPARE(script->AliveCount(), 2);
    sender.reset();
    sms.reset();
    QCOMPARE(script->AliveCount(), 0);
}

void tst_CustomMessageSender::ClassTableRefusals() {
    auto script = std::make_shared<FakeTransportScript>();
    RegisterMessageSenderClass(msdExtSMTP, FakeMessageSender::ClassFor(script));

    QCOMPARE(ErrorOf([&] { RegisterMessageSenderClass(msdExtSMTP, FakeMessageSender::ClassFor(script)); }),
             QStringLiteral("A transport class is already registered for the e-mail device 0."));
    QCOMPARE(
        ErrorOf([&] {
            RegisterMessageSenderClass(msdInternal, {FakeMessageSender::ClassFor(script).Create, {}});
        }),
        QStringLiteral("The transport class of the e-mail device 1 needs a factory and a configure step."));
    QCOMPARE(ErrorOf([&] { CreateMessageSender(msdMAPI, {}); }),
             QStringLiteral("No transport is registered for the e-mail device 2."));
    QCOMPARE(ErrorOf([&] { CreateMessageSender(static_cast<TMessageSenderDevice>(7), {}); }),
             QStringLiteral("No transport is registered for the e-mail device 7."));
    // The SMS table is a table of its own.
    QCOMPARE(ErrorOf([&] { CreateSMSMessageSender(smsdASPSMS, {}); }),
             QStringLiteral("No transport is registered for the SMS device 0."));

    UnRegisterMessageSenderClass(msdExtSMTP);
    QCOMPARE(ErrorOf([&] { CreateMessageSender(msdExtSMTP, {}); }),
             QStringLiteral("No transport is registered for the e-mail device 0."));
}

void tst_CustomMessageSender::CancelEndsBlockingCall_data() {
    QTest::addColumn<bool>("connect");
    QTest::addColumn<FakeTransportStep>("step");
    QTest::newRow("blocked send") << false << FakeTransportStep::UntilCancelled();
    QTest::newRow("slow send") << false << FakeTransportStep::Success(20000);
    QTest::newRow("blocked connect") << true << FakeTransportStep::UntilCancelled();
}

void tst_CustomMessageSender::CancelEndsBlockingCall() {
    QFETCH(bool, connect);
    QFETCH(FakeTransportStep, step);
    auto script = std::make_shared<FakeTransportScript>();
    if (connect)
        script->AddConnectStep(step);
    else
        script->AddSendStep(step);
    FakeMessageSender sender(script);

    QElapsedTimer timer;
    timer.start();
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sender.Cancel();
    });
    bool answer = true;
    QCOMPARE(ErrorOf([&] { answer = connect ? sender.ConnectToServer(true) : Send(sender); }), QString());
    canceller.join();
    QVERIFY(!answer);
    QVERIFY2(timer.elapsed() < 5000, "the cancelled call returns soon");
    QCOMPARE(sender.LastError(), TCustomMessageSender::CancelledText());
    QCOMPARE(sender.LastReplyErrorCode(), 0);

    // Every later call fails at once without reaching the transport.
    QVERIFY(!Send(sender));
    QVERIFY(!sender.ConnectToServer(true));
    QCOMPARE(sender.LastError(), TCustomMessageSender::CancelledText());
    QCOMPARE(script->Messages().size(), connect ? 0 : 1);
}

// Cancel comes at any moment, also before the blocking call has started waiting: no wake is lost.
void tst_CustomMessageSender::CancelFromAnotherThreadStress() {
    constexpr int Rounds = 500;
    int answeredTrue = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Rounds; ++i) {
        auto script = std::make_shared<FakeTransportScript>();
        script->AddSendStep(FakeTransportStep::UntilCancelled());
        FakeMessageSender sender(script);
        bool answer = true;
        std::thread senderThread([&] { answer = Send(sender); });
        if (i % 3 == 1)
            std::this_thread::yield();
        else if (i % 3 == 2)
            std::this_thread::sleep_for(std::chrono::microseconds(i % 200));
        sender.Cancel();
        senderThread.join();
        answeredTrue += answer ? 1 : 0;
    }
    QCOMPARE(answeredTrue, 0);
    QVERIFY2(timer.elapsed() < 20000, "no cancelled call waited for its time limit");
}

// Sender threads create their transports while the main thread unregisters and registers the
// class: each creation yields a configured transport or the error of a device without a class.
void tst_CustomMessageSender::CreateWhileUnregisteredStress() {
    constexpr int Threads = 4;
    constexpr int Rounds = 400;
    auto script = std::make_shared<FakeTransportScript>();
    RegisterMessageSenderClass(msdExtSMTP, FakeMessageSender::ClassFor(script));
    std::atomic<bool> done{false};
    std::atomic<int> created{0};
    std::atomic<int> refused{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < Threads; ++t)
        senders.emplace_back([&] {
            while (!done) {
                try {
                    std::unique_ptr<TCustomMessageSender> sender = CreateMessageSender(msdExtSMTP, {});
                    ++(dynamic_cast<FakeMessageSender*>(sender.get()) ? created : wrong);
                } catch (const hostapi::EQVException& e) {
                    ++(e.Message() == QStringLiteral("No transport is registered for the e-mail device 0.") ? refused
                                                                                                           : wrong);
                }
            }
        });
    for (int i = 0; i < Rounds; ++i) {
        UnRegisterMessageSenderClass(msdExtSMTP);
        std::this_thread::yield();
        RegisterMessageSenderClass(msdExtSMTP, FakeMessageSender::ClassFor(script));
    }
    done = true;
    for (std::thread& sender : senders)
        sender.join();
    QCOMPARE(wrong.load(), 0);
    QVERIFY(created > 0);
    QCOMPARE(script->AliveCount(), 0);
}

QTEST_GUILESS_MAIN(tst_CustomMessageSender)
#include "tst_CustomMessageSender.moc"
