// The filter rows of a filter editor and their table model: the checks before the rows become a
// filter list (fields the schema no longer has, parentheses, values), parentheses added and removed
// as pairs, which links take part, the change mark, sub-select filters kept through an edit, and the
// texts in German and English under QAbstractItemModelTester.

#include "QVFilterRowModel.h"
#include "QVFilterRows.h"

#include "QVException.h"
#include "VRNLang.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace hostapi;

namespace {

const QString Addresses = QStringLiteral("pelm_addresses_ass");

TQVFilter Condition(const QString& AField, TQVFilterType AType, const QVariant& AValue,
                    TQVFilterLink ALink = flAnd) {
    TQVFilter f;
    f.FieldName = AField;
    f.FilterType = AType;
    f.Value = AValue;
    f.Link = ALink;
    return f;
}

TQVFilter Parenthesis(TQVParenthesis AParenthesis) {
    TQVFilter f;
    f.Parenthesis = AParenthesis;
    return f;
}

TQVFilterList ListOf(const QList<TQVFilter>& AFilters) {
    TQVFilterList list;
    for (const TQVFilter& f : AFilters)
        list.Add(f);
    return list;
}

// A row as the tests compare it: "(" / ")" or "<link> <field> <type> <value>".
QString Describe(const TQVFilterRows& ARows, int ARow) {
    const TQVFilter& f = ARows.Row(ARow);
    if (f.IsParenthesis())
        return f.Parenthesis == fpOpen ? QStringLiteral("(") : QStringLiteral(")");
    return QStringLiteral("%1 %2 %3 %4")
        .arg(int(f.Link))
        .arg(f.FieldName)
        .arg(int(f.FilterType))
        .arg(f.Value.toString());
}

QStringList Describe(const TQVFilterRows& ARows) {
    QStringList rows;
    for (int r = 0; r < ARows.Count(); ++r)
        rows << Describe(ARows, r);
    return rows;
}

using Edit = std::function<void(TQVFilterRows&)>;

} // namespace

Q_DECLARE_METATYPE(Edit)

class tst_QVFilterRows : public QObject {
    Q_OBJECT

private slots:
    void init() { TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void rowsThatCannotBeSavedAreRefusedByName_data() {
        QTest::addColumn<QList<TQVFilter>>("filters");
        QTest::addColumn<QString>("message");
        QTest::newRow("field the schema no longer has")
            << QList<TQVFilter>{Condition("city", ftEqual, "Köln"), Condition("fax", ftEqual, "1")}
            << "Das Feld \"fax\" gibt es in \"Adressen\" nicht mehr (Zeile 2). Wählen Sie ein anderes Feld "
               "oder entfernen Sie die Bedingung.";
        QTest::newRow("related field the schema does not have")
            << QList<TQVFilter>{Condition("pelm_addresses_det.faxstate", ftEqual, 1)}
            << "Das Feld \"pelm_addresses_det.faxstate\" gibt es in \"Adressen\" nicht mehr (Zeile 1). "
               "Wählen Sie ein anderes Feld oder entfernen Sie die Bedingung.";
        QTest::newRow("parenthesis not closed")
            << QList<TQVFilter>{Condition("city", ftEqual, "Köln"), Parenthesis(fpOpen),
                                Condition("name", ftLike, "ü")}
            << "Die Klammer in Zeile 2 wird nicht geschlossen.";
        QTest::newRow("parenthesis closes nothing")
            << QList<TQVFilter>{Condition("city", ftEqual, "Köln"), Parenthesis(fpClose)}
            << "Die Klammer in Zeile 2 schließt keine geöffnete Klammer.";
        QTest::newRow("value that is no date") << QList<TQVFilter>{Condition("birthday", ftGreater, "morgen")}
                                               << "Die Filter können so nicht angewendet werden: ";
    }
    void rowsThatCannotBeSavedAreRefusedByName() {
        QFETCH(QList<TQVFilter>, filters);
        QFETCH(QString, message);
        TQVFilterRows rows;
        rows.SetSchemaName(Addresses);
        rows.Load(ListOf(filters));
        try {
            rows.ToFilterList();
            QFAIL("the rows were accepted");
        } catch (const EQVUserMessageException& e) {
            QVERIFY2(e.Message().startsWith(message), qPrintable(e.Message()));
        }
    }

    void rowsThatHoldBecomeTheirFilterList() {
        // A related field, an OR inside parentheses, a value-free type: the list is the rows as they are.
        const QList<TQVFilter> filters{Condition("city", ftEqual, "Köln"),
                                       Parenthesis(fpOpen),
                                       Condition("name", ftLike, "mü"),
                                       Condition("name", ftEqual, "Zeta", flOr),
                                       Parenthesis(fpClose),
                                       Condition("pelm_addresses_det.isactive", ftEqual, 1),
                                       Condition("mobile", ftIsNotNull, {})};
        TQVFilterRows rows;
        rows.SetSchemaName(Addresses);
        rows.Load(ListOf(filters));
        QVERIFY(rows.ToFilterList() == ListOf(filters));
        QCOMPARE(rows.FieldCaption("pelm_addresses_det.isactive"), QStringLiteral("Aktiv"));
    }

    void editsSetTheChangeMark_data() {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("same value again") << Edit([](TQVFilterRows& r) { r.SetValue(0, "Köln"); }) << false
                                          << QStringList{"1 city 0 Köln", "2 name 1 mü"};
        QTest::newRow("same field in other case") << Edit([](TQVFilterRows& r) { r.SetFieldName(0, "CITY"); })
                                                  << false << QStringList{"1 city 0 Köln", "2 name 1 mü"};
        QTest::newRow("value") << Edit([](TQVFilterRows& r) { r.SetValue(0, "Bonn"); }) << true
                               << QStringList{"1 city 0 Bonn", "2 name 1 mü"};
        QTest::newRow("field") << Edit([](TQVFilterRows& r) { r.SetFieldName(1, "surname"); }) << true
                               << QStringList{"1 city 0 Köln", "2 surname 1 mü"};
        QTest::newRow("filter type") << Edit([](TQVFilterRows& r) { r.SetFilterType(1, ftBeginsWith); })
                                     << true << QStringList{"1 city 0 Köln", "2 name 7 mü"};
        QTest::newRow("link") << Edit([](TQVFilterRows& r) { r.SetLink(1, flAnd); }) << true
                              << QStringList{"1 city 0 Köln", "1 name 1 mü"};
        QTest::newRow("condition added")
            << Edit([](TQVFilterRows& r) { QCOMPARE(r.AddCondition("zipcode", ftEqual, "50667"), 2); })
            << true << QStringList{"1 city 0 Köln", "2 name 1 mü", "1 zipcode 0 50667"};
        QTest::newRow("parentheses added") << Edit([](TQVFilterRows& r) { r.AddParentheses(1, 1); }) << true
                                           << QStringList{"1 city 0 Köln", "(", "2 name 1 mü", ")"};
        QTest::newRow("row removed") << Edit([](TQVFilterRows& r) { r.RemoveRows({0}); }) << true
                                     << QStringList{"2 name 1 mü"};
    }
    void editsSetTheChangeMark() {
        QFETCH(Edit, edit);
        QFETCH(bool, changed);
        QFETCH(QStringList, after);
        TQVFilterRows rows;
        rows.SetSchemaName(Addresses);
        rows.Load(ListOf({Condition("city", ftEqual, "Köln"), Condition("name", ftLike, "mü", flOr)}));
        QVERIFY(!rows.Changed());
        edit(rows);
        QCOMPARE(rows.Changed(), changed);
        QCOMPARE(Describe(rows), after);
        rows.SetChanged(false);
        QVERIFY(!rows.Changed());
    }

    void refusedEditsChangeNothing_data() {
        QTest::addColumn<Edit>("edit");
        QTest::newRow("unknown field chosen") << Edit([](TQVFilterRows& r) { r.SetFieldName(0, "fax"); });
        QTest::newRow("unknown field added")
            << Edit([](TQVFilterRows& r) { r.AddCondition("fax", ftEqual, "1"); });
        QTest::newRow("parentheses opening one they do not close")
            << Edit([](TQVFilterRows& r) { r.AddParentheses(1, 2); });
        QTest::newRow("parentheses closing one they do not open")
            << Edit([](TQVFilterRows& r) { r.AddParentheses(3, 4); });
    }
    void refusedEditsChangeNothing() {
        QFETCH(Edit, edit);
        TQVFilterRows rows;
        rows.SetSchemaName(Addresses);
        rows.Load(
            ListOf({Condition("city", ftEqual, "Köln"), Parenthesis(fpOpen), Condition("name", ftLike, "mü"),
                    Parenthesis(fpClose), Condition("zipcode", ftEqual, "50667")}));
        const QStringList before = Describe(rows);
        QVERIFY_THROWS_EXCEPTION(EQVUserMessageException, edit(rows));
        QCOMPARE(Describe(rows), before);
        QVERIFY(!rows.Changed());
    }

    void parenthesesAreRemovedAsPairs_data() {
        QTest::addColumn<QList<int>>("remove");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("opening") << QList<int>{1} << QStringList{"1 city 0 Köln", "1 name 1 a", "2 name 1 b"};
        QTest::newRow("closing") << QList<int>{4} << QStringList{"1 city 0 Köln", "1 name 1 a", "2 name 1 b"};
        QTest::newRow("both selected")
            << QList<int>{1, 4} << QStringList{"1 city 0 Köln", "1 name 1 a", "2 name 1 b"};
        QTest::newRow("a whole group") << QList<int>{1, 2, 3, 4} << QStringList{"1 city 0 Köln"};
        QTest::newRow("a condition inside")
            << QList<int>{3} << QStringList{"1 city 0 Köln", "(", "1 name 1 a", ")"};
    }
    void parenthesesAreRemovedAsPairs() {
        QFETCH(QList<int>, remove);
        QFETCH(QStringList, after);
        TQVFilterRows rows;
        rows.SetSchemaName(Addresses);
        rows.Load(
            ListOf({Condition("city", ftEqual, "Köln"), Parenthesis(fpOpen), Condition("name", ftLike, "a"),
                    Condition("name", ftLike, "b", flOr), Parenthesis(fpClose)}));
        rows.RemoveRows(remove);
        QCOMPARE(Describe(rows), after);
        rows.ToFilterList();
    }

    void onlyLinksThatJoinTakePart() {
        TQVFilterRows rows;
        rows.SetSchemaName(Addresses);
        rows.Load(ListOf({Condition("city", ftEqual, "Köln", flOr), Parenthesis(fpOpen),
                          Condition("name", ftLike, "a", flOr), Condition("name", ftLike, "b", flOr),
                          Parenthesis(fpClose), Condition("zipcode", ftEqual, "1", flOr)}));
        QList<bool> used;
        for (int r = 0; r < rows.Count(); ++r)
            used << rows.LinkUsed(r);
        QCOMPARE(used, (QList<bool>{false, false, false, true, false, true}));
    }

    void subSelectFiltersStayWithTheirRow() {
        TQVFilter parent = Condition("id", ftIn, {});
        parent.ID = 10;
        parent.SubSelSchema = QStringLiteral("emlsentlist");
        TQVFilter child = Condition("sentstate", ftEqual, 2);
        child.ID = 11;
        child.ParentFilterID = 10;
        TQVFilter sibling = Condition("email", ftLike, "ö");
        sibling.ID = 12;
        sibling.ParentFilterID = 10;
        TQVFilterRows rows;
        rows.SetSchemaName(Addresses);
        // A sub-select filter that comes before its parent is attached all the same.
        rows.Load(ListOf({sibling, Condition("city", ftEqual, "Köln"), parent, child}));
        QCOMPARE(rows.Count(), 2);
        rows.SetValue(0, QStringLiteral("Bonn"));
        const TQVFilterList list = rows.ToFilterList();
        QCOMPARE(list.Count(), 4);
        QCOMPARE(list[0].Value.toString(), QStringLiteral("Bonn"));
        QCOMPARE(list[1].ID, 10);
        QCOMPARE(list[1].SubSelSchema, QStringLiteral("emlsentlist"));
        QCOMPARE(list[2].ParentFilterID, 10);
        QCOMPARE(list[3].ParentFilterID, 10);
        // Removing the row removes its sub-select.
        rows.RemoveRows({1});
        QCOMPARE(rows.ToFilterList().Count(), 1);
    }

    void orphanSubSelectFilterIsRefusedOnLoad() {
        TQVFilter orphan = Condition("sentstate", ftEqual, 2);
        orphan.ParentFilterID = 99;
        TQVFilterRows rows;
        rows.SetSchemaName(Addresses);
        QVERIFY_THROWS_EXCEPTION(EQVException, rows.Load(ListOf({orphan})));
    }

    void modelShowsRowsInTheLanguage_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("German")
            << "German" << QStringList{"Verknüpfung", "Feld", "Bedingung", "Wert"}
            << QStringList{"|Ort|ist gleich|Köln",      "|(||", "|Name|enthält|mü",
                           "oder|Name|ist gleich|Zeta", "|)||", "und|fax (unbekanntes Feld)|ist nicht leer|"};
        QTest::newRow("English")
            << "English" << QStringList{"Link", "Field", "Condition", "Value"}
            << QStringList{"|Ort|equals|Köln",    "|(||", "|Name|contains|mü",
                           "or|Name|equals|Zeta", "|)||", "and|fax (unknown field)|is not empty|"};
    }
    void modelShowsRowsInTheLanguage() {
        QFETCH(QString, language);
        QFETCH(QStringList, headers);
        QFETCH(QStringList, texts);
        QVFilterRowModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetLanguage(language);
        model.SetSchemaName(Addresses);
        model.Load(ListOf({Condition("city", ftEqual, "Köln"), Parenthesis(fpOpen),
                           Condition("name", ftLike, "mü"), Condition("name", ftEqual, "Zeta", flOr),
                           Parenthesis(fpClose), Condition("fax", ftIsNotNull, "ignored")}));
        QStringList shownHeaders;
        for (int c = 0; c < model.columnCount(); ++c)
            shownHeaders << model.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(shownHeaders, headers);
        QStringList shown;
        for (int r = 0; r < model.rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < model.columnCount(); ++c)
                cells << model.index(r, c).data().toString();
            shown << cells.join('|');
        }
        QCOMPARE(shown, texts);
        const QModelIndex unknown = model.index(5, QVFilterRowModel::colField);
        QCOMPARE(unknown.data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
        QVERIFY(!unknown.data(Qt::ToolTipRole).toString().isEmpty());
        // Parentheses, unused links and the value of "is not empty" take no edit.
        QVERIFY(!(model.flags(model.index(1, QVFilterRowModel::colField)) & Qt::ItemIsEditable));
        QVERIFY(!(model.flags(model.index(2, QVFilterRowModel::colLink)) & Qt::ItemIsEditable));
        QVERIFY(model.flags(model.index(3, QVFilterRowModel::colLink)) & Qt::ItemIsEditable);
        QVERIFY(!(model.flags(model.index(5, QVFilterRowModel::colValue)) & Qt::ItemIsEditable));
    }

    void modelEditsTakeCodesAndSignalOnlyChanges() {
        QVFilterRowModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetSchemaName(Addresses);
        model.Load(ListOf({Condition("city", ftEqual, "Köln"), Condition("name", ftLike, "mü")}));
        QSignalSpy changed(&model, &QVFilterRowModel::FiltersChanged);
        QVERIFY(model.setData(model.index(1, QVFilterRowModel::colLink), int(flOr)));
        QVERIFY(model.setData(model.index(1, QVFilterRowModel::colField), QStringLiteral("surname")));
        QVERIFY(model.setData(model.index(1, QVFilterRowModel::colFilterType), int(ftEndsWith)));
        QVERIFY(model.setData(model.index(1, QVFilterRowModel::colValue), QStringLiteral("ß")));
        QCOMPARE(changed.count(), 4);
        QVERIFY(model.setData(model.index(1, QVFilterRowModel::colValue), QStringLiteral("ß")));
        QCOMPARE(changed.count(), 4);
        QCOMPARE(Describe(model.Rows(), 1), QStringLiteral("2 surname 8 ß"));
        QVERIFY(model.Rows().Changed());
        // The choices are the codes the edit role takes.
        QCOMPARE(model.Choices(QVFilterRowModel::colFilterType).size(), 13);
        QCOMPARE(model.Choices(QVFilterRowModel::colField).first().second.toString(),
                 QStringLiteral("companyname"));
        QCOMPARE(model.Choices(QVFilterRowModel::colField).first().first, QStringLiteral("Firma"));
    }
};

QTEST_MAIN(tst_QVFilterRows)
#include "tst_QVFilterRows.moc"
