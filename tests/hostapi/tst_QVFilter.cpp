// The filter model and the WHERE clause built from it: every name checked against the field schema,
// every value bound and typed by the field, parentheses, links, auto-active filters, as-lookup,
// sub-selects and qualified names of related schemas; and the rows that filter sets select on
// SQLite and PostgreSQL (combined sets, Unicode case folding, "in" values as stored).

#include "Database.h"
#include "QVException.h"
#include "QVFilter.h"
#include "QVRecordSet.h"
#include "support/TestDatabase.h"

#include <QDateTime>
#include <QTest>

using namespace hostapi;
using testsupport::Backend;
using testsupport::TestDatabase;

Q_DECLARE_METATYPE(hostapi::TQVFilterList)
Q_DECLARE_METATYPE(hostapi::TFieldDataType)
Q_DECLARE_METATYPE(QList<int>)

namespace {

TQVFilter Filter(const QString& field, const QVariant& value, TQVFilterType type = ftEqual,
                 TQVFilterLink link = flAnd) {
    TQVFilter f;
    f.FieldName = field;
    f.Value = value;
    f.FilterType = type;
    f.Link = link;
    return f;
}

TQVFilter Paren(TQVParenthesis p) {
    TQVFilter f;
    f.Parenthesis = p;
    return f;
}

TQVFilterList List(std::initializer_list<TQVFilter> filters) {
    TQVFilterList l;
    for (const TQVFilter& f : filters)
        l.Add(f);
    return l;
}

TQVFilter AutoActive(const QString& field, const QVariant& value) {
    TQVFilter f = Filter(field, value);
    f.AutoActive = true;
    f.InactiveValue = QStringLiteral("-1");
    return f;
}

TQVFilter Lookup(const QString& field, const QVariant& value, TQVFilterType type) {
    TQVFilter f = Filter(field, value, type);
    f.AsLookup = true;
    return f;
}

TQVFilter WithValueType(TQVFilter f, TQVFilterValueType vt) {
    f.ValueType = vt;
    return f;
}

TQVFilter SubSelect(qint64 id, const QString& field, const QString& schema) {
    TQVFilter f = Filter(field, QVariant());
    f.ID = id;
    f.SubSelSchema = schema;
    return f;
}

TQVFilter Child(qint64 parent, TQVFilter f) {
    f.ParentFilterID = parent;
    return f;
}

// Addresses that the selection cases filter, numbered from 1 in the expected rows: name, city, type.
struct AddressRow {
    const char* Name;
    const char* City;
    int Type;
};
const AddressRow kAddressRows[] = {
    {"Özdemir", "Köln", 1},   // 1
    {"özil", "Berlin", 2},    // 2
    {"Müller", "Berlin", 1},  // 3
    {"MÜLLER", " Berlin", 2}, // 4
    {"Becker", "Berlin ", 1}, // 5
    {nullptr, "Wien", 2},     // 6
};

} // namespace

class tst_QVFilter : public QObject {
    Q_OBJECT

private slots:
    void buildsWhere_data() {
        QTest::addColumn<QString>("schema");
        QTest::addColumn<TQVFilterList>("filters");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QVariantList>("binds");
        QTest::addColumn<QStringList>("joins");

        const QString detJoin = QStringLiteral("LEFT JOIN \"pelm_addresses_det\" t_pelm_addresses_det ON "
                                               "t_pelm_addresses_det.\"id\" = t.\"id\"");

        QTest::newRow("no filter") << "emlists" << TQVFilterList() << "" << QVariantList() << QStringList();
        QTest::newRow("integer value typed by the field")
            << "emlists" << List({Filter("ID", "42")}) << R"(t."id" = ?)" << QVariantList{qint64(42)}
            << QStringList();
        QTest::newRow("equal with empty text is empty")
            << "pelm_addresses_ass" << List({Filter("email1", "")})
            << R"((t."email1" IS NULL OR t."email1" = ''))" << QVariantList() << QStringList();
        QTest::newRow("not equal with empty text is not empty")
            << "pelm_addresses_ass" << List({Filter("email1", "", ftNotEqual)})
            << R"((t."email1" IS NOT NULL AND t."email1" <> ''))" << QVariantList() << QStringList();
        QTest::newRow("not equal with null integer is not null")
            << "emtemplates" << List({Filter("mailinglist", QVariant(), ftNotEqual)})
            << R"(t."mailinglist" IS NOT NULL)" << QVariantList() << QStringList();
        QTest::newRow("value carrying SQL is bound")
            << "emlists" << List({Filter("name", "x'; DROP TABLE emlists; --")}) << R"(t."name" = ?)"
            << QVariantList{QStringLiteral("x'; DROP TABLE emlists; --")} << QStringList();
        QTest::newRow("like: wildcards translated, pattern characters escaped")
            << "emlists" << List({Filter("name", "a*b?%_", ftLike)})
            << R"(qv_lower(t."name") LIKE qv_lower(?) ESCAPE '\')"
            << QVariantList{QStringLiteral("%a%b_\\%\\_%")} << QStringList();
        QTest::newRow("begins with keeps * literal")
            << "emlists" << List({Filter("name", "a*", ftBeginsWith)})
            << R"(qv_lower(t."name") LIKE qv_lower(?) ESCAPE '\')" << QVariantList{QStringLiteral("a*%")}
            << QStringList();
        QTest::newRow("not like counts NULL as not containing")
            << "emlists" << List({Filter("name", "x", ftNotLike)})
            << R"((t."name" IS NULL OR NOT (qv_lower(t."name") LIKE qv_lower(?) ESCAPE '\')))"
            << QVariantList{QStringLiteral("%x%")} << QStringList();
        QTest::newRow("like on an integer field reads it as text")
            << "emlists" << List({Filter("userelay", "1", ftEndsWith)})
            << R"(qv_lower(CAST(t."userelay" AS TEXT)) LIKE qv_lower(?) ESCAPE '\')"
            << QVariantList{QStringLiteral("%1")} << QStringList();
        QTest::newRow("in: comma-separated values typed")
            << "emtemplates" << List({Filter("emailstyle", "1, 3", ftIn)}) << R"(t."emailstyle" IN (?, ?))"
            << QVariantList{qint64(1), qint64(3)} << QStringList();
        QTest::newRow("date-time value as local ISO text")
            << "emljobs" << List({Filter("startdate", "2024-01-02T03:04:05", ftGreaterEqual)})
            << R"(t."startdate" >= ?)" << QVariantList{QStringLiteral("2024-01-02T03:04:05.000")}
            << QStringList();
        QTest::newRow("value type integer on a text field")
            << "emlists" << List({WithValueType(Filter("name", "042"), fvtInteger)}) << R"(t."name" = ?)"
            << QVariantList{QStringLiteral("42")} << QStringList();
        QTest::newRow("links: AND binds before OR")
            << "emlists"
            << List({Filter("name", "a"), Filter("name", "b", ftEqual, flOr), Filter("userelay", 1)})
            << R"(t."name" = ? OR t."name" = ? AND t."userelay" = ?)"
            << QVariantList{QStringLiteral("a"), QStringLiteral("b"), qint64(1)} << QStringList();
        QTest::newRow("recipient selection: not-empty group over two address fields")
            << "pelm_addresses_ass"
            << List({Filter("id", 5, ftGreater), Paren(fpOpen), Filter("email1", "", ftNotEqual, flOr),
                     Filter("email2", "", ftNotEqual, flOr), Paren(fpClose)})
            << R"(t."id" > ? AND ((t."email1" IS NOT NULL AND t."email1" <> '') OR (t."email2" IS NOT NULL AND t."email2" <> '')))"
            << QVariantList{qint64(5)} << QStringList();
        QTest::newRow("an opening parenthesis joins with AND, whatever its link")
            << "emlists"
            << List({Filter("name", "a"),
                     [] {
                         TQVFilter p = Paren(fpOpen);
                         p.Link = flOr;
                         return p;
                     }(),
                     Filter("userelay", 1), Paren(fpClose)})
            << R"(t."name" = ? AND (t."userelay" = ?))" << QVariantList{QStringLiteral("a"), qint64(1)}
            << QStringList();
        QTest::newRow("auto-active filters with -1 take no part")
            << "emlconditions" << List({AutoActive("id", -1), AutoActive("emlmacros_id", 7)})
            << R"(t."emlmacros_id" = ?)" << QVariantList{qint64(7)} << QStringList();
        QTest::newRow("a group of inactive filters vanishes")
            << "emlconditions"
            << List({Filter("condition", 1), Paren(fpOpen), AutoActive("id", "-1"), Paren(fpClose)})
            << R"(t."condition" = ?)" << QVariantList{qint64(1)} << QStringList();
        QTest::newRow("qualified field of a related schema joins it")
            << "pelm_addresses_ass" << List({Filter("pelm_addresses_det.isactive", 1)})
            << R"(t_pelm_addresses_det."isactive" = ?)" << QVariantList{qint64(1)} << QStringList{detJoin};
        QTest::newRow("sent-list view: emladdresses by addressid, joined once")
            << "emlsentlist_success"
            << List({Filter("emladdresses.id", 3), Filter("emladdresses.isactive", 1)})
            << R"(t_emladdresses."id" = ? AND t_emladdresses."isactive" = ?)"
            << QVariantList{qint64(3), qint64(1)}
            << QStringList{
                   R"(LEFT JOIN "emladdresses" t_emladdresses ON t_emladdresses."id" = t."addressid")"};
        QTest::newRow("as lookup: equal pick-list text")
            << "emtemplates" << List({Lookup("emailstyle", "html-email", ftEqual)})
            << R"(t."emailstyle" IN (?))" << QVariantList{qint64(4)} << QStringList();
        QTest::newRow("as lookup: like matches several texts")
            << "emtemplates" << List({Lookup("emailstyle", "mail", ftLike)})
            << R"(t."emailstyle" IN (?, ?, ?))" << QVariantList{qint64(0), qint64(1), qint64(4)}
            << QStringList();
        QTest::newRow("as lookup: no matching text matches nothing")
            << "emtemplates" << List({Lookup("emailstyle", "fax", ftEqual)}) << "1 = 0" << QVariantList()
            << QStringList();
        QTest::newRow("sub-select with a child filter")
            << "emljobs"
            << List({SubSelect(10, "emltemplates_id", "emtemplates"), Child(10, Filter("name", "news"))})
            << R"(t."emltemplates_id" IN (SELECT s1."id" FROM "emtemplates" s1 WHERE s1."name" = ?))"
            << QVariantList{QStringLiteral("news")} << QStringList();
        QTest::newRow("sub-select not equal, child joins inside")
            << "emlsentlist"
            << List({[] {
                         TQVFilter f = SubSelect(3, "addressid", "pelm_addresses_ass");
                         f.FilterType = ftNotEqual;
                         return f;
                     }(),
                     Child(3, Filter("pelm_addresses_det.isactive", 0))})
            << R"(t."addressid" NOT IN (SELECT s1."id" FROM "pelm_addresses_ass" s1 LEFT JOIN "pelm_addresses_det" s1_pelm_addresses_det ON s1_pelm_addresses_det."id" = s1."id" WHERE s1_pelm_addresses_det."isactive" = ?))"
            << QVariantList{qint64(0)} << QStringList();
    }
    void buildsWhere() {
        QFETCH(QString, schema);
        QFETCH(TQVFilterList, filters);
        QFETCH(QString, where);
        QFETCH(QVariantList, binds);
        QFETCH(QStringList, joins);
        const TSqlWhere w = BuildWhere(schema, filters);
        QCOMPARE(w.Where, where);
        QCOMPARE(w.Binds, binds);
        QCOMPARE(w.Joins, joins);
    }

    void refuses_data() {
        QTest::addColumn<QString>("schema");
        QTest::addColumn<TQVFilterList>("filters");
        QTest::addColumn<QString>("message");

        QTest::newRow("unknown schema")
            << "nosuchschema" << TQVFilterList() << "Unknown schema: nosuchschema";
        QTest::newRow("unknown field")
            << "emlists" << List({Filter("nosuchfield", 1)}) << "Unknown field nosuchfield in schema emlists";
        QTest::newRow("field name carrying SQL")
            << "emlists" << List({Filter("name = name; DROP TABLE emlists; --", 1)})
            << "Unknown field name = name; DROP TABLE emlists; -- in schema emlists";
        QTest::newRow("qualified name without a relation")
            << "emlists" << List({Filter("pelm_addresses_det.isactive", 1)})
            << "Unknown field pelm_addresses_det.isactive in schema emlists";
        QTest::newRow("unclosed parenthesis")
            << "emlists" << List({Paren(fpOpen), Filter("name", "a")}) << "1 parenthesis not closed";
        QTest::newRow("closing parenthesis without opening")
            << "emlists" << List({Filter("name", "a"), Paren(fpClose)})
            << "a closing parenthesis without an opening one";
        QTest::newRow("value that is not an integer")
            << "emlists" << List({Filter("userelay", "abc")})
            << "The value \"abc\" of field userelay is not an integer";
        QTest::newRow("fraction for an integer") << "emlists" << List({Filter("userelay", 1.5)})
                                                 << "The value \"1.5\" of field userelay is not an integer";
        QTest::newRow("value that is not a date-time")
            << "emljobs" << List({Filter("startdate", "yesterday", ftLess)})
            << "The value \"yesterday\" of field startdate is not a date-time";
        QTest::newRow("comparison without value") << "emlists" << List({Filter("userelay", "", ftGreater)})
                                                  << "The filter on field userelay needs a value";
        QTest::newRow("in with an empty item")
            << "emlists" << List({Filter("userelay", "1,,2", ftIn)}) << "lists an empty value";
        QTest::newRow("lookup without pick list")
            << "emlists" << List({Lookup("name", "x", ftEqual)}) << "has no pick list";
        QTest::newRow("sub-select with like") << "emljobs" << List({[] {
            TQVFilter f = SubSelect(1, "emltemplates_id", "emtemplates");
            f.FilterType = ftLike;
            return f;
        }()}) << "cannot be used with the sub-select";
        QTest::newRow("child filter field unknown in the sub-select schema")
            << "emljobs"
            << List({SubSelect(1, "emltemplates_id", "emtemplates"), Child(1, Filter("jobstate", 1))})
            << "Unknown field jobstate in schema emtemplates";
        QTest::newRow("child of a filter that is not there")
            << "emljobs" << List({Child(99, Filter("name", "x"))}) << "which is no sub-select";
        QTest::newRow("sub-select filters in a cycle")
            << "emljobs"
            << List({Child(2, SubSelect(1, "emltemplates_id", "emtemplates")),
                     Child(1, SubSelect(2, "mailinglist", "emlists"))})
            << "cycle";
    }
    void refuses() {
        QFETCH(QString, schema);
        QFETCH(TQVFilterList, filters);
        QFETCH(QString, message);
        try {
            BuildWhere(schema, filters);
            QFAIL("BuildWhere accepted the filters");
        } catch (const EQVDatabaseException& e) {
            QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
        }
    }

    void autoActive_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("inactive");
        QTest::addColumn<bool>("active");
        QTest::newRow("integer -1 against text -1") << QVariant(-1) << QVariant("-1") << false;
        QTest::newRow("qint64 -1 against integer -1") << QVariant(qint64(-1)) << QVariant(-1) << false;
        QTest::newRow("double -1.0 against text -1") << QVariant(-1.0) << QVariant("-1") << false;
        QTest::newRow("0 is active") << QVariant(0) << QVariant("-1") << true;
        QTest::newRow("null is active") << QVariant() << QVariant("-1") << true;
        QTest::newRow("text equal to text inactive value") << QVariant("none") << QVariant("none") << false;
    }
    void autoActive() {
        QFETCH(QVariant, value);
        QFETCH(QVariant, inactive);
        QFETCH(bool, active);
        TQVFilter f = Filter("id", value);
        QVERIFY(f.IsActive());
        f.AutoActive = true;
        f.InactiveValue = inactive;
        QCOMPARE(f.IsActive(), active);
    }

    void addGroupEnclosesOnlyWhenNeeded() {
        const TQVFilterList saved = List({Filter("name", "a"), Filter("name", "b", ftEqual, flOr)});
        TQVFilterList empty;
        empty.AddGroup(saved);
        QCOMPARE(empty.Count(), 2);
        TQVFilterList own = List({Filter("userelay", 1)});
        own.AddGroup(saved);
        QCOMPARE(BuildWhere("emlists", own).Where,
                 QStringLiteral(R"((t."userelay" = ?) AND (t."name" = ? OR t."name" = ?))"));
        TQVFilterList withEmpty = saved;
        withEmpty.AddGroup(TQVFilterList());
        QVERIFY(withEmpty == saved);
    }

    // What a filter set selects, on each backend: the combination of two sets is (own) AND
    // (appended) whatever links either holds, text comparisons fold case by Unicode rules, and "in"
    // compares values as stored.
    void filterSetsSelectRows_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<TQVFilterList>("own");
        QTest::addColumn<TQVFilterList>("appended");
        QTest::addColumn<QVariant>("ownValueAfterwards"); // set on own's first filter after combining
        QTest::addColumn<QList<int>>("rows");
        const TQVFilterList none;
        const QVariant keep;
        for (Backend b : TestDatabase::SelectedBackends()) {
            const char* n = b == Backend::SQLite ? "sqlite" : "postgresql";
            QTest::addRow("%s combined: OR in the own set", n)
                << b << List({Filter("city", "Wien"), Filter("city", "Köln", ftEqual, flOr)})
                << List({Filter("ptypeid", 1)}) << keep << QList<int>{1};
            QTest::addRow("%s combined: OR in the appended set", n)
                << b << List({Filter("ptypeid", 2)})
                << List({Filter("name", "özil"), Filter("name", "Becker", ftEqual, flOr)}) << keep
                << QList<int>{2};
            QTest::addRow("%s combined: OR on both sides", n)
                << b << List({Filter("city", "Wien"), Filter("city", "Berlin", ftEqual, flOr)})
                << List({Filter("ptypeid", 1), Filter("name", "özil", ftEqual, flOr)}) << keep
                << QList<int>{2, 3};
            QTest::addRow("%s combined: own filter that turns active afterwards", n)
                << b << List({AutoActive("ptypeid", -1)})
                << List({Filter("city", "Berlin"), Filter("city", "Wien", ftEqual, flOr)}) << QVariant(1)
                << QList<int>{3};
            QTest::addRow("%s like folds umlauts", n)
                << b << List({Filter("name", "ö", ftLike)}) << none << keep << QList<int>{1, 2};
            QTest::addRow("%s like with wildcard folds upper-case umlauts", n)
                << b << List({Filter("name", "ÖZ*", ftLike)}) << none << keep << QList<int>{1, 2};
            QTest::addRow("%s begins with an upper-case umlaut", n)
                << b << List({Filter("name", "Ö", ftBeginsWith)}) << none << keep << QList<int>{1, 2};
            QTest::addRow("%s ends with upper-case text holding an umlaut", n)
                << b << List({Filter("name", "ÜLLER", ftEndsWith)}) << none << keep << QList<int>{3, 4};
            QTest::addRow("%s not like folds umlauts and keeps NULL", n)
                << b << List({Filter("name", "Ü", ftNotLike)}) << none << keep << QList<int>{1, 2, 5, 6};
            QTest::addRow("%s in: leading blank as stored", n)
                << b << List({Filter("city", " Berlin", ftIn)}) << none << keep << QList<int>{4};
            QTest::addRow("%s in: without blanks", n)
                << b << List({Filter("city", "Berlin", ftIn)}) << none << keep << QList<int>{2, 3};
            QTest::addRow("%s in: trailing blank and a second value", n)
                << b << List({Filter("city", "Berlin ,Wien", ftIn)}) << none << keep << QList<int>{5, 6};
            QTest::addRow("%s in: a list of values as stored", n)
                << b << List({Filter("city", QStringList{" Berlin", "Köln"}, ftIn)}) << none << keep
                << QList<int>{1, 4};
        }
    }
    void filterSetsSelectRows() {
        QFETCH(Backend, backend);
        QFETCH(TQVFilterList, own);
        QFETCH(TQVFilterList, appended);
        QFETCH(QVariant, ownValueAfterwards);
        QFETCH(QList<int>, rows);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        QList<qint64> ids;
        for (const AddressRow& r : kAddressRows)
            ids << Database::InsertRow(
                "pelm_addresses_ass", {"name", "city", "ptypeid"},
                {r.Name ? QVariant(QString::fromUtf8(r.Name)) : QVariant(QMetaType::fromType<QString>()),
                 QString::fromUtf8(r.City), r.Type});
        TQVFilterList filters = own;
        filters.AddGroup(appended);
        if (!ownValueAfterwards.isNull())
            filters.SetValue(own[0].FieldName, ownValueAfterwards);
        TQVRecordSet rs("pelm_addresses_ass");
        rs.Filters() = filters;
        rs.Open();
        QList<int> selected;
        for (rs.First(); !rs.Eof(); rs.Next())
            selected << int(ids.indexOf(rs.RecordID())) + 1;
        QCOMPARE(selected, rows);
    }

    void listEqualityComparesConditionsAndSubSelectStructure() {
        const TQVFilterList a =
            List({SubSelect(10, "emltemplates_id", "emtemplates"), Child(10, Filter("name", "x"))});
        TQVFilterList b = List(
            {SubSelect(500, "emltemplates_id", "emtemplates"), Child(500, Filter("NAME", QVariant("x")))});
        QVERIFY(a == b); // ids differ, structure and conditions are the same
        b[1].ParentFilterID = -1;
        QVERIFY(!(a == b));
        TQVFilterList c = List({Filter("name", ""), Filter("name", 5)});
        QVERIFY(c == List({Filter("name", QVariant()), Filter("name", "5")})); // values compare as text
        QVERIFY(!(c == List({Filter("name", ""), Filter("name", 5, ftNotEqual)})));
    }

    void storedCodesAreChecked() {
        QCOMPARE(FilterTypeFromCode(6), ftNotEqual);
        QCOMPARE(FilterLinkFromCode(2), flOr);
        QCOMPARE(ParenthesisFromCode(1), fpOpen);
        QCOMPARE(FilterValueTypeFromCode(4), fvtDateTime);
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, FilterTypeFromCode(13));
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, FilterLinkFromCode(3));
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, ParenthesisFromCode(-1));
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, FilterValueTypeFromCode(5));
    }

    void databaseValuesReadAsDeclaredType_data() {
        QTest::addColumn<QVariant>("raw");
        QTest::addColumn<TFieldDataType>("type");
        QTest::addColumn<QVariant>("expected");
        const QDateTime dt(QDate(2024, 5, 6), QTime(7, 8, 9, 123));
        QTest::newRow("null") << QVariant() << TFieldDataType::fdtInteger << QVariant();
        QTest::newRow("integer") << QVariant(7) << TFieldDataType::fdtInteger << QVariant(qint64(7));
        QTest::newRow("float from text") << QVariant("2.5") << TFieldDataType::fdtFloat << QVariant(2.5);
        QTest::newRow("text") << QVariant("abc") << TFieldDataType::fdtText << QVariant("abc");
        QTest::newRow("empty text is null") << QVariant("") << TFieldDataType::fdtText << QVariant();
        QTest::newRow("date-time from SQLite text")
            << QVariant("2024-05-06T07:08:09.123") << TFieldDataType::fdtDateTime << QVariant(dt);
        QTest::newRow("date-time with a blank")
            << QVariant("2024-05-06 07:08:09.123") << TFieldDataType::fdtDateTime << QVariant(dt);
        QTest::newRow("date-time from PostgreSQL")
            << QVariant(dt) << TFieldDataType::fdtDateTime << QVariant(dt);
        QTest::newRow("bytes") << QVariant(QByteArray("\x00\x01", 2)) << TFieldDataType::fdtBytes
                               << QVariant(QByteArray("\x00\x01", 2));
        QTest::newRow("empty bytes are null")
            << QVariant(QByteArray()) << TFieldDataType::fdtBytes << QVariant();
    }
    void databaseValuesReadAsDeclaredType() {
        QFETCH(QVariant, raw);
        QFETCH(TFieldDataType, type);
        QFETCH(QVariant, expected);
        const QVariant v = FromDatabaseValue(raw, type, QStringLiteral("f"));
        QCOMPARE(v.isNull(), expected.isNull());
        if (!expected.isNull()) {
            QCOMPARE(v.metaType(), expected.metaType());
            QCOMPARE(v, expected);
        }
    }
};

QTEST_GUILESS_MAIN(tst_QVFilter)
#include "tst_QVFilter.moc"
