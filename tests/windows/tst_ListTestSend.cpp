// The lists window's test send run: connect and send on a thread of its own, the outcome back on the
// creating thread, and a run destroyed while its transport still works (cancelled, joined, silent).
#include "ListTestSend.h"
#include "support/FakeMessageSender.h"

#include <QThread>
#include <QtTest>

#include <memory>

using namespace emailmarketing;
using testsupport::FakeTransportScript;
using testsupport::FakeTransportStep;

Q_DECLARE_METATYPE(FakeTransportStep)

namespace {

TOutgoingMessage Message() {
    TOutgoingMessage message;
    message.ReceiverEmail = QStringLiteral("kunde@example.org");
    message.SenderName = QStringLiteral("Vertrieb");
    message.SenderEmail = QStringLiteral("info@firma.example");
    message.Subject = QStringLiteral("Test Email");
    message.PlainBody = QStringLiteral("Hallo");
    message.HTMLBody = QStringLiteral("<b>Hallo</b>");
    message.IsHTML = true;
    return message;
}

std::unique_ptr<TListTestSend> NewRun(const std::shared_ptr<FakeTransportScript>& AScript) {
    return std::make_unique<TListTestSend>(std::make_unique<testsupport::FakeMessageSender>(AScript),
                                           Message());
}

} // namespace

class tst_ListTestSend : public QObject {
    Q_OBJECT

private slots:
    void outcomeComesBackOnTheCreatingThread_data() {
        QTest::addColumn<FakeTransportStep>("connect");
        QTest::addColumn<FakeTransportStep>("send");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<QString>("error");
        QTest::newRow("sent") << FakeTransportStep::Success() << FakeTransportStep::Success() << true << true
                              << "";
        QTest::newRow("no connection")
            << FakeTransportStep::Failure("Connection refused") << FakeTransportStep::Success() << false
            << false << "Connection refused";
        QTest::newRow("refused by the server")
            << FakeTransportStep::Success() << FakeTransportStep::Reply(550, "5.1.1 No such user") << true
            << false << "5.1.1 No such user";
        QTest::newRow("send raises") << FakeTransportStep::Success()
                                     << FakeTransportStep::Exception("broken pipe") << true << false
                                     << "broken pipe";
    }
    void outcomeComesBackOnTheCreatingThread() {
        QFETCH(FakeTransportStep, connect);
        QFETCH(FakeTransportStep, send);
        QFETCH(bool, connected);
        QFETCH(bool, sent);
        QFETCH(QString, error);
        auto script = std::make_shared<FakeTransportScript>();
        script->AddConnectStep(connect);
        script->AddSendStep(send);
        std::unique_ptr<TListTestSend> run = NewRun(script);
        int calls = 0;
        TListTestSend::TResult result;
        QThread* thread = nullptr;
        run->Start([&](const TListTestSend::TResult& AResult) {
            ++calls;
            result = AResult;
            thread = QThread::currentThread();
        });
        QVERIFY(run->Running());
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 30000);
        QVERIFY(!run->Running());
        QCOMPARE(thread, QThread::currentThread());
        QCOMPARE(result.Connected, connected);
        QCOMPARE(result.Sent, sent);
        QVERIFY2(result.Error.contains(error), qPrintable(result.Error));
        QCOMPARE(error.isEmpty(), result.Error.isEmpty());
        const QList<testsupport::FakeSentMessage> messages = script->Messages();
        QCOMPARE(messages.size(), connected ? 1 : 0);
        if (!messages.isEmpty()) {
            QCOMPARE(messages[0].ReceiverEmail, QStringLiteral("kunde@example.org"));
            QCOMPARE(messages[0].Subject, QStringLiteral("Test Email"));
            QVERIFY(messages[0].IsHTML);
        }
        QCoreApplication::processEvents();
        QCOMPARE(calls, 1);
        run.reset();
        QCOMPARE(script->AliveCount(), 0); // the transport goes with the run
    }

    // Runs destroyed while their transports block in a connect or a send are cancelled and joined;
    // none reports afterwards. Runs left alone report once each.
    void destroyedRunsAreCancelledAndSilent() {
        auto script = std::make_shared<FakeTransportScript>();
        int calls = 0;
        const auto count = [&calls](const TListTestSend::TResult&) { ++calls; };
        for (int round = 0; round < 100; ++round) {
            if (round % 2 == 0)
                script->AddConnectStep(FakeTransportStep::UntilCancelled());
            else
                script->AddSendStep(FakeTransportStep::UntilCancelled());
            std::unique_ptr<TListTestSend> run = NewRun(script);
            run->Start(count);
            if (round % 3 == 0)
                QCoreApplication::processEvents();
            run.reset();
        }
        QCoreApplication::processEvents();
        QCOMPARE(calls, 0);
        QCOMPARE(script->AliveCount(), 0);

        // a fresh script: a run destroyed before its connect left its blocking step queued
        auto completing = std::make_shared<FakeTransportScript>();
        std::vector<std::unique_ptr<TListTestSend>> runs;
        for (int i = 0; i < 20; ++i) {
            runs.push_back(NewRun(completing));
            runs.back()->Start(count);
        }
        QTRY_COMPARE_WITH_TIMEOUT(calls, 20, 30000);
        runs.clear();
        QCoreApplication::processEvents();
        QCOMPARE(calls, 20);
        QCOMPARE(completing->AliveCount(), 0);
        QCOMPARE(completing->Messages().size(), 20);
    }
};

QTEST_GUILESS_MAIN(tst_ListTestSend)
#include "tst_ListTestSend.moc"
