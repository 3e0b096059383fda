// The delete notification: every delete through the host layer raises the event for its schema,
// listeners name dependents, and the dependents go transitively in the same transaction, cycle-safe;
// a failure rolls everything back. The listener registry is safe from any thread.

#include "ClientSQL.h"
#include "Database.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "QVSQLDeleteNotify.h"
#include "support/TestDatabase.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace hostapi;
using testsupport::Backend;
using testsupport::TestDatabase;

namespace {

using testsupport::Count;

qint64 Insert(const QString& table, const QStringList& columns, const QVariantList& values) {
    return Database::InsertRow(table, columns, values);
}

struct TemplateRows {
    qint64 Template = -1;
    qint64 Job = -1;
};

// A template with one row in each dependent schema and a job with two sent-list rows.
TemplateRows AddTemplateWithDependents(const QString& name) {
    TemplateRows r;
    r.Template = Insert("emtemplates", {"name"}, {name});
    Insert("emlembededcontent", {"emltemplateid", "contentfilename"}, {r.Template, "logo.png"});
    Insert("emlattachements", {"emltemplateid", "filename"}, {r.Template, "offer.pdf"});
    Insert("emltextblocks", {"emtemplateid", "descr"}, {r.Template, "greeting"});
    r.Job = Insert("emljobs", {"emltemplates_id", "jobstate"}, {r.Template, 2});
    Insert("emlsentlist", {"emljobs_id", "email", "sentstate"}, {r.Job, "a@example.org", 1});
    Insert("emlsentlist", {"emljobs_id", "email", "sentstate"}, {r.Job, "b@example.org", 2});
    return r;
}

// Rows that belong to the template: itself and every dependent, transitively.
qint64 RowsOf(const TemplateRows& r) {
    return Count("emtemplates", "\"id\" = ?", {r.Template}) +
           Count("emlembededcontent", "\"emltemplateid\" = ?", {r.Template}) +
           Count("emlattachements", "\"emltemplateid\" = ?", {r.Template}) +
           Count("emltextblocks", "\"emtemplateid\" = ?", {r.Template}) +
           Count("emljobs", "\"emltemplates_id\" = ?", {r.Template}) +
           Count("emlsentlist", "\"emljobs_id\" = ?", {r.Job});
}

// Names the dependents of templates and jobs the way the e-mail marketing module does.
class TemplateListener {
public:
    TemplateListener()
        : FListener([this](TQVSQLDeleteNotifyListener&, IQVSQLDeleteNotify& e) {
              ++Events;
              for (const char* schema : {"emtemplates", "emljobs"}) {
                  if (!e.IsSchema(QString::fromLatin1(schema)))
                      continue;
                  if (!e.CanAddDependents()) {
                      ++Skipped;
                      e.DependentsSkipped();
                      return;
                  }
                  if (e.IsSchema("EMTEMPLATES")) {
                      e.AddDependent("emlembededcontent", "emltemplateid");
                      e.AddDependent("emlattachements", "emltemplateid");
                      e.AddDependent("emltextblocks", "emtemplateid");
                      e.AddDependent("emljobs", "emltemplates_id");
                  } else {
                      e.AddDependent("emlsentlist", "emljobs_id");
                  }
                  return;
              }
          }) {}

    std::atomic<int> Events{0};
    std::atomic<int> Skipped{0};

private:
    TQVSQLDeleteNotifyListener FListener;
};

// A trigger that makes every delete of sent-list rows fail.
void BlockSentListDeletes() {
    if (Database::IsPostgres()) {
        Database::Exec("CREATE FUNCTION qv_block_delete() RETURNS trigger LANGUAGE plpgsql AS "
                       "$$ BEGIN RAISE EXCEPTION 'sent list rows are locked'; END $$");
        Database::Exec("CREATE TRIGGER qv_block_delete BEFORE DELETE ON emlsentlist "
                       "FOR EACH ROW EXECUTE FUNCTION qv_block_delete()");
    } else {
        Database::Exec("CREATE TRIGGER qv_block_delete BEFORE DELETE ON emlsentlist "
                       "BEGIN SELECT RAISE(ABORT, 'sent list rows are locked'); END");
    }
}

// Cases without a database run once, with the SQLite selection.
#define QV_ONCE()                                                                                            \
    do {                                                                                                     \
        if (!TestDatabase::SelectedBackends().contains(Backend::SQLite))                                     \
            QSKIP("runs with the SQLite selection");                                                         \
    } while (false)

class CountingEvent final : public IQVSQLDeleteNotify {
public:
    QString SchemaName() const override { return QStringLiteral("emlists"); }
    bool IsSchema(const QString& s) const override { return s == SchemaName(); }
    bool CanAddDependents() const override { return true; }
    void AddDependent(const QString&, const QString&) override {}
    void DependentsSkipped() override {}
};

} // namespace

class tst_QVSQLDeleteNotify : public QObject {
    Q_OBJECT

private slots:
    void deleteRemovesDependentsTransitively_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<bool>("throughRecordSet");
        for (Backend b : TestDatabase::SelectedBackends()) {
            const char* name = b == Backend::SQLite ? "sqlite" : "postgresql";
            QTest::addRow("%s statement", name) << b << false;
            QTest::addRow("%s record set", name) << b << true;
        }
    }
    void deleteRemovesDependentsTransitively() {
        QFETCH(Backend, backend);
        QFETCH(bool, throughRecordSet);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const TemplateRows doomed = AddTemplateWithDependents("doomed");
        const TemplateRows kept = AddTemplateWithDependents("kept");
        QCOMPARE(RowsOf(doomed), 7);
        TemplateListener listener;

        if (throughRecordSet) {
            TQVRecordSet rs("emtemplates");
            rs.Filters().Add("id", doomed.Template);
            rs.Open();
            QCOMPARE(rs.RecordCount(), 1);
            rs.Delete();
            QCOMPARE(rs.RecordCount(), 0);
        } else {
            TClientSQL sql("emtemplates", ckDelete);
            sql.Filters().Add("id", doomed.Template);
            QCOMPARE(sql.Execute(), 1);
        }
        QCOMPARE(RowsOf(doomed), 0);
        QCOMPARE(RowsOf(kept), 7);
        // One event per schema that lost rows: the template, its four dependents, the sent list.
        QCOMPARE(listener.Events, 6);
        QCOMPARE(listener.Skipped, 0);
    }

    void failingDependentDeleteRollsEverythingBack_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void failingDependentDeleteRollsEverythingBack() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const TemplateRows rows = AddTemplateWithDependents("locked");
        BlockSentListDeletes();
        TemplateListener listener;
        TClientSQL sql("emtemplates", ckDelete);
        sql.Filters().Add("id", rows.Template);
        try {
            sql.Execute();
            QFAIL("the delete succeeded although a dependent delete failed");
        } catch (const EQVDatabaseException& e) {
            QVERIFY2(e.Message().contains("sent list rows are locked"), qPrintable(e.Message()));
        }
        QCOMPARE(RowsOf(rows), 7);
        // The connection is usable again: no transaction was left open.
        QCOMPARE(Insert("emltemplstates", {"descr"}, {"after"}) > 0, true);
        QCOMPARE(Count("emltemplstates"), 1);
    }

    void deleteWithoutDependentsCallsTheFourthOperationOnce_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void deleteWithoutDependentsCallsTheFourthOperationOnce() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const TemplateRows rows = AddTemplateWithDependents("alone");
        TemplateListener listener;
        TSqlWhere where;
        where.Where = "t.\"id\" = ?";
        where.Binds << rows.Template;
        const TDeleteResult result = DeleteNotifyRegistry::Delete("emtemplates", where, false);
        QCOMPARE(result.Rows, 1);
        QCOMPARE(result.DependentRows, 0);
        QCOMPARE(result.DependentsSkipped, 1);
        QCOMPARE(listener.Events, 1);
        QCOMPARE(listener.Skipped, 1);
        QCOMPARE(RowsOf(rows), 6); // only the template went
    }

    void cyclicDependentsEnd_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void cyclicDependentsEnd() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        // Two folders that are each other's parent, and a child of the second.
        const qint64 a = Insert("emltemplatefolders", {"descr"}, {"a"});
        const qint64 b = Insert("emltemplatefolders", {"descr", "parentemlltemplatefolderid"}, {"b", a});
        Insert("emltemplatefolders", {"descr", "parentemlltemplatefolderid"}, {"c", b});
        const qint64 other = Insert("emltemplatefolders", {"descr"}, {"other"});
        Database::Exec("UPDATE emltemplatefolders SET parentemlltemplatefolderid = ? WHERE id = ?", {b, a});
        int events = 0;
        TQVSQLDeleteNotifyListener listener([&](TQVSQLDeleteNotifyListener&, IQVSQLDeleteNotify& e) {
            ++events;
            if (e.IsSchema("emltemplatefolders"))
                e.AddDependent("emltemplatefolders", "parentemlltemplatefolderid");
        });
        TClientSQL sql("emltemplatefolders", ckDelete);
        sql.Filters().Add("id", a);
        QCOMPARE(sql.Execute(), 1);
        QCOMPARE(Count("emltemplatefolders"), 1);
        QCOMPARE(Count("emltemplatefolders", "\"id\" = ?", {other}), 1);
        QCOMPARE(events, 3); // a, then b, then c; a is not visited again
    }

    void cascadesFromSeveralThreadsAtOnce_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void cascadesFromSeveralThreadsAtOnce() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        constexpr int kThreads = 6;
        constexpr int kTemplatesPerThread = 15;
        QList<QList<TemplateRows>> rows(kThreads);
        for (int t = 0; t < kThreads; ++t)
            for (int i = 0; i < kTemplatesPerThread; ++i)
                rows[t] << AddTemplateWithDependents(QStringLiteral("t%1-%2").arg(t).arg(i));
        const TemplateRows kept = AddTemplateWithDependents("kept");
        TemplateListener listener; // called on every deleting thread
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                try {
                    TClientSQL sql("emtemplates", ckDelete);
                    sql.Filters().Add("id", -1);
                    for (const TemplateRows& r : rows[t]) {
                        sql.Filters().SetValue("id", r.Template);
                        if (sql.Execute() != 1)
                            failures.fetch_add(1);
                    }
                } catch (const std::exception& e) {
                    qWarning("%s", e.what());
                    failures.fetch_add(1);
                }
            });
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(Count("emtemplates"), 1);
        QCOMPARE(Count("emlsentlist"), 2);
        QCOMPARE(RowsOf(kept), 7);
    }

    // ---- registry, from many threads -------------------------------------------------------------
    void registryIsSafeWhileListenersComeAndGo() {
        QV_ONCE();
        std::atomic<qint64> stableCalls{0};
        std::atomic<qint64> transientCalls{0};
        std::atomic<int> wrongSender{0};
        TQVSQLDeleteNotifyListener stable(
            [&](TQVSQLDeleteNotifyListener&, IQVSQLDeleteNotify&) { stableCalls.fetch_add(1); });
        const int baseCount = DeleteNotifyRegistry::ListenerCount();
        constexpr int kRaisers = 8;
        constexpr int kEventsPerRaiser = 5000;
        std::atomic<bool> raising{true};
        std::vector<std::thread> churners;
        for (int i = 0; i < 4; ++i)
            churners.emplace_back([&] {
                while (raising.load()) {
                    TQVSQLDeleteNotifyListener transient(
                        [&](TQVSQLDeleteNotifyListener& sender, IQVSQLDeleteNotify&) {
                            if (!sender.OnExecute())
                                wrongSender.fetch_add(1);
                            transientCalls.fetch_add(1);
                        });
                    std::this_thread::yield();
                    transient.SetOnExecute([&](TQVSQLDeleteNotifyListener&, IQVSQLDeleteNotify&) {
                        transientCalls.fetch_add(1);
                    });
                }
            });
        std::vector<std::thread> raisers;
        for (int i = 0; i < kRaisers; ++i)
            raisers.emplace_back([&] {
                CountingEvent event;
                for (int n = 0; n < kEventsPerRaiser; ++n)
                    DeleteNotifyRegistry::Notify(event);
            });
        for (std::thread& t : raisers)
            t.join();
        raising = false;
        for (std::thread& t : churners)
            t.join();
        QCOMPARE(stableCalls.load(), qint64(kRaisers) * kEventsPerRaiser);
        QVERIFY(transientCalls.load() > 0);
        QCOMPARE(wrongSender.load(), 0);
        QCOMPARE(DeleteNotifyRegistry::ListenerCount(), baseCount);
    }

    void destroyingAListenerWaitsForItsRunningCall() {
        QV_ONCE();
        std::atomic<bool> entered{false};
        std::atomic<bool> finished{false};
        auto listener = std::make_unique<TQVSQLDeleteNotifyListener>(
            [&](TQVSQLDeleteNotifyListener&, IQVSQLDeleteNotify&) {
                entered = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                finished = true;
            });
        std::thread raiser([] {
            CountingEvent event;
            DeleteNotifyRegistry::Notify(event);
        });
        while (!entered.load())
            std::this_thread::yield();
        listener.reset();
        QVERIFY(finished.load());
        raiser.join();
    }
};

QTEST_GUILESS_MAIN(tst_QVSQLDeleteNotify)
#include "tst_QVSQLDeleteNotify.moc"
