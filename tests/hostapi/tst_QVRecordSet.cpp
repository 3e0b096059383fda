// TQVRecordSet: typed values by field name, ordering, record count, iteration and access by record
// number, field selection, related fields, append/edit/post/delete, and refusal of unknown names.

#include "Database.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "support/TestDatabase.h"

#include <QDateTime>
#include <QTest>

#include <algorithm>

#include <time.h>

using namespace hostapi;
using testsupport::Backend;
using testsupport::TestDatabase;

namespace {

using testsupport::Count;

qint64 AddTemplate(const QString& name, const QVariant& lastSent = {}, const QVariant& style = {}) {
    return Database::InsertRow("emtemplates", {"name", "lastsent", "emailstyle"},
                               {name, lastSent.isNull() ? QVariant(QMetaType::fromType<QString>()) : lastSent,
                                style.isNull() ? QVariant(QMetaType::fromType<qint64>()) : style});
}

QStringList Names(TQVRecordSet& rs) {
    QStringList names;
    for (rs.First(); !rs.Eof(); rs.Next())
        names << rs.FieldValue("name").toString();
    return names;
}

const QDateTime kSent(QDate(2024, 5, 6), QTime(7, 8, 9, 123));

// The process's local time zone for one scope.
class LocalZone {
public:
    explicit LocalZone(const char* zone) : FHad(qEnvironmentVariableIsSet("TZ")), FOld(qgetenv("TZ")) {
        qputenv("TZ", zone);
        ::tzset();
    }
    ~LocalZone() {
        if (FHad)
            qputenv("TZ", FOld);
        else
            qunsetenv("TZ");
        ::tzset();
    }

private:
    bool FHad;
    QByteArray FOld;
};

} // namespace

class tst_QVRecordSet : public QObject {
    Q_OBJECT

private slots:
    void valuesAreTypedByTheDeclaredType_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void valuesAreTypedByTheDeclaredType() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        TQVRecordSet writer("emtemplates");
        writer.Open();
        writer.Append();
        writer.SetFieldValue("name", "typed");
        writer.SetFieldValue("subject", ""); // empty text reads as null
        writer.SetFieldValue("emailstyle", "4");
        writer.SetFieldValue("lastsent", kSent);
        writer.Post();
        const qint64 id = writer.RecordID();
        QVERIFY(id > 0);
        const QByteArray bytes("\x00\x01\xff png", 8);
        Database::InsertRow("emlembededcontent", {"emltemplateid", "contentdata"}, {id, bytes});

        TQVRecordSet rs("emtemplates");
        rs.Filters().Add("id", id);
        rs.Open();
        QCOMPARE(rs.RecordCount(), 1);
        QCOMPARE(rs.RecordID(), id);
        QCOMPARE(rs.FieldValue("id").metaType(), QMetaType::fromType<qint64>());
        QCOMPARE(rs.FieldValue("emailstyle"), QVariant(qint64(4)));
        QCOMPARE(rs.FieldValue("Name"), QVariant(QStringLiteral("typed")));
        QCOMPARE(rs.FieldValue("lastsent"), QVariant(kSent));
        QVERIFY(rs.FieldValue("subject").isNull());
        QVERIFY(rs.IsNull("subject"));
        QVERIFY(rs.IsNull("creadate")); // "no date" is NULL
        QVERIFY(rs.IsNull("mailinglist"));

        TQVRecordSet content("emlembededcontent");
        content.Filters().Add("emltemplateid", id);
        content.Open();
        QCOMPARE(content.FieldValue("contentdata"), QVariant(bytes));
        QVERIFY(content.IsNull("contentfilename"));
    }

    void orderingCountAndRecordNumbers_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void orderingCountAndRecordNumbers() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        AddTemplate("b", kSent.addDays(1), 1);
        AddTemplate("c", QVariant(), 1);
        AddTemplate("a", kSent, 2);
        AddTemplate("d", kSent.addDays(2), 1);

        TQVRecordSet rs("emtemplates");
        rs.Open();
        QCOMPARE(rs.RecordCount(), 4);
        QCOMPARE(Names(rs), QStringList({"b", "c", "a", "d"})); // by id without an order
        rs.Close();

        rs.AddOrder("name", true);
        rs.Open();
        QCOMPARE(Names(rs), QStringList({"d", "c", "b", "a"}));
        rs.Close();

        rs.ClearOrder();
        rs.AddOrder("lastsent");
        rs.Open();
        QCOMPARE(Names(rs), QStringList({"a", "b", "d", "c"})); // NULL last ascending
        rs.Close();
        rs.ClearOrder();
        rs.AddOrder("emailstyle");
        rs.AddOrder("lastsent", true);
        rs.Open();
        QCOMPARE(Names(rs), QStringList({"c", "d", "b", "a"})); // NULL first descending

        rs.SetRecNo(2);
        QCOMPARE(rs.RecNo(), 2);
        QCOMPARE(rs.FieldValue("name").toString(), QStringLiteral("b"));
        rs.Next();
        rs.Next();
        QVERIFY(rs.Eof());
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, rs.FieldValue("name"));
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, rs.SetRecNo(4));
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, rs.SetRecNo(-1));

        rs.Filters().Add("emailstyle", 1);
        rs.Refresh();
        QCOMPARE(rs.RecordCount(), 3);
    }

    // A large selection read page by page: the ids in the record set's order under its filters, then
    // each page in that order, without the records deleted or no longer selected meanwhile.
    void pagedReadingKeepsOrderAndFilters_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void pagedReadingKeepsOrderAndFilters() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 b = AddTemplate("b", QVariant(), 1);
        const qint64 e = AddTemplate("e", QVariant(), 1);
        AddTemplate("x", QVariant(), 2); // not selected
        const qint64 a = AddTemplate("a", QVariant(), 1);
        const qint64 d = AddTemplate("d", QVariant(), 1);
        const qint64 c = AddTemplate("c", QVariant(), 1);

        TQVRecordSet rs("emtemplates");
        rs.Filters().Add("emailstyle", 1);
        rs.AddOrder("name");
        const QList<qint64> ids = rs.SelectRecordIDs();
        QCOMPARE(ids, QList<qint64>({a, b, c, d, e}));
        QVERIFY(!rs.Active()); // nothing loaded

        rs.OpenRecords(ids.mid(0, 2));
        QCOMPARE(Names(rs), QStringList({"a", "b"}));

        // Between the pages: c is deleted, d leaves the selection, e is renamed.
        Database::Exec("DELETE FROM emtemplates WHERE id = ?", {c});
        Database::Exec("UPDATE emtemplates SET emailstyle = 2 WHERE id = ?", {d});
        Database::Exec("UPDATE emtemplates SET name = 'E' WHERE id = ?", {e});
        rs.OpenRecords(ids.mid(2));
        QCOMPARE(rs.RecordCount(), 1);
        QCOMPARE(rs.RecordID(), e);
        QCOMPARE(rs.FieldValue("name").toString(), QStringLiteral("E"));
        rs.Refresh(); // the same page again
        QCOMPARE(Names(rs), QStringList({"E"}));

        // The page's order is the order of the ids given, an id given twice is read once.
        rs.OpenRecords({e, b, a, b});
        QCOMPARE(Names(rs), QStringList({"E", "b", "a"}));
        QCOMPARE(QList<qint64>({rs.RecordIDAt(0), rs.RecordIDAt(1), rs.RecordIDAt(2)}), QList<qint64>({e, b, a}));
        rs.OpenRecords({});
        QVERIFY(rs.Active());
        QCOMPARE(rs.RecordCount(), 0);
        QVERIFY(rs.Eof());
        rs.Open(); // the whole selection again
        QCOMPARE(Names(rs), QStringList({"a", "b", "E"}));
    }

    void fieldSelectionLoadsOnlyTheChosenFields_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void fieldSelectionLoadsOnlyTheChosenFields() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 id = AddTemplate("only");
        TQVRecordSet rs("emtemplates");
        QStringList asked;
        rs.SetOnGetFieldIsRequired([&](const QString& field) {
            asked << field;
            return field == QLatin1String("name") || field == QLatin1String("subject");
        });
        rs.Open();
        QCOMPARE(rs.FieldNames(), QStringList({"id", "name", "subject"}));
        QVERIFY(!asked.contains("id")); // the id is always loaded
        QVERIFY(asked.contains("mailbody"));
        QCOMPARE(rs.RecordID(), id);
        QCOMPARE(rs.FieldValue("name").toString(), QStringLiteral("only"));
        try {
            rs.FieldValue("mailbody");
            QFAIL("a field that was not loaded answered");
        } catch (const EQVDatabaseException& e) {
            QVERIFY2(e.Message().contains("is not loaded"), qPrintable(e.Message()));
        }
    }

    // A name in any letter case finds its field, and only while the field is loaded: a spelling
    // asked for before is not remembered across opens with other fields.
    void fieldNamesInAnyLetterCaseFollowTheLoadedFields_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void fieldNamesInAnyLetterCaseFollowTheLoadedFields() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        AddTemplate("first");
        TQVRecordSet rs("emtemplates");
        rs.Open();
        for (const char* name : {"NAME", "Name", "name", "nAmE"})
            QCOMPARE(rs.FieldValueAt(0, name).toString(), QStringLiteral("first"));
        QCOMPARE(rs.FieldValue("NAME").toString(), QStringLiteral("first"));
        rs.Close();
        rs.SetOnGetFieldIsRequired([](const QString& field) { return field == QLatin1String("subject"); });
        rs.Open();
        for (const char* name : {"NAME", "Name", "name"}) {
            try {
                rs.FieldValueAt(0, name);
                QFAIL(qPrintable(QStringLiteral("%1 answered though not loaded").arg(name)));
            } catch (const EQVDatabaseException& e) {
                QVERIFY2(e.Message().contains("is not loaded"), qPrintable(e.Message()));
            }
        }
        rs.SetOnGetFieldIsRequired({});
        rs.Refresh(); // the columns are built again
        QCOMPARE(rs.FieldValueAt(0, "NAME").toString(), QStringLiteral("first"));
    }

    void relatedFieldsAreJoinedByKey_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void relatedFieldsAreJoinedByKey() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 active =
            Database::InsertRow("pelm_addresses_ass", {"name", "email1"}, {"Active", "a@example.org"});
        const qint64 inactive =
            Database::InsertRow("pelm_addresses_ass", {"name", "email1"}, {"Inactive", "i@example.org"});
        Database::InsertRow("pelm_addresses_ass", {"name"}, {"No detail"});
        Database::Exec("INSERT INTO pelm_addresses_det (id, isactive) VALUES (?, 1), (?, 0)",
                       {active, inactive});
        const qint64 job = Database::InsertRow("emljobs", {"jobstate"}, {2});
        for (qint64 address : {active, inactive})
            Database::InsertRow("emlsentlist", {"emljobs_id", "addressid", "sentstate", "email"},
                                {job, address, 1, "x@example.org"});

        TQVRecordSet addresses("pelm_addresses_ass");
        addresses.Filters().Add("pelm_addresses_det.isactive", 1);
        addresses.Open();
        QCOMPARE(addresses.RecordCount(), 1);
        QCOMPARE(addresses.RecordID(), active);

        TQVRecordSet sent("emlsentlist_success");
        sent.AddRelatedField("emladdresses.id");
        sent.AddRelatedField("emladdresses.isactive");
        sent.Filters().Add("emljobs_id", job);
        sent.AddOrder("emladdresses.isactive", true);
        sent.Open();
        QCOMPARE(sent.RecordCount(), 2);
        QCOMPARE(sent.FieldValue("emladdresses.id"), QVariant(active));
        QCOMPARE(sent.FieldValue("EMLADDRESSES.ISACTIVE"), QVariant(qint64(1)));
        QCOMPARE(sent.FieldValue("name").toString(), QStringLiteral("Active"));
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, sent.Edit()); // a view
    }

    void appendEditPostAndDelete_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void appendEditPostAndDelete() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 templateId = AddTemplate("owner");
        TQVRecordSet rs("emlattachements");
        rs.Filters().Add("emltemplateid", templateId);
        rs.SetFixedField("emltemplateid", templateId);
        rs.SetFieldDefault("usemacros", 1);
        rs.Open();
        QCOMPARE(rs.RecordCount(), 0);

        rs.Append();
        QCOMPARE(rs.State(), rssInsert);
        QCOMPARE(rs.RecordID(), qint64(-1));
        QCOMPARE(rs.FieldValue("emltemplateid"), QVariant(templateId));
        QCOMPARE(rs.FieldValue("usemacros"), QVariant(qint64(1)));
        rs.SetFieldValue("filename", "offer.pdf");
        rs.SetFieldValue("usemacros", 2);
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException,
                                 rs.SetFieldValue("emltemplateid", templateId + 1)); // fixed
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, rs.Next());                   // not posted
        rs.Post();
        const qint64 first = rs.RecordID();
        QVERIFY(first > 0);
        rs.Append();
        rs.SetFieldValue("filename", "cancelled.pdf");
        rs.Cancel();
        rs.Append();
        rs.SetFieldValue("filename", "second.pdf");
        rs.Post();
        QCOMPARE(rs.RecordCount(), 2);
        QCOMPARE(Count("emlattachements", "\"emltemplateid\" = ?", {templateId}), 2);
        QCOMPARE(Count("emlattachements", "\"filename\" = ?", {"cancelled.pdf"}), 0);

        rs.SetRecNo(0);
        rs.Edit();
        rs.SetFieldValue("filename", "renamed.pdf");
        rs.Post();
        rs.Edit();
        rs.SetFieldValue("filename", "not kept.pdf");
        rs.Cancel();
        QCOMPARE(rs.FieldValue("filename").toString(), QStringLiteral("renamed.pdf"));
        rs.Refresh();
        QCOMPARE(rs.RecordID(), first);
        QCOMPARE(rs.FieldValue("filename").toString(), QStringLiteral("renamed.pdf"));
        QCOMPARE(rs.FieldValue("usemacros"), QVariant(qint64(2)));

        rs.Delete();
        QCOMPARE(rs.RecordCount(), 1);
        QCOMPARE(rs.FieldValue("filename").toString(), QStringLiteral("second.pdf"));
        QCOMPARE(Count("emlattachements", "\"id\" = ?", {first}), 0);
        QCOMPARE(Count("emlattachements"), 1);

        rs.SetOptions(rsoReadOnly);
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, rs.Append());
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, rs.Delete());
        QCOMPARE(Count("emlattachements"), 1);
    }

    void filterValueCarryingSqlFindsNothing_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void filterValueCarryingSqlFindsNothing() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        Database::InsertRow("emlists", {"name"}, {"a"});
        for (TQVFilterType type : {ftEqual, ftLike}) {
            TQVRecordSet rs("emlists");
            rs.Filters().Add("name", "x'; DROP TABLE emlists; --", type);
            rs.Open();
            QCOMPARE(rs.RecordCount(), 0);
        }
        QVERIFY(Database::TableExists("emlists"));
        QCOMPARE(Count("emlists"), 1);
    }

    void unknownNamesAreRefused_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QString>("filterField");
        QTest::addColumn<QString>("orderField");
        QTest::addColumn<QString>("message");
        for (Backend b : TestDatabase::SelectedBackends()) {
            const char* n = b == Backend::SQLite ? "sqlite" : "postgresql";
            QTest::addRow("%s filter field carrying SQL", n)
                << b << "emlists"
                << "name FROM emlists; DROP TABLE emlists; --"
                << "name"
                << "Unknown field name FROM emlists; DROP TABLE emlists; -- in schema emlists";
            QTest::addRow("%s unknown filter field", n) << b << "emlists"
                                                        << "nosuchfield"
                                                        << "name"
                                                        << "Unknown field nosuchfield in schema emlists";
            QTest::addRow("%s order field carrying SQL", n)
                << b << "emlists"
                << "name"
                << "name; DROP TABLE emlists"
                << "Unknown field name; DROP TABLE emlists in schema emlists";
            QTest::addRow("%s unknown schema", n) << b << "emlists t; DROP TABLE emlists; --"
                                                  << "name"
                                                  << "name"
                                                  << "Unknown schema: emlists t; DROP TABLE emlists; --";
        }
    }
    void unknownNamesAreRefused() {
        QFETCH(Backend, backend);
        QFETCH(QString, schema);
        QFETCH(QString, filterField);
        QFETCH(QString, orderField);
        QFETCH(QString, message);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        Database::InsertRow("emlists", {"name"}, {"a"});
        TQVRecordSet rs(schema);
        rs.Filters().Add(filterField, "a");
        rs.AddOrder(orderField);
        try {
            rs.Open();
            QFAIL("the record set opened");
        } catch (const EQVDatabaseException& e) {
            QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
        }
        QVERIFY(!rs.Active());
        QVERIFY(Database::TableExists("emlists"));
        QCOMPARE(Count("emlists"), 1);

        TQVRecordSet ok("emlists");
        ok.Open();
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, ok.FieldValue("nosuchfield"));
        ok.Edit();
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, ok.SetFieldValue("name; DROP TABLE emlists", "x"));
        ok.Cancel();
        QCOMPARE(Count("emlists", "\"name\" = ?", {"a"}), 1);
    }

    // One Unicode collation on both backends; NULL and empty text together as the largest value.
    void textIsOrderedByOneCollationOnBothBackends_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void textIsOrderedByOneCollationOnBothBackends() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const QStringList stored{"Zebra", "Becker", "",       "zebra",  "Bäckerei", "apfel",  "Äpfel",
                                 "10",    "9",      "Éclair", "eclair", "de Vries", "Deutsch"};
        QList<qint64> ids;
        for (const QString& name : stored)
            ids << AddTemplate(name);
        const qint64 nullId =
            Database::InsertRow("emtemplates", {"name"}, {QVariant(QMetaType::fromType<QString>())});
        const QStringList texts{"10",       "9",       "apfel",  "Äpfel",  "Bäckerei", "Becker",
                                "de Vries", "Deutsch", "eclair", "Éclair", "zebra",    "Zebra"};

        TQVRecordSet rs("emtemplates");
        rs.AddOrder("name");
        rs.Open();
        const QStringList emptyTwice{"", ""};
        QCOMPARE(Names(rs), texts + emptyTwice);
        rs.SetRecNo(rs.RecordCount() - 1);
        QCOMPARE(rs.RecordID(), nullId); // NULL and empty text tie; the id decides
        rs.Close();

        rs.ClearOrder();
        rs.AddOrder("name", true);
        rs.Open();
        QStringList reversed = texts;
        std::reverse(reversed.begin(), reversed.end());
        QCOMPARE(Names(rs), emptyTwice + reversed);
        rs.First();
        QCOMPARE(rs.RecordID(), ids[stored.indexOf("")]);
    }

    // Local date-times in a zone with daylight saving: values on both sides of each switch read back
    // unchanged, and comparisons select by the instant.
    void dateTimesAcrossDaylightSavingSwitches_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void dateTimesAcrossDaylightSavingSwitches() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        const LocalZone berlin("Europe/Berlin");
        const QDateTime beforeSpring(QDate(2024, 3, 31), QTime(1, 59, 59, 999));
        const QDateTime afterSpring(QDate(2024, 3, 31), QTime(3, 0));
        const QDateTime beforeAutumn(QDate(2024, 10, 27), QTime(1, 59, 59));
        const QDateTime afterAutumn(QDate(2024, 10, 27), QTime(3, 0));
        QVERIFY2(beforeSpring.offsetFromUtc() == 3600 && afterSpring.offsetFromUtc() == 7200 &&
                     beforeAutumn.offsetFromUtc() == 7200 && afterAutumn.offsetFromUtc() == 3600,
                 "the local zone did not switch to Europe/Berlin");
        QCOMPARE(beforeSpring.msecsTo(afterSpring), 1);
        TestDatabase tdb(backend);
        const QList<QDateTime> times{beforeSpring, afterSpring, beforeAutumn, afterAutumn};
        QList<qint64> ids;
        for (int i = 0; i < times.size(); ++i)
            ids << AddTemplate(QStringLiteral("t%1").arg(i), times[i]);

        TQVRecordSet rs("emtemplates");
        rs.AddOrder("lastsent");
        rs.Open();
        QList<QDateTime> read;
        for (rs.First(); !rs.Eof(); rs.Next())
            read << rs.FieldValue("lastsent").toDateTime();
        QCOMPARE(read, times);
        QCOMPARE(read[0].offsetFromUtc(), 3600);
        QCOMPARE(read[1].offsetFromUtc(), 7200);
        rs.Close();

        const struct {
            QVariant Value;
            TQVFilterType Type;
            QStringList Names;
        } cases[] = {
            {QVariant(afterSpring), ftGreaterEqual, {"t1", "t2", "t3"}},
            {QVariant("2024-03-31T03:00:00"), ftLess, {"t0"}},
            {QVariant(afterAutumn.toUTC()), ftGreaterEqual, {"t3"}}, // an instant given in UTC
            {QVariant(QDateTime(QDate(2024, 10, 27), QTime(0, 59, 59), Qt::UTC)),
             ftLessEqual,
             {"t0", "t1", "t2"}},
        };
        for (const auto& c : cases) {
            rs.Filters().Clear();
            rs.Filters().Add("lastsent", c.Value, c.Type);
            rs.Open();
            QCOMPARE(Names(rs), c.Names);
            rs.Close();
        }
    }

    void schemaVariablesAreKeptByName() {
        TQVRecordSet rs("emlembededcontent");
        rs.SetSchemaVariable("emltemplateid", 7);
        rs.SetSchemaVariable("EMLTEMPLATEID", 8);
        QCOMPARE(rs.SchemaVariable("EmlTemplateId"), QVariant(8));
        QCOMPARE(rs.SchemaVariableNames(), QStringList({"emltemplateid"}));
        QVERIFY(rs.SchemaVariable("other").isNull());
    }
};

QTEST_GUILESS_MAIN(tst_QVRecordSet)
#include "tst_QVRecordSet.moc"
