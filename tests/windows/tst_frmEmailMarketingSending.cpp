// The mailing window's send actions offscreen on a real SQLite database: the "Versand" menus, the
// start question, the job that appears and locks the editors, abort and preview.
// GLib's headers (through GMime) come before Qt's.
#include "support/ParsedMimeMessage.h"

#include "MailingWindowFixture.h"

#include "DNSEmailSender.h"
#include "support/MailPeers.h"

#include "HostLibraries.h"
#include "JvHLEditor.h"
#include "QV2RichEdit.h"
#include "frmPluginEmailMarketingJobDetail.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QLineEdit>

using namespace emailmarketing;
using namespace mailingwindowtests;

Q_DECLARE_METATYPE(hostapi::TModalResult)

namespace {

QString JobText(const char* AId) {
    return hostapi::TVRNLang(QStringLiteral("MailingJobActions")).Text(QLatin1String(AId));
}

bool EditorsLocked(Window& AWindow) {
    return AWindow.Memo()->isReadOnly() && !AWindow.Find<QLineEdit>("edtSubject")->isEnabled() &&
           AWindow.Find<hostapi::TQV2RichEdit>("QV2RichEdit")->ReadOnly() &&
           AWindow.Find<hostapi::TJvHLEditor>("edtHTMLSource")->ReadOnly();
}

} // namespace

class tst_frmEmailMarketingSending : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void bothSendMenusHoldTheSendActions() {
        WindowFixture f;
        Window w(f);
        const QStringList expected{"actSendingStart",
                                   "-",
                                   "<",
                                   "actResendSuccess",
                                   "actResendFailed",
                                   ">",
                                   "-",
                                   "<",
                                   "actSchedSending",
                                   "-",
                                   "actSchedSuccess",
                                   "actSchedFailed",
                                   ">",
                                   "-",
                                   "actSendingAbort"};
        QCOMPARE(MenuEntries(*w.Find<QMenu>("pmnuSending")), expected);
        QCOMPARE(MenuEntries(*w.Find<QMenu>("pmnuSendingGrid")), expected);
        QCOMPARE(w.Find<QMenu>("pmnuSendingReSend")->title(), QStringLiteral("Erneut versenden"));
        QCOMPARE(w.Find<QMenu>("pmnuSendingScheduler")->title(), QStringLiteral("Zeitplaner"));
        QVERIFY(w.Action("actSendingStart")->isEnabled());
        QVERIFY(!w.Action("actSendingAbort")->isEnabled());
    }

    void startAsksThenTheJobAppearsAndLocksTheEditors_data() {
        QTest::addColumn<hostapi::TModalResult>("answer");
        QTest::newRow("No: nothing") << hostapi::mrNo;
        QTest::newRow("Cancel: nothing") << hostapi::mrCancel;
        QTest::newRow("Yes: started") << hostapi::mrYes;
    }
    void startAsksThenTheJobAppearsAndLocksTheEditors() {
        QFETCH(hostapi::TModalResult, answer);
        WindowFixture f;
        f.HoldJobs();
        windowtests::AddRecipients(3);
        Window w(f);
        // the unsaved edit goes into the job and into the template, the list's macro stored as such
        w.Memo()->moveCursor(QTextCursor::End);
        QTest::keyClicks(w.Memo(), QStringLiteral(" [Name]"));
        f.Dialogs.AddAnswer(answer);
        w.Trigger("actSendingStart");
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions.at(0).Text, JobText("IDS_AskStart"));
        QCOMPARE(testsupport::Value(QStringLiteral("emtemplates"), QStringLiteral("mailbody"),
                                    QStringLiteral("\"id\" = ?"), {f.TemplateID})
                     .toString(),
                 QStringLiteral("Guten Tag %NAME%"));
        if (answer != hostapi::mrYes) {
            QVERIFY(!f.Job());
            QVERIFY(!EditorsLocked(w));
            QVERIFY(!w.PageTab("tbsJob"));
            return;
        }
        TBaseEmailSender* job = f.Job();
        QVERIFY(job);
        // the job holds the list's macros in their stored form
        QCOMPARE(job->Content(), QStringLiteral("Guten Tag %NAME%"));
        QCOMPARE(job->Subject(), QStringLiteral("Angebot"));
        QVERIFY(EditorsLocked(w));
        QVERIFY(w.PageTab("tbsJob"));
        QCOMPARE(w.Pages()->currentWidget()->objectName(), QStringLiteral("tbsJob"));
        QCOMPARE(w.Form.JobDetForm().Job(), job);
        QVERIFY(!w.Action("actSendingStart")->isEnabled());
        QVERIFY(w.Action("actSendingAbort")->isEnabled());
        QVERIFY(f.Errors.Records().isEmpty());
        QVERIFY(static_cast<windowtests::HeldJob*>(job)->WaitPrepared());
    }

    void aRefusedStartLeavesNoJob() {
        WindowFixture f;
        hostapi::Database::Exec(
            QStringLiteral("UPDATE \"emtemplates\" SET \"mailbody\" = NULL WHERE \"id\" = ?"),
            {f.TemplateID});
        Window w(f);
        f.Dialogs.AddAnswer(hostapi::mrYes);
        w.Trigger("actSendingStart");
        QVERIFY(!f.Job());
        QCOMPARE(f.Errors.Records().size(), 1);
        QCOMPARE(f.Errors.Records()[0].Exception.Message, sendjobtests::BuilderText("IDS_NoText"));
        QVERIFY(!EditorsLocked(w));
    }

    void abortAsksAndTheKilledJobUnlocksTheEditors_data() {
        QTest::addColumn<hostapi::TModalResult>("answer");
        QTest::newRow("No: kept") << hostapi::mrNo;
        QTest::newRow("Yes: killed") << hostapi::mrYes;
    }
    void abortAsksAndTheKilledJobUnlocksTheEditors() {
        QFETCH(hostapi::TModalResult, answer);
        WindowFixture f;
        f.HoldJobs();
        windowtests::AddRecipients(2);
        Window w(f);
        // a job scheduled with auto-start: idle until its time
        ScheduleAutoStartJob(f, w);
        QCOMPARE(f.Dialogs.Modals, QStringList{"frmPluginEmailMarketingJobScheduler"});
        QVERIFY(f.Job());
        QVERIFY(EditorsLocked(w));
        f.Dialogs.AddAnswer(answer);
        w.Trigger("actSendingAbort");
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions.at(0).Text, JobText("IDS_KillJob"));
        const bool killed = answer == hostapi::mrYes;
        QCOMPARE(f.Job() == nullptr, killed);
        QCOMPARE(EditorsLocked(w), !killed);
        QCOMPARE(w.PageTab("tbsJob"), !killed);
        QCOMPARE(w.Action("actSendingStart")->isEnabled(), killed);
        QCOMPARE(f.JobFolders().size(), killed ? 0 : 1);
    }

    void previewOfATemplateWithoutJobLeavesNone() {
        WindowFixture f;
        f.HoldJobs();
        windowtests::AddRecipients(2);
        Window w(f);
        bool shownWithJob = false;
        f.Dialogs.AddModal([&](QDialog& d) {
            shownWithJob = f.Job() != nullptr;
            testsupport::Click(d, "btnClose");
        });
        w.Trigger("actPreviewSelected");
        QCOMPARE(f.Dialogs.Modals.size(), 1);
        QVERIFY(shownWithJob);
        QVERIFY(!f.Job());
        QCOMPARE(f.JobFolders().size(), 0);
        QVERIFY(!EditorsLocked(w));
        QVERIFY(f.Errors.Records().isEmpty());
    }

    // The whole way: the stored HTML body and its picture, shown in the HTML editor, become the job,
    // and the message reaches the SMTP peer with the picture as a related part and the list's
    // macro replaced.
    void aStartedHtmlTemplateReachesTheSmtpPeer() {
        RegisterDNSEmailSenderClasses();
        const auto unregister = qScopeGuard([] { UnRegisterDNSEmailSenderClasses(); });
        testsupport::SmtpPeer peer;
        START_PEER(peer);
        WindowFixture f(esHTML, msdExtSMTP, QStringLiteral("127.0.0.1:%1").arg(peer.Port()));
        windowtests::AddRecipients(1);
        hostapi::Database::Exec(
            QStringLiteral(
                "UPDATE \"emtemplates\" SET \"mailbody\" = NULL, \"subject\" = 'Angebot für %NAME%', "
                "\"mailbodyhtml\" = ? WHERE \"id\" = ?"),
            {QStringLiteral("<p>Hallo %NAME%</p><p><img src=\"%IMAGEPATH%img.png\"></p>"), f.TemplateID});
        hostapi::Database::InsertRow(QStringLiteral("emlembededcontent"),
                                     {"emltemplateid", "contentfilename", "contentdata"},
                                     {f.TemplateID, QStringLiteral("img.png"), sendjobtests::Png()});
        Window w(f);
        QCOMPARE(w.Find<QLineEdit>("edtSubject")->text(), QStringLiteral("Angebot für [Name]"));
        f.Dialogs.AddAnswer(hostapi::mrYes);
        w.Trigger("actSendingStart");
        TBaseEmailSender* job = f.Job();
        QVERIFY(job);
        QVERIFY(job->HTMLContent().contains(QLatin1String("src=\"cid:img.png\"")));
        QElapsedTimer timer;
        timer.start();
        while (!job->State().Contains(jsSent) && timer.elapsed() < 30000)
            QTest::qWait(10);
        QVERIFY(job->State().Contains(jsSent));
        QCOMPARE(job->SentFailedCount(), 0);
        const QStringList received = peer.Messages();
        QCOMPARE(received.size(), 1);
        testsupport::ParsedMimeMessage message(sendjobtests::ReadFile(received.at(0)));
        QCOMPARE(message.Header("Subject"), QStringLiteral("Angebot für Name0"));
        QCOMPARE(message.Tree(), (QStringList{"multipart/alternative", "  text/plain", "  multipart/related",
                                              "    text/html", "    image/png"}));
        QCOMPARE(message.Files(), QStringList{"inline img.png img.png"});
        const QString html = QString::fromUtf8(message.Content("text/html"));
        QVERIFY2(html.contains(QLatin1String("src=\"cid:img.png\"")) &&
                     html.contains(QLatin1String("Hallo Name0")),
                 qPrintable(html));
        QVERIFY(QString::fromUtf8(message.Content("text/plain")).contains(QLatin1String("Hallo Name0")));
    }
};

QTEST_MAIN(tst_frmEmailMarketingSending)
#include "tst_frmEmailMarketingSending.moc"
