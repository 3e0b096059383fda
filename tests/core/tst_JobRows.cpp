// The job's own rows: its "emljobs" row from insert to end, and its template's sent state; each
// change reaches its one row only. On both backends (see TestDatabase).

#include "JobRows.h"

#include "Database.h"
#include "support/TestDatabase.h"

#include <QTest>

using namespace emailmarketing;
using testsupport::Backend;
using testsupport::TestDatabase;
using testsupport::Value;

namespace {

const QDateTime Start(QDate(2026, 3, 2), QTime(8, 15, 0));
const QDateTime End(QDate(2026, 3, 2), QTime(9, 40, 30));

QVariant JobValue(qint32 AJobID, const char* AColumn) {
    return Value(QStringLiteral("emljobs"), QString::fromLatin1(AColumn), QStringLiteral("id = ?"), {AJobID});
}

QVariant TemplateValue(qint64 ATemplateID, const char* AColumn) {
    return Value(QStringLiteral("emtemplates"), QString::fromLatin1(AColumn), QStringLiteral("id = ?"),
                 {ATemplateID});
}

qint64 InsertTemplate(const QString& AName) {
    return hostapi::Database::InsertRow(QStringLiteral("emtemplates"),
                                        {QStringLiteral("name"), QStringLiteral("templstateid")}, {AName, 7});
}

} // namespace

class tst_JobRows : public QObject {
    Q_OBJECT

private slots:
    void insertStoresTheRun_data();
    void insertStoresTheRun();
    void closeEndsOnlyItsRow_data();
    void closeEndsOnlyItsRow();
    void templateSentChangesOnlyItsRow_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void templateSentChangesOnlyItsRow();
};

void tst_JobRows::insertStoresTheRun_data() {
    TestDatabase::AddBackendColumn();
    QTest::addColumn<int>("jobState");
    QTest::addColumn<qint64>("parentJobID");
    QTest::addColumn<qint64>("parentJobState");
    for (Backend b : TestDatabase::SelectedBackends()) {
        const char* name = b == Backend::SQLite ? "sqlite" : "postgresql";
        QTest::addRow("%s: first run", name) << b << 1 << qint64(-1) << qint64(-1);
        QTest::addRow("%s: resend of the failed", name) << b << 1 << qint64(41) << qint64(2);
        QTest::addRow("%s: sent run", name) << b << 2 << qint64(-1) << qint64(-1);
    }
}

void tst_JobRows::insertStoresTheRun() {
    QFETCH(Backend, backend);
    QFETCH(int, jobState);
    QFETCH(qint64, parentJobID);
    QFETCH(qint64, parentJobState);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);

    const qint32 first = TJobRows::Insert({12, Start, jobState, parentJobID, parentJobState});
    const qint32 second = TJobRows::Insert({13, Start, 1, -1, -1});
    QVERIFY(first >= 0);
    QVERIFY(second != first);
    QCOMPARE(JobValue(first, "emltemplates_id").toInt(), 12);
    QCOMPARE(JobValue(first, "startdate").toDateTime(), Start);
    QCOMPARE(JobValue(first, "jobstate").toInt(), jobState);
    QVERIFY(JobValue(first, "enddate").isNull());
    QCOMPARE(JobValue(first, "parentjobid").toLongLong(), parentJobID);
    QCOMPARE(JobValue(first, "parentjobstate").toLongLong(), parentJobState);
    QCOMPARE(JobValue(second, "emltemplates_id").toInt(), 13);
}

void tst_JobRows::closeEndsOnlyItsRow_data() {
    TestDatabase::AddBackendColumn();
    QTest::addColumn<int>("jobState");
    for (Backend b : TestDatabase::SelectedBackends()) {
        const char* name = b == Backend::SQLite ? "sqlite" : "postgresql";
        QTest::addRow("%s: not completed", name) << b << 1;
        QTest::addRow("%s: sent", name) << b << 2;
    }
}

void tst_JobRows::closeEndsOnlyItsRow() {
    QFETCH(Backend, backend);
    QFETCH(int, jobState);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);

    const qint32 job = TJobRows::Insert({12, Start, 1, -1, -1});
    const qint32 other = TJobRows::Insert({12, Start, 1, -1, -1});
    TJobRows::Close(job, jobState, End);
    QCOMPARE(JobValue(job, "jobstate").toInt(), jobState);
    QCOMPARE(JobValue(job, "enddate").toDateTime(), End);
    QCOMPARE(JobValue(job, "startdate").toDateTime(), Start);
    QCOMPARE(JobValue(other, "jobstate").toInt(), 1);
    QVERIFY(JobValue(other, "enddate").isNull());
}

void tst_JobRows::templateSentChangesOnlyItsRow() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);

    const qint64 mailed = InsertTemplate(QStringLiteral("Newsletter"));
    const qint64 other = InsertTemplate(QStringLiteral("Rechnung"));
    TJobRows::MarkTemplateSent(static_cast<qint32>(mailed), 3, End);
    QCOMPARE(TemplateValue(mailed, "templstateid").toLongLong(), qint64(3));
    QCOMPARE(TemplateValue(mailed, "lastsent").toDateTime(), End);
    QCOMPARE(TemplateValue(mailed, "name").toString(), QStringLiteral("Newsletter"));
    QCOMPARE(TemplateValue(other, "templstateid").toLongLong(), qint64(7));
    QVERIFY(TemplateValue(other, "lastsent").isNull());
}

QTEST_GUILESS_MAIN(tst_JobRows)
#include "tst_JobRows.moc"
