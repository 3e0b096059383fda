// The mailing window's job actions on real jobs of a data module and a real job frame: the start
// question, one job per template and target, the preview's and the scheduler's temporary jobs, the
// abort questions, and a real send of built jobs to the SMTP peer.

// GLib's headers (through GMime) come before Qt's.
#include "support/ParsedMimeMessage.h"

#include "MailingJobActions.h"

#include "DNSEmailSender.h"
#include "HostLibraries.h"
#include "QVException.h"
#include "SendJobFixture.h"
#include "WindowJobs.h"
#include "frmPluginEmailMarketingJobDetail.h"
#include "support/MailPeers.h"
#include "support/WindowTestHelpers.h"

#include <QCheckBox>
#include <QDialog>
#include <QtTest>

using namespace emailmarketing;
using namespace sendjobtests;
using testsupport::Click;

Q_DECLARE_METATYPE(hostapi::TModalResult)

namespace {

QString ActionText(const char* AId) {
    return hostapi::TVRNLang(QStringLiteral("MailingJobActions")).Text(QLatin1String(AId));
}

// The actions of the mailing window on the fixture's template, with its job frame.
struct Actions {
    Fixture& F;
    TSendJobTemplate Template;
    TfrmPluginEmailMarketingJobDetail Frame{F.Dm.Jobs()};
    TMailingJobActions Act{F.Dm.Jobs(), Frame, [this](qint64 AReSendJobID, qint64 AReSendJobState) {
                               return F.Builder.CreateSendJob(Template, AReSendJobID, AReSendJobState);
                           }};
    int Saves = 0;
    int TreeUpdates = 0;

    explicit Actions(Fixture& AFixture) : F(AFixture), Template(AFixture.Template()) {
        Frame.SetLanguage(QStringLiteral("German"));
        Frame.SetLoadedTemplateID(Template.TemplateID);
        Act.SetTemplateID(Template.TemplateID);
        Act.OnSaveChanges = [this] { ++Saves; };
        Act.OnTemplatesChanged = [this] { ++TreeUpdates; };
    }
    TBaseEmailSender* Job() const { return F.Dm.Jobs().ByTemplateID(Template.TemplateID); }
    TBaseEmailSender* Existing(qint64 AReSendJobID = -1, qint64 AReSendJobState = -1) {
        return F.Builder.CreateSendJob(Template, AReSendJobID, AReSendJobState);
    }
};

// Jobs of the data module as HeldJobs, on the fake transport of msdExtSMTP.
struct HeldJobs {
    windowtests::SetClock Time;
    windowtests::FakeTransport Transport{Time, 0};
    explicit HeldJobs(Fixture& AFixture) {
        AFixture.Dm.Jobs().SetLocalJobFactory([](QObject* AOwner, qint32 ATemplateID,
                                                 std::shared_ptr<TEmailListItem> AList,
                                                 TEmailStyle AStyle) -> TBaseEmailSender* {
            return new windowtests::HeldJob(AOwner, ATemplateID, std::move(AList), AStyle);
        });
    }
};

bool WaitSent(TBaseEmailSender* AJob) {
    QElapsedTimer timer;
    timer.start();
    while (!AJob->State().Contains(jsSent)) {
        if (timer.elapsed() > 30000)
            return false;
        QTest::qWait(10);
    }
    return true;
}

QString Lines(QString AText) {
    return AText.replace(QLatin1String("\r\n"), QLatin1String("\n")).trimmed();
}

} // namespace

class tst_MailingJobActions : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void startAsksFirst_data() {
        QTest::addColumn<hostapi::TModalResult>("answer");
        QTest::newRow("No") << hostapi::mrNo;
        QTest::newRow("Cancel") << hostapi::mrCancel;
        QTest::newRow("Yes") << hostapi::mrYes;
    }
    void startAsksFirst() {
        QFETCH(hostapi::TModalResult, answer);
        Fixture f;
        HeldJobs held(f);
        windowtests::AddRecipients(3);
        Actions a(f);
        f.Dialogs.AddAnswer(answer);
        const bool started = a.Act.StartSending(-1, -1);
        QCOMPARE(a.Saves, 1);
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions.at(0).Text, ActionText("IDS_AskStart"));
        QCOMPARE(f.Dialogs.Questions.at(0).Type, hostapi::mtConfirmation);
        QCOMPARE(f.Dialogs.Questions.at(0).Buttons, hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel);
        QCOMPARE(started, answer == hostapi::mrYes);
        if (answer != hostapi::mrYes) {
            QCOMPARE(f.Counter->Added, 0);
            QVERIFY(!a.Job());
            return;
        }
        QVERIFY(a.Job());
        QCOMPARE(a.Frame.Job(), a.Job());
        QVERIFY(WaitSent(a.Job()));
        QCOMPARE(held.Transport.Script->Messages().size(), 3);
    }

    void anotherTargetsJobIsRefused_data() {
        QTest::addColumn<QString>("action");
        QTest::newRow("start") << "start";
        QTest::newRow("schedule") << "schedule";
        QTest::newRow("preview") << "preview";
    }
    void anotherTargetsJobIsRefused() {
        QFETCH(QString, action);
        Fixture f;
        Actions a(f);
        TBaseEmailSender* ordinary = a.Existing();
        QVERIFY(ordinary);
        if (action == QLatin1String("start"))
            f.Dialogs.AddAnswer(hostapi::mrYes);
        f.Dialogs.AddAnswer(hostapi::mrOk);
        // A resend to the failed recipients of history job 55.
        if (action == QLatin1String("start"))
            QVERIFY(!a.Act.StartSending(55, 2));
        else if (action == QLatin1String("schedule"))
            a.Act.ScheduleSending(55, 2);
        else
            a.Act.PreviewSending(55, 2);
        QCOMPARE(f.Dialogs.Questions.last().Text, ActionText("IDS_JAROC"));
        QCOMPARE(f.Dialogs.Questions.last().Type, hostapi::mtError);
        QCOMPARE(f.Dialogs.Questions.last().Buttons, hostapi::TMsgDlgButtons(hostapi::mbOK));
        QCOMPARE(f.Dialogs.Questions.size(), action == QLatin1String("start") ? 2 : 1);
        QVERIFY(f.Dialogs.Modals.isEmpty());
        // The ordinary job stays as it was.
        QCOMPARE(f.Counter->Added, 1);
        QCOMPARE(a.Job(), ordinary);
        QCOMPARE(ordinary->State(), TJobStateSet({jsInitialized}));
        QCOMPARE(ordinary->ReSendJobID(), -1);
    }

    void startingAgainStartsTheExistingJob() {
        Fixture f;
        HeldJobs held(f);
        windowtests::AddRecipients(2);
        Actions a(f);
        TBaseEmailSender* job = a.Existing();
        QVERIFY(job);
        f.Dialogs.AddAnswer(hostapi::mrYes);
        QVERIFY(a.Act.StartSending(-1, -1));
        QCOMPARE(f.Counter->Added, 1);
        QCOMPARE(a.Job(), job);
        QVERIFY(WaitSent(job));
        QCOMPARE(held.Transport.Script->Messages().size(), 2);
    }

    void previewJobIsRemovedAfterwards_data() {
        QTest::addColumn<bool>("existing");
        QTest::newRow("template without job: none left") << false;
        QTest::newRow("existing job: kept") << true;
    }
    void previewJobIsRemovedAfterwards() {
        QFETCH(bool, existing);
        Fixture f;
        HeldJobs held(f);
        windowtests::AddRecipients(2);
        Actions a(f);
        TBaseEmailSender* job = existing ? a.Existing() : nullptr;
        TJobStateSet during;
        f.Dialogs.AddModal([&](QDialog& d) {
            QCoreApplication::sendPostedEvents(&d, QEvent::MetaCall);
            during = a.Job() ? a.Job()->State() : TJobStateSet();
            Click(d, "btnClose");
        });
        a.Act.PreviewSending(-1, -1);
        QCOMPARE(a.Saves, 1);
        QCOMPARE(f.Dialogs.Modals.size(), 1);
        QCOMPARE(during, TJobStateSet({jsInitialized, jsPreparedPreview}));
        QCOMPARE(f.Counter->Added, existing ? 1 : 1);
        QCOMPARE(a.Job(), job);
        QCOMPARE(f.Counter->Removed, existing ? 0 : 1);
        QCOMPARE(f.Dm.Jobs().Count(), existing ? 1 : 0);
        QCOMPARE(f.JobFolders().size(), existing ? 1 : 0);
        QCOMPARE(held.Transport.Script->Messages().size(), 0);
    }

    void schedulerKeepsOnlyAutoStartedJobs_data() {
        QTest::addColumn<bool>("autoStart");
        QTest::newRow("closed without auto-start: removed") << false;
        QTest::newRow("auto-start set: kept") << true;
    }
    void schedulerKeepsOnlyAutoStartedJobs() {
        QFETCH(bool, autoStart);
        Fixture f;
        Actions a(f);
        f.Dialogs.AddModal([&](QDialog& d) {
            if (autoStart) {
                Click(d, "cbAutoStart");
                Click(d, "btnApply");
            } else {
                Click(d, "btnClose");
            }
        });
        a.Act.ScheduleSending(-1, -1);
        QCOMPARE(f.Dialogs.Modals, QStringList{"frmPluginEmailMarketingJobScheduler"});
        QVERIFY(f.Dialogs.Questions.isEmpty());
        QCOMPARE(a.Saves, 1);
        QCOMPARE(a.TreeUpdates, 1);
        QCOMPARE(f.Counter->Added, 1);
        QCOMPARE(f.Dm.Jobs().Count(), autoStart ? 1 : 0);
        QCOMPARE(f.JobFolders().size(), autoStart ? 1 : 0);
        if (autoStart) {
            QVERIFY(a.Job()->AutoStart());
            QCOMPARE(a.Frame.Job(), a.Job());
        }
    }

    // After the refusal the scheduler is not offered: no second message "IDS_NoSched".
    void schedulingStopsAfterARefusedList_data() {
        QTest::addColumn<bool>("withList");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("no list") << false << "IDS_NoDistList";
        QTest::newRow("unknown data source") << true << "IDS_NoDSonList";
    }
    void schedulingStopsAfterARefusedList() {
        QFETCH(bool, withList);
        QFETCH(QString, refusal);
        Fixture f;
        Actions a(f);
        if (withList)
            f.List->SetSectionName(QStringLiteral("no_such_schema"));
        else
            a.Template.ListID = -1;
        f.Dialogs.AddAnswer(hostapi::mrOk);
        a.Act.ScheduleSending(-1, -1);
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions.at(0).Text, BuilderText(refusal.toLatin1().constData()));
        QVERIFY(f.Dialogs.Modals.isEmpty());
        QCOMPARE(f.Counter->Added, 0);
    }

    void abortAsksByTheJobsState_data() {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<hostapi::TModalResult>("answer");
        QTest::newRow("idle, Yes: killed") << false << hostapi::mrYes;
        QTest::newRow("idle, No: kept") << false << hostapi::mrNo;
        QTest::newRow("busy, Yes: killed") << true << hostapi::mrYes;
        QTest::newRow("busy, No: kept") << true << hostapi::mrNo;
    }
    void abortAsksByTheJobsState() {
        QFETCH(bool, busy);
        QFETCH(hostapi::TModalResult, answer);
        Fixture f;
        HeldJobs held(f);
        windowtests::AddRecipients(3);
        Actions a(f);
        // Without a job nothing is asked.
        a.Act.AbortSending();
        QVERIFY(f.Dialogs.Questions.isEmpty());

        auto* job = static_cast<windowtests::HeldJob*>(a.Existing());
        QVERIFY(job);
        if (busy) {
            job->HoldAt(1);
            a.Frame.Start();
            QVERIFY(job->WaitHeld());
        }
        f.Dialogs.AddAnswer(answer);
        a.Act.AbortSending();
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions.at(0).Text, ActionText(busy ? "IDS_NotIdle" : "IDS_KillJob"));
        QCOMPARE(f.Dialogs.Questions.at(0).Type, busy ? hostapi::mtWarning : hostapi::mtConfirmation);
        QCOMPARE(f.Dialogs.Questions.at(0).Buttons, hostapi::mbYes | hostapi::mbNo);
        const bool killed = answer == hostapi::mrYes;
        QCOMPARE(f.Dm.Jobs().Count(), killed ? 0 : 1);
        QCOMPARE(a.Frame.Job(), killed ? nullptr : job);
        if (!killed && busy)
            job->Release();
    }

    void builtJobReachesTheSmtpPeer_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("memo");
        QTest::addColumn<QString>("plain"); // empty: the exported _textbody.txt
        QTest::addColumn<bool>("picture");
        QTest::newRow("HTML with a picture") << int(esHTML) << "Guten Tag [Name]"
                                             << "Guten Tag Name0" << true;
        QTest::newRow("HTML with an empty memo") << int(esHTML) << ""
                                                 << "Hallo Name0" << true;
        QTest::newRow("RTF with an empty memo") << int(esRTFText) << ""
                                                << "" << false;
    }
    void builtJobReachesTheSmtpPeer() {
        QFETCH(int, style);
        QFETCH(QString, memo);
        QFETCH(QString, plain);
        QFETCH(bool, picture);
        RegisterDNSEmailSenderClasses();
        testsupport::SmtpPeer peer;
        START_PEER(peer);
        Fixture f(msdExtSMTP, QStringLiteral("127.0.0.1:%1").arg(peer.Port()));
        windowtests::AddRecipients(1);
        QTemporaryDir editorImages;
        WriteFile(editorImages.filePath(QStringLiteral("img.png")), Png());
        Actions a(f);
        a.Template = f.Template(TEmailStyle(style));
        a.Template.Text = memo;
        a.Template.Html = QStringLiteral("<p>Hallo [Name]</p><p><img src=\"%IMAGEPATH%img.png\"></p>");
        a.Template.HtmlImageFolder = editorImages.path();
        a.Template.HtmlImages = {QStringLiteral("img.png")};
        a.Template.Rtf = QStringLiteral("{\\rtf1\\ansi Sehr geehrte Kunden,\\par wir laden ein.\\par}");
        f.Dialogs.AddAnswer(hostapi::mrYes);
        QVERIFY(a.Act.StartSending(-1, -1));
        TBaseEmailSender* job = a.Job();
        QVERIFY(job);
        if (plain.isEmpty())
            plain = QString::fromUtf8(ReadFile(job->TempDirectory() + "_textbody.txt"));
        QVERIFY(WaitSent(job));
        QCOMPARE(job->SentFailedCount(), 0);

        const QStringList received = peer.Messages();
        QCOMPARE(received.size(), 1);
        QCOMPARE(peer.Envelope(received.at(0)).value("rcpt_tos").toArray().at(0).toString(),
                 QStringLiteral("r0@example.org"));
        testsupport::ParsedMimeMessage message(ReadFile(received.at(0)));
        QCOMPARE(message.Header("Subject"), QStringLiteral("Angebot für Name0"));
        QCOMPARE(Lines(QString::fromUtf8(message.Content("text/plain"))), Lines(plain));
        const QString html = QString::fromUtf8(message.Content("text/html"));
        if (picture) {
            QCOMPARE(message.Tree(), (QStringList{"multipart/alternative", "  text/plain",
                                                  "  multipart/related", "    text/html", "    image/png"}));
            QCOMPARE(message.Files(), QStringList{"inline img.png img.png"});
            QVERIFY2(html.contains("src=\"cid:img.png\"") && html.contains("Hallo Name0"), qPrintable(html));
        } else {
            QCOMPARE(message.Tree(), (QStringList{"multipart/alternative", "  text/plain", "  text/html"}));
            QVERIFY2(html.contains("wir laden ein."), qPrintable(html));
        }
        UnRegisterDNSEmailSenderClasses();
    }
};

QTEST_MAIN(tst_MailingJobActions)
#include "tst_MailingJobActions.moc"
