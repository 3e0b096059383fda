#include "DemoData.h"
#include "HostMainWindow.h"

#include "Database.h"
#include "QVException.h"
#include "QVGlobalMenuClient.h"
#include "support/TestDatabase.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QtTest>

#include <memory>

using hostapi::Database;
using testsupport::Backend;
using testsupport::TestDatabase;

namespace {

qint64 CountOf(const QString& sql, const QVariantList& binds = {}) {
    QSqlQuery query = Database::Exec(sql, binds);
    if (!query.next())
        throw hostapi::EQVDatabaseException(QStringLiteral("no row: ") + sql);
    return query.value(0).toLongLong();
}

} // namespace

class tst_HostMainWindow : public QObject {
    Q_OBJECT

private slots:
    void seedsDemoAddressesOnlyIntoAnEmptyTable_data();
    void seedsDemoAddressesOnlyIntoAnEmptyTable();
    void demoAddressesCoverTheRecipientCases_data();
    void demoAddressesCoverTheRecipientCases();
    void windowHasFileMenuWithExitAndShowsTheDatabase();
    void exitClosesTheWindow();
    void windowGrabsToAnImage();
    void globalMenusShowTheClientsActionsWhileTheyLive();

private:
    void Backends();
};

void tst_HostMainWindow::Backends() {
    QTest::addColumn<Backend>("backend");
    QTest::newRow("sqlite") << Backend::SQLite;
    QTest::newRow("postgresql") << Backend::PostgreSQL;
}

// Opens the backend of the current data row; a macro because QFETCH and QSKIP act on the test function.
#define OPEN_TEST_DATABASE(db)                                                                               \
    QFETCH(Backend, backend);                                                                                \
    if (backend == Backend::PostgreSQL && !TestDatabase::PostgresAvailable())                                \
        QSKIP(TestDatabase::PostgresSkipReason());                                                           \
    TestDatabase db(backend)

void tst_HostMainWindow::seedsDemoAddressesOnlyIntoAnEmptyTable_data() {
    Backends();
}

void tst_HostMainWindow::seedsDemoAddressesOnlyIntoAnEmptyTable() {
    OPEN_TEST_DATABASE(db);
    QCOMPARE(qvhost::SeedDemoAddresses(), qvhost::DemoAddressCount());
    QCOMPARE(CountOf(QStringLiteral("SELECT COUNT(*) FROM pelm_addresses_ass")), qvhost::DemoAddressCount());

    // Second start on the same database.
    const hostapi::DatabaseConfig config = Database::Config();
    Database::Close();
    Database::Open(config);
    QCOMPARE(qvhost::SeedDemoAddresses(), 0);
    QCOMPARE(CountOf(QStringLiteral("SELECT COUNT(*) FROM pelm_addresses_ass")), qvhost::DemoAddressCount());
    QCOMPARE(CountOf(QStringLiteral("SELECT COUNT(*) FROM pelm_addresses_det")), qvhost::DemoAddressCount());
}

void tst_HostMainWindow::demoAddressesCoverTheRecipientCases_data() {
    Backends();
}

void tst_HostMainWindow::demoAddressesCoverTheRecipientCases() {
    OPEN_TEST_DATABASE(db);
    qvhost::SeedDemoAddresses();

    // Every address has its detail row, active and inactive ones exist.
    QCOMPARE(CountOf(QStringLiteral("SELECT COUNT(*) FROM pelm_addresses_ass a "
                                    "JOIN pelm_addresses_det d ON d.id = a.id")),
             qvhost::DemoAddressCount());
    QVERIFY(CountOf(QStringLiteral("SELECT COUNT(*) FROM pelm_addresses_det WHERE isactive = 1")) > 0);
    QVERIFY(CountOf(QStringLiteral("SELECT COUNT(*) FROM pelm_addresses_det WHERE isactive = 0")) > 0);
    // Only the second e-mail field set.
    QVERIFY(CountOf(QStringLiteral("SELECT COUNT(*) FROM pelm_addresses_ass "
                                   "WHERE email1 IS NULL AND email2 IS NOT NULL")) > 0);
    // No e-mail at all, but a mobile number.
    QVERIFY(CountOf(QStringLiteral("SELECT COUNT(*) FROM pelm_addresses_ass "
                                   "WHERE email1 IS NULL AND email2 IS NULL AND mobile IS NOT NULL")) > 0);
    // Mail goes to the reserved example domains only; text round-trips as Unicode.
    QSqlQuery mails =
        Database::Exec(QStringLiteral("SELECT email1 FROM pelm_addresses_ass WHERE email1 IS NOT NULL "
                                      "UNION ALL SELECT email2 FROM pelm_addresses_ass "
                                      "WHERE email2 IS NOT NULL"));
    int mailCount = 0;
    while (mails.next()) {
        const QString mail = mails.value(0).toString();
        QVERIFY2(mail.endsWith(QLatin1String("@example.com")) || mail.endsWith(QLatin1String("@example.org")),
                 qPrintable(mail));
        ++mailCount;
    }
    QVERIFY(mailCount > 0);
    QCOMPARE(CountOf(QStringLiteral("SELECT COUNT(*) FROM pelm_addresses_ass WHERE city = ? AND street = ?"),
                     {QStringLiteral("Köln"), QStringLiteral("Marktplatz 3")}),
             1);
}

void tst_HostMainWindow::windowHasFileMenuWithExitAndShowsTheDatabase() {
    TestDatabase db;
    qvhost::HostMainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("QV Host"));

    const QList<QAction*> menus = window.menuBar()->actions();
    QVERIFY(!menus.isEmpty());
    QCOMPARE(menus.first()->text().remove(QLatin1Char('&')), QStringLiteral("Datei"));
    QCOMPARE(menus.first()->menu(), window.mnuFile());
    QVERIFY(window.mnuFile()->actions().contains(window.actExit()));
    QCOMPARE(window.actExit()->text().remove(QLatin1Char('&')), QStringLiteral("Beenden"));

    const QLabel* lblDatabase = window.findChild<QLabel*>(QStringLiteral("lblDatabase"));
    QVERIFY(lblDatabase);
    QCOMPARE(lblDatabase->text(), QStringLiteral("Datenbank: ") + db.SqlitePath());
}

// A window or data module places actions in "Neu", "Importieren" and "Exportieren" of "Datei"; they
// leave the menus with their client.
void tst_HostMainWindow::globalMenusShowTheClientsActionsWhileTheyLive() {
    TestDatabase db;
    qvhost::HostMainWindow window;
    QCOMPARE(window.GlobalMenus().size(), 3);
    QStringList titles;
    for (QMenu* menu : window.GlobalMenus()) {
        titles << menu->title();
        QVERIFY(window.mnuFile()->actions().contains(menu->menuAction()));
        QVERIFY(!menu->menuAction()->isEnabled());
    }
    QCOMPARE(titles, (QStringList{"&Neu", "&Importieren", "E&xportieren"}));

    auto owner = std::make_unique<QObject>();
    auto* client = new hostapi::TQVGlobalMenuClient(owner.get());
    auto* actImportTemplate = new QAction(QStringLiteral("Vorlage importieren..."), owner.get());
    auto* actImportHTML = new QAction(QStringLiteral("HTML-Quelltext importieren..."), owner.get());
    auto* actExportTemplate = new QAction(QStringLiteral("Vorlage exportieren..."), owner.get());
    client->AddAction(QStringLiteral("GMNU_Import"), actImportTemplate);
    client->AddAction(QStringLiteral("GMNU_Export"), actExportTemplate);
    client->AddAction(QStringLiteral("GMNU_Import"), actImportHTML);
    QCOMPARE(window.GlobalMenus().at(1)->actions(), (QList<QAction*>{actImportTemplate, actImportHTML}));
    QCOMPARE(window.GlobalMenus().at(2)->actions(), QList<QAction*>{actExportTemplate});
    QVERIFY(window.GlobalMenus().at(0)->actions().isEmpty());
    QVERIFY(window.GlobalMenus().at(1)->menuAction()->isEnabled());
    QVERIFY(!window.GlobalMenus().at(0)->menuAction()->isEnabled());

    // The language switch renames the menus, not the entries.
    window.SwitchLanguage(QStringLiteral("English"));
    QCOMPARE(window.GlobalMenus().at(2)->title(), QStringLiteral("Ex&port"));
    QCOMPARE(window.GlobalMenus().at(2)->actions(), QList<QAction*>{actExportTemplate});
    window.SwitchLanguage(QStringLiteral("German"));

    owner.reset();
    for (QMenu* menu : window.GlobalMenus()) {
        QVERIFY(menu->actions().isEmpty());
        QVERIFY(!menu->menuAction()->isEnabled());
    }
    QVERIFY(hostapi::TQVGlobalMenu::Instance().Actions(QStringLiteral("GMNU_Import")).isEmpty());
}

void tst_HostMainWindow::exitClosesTheWindow() {
    TestDatabase db;
    qvhost::HostMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    window.actExit()->trigger();
    QVERIFY(!window.isVisible());
}

void tst_HostMainWindow::windowGrabsToAnImage() {
    TestDatabase db;
    qvhost::SeedDemoAddresses();
    qvhost::HostMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QImage image = window.grab().toImage();
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), window.size() * window.devicePixelRatio());
    // Something is drawn: the menu bar and status bar texts differ from the background.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height() && colours.size() < 2; y += 3)
        for (int x = 0; x < image.width() && colours.size() < 2; x += 3)
            colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() >= 2, "the grabbed window is a single colour");
}

QTEST_MAIN(tst_HostMainWindow)
#include "tst_HostMainWindow.moc"
