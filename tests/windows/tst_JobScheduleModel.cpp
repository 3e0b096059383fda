#include "BaseEmailSender.h"
#include "JobScheduleModel.h"

#include <QtTest>

using namespace emailmarketing;

namespace {

// A job that records the order of its schedule writes.
class RecordingJob : public TLocalEmailSender {
public:
    RecordingJob() : TLocalEmailSender(nullptr, 1, nullptr, esPlainText) {}
    void SetAutoStart(bool value) override {
        Writes << QStringLiteral("AutoStart");
        TLocalEmailSender::SetAutoStart(value);
    }
    void SetAutoStartDate(const QDateTime& value) override {
        Writes << QStringLiteral("AutoStartDate");
        TLocalEmailSender::SetAutoStartDate(value);
    }
    QStringList Writes;
};

QDateTime At(const QString& AText) {
    return QDateTime::fromString(AText, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

class tst_JobScheduleModel : public QObject {
    Q_OBJECT

private slots:
    void defaultStartIsOneHourAheadOnTheJobsClock_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("morning") << At("2026-03-10 10:00:40") << At("2026-03-10 11:00:00");
        QTest::newRow("after 23:00 the next day") << At("2026-03-10 23:30:00") << At("2026-03-11 00:30:00");
        QTest::newRow("new year") << At("2026-12-31 23:59:59") << At("2027-01-01 00:59:00");
    }
    void defaultStartIsOneHourAheadOnTheJobsClock() {
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, expected);
        RecordingJob job;
        job.SetClock([now] { return now; });
        const JobScheduleModel::TSchedule schedule = JobScheduleModel::Load(&job, job.Now());
        QVERIFY(!schedule.AutoStart);
        QCOMPARE(JobScheduleModel::StartOf(schedule), expected);
        // The default start can be stored as it stands.
        QVERIFY(JobScheduleModel::IsAccepted({true, schedule.Date, schedule.Time}, now));
    }

    void loadShowsTheJobsStart() {
        RecordingJob job;
        job.SetAutoStartDate(At("2026-04-01 08:15:00"));
        job.SetAutoStart(true);
        const JobScheduleModel::TSchedule schedule = JobScheduleModel::Load(&job, At("2026-03-10 10:00:00"));
        QVERIFY(schedule.AutoStart);
        QCOMPARE(schedule.Date, QDate(2026, 4, 1));
        QCOMPARE(schedule.Time, QTime(8, 15));
    }

    void startMustLieMoreThanFiveMinutesAhead_data() {
        QTest::addColumn<bool>("autoStart");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("in the past") << true << QTime(9, 0) << false;
        QTest::newRow("exactly 5 minutes ahead") << true << QTime(10, 5) << false;
        QTest::newRow("6 minutes ahead") << true << QTime(10, 6) << true;
        QTest::newRow("unchecked: anything") << false << QTime(9, 0) << true;
    }
    void startMustLieMoreThanFiveMinutesAhead() {
        QFETCH(bool, autoStart);
        QFETCH(QTime, time);
        QFETCH(bool, accepted);
        QCOMPARE(
            JobScheduleModel::IsAccepted({autoStart, QDate(2026, 3, 10), time}, At("2026-03-10 10:00:00")),
            accepted);
    }

    void storeWritesTheDateFirstAndNoDateWhenUnchecked_data() {
        QTest::addColumn<bool>("autoStart");
        QTest::addColumn<QDateTime>("expectedDate");
        QTest::newRow("checked") << true << At("2026-03-10 12:00:00");
        QTest::newRow("unchecked: no date") << false << QDateTime();
    }
    void storeWritesTheDateFirstAndNoDateWhenUnchecked() {
        QFETCH(bool, autoStart);
        QFETCH(QDateTime, expectedDate);
        RecordingJob job;
        job.SetAutoStartDate(At("2026-03-09 12:00:00"));
        job.SetAutoStart(!autoStart);
        job.Writes.clear();
        JobScheduleModel::Store(job, {autoStart, QDate(2026, 3, 10), QTime(12, 0)});
        QCOMPARE(job.AutoStart(), autoStart);
        QCOMPARE(job.AutoStartDate(), expectedDate);
        QVERIFY(!job.AutoStartDate().isValid() || autoStart);
        QCOMPARE(job.Writes, (QStringList{"AutoStartDate", "AutoStart"}));
    }
};

QTEST_GUILESS_MAIN(tst_JobScheduleModel)
#include "tst_JobScheduleModel.moc"
