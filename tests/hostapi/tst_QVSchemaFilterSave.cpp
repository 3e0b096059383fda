// TQVSchemaFilterSave: the filter set of a list saved in "emllists_filters" reads back equal, one
// list's set never touches another's, invalid filters are refused before anything is written, and the
// recipient selection's "not empty" group over two address fields selects the right addresses.

#include "Database.h"
#include "DBFieldSchema.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "QVSchemaFilterSave.h"
#include "support/TestDatabase.h"

#include <QTest>

using namespace hostapi;
using testsupport::Backend;

Q_DECLARE_METATYPE(hostapi::TQVFilterList)
using testsupport::TestDatabase;

namespace {

const QString kAddresses = QStringLiteral("pelm_addresses_ass");

using testsupport::Count;

// The saved-filter component of the list store, pointed at one list.
TQVSchemaFilterSave ListFilters(qint64 listId) {
    TQVSchemaFilterSave save("emllists_filters");
    save.SetSchemaName(kAddresses);
    save.Filters().Add("emllists_id", listId);
    save.SetAdditionalField("emllists_id", listId);
    return save;
}

TQVFilter Filter(const QString& field, const QVariant& value, TQVFilterType type, TQVFilterLink link = flAnd,
                 TQVFilterValueType valueType = fvtAuto) {
    TQVFilter f;
    f.FieldName = field;
    f.Value = value;
    f.FilterType = type;
    f.Link = link;
    f.ValueType = valueType;
    return f;
}

// The "not empty" condition of the recipient selection over two e-mail fields.
TQVFilterList NotEmptyGroup() {
    TQVFilterList l;
    l.AddParenthesis(fpOpen);
    l.Add(Filter("email1", "", ftNotEqual, flOr));
    l.Add(Filter("email2", "", ftNotEqual, flOr));
    l.AddParenthesis(fpClose);
    return l;
}

// Every kind of thing a saved set holds: parentheses, both links, value types, a lookup, a list,
// and a sub-select with a child that comes before its parent.
TQVFilterList RichSet() {
    TQVFilterList l;
    l.Add(Filter("email1", "", ftNotEqual));
    l.AddParenthesis(fpOpen, flAnd);
    l.Add(Filter("name", "mei*", ftLike, flAnd, fvtText));
    l.Add(Filter("city", "Wien", ftEqual, flOr));
    l.AddParenthesis(fpClose);
    l.Add(Filter("birthday", "1980-01-01T00:00:00", ftGreater, flAnd, fvtDateTime));
    l.Add(Filter("ptypeid", "1,2", ftIn, flOr, fvtInteger));
    TQVFilter lookup = Filter("ptypeid", "Kunde", ftEqual);
    lookup.AsLookup = true;
    l.Add(lookup);
    TQVFilter child = Filter("isactive", 1, ftEqual);
    child.ParentFilterID = 77;
    l.Add(child);
    TQVFilter sub = Filter("id", QVariant(), ftEqual);
    sub.ID = 77;
    sub.SubSelSchema = "pelm_addresses_det";
    l.Add(sub);
    return l;
}

QString Describe(const TQVFilterList& l) {
    QStringList out;
    for (const TQVFilter& f : l.Items())
        out << QStringLiteral("[%1 t%2 l%3 p%4 v%5 '%6' lk%7 sub%8 id%9 parent%10]")
                   .arg(f.FieldName)
                   .arg(int(f.FilterType))
                   .arg(int(f.Link))
                   .arg(int(f.Parenthesis))
                   .arg(int(f.ValueType))
                   .arg(f.Value.toString())
                   .arg(f.AsLookup)
                   .arg(f.SubSelSchema)
                   .arg(f.ID)
                   .arg(f.ParentFilterID);
    return out.join(' ');
}

} // namespace

class tst_QVSchemaFilterSave : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        TDBFieldSchema::Instance()
            .RequireSchema(kAddresses)
            .SetFieldListData("ptypeid", "1=Kunde\r\n2=Lieferant");
    }
    void cleanupTestCase() {
        TDBFieldSchema::Instance().RequireSchema(kAddresses).SetFieldListData("ptypeid", QString());
    }

    void savedSetReadsBackEqual_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void savedSetReadsBackEqual() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const TQVFilterList rich = RichSet();
        const TQVFilterList other = NotEmptyGroup();
        ListFilters(1).SaveFilters(rich);
        ListFilters(2).SaveFilters(other);

        const TQVFilterList loaded = ListFilters(1).LoadFilters();
        QVERIFY2(loaded == rich, qPrintable(Describe(loaded)));
        QVERIFY2(ListFilters(2).LoadFilters() == other, qPrintable(Describe(ListFilters(2).LoadFilters())));

        // Row form: every row carries the save name and the list id; the child names its parent's row.
        QCOMPARE(Count("emllists_filters", "\"emllists_id\" = ? AND \"schemaname\" = ?", {1, kAddresses}),
                 rich.Count());
        const TQVFilter& child = loaded[8];
        const TQVFilter& parent = loaded[9];
        QCOMPARE(child.ParentFilterID, parent.ID);
        QCOMPARE(Count("emllists_filters", "\"id\" = ? AND \"parentfilterid\" = ? AND \"fieldname\" = ?",
                       {child.ID, parent.ID, "isactive"}),
                 1);
        QCOMPARE(Count("emllists_filters", "\"id\" = ? AND \"subselschema\" = ? AND \"parentfilterid\" = ?",
                       {parent.ID, "pelm_addresses_det", -1}),
                 1);
        QCOMPARE(Count("emllists_filters",
                       "\"fieldname\" = ? AND \"filtertype\" = ? AND \"value\" = ? AND \"emllists_id\" = ?",
                       {"email1", 6, "", 1}),
                 1);

        // Saving again replaces list 1's rows only.
        ListFilters(1).SaveFilters(other);
        QVERIFY(ListFilters(1).LoadFilters() == other);
        QVERIFY(ListFilters(2).LoadFilters() == other);
        QCOMPARE(Count("emllists_filters"), 2 * other.Count());
        ListFilters(1).SaveFilters(TQVFilterList());
        QCOMPARE(ListFilters(1).LoadFilters().Count(), 0);
        QCOMPARE(Count("emllists_filters"), other.Count());
    }

    void invalidFiltersAreRefusedBeforeWriting_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("message");
        for (Backend b : TestDatabase::SelectedBackends()) {
            const char* n = b == Backend::SQLite ? "sqlite" : "postgresql";
            QTest::addRow("%s field carrying SQL", n)
                << b << "email1 = email1; DROP TABLE emllists_filters; --" << QVariant("x")
                << "Unknown field";
            QTest::addRow("%s value that does not convert", n)
                << b << "ptypeid" << QVariant("abc") << "is not an integer";
        }
    }
    void invalidFiltersAreRefusedBeforeWriting() {
        QFETCH(Backend, backend);
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        QFETCH(QString, message);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const TQVFilterList kept = NotEmptyGroup();
        ListFilters(1).SaveFilters(kept);
        TQVFilterList bad = kept;
        bad.Add(Filter(field, value, ftEqual));
        try {
            ListFilters(1).SaveFilters(bad);
            QFAIL("invalid filters were saved");
        } catch (const EQVDatabaseException& e) {
            QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
        }
        QVERIFY(ListFilters(1).LoadFilters() == kept);
        QCOMPARE(Count("emllists_filters"), kept.Count());
    }

    // Without an active filter of its own the saver would replace every list's rows: it refuses and
    // writes nothing.
    void saveWithoutOwnFilterIsRefused_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<TQVFilterList>("own");
        for (Backend b : TestDatabase::SelectedBackends()) {
            const char* n = b == Backend::SQLite ? "sqlite" : "postgresql";
            QTest::addRow("%s no filter", n) << b << TQVFilterList();
            TQVFilterList newList;
            TQVFilter& id = newList.Add("emllists_id", -1);
            id.AutoActive = true;
            id.InactiveValue = -1;
            QTest::addRow("%s auto-active id of a list not stored yet", n) << b << newList;
            TQVFilterList onlyParentheses;
            onlyParentheses.AddParenthesis(fpOpen);
            onlyParentheses.AddParenthesis(fpClose);
            QTest::addRow("%s parentheses only", n) << b << onlyParentheses;
        }
    }
    void saveWithoutOwnFilterIsRefused() {
        QFETCH(Backend, backend);
        QFETCH(TQVFilterList, own);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        ListFilters(1).SaveFilters(RichSet());
        ListFilters(2).SaveFilters(NotEmptyGroup());
        const qint64 rows = Count("emllists_filters");

        TQVSchemaFilterSave save("emllists_filters");
        save.SetSchemaName(kAddresses);
        save.Filters() = own;
        save.SetAdditionalField("emllists_id", -1);
        try {
            save.SaveFilters(NotEmptyGroup());
            QFAIL("filters were saved without a filter selecting their set");
        } catch (const EQVDatabaseException& e) {
            QVERIFY2(e.Message().contains("no filter selects the saved set"), qPrintable(e.Message()));
        }
        QCOMPARE(Count("emllists_filters"), rows);
        QVERIFY(ListFilters(1).LoadFilters() == RichSet());
        QVERIFY(ListFilters(2).LoadFilters() == NotEmptyGroup());
    }

    // Loading a list's saved filters into a list's own filters selects (own) AND (saved), whatever
    // OR either side holds.
    void loadedFiltersAreAndedWithTheOwnFilters_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void loadedFiltersAreAndedWithTheOwnFilters() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const struct {
            const char* Name;
            const char* City;
        } addresses[] = {{"a", "Graz"}, {"a", "Wien"}, {"b", "Graz"}, {"b", "Wien"}, {"c", "Linz"}};
        QList<qint64> ids;
        for (const auto& a : addresses)
            ids << Database::InsertRow(kAddresses, {"name", "city"}, {a.Name, a.City});
        TQVFilterList saved;
        saved.Add(Filter("city", "Wien", ftEqual));
        saved.Add(Filter("city", "Linz", ftEqual, flOr));
        ListFilters(3).SaveFilters(saved);

        TQVRecordSet recipients(kAddresses);
        recipients.Filters().Add("name", "a");
        recipients.Filters().Add("name", "b", ftEqual, flOr);
        ListFilters(3).LoadFilters(&recipients.Filters());
        recipients.Open();
        QList<qint64> selected;
        for (recipients.First(); !recipients.Eof(); recipients.Next())
            selected << recipients.RecordID();
        QCOMPARE(selected, (QList<qint64>{ids[1], ids[3]}));
    }

    void notEmptyGroupSelectsAddressesWithAnAddress_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void notEmptyGroupSelectsAddressesWithAnAddress() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const QVariant null(QMetaType::fromType<QString>());
        const QList<QPair<QVariant, QVariant>> addresses{{null, null},
                                                         {"", ""},
                                                         {"", null},
                                                         {"a@example.org", null},
                                                         {null, "b@example.org"},
                                                         {"", "c@example.org"},
                                                         {"d@example.org", "e@example.org"}};
        QList<qint64> ids;
        for (const auto& [email1, email2] : addresses)
            ids << Database::InsertRow(kAddresses, {"email1", "email2"}, {email1, email2});
        ListFilters(5).SaveFilters(NotEmptyGroup());

        TQVRecordSet recipients(kAddresses);
        recipients.Filters().Add("id", ids.first(), ftGreaterEqual); // the list's own filter
        ListFilters(5).LoadFilters(&recipients.Filters());
        recipients.Open();
        QList<qint64> selected;
        for (recipients.First(); !recipients.Eof(); recipients.Next())
            selected << recipients.RecordID();
        QCOMPARE(selected, ids.mid(3));
    }
};

QTEST_GUILESS_MAIN(tst_QVSchemaFilterSave)
#include "tst_QVSchemaFilterSave.moc"
