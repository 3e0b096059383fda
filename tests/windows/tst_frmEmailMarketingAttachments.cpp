// The attachment tab in the mailing window offscreen on a real SQLite database: hidden for SMS,
// read-only while the template's job exists, and a file added there goes with the job.
#include "MailingWindowFixture.h"

#include "HostLibraries.h"
#include "MailingAttachmentsPage.h"
#include "QVDBGrid.h"
#include "QVRecordSetModel.h"

#include <QDialog>
#include <QGroupBox>
#include <QPushButton>

using namespace emailmarketing;
using namespace mailingwindowtests;

namespace {

QVariant AttachementValue(qint64 ATemplateID, const char* AField) {
    return testsupport::Value(QStringLiteral("emlattachements"), QString::fromLatin1(AField),
                              QStringLiteral("\"emltemplateid\" = ?"), {ATemplateID});
}

} // namespace

class tst_frmEmailMarketingAttachments : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void theTabIsHiddenForSMS() {
        WindowFixture f;
        Window w(f);
        QVERIFY(w.PageTab("rbsAttachements"));
        QCOMPARE(w.Pages()->tabText(w.Pages()->indexOf(w.Find("rbsAttachements"))),
                 QStringLiteral("&Datei-Anlagen"));
        w.Form.dblvTemplates().TreeModel()->SetValue({hostapi::tnkContent, f.TemplateID},
                                                     QStringLiteral("emailstyle"), int(esSMS));
        QVERIFY(!w.PageTab("rbsAttachements"));
        w.Form.dblvTemplates().TreeModel()->SetValue({hostapi::tnkContent, f.TemplateID},
                                                     QStringLiteral("emailstyle"), int(esHTMLSource));
        QVERIFY(w.PageTab("rbsAttachements"));
    }

    void anAddedFileIsStoredAndGoesWithTheJob() {
        WindowFixture f;
        f.HoldJobs();
        windowtests::AddRecipients(2);
        const QString file = f.File(QStringLiteral("preise.pdf"));
        Window w(f);
        w.Pages()->setCurrentWidget(w.Find("rbsAttachements"));
        f.Dialogs.AddFileName(file);
        testsupport::Click(w.Form, "QVButton1");
        QCOMPARE(AttachementValue(f.TemplateID, "filesource").toString(), file);
        QCOMPARE(AttachementValue(f.TemplateID, "filename").toString(), QStringLiteral("preise.pdf"));
        QCOMPARE(w.Form.AttachementsPage().AttachementsDisplay().rowCount(), 1);

        f.Dialogs.AddAnswer(hostapi::mrYes);
        w.Trigger("actSendingStart");
        TBaseEmailSender* job = f.Job();
        QVERIFY(job);
        QCOMPARE(job->Attachements().Count(), 1);
        QCOMPARE(job->Attachements().Items(0)->FileName(), QStringLiteral("preise.pdf"));
        QVERIFY(static_cast<windowtests::HeldJob*>(job)->WaitPrepared());
    }

    void theTabIsReadOnlyWhileAJobExists() {
        WindowFixture f;
        f.HoldJobs();
        windowtests::AddRecipients(2);
        f.AddAttachement(f.File(QStringLiteral("a.txt")), QStringLiteral("a.txt"), 0, 0);
        Window w(f);
        auto* grid = w.Find<hostapi::QVDBGrid>("cxQVGrid1");
        QVERIFY(grid->isEnabled());
        QVERIFY(w.Find("QVButton1")->isEnabled());
        ScheduleAutoStartJob(f, w);
        QVERIFY(f.Job());
        QVERIFY(!grid->isEnabled());
        QVERIFY(!w.Find("QVButton1")->isEnabled());
        QVERIFY(!w.Find<QGroupBox>("grpAttachementSettings")->isEnabled());
        f.Dialogs.AddAnswer(hostapi::mrYes);
        w.Trigger("actSendingAbort");
        QVERIFY(!f.Job());
        QVERIFY(grid->isEnabled());
        QVERIFY(w.Find("QVButton1")->isEnabled());
    }

    void aFolderClosesTheAttachments() {
        WindowFixture f;
        f.AddAttachement(f.File(QStringLiteral("a.txt")), QStringLiteral("a.txt"), 0, 0);
        Window w(f);
        QCOMPARE(w.Form.AttachementsPage().TemplateDBID(), f.TemplateID);
        QCOMPARE(w.Form.AttachementsPage().AttachementsDisplay().rowCount(), 1);
        QVERIFY(w.Form.dblvTemplates().FocusNode({hostapi::tnkFolder, f.Folder}));
        QCOMPARE(w.Form.AttachementsPage().TemplateDBID(), -1);
        QVERIFY(!w.PageTab("rbsAttachements"));
    }
};

QTEST_MAIN(tst_frmEmailMarketingAttachments)
#include "tst_frmEmailMarketingAttachments.moc"
