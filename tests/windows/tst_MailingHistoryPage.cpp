// The send history page on SQLite: the jobs of the loaded template only, newest first, with the
// numbers of their successful and failed recipients and the text of the job's kind; the action states;
// the edit menus with and without the register-service filter; "Anmelden"/"Abmelden" of the selected
// rows and the rows' colours; the address window opened by double-click; a resend to the failed
// recipients of a finished job reaching only them at the SMTP peer; grabbed in German and English.

#include "AddressEditWindow.h"
#include "DNSEmailSender.h"
#include "Database.h"
#include "HostLibraries.h"
#include "MailingHistoryPage.h"
#include "QVDBGrid.h"
#include "QVRecordSetModel.h"
#include "WindowJobs.h"
#include "support/HostDoubles.h"
#include "support/MailPeers.h"
#include "support/TestDatabase.h"
#include "support/WindowTestHelpers.h"

#include <QAction>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

using namespace emailmarketing;
using hostapi::Database;
using testsupport::Value;

namespace {

// Template 7 with a finished list job (r0 and r2 sent, r1 and r3 failed) and a later resend of its
// failed recipients (r1 sent); template 8 with a job of its own.
struct History {
    History() {
        Database::InsertRow("emtemplates", {"id", "name"}, {7, "News"});
        Database::InsertRow("emtemplates", {"id", "name"}, {8, "Andere"});
        windowtests::AddRecipients(4);
        ListJob = Job(7, QDateTime(QDate(2025, 3, 1), QTime(9, 0)), -1, -1);
        Sent(ListJob, 1, 1);
        Sent(ListJob, 2, 2);
        Sent(ListJob, 3, 1);
        Sent(ListJob, 4, 2, QStringLiteral("550: mailbox unavailable"));
        ResendJob = Job(7, QDateTime(QDate(2025, 3, 2), QTime(9, 0)), ListJob, 2);
        Sent(ResendJob, 2, 1);
        Sent(Job(8, QDateTime(QDate(2025, 3, 3), QTime(9, 0)), -1, -1), 1, 1);
    }
    static qint64 Job(qint64 ATemplate, const QDateTime& AStart, qint64 AParent, qint64 AParentState) {
        return Database::InsertRow(
            "emljobs",
            {"emltemplates_id", "startdate", "jobstate", "enddate", "parentjobid", "parentjobstate"},
            {ATemplate, AStart, 2, AStart.addSecs(600), AParent < 0 ? QVariant() : QVariant(AParent),
             AParentState < 0 ? QVariant() : QVariant(AParentState)});
    }
    static void Sent(qint64 AJob, qint64 AAddress, int AState, const QString& AError = {}) {
        const QString error = !AError.isEmpty() ? AError
                              : AState == 1     ? QStringLiteral("0: ")
                                                : QStringLiteral("554: rejected");
        Database::InsertRow("emlsentlist",
                            {"emljobs_id", "email", "errormessage", "sentstate", "sentdate", "addressid"},
                            {AJob, QStringLiteral("r%1@example.org").arg(AAddress - 1), error, AState,
                             QDateTime(QDate(2025, 3, 1), QTime(9, int(AAddress))), AAddress});
    }
    testsupport::TestDatabase Db;
    qint64 ListJob = -1;
    qint64 ResendJob = -1;
};

QStringList Column(TMailingHistoryPage& APage, int ATag, const char* AField) {
    QStringList values;
    hostapi::QVRecordSetModel* model = APage.Grid(ATag)->RecordSetModel();
    for (int row = 0; row < model->rowCount(); ++row)
        values << model->Value(row, QString::fromLatin1(AField)).toString();
    return values;
}

QString Title(hostapi::QVDBGrid* AGrid) {
    return static_cast<QGroupBox*>(AGrid->parentWidget())->title();
}

QStringList Enabled(TMailingHistoryPage& APage) {
    QStringList names;
    for (QAction* action : {APage.actPreviewSuccess(), APage.actSchedSuccess(), APage.actResendSuccess(),
                            APage.actPreviewFailed(), APage.actSchedFailed(), APage.actResendFailed()})
        if (action->isEnabled())
            names << action->objectName();
    return names;
}

QStringList MenuTexts(QMenu* AMenu) {
    QStringList texts;
    for (QAction* action : AMenu->actions()) {
        texts << action->text().remove(QLatin1Char('&'));
        if (action->menu())
            for (QAction* sub : action->menu()->actions())
                texts << QStringLiteral("> ") + sub->text().remove(QLatin1Char('&'));
    }
    return texts;
}

QAction* MenuAction(QMenu* AMenu, const char* AName) {
    QAction* action = AMenu->findChild<QAction*>(QString::fromLatin1(AName));
    if (!action)
        for (QMenu* sub : AMenu->findChildren<QMenu*>())
            if ((action = sub->findChild<QAction*>(QString::fromLatin1(AName))))
                break;
    return action;
}

void SelectRows(hostapi::QVDBGrid* AGrid, const QList<int>& ARows) {
    AGrid->clearSelection();
    for (const int row : ARows)
        AGrid->selectionModel()->select(AGrid->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QVariant IsActive(qint64 AAddress) {
    return Value("pelm_addresses_det", "isactive", "\"id\" = ?", {AAddress});
}

} // namespace

class tst_MailingHistoryPage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void jobsOfTheTemplateWithTheirCounts() {
        History h;
        TMailingHistoryPage page;
        page.resize(900, 400);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.SetTemplateID(7, false);
        QCOMPARE(page.JobGrid()->model()->rowCount(), 0); // read when the tab becomes active
        page.SetHistoryActive(true);
        QCOMPARE(page.JobGrid()->model()->rowCount(), 2);
        QCOMPARE(page.CurrentJobID(), h.ResendJob); // newest first
        QCOMPARE(page.JobTypeLabel()->text(),
                 QStringLiteral("Erneuter Versand an alle fehlerhaft versendeten"));
        QCOMPARE(Column(page, TMailingHistoryPage::SuccessTag, "email"), QStringList{"r1@example.org"});
        QCOMPARE(Column(page, TMailingHistoryPage::FailedTag, "email"), QStringList());
        QCOMPARE(Title(page.JobGrid()), QStringLiteral("Versandaufträge (2)"));
        QCOMPARE(Title(page.Grid(TMailingHistoryPage::SuccessTag)),
                 QStringLiteral("Erfolgreich versendet (1)"));
        QCOMPARE(Title(page.Grid(TMailingHistoryPage::FailedTag)),
                 QStringLiteral("Fehlerhaft versendet (0)"));

        // The user picks the older job in the grid.
        QTest::mouseClick(page.JobGrid()->viewport(), Qt::LeftButton, {},
                          page.JobGrid()->visualRect(page.JobGrid()->model()->index(1, 0)).center());
        QCOMPARE(page.CurrentJobID(), h.ListJob);
        QCOMPARE(page.JobTypeLabel()->text(), QStringLiteral("Versand an Verteilerliste"));
        QCOMPARE(Column(page, TMailingHistoryPage::SuccessTag, "email"),
                 (QStringList{"r0@example.org", "r2@example.org"}));
        QCOMPARE(Column(page, TMailingHistoryPage::FailedTag, "email"),
                 (QStringList{"r1@example.org", "r3@example.org"}));
        QCOMPARE(Column(page, TMailingHistoryPage::FailedTag, "errormessage").last(),
                 QStringLiteral("550: mailbox unavailable"));
        QCOMPARE(Title(page.Grid(TMailingHistoryPage::FailedTag)),
                 QStringLiteral("Fehlerhaft versendet (2)"));

        // Read only: Delete removes no sent-list row.
        page.Grid(TMailingHistoryPage::FailedTag)->setFocus();
        page.Grid(TMailingHistoryPage::FailedTag)->DoAction(hostapi::gaDelete);
        QCOMPARE(testsupport::Count("emlsentlist"), 6);

        page.SetTemplateID(8, false);
        QCOMPARE(page.JobGrid()->model()->rowCount(), 1);
        page.SetTemplateID(-1, false);
        QCOMPARE(page.JobGrid()->model()->rowCount(), 0);
        QCOMPARE(page.Grid(TMailingHistoryPage::SuccessTag)->model()->rowCount(), 0);
        QCOMPARE(page.JobTypeLabel()->text(), QString());
        QCOMPARE(Title(page.JobGrid()), QStringLiteral("Versandaufträge (0)"));
    }

    void actionStates() {
        History h;
        bool holdsJob = false;
        TMailingHistoryPage page;
        page.SetOnJobViewHoldsJob([&] { return holdsJob; });
        page.SetTemplateID(7, false);
        QCOMPARE(Enabled(page), QStringList());
        page.SetHistoryActive(true); // the resend job: successful rows only
        QCOMPARE(Enabled(page), (QStringList{"actPreviewSuccess", "actSchedSuccess", "actResendSuccess"}));
        page.SetCurrentJob(1);
        QCOMPARE(Enabled(page), (QStringList{"actPreviewSuccess", "actSchedSuccess", "actResendSuccess",
                                             "actPreviewFailed", "actSchedFailed", "actResendFailed"}));
        holdsJob = true;
        page.UpdateActions();
        QCOMPARE(Enabled(page),
                 (QStringList{"actPreviewSuccess", "actSchedSuccess", "actPreviewFailed", "actSchedFailed"}));
        page.SetHistoryActive(false);
        QCOMPARE(Enabled(page), QStringList());

        // The actions hand the current job and the list's sent state to the window.
        QList<QPair<qint64, qint64>> resends, schedules, previews;
        page.SetOnResend([&](qint64 AJob, qint64 AState) { resends.append({AJob, AState}); });
        page.SetOnSchedule([&](qint64 AJob, qint64 AState) { schedules.append({AJob, AState}); });
        page.SetOnPreview([&](qint64 AJob, qint64 AState) { previews.append({AJob, AState}); });
        holdsJob = false;
        page.SetHistoryActive(true);
        page.SetCurrentJob(1);
        page.actResendFailed()->trigger();
        page.actSchedSuccess()->trigger();
        page.actPreviewFailed()->trigger();
        page.actPreviewSuccess()->trigger();
        QCOMPARE(resends, (QList<QPair<qint64, qint64>>{{h.ListJob, 2}}));
        QCOMPARE(schedules, (QList<QPair<qint64, qint64>>{{h.ListJob, 1}}));
        QCOMPARE(previews, (QList<QPair<qint64, qint64>>{{h.ListJob, 2}, {h.ListJob, 1}}));
    }

    void subscriptionOfTheSelectedRows() {
        History h;
        Database::InsertRow("pelm_addresses_det", {"id", "isactive"}, {3, 1});
        TMailingHistoryPage page;
        page.SetHistoryActive(true);
        page.SetTemplateID(7, false);
        page.SetCurrentJob(1);
        // Filter off: only the address item, and the rows keep the grid's colours.
        QCOMPARE(MenuTexts(page.EditMenu(TMailingHistoryPage::SuccessTag)),
                 QStringList{"Email-Adressen editieren..."});
        hostapi::QVDBGrid* sent = page.Grid(TMailingHistoryPage::SuccessTag);
        QVERIFY(!sent->model()->index(1, 0).data(Qt::BackgroundRole).isValid());

        page.SetTemplateID(7, true); // the loader clears the menus: rebuilt with the submenu
        page.SetCurrentJob(1);
        QMenu* menu = page.EditMenu(TMailingHistoryPage::SuccessTag);
        QCOMPARE(MenuTexts(menu),
                 (QStringList{"Email-Adressen editieren...", "Anmeldung", "> Anmelden", "> Abmelden"}));
        QCOMPARE(sent->model()->index(1, 0).data(Qt::BackgroundRole).value<QColor>(),
                 QColor(0xC6, 0xEF, 0xCE));
        QVERIFY(!sent->model()->index(0, 0).data(Qt::BackgroundRole).isValid()); // never decided

        QCOMPARE(Column(page, TMailingHistoryPage::SuccessTag, "email"),
                 (QStringList{"r0@example.org", "r2@example.org"}));
        SelectRows(sent, {0, 1});
        MenuAction(menu, "mnuUnsubscribe")->trigger();
        QCOMPARE(IsActive(1).toInt(), 0);
        QCOMPARE(IsActive(3).toInt(), 0);
        QVERIFY(IsActive(2).isNull()); // a failed recipient, not selected in its own list
        QCOMPARE(sent->model()->index(0, 0).data(Qt::BackgroundRole).value<QColor>(),
                 QColor(0xFF, 0xC7, 0xCE));
        QCOMPARE(sent->SelectedRows(), (QList<int>{0, 1}));

        SelectRows(sent, {1});
        MenuAction(menu, "mnuSubscribe")->trigger();
        QCOMPARE(IsActive(1).toInt(), 0);
        QCOMPARE(IsActive(3).toInt(), 1);

        // The failed list's menu acts on the failed list.
        QMenu* failedMenu = page.EditMenu(TMailingHistoryPage::FailedTag);
        SelectRows(page.Grid(TMailingHistoryPage::FailedTag), {1});
        MenuAction(failedMenu, "mnuSubscribe")->trigger();
        QCOMPARE(IsActive(4).toInt(), 1);
        QVERIFY(IsActive(2).isNull());
    }

    void addressOpensInTheAddressWindow() {
        History h;
        testsupport::ScriptedDialogService dialogs;
        TMailingHistoryPage page;
        page.SetHistoryActive(true);
        page.SetTemplateID(7, false);
        page.SetCurrentJob(1);
        page.resize(900, 400);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        hostapi::QVDBGrid* failed = page.Grid(TMailingHistoryPage::FailedTag);
        QString shown;
        dialogs.AddModal([&](QDialog& ADialog) {
            QVERIFY(qobject_cast<hostapi::AddressEditWindow*>(&ADialog));
            shown = ADialog.findChild<QLineEdit*>(QStringLiteral("email1"))->text();
            ADialog.reject();
        });
        const QPoint cell = failed->visualRect(failed->model()->index(1, 0)).center();
        QTest::mouseClick(failed->viewport(), Qt::LeftButton, {}, cell);
        QTest::mouseDClick(failed->viewport(), Qt::LeftButton, {}, cell);
        QCOMPARE(shown, QStringLiteral("r3@example.org"));

        // F2 (the grid's edit action) opens it as well.
        dialogs.AddModal([&](QDialog& ADialog) {
            shown = ADialog.findChild<QLineEdit*>(QStringLiteral("email1"))->text() + QStringLiteral(" (F2)");
            ADialog.reject();
        });
        QTest::keyClick(failed, Qt::Key_F2);
        QCOMPARE(shown, QStringLiteral("r3@example.org (F2)"));

        // An address that no longer exists is not opened (an unscripted dialog would fail the test).
        Database::Exec(QStringLiteral("DELETE FROM \"pelm_addresses_ass\" WHERE \"id\" = 4"));
        page.EditAddress(TMailingHistoryPage::FailedTag);
    }

    void resendToTheFailedReachesOnlyThem() {
        RegisterDNSEmailSenderClasses();
        testsupport::SmtpPeer peer;
        START_PEER(peer);
        History h;
        windowtests::JobList jobs;
        QTemporaryDir folder;
        TMailingHistoryPage page;
        page.SetOnJobViewHoldsJob([&] { return jobs.List.ByTemplateID(7) != nullptr; });
        windowtests::HeldJob* resend = nullptr;
        page.SetOnResend([&](qint64 AJob, qint64 AState) {
            resend = jobs.Create(
                7, esPlainText,
                windowtests::RecipientList(msdExtSMTP, QStringLiteral("127.0.0.1:%1").arg(peer.Port())));
            resend->SetReSendJobID(AJob);
            resend->SetReSendJobState(AState);
            resend->SetTempDirectory(folder.path() + QLatin1Char('/'));
            resend->Prepare();
            QVERIFY(resend->WaitPrepared());
            resend->Send();
        });
        page.SetHistoryActive(true);
        page.SetTemplateID(7, false);
        page.SetCurrentJob(1);
        QVERIFY(page.actResendFailed()->isEnabled());
        page.actResendFailed()->trigger();
        QVERIFY(resend);
        QTRY_VERIFY_WITH_TIMEOUT(resend->State().Contains(jsSent), 30000);
        page.UpdateActions();
        QVERIFY(!page.actResendFailed()->isEnabled()); // the job view holds the template's job

        QStringList received;
        for (const QString& message : peer.Messages())
            received << peer.Envelope(message).value(QStringLiteral("rcpt_tos")).toArray().at(0).toString();
        received.sort();
        QCOMPARE(received, (QStringList{"r1@example.org", "r3@example.org"}));

        // The new job is part of the history as a resend of the failed recipients.
        jobs.List.Delete(resend);
        page.RefreshJobs();
        QCOMPARE(page.JobGrid()->model()->rowCount(), 3);
        page.SetCurrentJob(0);
        QCOMPARE(page.JobTypeLabel()->text(),
                 QStringLiteral("Erneuter Versand an alle fehlerhaft versendeten"));
        QCOMPARE(Column(page, TMailingHistoryPage::SuccessTag, "email").size(), 2);
    }

    void grabbed_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("jobText");
        QTest::newRow("de") << "German"
                            << "Versand an Verteilerliste";
        QTest::newRow("en") << "English"
                            << "Sending to distribution list";
    }
    void grabbed() {
        QFETCH(QString, language);
        QFETCH(QString, jobText);
        History h;
        Database::InsertRow("pelm_addresses_det", {"id", "isactive"}, {1, 1});
        Database::InsertRow("pelm_addresses_det", {"id", "isactive"}, {2, 0});
        TMailingHistoryPage page;
        page.SetLanguage(language);
        page.SetHistoryActive(true);
        page.SetTemplateID(7, true);
        page.SetCurrentJob(1);
        QCOMPARE(page.JobTypeLabel()->text(), jobText);
        page.resize(1150, 380);
        QVERIFY(testsupport::SaveGrab(page, QV_GRAB_DIR, language));
    }
};

QTEST_MAIN(tst_MailingHistoryPage)
#include "tst_MailingHistoryPage.moc"
