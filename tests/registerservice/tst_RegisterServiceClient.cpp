// The register service client against the scripted stub endpoint with basic authentication: the
// requests it sends, the stamp that advances only after a committed import, the part handlers, the
// threaded fetch, serialised fetches and the cancel at shut-down.

#include "CancellationScope.h"
#include "HostLibraries.h"
#include "HttpClient.h"
#include "ProgressService.h"
#include "QVRegistrationPartHandler.h"
#include "RegisterServiceClient.h"
#include "RegisterServiceFixture.h"
#include "support/HostDoubles.h"
#include "support/HttpStub.h"
#include "support/TestDatabase.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <thread>

using namespace registerservice;
using rstest::Answer;
using rstest::Ok;
using rstest::RecordingHandler;
using rstest::Registration;
using testsupport::Count;
using testsupport::HttpStub;
using testsupport::TestDatabase;

namespace {

const QString User = QStringLiteral("rsuser");
const QString Password = QStringLiteral("pw: ä&");

QString BasicAuth() {
    return QStringLiteral("Basic ") + QString::fromLatin1((User + ":" + Password).toUtf8().toBase64());
}

// A stub whose "/rs/fetch.php" gives the answers in turn.
std::unique_ptr<HttpStub> FetchStub(const QJsonArray& AAnswers) {
    return std::make_unique<HttpStub>(HttpStub::Script({HttpStub::Route("/rs/fetch.php", AAnswers)}),
                                      HttpStub::Options{User + ":" + Password, false});
}

void Configure(TRegisterServiceClient& AClient, const QString& AUrl, const QString& APassword = Password) {
    AClient.SetBaseURL(AUrl);
    AClient.SetUserName(User);
    AClient.SetPassword(APassword);
}

// A handler "a" registered for one test that holds the first item until its gate opens.
struct HeldImport {
    QStringList Log;
    QMutex LogLock;
    std::shared_ptr<RecordingHandler> Held = std::make_shared<RecordingHandler>("a", Log, LogLock);
    rstest::HandlerRegistration Handlers;
    HeldImport() {
        Held->CloseGate();
        Handlers.Add(Held);
    }
};

bool WaitForThreads(const TRegisterServiceClient& AClient) {
    QDeadlineTimer deadline(10000);
    while (AClient.RunningThreadCount() > 0)
        if (deadline.hasExpired())
            return false;
        else
            QThread::msleep(5);
    return true;
}

} // namespace

class tst_RegisterServiceClient : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        hostapi::HostLibraries::Initialize();
        hostapi::TQVRegistrationPartHandler::RegisterWithHost();
    }

    void requestsAllThenWhatIsNewerThanTheStamp_data() {
        QTest::addColumn<QString>("base");
        QTest::newRow("without slash") << "/rs";
        QTest::newRow("with slash") << "/rs/";
    }
    void requestsAllThenWhatIsNewerThanTheStamp() {
        QFETCH(QString, base);
        TestDatabase tdb;
        auto stub = FetchStub({Ok(Answer(Registration(1, "a@example.org"), "S2")),
                               Ok(Answer(Registration(2, "b@example.org"), "S 3&amp;x"))});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub->Url(base).toString());
        int changed = 0;
        client.OnLastFetchStampChanged = [&] { ++changed; };

        client.Fetch(false);
        QCOMPARE(client.LastFetchStamp(), QStringLiteral("S2"));
        client.Fetch(false);
        QCOMPARE(client.LastFetchStamp(), QStringLiteral("S 3&x"));
        client.Fetch(false);

        const QList<QJsonObject> requests = stub->Requests();
        QCOMPARE(requests.size(), 3);
        QCOMPARE(requests[0]["path"].toString(), QStringLiteral("/rs/fetch.php?action=all"));
        QCOMPARE(requests[1]["path"].toString(), QStringLiteral("/rs/fetch.php?action=last&last=S2"));
        QCOMPARE(requests[2]["path"].toString(), QStringLiteral("/rs/fetch.php?action=last&last=S%203%26x"));
        for (const QJsonObject& request : requests)
            QCOMPARE(request["headers"].toObject()["Authorization"].toString(), BasicAuth());
        QCOMPARE(changed, 3);
        QCOMPARE(Count("qvregistrations"), 2); // the host's handler stored its items
    }

    void anAnswerWithoutStampMakesTheNextFetchAFullOne() {
        TestDatabase tdb;
        auto stub = FetchStub({Ok(Answer({})), Ok(Answer({}, "S1"))});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub->Url("/rs").toString());
        client.SetLastFetchStamp(QStringLiteral("S0"));
        client.Fetch(false);
        QCOMPARE(client.LastFetchStamp(), QString());
        client.Fetch(false);
        QCOMPARE(stub->Requests().value(1)["path"].toString(), QStringLiteral("/rs/fetch.php?action=all"));
    }

    void handlersGetTheirItemsInRegistrationOrder() {
        TestDatabase tdb;
        QStringList log;
        QMutex logLock;
        rstest::HandlerRegistration handlers;
        handlers.Add(std::make_shared<RecordingHandler>("a", log, logLock));
        handlers.Add(std::make_shared<RecordingHandler>("b", log, logLock));
        handlers.Add(std::make_shared<RecordingHandler>("a", log, logLock));
        auto stub = FetchStub(
            {Ok(Answer("<a ident=\"1\"/><nobody ident=\"2\"/><b ident=\"3\"/><A ident=\"4\"/>", "S"))});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub->Url("/rs").toString());
        client.Fetch(false);
        QCOMPARE(log, QStringList({"a begin", "b begin", "a begin", "a item 1", "a item 1", "b item 3",
                                   "a end", "b end", "a end"}));
    }

    void aFailingItemCommitsNothingAndKeepsTheStamp() {
        TestDatabase tdb;
        QStringList log;
        QMutex logLock;
        auto failing = std::make_shared<RecordingHandler>("a", log, logLock);
        failing->FailOn = QStringLiteral("2");
        rstest::HandlerRegistration handlers;
        handlers.Add(failing);
        auto stub = FetchStub({Ok(Answer(Registration(1, "a@example.org") + "<a ident=\"2\"/>", "S9"))});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub->Url("/rs").toString());
        client.SetLastFetchStamp(QStringLiteral("S1"));
        bool changed = false;
        client.OnLastFetchStampChanged = [&] { changed = true; };
        try {
            client.Fetch(false);
            QFAIL("no exception");
        } catch (const hostapi::EQVException& e) {
            QCOMPARE(e.Message(), QStringLiteral("item 2 refused"));
        }
        QCOMPARE(Count("qvregistrations"), 0);
        QCOMPARE(client.LastFetchStamp(), QStringLiteral("S1"));
        QVERIFY(!changed);
    }

    void httpFailuresRaiseAndCloseTheProgress_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("password");
        QTest::newRow("401 wrong password") << 0 << "wrong";
        QTest::newRow("500") << 500 << QString();
        QTest::newRow("connection refused") << -1 << QString();
    }
    void httpFailuresRaiseAndCloseTheProgress() {
        QFETCH(int, status);
        QFETCH(QString, password);
        TestDatabase tdb;
        auto stub = FetchStub({QJsonObject{{"status", status}, {"body", "server error"}}});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        QString url = stub->Url("/rs").toString();
        if (status < 0) {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost, 0);
            url = QStringLiteral("http://127.0.0.1:%1/rs").arg(closed.serverPort());
        }
        Configure(client, url, password.isEmpty() ? Password : password);
        client.SetLastFetchStamp(QStringLiteral("S1"));
        QSignalSpy opened(&hostapi::ProgressService::Instance(), &hostapi::ProgressService::ProgressOpened);
        QVERIFY_THROWS_EXCEPTION(hostapi::EHttpException, client.Fetch(false));
        QCOMPARE(client.LastFetchStamp(), QStringLiteral("S1"));
        QVERIFY(opened.count() >= 1); // a fetch on the main thread shows its progress ...
        QCOMPARE(hostapi::ProgressService::Instance().Entries().size(), 0); // ... and closes it
    }

    void emptyUrlIsAUserMessage() {
        TRegisterServiceClient client(nullptr);
        try {
            client.Fetch(false);
            QFAIL("no exception");
        } catch (const hostapi::EQVUserMessageException& e) {
            QCOMPARE(e.Message(), QStringLiteral("URL to Register-Service not configured!"));
        }
    }

    void aThreadedFetchReturnsAtOnceAndImportsOnItsThread() {
        TestDatabase tdb;
        HeldImport import;
        RecordingHandler* held = import.Held.get();
        auto stub = FetchStub({Ok(Answer("<a ident=\"1\"/>", "T1"))});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub->Url("/rs").toString());
        client.Fetch(true); // returns while the import is held
        QVERIFY(held->WaitUntilHeld());
        QCOMPARE(client.LastFetchStamp(), QString());
        QVERIFY(held->ImportThread != QThread::currentThread());
        QCOMPARE(client.RunningThreadCount(), 1);
        held->OpenGate();
        QVERIFY(WaitForThreads(client));
        QCOMPARE(client.LastFetchStamp(), QStringLiteral("T1"));
        QCOMPARE(hostapi::ProgressService::Instance().Entries().size(), 0);
    }

    void aThreadedFetchErrorReachesTheExceptionDisplay() {
        TestDatabase tdb;
        testsupport::RecordingExceptionDisplay display;
        auto stub = FetchStub({QJsonObject{{"status", 500}}});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub->Url("/rs").toString());
        client.Fetch(true);
        QVERIFY(WaitForThreads(client));
        QTRY_COMPARE(display.Records().size(), 1);
        QVERIFY2(display.Records()[0].Exception.Message.contains("500"),
                 qPrintable(display.Records()[0].Exception.Message));
        QCOMPARE(display.Records()[0].Thread, QThread::currentThread());
    }

    void shutDownCancelsFetchesInFlightAndRefusesNewOnes() {
        TestDatabase tdb;
        testsupport::RecordingExceptionDisplay display;
        HttpStub stub(HttpStub::Script({HttpStub::Route("/rs/fetch.php", {QJsonObject{{"hang", true}}})}));
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub.Url("/rs").toString());
        client.Fetch(true);
        QString synchronousError;
        std::thread preparing([&] { // a job's prepare thread fetching synchronously
            try {
                client.Fetch(false);
            } catch (const hostapi::EQVException& e) {
                synchronousError = e.Message();
            }
        });
        const bool arrived = stub.WaitForRequests(1); // the other fetch waits for this one
        client.BeforeUnInit();
        preparing.join();
        QVERIFY(arrived);
        QCOMPARE(client.RunningThreadCount(), 0);
        QVERIFY2(!synchronousError.isEmpty(), "the synchronous fetch was not ended");
        QVERIFY(!client.XMLImportContainer().IsRegistered());
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, client.Fetch(false));
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, client.Fetch(true));
        QCoreApplication::processEvents();
        QVERIFY2(display.Records().isEmpty(),
                 display.Records().isEmpty()
                     ? ""
                     : qPrintable(display.Records()[0]
                                      .Exception.Message)); // a cancel at shut-down is not an error to show
    }

    // 10 MiB at 64 KiB per 20 ms with the HTTP client's time scale 0.02: a transfer of 160 s at
    // 64 KiB/s against a total limit of 120 s and a stall window of 60 s, in 3.2 s.
    void aLargeFetchOverASlowLineEndsOnlyOnAStall_data() {
        QTest::addColumn<int>("stallAfter"); // -1: the whole answer is sent
        QTest::newRow("slow line") << -1;
        QTest::newRow("stalled line") << 70000;
    }
    void aLargeFetchOverASlowLineEndsOnlyOnAStall() {
        QFETCH(int, stallAfter);
        TestDatabase tdb;
        const QString padding = "<!-- " + QString(10 << 20, QLatin1Char('x')) + " -->";
        const QString document = Answer(padding + Registration(1, "a@example.org"), "S9");
        QJsonObject answer = Ok(document);
        answer.insert("chunk", QJsonArray{65536, 20});
        if (stallAfter >= 0)
            answer.insert("stall_after", stallAfter);
        auto stub = FetchStub({answer});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub->Url("/rs").toString());
        client.SetLastFetchStamp(QStringLiteral("S1"));
        QList<hostapi::ProgressEntry> shown;
        const auto connection =
            connect(&hostapi::ProgressService::Instance(), &hostapi::ProgressService::ProgressChanged, this,
                    [&](int AHandle) {
                        for (const auto& entry : hostapi::ProgressService::Instance().Entries())
                            if (entry.Handle == AHandle &&
                                entry.Caption == QLatin1String("Register-Service Download"))
                                shown << entry;
                    });
        hostapi::HttpClient::SetTimeScaleForTests(0.02);
        const auto restore = qScopeGuard([&] {
            hostapi::HttpClient::SetTimeScaleForTests(1.0);
            disconnect(connection);
        });
        const qint64 size = document.toUtf8().size();
        QElapsedTimer clock;
        clock.start();
        if (stallAfter < 0) {
            client.Fetch(false);
            QVERIFY(clock.elapsed() > 2400); // longer than the scaled total limit
            QCOMPARE(client.LastFetchStamp(), QStringLiteral("S9"));
            QCOMPARE(Count("qvregistrations"), 1);
            QVERIFY2(shown.size() >= 10, qPrintable(QString::number(shown.size())));
            QCOMPARE(shown.last().Text, QStringLiteral("%1 of %1 downloaded").arg(size));
        } else {
            try {
                client.Fetch(false);
                QFAIL("a stalled fetch succeeded");
            } catch (const hostapi::EHttpException& e) {
                QVERIFY2(e.Message().contains("the transfer stalled (fewer than 1024 bytes in 60 s"),
                         qPrintable(e.Message()));
            }
            QCOMPARE(client.LastFetchStamp(), QStringLiteral("S1"));
            QVERIFY(!shown.isEmpty());
            QCOMPARE(shown.last().Text, QStringLiteral("%1 of %2 downloaded").arg(stallAfter).arg(size));
        }
        for (qsizetype i = 1; i < shown.size(); ++i)
            QVERIFY(shown[i].Position >= shown[i - 1].Position);
        QCOMPARE(hostapi::ProgressService::Instance().Entries().size(), 0);
    }

    // A job that waits for its fetch and is terminated: its thread's cancellation scope ends the
    // download, and also the wait for another fetch.
    void aCancellationScopeEndsTheFetchAndItsWait() {
        TestDatabase tdb;
        HttpStub stub(HttpStub::Script({HttpStub::Route("/rs/fetch.php", {QJsonObject{{"hang", true}}})}));
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub.Url("/rs").toString());
        {
            const hostapi::TCancellationScope terminated([&] { return stub.Requests().size() >= 1; });
            QVERIFY_THROWS_EXCEPTION(hostapi::EHttpCancelled, client.Fetch(false));
        }
        testsupport::RecordingExceptionDisplay display;
        client.Fetch(true); // holds the fetch lock while its request hangs
        QVERIFY(stub.WaitForRequests(2));
        {
            const hostapi::TCancellationScope terminated([] { return true; });
            try {
                client.Fetch(false);
                QFAIL("the waiting fetch was not cancelled");
            } catch (const hostapi::EHttpCancelled& e) {
                QVERIFY2(e.Message().contains("while it waited for another fetch"), qPrintable(e.Message()));
            }
        }
        QCOMPARE(stub.Requests().size(), 2);
        client.BeforeUnInit();
        QCOMPARE(client.RunningThreadCount(), 0);
        QCOMPARE(client.LastFetchStamp(), QString());
    }

    // A reset while a fetch imports: the reset waits for the import, which commits, but the fetch
    // does not store its stamp.
    void aFetchThatEndsAfterAResetStoresNoStamp() {
        TestDatabase tdb;
        HeldImport import;
        RecordingHandler* held = import.Held.get();
        auto stub = FetchStub({Ok(Answer("<a ident=\"1\"/>", "T1")), Ok(Answer({}, "T2"))});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub->Url("/rs").toString());
        client.SetLastFetchStamp(QStringLiteral("S1"));
        std::atomic<int> changed{0};
        client.OnLastFetchStampChanged = [&] { ++changed; };
        testsupport::RecordingExceptionDisplay display;
        client.Fetch(true);
        QVERIFY(held->WaitUntilHeld());
        std::thread resetting([&] { client.ResetLastFetchStamp(); });
        QDeadlineTimer deadline(10000);
        while (client.LastFetchStamp() == QLatin1String("S1") && !deadline.hasExpired())
            QThread::msleep(5);
        held->OpenGate(); // the reset has begun: let the import end
        resetting.join();
        QVERIFY(WaitForThreads(client));
        QCOMPARE(client.LastFetchStamp(), QString());
        QCOMPARE(changed.load(), 0);
        client.Fetch(false);
        QCOMPARE(stub->Requests().value(1)["path"].toString(), QStringLiteral("/rs/fetch.php?action=all"));
        QCOMPARE(client.LastFetchStamp(), QStringLiteral("T2"));
        QCoreApplication::processEvents();
        QVERIFY(display.Records().isEmpty()); // the reset's cancel is not an error to show
    }

    // A fetch with progress started on the GUI thread: its entries open, change and close on the GUI
    // thread while the fetch runs on its own.
    void aFetchWithProgressShowsItsEntriesOnTheGuiThread() {
        TestDatabase tdb;
        QJsonObject answer = Ok(Answer("<!-- " + QString(32 << 10, QLatin1Char('x')) + " -->", "P1"));
        answer.insert("chunk", QJsonArray{4096, 5});
        auto stub = FetchStub({answer});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub->Url("/rs").toString());
        hostapi::ProgressService& progress = hostapi::ProgressService::Instance();
        QStringList texts;
        bool offThread = false;
        const auto connection =
            connect(&progress, &hostapi::ProgressService::ProgressChanged, this, [&](int AHandle) {
                offThread = offThread || QThread::currentThread() != qApp->thread();
                for (const hostapi::ProgressEntry& entry : progress.Entries())
                    if (entry.Handle == AHandle)
                        texts << entry.Text;
            });
        const auto restore = qScopeGuard([&] { disconnect(connection); });
        client.FetchWithProgress();
        QTRY_COMPARE(client.LastFetchStamp(), QStringLiteral("P1"));
        QVERIFY(WaitForThreads(client));
        QTRY_COMPARE(progress.Entries().size(), 0);
        QVERIFY(!offThread);
        QCOMPARE(texts.value(0), QStringLiteral("Downloading Data"));
        QVERIFY2(texts.contains(QStringLiteral("Processing Data")), qPrintable(texts.join('|')));
        const qint64 size = answer["body"].toString().toUtf8().size();
        QVERIFY2(texts.contains(QStringLiteral("%1 of %1 downloaded").arg(size)),
                 qPrintable(texts.join('|')));
    }

    // Resets while threaded fetches (with and without progress) and synchronous ones run: every
    // fetch ends, only cancels fail, and no stamp outlives the last reset.
    void resetsWhileFetchesRun() {
        TestDatabase tdb;
        QJsonObject answer = Ok(Answer(Registration(1, "a@example.org"), "R"));
        answer.insert("chunk", QJsonArray{64, 1});
        auto stub = FetchStub({answer});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub->Url("/rs").toString());
        std::atomic<int> failures{0};
        std::atomic<bool> stop{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t)
            threads.emplace_back([&] {
                while (!stop) {
                    try {
                        client.Fetch(false);
                    } catch (const hostapi::EHttpCancelled&) {
                    } catch (const std::exception&) {
                        ++failures;
                    }
                }
            });
        testsupport::RecordingExceptionDisplay display;
        for (int i = 0; i < 20; ++i) {
            if (i % 2)
                client.FetchWithProgress();
            else
                client.Fetch(true);
            client.ResetLastFetchStamp();
            QCoreApplication::processEvents();
        }
        stop = true;
        for (std::thread& thread : threads)
            thread.join();
        QVERIFY(WaitForThreads(client));
        client.ResetLastFetchStamp();
        QCOMPARE(client.LastFetchStamp(), QString());
        QCOMPARE(failures.load(), 0);
        QTRY_COMPARE(hostapi::ProgressService::Instance().Entries().size(), 0);
        QVERIFY(display.Records().isEmpty());
    }

    // Menu, scheduler, threaded fetches and preparing jobs at once: never two imports in parallel,
    // and every fetch ends.
    void fetchesAreSerialised() {
        TestDatabase tdb;
        QStringList log;
        QMutex logLock;
        auto counting = std::make_shared<RecordingHandler>("a", log, logLock);
        rstest::HandlerRegistration handlers;
        handlers.Add(counting);
        auto stub = FetchStub({Ok(Answer("<a ident=\"1\"/>" + Registration(1, "a@example.org"), "S"))});
        TRegisterServiceClient client(nullptr);
        client.AfterStartup();
        Configure(client, stub->Url("/rs").toString());
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 5; ++i) {
                    try {
                        client.Fetch(false);
                    } catch (const std::exception&) {
                        ++failures;
                    }
                }
            });
        for (int i = 0; i < 5; ++i)
            client.Fetch(true);
        for (std::thread& thread : threads)
            thread.join();
        QVERIFY(WaitForThreads(client));
        QCOMPARE(failures.load(), 0);
        QCOMPARE(counting->MaxDepth.load(), 1);
        QCOMPARE(stub->Requests().size(), 25);
        QCOMPARE(Count("qvregistrations"), 1);
    }
};

QTEST_MAIN(tst_RegisterServiceClient)
#include "tst_RegisterServiceClient.moc"
