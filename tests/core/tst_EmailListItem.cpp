// TEmailListItem: defaults, the global fallbacks (live handler reads, fixed defaults, own values
// hidden while a group follows the global settings), address fields by flag, schema macros,
// identity, copies, and concurrent reads while another thread writes.

#include "EmailListItem.h"

#include "DBFieldSchema.h"
#include "QVException.h"

#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace emailmarketing;

namespace {

using Action = std::function<void(TEmailListItem&)>;
using Reader = std::function<QVariant(const TEmailListItem&)>;

// The global values the handlers answer; tests change them between reads.
struct TGlobals {
    QString Name = "Global Name", Email = "global@example.org", ReplyTo = "reply@example.org";
    TMessageSenderDevice Device = msdMAPI;
    QString Server = "smtp.example.org", User = "user", Password = "secret";
    bool Authentication = true;
    TSMSMessageSenderDevice SMSDevice = smsdLOX24;
    bool FilterEnabled = true, FetchBeforeSend = true;
    bool UnitSend = true;
    int UnitCount = 250, SendThreads = 4, UnitDelay = 15;
    bool Throttle = true, Chaotic = true;
};

// Wires the six fallback handlers to g; calls counts every handler call.
void InstallHandlers(TEmailListItem& list, const TGlobals& g, std::atomic<int>& calls) {
    list.SetOnGetGlobalAddressInfo([&](const TEmailListItem&, QString& n, QString& e, QString& r) {
        ++calls;
        n = g.Name;
        e = g.Email;
        r = g.ReplyTo;
    });
    list.SetOnGetGlobalSenderDevice([&](const TEmailListItem&, TMessageSenderDevice& d) {
        ++calls;
        d = g.Device;
    });
    list.SetOnGetGlobalMailServer([&](const TEmailListItem&, QString& s, QString& u, QString& p, bool& a) {
        ++calls;
        s = g.Server;
        u = g.User;
        p = g.Password;
        a = g.Authentication;
    });
    list.SetOnGetGlobalSMSSenderDevice([&](const TEmailListItem&, TSMSMessageSenderDevice& d) {
        ++calls;
        d = g.SMSDevice;
    });
    list.SetOnGetGlobalRegisterService([&](const TEmailListItem&, bool& f, bool& b) {
        ++calls;
        f = g.FilterEnabled;
        b = g.FetchBeforeSend;
    });
    list.SetOnGetGlobalSendSettings(
        [&](const TEmailListItem&, bool& us, int& uc, int& st, int& ud, bool& th, bool& ch) {
            ++calls;
            us = g.UnitSend;
            uc = g.UnitCount;
            st = g.SendThreads;
            ud = g.UnitDelay;
            th = g.Throttle;
            ch = g.Chaotic;
        });
}

// One row per fallback property: its use-global flag, how to write an own value, how to read it,
// the own value written, the default without handler, and the global value of a default TGlobals.
void AddFallbackColumns() {
    QTest::addColumn<Action>("clearFlag");
    QTest::addColumn<Action>("writeOwn");
    QTest::addColumn<Reader>("read");
    QTest::addColumn<QVariant>("own");
    QTest::addColumn<QVariant>("fixedDefault");
    QTest::addColumn<QVariant>("global");
}

#define FALLBACK_ROW(prop, flag, own, fixedDefault, global)                                                  \
    QTest::newRow(#prop) << Action([](TEmailListItem& l) { l.Set##flag(false); })                            \
                         << Action([](TEmailListItem& l) { l.Set##prop(own); })                              \
                         << Reader([](const TEmailListItem& l) { return QVariant::fromValue(l.prop()); })    \
                         << QVariant::fromValue(own) << QVariant::fromValue(fixedDefault)                    \
                         << QVariant::fromValue(global)

void AddFallbackRows() {
    const TGlobals g;
    FALLBACK_ROW(SenderName, UseGlobalAddress, QString("Own"), QString(), g.Name);
    FALLBACK_ROW(SenderEmail, UseGlobalAddress, QString("own@example.org"), QString(), g.Email);
    FALLBACK_ROW(ReplyToEmail, UseGlobalAddress, QString("ownreply@example.org"), QString(), g.ReplyTo);
    FALLBACK_ROW(MessageSenderDevice, UseGlobalMailServer, msdExtSMTP, msdInternal, g.Device);
    FALLBACK_ROW(MailServer, UseGlobalMailServer, QString("own.example.org"), QString(), g.Server);
    FALLBACK_ROW(SendUserName, UseGlobalMailServer, QString("ownuser"), QString(), g.User);
    FALLBACK_ROW(SendPassword, UseGlobalMailServer, QString("ownpass"), QString(), g.Password);
    FALLBACK_ROW(SendAuthentication, UseGlobalMailServer, true, false, g.Authentication);
    FALLBACK_ROW(SMSMessageSenderDevice, UseGlobalSMSProvider, smsdLOX24, smsdASPSMS, g.SMSDevice);
    FALLBACK_ROW(RegisterServiceFilterEnabled, UseGlobalRegisterService, true, false, g.FilterEnabled);
    FALLBACK_ROW(FetchRegisterServiceBeforeSending, UseGlobalRegisterService, true, false, g.FetchBeforeSend);
    FALLBACK_ROW(SendPerUnits, UseGlobalSendSettings, true, false, g.UnitSend);
    FALLBACK_ROW(MailsPerUnit, UseGlobalSendSettings, 20, 1000, g.UnitCount);
    FALLBACK_ROW(SendThreads, UseGlobalSendSettings, 8, 1, g.SendThreads);
    FALLBACK_ROW(UnitDelay, UseGlobalSendSettings, 30, 0, g.UnitDelay);
    FALLBACK_ROW(Throttle, UseGlobalSendSettings, true, false, g.Throttle);
    FALLBACK_ROW(Chaotic, UseGlobalSendSettings, true, false, g.Chaotic);
}

} // namespace

Q_DECLARE_METATYPE(emailmarketing::TEmailListIdentity)

class tst_EmailListItem : public QObject {
    Q_OBJECT

private slots:
    void newListFollowsTheGlobalSettings() {
        TEmailListItem l;
        QCOMPARE(l.IDValue(), 0);
        QCOMPARE(l.SendPriority(), QThread::NormalPriority);
        QCOMPARE(int(l.PreparePriority()), 3);
        QVERIFY(l.UseGlobalAddress() && l.UseGlobalMailServer() && l.UseGlobalSMSProvider());
        QVERIFY(l.UseGlobalRegisterService() && l.UseGlobalSendSettings());
        QVERIFY(!l.IsInUseByJob());
        QVERIFY(!l.Changed());
        QVERIFY(l.IsUserDefined());
        QVERIFY(l.Name().isEmpty() && l.SectionName().isEmpty() && l.ClientListIdent().isEmpty());
        QCOMPARE(l.UserMacros().Count(), 0);
        QCOMPARE(l.AdvFilters().Count(), 0);
        // Own values behind the flags.
        l.SetUseGlobalMailServer(false);
        l.SetUseGlobalSMSProvider(false);
        l.SetUseGlobalSendSettings(false);
        l.SetUseGlobalRegisterService(false);
        QCOMPARE(l.MessageSenderDevice(), msdExtSMTP);
        QCOMPARE(l.SMSMessageSenderDevice(), smsdASPSMS);
        QCOMPARE(l.MailsPerUnit(), 1000);
        QCOMPARE(l.SendThreads(), 1);
        QCOMPARE(l.UnitDelay(), 0);
        QVERIFY(!l.SendPerUnits() && !l.Throttle() && !l.Chaotic() && !l.SendAuthentication());
        QVERIFY(!l.RegisterServiceFilterEnabled() && !l.FetchRegisterServiceBeforeSending());
    }

    // Without a handler a group that follows the global settings answers the fixed defaults; an own
    // value written meanwhile shows only once the flag is cleared.
    void fallbackWithoutHandlerAnswersTheDefault_data() {
        AddFallbackColumns();
        AddFallbackRows();
    }
    void fallbackWithoutHandlerAnswersTheDefault() {
        QFETCH(Action, clearFlag);
        QFETCH(Action, writeOwn);
        QFETCH(Reader, read);
        QFETCH(QVariant, own);
        QFETCH(QVariant, fixedDefault);
        TEmailListItem l;
        QCOMPARE(read(l), fixedDefault);
        writeOwn(l);
        QCOMPARE(read(l), fixedDefault);
        clearFlag(l);
        QCOMPARE(read(l), own);
    }

    // With a handler, every read asks it again: a changed global answer shows at the next read;
    // writing never calls it.
    void fallbackReadsTheHandlerAtEveryRead_data() {
        AddFallbackColumns();
        AddFallbackRows();
    }
    void fallbackReadsTheHandlerAtEveryRead() {
        QFETCH(Action, clearFlag);
        QFETCH(Action, writeOwn);
        QFETCH(Reader, read);
        QFETCH(QVariant, own);
        QFETCH(QVariant, fixedDefault);
        QFETCH(QVariant, global);
        TGlobals g;
        std::atomic<int> calls = 0;
        TEmailListItem l;
        InstallHandlers(l, g, calls);
        writeOwn(l);
        QCOMPARE(calls.load(), 0);
        QCOMPARE(read(l), global);
        QCOMPARE(calls.load(), 1);
        g = TGlobals{"N2",
                     "e2@example.org",
                     "r2@example.org",
                     msdInternal,
                     "s2",
                     "u2",
                     "p2",
                     false,
                     smsdASPSMS,
                     false,
                     false,
                     false,
                     1,
                     2,
                     3,
                     false,
                     false};
        QVERIFY(read(l) != global);
        QCOMPARE(calls.load(), 2);
        clearFlag(l);
        QCOMPARE(read(l), own);
        QCOMPARE(calls.load(), 2);
        Q_UNUSED(fixedDefault);
    }

    // A handler that sets only some values leaves the others value-initialised, not undefined.
    void handlerValuesStartValueInitialised() {
        TEmailListItem l;
        l.SetOnGetGlobalSendSettings(
            [](const TEmailListItem&, bool&, int& count, int&, int&, bool&, bool&) { count = 7; });
        l.SetOnGetGlobalAddressInfo(
            [](const TEmailListItem&, QString&, QString& email, QString&) { email = "only@example.org"; });
        l.SetOnGetGlobalSenderDevice([](const TEmailListItem&, TMessageSenderDevice&) {});
        l.SetOnGetGlobalMailServer([](const TEmailListItem&, QString&, QString&, QString&, bool&) {});
        QCOMPARE(l.MailsPerUnit(), 7);
        QCOMPARE(l.SendThreads(), 0);
        QCOMPARE(l.UnitDelay(), 0);
        QVERIFY(!l.SendPerUnits() && !l.Throttle() && !l.Chaotic());
        QCOMPARE(l.SenderEmail(), QStringLiteral("only@example.org"));
        QCOMPARE(l.SenderName(), QString());
        QCOMPARE(l.MessageSenderDevice(), msdExtSMTP);
        QVERIFY(!l.SendAuthentication());
    }

    void emailFieldsFollowTheFieldFlag_data() {
        QTest::addColumn<int>("flag");
        QTest::addColumn<QStringList>("expected");
        const QStringList email{"email1", "email2"};
        const QStringList mobile{"mobile"};
        QTest::newRow("mobile flag 11") << int(hostapi::fftMobile) << mobile;
        QTest::newRow("e-mail flag 2") << int(hostapi::fftEmail) << email;
        QTest::newRow("flag 0") << 0 << email;
        QTest::newRow("flag 15") << 15 << email;
        QTest::newRow("SMS style") << FieldFlagOfEmailStyle(esSMS) << mobile;
        QTest::newRow("HTML style") << FieldFlagOfEmailStyle(esHTML) << email;
        QTest::newRow("plain-text style") << FieldFlagOfEmailStyle(esPlainText) << email;
    }
    void emailFieldsFollowTheFieldFlag() {
        QFETCH(int, flag);
        QFETCH(QStringList, expected);
        TEmailListItem l;
        l.SetEmailFields(hostapi::fftEmail, {"email1", "email2"});
        l.SetEmailFields(hostapi::fftMobile, {"mobile"});
        QCOMPARE(l.GetEmailFields(flag), expected);
    }

    void globalTableMacrosAsksTheHandler() {
        TEmailListItem l;
        l.SetSectionName("pelm_addresses_ass");
        try {
            l.GlobalTableMacros();
            QFAIL("GlobalTableMacros without a handler did not raise");
        } catch (const hostapi::EQVAssertion& e) {
            QVERIFY2(e.Message().contains("OnGetSchemaMacros not assigned!"), qPrintable(e.Message()));
        }
        auto schemaMacros = std::make_shared<TMacroList>();
        schemaMacros->Add()->SetMacroName("FIRMA");
        l.SetOnGetSchemaMacros(
            [&](const TEmailListItem& sender, const QString& schema, std::shared_ptr<TMacroList>& macros) {
                QCOMPARE(&sender, &l);
                QCOMPARE(schema, QStringLiteral("pelm_addresses_ass"));
                macros = schemaMacros;
            });
        QCOMPARE(l.GlobalTableMacros(), schemaMacros);
    }

    void userDefinedListHasNoClientIdent_data() {
        QTest::addColumn<QString>("clientIdent");
        QTest::addColumn<bool>("userDefined");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("blank") << " " << false;
        QTest::newRow("client") << "CRM" << false;
    }
    void userDefinedListHasNoClientIdent() {
        QFETCH(QString, clientIdent);
        QFETCH(bool, userDefined);
        TEmailListItem l;
        l.SetClientIdent(clientIdent);
        QCOMPARE(l.IsUserDefined(), userDefined);
    }

    void identityIgnoresTheObject_data() {
        QTest::addColumn<TEmailListIdentity>("a");
        QTest::addColumn<TEmailListIdentity>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("user lists, same id")
            << TEmailListIdentity{5, "", ""} << TEmailListIdentity{5, "", ""} << true;
        QTest::newRow("user lists, other id")
            << TEmailListIdentity{5, "", ""} << TEmailListIdentity{6, "", ""} << false;
        QTest::newRow("client list, new row id")
            << TEmailListIdentity{-1, "CRM", "L1"} << TEmailListIdentity{9, "CRM", "L1"} << true;
        QTest::newRow("client list, other list")
            << TEmailListIdentity{9, "CRM", "L1"} << TEmailListIdentity{9, "CRM", "L2"} << false;
        QTest::newRow("client list ident is case-sensitive")
            << TEmailListIdentity{9, "CRM", "L1"} << TEmailListIdentity{9, "crm", "L1"} << false;
        QTest::newRow("client list vs user list")
            << TEmailListIdentity{9, "CRM", "L1"} << TEmailListIdentity{9, "", ""} << false;
    }
    void identityIgnoresTheObject() {
        QFETCH(TEmailListIdentity, a);
        QFETCH(TEmailListIdentity, b);
        QFETCH(bool, same);
        QCOMPARE(a == b, same);
        QCOMPARE(b == a, same);
        TEmailListItem l;
        l.SetIDValue(a.IDValue);
        l.SetClientIdent(a.ClientIdent);
        l.SetClientListIdent(a.ClientListIdent);
        QCOMPARE(l.Identity() == b, same);
    }

    // Getters answer copies: changing what they answered leaves the list as it is.
    void gettersAnswerCopies() {
        TEmailListItem l;
        TMacroList macros;
        macros.Add()->SetMacroName("ANREDE");
        l.SetUserMacros(macros);
        TMacroList answered = l.UserMacros();
        answered.Items(0)->SetMacroName("CHANGED");
        answered.Add();
        QCOMPARE(l.UserMacros().Count(), 1);
        QCOMPARE(l.UserMacros().Items(0)->MacroName(), QStringLiteral("ANREDE"));

        hostapi::TQVFilterList filters;
        filters.Add("ptypeid", 2);
        l.SetAdvFilters(filters);
        hostapi::TQVFilterList f = l.AdvFilters();
        f.Add("name", "x");
        QCOMPARE(l.AdvFilters(), filters);

        l.SetFieldsToIgnoreInSelection({"isactive"});
        QStringList ignore = l.FieldsToIgnoreInSelection();
        ignore << "name";
        QCOMPARE(l.FieldsToIgnoreInSelection(), QStringList{"isactive"});
    }

    // Readers on several threads (getters, fallbacks through handlers that read the list) while one
    // thread writes the setters and switches flags and handlers. Run under ASan/UBSan.
    void concurrentReadsWhileWriting() {
        auto list = std::make_shared<TEmailListItem>();
        const auto sendSettings = [](const TEmailListItem& sender, bool&, int& count, int& threads, int&,
                                     bool&, bool&) {
            count = sender.SectionName().size(); // a handler may read the list
            threads = 2;
        };
        list->SetOnGetGlobalSendSettings(sendSettings);
        std::atomic<bool> stop = false;
        std::atomic<int> badReads = 0;
        std::vector<std::thread> readers;
        for (int t = 0; t < 4; ++t)
            readers.emplace_back([list, &stop, &badReads] {
                while (!stop) {
                    const QStringList fields = list->GetEmailFields(hostapi::fftEmail);
                    for (const QString& f : fields)
                        if (f != fields.first())
                            ++badReads;
                    const int count = list->MailsPerUnit();
                    const int threads = list->SendThreads();
                    if (threads != 1 && threads != 2 && threads != 3)
                        ++badReads;
                    if (count < 0)
                        ++badReads;
                    const TMacroList macros = list->UserMacros();
                    for (int i = 0; i < macros.Count(); ++i)
                        if (macros.Items(i)->Owner() != &macros)
                            ++badReads;
                    list->SenderName();
                    list->MessageSenderDevice();
                    list->AdvFilters();
                    list->Identity();
                    list->IsUserDefined();
                }
            });
        std::thread writer([list] {
            for (int i = 0; i < 3000; ++i) {
                const QString s = QString::number(i);
                list->SetSectionName(QString(i % 7, QLatin1Char('x')));
                list->SetEmailFields(hostapi::fftEmail, QStringList(i % 5 + 1, "email" + s));
                list->SetSenderName(s);
                list->SetSendThreads(3);
                list->SetMailsPerUnit(i);
                list->SetUseGlobalSendSettings(i % 2 == 0);
                list->SetUseGlobalAddress(i % 3 == 0);
                TMacroList macros;
                for (int m = 0; m < i % 4; ++m)
                    macros.Add()->Add()->SetMacroValue(s);
                list->SetUserMacros(macros);
                hostapi::TQVFilterList filters;
                filters.Add("ptypeid", i);
                list->SetAdvFilters(filters);
                list->SetClientIdent(i % 2 ? s : QString());
                if (i % 100 == 0)
                    list->SetOnGetGlobalSendSettings(nullptr);
                else if (i % 100 == 50)
                    list->SetOnGetGlobalSendSettings(
                        [](const TEmailListItem&, bool&, int& c, int& t, int&, bool&, bool&) {
                            c = 1;
                            t = 2;
                        });
            }
        });
        writer.join();
        stop = true;
        for (std::thread& r : readers)
            r.join();
        QCOMPARE(badReads.load(), 0);
    }
};


QTEST_GUILESS_MAIN(tst_EmailListItem)
#include "tst_EmailListItem.moc"
