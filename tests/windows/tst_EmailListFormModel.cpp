#include "DBFieldSchema.h"
#include "EmailListFormModel.h"
#include "EmailListItem.h"

#include <QtTest>

using namespace emailmarketing;
using hostapi::TDBFieldSchema;
using Form = EmailListFormModel::TForm;

namespace {

const hostapi::IDBFieldSchemaItem* Addresses() {
    return &TDBFieldSchema::Instance().RequireSchema(QStringLiteral("pelm_addresses_ass"));
}

// A list whose own values all differ from the global ones its handlers answer.
void OwnValues(TEmailListItem& AList) {
    AList.SetSenderName(QStringLiteral("Own Name"));
    AList.SetSenderEmail(QStringLiteral("own@list.example"));
    AList.SetReplyToEmail(QStringLiteral("reply@list.example"));
    AList.SetMessageSenderDevice(msdExtSMTP);
    AList.SetMailServer(QStringLiteral("smtp.list.example"));
    AList.SetSendUserName(QStringLiteral("ownuser"));
    AList.SetSendPassword(QStringLiteral("ownpass"));
    AList.SetSendAuthentication(true);
    AList.SetSMSMessageSenderDevice(smsdLOX24);
    AList.SetRegisterServiceFilterEnabled(true);
    AList.SetFetchRegisterServiceBeforeSending(true);
    AList.SetSendPerUnits(true);
    AList.SetMailsPerUnit(250);
    AList.SetSendThreads(4);
    AList.SetUnitDelay(7);
    AList.SetThrottle(true);
    AList.SetChaotic(true);
    AList.SetOnGetGlobalAddressInfo([](const TEmailListItem&, QString& n, QString& e, QString& r) {
        n = QStringLiteral("Global Name");
        e = QStringLiteral("global@firm.example");
        r = QStringLiteral("greply@firm.example");
    });
    AList.SetOnGetGlobalSenderDevice([](const TEmailListItem&, TMessageSenderDevice& d) { d = msdMAPI; });
    AList.SetOnGetGlobalMailServer([](const TEmailListItem&, QString& s, QString& u, QString& p, bool& a) {
        s = QStringLiteral("Outlook");
        u = QStringLiteral("guser");
        p = QStringLiteral("gpass");
        a = false;
    });
    AList.SetOnGetGlobalSMSSenderDevice(
        [](const TEmailListItem&, TSMSMessageSenderDevice& d) { d = smsdASPSMS; });
    AList.SetOnGetGlobalRegisterService([](const TEmailListItem&, bool& f, bool& b) { f = b = false; });
    AList.SetOnGetGlobalSendSettings(
        [](const TEmailListItem&, bool& u, int& c, int& t, int& d, bool& th, bool& ch) {
            u = false;
            c = 99;
            t = 2;
            d = 1;
            th = ch = false;
        });
}

void UseGlobal(TEmailListItem& AList, bool AValue) {
    AList.SetUseGlobalAddress(AValue);
    AList.SetUseGlobalMailServer(AValue);
    AList.SetUseGlobalSMSProvider(AValue);
    AList.SetUseGlobalRegisterService(AValue);
    AList.SetUseGlobalSendSettings(AValue);
}

} // namespace

Q_DECLARE_METATYPE(EmailListFormModel::TEnabling)

class tst_EmailListFormModel : public QObject {
    Q_OBJECT

private slots:
    void loadThenStoreWithoutEditsKeepsEveryOwnValue_data() {
        QTest::addColumn<bool>("useGlobal");
        QTest::newRow("own settings") << false;
        QTest::newRow("global settings shown") << true;
    }
    // Storing what was shown changes no own value, also where the global values were shown.
    void loadThenStoreWithoutEditsKeepsEveryOwnValue() {
        QFETCH(bool, useGlobal);
        TEmailListItem list;
        OwnValues(list);
        UseGlobal(list, useGlobal);
        list.SetSectionName(QStringLiteral("pelm_addresses_ass"));
        list.SetEmailFields(2, {QStringLiteral("email2")});
        list.SetEmailFields(11, {QStringLiteral("mobile")});
        const Form shown = EmailListFormModel::Load(list);
        EmailListFormModel::Store(shown, list);
        UseGlobal(list, false);
        const Form own = EmailListFormModel::Load(list);
        QCOMPARE(own.SenderName, QStringLiteral("Own Name"));
        QCOMPARE(own.SenderEmail, QStringLiteral("own@list.example"));
        QCOMPARE(own.ReplyToEmail, QStringLiteral("reply@list.example"));
        QCOMPARE(own.Device, int(msdExtSMTP));
        QCOMPARE(own.MailServer, QStringLiteral("smtp.list.example"));
        QCOMPARE(own.SendUserName, QStringLiteral("ownuser"));
        QCOMPARE(own.SendPassword, QStringLiteral("ownpass"));
        QVERIFY(own.SendAuthentication);
        QCOMPARE(own.SMSDevice, int(smsdLOX24));
        QVERIFY(own.RegisterServiceFilterEnabled);
        QVERIFY(own.FetchRegisterServiceBeforeSending);
        QVERIFY(own.SendPerUnits);
        QCOMPARE(own.MailsPerUnit, 250);
        QCOMPARE(own.UnitDelay, 7);
        QVERIFY(own.Throttle);
        QVERIFY(own.Chaotic);
        // the external server runs one thread, whatever was stored before
        QCOMPARE(own.SendThreads, useGlobal ? 4 : 1);
        QCOMPARE(own.EmailFields, QStringList{"email2"});
        QCOMPARE(own.MobileFields, QStringList{"mobile"});
        QVERIFY(list.Changed());
    }

    void globalBoxShowsGlobalValues() {
        TEmailListItem list;
        OwnValues(list);
        UseGlobal(list, true);
        const Form shown = EmailListFormModel::Load(list);
        QCOMPARE(shown.SenderEmail, QStringLiteral("global@firm.example"));
        QCOMPARE(shown.Device, int(msdMAPI));
        QCOMPARE(shown.MailServer, QStringLiteral("Outlook"));
        QCOMPARE(shown.MailsPerUnit, 99);
    }

    void editsUnderOwnSettingsAreWritten() {
        TEmailListItem list;
        OwnValues(list);
        UseGlobal(list, false);
        Form form = EmailListFormModel::Load(list);
        form.SenderName = QStringLiteral("Neu");
        form.Device = msdInternal;
        form.SendThreads = 6;
        form.SMSDevice = smsdASPSMS;
        form.SendPriority = -1;
        form.PreparePriority = 5;
        form.MobileFields = {QStringLiteral("mobile"), QStringLiteral("email1")};
        form.SectionName = QStringLiteral("pelm_addresses_ass");
        EmailListFormModel::Store(form, list);
        QCOMPARE(list.SenderName(), QStringLiteral("Neu"));
        QCOMPARE(list.MessageSenderDevice(), msdInternal);
        QCOMPARE(list.SendThreads(), 6);
        QCOMPARE(list.SMSMessageSenderDevice(), smsdASPSMS);
        QCOMPARE(list.SendPriority(), QThread::NormalPriority);
        QCOMPARE(list.PreparePriority(), QThread::HighestPriority);
        QCOMPARE(list.GetEmailFields(11), (QStringList{"mobile", "email1"}));
    }

    void threadsAreOneUnlessDirectDelivery_data() {
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("threads");
        QTest::newRow("direct delivery") << int(msdInternal) << 5;
        QTest::newRow("no device checked") << -1 << 5;
        QTest::newRow("external SMTP") << int(msdExtSMTP) << 1;
        QTest::newRow("mail program") << int(msdMAPI) << 1;
    }
    void threadsAreOneUnlessDirectDelivery() {
        QFETCH(int, device);
        QFETCH(int, threads);
        TEmailListItem list;
        Form form;
        form.UseGlobalSendSettings = false;
        form.UseGlobalMailServer = false;
        form.Device = device;
        form.SendThreads = 5;
        EmailListFormModel::Store(form, list);
        QCOMPARE(list.SendThreads(), threads);
        QCOMPARE(list.MessageSenderDevice(), device < 0 ? msdInternal : TMessageSenderDevice(device));
    }

    void noSchemaEmptiesBothFieldLists() {
        TEmailListItem list;
        list.SetSectionName(QStringLiteral("gone_schema"));
        list.SetEmailFields(2, {QStringLiteral("email1")});
        list.SetEmailFields(11, {QStringLiteral("mobile")});
        Form form = EmailListFormModel::Load(list);
        form.SectionName.clear();
        EmailListFormModel::Store(form, list);
        QVERIFY(list.GetEmailFields(2).isEmpty());
        QVERIFY(list.GetEmailFields(11).isEmpty());
    }

    void enabling_data() {
        QTest::addColumn<Form>("form");
        QTest::addColumn<EmailListFormModel::TEnabling>("expected");
        Form all;
        all.UseGlobalAddress = all.UseGlobalMailServer = all.UseGlobalSMSProvider = false;
        all.UseGlobalRegisterService = all.UseGlobalSendSettings = false;
        all.SendPerUnits = true;
        all.SendAuthentication = true;

        Form global = all;
        global.UseGlobalAddress = global.UseGlobalMailServer = global.UseGlobalSMSProvider = true;
        global.UseGlobalRegisterService = global.UseGlobalSendSettings = true;
        global.Device = msdExtSMTP;
        QTest::newRow("everything global") << global << EmailListFormModel::TEnabling{};

        Form ext = all;
        ext.Device = msdExtSMTP;
        QTest::newRow("external SMTP with authentication")
            << ext << EmailListFormModel::TEnabling{true, true, true, true, true,  true,
                                                    true, true, true, true, false, true};
        Form extNoAuth = ext;
        extNoAuth.SendAuthentication = false;
        QTest::newRow("external SMTP without authentication")
            << extNoAuth << EmailListFormModel::TEnabling{true,  true,  true, true, true,  true,
                                                          false, false, true, true, false, true};
        Form mapi = all;
        mapi.Device = msdMAPI;
        QTest::newRow("mail program: profile and password")
            << mapi << EmailListFormModel::TEnabling{true,  true, true, true, true,  false,
                                                     false, true, true, true, false, true};
        Form direct = all;
        direct.Device = msdInternal;
        QTest::newRow("direct delivery: threads")
            << direct << EmailListFormModel::TEnabling{true,  true,  true, true, false, false,
                                                       false, false, true, true, true,  true};
        Form noUnits = direct;
        noUnits.SendPerUnits = false;
        QTest::newRow("no packets") << noUnits
                                    << EmailListFormModel::TEnabling{true,  true,  true, true,  false, false,
                                                                     false, false, true, false, false, true};
    }
    void enabling() {
        QFETCH(Form, form);
        QFETCH(EmailListFormModel::TEnabling, expected);
        QCOMPARE(EmailListFormModel::Enabling(form), expected);
    }

    void serverLabel_data() {
        QTest::addColumn<int>("device");
        QTest::addColumn<QString>("id");
        QTest::newRow("external") << int(msdExtSMTP) << "IDS_ExtSMTP";
        QTest::newRow("mail program") << int(msdMAPI) << "IDS_MAPI";
        QTest::newRow("direct") << int(msdInternal) << "";
        QTest::newRow("none") << -1 << "";
    }
    void serverLabel() {
        QFETCH(int, device);
        QFETCH(QString, id);
        QCOMPARE(EmailListFormModel::MailServerLabelId(device), id);
    }

    void tableChoicesSkipDetailsAndSchemasWithoutAddressFields() {
        QList<const hostapi::IDBFieldSchemaItem*> schemas;
        for (const QString& name : TDBFieldSchema::Instance().SchemaNames())
            schemas << TDBFieldSchema::Instance().SchemaByName(name);
        QStringList names;
        QSet<QString> captions;
        for (const auto& choice : EmailListFormModel::TableChoices(schemas)) {
            names << choice.SchemaName;
            QVERIFY2(!captions.contains(choice.Caption), qPrintable(choice.Caption));
            captions.insert(choice.Caption);
        }
        QVERIFY(names.contains(QStringLiteral("pelm_addresses_ass")));
        QVERIFY(!names.contains(QStringLiteral("pelm_addresses_det")));
        QVERIFY(!names.contains(QStringLiteral("qvsettings")));
    }

    void fieldsOfTheAddressSchema() {
        QList<QPair<QString, QString>> email = EmailListFormModel::EmailFieldsOf(*Addresses());
        QList<QPair<QString, QString>> mobile = EmailListFormModel::MobileFieldsOf(*Addresses());
        QCOMPARE(email.value(0).first, QStringLiteral("email1"));
        QCOMPARE(email.value(0).second, QStringLiteral("E-Mail 1"));
        QCOMPARE(email.size(), 2);
        QCOMPARE(mobile.size(), 1);
        QCOMPARE(mobile.value(0).first, QStringLiteral("mobile"));
    }

    void newListDefaults_data() {
        QTest::addColumn<bool>("withSchema");
        QTest::newRow("address schema") << true;
        QTest::newRow("no address schema") << false;
    }
    void newListDefaults() {
        QFETCH(bool, withSchema);
        TEmailListItem list;
        EmailListFormModel::ApplyNewListDefaults(list, QStringLiteral("Kunden"),
                                                 withSchema ? Addresses() : nullptr);
        QCOMPARE(list.Name(), QStringLiteral("Kunden"));
        QVERIFY(list.Changed());
        QVERIFY(list.UseGlobalSMSProvider());
        list.SetUseGlobalMailServer(false);
        list.SetUseGlobalSendSettings(false);
        list.SetUseGlobalSMSProvider(false);
        QVERIFY(list.SendPerUnits());
        QCOMPARE(list.SendPriority(), QThread::NormalPriority);
        QCOMPARE(list.PreparePriority(), QThread::NormalPriority);
        QCOMPARE(list.MessageSenderDevice(), msdInternal);
        QCOMPARE(list.SMSMessageSenderDevice(), smsdASPSMS);
        QCOMPARE(list.SectionName(), withSchema ? QStringLiteral("pelm_addresses_ass") : QString());
        QCOMPARE(list.GetEmailFields(2), withSchema ? (QStringList{"email1", "email2"}) : QStringList{});
        QCOMPARE(list.GetEmailFields(11), withSchema ? QStringList{"mobile"} : QStringList{});
    }

    void testAddress_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("domain");
        QTest::newRow("plain") << "max@Example.ORG" << true << "example.org";
        QTest::newRow("empty") << "" << false << "";
        QTest::newRow("no at sign") << "max" << false << "";
        QTest::newRow("nothing after the at sign") << "max@" << false << "";
        QTest::newRow("nothing before the at sign") << "@example.org" << false << "example.org";
        QTest::newRow("first at sign counts") << "a@b@c.example" << true << "b@c.example";
    }
    void testAddress() {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        QFETCH(QString, domain);
        QCOMPARE(EmailListFormModel::IsTestAddressValid(address), valid);
        QCOMPARE(EmailListFormModel::DomainOf(address), domain);
    }

    void sameDomainQuestion_data() {
        QTest::addColumn<int>("device");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<bool>("asks");
        QTest::newRow("external, same domain") << int(msdExtSMTP) << "info@EXAMPLE.org" << true;
        QTest::newRow("external, other domain") << int(msdExtSMTP) << "info@other.example" << false;
        QTest::newRow("direct, same domain") << int(msdInternal) << "info@example.org" << false;
        QTest::newRow("mail program, same domain") << int(msdMAPI) << "info@example.org" << false;
    }
    void sameDomainQuestion() {
        QFETCH(int, device);
        QFETCH(QString, sender);
        QFETCH(bool, asks);
        QCOMPARE(EmailListFormModel::AsksSameDomain(device, QStringLiteral("test@example.org"), sender),
                 asks);
    }

    void testSendUsesTheValuesOnTheScreen_data() {
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("used");
        QTest::addColumn<QString>("success");
        QTest::newRow("none checked: direct delivery") << -1 << int(msdInternal) << "IDS_TESTSUCC";
        QTest::newRow("external SMTP") << int(msdExtSMTP) << int(msdExtSMTP) << "IDS_TESTSUCC";
        QTest::newRow("mail program") << int(msdMAPI) << int(msdMAPI) << "IDS_TESTMAPISUCC";
    }
    void testSendUsesTheValuesOnTheScreen() {
        QFETCH(int, device);
        QFETCH(int, used);
        QFETCH(QString, success);
        Form form;
        form.Device = device;
        form.MailServer = QStringLiteral("mx.example:2525");
        form.SendAuthentication = true;
        form.SendUserName = QStringLiteral("user");
        form.SendPassword = QStringLiteral("secret");
        form.SenderName = QStringLiteral("Vertrieb");
        form.SenderEmail = QStringLiteral("info@example.org");
        form.ReplyToEmail = QStringLiteral("reply@example.org");
        QCOMPARE(int(EmailListFormModel::TestDevice(form)), used);
        QCOMPARE(EmailListFormModel::TestSuccessId(EmailListFormModel::TestDevice(form)), success);
        const TMessageSenderSettings settings =
            EmailListFormModel::TestSettings(form, QStringLiteral("127.0.0.1:5353"));
        QCOMPARE(settings.DNSServer, QStringLiteral("127.0.0.1:5353"));
        QCOMPARE(settings.MailServer, QStringLiteral("mx.example:2525"));
        QVERIFY(settings.SendAuthentication);
        QCOMPARE(settings.SendUserName, QStringLiteral("user"));
        QCOMPARE(settings.SendPassword, QStringLiteral("secret"));
        const TOutgoingMessage message = EmailListFormModel::TestMessage(
            form, QStringLiteral(" test@other.example "), QStringLiteral("Test Email"),
            QStringLiteral("plain"), QStringLiteral("<b>html</b>"));
        QCOMPARE(message.ReceiverEmail, QStringLiteral("test@other.example"));
        QVERIFY(message.ReceiverName.isEmpty());
        QCOMPARE(message.SenderName, QStringLiteral("Vertrieb"));
        QCOMPARE(message.SenderEmail, QStringLiteral("info@example.org"));
        QCOMPARE(message.Subject, QStringLiteral("Test Email"));
        QCOMPARE(message.PlainBody, QStringLiteral("plain"));
        QCOMPARE(message.HTMLBody, QStringLiteral("<b>html</b>"));
        QVERIFY(message.IsHTML);
        // the list's reply address belongs to its mailings, not to the test
        QVERIFY(message.ReplyEmail.isEmpty());
        QVERIFY(message.CCList.isEmpty() && message.BCCList.isEmpty());
        QVERIFY(message.NormalAttachments.isEmpty() && message.InLineAttachments.isEmpty());
        QVERIFY(message.ReceiptRecipientAddress.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_EmailListFormModel)
#include "tst_EmailListFormModel.moc"
