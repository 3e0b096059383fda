// The register service's main data module: its settings, the fetch interface other modules call,
// and the scheduler action.

#include "HostLibraries.h"
#include "MessageSink.h"
#include "QVException.h"
#include "QVMainInterface.h"
#include "QVRegistrationPartHandler.h"
#include "RegisterServiceClient.h"
#include "RegisterServiceFixture.h"
#include "SchedulePlugin.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "dmPluginRegisterServiceMain.h"
#include "support/HostDoubles.h"
#include "support/HttpStub.h"
#include "support/TestDatabase.h"

#include <QtTest>

using namespace registerservice;
using testsupport::HttpStub;
using testsupport::TestDatabase;

namespace {

// The host's settings store, counting the flushes.
class FlushCountingStore : public hostapi::ISettingsStore {
public:
    FlushCountingStore() { hostapi::TQVMainInterface::SetSaveSettings(this); }
    ~FlushCountingStore() override { hostapi::TQVMainInterface::SetSaveSettings(nullptr); }
    QString ReadString(const QString& s, const QString& k) override { return Store().ReadString(s, k); }
    void WriteString(const QString& s, const QString& k, const QString& v) override {
        Store().WriteString(s, k, v);
    }
    int ReadInteger(const QString& s, const QString& k, int d) override {
        return Store().ReadInteger(s, k, d);
    }
    void WriteInteger(const QString& s, const QString& k, int v) override { Store().WriteInteger(s, k, v); }
    void Flush() override { ++Flushes; }
    std::atomic<int> Flushes{0};

private:
    static hostapi::ISettingsStore& Store() { return hostapi::SettingsStore::Instance(); }
};

class RecordingCallBack : public hostapi::IScheduleExecuteCallBack {
public:
    void Report(const QString& ACaption, hostapi::MessageKind AKind, const QString& AText) override {
        Reports << QStringLiteral("%1|%2|%3").arg(ACaption).arg(int(AKind)).arg(AText);
    }
    QStringList Reports;
};

} // namespace

class tst_dmPluginRegisterServiceMain : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        hostapi::HostLibraries::Initialize();
        hostapi::TQVRegistrationPartHandler::RegisterWithHost();
    }

    void settingsLiveInSectionRegsrvAndReachTheClient() {
        TestDatabase tdb;
        FlushCountingStore store;
        TdmPluginRegisterServiceMain dm(nullptr);
        QCOMPARE(dmPluginRegisterServiceMain, &dm);
        dm.SetFetchURL("http://h/rs");
        dm.SetFetchUser("u");
        dm.SetFetchPassword("p ä");
        QCOMPARE(store.Flushes.load(), 0); // only the stamp is flushed
        dm.SetLastFetchStamp("S1");
        QCOMPARE(store.Flushes.load(), 1);
        QCOMPARE(hostapi::StringDataToStr(store.ReadString("REGSRV", "PWD"), true), QStringLiteral("p ä"));
        QCOMPARE(hostapi::StringDataToStr(store.ReadString("REGSRV", "FETCHURL"), true),
                 QStringLiteral("http://h/rs"));
        dm.Init();
        QCOMPARE(dm.RegisterServiceClient().BaseURL(), QStringLiteral("http://h/rs"));
        QCOMPARE(dm.RegisterServiceClient().UserName(), QStringLiteral("u"));
        QCOMPARE(dm.RegisterServiceClient().Password(), QStringLiteral("p ä"));
        QCOMPARE(dm.RegisterServiceClient().LastFetchStamp(), QStringLiteral("S1"));
    }

    void offersOnlyItsOwnInterface() {
        TestDatabase tdb;
        TdmPluginRegisterServiceMain dm(nullptr);
        QVERIFY(dm.GetExtFunc<hostapi::IExtFuncPluginRegisterService>() == &dm);
        QVERIFY(dm.GetExtFunc(QStringLiteral("{00000000-0000-0000-0000-000000000001}")) == nullptr);
    }

    void emptyUrlAnswersFalseOrRaises() {
        TestDatabase tdb;
        testsupport::RecordingMessageSink sink;
        TdmPluginRegisterServiceMain dm(nullptr);
        dm.Init();
        QVERIFY(!dm.FetchRegisterService(false, false));
        QCOMPARE(sink.Messages().size(), 1);
        QCOMPARE(sink.Messages()[0].Text,
                 QStringLiteral("Register-Service Error: URL to Register-Service not configured!"));
        QCOMPARE(sink.Messages()[0].Kind, hostapi::MessageKind::Error);
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVUserMessageException, dm.FetchRegisterService(false, true));
        QCOMPARE(sink.Messages().size(), 1);
    }

    void completeImportStoresAndFlushesTheStamp() {
        TestDatabase tdb;
        FlushCountingStore store;
        HttpStub stub(
            HttpStub::Script({HttpStub::Route(
                "/rs/fetch.php", {rstest::Ok(rstest::Answer(rstest::Registration(1, "x@example.org"), "S5")),
                                  QJsonObject{{"status", 500}}})}),
            HttpStub::Options{"u:p", false});
        TdmPluginRegisterServiceMain dm(nullptr);
        dm.SetFetchURL(stub.Url("/rs").toString());
        dm.SetFetchUser("u");
        dm.SetFetchPassword("p");
        dm.Init();
        dm.AfterStartup();
        QVERIFY(dm.FetchRegisterService(false, true));
        QCOMPARE(dm.LastFetchStamp(), QStringLiteral("S5"));
        QCOMPARE(store.Flushes.load(), 1);

        testsupport::RecordingMessageSink sink;
        QVERIFY(!dm.FetchRegisterService(false, false)); // 500
        QVERIFY(sink.Messages().value(0).Text.startsWith("Register-Service Error: HTTP request to"));
        QCOMPARE(dm.LastFetchStamp(), QStringLiteral("S5"));
        dm.BeforeUnInit();
        QVERIFY(!dm.FetchRegisterService(false, false)); // after shut-down
    }

    void schedulerActionReportsAndNeverRaises_data() {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QString>("report");
        QTest::newRow("success")
            << true << "Register-Service aktualisieren|0|Register-Service wurde erfolgreich aktualisiert.";
        QTest::newRow("not configured")
            << false << "Register-Service aktualisieren|2|URL to Register-Service not configured!";
    }
    void schedulerActionReportsAndNeverRaises() {
        QFETCH(bool, configured);
        QFETCH(QString, report);
        TestDatabase tdb;
        HttpStub stub(
            HttpStub::Script({HttpStub::Route("/rs/fetch.php", {rstest::Ok(rstest::Answer({}, "S"))})}));
        TdmPluginRegisterServiceMain dm(nullptr);
        if (configured)
            dm.SetFetchURL(stub.Url("/rs").toString());
        dm.Init();
        dm.AfterStartup();
        hostapi::TSchedulePlugin& scheduler = dm.SchedulePlugin();
        QCOMPARE(scheduler.ActionCount(), 1);
        QCOMPARE(scheduler.Action(0).Identifier, QStringLiteral("{01E3FADE-2C6F-4E4F-9E1D-1E2087BD0B23}"));
        RecordingCallBack callBack;
        QVariant data(42);
        bool success = !configured;
        scheduler.Execute(0, callBack, data, success);
        QCOMPARE(success, configured);
        QCOMPARE(callBack.Reports, QStringList{report});
        QCOMPARE(data, QVariant(42));
    }
};

QTEST_MAIN(tst_dmPluginRegisterServiceMain)
#include "tst_dmPluginRegisterServiceMain.moc"
