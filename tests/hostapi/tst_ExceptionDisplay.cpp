#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "MessageSink.h"
#include "QVException.h"
#include "support/HostDoubles.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <stdexcept>
#include <thread>
#include <vector>

using namespace hostapi;

namespace {

class FailingDisplay : public IExceptionDisplay {
public:
    FailingDisplay() { TVRNExceptionUtils::SetCurrent(this); }
    ~FailingDisplay() override { TVRNExceptionUtils::SetCurrent(nullptr); }
    void ShowException(const ShownException&) override { throw std::runtime_error("display broken"); }
};

void Raise(const QString& kind) {
    if (kind == QLatin1String("user"))
        throw EQVUserMessageException(QStringLiteral("job is allready prepared!"));
    if (kind == QLatin1String("platform"))
        throw EQVException(QStringLiteral("Timeout while waiting for termination state!"));
    if (kind == QLatin1String("database"))
        throw EQVDatabaseException(QStringLiteral("read emlists: no such table"));
    if (kind == QLatin1String("std"))
        throw std::runtime_error("bad_alloc in a library");
    throw 42;
}

} // namespace

class tst_ExceptionDisplay : public QObject {
    Q_OBJECT

private slots:
    void describe_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("userMessage");
        QTest::addColumn<QString>("message");
        QTest::newRow("user message") << "user"
                                      << "" << true << "job is allready prepared!";
        QTest::newRow("platform error") << "platform"
                                        << "" << false << "Timeout while waiting for termination state!";
        QTest::newRow("derived error") << "database"
                                       << "Listen" << false << "read emlists: no such table";
        QTest::newRow("std::exception") << "std"
                                        << "" << false << "bad_alloc in a library";
        QTest::newRow("unknown exception") << "unknown"
                                           << "" << false << "Unbekannter Fehler";
    }
    void describe() {
        QFETCH(QString, kind);
        QFETCH(QString, caption);
        QFETCH(bool, userMessage);
        QFETCH(QString, message);
        testsupport::RecordingExceptionDisplay display;
        try {
            Raise(kind);
        } catch (...) {
            TVRNExceptionUtils::ShowCurrent(caption);
        }
        const auto records = display.Records();
        QCOMPARE(records.size(), 1); // on the GUI thread: shown at once
        QCOMPARE(records.at(0).Exception.UserMessage, userMessage);
        QCOMPARE(records.at(0).Exception.Message, message);
        QCOMPARE(records.at(0).Exception.Caption, caption);
    }

    void workerThreadExceptionReachesDisplayOnGuiThread() {
        testsupport::RecordingExceptionDisplay display;
        std::thread worker([] {
            try {
                throw EQVException(QStringLiteral("sender thread failed"));
            } catch (const std::exception& e) {
                TVRNExceptionUtils::Show(e);
            }
        });
        worker.join();
        QVERIFY(display.Records().isEmpty()); // queued, not shown from the worker
        QTRY_COMPARE(display.Records().size(), 1);
        const auto shown = display.Records().at(0);
        QCOMPARE(shown.Exception.Message, QStringLiteral("sender thread failed"));
        QCOMPARE(shown.Thread, QCoreApplication::instance()->thread());
    }

    void realDisplayShowsUserMessageAsInformationAndOthersAsError() {
        TVRNExceptionUtils::SetCurrent(nullptr);
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(mrOk);
        dialogs.AddAnswer(mrOk);
        TVRNExceptionUtils::Show(EQVUserMessageException(QStringLiteral("Bitte eine Liste wählen.")));
        TVRNExceptionUtils::Show(std::runtime_error("disk full"), QStringLiteral("Export"));
        QCOMPARE(dialogs.Questions.size(), 2);
        QCOMPARE(dialogs.Questions.at(0).Type, mtInformation);
        QCOMPARE(dialogs.Questions.at(0).Buttons, TMsgDlgButtons(mbOK));
        QCOMPARE(dialogs.Questions.at(0).Text, QStringLiteral("Bitte eine Liste wählen."));
        QCOMPARE(dialogs.Questions.at(1).Type, mtError);
        QCOMPARE(dialogs.Questions.at(1).Text, QStringLiteral("Export\n\ndisk full"));
    }

    void failingDisplayIsLoggedAndDoesNotThrow() {
        FailingDisplay display;
        QTest::ignoreMessage(QtCriticalMsg, "The exception display failed: display broken");
        TVRNExceptionUtils::Show(EQVException(QStringLiteral("x")));
    }

    void messageSinkKeepsMessagesFromAllThreads() {
        MessageSink sink;
        // A GUI object receives MessageAdded queued, on its own thread.
        QObject receiver;
        int added = 0;
        bool offGuiThread = false;
        connect(&sink, &MessageSink::MessageAdded, &receiver, [&](int, const QString&) {
            ++added;
            offGuiThread |= QThread::currentThread() != receiver.thread();
        });
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&sink, t] {
                for (int i = 0; i < 250; ++i)
                    sink.AddMessage(QStringLiteral("thread %1 message %2").arg(t).arg(i), MessageKind(i % 3));
            });
        for (std::thread& thread : threads)
            thread.join();
        sink.AddMessage(QStringLiteral("Register-Service Error: URL to Register-Service not configured!"),
                        MessageKind::Error);
        const auto entries = sink.Entries();
        QCOMPARE(entries.size(), 1001);
        QCOMPARE(entries.last().Kind, MessageKind::Error);
        QCOMPARE(entries.last().Text,
                 QStringLiteral("Register-Service Error: URL to Register-Service not configured!"));
        QVERIFY(entries.last().Time.isValid());
        QTRY_COMPARE(added, 1001);
        QVERIFY(!offGuiThread);
    }

    void installedSinkReceivesMessages() {
        {
            testsupport::RecordingMessageSink recording;
            MessageSink::Current().AddMessage(QStringLiteral("recorded"), MessageKind::Warning);
            QCOMPARE(recording.Messages().size(), 1);
            QCOMPARE(recording.Messages().at(0).Kind, MessageKind::Warning);
        }
        QCOMPARE(&MessageSink::Current(), static_cast<IMessageSink*>(&MessageSink::Instance()));
    }
};

QTEST_GUILESS_MAIN(tst_ExceptionDisplay)
#include "tst_ExceptionDisplay.moc"
