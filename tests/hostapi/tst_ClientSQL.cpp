// TClientSQL: insert, update and delete on a named schema with declared fields and named filters.
// Inserts answer the new id; auto-active filters with -1 take no part; an update or delete with no
// active filter, an unknown name or a name carrying SQL is refused before anything runs.

#include "ClientSQL.h"
#include "Database.h"
#include "QVException.h"
#include "support/TestDatabase.h"

#include <QTest>

using namespace hostapi;
using testsupport::Backend;
using testsupport::TestDatabase;

Q_DECLARE_METATYPE(hostapi::TClientSQLKind)

namespace {

const QString kInjection = QStringLiteral("x'; DROP TABLE emlists; --");

using testsupport::Count;

QVariant Value(const QString& table, const QString& column, qint64 id) {
    QSqlQuery q =
        Database::Exec(QStringLiteral("SELECT %1 FROM %2 WHERE \"id\" = ?")
                           .arg(Database::QuoteIdentifier(column), Database::QuoteIdentifier(table)),
                       {id});
    return q.next() ? q.value(0) : QVariant();
}

qint64 AddList(const QString& name) {
    TClientSQL sql("emlists", ckInsert);
    sql.AddField("name");
    sql.SetFieldValue("name", name);
    return sql.Execute();
}

// "emlconditions" with both filters auto-active (inactive value "-1"), as the list store declares it.
TClientSQL ConditionsStatement(TClientSQLKind kind) {
    TClientSQL sql("emlconditions", kind);
    sql.AddField("value1");
    for (const char* name : {"id", "emlmacros_id"}) {
        TQVFilter& f = sql.Filters().Add(QString::fromLatin1(name), -1);
        f.AutoActive = true;
        f.InactiveValue = QStringLiteral("-1");
    }
    return sql;
}

} // namespace

class tst_ClientSQL : public QObject {
    Q_OBJECT

private slots:
    void insertAnswersTheNewId_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void insertAnswersTheNewId() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        TClientSQL sql("emlists", ckInsert);
        sql.AddField("name");
        sql.AddField("mailsperunit");
        sql.AddField("unitdelay", "0"); // declared with a default
        sql.SetFieldValue("NAME", "first");
        sql.SetFieldValue("mailsperunit", "250"); // text converted by the declared type
        const qint64 first = sql.Execute();
        sql.SetFieldValue("name", "second");
        sql.SetFieldValue("unitdelay", 5);
        const qint64 second = sql.Execute();
        QVERIFY(first > 0);
        QVERIFY(second > first);
        QCOMPARE(Value("emlists", "name", first).toString(), QStringLiteral("first"));
        QCOMPARE(Value("emlists", "mailsperunit", first).toLongLong(), 250);
        QCOMPARE(Value("emlists", "unitdelay", first).toLongLong(), 0);
        QCOMPARE(Value("emlists", "unitdelay", second).toLongLong(), 5);
        QCOMPARE(Value("emlists", "mailsperunit", second).toLongLong(), 250); // values are kept
    }

    void updateAndDeleteByFilter_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void updateAndDeleteByFilter() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 a = AddList("a");
        const qint64 b = AddList("b");
        TClientSQL sql("emlists", ckUpdate);
        sql.AddField("name");
        sql.SetFieldValue("name", "renamed");
        sql.Filters().Add("id", a);
        QCOMPARE(sql.Execute(), 1);
        QCOMPARE(Value("emlists", "name", a).toString(), QStringLiteral("renamed"));
        QCOMPARE(Value("emlists", "name", b).toString(), QStringLiteral("b"));
        sql.SetKind(ckDelete);
        QCOMPARE(sql.Execute(), 1);
        QCOMPARE(Count("emlists"), 1);
        QCOMPARE(Count("emlists", "\"id\" = ?", {b}), 1);
    }

    // The statement of "emlconditions" with its two auto-active filters.
    void autoActiveFilterWithMinusOneTakesNoPart_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<bool>("byId");      // filter "id" = the first condition, else -1
        QTest::addColumn<bool>("byMacro");   // filter "emlmacros_id" = macro 1, else -1
        QTest::addColumn<qint64>("deleted"); // -1: refused
        for (Backend b : TestDatabase::SelectedBackends()) {
            const char* n = b == Backend::SQLite ? "sqlite" : "postgresql";
            QTest::addRow("%s both -1: refused", n) << b << false << false << qint64(-1);
            QTest::addRow("%s macro only", n) << b << false << true << qint64(2);
            QTest::addRow("%s id only", n) << b << true << false << qint64(1);
            QTest::addRow("%s id and macro", n) << b << true << true << qint64(1);
        }
    }
    void autoActiveFilterWithMinusOneTakesNoPart() {
        QFETCH(Backend, backend);
        QFETCH(bool, byId);
        QFETCH(bool, byMacro);
        QFETCH(qint64, deleted);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        TClientSQL insert("emlconditions", ckInsert);
        insert.AddField("emlmacros_id");
        QList<qint64> ids;
        for (int macro : {1, 1, 2}) {
            insert.SetFieldValue("emlmacros_id", macro);
            ids << insert.Execute();
        }
        TClientSQL sql = ConditionsStatement(ckDelete);
        sql.Filters().SetValue("id", byId ? ids.first() : -1);
        sql.Filters().SetValue("emlmacros_id", byMacro ? 1 : -1);
        if (deleted < 0) {
            QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, sql.Execute());
            QCOMPARE(Count("emlconditions"), 3);
            return;
        }
        QCOMPARE(sql.Execute(), deleted);
        QCOMPARE(Count("emlconditions"), 3 - deleted);
    }

    void updateOrDeleteWithoutActiveFilterIsRefused_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<TClientSQLKind>("kind");
        QTest::addColumn<bool>("withInactiveFilter");
        for (Backend b : TestDatabase::SelectedBackends()) {
            const char* n = b == Backend::SQLite ? "sqlite" : "postgresql";
            QTest::addRow("%s update, no filter", n) << b << ckUpdate << false;
            QTest::addRow("%s delete, no filter", n) << b << ckDelete << false;
            QTest::addRow("%s update, filter inactive", n) << b << ckUpdate << true;
            QTest::addRow("%s delete, filter inactive", n) << b << ckDelete << true;
        }
    }
    void updateOrDeleteWithoutActiveFilterIsRefused() {
        QFETCH(Backend, backend);
        QFETCH(TClientSQLKind, kind);
        QFETCH(bool, withInactiveFilter);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        AddList("a");
        AddList("b");
        TClientSQL sql("emlists", kind);
        sql.AddField("name");
        sql.SetFieldValue("name", "everything");
        if (withInactiveFilter) {
            TQVFilter& f = sql.Filters().Add("id", -1);
            f.AutoActive = true;
            f.InactiveValue = -1;
        }
        try {
            sql.Execute();
            QFAIL("an unfiltered statement ran");
        } catch (const EQVDatabaseException& e) {
            QVERIFY2(e.Message().contains("without an active filter"), qPrintable(e.Message()));
        }
        QCOMPARE(Count("emlists"), 2);
        QCOMPARE(Count("emlists", "\"name\" = ?", {"everything"}), 0);
    }

    void filterValueCarryingSqlFindsNothing_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void filterValueCarryingSqlFindsNothing() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        AddList("a");
        TClientSQL sql("emlists", ckUpdate);
        sql.AddField("name");
        sql.SetFieldValue("name", "changed");
        sql.Filters().Add("name", kInjection);
        QCOMPARE(sql.Execute(), 0);
        sql.SetKind(ckDelete);
        QCOMPARE(sql.Execute(), 0);
        QVERIFY(Database::TableExists("emlists"));
        QCOMPARE(Count("emlists", "\"name\" = ?", {"a"}), 1);
    }

    // Each row names one bad identifier; nothing runs, nothing changes.
    void unknownNamesAreRefusedBeforeAnythingRuns_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<TClientSQLKind>("kind");
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("filterField");
        QTest::addColumn<QString>("message");
        for (Backend b : TestDatabase::SelectedBackends()) {
            const char* n = b == Backend::SQLite ? "sqlite" : "postgresql";
            QTest::addRow("%s insert: field carrying SQL", n)
                << b << ckInsert << "emlists"
                << "name) VALUES ('x'); DROP TABLE emlists; --"
                << "id"
                << "Unknown field name) VALUES ('x'); DROP TABLE emlists; -- in schema emlists";
            QTest::addRow("%s update: unknown field", n) << b << ckUpdate << "emlists"
                                                         << "nosuchfield"
                                                         << "id"
                                                         << "Unknown field nosuchfield in schema emlists";
            QTest::addRow("%s update: filter field carrying SQL", n)
                << b << ckUpdate << "emlists"
                << "name"
                << "id = id OR 1 = 1; --"
                << "Unknown field id = id OR 1 = 1; -- in schema emlists";
            QTest::addRow("%s delete: unknown filter field", n)
                << b << ckDelete << "emlists"
                << "name"
                << "nosuchfield"
                << "Unknown field nosuchfield in schema emlists";
            QTest::addRow("%s insert: unknown schema", n) << b << ckInsert << "emlists; DROP TABLE emlists"
                                                          << "name"
                                                          << "id"
                                                          << "Unknown schema: emlists; DROP TABLE emlists";
            QTest::addRow("%s insert: the record id", n) << b << ckInsert << "emlists"
                                                         << "id"
                                                         << "id"
                                                         << "is the record id and cannot be written";
            QTest::addRow("%s update: a view", n) << b << ckUpdate << "emlsentlist_failed"
                                                  << "email"
                                                  << "id"
                                                  << "The view emlsentlist_failed cannot be changed";
        }
    }
    void unknownNamesAreRefusedBeforeAnythingRuns() {
        QFETCH(Backend, backend);
        QFETCH(TClientSQLKind, kind);
        QFETCH(QString, schema);
        QFETCH(QString, field);
        QFETCH(QString, filterField);
        QFETCH(QString, message);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 id = AddList("a");
        TClientSQL sql(schema, kind);
        sql.AddField(field);
        sql.SetFieldValue(field, "changed");
        sql.Filters().Add(filterField, id);
        try {
            sql.Execute();
            QFAIL("the statement ran");
        } catch (const EQVDatabaseException& e) {
            QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
        }
        QVERIFY(Database::TableExists("emlists"));
        QCOMPARE(Count("emlists"), 1);
        QCOMPARE(Count("emlists", "\"name\" = ?", {"a"}), 1);
    }

    void undeclaredFieldAndUnconvertibleValueRaise() {
        TClientSQL sql("emlists", ckInsert);
        sql.AddField("mailsperunit");
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, sql.SetFieldValue("name", "x"));
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, sql.AddField("MAILSPERUNIT"));
        sql.SetFieldValue("mailsperunit", "many");
        try {
            sql.Execute(); // raises while converting, before the database is touched (none is open)
            QFAIL("an unconvertible value was accepted");
        } catch (const EQVDatabaseException& e) {
            QVERIFY2(e.Message().contains("The value \"many\" of field mailsperunit is not an integer"),
                     qPrintable(e.Message()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_ClientSQL)
#include "tst_ClientSQL.moc"
