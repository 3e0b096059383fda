// The template side of the mailing window offscreen on a real SQLite database: the text blocks tab
// with the macro list and a job that expands a block, the history tab with its actions in the send
// menus, copy, delete guard, export and import through the tree and the window's actions, and the
// job marks of the tree.
#include "MailingWindowFixture.h"

#include "HostLibraries.h"
#include "MailingHistoryPage.h"
#include "MailingTextBlocksPage.h"
#include "QVDBGrid.h"
#include "QVRecordSetModel.h"
#include "TemplateXMLExchange.h"

#include <QColor>
#include <QDialog>
#include <QDir>
#include <QToolBox>
#include <QFileInfo>
#include <QLabel>
#include <QSqlQuery>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>

using namespace emailmarketing;
using namespace mailingwindowtests;

namespace {

QVariant Value(const char* ATable, const char* AColumn, qint64 AID, const char* AKey = "id") {
    return testsupport::Value(QString::fromLatin1(ATable), QString::fromLatin1(AColumn),
                              QStringLiteral("\"%1\" = ?").arg(QLatin1String(AKey)), {AID});
}

qint64 Count(const char* ATable) {
    QSqlQuery query =
        hostapi::Database::Exec(QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(QLatin1String(ATable)));
    return query.next() ? query.value(0).toLongLong() : -1;
}

// The background of the template's row in the tree.
QColor RowColor(Window& AWindow, qint64 ATemplateID) {
    return AWindow.Form.dblvTemplates()
        .TreeModel()
        ->IndexOf({hostapi::tnkContent, ATemplateID})
        .data(Qt::BackgroundRole)
        .value<QColor>();
}

} // namespace

class tst_frmEmailMarketingTemplates : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void anAddedTextBlockIsOfferedAndExpandsInTheJob() {
        WindowFixture f;
        f.HoldJobs();
        windowtests::AddRecipients(2);
        Window w(f);
        w.Pages()->setCurrentWidget(w.Find("tbsTextBlocks"));
        f.Dialogs.AddInput(QStringLiteral("Gruß"));
        testsupport::Click(w.Form, "btnAddTextBlock");
        QCOMPARE(Value("emltextblocks", "descr", f.TemplateID, "emtemplateid").toString(),
                 QStringLiteral("Gruß"));
        QTreeWidget* macros = w.Find<QTreeWidget>("dblvTextBlockMacros");
        QCOMPARE(macros->topLevelItemCount(), 1);
        QCOMPARE(macros->topLevelItem(0)->text(0), QStringLiteral("Gruß"));
        // the block's text typed but not yet written goes into the job
        QTest::keyClicks(w.Find("edtPlainTextBlock"), QStringLiteral("Servus"));
        w.Memo()->moveCursor(QTextCursor::End);
        QTest::keyClicks(w.Memo(), QStringLiteral(" [textblock:gruß]"));
        f.Dialogs.AddAnswer(hostapi::mrYes);
        w.Trigger("actSendingStart");
        QVERIFY(f.Job());
        QCOMPARE(f.Job()->Content(), QStringLiteral("Guten Tag Servus"));
        QCOMPARE(Value("emltextblocks", "body", f.TemplateID, "emtemplateid").toString(),
                 QStringLiteral("Servus"));
        QVERIFY(!w.Form.TextBlocksPage().isEnabled());
        QVERIFY(static_cast<windowtests::HeldJob*>(f.Job())->WaitPrepared());
    }

    void theHistoryShowsTheTemplatesJobsAndItsActionsAreTheMenus() {
        WindowFixture f;
        const qint64 job = hostapi::Database::InsertRow(
            QStringLiteral("emljobs"), {"emltemplates_id", "startdate", "jobstate", "enddate"},
            {f.TemplateID, QDateTime(QDate(2025, 3, 1), QTime(9, 0)), 2,
             QDateTime(QDate(2025, 3, 1), QTime(9, 10))});
        hostapi::Database::InsertRow(
            QStringLiteral("emlsentlist"),
            {"emljobs_id", "email", "errormessage", "sentstate", "sentdate", "addressid"},
            {job, QStringLiteral("r@example.org"), QStringLiteral("554: rejected"), 2,
             QDateTime(QDate(2025, 3, 1), QTime(9, 1)), 1});
        Window w(f);
        w.Pages()->setCurrentWidget(w.Find("tbsHistory"));
        TMailingHistoryPage& history = w.Form.HistoryPage();
        QVERIFY(history.HistoryActive());
        QCOMPARE(history.JobGrid()->RecordSetModel()->rowCount(), 1);
        QCOMPARE(history.CurrentJobID(), job);
        QCOMPARE(history.Grid(TMailingHistoryPage::FailedTag)->RecordSetModel()->rowCount(), 1);
        QCOMPARE(history.JobTypeLabel()->text(), QStringLiteral("Versand an Verteilerliste"));
        QVERIFY(history.actResendFailed()->isEnabled());
        QVERIFY(!history.actResendSuccess()->isEnabled());
        // one action each, the page's, in both send menus and both preview menus
        for (const char* name : {"actResendSuccess", "actResendFailed", "actSchedSuccess", "actSchedFailed",
                                 "actPreviewSuccess", "actPreviewFailed"})
            QCOMPARE(w.Form.findChildren<QAction*>(QString::fromLatin1(name)).size(), 1);
        QVERIFY(w.Find<QMenu>("pmnuSendingReSend")->actions().contains(history.actResendFailed()));
        QVERIFY(w.Find<QMenu>("pmnuSendingGridScheduler")->actions().contains(history.actSchedFailed()));
        QVERIFY(w.Find<QMenu>("pmnuPreview")->actions().contains(history.actPreviewFailed()));
        QVERIFY(w.Find<QMenu>("pmnuPreviewGrid")->actions().contains(history.actPreviewSuccess()));
        // a folder empties the history
        QVERIFY(w.Form.dblvTemplates().FocusNode({hostapi::tnkFolder, f.Folder}));
        QCOMPARE(history.TemplateID(), -1);
    }

    void copyAsksThenTheCopyIsFocused_data() {
        QTest::addColumn<hostapi::TModalResult>("answer");
        QTest::newRow("No: nothing") << hostapi::mrNo;
        QTest::newRow("Yes: copied") << hostapi::mrYes;
    }
    void copyAsksThenTheCopyIsFocused() {
        QFETCH(hostapi::TModalResult, answer);
        WindowFixture f;
        f.AddTextBlock(QStringLiteral("Gruß"), QStringLiteral("Servus"), {});
        Window w(f);
        w.Memo()->moveCursor(QTextCursor::End);
        QTest::keyClicks(w.Memo(), QStringLiteral(" neu"));
        f.Dialogs.AddAnswer(answer);
        w.Form.dblvTemplates().DoAction(hostapi::gaCopy);
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        // the edit is stored before the copy is made
        QCOMPARE(Value("emtemplates", "mailbody", f.TemplateID).toString(), QStringLiteral("Guten Tag neu"));
        if (answer != hostapi::mrYes) {
            QCOMPARE(Count("emtemplates"), 1);
            return;
        }
        QCOMPARE(Count("emtemplates"), 2);
        QCOMPARE(Count("emltextblocks"), 2);
        QTRY_VERIFY(w.Form.CurrentTemplateDBID() != f.TemplateID);
        QCOMPARE(w.Memo()->toPlainText(), QStringLiteral("Guten Tag neu"));
    }

    void aTemplateWithAJobIsNotDeletedAndIsMarkedInTheTree() {
        WindowFixture f;
        f.HoldJobs();
        windowtests::AddRecipients(2);
        Window w(f);
        const QColor jobColor(0x5F, 0xC5, 0x71);
        QVERIFY(RowColor(w, f.TemplateID) != jobColor);
        ScheduleAutoStartJob(f, w);
        QCOMPARE(RowColor(w, f.TemplateID), jobColor);
        // the delete key reaches the tree also while its button is disabled
        w.Form.dblvTemplates().DoAction(hostapi::gaDelete);
        QCOMPARE(Count("emtemplates"), 1);
        QVERIFY(f.Job());
        f.Dialogs.AddAnswer(hostapi::mrYes);
        w.Trigger("actSendingAbort");
        QVERIFY(!f.Job());
        QVERIFY(RowColor(w, f.TemplateID) != jobColor);
    }

    void deleteTakesTheTemplateWithItsRows() {
        WindowFixture f;
        f.AddTextBlock(QStringLiteral("Gruß"), QStringLiteral("Servus"), {});
        f.AddAttachement(f.File(QStringLiteral("a.txt")), QStringLiteral("a.txt"), 0, 0);
        Window w(f);
        f.Dialogs.AddAnswer(hostapi::mrYes);
        w.Form.dblvTemplates().DoAction(hostapi::gaDelete);
        QCOMPARE(Count("emtemplates"), 0);
        QCOMPARE(Count("emltextblocks"), 0);
        QCOMPARE(Count("emlattachements"), 0);
        QCOMPARE(w.Form.CurrentTemplateDBID(), -1);
        QVERIFY(f.Errors.Records().isEmpty());
    }

    void anExportedTemplateImportsBackOverItsChanges() {
        WindowFixture f;
        f.Dm.TemplateExchange().QVXMLImportContainer().AfterStartup();
        Window w(f);
        const QString file = f.Files.filePath(QStringLiteral("angebot"));
        f.Dialogs.AddFileName(file);
        w.Trigger("actExportTemplate");
        QVERIFY(QFileInfo::exists(file + QStringLiteral(".emt")));
        auto* subject = w.Find<QLineEdit>("edtSubject");
        subject->selectAll();
        QTest::keyClicks(subject, QStringLiteral("geaendert"));
        w.Form.SaveChanges();
        QCOMPARE(Value("emtemplates", "subject", f.TemplateID).toString(), QStringLiteral("geaendert"));
        f.Dialogs.AddFileName(file + QStringLiteral(".emt"));
        // the import overwrites the stored edit, and the window shows what it stored
        w.Trigger("actImportTemplate");
        QVERIFY(f.Errors.Records().isEmpty());
        QCOMPARE(Count("emtemplates"), 1);
        QCOMPARE(Value("emtemplates", "subject", f.TemplateID).toString(), QStringLiteral("Angebot"));
        QTRY_COMPARE(w.Find<QLineEdit>("edtSubject")->text(), QStringLiteral("Angebot"));
    }

    void grabThePlacedTabsInGermanAndEnglish() {
        WindowFixture f;
        f.HoldJobs();
        windowtests::AddRecipients(2);
        f.AddTextBlock(QStringLiteral("Gruß"), QStringLiteral("Viele Grüße"), {});
        f.AddAttachement(f.File(QStringLiteral("preise.pdf")), QStringLiteral("preise.pdf"), 0, 0);
        const qint64 job = hostapi::Database::InsertRow(
            QStringLiteral("emljobs"), {"emltemplates_id", "startdate", "jobstate", "enddate"},
            {f.TemplateID, QDateTime(QDate(2025, 3, 1), QTime(9, 0)), 2,
             QDateTime(QDate(2025, 3, 1), QTime(9, 10))});
        for (int i = 1; i <= 3; ++i)
            hostapi::Database::InsertRow(
                QStringLiteral("emlsentlist"),
                {"emljobs_id", "email", "errormessage", "sentstate", "sentdate", "addressid"},
                {job, QStringLiteral("r%1@example.org").arg(i),
                 i == 3 ? QStringLiteral("554: rejected") : QStringLiteral("0: "), i == 3 ? 2 : 1,
                 QDateTime(QDate(2025, 3, 1), QTime(9, i)), i});
        QVERIFY(QDir().mkpath(QStringLiteral(QV_GRAB_DIR)));
        for (const QString& language : {QStringLiteral("German"), QStringLiteral("English")}) {
            hostapi::TVRNLang::SetCurrentLanguage(language);
            Window w(f);
            w.Form.SetLanguage(language);
            w.Form.resize(1100, 800);
            const auto grab = [&](const char* APage, const char* AState) {
                w.Pages()->setCurrentWidget(w.Find(APage));
                QCoreApplication::processEvents();
                return w.Form.grab().save(
                    QStringLiteral("%1/frmEmailMarketing_%2_%3.png")
                        .arg(QStringLiteral(QV_GRAB_DIR), QLatin1String(AState), language));
            };
            w.Find<QToolBox>("dxNavBarMacros")->setCurrentIndex(0);
            QVERIFY(grab("tbsDesigner", "macros"));
            QVERIFY(grab("rbsAttachements", "attachements"));
            QVERIFY(grab("tbsTextBlocks", "textblocks"));
            QVERIFY(grab("tbsHistory", "history"));
            ScheduleAutoStartJob(f, w);
            QVERIFY(grab("tbsJob", "jobtab"));
            f.Dialogs.AddAnswer(hostapi::mrYes);
            w.Trigger("actSendingAbort");
            QVERIFY(!f.Job());
        }
        hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German"));
    }
};

QTEST_MAIN(tst_frmEmailMarketingTemplates)
#include "tst_frmEmailMarketingTemplates.moc"
