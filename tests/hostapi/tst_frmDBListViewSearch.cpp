// The list-view search frame: filters edited through its buttons and cell editors show the records
// they select, are saved into a filter set and shown again as edited when loaded; the change mark
// follows edits and saves; a saved field the schema no longer has is shown and refused on save with
// its reason, nothing written. The frame is grabbed in German and English. On SQLite and PostgreSQL.

#include "frmDBListViewSearch.h"

#include "Database.h"
#include "QVDBGrid.h"
#include "QVException.h"
#include "QVFilterRowModel.h"
#include "QVRecordSetModel.h"
#include "QVSchemaFilterSave.h"
#include "VRNLang.h"
#include "support/FilterFrameDriver.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"
#include "support/WindowTestHelpers.h"

#include <QAbstractItemModelTester>
#include <QPushButton>
#include <QTest>

using namespace hostapi;
using testsupport::Backend;
using testsupport::Find;
using testsupport::TestDatabase;
using namespace testsupport;

namespace {

const QString Addresses = QStringLiteral("pelm_addresses_ass");
constexpr qint64 ListID = 3;

void AddAddresses() {
    const QList<QStringList> rows{{"Müller", "Köln"}, {"MÜNZ", "Köln"}, {"Mueller", "Köln"},
                                  {"Zeta", "Köln"},   {"Zeta", "Bonn"}, {"Müller", "Bonn"}};
    for (const QStringList& r : rows)
        Database::InsertRow(Addresses, {"name", "city"}, {r[0], r[1]});
}

TQVSchemaFilterSave ListSaver(qint64 AListID = ListID) {
    TQVSchemaFilterSave saver(QStringLiteral("emllists_filters"));
    saver.SetSchemaName(Addresses);
    saver.Filters().Add(QStringLiteral("emllists_id"), AListID);
    saver.SetAdditionalField(QStringLiteral("emllists_id"), AListID);
    return saver;
}

QStringList ShownRecords(const TfrmDBListViewSearch& AFrame) {
    QStringList shown;
    const QVRecordSetModel* model = AFrame.RecordModel();
    if (!model)
        return {QStringLiteral("<no records>")};
    for (int r = 0; r < model->rowCount(); ++r)
        shown << model->Value(r, QStringLiteral("name")).toString() + QLatin1Char('/') +
                     model->Value(r, QStringLiteral("city")).toString();
    return shown;
}

QStringList ShownRows(const QAbstractItemModel& AModel) {
    QStringList rows;
    for (int r = 0; r < AModel.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < AModel.columnCount(); ++c)
            cells << AModel.index(r, c).data().toString();
        rows << cells.join('|');
    }
    return rows;
}

// "Ort ist gleich Köln und (Name enthält mü oder Name ist gleich Zeta)", edited as a user does.
void EditKoelnSet(TfrmDBListViewSearch& AFrame) {
    AddCondition(AFrame, {}, "Ort", "ist gleich", "Köln");
    AddCondition(AFrame, "und", "Name", "enthält", "mü");
    AddCondition(AFrame, "oder", "Name", "ist gleich", "Zeta");
    Parenthesize(AFrame, 1, 2);
}

const QStringList KoelnRows{"|Ort|ist gleich|Köln", "|(||", "|Name|enthält|mü", "oder|Name|ist gleich|Zeta",
                            "|)||"};
const QStringList KoelnRecords{"Müller/Köln", "MÜNZ/Köln", "Zeta/Köln"};

} // namespace

class tst_frmDBListViewSearch : public QObject {
    Q_OBJECT

private slots:
    void init() { TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void editedFiltersAreSavedAndShownAgain_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void editedFiltersAreSavedAndShownAgain() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        AddAddresses();
        TfrmDBListViewSearch frame;
        QAbstractItemModelTester tester(&frame.FilterModel(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        ShowFrame(frame);
        QVERIFY(!Find<QPushButton>(frame, "btnAddCondition")->isEnabled());
        QCOMPARE(frame.ResultText(), QStringLiteral("Keine Tabelle gewählt."));

        frame.SetSchemaName(Addresses);
        QCOMPARE(ShownRecords(frame).size(), 6);
        QVERIFY(!frame.Changed());
        EditKoelnSet(frame);
        QCOMPARE(ShownRows(frame.FilterModel()), KoelnRows);
        QVERIFY(frame.Changed());
        // The records shown are those the rows select: the OR stays inside its parentheses.
        QCOMPARE(ShownRecords(frame), KoelnRecords);
        QCOMPARE(frame.ResultText(), QStringLiteral("Ausgewählte Datensätze: 3"));

        // Another list's set on the same schema is left as it is.
        TQVFilterList other;
        other.Add(QStringLiteral("city"), QStringLiteral("Bonn"));
        ListSaver(ListID + 1).SaveFilters(other);
        frame.SaveFilters(ListSaver());
        QVERIFY(!frame.Changed());
        QCOMPARE(testsupport::Count("emllists_filters", "\"emllists_id\" = ?", {ListID}), 5);
        QVERIFY(ListSaver(ListID + 1).LoadFilters() == other);

        // Shown again as edited, in a frame of its own.
        TfrmDBListViewSearch again;
        ShowFrame(again);
        again.SetSchemaName(Addresses);
        again.LoadFilters(ListSaver());
        QVERIFY(!again.Changed());
        QCOMPARE(ShownRows(again.FilterModel()), KoelnRows);
        QCOMPARE(ShownRecords(again), KoelnRecords);
        QVERIFY(again.Filters() == frame.Filters());

        // The change mark follows edits: removing the closing parenthesis takes the opening one.
        SelectFilterRows(again, 4, 4);
        testsupport::Click(again, "btnDeleteRow");
        QVERIFY(again.Changed());
        QCOMPARE(ShownRows(again.FilterModel()),
                 (QStringList{"|Ort|ist gleich|Köln", "und|Name|enthält|mü", "oder|Name|ist gleich|Zeta"}));
        // Without the parentheses "a AND b OR c" is "(a AND b) OR c": Zeta of Bonn comes in.
        QCOMPARE(ShownRecords(again), (QStringList{"Müller/Köln", "MÜNZ/Köln", "Zeta/Köln", "Zeta/Bonn"}));
        again.SaveFilters(ListSaver());
        QVERIFY(!again.Changed());
        QCOMPARE(testsupport::Count("emllists_filters", "\"emllists_id\" = ?", {ListID}), 3);
        // Choosing the schema again empties the rows and clears the mark.
        AddCondition(again, "und", "PLZ", "beginnt mit", "5");
        QVERIFY(again.Changed());
        again.SetSchemaName(Addresses);
        QVERIFY(!again.Changed());
        QCOMPARE(again.FilterModel().rowCount(), 0);
        QCOMPARE(ShownRecords(again).size(), 6);
        // An empty set saved removes the list's rows, and only those.
        again.SetChanged(true);
        again.SaveFilters(ListSaver());
        QCOMPARE(testsupport::Count("emllists_filters", "\"emllists_id\" = ?", {ListID}), 0);
        QVERIFY(ListSaver(ListID + 1).LoadFilters() == other);
    }

    void fieldTheSchemaNoLongerHasIsShownAndRefused_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void fieldTheSchemaNoLongerHasIsShownAndRefused() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        AddAddresses();
        // A set saved when the schema still had "fax".
        for (const auto& [field, value] : QList<QPair<QString, QString>>{{"city", "Köln"}, {"fax", "0221"}})
            Database::InsertRow("emllists_filters",
                                {"emllists_id", "schemaname", "fieldname", "filtertype", "filterlink",
                                 "value", "parenthesis", "parentfilterid"},
                                {ListID, Addresses, field, 0, 1, value, 0, -1});
        TfrmDBListViewSearch frame;
        ShowFrame(frame);
        frame.SetSchemaName(Addresses);
        frame.LoadFilters(ListSaver());
        QCOMPARE(ShownRows(frame.FilterModel()),
                 (QStringList{"|Ort|ist gleich|Köln", "und|fax (unbekanntes Feld)|ist gleich|0221"}));
        const QString reason =
            QStringLiteral("Das Feld \"fax\" gibt es in \"Adressen\" nicht mehr (Zeile 2). "
                           "Wählen Sie ein anderes Feld oder entfernen Sie die Bedingung.");
        QCOMPARE(frame.ResultText(), QStringLiteral("Keine Datensätze angezeigt. ") + reason);
        QCOMPARE(ShownRecords(frame), QStringList{"<no records>"});

        // An edit elsewhere marks the frame changed; the save is refused and writes nothing.
        Type(frame, 0, QStringLiteral("Bonn"));
        QVERIFY(frame.Changed());
        try {
            frame.SaveFilters(ListSaver());
            QFAIL("the set was saved");
        } catch (const EQVUserMessageException& e) {
            QCOMPARE(e.Message(), reason);
        }
        QVERIFY(frame.Changed());
        QCOMPARE(
            testsupport::Count("emllists_filters", "\"emllists_id\" = ? AND \"value\" = ?", {ListID, "Köln"}),
            1);

        // Choosing a field the schema has mends the row.
        Choose(frame, 1, QVFilterRowModel::colField, "Telefon");
        frame.SaveFilters(ListSaver());
        QVERIFY(!frame.Changed());
        QCOMPARE(testsupport::Count("emllists_filters", "\"emllists_id\" = ? AND \"fieldname\" = ?",
                                    {ListID, "phone"}),
                 1);
        QCOMPARE(frame.ResultText(), QStringLiteral("Ausgewählte Datensätze: 0"));
        QCOMPARE(ShownRecords(frame), QStringList{});
    }

    void unbalancedParenthesesAreShownNotApplied() {
        TestDatabase db;
        AddAddresses();
        testsupport::RecordingExceptionDisplay shown;
        TfrmDBListViewSearch frame;
        ShowFrame(frame);
        frame.SetSchemaName(Addresses);
        EditKoelnSet(frame);
        // Parentheses over "( Name" would open one they do not close: refused with its reason.
        Parenthesize(frame, 1, 2);
        QCOMPARE(shown.Records().size(), 1);
        const ShownException refusal = shown.Records().first().Exception;
        QVERIFY(refusal.UserMessage);
        QVERIFY2(refusal.Message.startsWith(QStringLiteral("Die Zeilen 2 bis 3 öffnen oder schließen")),
                 qPrintable(refusal.Message));
        QCOMPARE(ShownRows(frame.FilterModel()), KoelnRows);
    }

    void grabInGermanAndEnglish() {
        TestDatabase db;
        AddAddresses();
        TfrmDBListViewSearch frame;
        ShowFrame(frame);
        frame.SetSchemaName(Addresses);
        EditKoelnSet(frame);
        for (const QString& language : {QStringLiteral("German"), QStringLiteral("English")}) {
            frame.SetLanguage(language);
            QVERIFY(testsupport::SaveGrab(frame, QStringLiteral(QV_GRAB_DIR), language));
        }
        QCOMPARE(Find<QPushButton>(frame, "btnAddCondition")->text(), QStringLiteral("&Add condition"));
        QCOMPARE(frame.FilterModel().index(3, QVFilterRowModel::colLink).data().toString(),
                 QStringLiteral("or"));
        QCOMPARE(frame.ResultText(), QStringLiteral("Selected records: 3"));
    }
};

QTEST_MAIN(tst_frmDBListViewSearch)
#include "tst_frmDBListViewSearch.moc"
