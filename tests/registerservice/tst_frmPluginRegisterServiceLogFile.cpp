// The register service's log window offscreen: one tab per part handler with a log table, each read
// only when its tab is shown.

#include "Database.h"
#include "HostLibraries.h"
#include "QVDBGrid.h"
#include "QVRecordSet.h"
#include "QVRecordSetModel.h"
#include "QVRegistrationPartHandler.h"
#include "RegisterServiceFixture.h"
#include "VRNLang.h"
#include "frmPluginRegisterServiceLogFile.h"
#include "support/TestDatabase.h"
#include "support/WindowTestHelpers.h"

#include <QTabWidget>
#include <QtTest>

using namespace registerservice;
using testsupport::Find;
using testsupport::TestDatabase;

namespace {

// A part handler that only names its log.
class LogHandler : public hostapi::IRegisterServicePartHandler {
public:
    LogHandler(QString ACaption, QString ASchema)
        : FCaption(std::move(ACaption)), FSchema(std::move(ASchema)) {}
    QString PartName() const override { return QStringLiteral("log"); }
    void ImportItem(const QString&, const hostapi::TQVXMLElement&) override {}
    void BeginImport(hostapi::TQVXMLImportProcessor&, const hostapi::TQVXMLElement&) override {}
    void EndImport() override {}
    bool HasConfigForm() const override { return false; }
    hostapi::IRegisterServiceConfigForm* CreateConfigForm(QWidget*) override { return nullptr; }
    QString LogCaption() const override { return FCaption; }
    QString LogSchema() const override { return FSchema; }

private:
    QString FCaption;
    QString FSchema;
};

void AddRegistration(const QString& AEmail) {
    hostapi::Database::InsertRow(QStringLiteral("qvregistrations"), {QStringLiteral("email")}, {AEmail});
}

} // namespace

class tst_frmPluginRegisterServiceLogFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }
    void cleanup() { hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void oneTabPerLogReadWhenItIsShown() {
        TestDatabase tdb;
        AddRegistration(QStringLiteral("a@example.org"));
        rstest::HandlerRegistration handlers;
        handlers.Add(std::make_shared<hostapi::TQVRegistrationPartHandler>());
        handlers.Add(std::make_shared<LogHandler>(QStringLiteral("Ohne Log"), QString()));
        handlers.Add(
            std::make_shared<LogHandler>(QStringLiteral("Zweites Log"), QStringLiteral("qvregistrations")));

        TfrmPluginRegisterServiceLogFile window;
        auto* pages = Find<QTabWidget>(window, "PageControl");
        QCOMPARE(pages->count(), 2);
        QCOMPARE(pages->tabText(0), QStringLiteral("Anmeldungen"));
        QCOMPARE(pages->tabText(1), QStringLiteral("Zweites Log"));
        QCOMPARE(window.Tabs().size(), size_t(2));
        const TTabData& first = *window.Tabs()[0];
        const TTabData& second = *window.Tabs()[1];
        QCOMPARE(first.RecordSet().SchemaName(), QStringLiteral("qvregistrations"));
        QVERIFY(!first.RecordSet().Active()); // nothing read before the window is shown

        window.show();
        window.NotifyShown();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(first.RecordSet().Active());
        QVERIFY(!second.RecordSet().Active());
        QCOMPARE(first.Grid()->model()->rowCount(), 1);
        QCOMPARE(first.GetGridView()->Value(0, QStringLiteral("email")),
                 QVariant(QStringLiteral("a@example.org")));

        AddRegistration(QStringLiteral("b@example.org"));
        pages->setCurrentIndex(1);
        QVERIFY(second.RecordSet().Active());
        QCOMPARE(second.Grid()->model()->rowCount(), 2); // the table as it is when the tab is shown
        QCOMPARE(first.Grid()->model()->rowCount(), 1);
        pages->setCurrentIndex(0);
        QCOMPARE(first.Grid()->model()->rowCount(), 1); // read once

        QVERIFY(window.close());
        QCOMPARE(pages->count(), 0);
        QVERIFY(window.Tabs().empty());
    }

    void withoutALogThereAreNoTabs() {
        TestDatabase tdb;
        rstest::HandlerRegistration handlers;
        handlers.Add(std::make_shared<LogHandler>(QStringLiteral("Ohne Log"), QString()));
        TfrmPluginRegisterServiceLogFile window;
        window.show();
        window.NotifyShown();
        QCOMPARE(Find<QTabWidget>(window, "PageControl")->count(), 0);
        QCOMPARE(window.windowTitle(), QStringLiteral("Register-Service Logdatei"));
    }

    void grabsInGermanAndEnglish() {
        TestDatabase tdb;
        AddRegistration(QStringLiteral("a@example.org"));
        rstest::HandlerRegistration handlers;
        handlers.Add(std::make_shared<hostapi::TQVRegistrationPartHandler>());
        for (const QString& language : {QStringLiteral("German"), QStringLiteral("English")}) {
            hostapi::TVRNLang::SetCurrentLanguage(language);
            TfrmPluginRegisterServiceLogFile window;
            window.SetLanguage(language);
            window.NotifyShown();
            QVERIFY(testsupport::SaveGrab(window, QStringLiteral(QV_GRAB_DIR), language));
            QCOMPARE(window.windowTitle(), language == QLatin1String("English")
                                               ? QStringLiteral("Register-Service log file")
                                               : QStringLiteral("Register-Service Logdatei"));
            window.close();
        }
    }
};

QTEST_MAIN(tst_frmPluginRegisterServiceLogFile)
#include "tst_frmPluginRegisterServiceLogFile.moc"
