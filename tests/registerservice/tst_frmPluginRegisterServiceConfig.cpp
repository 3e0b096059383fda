// The register service's configuration window offscreen against the stub endpoint: the settings it
// shows and writes, the reset of the fetch stamp (also while a slow fetch streams), and the tabs of
// part handlers with a configuration form.

#include "HostLibraries.h"
#include "IRegisterServicePartHandler.h"
#include "ProgressService.h"
#include "QVRegistrationPartHandler.h"
#include "RegisterServiceClient.h"
#include "RegisterServiceFixture.h"
#include "VRNLang.h"
#include "dmPluginRegisterServiceMain.h"
#include "frmPluginRegisterServiceConfig.h"
#include "support/HostDoubles.h"
#include "support/HttpStub.h"
#include "support/TestDatabase.h"
#include "support/WindowTestHelpers.h"

#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>

using namespace registerservice;
using hostapi::TModalResult;
using testsupport::Click;
using testsupport::Find;
using testsupport::HttpStub;
using testsupport::TestDatabase;

Q_DECLARE_METATYPE(hostapi::TModalResult)

namespace {

const QString AskReset =
    QStringLiteral("Möchten Sie den Register-Server wirklich zurücksetzen?\n"
                   "Wenn Sie dies tun, werden beim nächsten Mal alle Daten neu eingelesen!");

// A part handler with a configuration form that records what the window does with it.
class ConfigFormHandler : public hostapi::IRegisterServicePartHandler {
public:
    class ConfigForm : public hostapi::IRegisterServiceConfigForm {
    public:
        ConfigForm(QWidget* AParent, QStringList& ALog)
            : FWidget(new QLabel(QStringLiteral("Form"), AParent)), FLog(ALog) {
            FWidget->setObjectName(QStringLiteral("lblHandlerForm"));
        }
        ~ConfigForm() override {
            FLog << QStringLiteral("destroyed, sheet %1")
                        .arg(FWidget && FWidget->parentWidget() ? "alive" : "gone");
            delete FWidget;
        }
        void PlaceOn(QWidget* ASheet, bool AFill) override {
            FLog << QStringLiteral("place %1 fill=%2").arg(ASheet->objectName()).arg(AFill);
            FWidget->setParent(ASheet);
            auto* layout = new QVBoxLayout(ASheet);
            layout->addWidget(FWidget);
        }
        QString Caption() const override {
            FLog << QStringLiteral("caption");
            return QStringLiteral("Handler-Einstellungen");
        }
        QWidget* Form() override { return FWidget; }
        void SetFormVisible(bool AVisible) override {
            FLog << QStringLiteral("visible %1").arg(AVisible);
            FWidget->setVisible(AVisible);
        }

    private:
        QPointer<QLabel> FWidget;
        QStringList& FLog;
    };

    explicit ConfigFormHandler(QStringList& ALog) : FLog(ALog) {}
    QString PartName() const override { return QStringLiteral("configured"); }
    void ImportItem(const QString&, const hostapi::TQVXMLElement&) override {}
    void BeginImport(hostapi::TQVXMLImportProcessor&, const hostapi::TQVXMLElement&) override {}
    void EndImport() override {}
    bool HasConfigForm() const override { return true; }
    hostapi::IRegisterServiceConfigForm* CreateConfigForm(QWidget* AParent) override {
        FLog << QStringLiteral("create");
        return new ConfigForm(AParent, FLog);
    }
    QString LogCaption() const override { return {}; }
    QString LogSchema() const override { return {}; }

private:
    QStringList& FLog;
};

// The main data module with stored settings and a client that still holds other values.
struct Module {
    TdmPluginRegisterServiceMain Dm{nullptr};
    explicit Module(const QString& AUrl = QStringLiteral("http://127.0.0.1:9/rs"),
                    const QString& AStamp = QStringLiteral("S1")) {
        Dm.SetFetchURL(AUrl);
        Dm.SetFetchUser(QStringLiteral("rsuser"));
        Dm.SetFetchPassword(QStringLiteral("geheim"));
        Dm.SetLastFetchStamp(AStamp);
        Dm.Init();
        Dm.AfterStartup();
    }
};

void Open(TfrmPluginRegisterServiceConfig& AWindow) {
    AWindow.show();
    AWindow.NotifyShown();
}

void Retype(QWidget& AWindow, const char* AName, const QString& AText) {
    auto* edit = Find<QLineEdit>(AWindow, AName);
    edit->selectAll();
    QTest::keyClicks(edit, AText);
}

} // namespace

class tst_frmPluginRegisterServiceConfig : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }
    void cleanup() { hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void showsTheSettingsAndWritesThemOnClose_data() {
        QTest::addColumn<bool>("edit");
        QTest::newRow("edited") << true;
        QTest::newRow("unchanged, the client is reloaded all the same") << false;
    }
    void showsTheSettingsAndWritesThemOnClose() {
        QFETCH(bool, edit);
        TestDatabase tdb;
        Module module;
        TRegisterServiceClient& client = module.Dm.RegisterServiceClient();
        client.SetBaseURL(QStringLiteral("stale"));
        client.SetUserName(QStringLiteral("stale"));
        client.SetPassword(QStringLiteral("stale"));
        TfrmPluginRegisterServiceConfig window;
        Open(window);
        QCOMPARE(window.windowTitle(), QStringLiteral("Einstellungen Register-Service"));
        QCOMPARE(Find<QLineEdit>(window, "edtFetchURL")->text(), QStringLiteral("http://127.0.0.1:9/rs"));
        QCOMPARE(Find<QLineEdit>(window, "edtFetchUser")->text(), QStringLiteral("rsuser"));
        QCOMPARE(Find<QLineEdit>(window, "edtFetchPassword")->text(), QStringLiteral("geheim"));
        QCOMPARE(Find<QLineEdit>(window, "edtFetchPassword")->echoMode(), QLineEdit::Password);
        QCOMPARE(Find<QLineEdit>(window, "edtFetchURL")->echoMode(), QLineEdit::Normal);
        QCOMPARE(Find<QTabWidget>(window, "PageControl")->count(), 1);
        QCOMPARE(Find<QTabWidget>(window, "PageControl")->tabText(0), QStringLiteral("Server"));

        const QString url =
            edit ? QStringLiteral("https://rs.example.org/api/") : QStringLiteral("http://127.0.0.1:9/rs");
        const QString user = edit ? QStringLiteral("neu") : QStringLiteral("rsuser");
        const QString password = edit ? QStringLiteral("p &x1") : QStringLiteral("geheim");
        if (edit) {
            Retype(window, "edtFetchURL", url);
            Retype(window, "edtFetchUser", user);
            Retype(window, "edtFetchPassword", password);
        }
        QVERIFY(window.close());
        QCOMPARE(module.Dm.FetchURL(), url);
        QCOMPARE(module.Dm.FetchUser(), user);
        QCOMPARE(module.Dm.FetchPassword(), password);
        QCOMPARE(module.Dm.LastFetchStamp(), QStringLiteral("S1"));
        QCOMPARE(client.BaseURL(), url);
        QCOMPARE(client.UserName(), user);
        QCOMPARE(client.Password(), password);
        QCOMPARE(client.LastFetchStamp(), QStringLiteral("S1"));
    }

    void resetAsksAndOnlyYesClearsTheStamp_data() {
        QTest::addColumn<TModalResult>("answer");
        QTest::newRow("yes") << hostapi::mrYes;
        QTest::newRow("no") << hostapi::mrNo;
        QTest::newRow("cancel") << hostapi::mrCancel;
    }
    void resetAsksAndOnlyYesClearsTheStamp() {
        QFETCH(TModalResult, answer);
        TestDatabase tdb;
        HttpStub stub(
            HttpStub::Script({HttpStub::Route("/rs/fetch.php", {rstest::Ok(rstest::Answer({}, "S2"))})}),
            HttpStub::Options{"neu:geheim", false});
        Module module(QStringLiteral("http://127.0.0.1:9/old"));
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(answer);
        TfrmPluginRegisterServiceConfig window;
        Open(window);
        Retype(window, "edtFetchURL", stub.Url("/rs").toString());
        Retype(window, "edtFetchUser", QStringLiteral("neu"));
        Click(window, "QVButton1");

        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions[0].Text, AskReset);
        QCOMPARE(dialogs.Questions[0].Type, hostapi::mtWarning);
        QCOMPARE(dialogs.Questions[0].Buttons, hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel);
        TRegisterServiceClient& client = module.Dm.RegisterServiceClient();
        if (answer != hostapi::mrYes) {
            QCOMPARE(module.Dm.FetchURL(), QStringLiteral("http://127.0.0.1:9/old"));
            QCOMPARE(module.Dm.FetchUser(), QStringLiteral("rsuser"));
            QCOMPARE(module.Dm.LastFetchStamp(), QStringLiteral("S1"));
            QCOMPARE(client.BaseURL(), QStringLiteral("http://127.0.0.1:9/old"));
            QCOMPARE(client.LastFetchStamp(), QStringLiteral("S1"));
            return;
        }
        QCOMPARE(module.Dm.FetchURL(), stub.Url("/rs").toString());
        QCOMPARE(module.Dm.FetchUser(), QStringLiteral("neu"));
        QCOMPARE(module.Dm.FetchPassword(), QStringLiteral("geheim"));
        QCOMPARE(module.Dm.LastFetchStamp(), QString());
        QCOMPARE(client.BaseURL(), stub.Url("/rs").toString());
        QCOMPARE(client.LastFetchStamp(), QString());
        module.Dm.Fetch(false);
        QCOMPARE(stub.Requests().value(0)["path"].toString(), QStringLiteral("/rs/fetch.php?action=all"));
        QCOMPARE(module.Dm.LastFetchStamp(), QStringLiteral("S2"));
    }

    // 1 MiB in pieces of 1 KiB every 50 ms: a fetch of almost a minute that the reset ends at once.
    void aResetDuringASlowFetchEndsItAndTheNextFetchReadsAll() {
        TestDatabase tdb;
        testsupport::RecordingExceptionDisplay display;
        QJsonObject slow =
            rstest::Ok(rstest::Answer("<!-- " + QString(1 << 20, QLatin1Char('x')) + " -->", "S9"));
        slow.insert("chunk", QJsonArray{1024, 50});
        HttpStub stub(HttpStub::Script(
                          {HttpStub::Route("/rs/fetch.php", {slow, rstest::Ok(rstest::Answer({}, "S3"))})}),
                      HttpStub::Options{"rsuser:geheim", false});
        Module module;
        module.Dm.SetFetchURL(stub.Url("/rs").toString());
        module.Dm.InitRegisterClient();
        module.Dm.FetchWithProgress();
        QVERIFY(stub.WaitForRequests(1));
        QCOMPARE(stub.Requests()[0]["path"].toString(), QStringLiteral("/rs/fetch.php?action=last&last=S1"));

        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(hostapi::mrYes);
        TfrmPluginRegisterServiceConfig window;
        Open(window);
        QElapsedTimer clock;
        clock.start();
        Click(window, "QVButton1");
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        TRegisterServiceClient& client = module.Dm.RegisterServiceClient();
        QTRY_COMPARE(client.RunningThreadCount(), 0);
        QCOMPARE(module.Dm.LastFetchStamp(), QString());
        QCOMPARE(client.LastFetchStamp(), QString());
        QTRY_COMPARE(hostapi::ProgressService::Instance().Entries().size(), 0);
        QVERIFY(display.Records().isEmpty()); // the cancel is the user's own doing

        module.Dm.Fetch(false);
        QCOMPARE(stub.Requests().size(), 2);
        QCOMPARE(stub.Requests()[1]["path"].toString(), QStringLiteral("/rs/fetch.php?action=all"));
        QCOMPARE(module.Dm.LastFetchStamp(), QStringLiteral("S3"));
    }

    void aHandlerWithAConfigFormGetsATab() {
        TestDatabase tdb;
        Module module;
        QStringList log, plainLog;
        QMutex plainLock;
        rstest::HandlerRegistration handlers;
        handlers.Add(std::make_shared<rstest::RecordingHandler>("plain", plainLog, plainLock));
        handlers.Add(std::make_shared<ConfigFormHandler>(log));
        auto window = std::make_unique<TfrmPluginRegisterServiceConfig>();
        Open(*window);
        auto* pages = Find<QTabWidget>(*window, "PageControl");
        QCOMPARE(pages->count(), 2);
        QCOMPARE(pages->tabText(1), QStringLiteral("Handler-Einstellungen"));
        QWidget* sheet = pages->widget(1);
        auto* form = Find<QLabel>(*window, "lblHandlerForm");
        QCOMPARE(form->parentWidget(), sheet);
        QCOMPARE(log, QStringList({"create", "caption",
                                   QStringLiteral("place %1 fill=1").arg(sheet->objectName()), "visible 1"}));
        pages->setCurrentIndex(1);
        QVERIFY(form->isVisible());
        QVERIFY(window->close());
        QCOMPARE(pages->count(), 1);
        QCOMPARE(log.last(), QStringLiteral("destroyed, sheet alive")); // the form goes before its sheet
        window.reset();
        QCOMPARE(log.size(), 5);
    }

    void grabsInGermanAndEnglish() {
        TestDatabase tdb;
        Module module;
        QStringList log;
        rstest::HandlerRegistration handlers;
        handlers.Add(std::make_shared<ConfigFormHandler>(log));
        for (const QString& language : {QStringLiteral("German"), QStringLiteral("English")}) {
            hostapi::TVRNLang::SetCurrentLanguage(language);
            TfrmPluginRegisterServiceConfig window;
            window.SetLanguage(language);
            Open(window);
            QVERIFY(testsupport::SaveGrab(window, QStringLiteral(QV_GRAB_DIR), language));
            if (language == QLatin1String("English")) {
                QCOMPARE(window.windowTitle(), QStringLiteral("Register-Service settings"));
                QCOMPARE(Find<QPushButton>(window, "QVButton1")->text(),
                         QStringLiteral("&Reset server data"));
            } else {
                QCOMPARE(Find<QGroupBox>(window, "QVGroupBoxEx7")->title(),
                         QStringLiteral("Einstellungen Register-Service"));
                QCOMPARE(Find<QLabel>(window, "Label10")->text(),
                         QStringLiteral("&URL auf Register-Service Internet-Seite:"));
                QCOMPARE(Find<QPushButton>(window, "QVButton1")->text(),
                         QStringLiteral("Server-Daten &zurücksetzen"));
            }
            window.close();
        }
    }
};

QTEST_MAIN(tst_frmPluginRegisterServiceConfig)
#include "tst_frmPluginRegisterServiceConfig.moc"
