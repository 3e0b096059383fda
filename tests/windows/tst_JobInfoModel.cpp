#include "JobInfoModel.h"

#include <QtTest>

using namespace emailmarketing;
using Row = JobInfoModel::TRow;

Q_DECLARE_METATYPE(JobInfoModel::TSnapshot)
Q_DECLARE_METATYPE(JobInfoModel::TPanels)

namespace {

const QDateTime T0 = QDateTime(QDate(2025, 3, 5), QTime(14, 0, 0));

JobInfoModel::TSnapshot Job(TJobStateSet AState) {
    JobInfoModel::TSnapshot s;
    s.EmailStyle = esHTML;
    s.Subject = QStringLiteral("Angebot");
    s.StartDate = T0;
    s.State = AState;
    s.CurrentState = AState;
    s.Now = T0.addSecs(90); // 1.5 minutes after the start
    s.SendThreads = 2;
    return s;
}

// A sending job: P = 100, N = 50, D = 100 000 ms.
JobInfoModel::TSnapshot Sending() {
    JobInfoModel::TSnapshot s = Job({jsInitialized, jsPrepared, jsSending});
    s.PrepareStarted = T0;
    s.PrepareCount = 100;
    s.SendCount = 100;
    s.SendStarted = T0.addSecs(60);
    s.LastSentStatisticUpdate = s.SendStarted.addMSecs(100000);
    s.SentCount = 50;
    s.SentUnits = 3;
    s.Now = s.LastSentStatisticUpdate;
    return s;
}

QStringList Names(const QList<Row>& ARows) {
    QStringList names;
    for (const Row& row : ARows)
        names << row.Name;
    return names;
}

QString Value(const QList<Row>& ARows, const QString& AName) {
    for (const Row& row : ARows)
        if (row.Name == AName)
            return row.Value;
    return QStringLiteral("<no row %1>").arg(AName);
}

const QLocale English(QLocale::English, QLocale::UnitedStates);
const QLocale German(QLocale::German, QLocale::Germany);

const QStringList Base{"Format", "Betreff", "Job-Start", "Job-Alter"};
const QStringList Preparing{"Start-Personalisierung", "Laufzeit-Personalisierung", "Status-Personalisierung",
                            "Empfänger", "Personalisiert"};
const QStringList SendingRows{"Sende-Start", "Sende-Laufzeit", "Sende-Status", "Sende Threads", "Gesendet",
                              "Neuversuche", "Sendefehler", "Zeit pro Mail avg."};

} // namespace

class tst_JobInfoModel : public QObject {
    Q_OBJECT

private slots:
    void rowsFollowTheState_data() {
        QTest::addColumn<JobInfoModel::TSnapshot>("job");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("initialized: rows 1 to 4") << Job({jsInitialized}) << Base;
        JobInfoModel::TSnapshot scheduled = Job({jsInitialized});
        scheduled.AutoStart = true;
        scheduled.AutoStartDate = QDateTime(QDate(2025, 3, 5), QTime(14, 7, 9));
        QTest::newRow("auto-start adds row 5") << scheduled << Base + QStringList{"Auto-Start am"};
        JobInfoModel::TSnapshot fetching = Job({jsInitialized, jsRegisterServiceFetching, jsRegisterServiceFetched});
        QTest::newRow("register service fetching wins")
            << fetching << Base + QStringList{"Register-Service aktualisierung"};
        QTest::newRow("preparing: rows 7 to 11") << Job({jsInitialized, jsPreparing}) << Base + Preparing;
        QTest::newRow("sending: rates and estimate")
            << Sending()
            << Base + Preparing + SendingRows +
                   QStringList{"Gesch. Rest-Versandzeit", "Gesch. Endzeit", "Versand-Durchsatz",
                               "Gesendete Staffeln"};
        JobInfoModel::TSnapshot sentNothing = Sending();
        sentNothing.SentCount = 0;
        QTest::newRow("sending, nothing sent: no estimate, no throughput")
            << sentNothing << Base + Preparing + SendingRows + QStringList{"Gesendete Staffeln"};
        JobInfoModel::TSnapshot zeroSpan = Sending();
        zeroSpan.LastSentStatisticUpdate = zeroSpan.SendStarted;
        QTest::newRow("zero span: throughput left out, no estimate")
            << zeroSpan << Base + Preparing + SendingRows + QStringList{"Gesendete Staffeln"};
        JobInfoModel::TSnapshot delayed = Sending();
        delayed.CurrentState.Include({jsDelayd, jsThrottling});
        QTest::newRow("pause wins over throttling")
            << delayed
            << Base + Preparing + SendingRows +
                   QStringList{"Gesch. Rest-Versandzeit", "Gesch. Endzeit", "Versand-Durchsatz",
                               "Gesendete Staffeln", "Versand-Pause"};
        JobInfoModel::TSnapshot throttled = Sending();
        throttled.CurrentState.Include({jsThrottling});
        QTest::newRow("throttling")
            << throttled
            << Base + Preparing + SendingRows +
                   QStringList{"Gesch. Rest-Versandzeit", "Gesch. Endzeit", "Versand-Durchsatz",
                               "Gesendete Staffeln", "Throttling"};
    }
    void rowsFollowTheState() {
        QFETCH(JobInfoModel::TSnapshot, job);
        QFETCH(QStringList, names);
        QCOMPARE(Names(JobInfoModel::Rows(job, English)), names);
    }

    void initializedJobValues() {
        JobInfoModel::TSnapshot job = Job({jsInitialized});
        job.AutoStart = true;
        job.AutoStartDate = QDateTime(QDate(2025, 3, 5), QTime(14, 7, 9));
        const QList<Row> rows = JobInfoModel::Rows(job, German);
        QCOMPARE(Value(rows, "Format"), QStringLiteral("HTML"));
        QCOMPARE(Value(rows, "Betreff"), QStringLiteral("Angebot"));
        QCOMPARE(Value(rows, "Job-Start"), QStringLiteral("05.03.25 14:00:00"));
        QCOMPARE(Value(rows, "Job-Alter"), QStringLiteral("1,50 Min."));
        QCOMPARE(Value(rows, "Auto-Start am"), QStringLiteral("05-03-2025 14:07:09"));
    }

    void preparingJobValues() {
        JobInfoModel::TSnapshot job = Job({jsInitialized, jsPreparing});
        job.PrepareStarted = T0.addSecs(30);
        job.PrepareCount = 100;
        job.SendCount = 40;
        const QList<Row> rows = JobInfoModel::Rows(job, English);
        QCOMPARE(Value(rows, "Status-Personalisierung"), QStringLiteral("läuft"));
        QCOMPARE(Value(rows, "Laufzeit-Personalisierung"), QStringLiteral("1.00 Min."));
        QCOMPARE(Value(rows, "Empfänger"), QStringLiteral("100"));
        QCOMPARE(Value(rows, "Personalisiert"), QStringLiteral("40"));
        job.State.Include({jsPrepared});
        QCOMPARE(Value(JobInfoModel::Rows(job, English), "Status-Personalisierung"), QStringLiteral("beendet"));
    }

    void sendingJobValues_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("throughput");
        QTest::newRow("English regional settings") << English << "30.00 Stk./Min.";
        QTest::newRow("German regional settings") << German << "30,00 Stk./Min.";
    }
    void sendingJobValues() {
        QFETCH(QLocale, locale);
        QFETCH(QString, throughput);
        const QList<Row> rows = JobInfoModel::Rows(Sending(), locale);
        QCOMPARE(Value(rows, "Zeit pro Mail avg."), QStringLiteral("2000 ms"));
        QCOMPARE(Value(rows, "Gesch. Rest-Versandzeit"), QStringLiteral("0Tage 0h 1m 40s"));
        QCOMPARE(Value(rows, "Gesch. Endzeit"), QStringLiteral("05-03-2025 14:04:20"));
        QCOMPARE(Value(rows, "Versand-Durchsatz"), throughput);
        QCOMPARE(Value(rows, "Sende-Status"), QStringLiteral("läuft"));
        QCOMPARE(Value(rows, "Sende Threads"), QStringLiteral("2"));
        QCOMPARE(Value(rows, "Gesendet"), QStringLiteral("50"));
        QCOMPARE(Value(rows, "Gesendete Staffeln"), QStringLiteral("3"));
    }

    void estimate_data() {
        QTest::addColumn<int>("prepared");
        QTest::addColumn<int>("sent");
        QTest::addColumn<qint64>("spanMs");
        QTest::addColumn<int>("unitDelay");
        QTest::addColumn<bool>("perUnits");
        QTest::addColumn<int>("perUnit");
        QTest::addColumn<qint64>("timePerMail");
        QTest::addColumn<qint64>("remaining");
        QTest::newRow("nothing sent, no pauses") << 100 << 0 << qint64(0) << 0 << false << 10 << qint64(0) << qint64(0);
        QTest::newRow("nothing sent, pauses still ahead: 10 units of 2 min")
            << 100 << 0 << qint64(0) << 2 << true << 10 << qint64(0) << qint64(1200);
        QTest::newRow("pauses need send per units") << 100 << 0 << qint64(0) << 2 << false << 10 << qint64(0) << qint64(0);
        QTest::newRow("a unit count of 0 adds no pauses and does not divide by it")
            << 100 << 0 << qint64(0) << 2 << true << 0 << qint64(0) << qint64(0);
        QTest::newRow("61 s left") << 62 << 1 << qint64(1000) << 0 << false << 10 << qint64(1000) << qint64(61);
        QTest::newRow("time per mail rounded, remaining from the unrounded time")
            << 1000 << 3 << qint64(1000) << 0 << false << 10 << qint64(333) << qint64(332);
        QTest::newRow("durations beyond 32 bits")
            << 200000000 << 1000 << qint64(10000000000) << 0 << false << 10 << qint64(10000000)
            << qint64(1999990000000);
    }
    void estimate() {
        QFETCH(int, prepared);
        QFETCH(int, sent);
        QFETCH(qint64, spanMs);
        QFETCH(int, unitDelay);
        QFETCH(bool, perUnits);
        QFETCH(int, perUnit);
        QFETCH(qint64, timePerMail);
        QFETCH(qint64, remaining);
        JobInfoModel::TSnapshot job = Sending();
        job.PrepareCount = prepared;
        job.SentCount = sent;
        job.LastSentStatisticUpdate = job.SendStarted.addMSecs(spanMs);
        job.UnitDelay = unitDelay;
        job.SendPerUnits = perUnits;
        job.MailsPerUnit = perUnit;
        const JobInfoModel::TEstimate estimate = JobInfoModel::Estimate(job);
        QCOMPARE(estimate.TimePerMailMs, timePerMail);
        QCOMPARE(estimate.RemainingSeconds, remaining);
    }

    void remainingText_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("61 s") << qint64(61) << "0Tage 0h 1m 1s";
        QTest::newRow("100 s") << qint64(100) << "0Tage 0h 1m 40s";
        QTest::newRow("1 day 1 h 1 m 1 s") << qint64(90061) << "1Tage 1h 1m 1s";
        QTest::newRow("more days than 16 bits hold") << qint64(86400) * 70000 + 59 << "70000Tage 0h 0m 59s";
    }
    void remainingText() {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(JobInfoModel::RemainingText(seconds), text);
    }

    void delayTextsAndPanels_data() {
        QTest::addColumn<JobInfoModel::TSnapshot>("job");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<JobInfoModel::TPanels>("panels");
        QTest::addColumn<QString>("row");
        QTest::newRow("initialized: no panels") << Job({jsInitialized}) << English << JobInfoModel::TPanels{} << "";
        JobInfoModel::TSnapshot preparing = Job({jsInitialized, jsPreparing});
        preparing.PrepareCount = 100;
        preparing.SendCount = 40;
        QTest::newRow("preparing: prepare panel only")
            << preparing << English << JobInfoModel::TPanels{true, false, {}, 100, 40, 0, 0} << "";
        QTest::newRow("sending") << Sending() << English
                                 << JobInfoModel::TPanels{true, true, "Versand läuft", 100, 100, 100, 50} << "";
        JobInfoModel::TSnapshot delayed = Sending();
        delayed.CurrentState.Include({jsDelayd});
        delayed.CurrentDelay = 2.5;
        QTest::newRow("pause, German decimals")
            << delayed << German
            << JobInfoModel::TPanels{true, true, "Versand-Pause für 2,50 Minuten", 100, 100, 100, 50}
            << "2,50 Minuten";
        JobInfoModel::TSnapshot throttled = Sending();
        throttled.CurrentState.Include({jsThrottling});
        QTest::newRow("throttling")
            << throttled << English
            << JobInfoModel::TPanels{true, true, "Versand pausiert: Throttling aktiv...", 100, 100, 100, 50}
            << "Aktiv";
    }
    void delayTextsAndPanels() {
        QFETCH(JobInfoModel::TSnapshot, job);
        QFETCH(QLocale, locale);
        QFETCH(JobInfoModel::TPanels, panels);
        QFETCH(QString, row);
        const JobInfoModel::TPanels shown = JobInfoModel::Panels(job, locale);
        QCOMPARE(shown.PrepareVisible, panels.PrepareVisible);
        QCOMPARE(shown.SendVisible, panels.SendVisible);
        QCOMPARE(shown.Delay, panels.Delay);
        QVERIFY(shown == panels);
        if (!row.isEmpty()) {
            const QList<Row> rows = JobInfoModel::Rows(job, locale);
            QCOMPARE(rows.last().Value, row);
        }
    }

    void styleTexts() {
        QCOMPARE(JobInfoModel::StyleText(esPlainText), QStringLiteral("TEXT"));
        QCOMPARE(JobInfoModel::StyleText(esRTFText), QStringLiteral("RTF"));
        QCOMPARE(JobInfoModel::StyleText(esHTMLSource), QStringLiteral("HTML-Source"));
        QCOMPARE(JobInfoModel::StyleText(esSMS), QStringLiteral("SMS"));
        QCOMPARE(JobInfoModel::StyleText(esHTML), QStringLiteral("HTML"));
    }
};

QTEST_GUILESS_MAIN(tst_JobInfoModel)
#include "tst_JobInfoModel.moc"
