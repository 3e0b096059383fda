#include "QVException.h"
#include "ScheduleLog.h"
#include "SchedulePlugin.h"
#include "Scheduler.h"
#include "VRNLang.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <stdexcept>
#include <thread>

using namespace hostapi;

namespace {

const QString FetchId = QStringLiteral("{01E3FADE-2C6F-4E4F-9E1D-1E2087BD0B23}");
const QString OtherId = QStringLiteral("{9A1C2E55-0B7D-4C41-8E0F-3D2B6A7C9E10}");
const QDateTime Start(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC);

// A scheduler on a clock the test moves, with one component of two actions.
struct Fixture {
    QDateTime Now = Start;
    Scheduler Sched{[this] { return Now; }};
    TSchedulePlugin Plugin;
    int Runs = 0;

    Fixture() {
        Plugin.AddAction(QStringLiteral("Register-Service aktualisieren"), FetchId);
        Plugin.AddAction(QStringLiteral("Aufräumen"), OtherId);
        Plugin.OnExecute = [this](TSchedulePlugin* Sender, int Index, IScheduleExecuteCallBack& ACallBack,
                                  QVariant& AData, bool& ASuccess) {
            ++Runs;
            AData = AData.toInt() + 1;
            ACallBack.Report(Sender->Action(Index).Caption, MessageKind::Info,
                             QStringLiteral("Register-Service wurde erfolgreich aktualisiert."));
            ASuccess = true;
        };
        Sched.RegisterPlugin(&Plugin);
    }
};

} // namespace

class tst_Scheduler : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void executeNowRunsTheActionAndLogsItsReport() {
        Fixture f;
        QSignalSpy executed(&f.Sched, &Scheduler::ActionExecuted);
        QVERIFY(f.Sched.ExecuteNow(FetchId.toLower())); // identifiers compare in any case
        QVERIFY(f.Sched.ExecuteNow(FetchId));
        QCOMPARE(f.Runs, 2);
        const auto log = f.Sched.Log().Entries();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.at(0).Caption, QStringLiteral("Register-Service aktualisieren"));
        QCOMPARE(log.at(0).Kind, MessageKind::Info);
        QCOMPARE(log.at(0).Text, QStringLiteral("Register-Service wurde erfolgreich aktualisiert."));
        QCOMPARE(log.at(0).Time, Start);
        QCOMPARE(executed.size(), 2);
        QCOMPARE(executed.at(1).at(0).toString(), FetchId);
        QCOMPARE(executed.at(1).at(1).toBool(), true);
        // AData is kept between runs: the second run saw the first run's value.
        int seen = -1;
        f.Plugin.OnExecute = [&](TSchedulePlugin*, int, IScheduleExecuteCallBack&, QVariant& AData, bool&) {
            seen = AData.toInt();
        };
        f.Sched.ExecuteNow(FetchId);
        QCOMPARE(seen, 2);
    }

    void dueActionsRun_data() {
        QTest::addColumn<qint64>("dueInSecs"); // -1: not scheduled
        QTest::addColumn<qint64>("interval");
        QTest::addColumn<qint64>("clockMovesSecs");
        QTest::addColumn<int>("expectedRuns");
        QTest::addColumn<qint64>("expectedNextDueSecs"); // -1: not scheduled any more
        QTest::newRow("not due yet") << 60LL << 0LL << 59LL << 0 << 60LL;
        QTest::newRow("one-time action runs once") << 60LL << 0LL << 60LL << 1 << -1LL;
        QTest::newRow("repeating action moves by its interval") << 60LL << 300LL << 60LL << 1 << 360LL;
        QTest::newRow("missed runs are not made up") << 60LL << 300LL << 1000LL << 1 << 1260LL;
        QTest::newRow("unscheduled runs only on request") << -1LL << 0LL << 100000LL << 0 << -1LL;
    }
    void dueActionsRun() {
        QFETCH(qint64, dueInSecs);
        QFETCH(qint64, interval);
        QFETCH(qint64, clockMovesSecs);
        QFETCH(int, expectedRuns);
        QFETCH(qint64, expectedNextDueSecs);
        Fixture f;
        f.Sched.SetSchedule(FetchId, dueInSecs < 0 ? QDateTime() : Start.addSecs(dueInSecs), interval);
        f.Now = Start.addSecs(clockMovesSecs);
        QCOMPARE(f.Sched.ExecuteDue(), expectedRuns);
        QCOMPARE(f.Runs, expectedRuns);
        QCOMPARE(f.Sched.ExecuteDue(), 0); // nothing is due twice at the same time
        const auto actions = f.Sched.Actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions.at(0).Identifier, FetchId);
        QCOMPARE(actions.at(0).NextDue,
                 expectedNextDueSecs < 0 ? QDateTime() : Start.addSecs(expectedNextDueSecs));
    }

    void failingActionIsLoggedAsError_data() {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("expectedText");
        QTest::newRow("reports its failure") << "report"
                                             << "URL to Register-Service not configured!";
        QTest::newRow("raises a platform exception") << "platform"
                                                     << "Verbindung abgelehnt";
        QTest::newRow("raises a std::exception") << "std"
                                                 << "out of range";
        QTest::newRow("raises something else") << "other"
                                               << "Unbekannter Fehler";
        QTest::newRow("has no execute event") << "none"
                                              << "Assertion failed: OnExecute";
    }
    void failingActionIsLoggedAsError() {
        QFETCH(QString, failure);
        QFETCH(QString, expectedText);
        Fixture f;
        if (failure == QLatin1String("none")) {
            f.Plugin.OnExecute = nullptr;
        } else {
            f.Plugin.OnExecute = [failure](TSchedulePlugin* Sender, int Index,
                                           IScheduleExecuteCallBack& ACallBack, QVariant&, bool& ASuccess) {
                if (failure == QLatin1String("report")) {
                    ASuccess = false;
                    ACallBack.Report(Sender->Action(Index).Caption, MessageKind::Error,
                                     QStringLiteral("URL to Register-Service not configured!"));
                    return;
                }
                ASuccess = true; // a raise wins over a success set before it
                if (failure == QLatin1String("platform"))
                    throw EQVException(QStringLiteral("Verbindung abgelehnt"));
                if (failure == QLatin1String("std"))
                    throw std::out_of_range("out of range");
                throw 7;
            };
        }
        QSignalSpy executed(&f.Sched, &Scheduler::ActionExecuted);
        QCOMPARE(f.Sched.ExecuteNow(FetchId), false);
        const auto log = f.Sched.Log().Entries();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.at(0).Caption, QStringLiteral("Register-Service aktualisieren"));
        QCOMPARE(log.at(0).Kind, MessageKind::Error);
        QVERIFY2(log.at(0).Text.startsWith(expectedText), qPrintable(log.at(0).Text));
        QCOMPARE(executed.size(), 1);
        QCOMPARE(executed.at(0).at(1).toBool(), false);
        // The scheduler still works afterwards.
        f.Plugin.OnExecute = [](TSchedulePlugin*, int, IScheduleExecuteCallBack&, QVariant&, bool& ASuccess) {
            ASuccess = true;
        };
        QVERIFY(f.Sched.ExecuteNow(FetchId));
    }

    void timerRunsDueActions() {
        Fixture f;
        f.Sched.SetSchedule(OtherId, Start.addSecs(3600), 3600);
        f.Sched.Start(10);
        QTest::qWait(50);
        QCOMPARE(f.Runs, 0);
        f.Now = Start.addSecs(3600); // an hour passes on the injected clock
        QTRY_COMPARE(f.Runs, 1);
        QTest::qWait(50);
        QCOMPARE(f.Runs, 1);
        f.Sched.Stop();
        QCOMPARE(f.Sched.Log().Entries().at(0).Caption, QStringLiteral("Aufräumen"));
    }

    void runningActionIsNotEnteredAgain() {
        Fixture f;
        f.Sched.SetSchedule(FetchId, Start, 0);
        QString nestedError;
        int dueInside = -1;
        f.Plugin.OnExecute = [&](TSchedulePlugin*, int, IScheduleExecuteCallBack&, QVariant&,
                                 bool& ASuccess) {
            ++f.Runs;
            // What a nested event loop (a synchronous fetch) could do meanwhile:
            dueInside = f.Sched.ExecuteDue();
            try {
                f.Sched.ExecuteNow(FetchId);
            } catch (const EQVUserMessageException& e) {
                nestedError = e.Message();
            }
            ASuccess = true;
        };
        QVERIFY(f.Sched.ExecuteNow(FetchId));
        QCOMPARE(f.Runs, 1);
        QCOMPARE(dueInside, 0);
        QCOMPARE(nestedError, QStringLiteral("Die Aktion \"Register-Service aktualisieren\" läuft bereits."));
        QCOMPARE(f.Sched.Actions().at(0).Running, false);
    }

    void registrationErrors() {
        Fixture f;
        TSchedulePlugin second;
        second.AddAction(QStringLiteral("Doppelt"), FetchId.toLower());
        QVERIFY_THROWS_EXCEPTION(EQVException, f.Sched.RegisterPlugin(&second));
        QVERIFY_THROWS_EXCEPTION(EQVException, second.AddAction(QStringLiteral("Doppelt"), FetchId));
        QVERIFY_THROWS_EXCEPTION(EQVException,
                                 second.AddAction(QStringLiteral("kein GUID"), QStringLiteral("fetch")));
        QVERIFY_THROWS_EXCEPTION(
            EQVException, f.Sched.ExecuteNow(QStringLiteral("{00000000-0000-0000-0000-000000000001}")));
        QVERIFY_THROWS_EXCEPTION(EQVException, f.Sched.SetSchedule(FetchId, Start, -1));
        QCOMPARE(f.Sched.Actions().size(), 2);
    }

    void destroyedComponentLeavesTheScheduler() {
        QDateTime now = Start;
        Scheduler sched([&] { return now; });
        auto owner = std::make_unique<QObject>(); // a data module
        auto* plugin = new TSchedulePlugin(owner.get());
        plugin->AddAction(QStringLiteral("Register-Service aktualisieren"), FetchId);
        sched.RegisterPlugin(plugin);
        sched.SetSchedule(FetchId, Start, 60);
        QCOMPARE(sched.Actions().size(), 1);
        owner.reset();
        QCOMPARE(sched.Actions().size(), 0);
        QCOMPARE(sched.ExecuteDue(), 0);
        QVERIFY_THROWS_EXCEPTION(EQVException, sched.ExecuteNow(FetchId));
    }

    void scheduleLogIsATranslatedTable() {
        Fixture f;
        ScheduleLog& log = f.Sched.Log();
        f.Sched.ExecuteNow(FetchId);
        std::thread worker(
            [&] { log.Report(QStringLiteral("Thread"), MessageKind::Warning, QStringLiteral("spät")); });
        worker.join();
        QCOMPARE(log.rowCount(), 1); // the worker's report is queued to the GUI thread
        QTRY_COMPARE(log.rowCount(), 2);
        QCOMPARE(log.columnCount(), 4);
        QStringList headers;
        for (int column = 0; column < log.columnCount(); ++column)
            headers << log.headerData(column, Qt::Horizontal).toString();
        QCOMPARE(headers, QStringList({"Zeit", "Aktion", "Art", "Meldung"}));
        QCOMPARE(log.data(log.index(0, ScheduleLog::colTime)).toString(),
                 QStringLiteral("2024-03-01 08:00:00"));
        QCOMPARE(log.data(log.index(1, ScheduleLog::colKind)).toString(), QStringLiteral("Warnung"));
        QCOMPARE(log.data(log.index(1, ScheduleLog::colText)).toString(), QStringLiteral("spät"));
        log.Report(QStringLiteral("Aufräumen"), MessageKind::Error, QStringLiteral("kaputt"));
        QCOMPARE(log.data(log.index(2, ScheduleLog::colKind)).toString(), QStringLiteral("Fehler"));
        QSignalSpy headersChanged(&log, &QAbstractItemModel::headerDataChanged);
        QSignalSpy cells(&log, &QAbstractItemModel::dataChanged);
        TVRNLang::SetCurrentLanguage(QStringLiteral("English"));
        QCOMPARE(headersChanged.size(), 1);
        QCOMPARE(cells.size(), 1);
        QCOMPARE(log.headerData(ScheduleLog::colText, Qt::Horizontal).toString(), QStringLiteral("Message"));
        QCOMPARE(log.data(log.index(0, ScheduleLog::colKind)).toString(), QStringLiteral("Information"));
        QCOMPARE(log.data(log.index(1, ScheduleLog::colKind)).toString(), QStringLiteral("Warning"));
    }
};

QTEST_GUILESS_MAIN(tst_Scheduler)
#include "tst_Scheduler.moc"
