// Rules of the global settings window without its widgets: enabling by transport and options, the
// reply field's position, the credit text, the page of the show parameters, the gateways' pages.

#include "GlobalSettingsRules.h"

#include "QVException.h"
#include "SettingsStore.h"
#include "StringData.h"

#include <QHash>
#include <QTest>

using namespace emailmarketing;
using namespace emailmarketing::GlobalSettingsRules;

namespace {

// Settings in memory.
class MemorySettings : public hostapi::ISettingsStore {
public:
    QString ReadString(const QString& s, const QString& k) override {
        return FValues.value(s.toUpper() + '/' + k.toUpper());
    }
    void WriteString(const QString& s, const QString& k, const QString& v) override {
        FValues.insert(s.toUpper() + '/' + k.toUpper(), v);
    }
    int ReadInteger(const QString& s, const QString& k, int d) override {
        bool ok = false;
        const int v = ReadString(s, k).toInt(&ok);
        return ok ? v : d;
    }
    void WriteInteger(const QString& s, const QString& k, int v) override {
        WriteString(s, k, QString::number(v));
    }
    void Flush() override {}

private:
    QHash<QString, QString> FValues;
};

} // namespace

class tst_GlobalSettingsRules : public QObject {
    Q_OBJECT

private slots:
    void serverPageState_data();
    void serverPageState();
    void replyField_data();
    void replyField();
    void creditText_data();
    void creditText();
    void creditTextRefusesNoNumber();
    void pageOfShowParams_data();
    void pageOfShowParams();
    void gatewayPages_data();
    void gatewayPages();
    void stateIDOf_data();
    void stateIDOf();
};

void tst_GlobalSettingsRules::serverPageState_data() {
    QTest::addColumn<int>("device");
    QTest::addColumn<bool>("none");
    QTest::addColumn<bool>("auth");
    QTest::addColumn<bool>("unitSend");
    // server, label, useAuth, user, password, mapiInfo, internalInfo, unitCount, threads
    QTest::addColumn<QString>("expected");
    QTest::newRow("relay, packets")
        << int(msdInternal) << false << true << true
        << "server=0 label= auth=0 user=0 pass=0 mapi=0 internal=1 units=1 threads=1";
    QTest::newRow("relay, no packets")
        << int(msdInternal) << false << false << false
        << "server=0 label= auth=0 user=0 pass=0 mapi=0 internal=1 units=0 threads=0";
    QTest::newRow("smtp with authentication")
        << int(msdExtSMTP) << false << true << true
        << "server=1 label=IDS_ExtSMTP auth=1 user=1 pass=1 mapi=0 internal=0 "
           "units=1 threads=0";
    QTest::newRow("smtp without authentication")
        << int(msdExtSMTP) << false << false << false
        << "server=1 label=IDS_ExtSMTP auth=1 user=0 pass=0 mapi=0 internal=0 units=0 threads=0";
    QTest::newRow("mail program, authentication off")
        << int(msdMAPI) << false << false << true
        << "server=1 label=IDS_MAPI auth=0 user=0 pass=1 mapi=1 internal=0 units=1 threads=0";
    QTest::newRow("mail program, authentication box still checked")
        << int(msdMAPI) << false << true << false
        << "server=1 label=IDS_MAPI auth=0 user=0 pass=1 mapi=1 internal=0 units=0 threads=0";
    QTest::newRow("nothing checked")
        << int(msdExtSMTP) << true << true << true
        << "server=0 label= auth=0 user=0 pass=0 mapi=0 internal=0 units=1 threads=0";
}

void tst_GlobalSettingsRules::serverPageState() {
    QFETCH(int, device);
    QFETCH(bool, none);
    QFETCH(bool, auth);
    QFETCH(bool, unitSend);
    QFETCH(QString, expected);
    const TServerPageState s =
        ServerPageState(static_cast<TMessageSenderDevice>(device), none, auth, unitSend);
    const QString got =
        QStringLiteral("server=%1 label=%2 auth=%3 user=%4 pass=%5 mapi=%6 internal=%7 units=%8 threads=%9")
            .arg(int(s.MailServerEnabled))
            .arg(s.MailServerLabelId)
            .arg(int(s.UseAuthEnabled))
            .arg(int(s.UserNameEnabled))
            .arg(int(s.PasswordEnabled))
            .arg(int(s.MAPIInfoVisible))
            .arg(int(s.InternalInfoVisible))
            .arg(int(s.UnitCountEnabled))
            .arg(int(s.SendThreadsEnabled));
    QCOMPARE(got, expected);
}

void tst_GlobalSettingsRules::replyField_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("saved");
    QTest::newRow("second e-mail field") << "email2" << 1 << "email2";
    QTest::newRow("no longer an e-mail field") << "name" << -1 << "";
    QTest::newRow("nothing stored") << "" << -1 << "";
}

void tst_GlobalSettingsRules::replyField() {
    QFETCH(QString, stored);
    QFETCH(int, index);
    QFETCH(QString, saved);
    const QStringList fields{QStringLiteral("email1"), QStringLiteral("email2")};
    QCOMPARE(ReplyFieldIndex(fields, stored), index);
    QCOMPARE(ReplyFieldAt(fields, index), saved);
    QCOMPARE(ReplyFieldAt(fields, 2), QString());
}

void tst_GlobalSettingsRules::creditText_data() {
    QTest::addColumn<QString>("credits");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("expected");
    const QLocale de(QLocale::German, QLocale::Germany);
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("German decimal comma") << "12.5" << de << "Sie haben 12,5 Credits.";
    QTest::newRow("whole number gets one decimal") << "7" << de << "Sie haben 7,0 Credits.";
    QTest::newRow("rounded to one decimal") << "3.14159" << en << "Sie haben 3.1 Credits.";
    QTest::newRow("no group separator") << "12345.25" << de << "Sie haben 12345,3 Credits.";
    QTest::newRow("zero") << "0" << en << "Sie haben 0.0 Credits.";
}

void tst_GlobalSettingsRules::creditText() {
    QFETCH(QString, credits);
    QFETCH(QLocale, locale);
    QFETCH(QString, expected);
    QCOMPARE(CreditText(QStringLiteral("Sie haben %s Credits."), credits, locale), expected);
}

void tst_GlobalSettingsRules::creditTextRefusesNoNumber() {
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException,
                             CreditText(QStringLiteral("%s"), QStringLiteral("viele"), QLocale::c()));
}

void tst_GlobalSettingsRules::pageOfShowParams_data() {
    QTest::addColumn<QVariant>("params");
    QTest::addColumn<int>("page");
    QTest::newRow("none") << QVariant() << int(spNone);
    QTest::newRow("EMAILSERVER") << QVariant(QStringLiteral("EMAILSERVER")) << int(spEmailServer);
    QTest::newRow("SMSPROVIDER") << QVariant(QStringLiteral("SMSPROVIDER")) << int(spSMSProvider);
    QTest::newRow("list with both: the server first")
        << QVariant(QStringList{QStringLiteral("SMSPROVIDER"), QStringLiteral("EMAILSERVER")})
        << int(spEmailServer);
    QTest::newRow("other parameter") << QVariant(QStringLiteral("LISTS")) << int(spNone);
}

void tst_GlobalSettingsRules::pageOfShowParams() {
    QFETCH(QVariant, params);
    QFETCH(int, page);
    QCOMPARE(int(PageOfShowParams(params)), page);
}

void tst_GlobalSettingsRules::gatewayPages_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("key");
    QTest::newRow("ASPSMS registration") << int(gpASPSMSRegistration) << "ASPSMSREGURL";
    QTest::newRow("ASPSMS home") << int(gpASPSMSHome) << "ASPSMSHOMEURL";
    QTest::newRow("LOX24 registration") << int(gpLOX24Registration) << "LOX24REGURL";
    QTest::newRow("LOX24 home") << int(gpLOX24Home) << "LOX24HOMEURL";
}

void tst_GlobalSettingsRules::gatewayPages() {
    QFETCH(int, page);
    QFETCH(QString, key);
    const auto p = static_cast<TGatewayPage>(page);
    MemorySettings settings;
    QCOMPARE(GatewayPageKey(p), key);
    QVERIFY(GatewayPageDefault(p).startsWith(QStringLiteral("https://")));
    QCOMPARE(GatewayPage(settings, p), GatewayPageDefault(p));
    const QString configured = QStringLiteral("https://sms.example.org/%1?a=b").arg(key);
    settings.WriteString(QStringLiteral("EMLMARK"), key, hostapi::StrToStringData(configured));
    QCOMPARE(GatewayPage(settings, p), configured);
}

void tst_GlobalSettingsRules::stateIDOf_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<qint64>("id");
    QTest::newRow("no selection") << QVariant() << qint64(-1);
    QTest::newRow("null key") << QVariant(QMetaType::fromType<qint64>()) << qint64(-1);
    QTest::newRow("id") << QVariant(qint64(4)) << qint64(4);
    QTest::newRow("large id") << QVariant(qint64(5000000000LL)) << qint64(5000000000LL);
}

void tst_GlobalSettingsRules::stateIDOf() {
    QFETCH(QVariant, value);
    QFETCH(qint64, id);
    QCOMPARE(StateIDOf(value), id);
}

QTEST_GUILESS_MAIN(tst_GlobalSettingsRules)
#include "tst_GlobalSettingsRules.moc"
