#include "DemoData.h"
#include "HostMainWindow.h"
#include "HostSettingsDialog.h"

#include "Database.h"
#include "PelmarisPlugin.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QtTest>

using testsupport::TestDatabase;

namespace {

QComboBox* Choice(const qvhost::HostSettingsDialog& ADialog) {
    return ADialog.findChild<QComboBox*>(QStringLiteral("cbxCompanyAddress"));
}

qint64 AddressIDOf(const QString& ACity) {
    QSqlQuery query = hostapi::Database::Exec(
        QStringLiteral("SELECT \"id\" FROM \"pelm_addresses_ass\" WHERE \"city\" = ?"), {ACity});
    return query.next() ? query.value(0).toLongLong() : -1;
}

} // namespace

// The host's settings window: the company address of the address module.
class tst_HostSettingsDialog : public QObject {
    Q_OBJECT

private slots:
    void addressText_data();
    void addressText();
    void offersNoneAndEveryAddress();
    void addressesInListOrder_data();
    void addressesInListOrder();
    void okStoresTheChosenAddress_data();
    void okStoresTheChosenAddress();
    void cancelStoresNothing();
    void missingStoredAddressIsKept();
    void activeStateIsEditable();
    void fileMenuOpensTheDialog();
};

void tst_HostSettingsDialog::addressText_data() {
    QTest::addColumn<QVariant>("company");
    QTest::addColumn<QVariant>("name");
    QTest::addColumn<QVariant>("firstName");
    QTest::addColumn<QVariant>("city");
    QTest::addColumn<QString>("expected");
    const QVariant null(QMetaType::fromType<QString>());
    QTest::newRow("all") << QVariant("Bäckerei Weber") << QVariant("Weber") << QVariant("Klaus")
                         << QVariant("Köln") << QStringLiteral("Bäckerei Weber – Weber, Klaus (Köln)");
    QTest::newRow("no company") << null << QVariant("Fischer") << QVariant("Maria") << QVariant("Hamburg")
                                << QStringLiteral("Fischer, Maria (Hamburg)");
    QTest::newRow("company only") << QVariant("Koch Consulting") << null << QVariant("  ") << null
                                  << QStringLiteral("Koch Consulting");
    QTest::newRow("city only") << null << null << null << QVariant("Bremen") << QStringLiteral("Bremen");
    QTest::newRow("nothing") << null << QVariant("") << null << null << QString();
}

void tst_HostSettingsDialog::addressText() {
    QFETCH(QVariant, company);
    QFETCH(QVariant, name);
    QFETCH(QVariant, firstName);
    QFETCH(QVariant, city);
    QFETCH(QString, expected);
    QCOMPARE(qvhost::HostSettingsDialog::AddressText(company, name, firstName, city), expected);
}

void tst_HostSettingsDialog::addressesInListOrder_data() {
    TestDatabase::AddBackendColumn();
    TestDatabase::AddBackendRows();
}

// Company, name, first name, id; text by the ICU root collation ("Bäckerei" before "Becker", case
// only after the letters); a missing or empty text after every text, the same on both backends.
void tst_HostSettingsDialog::addressesInListOrder() {
    QFETCH(testsupport::Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    TestDatabase db(backend);
    const QVariant null(QMetaType::fromType<QString>());
    struct Row {
        QVariant Company, Name, FirstName;
        const char* City;
    };
    const Row rows[] = {
        {"Zahn AG", null, "Otto", "z-none"},
        {null, "Fischer", "Maria", "none-fischer"},
        {"Zahn AG", "Arnold", "Paul", "z-arnold-1"},
        {"Becker Elektrotechnik", "Becker", "Julia", "becker"},
        {"", "Adler", "Anna", "empty-adler"},
        {"Zahn AG", "Arnold", null, "z-arnold-none"},
        {"Bäckerei Weber", "Weber", "Klaus", "baeckerei"},
        {"zahn ag", "Brandt", "Eva", "zahn-lower"},
        {"Zahn AG", "Arnold", "Paul", "z-arnold-2"},
        {"Österreich Reisen", "Ober", "", "oesterreich"},
        {"Zahn AG", "arnold", "Paula", "z-arnold-lower"},
    };
    for (const Row& row : rows)
        hostapi::Database::InsertRow(QStringLiteral("pelm_addresses_ass"),
                                     {QStringLiteral("companyname"), QStringLiteral("name"),
                                      QStringLiteral("surname"), QStringLiteral("city")},
                                     {row.Company, row.Name, row.FirstName, QString::fromUtf8(row.City)});
    QStringList cities;
    for (const qvhost::AddressChoice& choice : qvhost::HostSettingsDialog::ReadAddresses())
        cities.append(choice.Text.section(QLatin1Char('('), -1).chopped(1));
    QCOMPARE(cities,
             (QStringList{"baeckerei", "becker", "oesterreich", "zahn-lower", "z-arnold-lower", "z-arnold-1",
                          "z-arnold-2", "z-arnold-none", "z-none", "empty-adler", "none-fischer"}));
}

void tst_HostSettingsDialog::offersNoneAndEveryAddress() {
    TestDatabase db;
    qvhost::SeedDemoAddresses();
    const qint64 nameless = hostapi::Database::InsertRow(QStringLiteral("pelm_addresses_ass"), {}, {});

    qvhost::HostSettingsDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Einstellungen"));
    QComboBox* choice = Choice(dialog);
    QCOMPARE(choice->count(), 1 + qvhost::DemoAddressCount() + 1);
    QCOMPARE(choice->itemText(0), QStringLiteral("(keine)"));
    QCOMPARE(dialog.SelectedAddressID(), -1);
    QVERIFY(choice->findText(QStringLiteral("Bäckerei Weber – Weber, Klaus (Köln)")) > 0);
    QCOMPARE(choice->itemText(choice->findData(nameless)), QStringLiteral("Adresse %1").arg(nameless));
}

void tst_HostSettingsDialog::okStoresTheChosenAddress_data() {
    QTest::addColumn<QString>("city"); // of the chosen address; empty: none
    QTest::newRow("an address") << QStringLiteral("Köln");
    QTest::newRow("none") << QString();
}

void tst_HostSettingsDialog::okStoresTheChosenAddress() {
    QFETCH(QString, city);
    TestDatabase db;
    qvhost::SeedDemoAddresses();
    hostapi::TPelmarisPlugin pelmaris;
    pelmaris.SetCompanyAddressID(AddressIDOf(QStringLiteral("Bremen")));
    const qint64 chosen = city.isEmpty() ? -1 : AddressIDOf(city);

    {
        qvhost::HostSettingsDialog dialog;
        QCOMPARE(dialog.SelectedAddressID(), AddressIDOf(QStringLiteral("Bremen")));
        dialog.SelectAddressID(chosen);
        dialog.findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    QCOMPARE(pelmaris.GetCompanyAddressID(), chosen);
    qvhost::HostSettingsDialog again;
    QCOMPARE(again.SelectedAddressID(), chosen);
}

void tst_HostSettingsDialog::cancelStoresNothing() {
    TestDatabase db;
    qvhost::SeedDemoAddresses();
    qvhost::HostSettingsDialog dialog;
    dialog.SelectAddressID(AddressIDOf(QStringLiteral("Köln")));
    dialog.findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(hostapi::TPelmarisPlugin().GetCompanyAddressID(), -1);
}

void tst_HostSettingsDialog::missingStoredAddressIsKept() {
    TestDatabase db;
    qvhost::SeedDemoAddresses();
    hostapi::TPelmarisPlugin pelmaris;
    pelmaris.SetCompanyAddressID(987654);

    qvhost::HostSettingsDialog dialog;
    QCOMPARE(dialog.SelectedAddressID(), 987654);
    QCOMPARE(Choice(dialog)->currentText(), QStringLiteral("Adresse 987654 (nicht mehr vorhanden)"));
    dialog.Save();
    QCOMPARE(pelmaris.GetCompanyAddressID(), 987654);
}

void tst_HostSettingsDialog::activeStateIsEditable() {
    TestDatabase db;
    hostapi::TPelmarisPlugin pelmaris;
    pelmaris.WriteDefaultSettings();
    {
        qvhost::HostSettingsDialog dialog;
        QCOMPARE(dialog.ActiveState(), 1);
        dialog.SetActiveState(3);
        dialog.findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    }
    QCOMPARE(pelmaris.GetRegisterServiceActiveState(), 3);
    qvhost::HostSettingsDialog again;
    QCOMPARE(again.ActiveState(), 3);
    again.SetActiveState(0);
    again.findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
    QCOMPARE(pelmaris.GetRegisterServiceActiveState(), 3);
}

void tst_HostSettingsDialog::fileMenuOpensTheDialog() {
    TestDatabase db;
    qvhost::SeedDemoAddresses();
    testsupport::RecordingExceptionDisplay display;
    qvhost::HostMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    window.actSettings()->trigger();
    auto* dialog = window.findChild<qvhost::HostSettingsDialog*>();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    dialog->SelectAddressID(AddressIDOf(QStringLiteral("Leipzig")));
    dialog->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    QCOMPARE(hostapi::TPelmarisPlugin().GetCompanyAddressID(), AddressIDOf(QStringLiteral("Leipzig")));
    QVERIFY(display.Records().isEmpty());
}

QTEST_MAIN(tst_HostSettingsDialog)
#include "tst_HostSettingsDialog.moc"
