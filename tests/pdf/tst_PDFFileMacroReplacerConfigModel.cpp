// What the PDF attachment settings panel reads from the settings, writes for the permissions and
// enables, without widgets.

#include "PDFFileMacroReplacerConfigModel.h"

#include <QMap>
#include <QTest>

using namespace emailmarketing;
using Model = PDFFileMacroReplacerConfigModel;

Q_DECLARE_METATYPE(QList<int>)

namespace {

// "Name=value" lines as the panel's lookup reads them.
Model::TSettingLookup Lookup(const QStringList& ALines) {
    QMap<QString, QString> values;
    for (const QString& line : ALines) {
        const int eq = line.indexOf(QLatin1Char('='));
        values.insert(line.left(eq), line.mid(eq + 1));
    }
    return [values](const QString& AName) { return values.value(AName); };
}

} // namespace

class tst_PDFFileMacroReplacerConfigModel : public QObject {
    Q_OBJECT

private slots:
    void loadReadsTheChoices_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<bool>("flatten");
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("encryption");
        QTest::addColumn<bool>("all");
        QTest::addColumn<QList<int>>("permissions");
        QTest::newRow("no keys: defaults, nothing checked")
            << QStringList{} << false << 0 << 0 << false << QList<int>{};
        QTest::newRow("Flatten=1 flattens")
            << QStringList{"Flatten=1"} << true << 0 << 0 << false << QList<int>{};
        QTest::newRow("Flatten=True does not")
            << QStringList{"Flatten=True"} << false << 0 << 0 << false << QList<int>{};
        QTest::newRow("ordinals read")
            << QStringList{"Compression=2", "Encryption=1"} << false << 2 << 1 << false << QList<int>{};
        QTest::newRow("no number, out of range: 0")
            << QStringList{"Compression=x", "Encryption=3"} << false << 0 << 0 << false << QList<int>{};
        QTest::newRow("8 is all, no item")
            << QStringList{"Permissions=8"} << false << 0 << 0 << true << QList<int>{};
        QTest::newRow("8,1 is ordinal 1 only")
            << QStringList{"Permissions=8,1"} << false << 0 << 0 << false << QList<int>{1};
        QTest::newRow("listed in any order")
            << QStringList{"Permissions=7,0,4"} << false << 0 << 0 << false << QList<int>{0, 4, 7};
        QTest::newRow("letters and large numbers check nothing")
            << QStringList{"Permissions=a,15,12"} << false << 0 << 0 << false << QList<int>{};
        QTest::newRow("empty value: nothing")
            << QStringList{"Permissions="} << false << 0 << 0 << false << QList<int>{};
    }
    void loadReadsTheChoices() {
        QFETCH(QStringList, settings);
        QFETCH(bool, flatten);
        QFETCH(int, compression);
        QFETCH(int, encryption);
        QFETCH(bool, all);
        QFETCH(QList<int>, permissions);
        const Model::TChoices choices = Model::Load(Lookup(settings));
        QCOMPARE(choices.Flatten, flatten);
        QCOMPARE(choices.Compression, compression);
        QCOMPARE(choices.Encryption, encryption);
        QCOMPARE(choices.PermissionAll, all);
        QCOMPARE(choices.Permissions, permissions);
    }

    void loadReadsThePasswordsAsTheyStand() {
        const Model::TChoices choices =
            Model::Load(Lookup({"InputPassword= in ", "OwnerPassword=o=1,", "UserPassword=ü"}));
        QCOMPARE(choices.InputPassword, QStringLiteral(" in "));
        QCOMPARE(choices.OwnerPassword, QStringLiteral("o=1,"));
        QCOMPARE(choices.UserPassword, QStringLiteral("ü"));
    }

    void permissionsValue_data() {
        QTest::addColumn<bool>("all");
        QTest::addColumn<QList<int>>("checked");
        QTest::addColumn<QString>("value");
        QTest::newRow("all wins over items") << true << QList<int>{1, 2} << "8";
        QTest::newRow("items in list order") << false << QList<int>{0, 3, 7} << "0,3,7";
        QTest::newRow("none: empty") << false << QList<int>{} << "";
    }
    void permissionsValue() {
        QFETCH(bool, all);
        QFETCH(QList<int>, checked);
        QFETCH(QString, value);
        QCOMPARE(Model::PermissionsValue(all, checked), value);
    }

    void controlStates_data() {
        QTest::addColumn<bool>("available");
        QTest::addColumn<int>("encryption");
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("all");
        QTest::addColumn<bool>("allEnabled");
        QTest::addColumn<bool>("listEnabled");
        QTest::newRow("pdftk, no encryption, no password") << true << 0 << ""
                                                           << "" << false << false << false;
        QTest::newRow("pdftk, 40 bit") << true << 1 << ""
                                       << "" << false << true << true;
        QTest::newRow("pdftk, 128 bit, all checked") << true << 2 << ""
                                                     << "" << true << true << false;
        QTest::newRow("owner password without encryption") << true << 0 << "o"
                                                           << "" << false << true << true;
        QTest::newRow("user password without encryption") << true << 0 << ""
                                                          << "u" << false << true << true;
        QTest::newRow("no pdftk, encryption only") << false << 2 << ""
                                                   << "" << false << false << false;
        QTest::newRow("no pdftk, owner password") << false << 0 << "o"
                                                  << "" << false << true << true;
        QTest::newRow("no pdftk, user password, all") << false << 0 << ""
                                                      << "u" << true << true << false;
    }
    void controlStates() {
        QFETCH(bool, available);
        QFETCH(int, encryption);
        QFETCH(QString, owner);
        QFETCH(QString, user);
        QFETCH(bool, all);
        QFETCH(bool, allEnabled);
        QFETCH(bool, listEnabled);
        const Model::TControlStates states = Model::ControlStates(available, encryption, owner, user, all);
        QCOMPARE(states.PermissionAllEnabled, allEnabled);
        QCOMPARE(states.PermissionListEnabled, listEnabled);
        QCOMPARE(states.OptionsEnabled, available);
        QCOMPARE(states.NotAvailableVisible, !available);
    }
};

QTEST_APPLESS_MAIN(tst_PDFFileMacroReplacerConfigModel)
#include "tst_PDFFileMacroReplacerConfigModel.moc"
