// The distribution-list store on both backends: list, macro and condition round trips, the load
// rules, the in-use marks of jobs, and client list providers registered through the host's
// ext-function query.

#include "ClientPluginBase.h"
#include "Database.h"
#include "HostDoubles.h"
#include "IExtFuncPluginEmailMarketing.h"
#include "PluginModuleRegistration.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "ScriptedEmailSender.h"
#include "dmPluginEmailMarketingMain.h"
#include "support/TestDatabase.h"

#include <QSqlQuery>
#include <QTest>

using namespace emailmarketing;
using testsupport::Backend;
using testsupport::Count;
using testsupport::TestDatabase;

namespace {

QVariant Column(const QString& table, const QString& column, qint64 id) {
    QSqlQuery q = hostapi::Database::Exec(
        QStringLiteral("SELECT %1 FROM %2 WHERE \"id\" = ?")
            .arg(hostapi::Database::QuoteIdentifier(column), hostapi::Database::QuoteIdentifier(table)),
        {id});
    return q.next() ? q.value(0) : QVariant();
}

class TestList : public hostapi::IClientListDefinition {
public:
    TestList(QString ident, QString name) : FIdent(std::move(ident)), FName(std::move(name)) {}
    QString ListIdent() const override { return FIdent; }
    QString Name() const override { return FName; }
    QString SchemaName() const override { return QStringLiteral("pelm_addresses_ass"); }
    QStringList FieldsToIgnore() const override { return {QStringLiteral("birthday")}; }
    int FilterCount() const override { return 1; }
    void GetFilter(int, QString& FieldName, hostapi::TQVFilterType& FilterType,
                   hostapi::TQVFilterLink& FilterLink, bool& UseAsLookup,
                   hostapi::TQVParenthesis& Parenthesis, QString& Value) const override {
        FieldName = QStringLiteral("city");
        FilterType = hostapi::ftEqual;
        FilterLink = hostapi::flAnd;
        UseAsLookup = false;
        Parenthesis = hostapi::fpNone;
        Value = QStringLiteral("Köln");
    }

private:
    QString FIdent;
    QString FName;
};

class TestProvider : public hostapi::IClientListProvider {
public:
    QString ClientIdent() const override { return QStringLiteral("CRM"); }
    int ListCount() const override { return Lists_.size(); }
    std::shared_ptr<hostapi::IClientListDefinition> Lists(int i) const override { return Lists_.at(i); }
    QList<std::shared_ptr<hostapi::IClientListDefinition>> Lists_{
        std::make_shared<TestList>("L1", "Kunden Köln"), std::make_shared<TestList>("L2", "Partner")};
};

struct Fixture {
    TestDatabase Db;
    testsupport::FakeClock Clock;
    TdmPluginEmailMarketingMain Dm{nullptr};
    explicit Fixture(Backend b) : Db(b) {
        Dm.Jobs().SetLocalJobFactory(
            [](QObject* AOwner, qint32 AID, std::shared_ptr<TEmailListItem> AList, TEmailStyle AStyle) {
                return new testsupport::ScriptedEmailSender(AOwner, AID, std::move(AList), AStyle);
            });
    }
};

} // namespace

class tst_EmailListStore : public QObject {
    Q_OBJECT

private slots:
    void roundTripOwnSettings_data() { Backends(); }
    void roundTripOwnSettings() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        Fixture f(backend);
        const auto list = f.Dm.Add();
        QCOMPARE(list->IDValue(), -1);
        list->SetName(QStringLiteral("Kunden"));
        list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
        list->SetUseGlobalAddress(false);
        list->SetUseGlobalMailServer(false);
        list->SetUseGlobalSMSProvider(false);
        list->SetUseGlobalRegisterService(false);
        list->SetUseGlobalSendSettings(false);
        list->SetSenderName(QStringLiteral("Muster GmbH"));
        list->SetSenderEmail(QStringLiteral("info@muster.de"));
        list->SetReplyToEmail(QStringLiteral("antwort@muster.de"));
        list->SetMessageSenderDevice(msdMAPI);
        list->SetSMSMessageSenderDevice(smsdLOX24);
        list->SetMailServer(QStringLiteral("smtp.muster.de:587"));
        list->SetSendUserName(QStringLiteral("user"));
        list->SetSendPassword(QStringLiteral("p,ss"));
        list->SetSendAuthentication(true);
        list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email2"), QStringLiteral("email1")});
        list->SetEmailFields(hostapi::fftMobile, {QStringLiteral("mobile")});
        list->SetSendPerUnits(true);
        list->SetMailsPerUnit(250);
        list->SetUnitDelay(15);
        list->SetSendThreads(4);
        list->SetSendPriority(QThread::HighPriority);
        list->SetPreparePriority(QThread::LowestPriority);
        list->SetRegisterServiceFilterEnabled(true);
        list->SetFetchRegisterServiceBeforeSending(true);
        list->SetThrottle(true);
        list->SetChaotic(true);
        list->SetChanged(true);
        f.Dm.Save();
        QVERIFY(list->IDValue() > 0);
        QVERIFY(!list->Changed());
        QCOMPARE(Count("emlists"), 1);

        f.Dm.Load();
        const auto loaded = f.Dm.ByID(list->IDValue());
        QVERIFY(loaded);
        QVERIFY(loaded != list);
        QVERIFY(!loaded->Changed());
        QCOMPARE(loaded->Name(), QStringLiteral("Kunden"));
        QCOMPARE(loaded->SectionName(), QStringLiteral("pelm_addresses_ass"));
        QCOMPARE(loaded->UseGlobalAddress(), false);
        QCOMPARE(loaded->UseGlobalMailServer(), false);
        QCOMPARE(loaded->UseGlobalSMSProvider(), false);
        QCOMPARE(loaded->UseGlobalRegisterService(), false);
        QCOMPARE(loaded->UseGlobalSendSettings(), false);
        QCOMPARE(loaded->SenderName(), QStringLiteral("Muster GmbH"));
        QCOMPARE(loaded->SenderEmail(), QStringLiteral("info@muster.de"));
        QCOMPARE(loaded->ReplyToEmail(), QStringLiteral("antwort@muster.de"));
        QCOMPARE(loaded->MessageSenderDevice(), msdMAPI);
        QCOMPARE(loaded->SMSMessageSenderDevice(), smsdLOX24);
        QCOMPARE(loaded->MailServer(), QStringLiteral("smtp.muster.de:587"));
        QCOMPARE(loaded->SendUserName(), QStringLiteral("user"));
        QCOMPARE(loaded->SendPassword(), QStringLiteral("p,ss"));
        QCOMPARE(loaded->SendAuthentication(), true);
        QCOMPARE(loaded->GetEmailFields(hostapi::fftEmail), (QStringList{"email2", "email1"}));
        QCOMPARE(loaded->GetEmailFields(hostapi::fftMobile), QStringList{"mobile"});
        QCOMPARE(loaded->SendPerUnits(), true);
        QCOMPARE(loaded->MailsPerUnit(), 250);
        QCOMPARE(loaded->UnitDelay(), 15);
        QCOMPARE(loaded->SendThreads(), 4);
        QCOMPARE(loaded->SendPriority(), QThread::HighPriority);
        QCOMPARE(loaded->PreparePriority(), QThread::LowestPriority);
        QCOMPARE(loaded->RegisterServiceFilterEnabled(), true);
        QCOMPARE(loaded->FetchRegisterServiceBeforeSending(), true);
        QCOMPARE(loaded->Throttle(), true);
        QCOMPARE(loaded->Chaotic(), true);
    }

    // A group that follows the global settings keeps the list's own values in its row, so that
    // clearing its box later brings them back.
    void globalGroupsKeepTheListsOwnValues_data() { Backends(); }
    void globalGroupsKeepTheListsOwnValues() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        Fixture f(backend);
        f.Dm.SetGlobalMailServer(QStringLiteral("smtp.global.de"));
        f.Dm.SetGlobalUserName(QStringLiteral("global"));
        f.Dm.SetGlobalPassword(QStringLiteral("secret"));
        f.Dm.SetGlobalAuthentication(false);
        f.Dm.SetGlobalMessageSenderDevice(msdInternal);
        f.Dm.SetGlobalSMSMessageSenderDevice(smsdASPSMS);
        f.Dm.SetGlobalUnitCount(77);
        f.Dm.SetGlobalSendThreads(9);
        const auto list = f.Dm.Add();
        list->SetSenderName(QStringLiteral("own name"));
        list->SetSenderEmail(QStringLiteral("own@muster.de"));
        list->SetReplyToEmail(QStringLiteral("reply@muster.de"));
        list->SetMessageSenderDevice(msdExtSMTP);
        list->SetMailServer(QStringLiteral("own.server"));
        list->SetSendUserName(QStringLiteral("own user"));
        list->SetSendPassword(QStringLiteral("own pass"));
        list->SetSendAuthentication(true);
        list->SetSMSMessageSenderDevice(smsdLOX24);
        list->SetRegisterServiceFilterEnabled(true);
        list->SetFetchRegisterServiceBeforeSending(true);
        list->SetSendPerUnits(true);
        list->SetMailsPerUnit(250);
        list->SetSendThreads(3);
        list->SetUnitDelay(15);
        list->SetThrottle(true);
        list->SetChaotic(true);
        for (auto setter :
             {&TEmailListItem::SetUseGlobalAddress, &TEmailListItem::SetUseGlobalMailServer,
              &TEmailListItem::SetUseGlobalSMSProvider, &TEmailListItem::SetUseGlobalRegisterService,
              &TEmailListItem::SetUseGlobalSendSettings})
            ((*list).*setter)(true);
        QCOMPARE(list->MailServer(), QStringLiteral("smtp.global.de")); // shown: the global value
        list->SetChanged(true);
        f.Dm.Save();
        const qint64 id = list->IDValue();
        const QList<QPair<const char*, QVariant>> row{{"sendername", QStringLiteral("own name")},
                                                      {"senderemail", QStringLiteral("own@muster.de")},
                                                      {"replyemail", QStringLiteral("reply@muster.de")},
                                                      {"userelay", int(msdExtSMTP)},
                                                      {"mailserver", QStringLiteral("own.server")},
                                                      {"sendusername", QStringLiteral("own user")},
                                                      {"sendpassword", QStringLiteral("own pass")},
                                                      {"sendauth", 1},
                                                      {"smsprovider", int(smsdLOX24)},
                                                      {"rsfilter", 1},
                                                      {"rsfetch", 1},
                                                      {"sendperunits", 1},
                                                      {"mailsperunit", 250},
                                                      {"sendthreads", 3},
                                                      {"unitdelay", 15},
                                                      {"throttle", 1},
                                                      {"chaotic", 1},
                                                      {"globalsrv", 1},
                                                      {"useglobadr", 1},
                                                      {"globalsmsprovider", 1},
                                                      {"globalrssvc", 1},
                                                      {"globalsendsettings", 1}};
        for (const auto& [column, value] : row) {
            const QVariant stored = Column(QStringLiteral("emlists"), QString::fromLatin1(column), id);
            QVERIFY2(stored.toString() == value.toString(),
                     qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(column), stored.toString())));
        }

        f.Dm.Load();
        const auto loaded = f.Dm.ByID(static_cast<qint32>(id));
        QVERIFY(loaded->UseGlobalAddress());
        loaded->SetUseGlobalAddress(false);
        loaded->SetUseGlobalMailServer(false);
        QCOMPARE(loaded->SenderEmail(), QStringLiteral("own@muster.de"));
        QCOMPARE(loaded->MessageSenderDevice(), msdExtSMTP);
        QCOMPARE(loaded->SendPassword(), QStringLiteral("own pass"));
    }

    // Integer columns read as True only for 1, or for any non-zero value.
    void loadRules_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<bool>("nonZeroIsTrue");
        for (const char* c : {"globalsrv", "globalsmsprovider", "rsfilter", "rsfetch", "globalrssvc",
                              "throttle", "chaotic", "globalsendsettings"})
            QTest::newRow(c) << QString::fromLatin1(c) << false;
        for (const char* c : {"useglobadr", "sendperunits", "sendauth"})
            QTest::newRow(c) << QString::fromLatin1(c) << true;
    }
    void loadRules() {
        QFETCH(QString, column);
        QFETCH(bool, nonZeroIsTrue);
        Fixture f(Backend::SQLite);
        // Every group uses its own values, so that the getters answer the stored ones.
        QStringList columns{"globalsrv", "globalsmsprovider", "globalrssvc", "globalsendsettings",
                            "useglobadr"};
        columns.removeOne(column);
        QVariantList values{"L", "pelm_addresses_ass"};
        for (qsizetype i = 0; i < columns.size(); ++i)
            values << 0;
        values << 2;
        const qint64 id = hostapi::Database::InsertRow(
            "emlists", QStringList{"name", "tblname"} + columns + QStringList{column}, values);
        const auto list = f.Dm.ByID(static_cast<qint32>(id));
        QVERIFY(list);
        const QHash<QString, std::function<bool()>> read{
            {"globalsrv", [&] { return list->UseGlobalMailServer(); }},
            {"globalsmsprovider", [&] { return list->UseGlobalSMSProvider(); }},
            {"rsfilter", [&] { return list->RegisterServiceFilterEnabled(); }},
            {"rsfetch", [&] { return list->FetchRegisterServiceBeforeSending(); }},
            {"globalrssvc", [&] { return list->UseGlobalRegisterService(); }},
            {"throttle", [&] { return list->Throttle(); }},
            {"chaotic", [&] { return list->Chaotic(); }},
            {"globalsendsettings", [&] { return list->UseGlobalSendSettings(); }},
            {"useglobadr", [&] { return list->UseGlobalAddress(); }},
            {"sendperunits", [&] { return list->SendPerUnits(); }},
            {"sendauth", [&] { return list->SendAuthentication(); }},
        };
        QCOMPARE(read.value(column)(), nonZeroIsTrue);
    }

    void macrosAndConditions_data() { Backends(); }
    void macrosAndConditions() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        Fixture f(backend);
        const auto list = f.Dm.Add();
        list->SetName(QStringLiteral("Kunden"));
        list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
        list->SetChanged(true);
        TMacroList macros;
        TMacroItem* named = macros.Add();
        named->SetMacroName(QStringLiteral("ANREDE"));
        named->Add()->SetCondition(maEQ);
        named->Add()->SetMacroValue(QStringLiteral("Hallo"));
        macros.Add()->SetCaption(QStringLiteral("ohne Namen"));
        list->SetUserMacros(macros);
        f.Dm.GetSchemaMacroList(QStringLiteral("Pelm_X"))->Add()->SetMacroName(QStringLiteral("S1"));
        f.Dm.GetSchemaMacroList(QStringLiteral("pelm_x"))->Add()->SetMacroName(QStringLiteral("S2"));
        QCOMPARE(f.Dm.GetSchemaMacroList(QStringLiteral("PELM_X"))->Count(), 2);
        f.Dm.Save();

        const TMacroList saved = list->UserMacros();
        const qint64 macroId = saved.Items(0)->DBID();
        QVERIFY(macroId > 0);
        QCOMPARE(Count("emlconditions", "\"emlmacros_id\" = ?", {macroId}), 2);
        QCOMPARE(Count("emlmacros", "\"emlists_id\" = ?", {list->IDValue()}), 2);
        QCOMPARE(Count("emlmacros", "\"emlists_id\" = ? AND \"schemaname\" = ?", {-2, "Pelm_X"}), 2);
        // The unnamed macro: empty name at its first insert, "UDF" + id at the next save.
        const qint64 unnamedId = saved.Items(1)->DBID();
        QVERIFY(Column("emlmacros", "macroname", unnamedId).toString().isEmpty());
        TMacroList edited = list->UserMacros();
        edited.Items(1)->SetCaption(QStringLiteral("geändert"));
        edited.Delete(edited.Items(0));
        list->SetUserMacros(edited);
        f.Dm.Save();
        QCOMPARE(Column("emlmacros", "macroname", unnamedId).toString(),
                 QStringLiteral("UDF%1").arg(unnamedId));
        // Deleting a macro removes its conditions with it.
        QCOMPARE(Count("emlmacros", "\"id\" = ?", {macroId}), 0);
        QCOMPARE(Count("emlconditions", "\"emlmacros_id\" = ?", {macroId}), 0);

        f.Dm.Load();
        QCOMPARE(f.Dm.GetSchemaMacroList(QStringLiteral("pelm_X"))->Count(), 2);
        QCOMPARE(f.Dm.ByID(list->IDValue())->UserMacros().Count(), 1);
    }

    // Schema macros are edited on a copy and published in one step; a reader keeps the list it
    // took, and saving never changes a published list.
    void replacedSchemaMacrosArePublishedWhole_data() { Backends(); }
    void replacedSchemaMacrosArePublishedWhole() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        Fixture f(backend);
        const QString schema = QStringLiteral("pelm_addresses_ass");
        f.Dm.Add()->SetChanged(true); // the store saves only with a list in its cache
        TMacroList first;
        first.Add()->SetMacroName(QStringLiteral("ALT"));
        f.Dm.ReplaceSchemaMacros(schema, first);
        f.Dm.Save();
        const std::shared_ptr<TMacroList> held =
            f.Dm.GetSchemaMacroList(QStringLiteral("PELM_ADDRESSES_ASS"));
        QCOMPARE(held->Count(), 1);
        const qint32 oldId = held->Items(0)->DBID();
        QVERIFY(oldId > 0);

        TMacroList edited = *held;
        edited.Delete(edited.Items(0));
        TMacroItem* added = edited.Add();
        added->SetMacroName(QStringLiteral("NEU"));
        added->Add()->SetMacroValue(QStringLiteral("Süd"));
        QCOMPARE(held->Count(), 1); // the copy is the one edited
        f.Dm.ReplaceSchemaMacros(schema, edited);
        const std::shared_ptr<TMacroList> published = f.Dm.GetSchemaMacroList(schema);
        QCOMPARE(held->Items(0)->MacroName(), QStringLiteral("ALT"));
        QCOMPARE(published->Items(0)->MacroName(), QStringLiteral("NEU"));

        f.Dm.Save();
        QCOMPARE(published->Items(0)->DBID(), -1); // not written into
        QVERIFY(published->Items(0)->Changed());
        const std::shared_ptr<TMacroList> saved = f.Dm.GetSchemaMacroList(schema);
        const qint32 newId = saved->Items(0)->DBID();
        QVERIFY(newId > 0);
        QVERIFY(!saved->Items(0)->Changed());
        QCOMPARE(saved->DeleteIDCount(), 0);
        QCOMPARE(Count("emlmacros", "\"id\" = ?", {oldId}), 0);
        QCOMPARE(Count("emlmacros", "\"emlists_id\" = ? AND \"schemaname\" = ?", {-2, schema}), 1);
        QCOMPARE(Count("emlconditions", "\"emlmacros_id\" = ?", {newId}), 1);
        f.Dm.Save(); // nothing pending: no second row
        QCOMPARE(Count("emlmacros"), 1);
        QCOMPARE(f.Dm.GetSchemaMacroList(schema), saved);
    }

    void addWiresCallbacksAndJobsMarkTheirList_data() { Backends(); }
    void addWiresCallbacksAndJobsMarkTheirList() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        testsupport::ScriptedDialogService dialogs;
        Fixture f(backend);
        f.Dm.SetGlobalUnitCount(77);
        f.Dm.SetGlobalMailServer(QStringLiteral("smtp.global.de"));
        f.Dm.SetGlobalSMSMessageSenderDevice(smsdLOX24);
        f.Dm.SetGlobalMessageSenderDevice(msdMAPI);
        f.Dm.SetGlobalRegisterServiceFilterEnabled(true);
        f.Dm.SetGlobalSenderEmail(QStringLiteral("versand@muster.de"));
        auto list = f.Dm.Add();
        QCOMPARE(list->MailsPerUnit(), 77);
        QCOMPARE(list->MailServer(), QStringLiteral("smtp.global.de"));
        QCOMPARE(list->SMSMessageSenderDevice(), smsdLOX24);
        QCOMPARE(list->MessageSenderDevice(), msdMAPI);
        QCOMPARE(list->RegisterServiceFilterEnabled(), true);
        QCOMPARE(list->SenderEmail(), QStringLiteral("versand@muster.de"));
        QVERIFY(list->GlobalTableMacros() == f.Dm.GetSchemaMacroList(list->SectionName()));
        list->SetName(QStringLiteral("Kunden"));
        list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
        list->SetChanged(true);
        f.Dm.Save();

        // Two unsaved lists are never the same list.
        const auto unsavedA = f.Dm.Add();
        const auto unsavedB = f.Dm.Add();
        TBaseEmailSender* onA = f.Dm.Jobs().CreateJob(tjLocal, 9, unsavedA, esPlainText);
        QVERIFY(unsavedA->IsInUseByJob());
        QVERIFY(!unsavedB->IsInUseByJob());
        f.Dm.Jobs().Delete(onA);
        QVERIFY(!unsavedA->IsInUseByJob());

        TBaseEmailSender* first = f.Dm.Jobs().CreateJob(tjLocal, 1, list, esPlainText);
        TBaseEmailSender* second = f.Dm.Jobs().CreateJob(tjLocal, 2, list, esPlainText);
        QVERIFY(list->IsInUseByJob());
        f.Dm.Load();
        const auto reloaded = f.Dm.ByID(list->IDValue());
        QVERIFY(reloaded != list);
        QVERIFY(reloaded->IsInUseByJob());
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVUserMessageException, f.Dm.Delete(reloaded));
        f.Dm.Jobs().Delete(first);
        QVERIFY(reloaded->IsInUseByJob());
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVUserMessageException, f.Dm.Delete(reloaded));
        f.Dm.Jobs().Delete(second);
        QVERIFY(!reloaded->IsInUseByJob());
        f.Dm.Delete(reloaded);
        QCOMPARE(Count("emlists"), 0);
    }

    void clientProvidersThroughTheHost_data() { Backends(); }
    void clientProvidersThroughTheHost() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        RegisterModuleClasses();
        RegisterFormClasses();
        hostapi::TClientPluginBaseGUI plugin(PluginModuleGUID(), 0, PluginDataModuleClasses(),
                                             PluginFormClasses(), true);
        plugin.CreateDataModules();
        QCOMPARE(plugin.ModuleName(), QStringLiteral("EmailMarketing"));
        auto* dm = qobject_cast<TdmPluginEmailMarketingMain*>(plugin.DataModules().first());
        hostapi::IExtFuncPluginEmailMarketing* ext =
            plugin.GetExtFunc<hostapi::IExtFuncPluginEmailMarketing>();
        QVERIFY(ext);
        QCOMPARE(dm->GetExtFunc(QStringLiteral("{0D03F319-712D-483B-AD94-ED1AC1F3586B}")), nullptr);

        // A row of a provider that is not registered stays untouched and out of the cache.
        hostapi::Database::InsertRow("emlists", {"clientident", "clientlistident", "name"},
                                     {"OTHER", "X", "fremd"});
        auto provider = std::make_shared<TestProvider>();
        // DeleteClientList of a list not yet loaded loads first; here nothing matches yet.
        ext->RegisterClientProvider(provider);
        QCOMPARE(dm->Count(), 2);
        // Registering again changes nothing: the cache is not rebuilt.
        const auto before = dm->ByClient(QStringLiteral("CRM"), QStringLiteral("L2"));
        ext->RegisterClientProvider(provider);
        QCOMPARE(dm->ByClient(QStringLiteral("CRM"), QStringLiteral("L2")), before);
        QCOMPARE(dm->Count(), 2);
        QCOMPARE(Count("emlists"), 3);
        QCOMPARE(Count("emlists", "\"clientident\" = ?", {"CRM"}), 2);
        const auto l1 = dm->ByClient(QStringLiteral("CRM"), QStringLiteral("L1"));
        QVERIFY(l1);
        QCOMPARE(l1->Name(), QStringLiteral("Kunden Köln"));
        QCOMPARE(l1->SectionName(), QStringLiteral("pelm_addresses_ass"));
        QCOMPARE(l1->FieldsToIgnoreInSelection(), QStringList{"birthday"});
        QCOMPARE(l1->AdvFilters().Count(), 1);
        QCOMPARE(l1->AdvFilters()[0].FieldName, QStringLiteral("city"));
        QCOMPARE(l1->AdvFilters()[0].Value.toString(), QStringLiteral("Köln"));
        QCOMPARE(l1->UseGlobalMailServer(), true);
        QCOMPARE(l1->UseGlobalSMSProvider(), true);
        QCOMPARE(l1->GetEmailFields(hostapi::fftEmail), (QStringList{"email1", "email2"}));
        QVERIFY(!l1->Changed());
        const qint32 l1Id = l1->IDValue();

        // Unregister and register again: the same row comes back.
        ext->UnRegisterClientProvider(provider);
        QCOMPARE(dm->Count(), 0);
        ext->RegisterClientProvider(provider);
        QCOMPARE(dm->ByClient(QStringLiteral("CRM"), QStringLiteral("L1"))->IDValue(), l1Id);
        QCOMPARE(Count("emlists"), 3);

        // A stored row whose name differs is rewritten with the provider's name.
        hostapi::Database::Exec(QStringLiteral("UPDATE \"emlists\" SET \"name\" = ? WHERE \"id\" = ?"),
                                {"alt", l1Id});
        dm->Load();
        QCOMPARE(Column("emlists", "name", l1Id).toString(), QStringLiteral("Kunden Köln"));

        // A list that a job uses is not deleted.
        TBaseEmailSender* job = dm->Jobs().CreateJob(
            tjLocal, 3, dm->ByClient(QStringLiteral("CRM"), QStringLiteral("L2")), esPlainText);
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVUserMessageException, ext->DeleteClientList(provider, 1));
        QCOMPARE(Count("emlists", "\"clientlistident\" = ?", {"L2"}), 1);
        dm->Jobs().Delete(job);

        // DeleteClientList of a list not loaded yet loads first, then deletes its row.
        dm->ListStore().Clear();
        ext->DeleteClientList(provider, 0);
        QCOMPARE(Count("emlists", "\"id\" = ?", {l1Id}), 0);
        QCOMPARE(Count("emlists", "\"clientident\" = ?", {"OTHER"}), 1);

        // From BeforeUnInit on, providers are forgotten and none is taken any more.
        dm->BeforeUnInit();
        QCOMPARE(provider.use_count(), 1);
        ext->RegisterClientProvider(provider);
        QCOMPARE(provider.use_count(), 1);
    }

    void unknownConditionCodeIsReportedOnce() {
        testsupport::RecordingMessageSink sink;
        Fixture f(Backend::SQLite);
        const qint64 list =
            hostapi::Database::InsertRow("emlists", {"name", "tblname"}, {"L", "pelm_addresses_ass"});
        const qint64 macro =
            hostapi::Database::InsertRow("emlmacros", {"emlists_id", "macroname"}, {list, "M"});
        hostapi::Database::InsertRow("emlconditions", {"emlmacros_id", "condition", "valuem"},
                                     {macro, 9, "nie"});
        hostapi::Database::InsertRow("emlconditions", {"emlmacros_id", "condition", "valuem"},
                                     {macro, 0, "immer"});
        const TMacroList macros = f.Dm.ByID(static_cast<qint32>(list))->UserMacros();
        QCOMPARE(sink.Messages().size(), 1);
        QVERIFY2(sink.Messages().first().Text.contains(QLatin1String("code 9")),
                 qPrintable(sink.Messages().first().Text));
        hostapi::Database::InsertRow("pelm_addresses_ass", {"name"}, {"x"});
        hostapi::TQVRecordSet records(QStringLiteral("pelm_addresses_ass"));
        records.Open();
        QCOMPARE(macros.Items(0)->GetMacroValue(0, records), QStringLiteral("immer"));
    }

    void failedLoadEmptiesTheCache() {
        Fixture f(Backend::SQLite);
        f.Dm.Add()->SetChanged(true);
        hostapi::Database::Exec(QStringLiteral("DROP TABLE \"emlmacros\""));
        hostapi::Database::InsertRow("emlists", {"name"}, {"L"});
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, f.Dm.Load());
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, f.Dm.Count());
    }

    void emptyFieldSetIsFilledWithoutChange() {
        Fixture f(Backend::SQLite);
        const qint64 id =
            hostapi::Database::InsertRow("emlists", {"name", "tblname"}, {"L", "pelm_addresses_ass"});
        const auto list = f.Dm.ByID(static_cast<qint32>(id));
        QCOMPARE(list->GetEmailFields(hostapi::fftEmail), (QStringList{"email1", "email2"}));
        QCOMPARE(list->GetEmailFields(hostapi::fftMobile), QStringList{"mobile"});
        QVERIFY(!list->Changed());
        QCOMPARE(TEmailListStore::GetEmailFieldsFromSchema(QStringLiteral("nosuchschema"), 2), QString());
        QCOMPARE(TEmailListStore::GetEmailFieldsFromSchema(QStringLiteral("pelm_addresses_ass"), 16),
                 QString());
    }

private:
    static void Backends() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
};

QTEST_MAIN(tst_EmailListStore)
#include "tst_EmailListStore.moc"
