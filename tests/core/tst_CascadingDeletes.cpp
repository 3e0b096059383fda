// The main data module's delete listener: deleting through the host removes the dependent rows of
// templates, jobs, lists and macros, transitively; other schemas are left alone; an event that
// allows no dependents is answered by reporting them skipped, once.

#include "CascadingDeletes.h"
#include "ClientSQL.h"
#include "Database.h"
#include "HostDoubles.h"
#include "QVSQLDeleteNotify.h"
#include "dmPluginEmailMarketingMain.h"
#include "support/TestDatabase.h"

#include <QTest>

using namespace emailmarketing;
using testsupport::Backend;
using testsupport::Count;
using testsupport::TestDatabase;

namespace {

qint64 Insert(const QString& table, const QStringList& columns, const QVariantList& values) {
    return hostapi::Database::InsertRow(table, columns, values);
}

void DeleteRow(const QString& schema, qint64 id) {
    hostapi::TClientSQL sql(schema, hostapi::ckDelete);
    sql.Filters().Add(QStringLiteral("id"), id);
    sql.Execute();
}

// Records what a listener names.
class RecordingEvent : public hostapi::IQVSQLDeleteNotify {
public:
    RecordingEvent(QString schema, bool canAdd) : FSchema(std::move(schema)), FCanAdd(canAdd) {}
    QString SchemaName() const override { return FSchema; }
    bool IsSchema(const QString& schemaName) const override {
        return FSchema.compare(schemaName, Qt::CaseInsensitive) == 0;
    }
    bool CanAddDependents() const override { return FCanAdd; }
    void AddDependent(const QString& schemaName, const QString& keyColumn) override {
        Added << schemaName + QLatin1Char('.') + keyColumn;
    }
    void DependentsSkipped() override { ++Skipped; }

    QStringList Added;
    int Skipped = 0;

private:
    QString FSchema;
    bool FCanAdd;
};

} // namespace

class tst_CascadingDeletes : public QObject {
    Q_OBJECT

private slots:
    void dependentsNamed_data() {
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QStringList>("dependents");
        QTest::newRow("template") << "emtemplates"
                                  << QStringList{"emlembededcontent.emltemplateid",
                                                 "emlattachements.emltemplateid",
                                                 "emltextblocks.emtemplateid", "emljobs.emltemplates_id"};
        QTest::newRow("template, other case")
            << "EMTemplates"
            << QStringList{"emlembededcontent.emltemplateid", "emlattachements.emltemplateid",
                           "emltextblocks.emtemplateid", "emljobs.emltemplates_id"};
        QTest::newRow("job") << "emljobs" << QStringList{"emlsentlist.emljobs_id"};
        QTest::newRow("list") << "emlists"
                              << QStringList{"emlmacros.emlists_id", "emllists_filters.emllists_id"};
        QTest::newRow("macro") << "emlmacros" << QStringList{"emlconditions.emlmacros_id"};
        QTest::newRow("condition") << "emlconditions" << QStringList{};
        QTest::newRow("sent list") << "emlsentlist" << QStringList{};
        QTest::newRow("addresses") << "pelm_addresses_ass" << QStringList{};
    }
    void dependentsNamed() {
        QFETCH(QString, schema);
        QFETCH(QStringList, dependents);
        RecordingEvent allowed(schema, true);
        AddDependentDeletes(allowed);
        QCOMPARE(allowed.Added, dependents);
        QCOMPARE(allowed.Skipped, 0);

        // Without dependents: nothing added, the skip reported exactly once for a handled schema.
        RecordingEvent refused(schema, false);
        AddDependentDeletes(refused);
        QCOMPARE(refused.Added, QStringList());
        QCOMPARE(refused.Skipped, dependents.isEmpty() ? 0 : 1);
    }

    void hostDeleteRemovesDependents_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void hostDeleteRemovesDependents() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        TdmPluginEmailMarketingMain dm(nullptr);

        // A list with a macro of two conditions and a saved filter; a second list that stays.
        const qint64 list = Insert("emlists", {"name"}, {"Kunden"});
        const qint64 other = Insert("emlists", {"name"}, {"Lieferanten"});
        const qint64 macro = Insert("emlmacros", {"emlists_id", "macroname"}, {list, "ANREDE"});
        const qint64 otherMacro = Insert("emlmacros", {"emlists_id", "macroname"}, {other, "GRUSS"});
        Insert("emlconditions", {"emlmacros_id", "condition"}, {macro, 1});
        Insert("emlconditions", {"emlmacros_id", "condition"}, {macro, 0});
        Insert("emlconditions", {"emlmacros_id", "condition"}, {otherMacro, 0});
        Insert("emllists_filters", {"emllists_id", "fieldname"}, {list, "city"});
        Insert("emllists_filters", {"emllists_id", "fieldname"}, {other, "city"});

        DeleteRow("emlists", list);
        QCOMPARE(Count("emlists"), 1);
        QCOMPARE(Count("emlmacros"), 1);
        QCOMPARE(Count("emlconditions"), 1);
        QCOMPARE(Count("emllists_filters"), 1);
        QCOMPARE(Count("emlconditions", "\"emlmacros_id\" = ?", {otherMacro}), 1);

        // A template: its four dependents and the sent-list rows of its jobs.
        const qint64 tmpl = Insert("emtemplates", {"name"}, {"Angebot"});
        const qint64 keep = Insert("emtemplates", {"name"}, {"Rechnung"});
        for (qint64 t : {tmpl, keep}) {
            Insert("emlembededcontent", {"emltemplateid"}, {t});
            Insert("emlattachements", {"emltemplateid"}, {t});
            Insert("emltextblocks", {"emtemplateid"}, {t});
            const qint64 job = Insert("emljobs", {"emltemplates_id"}, {t});
            Insert("emlsentlist", {"emljobs_id", "email"}, {job, "a@example.org"});
            Insert("emlsentlist", {"emljobs_id", "email"}, {job, "b@example.org"});
        }
        DeleteRow("emtemplates", tmpl);
        QCOMPARE(Count("emtemplates"), 1);
        for (const char* table : {"emlembededcontent", "emlattachements", "emltextblocks", "emljobs"})
            QCOMPARE(Count(QLatin1String(table)), 1);
        QCOMPARE(Count("emlsentlist"), 2);

        // Another schema: nothing else goes.
        const qint64 address = Insert("pelm_addresses_ass", {"name"}, {"Muster"});
        DeleteRow("pelm_addresses_ass", address);
        QCOMPARE(Count("emtemplates"), 1);
        QCOMPARE(Count("emlsentlist"), 2);
        QCOMPARE(Count("emlists"), 1);
    }
};

QTEST_MAIN(tst_CascadingDeletes)
#include "tst_CascadingDeletes.moc"
