// Which recipients a job selects: the list's own filters, its saved filters and the active state
// combined as AND, the address condition over one or several fields, SMS mobile fields, a resend
// reading only its parent job's results, and the fields left out of the selection. Every case
// checks the rows the record set returns, on SQLite and PostgreSQL.

#include "RecipientSelection.h"

#include "Database.h"
#include "EmailListItem.h"
#include "PelmarisPlugin.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "QVSchemaFilterSave.h"
#include "SettingsStore.h"
#include "support/TestDatabase.h"

#include <QTest>

using namespace emailmarketing;
using testsupport::Backend;
using testsupport::TestDatabase;

namespace {

const QString Addresses = QStringLiteral("pelm_addresses_ass");
constexpr qint32 ListID = 5;

struct Recipient {
    const char* Name;
    const char* City;
    QVariant Email1;
    QVariant Email2;
    QVariant Mobile;
    QVariant IsActive; // null: no detail row
};

// Six addresses in id order: their names are what a selection answers.
QHash<QString, qint64> AddRecipients() {
    const QList<Recipient> recipients{
        {"Alpha", "Köln", "a@x.de", {}, {}, 1},    {"Beta", "Bonn", "b@x.de", {}, {}, 0},
        {"Gamma", "Köln", "", "c@x.de", {}, 1},    {"Delta", "Berlin", {}, {}, "+49 170 1", 1},
        {"Epsilon", "Köln", "e@x.de", {}, {}, {}}, {"Zeta", "Bonn", "f@x.de", {}, "+49 170 2", 2},
    };
    QHash<QString, qint64> ids;
    for (const Recipient& r : recipients) {
        const qint64 id = hostapi::Database::InsertRow(
            Addresses, {"name", "city", "email1", "email2", "mobile"},
            {QString::fromUtf8(r.Name), QString::fromUtf8(r.City), r.Email1, r.Email2, r.Mobile});
        if (!r.IsActive.isNull())
            hostapi::Database::Exec(
                QStringLiteral("INSERT INTO \"pelm_addresses_det\" (\"id\", \"isactive\") VALUES (?, ?)"),
                {id, r.IsActive});
        ids.insert(QString::fromUtf8(r.Name), id);
    }
    return ids;
}

QStringList SelectedNames(const TRecipientQuery& AQuery) {
    hostapi::TQVRecordSet records;
    TRecipientSelection::Apply(AQuery, records);
    records.Open();
    QStringList names;
    for (records.First(); !records.Eof(); records.Next())
        names << records.FieldValue(QStringLiteral("name")).toString();
    return names;
}

hostapi::TQVFilterList NamesEither(const QStringList& ANames) {
    hostapi::TQVFilterList filters;
    for (const QString& name : ANames)
        filters.Add(QStringLiteral("name"), name, hostapi::ftEqual, hostapi::flOr);
    return filters;
}

// Stores the saved filter set of list AListID: the name is one of ANames.
void SaveListFilters(qint32 AListID, const QStringList& ANames) {
    hostapi::TQVSchemaFilterSave saver(QStringLiteral("emllists_filters"));
    saver.SetSchemaName(Addresses);
    saver.Filters().Add(QStringLiteral("emllists_id"), AListID);
    saver.SetAdditionalField(QStringLiteral("emllists_id"), AListID);
    saver.SaveFilters(NamesEither(ANames));
}

std::shared_ptr<TEmailListItem> List(int AFlag, const QStringList& AFields) {
    auto list = std::make_shared<TEmailListItem>();
    list->SetIDValue(ListID);
    list->SetSectionName(Addresses);
    list->SetEmailFields(AFlag, AFields);
    list->SetUseGlobalRegisterService(false);
    return list;
}

} // namespace

class tst_RecipientSelection : public QObject {
    Q_OBJECT

private slots:
    void listSelection_data();
    void listSelection();
    void resendReadsOnlyTheParentJobsResults_data();
    void resendReadsOnlyTheParentJobsResults();
    void resendOnAnotherSchemaJoinsItsOwnRecords_data();
    void resendOnAnotherSchemaJoinsItsOwnRecords();
    void fieldsLeftOutOfTheSelection_data();
    void fieldsLeftOutOfTheSelection();
    void brokenActiveStateSettingRaises();
};

void tst_RecipientSelection::listSelection_data() {
    TestDatabase::AddBackendColumn();
    QTest::addColumn<int>("flag");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("ownCity");        // "": no own filter
    QTest::addColumn<QStringList>("savedNames"); // ORed inside the saved filter set
    QTest::addColumn<int>("activeState");        // -1: register-service filter off
    QTest::addColumn<QStringList>("expected");
    const int mail = hostapi::fftEmail;
    const int sms = hostapi::fftMobile;
    for (Backend backend : TestDatabase::SelectedBackends()) {
        const char* b = backend == Backend::SQLite ? "sqlite" : "postgresql";
        QTest::addRow("%s: one address field", b)
            << backend << mail << QStringList{"email1"} << "" << QStringList{} << -1
            << QStringList{"Alpha", "Beta", "Epsilon", "Zeta"};
        QTest::addRow("%s: three address fields", b)
            << backend << mail << QStringList{"email1", "email2", "mobile"} << "" << QStringList{} << -1
            << QStringList{"Alpha", "Beta", "Gamma", "Delta", "Epsilon", "Zeta"};
        QTest::addRow("%s: SMS mobile field", b) << backend << sms << QStringList{"mobile"} << ""
                                                 << QStringList{} << -1 << QStringList{"Delta", "Zeta"};
        QTest::addRow("%s: own filter", b) << backend << mail << QStringList{"email1", "email2"} << "Köln"
                                           << QStringList{} << -1 << QStringList{"Alpha", "Gamma", "Epsilon"};
        QTest::addRow("%s: saved filter with OR does not widen", b)
            << backend << mail << QStringList{"email1", "email2"} << "Köln" << QStringList{"Alpha", "Beta"}
            << -1 << QStringList{"Alpha"};
        QTest::addRow("%s: saved filter alone", b)
            << backend << mail << QStringList{"email1"} << "" << QStringList{"Beta", "Delta", "Zeta"} << -1
            << QStringList{"Beta", "Zeta"};
        QTest::addRow("%s: active state 1", b)
            << backend << mail << QStringList{"email1", "email2", "mobile"} << "" << QStringList{} << 1
            << QStringList{"Alpha", "Gamma", "Delta"};
        QTest::addRow("%s: active state 2", b)
            << backend << mail << QStringList{"email1"} << "" << QStringList{} << 2 << QStringList{"Zeta"};
        QTest::addRow("%s: own AND saved AND active", b)
            << backend << mail << QStringList{"email1", "email2"} << "Köln"
            << QStringList{"Gamma", "Epsilon", "Beta"} << 1 << QStringList{"Gamma"};
    }
}

void tst_RecipientSelection::listSelection() {
    QFETCH(Backend, backend);
    QFETCH(int, flag);
    QFETCH(QStringList, fields);
    QFETCH(QString, ownCity);
    QFETCH(QStringList, savedNames);
    QFETCH(int, activeState);
    QFETCH(QStringList, expected);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    AddRecipients();
    auto list = List(flag, fields);
    if (!ownCity.isEmpty()) {
        hostapi::TQVFilterList own;
        own.Add(QStringLiteral("city"), ownCity);
        list->SetAdvFilters(own);
    }
    if (!savedNames.isEmpty()) {
        SaveListFilters(ListID, savedNames);
        // Another list's saved filter on the same schema takes no part.
        SaveListFilters(ListID + 1, {QStringLiteral("Nobody")});
    }
    if (activeState >= 0) {
        list->SetRegisterServiceFilterEnabled(true);
        hostapi::TPelmarisPlugin().SetRegisterServiceActiveState(activeState);
    }
    const TRecipientQuery query = TRecipientSelection::LoadQuery(*list, flag, -1, -1);
    QCOMPARE(SelectedNames(query), expected);
}

void tst_RecipientSelection::resendReadsOnlyTheParentJobsResults_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

void tst_RecipientSelection::resendReadsOnlyTheParentJobsResults() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    const QHash<QString, qint64> ids = AddRecipients();
    const auto result = [&](qint64 AJob, const char* AName, int AState) {
        hostapi::Database::InsertRow(QStringLiteral("emlsentlist"), {"emljobs_id", "addressid", "sentstate"},
                                     {AJob, ids.value(QString::fromLatin1(AName)), AState});
    };
    result(42, "Alpha", 2);
    result(42, "Beta", 1);
    result(42, "Gamma", 2);
    result(42, "Delta", 2); // no e-mail address
    result(43, "Epsilon", 2);
    // The list's own and saved filters would select nobody; a resend ignores them.
    auto list = List(hostapi::fftEmail, {QStringLiteral("email1"), QStringLiteral("email2")});
    hostapi::TQVFilterList own;
    own.Add(QStringLiteral("city"), QStringLiteral("Nirgendwo"));
    list->SetAdvFilters(own);
    SaveListFilters(ListID, {QStringLiteral("Nobody")});

    TRecipientQuery query = TRecipientSelection::LoadQuery(*list, hostapi::fftEmail, 42, 2);
    QCOMPARE(TRecipientSelection::SchemaName(query), Addresses);
    QCOMPARE(SelectedNames(query), (QStringList{"Alpha", "Gamma"}));
    query = TRecipientSelection::LoadQuery(*list, hostapi::fftEmail, 42, 1);
    QCOMPARE(SelectedNames(query), QStringList{"Beta"});

    // The register-service filter applies to a resend as well.
    list->SetRegisterServiceFilterEnabled(true);
    hostapi::TPelmarisPlugin().SetRegisterServiceActiveState(1);
    QCOMPARE(SelectedNames(TRecipientSelection::LoadQuery(*list, hostapi::fftEmail, 42, 1)), QStringList{});
    QCOMPARE(SelectedNames(TRecipientSelection::LoadQuery(*list, hostapi::fftEmail, 42, 2)),
             (QStringList{"Alpha", "Gamma"}));
}

void tst_RecipientSelection::resendOnAnotherSchemaJoinsItsOwnRecords_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

void tst_RecipientSelection::resendOnAnotherSchemaJoinsItsOwnRecords() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    // Addresses and registrations share ids: the rows of a job on the registrations name registrations.
    AddRecipients();
    const QString registrations = QStringLiteral("qvregistrations");
    QHash<QString, qint64> ids;
    for (const auto& [name, email] : QList<std::pair<QString, QVariant>>{
             {"Anna", "anna@r.de"}, {"Bert", "bert@r.de"}, {"Cora", QVariant()}, {"Dirk", "dirk@r.de"}})
        ids.insert(name, hostapi::Database::InsertRow(registrations, {"name", "email"}, {name, email}));
    const auto result = [&](qint64 AJob, const QString& AName, int AState) {
        hostapi::Database::InsertRow(QStringLiteral("emlsentlist"), {"emljobs_id", "addressid", "sentstate"},
                                     {AJob, ids.value(AName), AState});
    };
    result(42, "Anna", 2);
    result(42, "Bert", 1);
    result(42, "Cora", 2); // no e-mail address
    result(42, "Dirk", 2);
    result(43, "Bert", 2);
    auto list = std::make_shared<TEmailListItem>();
    list->SetIDValue(ListID);
    list->SetSectionName(registrations);
    list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email")});
    list->SetUseGlobalRegisterService(false);
    hostapi::TQVFilterList own;
    own.Add(QStringLiteral("name"), QStringLiteral("Niemand"));
    list->SetAdvFilters(own);

    const TRecipientQuery failed = TRecipientSelection::LoadQuery(*list, hostapi::fftEmail, 42, 2);
    QCOMPARE(TRecipientSelection::SchemaName(failed), registrations);
    QCOMPARE(SelectedNames(failed), (QStringList{"Anna", "Dirk"}));
    QCOMPARE(SelectedNames(TRecipientSelection::LoadQuery(*list, hostapi::fftEmail, 42, 1)),
             QStringList{"Bert"});
    QCOMPARE(SelectedNames(TRecipientSelection::LoadQuery(*list, hostapi::fftEmail, 44, 2)), QStringList{});
}

void tst_RecipientSelection::fieldsLeftOutOfTheSelection_data() {
    TestDatabase::AddBackendColumn();
    QTest::addColumn<QStringList>("ignore");
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<QStringList>("leftOut");
    for (Backend backend : TestDatabase::SelectedBackends()) {
        const char* b = backend == Backend::SQLite ? "sqlite" : "postgresql";
        QTest::addRow("%s: nothing to ignore", b)
            << backend << QStringList{} << QStringList{"name", "city", "email1"} << QStringList{"ptypeid"};
        QTest::addRow("%s: fields to ignore", b)
            << backend << QStringList{"CITY", "birthday"} << QStringList{"name", "email1", "ptypeid"}
            << QStringList{"city", "birthday"};
    }
}

void tst_RecipientSelection::fieldsLeftOutOfTheSelection() {
    QFETCH(Backend, backend);
    QFETCH(QStringList, ignore);
    QFETCH(QStringList, loaded);
    QFETCH(QStringList, leftOut);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    AddRecipients();
    auto list = List(hostapi::fftEmail, {QStringLiteral("email1")});
    list->SetFieldsToIgnoreInSelection(ignore);
    hostapi::TQVRecordSet records;
    TRecipientSelection::Apply(TRecipientSelection::LoadQuery(*list, hostapi::fftEmail, -1, -1), records);
    records.Open();
    QCOMPARE(records.RecordCount(), 4);
    const QStringList names = records.FieldNames();
    for (const QString& field : loaded)
        QVERIFY2(names.contains(field, Qt::CaseInsensitive), qPrintable(field));
    for (const QString& field : leftOut)
        QVERIFY2(!names.contains(field, Qt::CaseInsensitive), qPrintable(field));
    // A record set of recipients only reads.
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, records.Edit());
}

void tst_RecipientSelection::brokenActiveStateSettingRaises() {
    // A setting that is no number is never read as state 0 (which would select the unsubscribed).
    TestDatabase db;
    AddRecipients();
    hostapi::SettingsStore::Instance().WriteString(QStringLiteral("Pelm"), QStringLiteral("RSSPS"),
                                                   QStringLiteral("aktiv"));
    auto list = List(hostapi::fftEmail, {QStringLiteral("email1")});
    list->SetRegisterServiceFilterEnabled(true);
    try {
        (void)TRecipientSelection::LoadQuery(*list, hostapi::fftEmail, -1, -1);
        QFAIL("no failure");
    } catch (const hostapi::EQVException& E) {
        QVERIFY2(E.Message().contains(QStringLiteral("RSSPS")), qPrintable(E.Message()));
    }
}

QTEST_MAIN(tst_RecipientSelection)
#include "tst_RecipientSelection.moc"
