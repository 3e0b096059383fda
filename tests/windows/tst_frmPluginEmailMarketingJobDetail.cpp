// The job detail view on real jobs: rows, panels and buttons by state, the questions before the job
// actions, the job list's notifications, the timer and the grabbed view in German and English.

#include "frmPluginEmailMarketingJobDetail.h"

#include "HostLibraries.h"
#include "QVException.h"
#include "RegionalSettings.h"
#include "VRNLang.h"
#include "WindowJobs.h"
#include "frmPluginEmailMarketingPreview.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"
#include "support/WindowTestHelpers.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <chrono>

using namespace emailmarketing;
using namespace windowtests;
using hostapi::TModalResult;
using testsupport::Click;
using testsupport::Find;

Q_DECLARE_METATYPE(hostapi::TModalResult)

namespace {

const char* const ButtonNames[] = {"btnPrepare", "btnSend",      "btnPreview", "btnFailedPreview", "btnScheduler",
                                   "btnCancelJob", "btnKill", "btnResetJob", "btnStart"};

// Names of the enabled action buttons.
QStringList EnabledButtons(QWidget& AView) {
    QStringList enabled;
    for (const char* name : ButtonNames)
        if (Find<QPushButton>(AView, name)->isEnabled())
            enabled << QLatin1String(name);
    return enabled;
}

QStringList Names(QWidget& AView) {
    QStringList names;
    auto* list = Find<QTreeWidget>(AView, "cxLVJobInfo");
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        names << list->topLevelItem(i)->text(0);
    return names;
}

QString Value(QWidget& AView, const QString& AName) {
    auto* list = Find<QTreeWidget>(AView, "cxLVJobInfo");
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0) == AName)
            return list->topLevelItem(i)->text(1);
    return QStringLiteral("<no row %1>").arg(AName);
}

void Tick(QWidget& AView) {
    QMetaObject::invokeMethod(Find<QTimer>(AView, "tmrUpdate"), "timeout");
}

// A shown view on a job list, following template 7.
struct View {
    JobList Jobs;
    TfrmPluginEmailMarketingJobDetail Form{Jobs.List};
    View() {
        Form.SetLanguage(QStringLiteral("German"));
        Form.SetLoadedTemplateID(7);
        Form.show();
    }
};

const QStringList Base{"Format", "Betreff", "Job-Start", "Job-Alter"};

// A job of 100 recipients prepared and sending in units of 50, a minute apart: answers it once the
// first unit is sent and the job pauses (nullptr when that does not happen within 30 s).
HeldJob* SendingJob(View& AView) {
    HeldJob* job = AView.Jobs.Create(7, esPlainText, UnitList(50, 1));
    job->Prepare();
    if (!job->WaitPrepared())
        return nullptr;
    job->Send();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (job->SentCount() < 50 || !job->State().Contains(jsDelayd)) {
        if (std::chrono::steady_clock::now() > deadline)
            return nullptr;
        QTest::qWait(10);
    }
    return job;
}

} // namespace

class tst_frmPluginEmailMarketingJobDetail : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }
    void cleanup() {
        hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German"));
        hostapi::RegionalSettings::SetLocale(QLocale(QLocale::German, QLocale::Germany));
    }

    void templateWithoutJobShowsNothing() {
        View view;
        QVERIFY(view.Form.Job() == nullptr);
        QCOMPARE(Names(view.Form), QStringList{});
        QCOMPARE(EnabledButtons(view.Form), QStringList{});
        QVERIFY(!Find<QWidget>(view.Form, "pnlPrepare")->isVisible());
        QVERIFY(!Find<QWidget>(view.Form, "pnlSend")->isVisible());
        QVERIFY(!Find<QTimer>(view.Form, "tmrUpdate")->isActive());
    }

    void initializedJobIsPickedUpWhenCreated() {
        testsupport::TestDatabase db;
        View view;
        int changes = 0;
        view.Form.OnChangeJob = [&](TfrmPluginEmailMarketingJobDetail&) { ++changes; };
        view.Jobs.Create(8); // another template's job is not taken
        QVERIFY(view.Form.Job() == nullptr);
        HeldJob* job = view.Jobs.Create(7);
        QCOMPARE(view.Form.Job(), job);
        view.Form.RefreshView();
        QCOMPARE(changes, 1);
        QVERIFY(Find<QTimer>(view.Form, "tmrUpdate")->isActive());
        QCOMPARE(Find<QTimer>(view.Form, "tmrUpdate")->interval(), 5000);
        QCOMPARE(Names(view.Form), Base);
        QCOMPARE(Value(view.Form, "Format"), QStringLiteral("TEXT"));
        QCOMPARE(EnabledButtons(view.Form), (QStringList{"btnPrepare", "btnScheduler", "btnKill", "btnStart"}));
        QVERIFY(!Find<QWidget>(view.Form, "pnlPrepare")->isVisible());
        QVERIFY(!Find<QWidget>(view.Form, "pnlSend")->isVisible());

        job->SetAutoStartDate(QDateTime(QDate(2025, 3, 5), QTime(14, 7, 9)));
        job->SetAutoStart(true);
        view.Form.RefreshView();
        QCOMPARE(Names(view.Form), (Base + QStringList{"Auto-Start am"}));
        QCOMPARE(Value(view.Form, "Auto-Start am"), QStringLiteral("05-03-2025 14:07:09"));
    }

    void noPreparedMessageNoPreview() {
        testsupport::TestDatabase db;
        View view;
        view.Jobs.Create(7);
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(hostapi::mrOk);
        view.Form.Preview(epmAll);
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions.at(0).Text, QStringLiteral("Es sind keine EMail für Voransicht verfügbar!"));
        QCOMPARE(dialogs.Questions.at(0).Type, hostapi::mtInformation);
        QCOMPARE(dialogs.Questions.at(0).Buttons, hostapi::TMsgDlgButtons(hostapi::mbOK));
        QVERIFY(dialogs.Modals.isEmpty());
    }

    void preparingJob() {
        testsupport::TestDatabase db;
        AddRecipients(100);
        View view;
        HeldJob* job = view.Jobs.Create(7);
        job->HoldAt(40);
        job->Prepare();
        QVERIFY(job->WaitHeld());
        Tick(view.Form);
        QCOMPARE(Names(view.Form), (Base + QStringList{"Start-Personalisierung", "Laufzeit-Personalisierung",
                                                       "Status-Personalisierung", "Empfänger", "Personalisiert"}));
        QCOMPARE(Value(view.Form, "Status-Personalisierung"), QStringLiteral("läuft"));
        QCOMPARE(Value(view.Form, "Empfänger"), QStringLiteral("100"));
        QCOMPARE(Value(view.Form, "Personalisiert"), QStringLiteral("40"));
        QVERIFY(Find<QWidget>(view.Form, "pnlPrepare")->isVisible());
        QVERIFY(!Find<QWidget>(view.Form, "pnlSend")->isVisible());
        QCOMPARE(Find<QProgressBar>(view.Form, "gaugePrepare")->maximum(), 100);
        QCOMPARE(Find<QProgressBar>(view.Form, "gaugePrepare")->value(), 40);
        QCOMPARE(EnabledButtons(view.Form),
                 (QStringList{"btnSend", "btnPreview", "btnCancelJob", "btnKill", "btnResetJob"}));
        job->Release();
        QVERIFY(job->WaitPrepared());
        Tick(view.Form);
        QCOMPARE(Value(view.Form, "Status-Personalisierung"), QStringLiteral("beendet"));
    }

    void sendingJob_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("throughput");
        QTest::addColumn<QString>("pause");
        QTest::newRow("English regional settings") << QLocale(QLocale::English, QLocale::UnitedStates)
                                                   << "30.00 Stk./Min." << "1.00";
        QTest::newRow("German regional settings") << QLocale(QLocale::German, QLocale::Germany) << "30,00 Stk./Min."
                                                  << "1,00";
    }
    void sendingJob() {
        QFETCH(QLocale, locale);
        QFETCH(QString, throughput);
        QFETCH(QString, pause);
        hostapi::RegionalSettings::SetLocale(locale);
        testsupport::TestDatabase db;
        AddRecipients(100);
        View view;
        // Every message 2 s after the one before; after the first unit of 50 the job pauses for
        // a minute of its clock, which stands still.
        FakeTransport transport(view.Jobs.Time, 2000);
        HeldJob* job = SendingJob(view);
        QVERIFY(job);

        Tick(view.Form);
        QCOMPARE(Value(view.Form, "Sende-Status"), QStringLiteral("läuft"));
        QCOMPARE(Value(view.Form, "Gesendet"), QStringLiteral("50"));
        QCOMPARE(Value(view.Form, "Zeit pro Mail avg."), QStringLiteral("2000 ms"));
        // 100 s for the 50 messages left and one pause of a minute before the second unit.
        QCOMPARE(Value(view.Form, "Gesch. Rest-Versandzeit"), QStringLiteral("0Tage 0h 2m 40s"));
        QCOMPARE(Value(view.Form, "Gesch. Endzeit"), QStringLiteral("05-03-2025 14:04:20"));
        QCOMPARE(Value(view.Form, "Versand-Durchsatz"), throughput);
        QCOMPARE(Value(view.Form, "Gesendete Staffeln"), QStringLiteral("1"));
        QCOMPARE(Value(view.Form, "Versand-Pause"), pause + QStringLiteral(" Minuten"));
        QCOMPARE(Find<QLabel>(view.Form, "lblDelay")->text(),
                 QStringLiteral("Versand-Pause für %1 Minuten").arg(pause));
        QVERIFY(Find<QWidget>(view.Form, "lblDelay")->isVisible());
        QVERIFY(Find<QWidget>(view.Form, "pnlSend")->isVisible());
        QCOMPARE(Find<QProgressBar>(view.Form, "gaugeSending")->maximum(), 100);
        QCOMPARE(Find<QProgressBar>(view.Form, "gaugeSending")->value(), 50);
        QCOMPARE(EnabledButtons(view.Form),
                 (QStringList{"btnPreview", "btnCancelJob", "btnKill", "btnResetJob"}));

        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(hostapi::mrOk);
        view.Form.ShowScheduler();
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions.at(0).Text,
                 QStringLiteral("Der Job läuft bereits und kann nicht mehr geplant werden!"));
        QCOMPARE(dialogs.Questions.at(0).Type, hostapi::mtError);
        QVERIFY(dialogs.Modals.isEmpty());

        // Killed: the job leaves the list, the view empties and its timer stops.
        dialogs.AddAnswer(hostapi::mrYes);
        Click(view.Form, "btnKill");
        QCOMPARE(dialogs.Questions.size(), 2);
        QCOMPARE(dialogs.Questions.at(1).Text, QStringLiteral("Möchten Sie den Job wirklich beenden?"));
        QCOMPARE(dialogs.Questions.at(1).Type, hostapi::mtWarning);
        QCOMPARE(view.Jobs.List.Count(), 0);
        QVERIFY(view.Form.Job() == nullptr);
        QCOMPARE(Names(view.Form), QStringList{});
        QVERIFY(!Find<QTimer>(view.Form, "tmrUpdate")->isActive());
        Tick(view.Form); // a late tick finds nothing to show
        QCOMPARE(Names(view.Form), QStringList{});
        QCOMPARE(EnabledButtons(view.Form), QStringList{});
    }

    void questionsBeforeTheActions_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("question");
        QTest::addColumn<TModalResult>("answer");
        QTest::addColumn<QString>("outcome");
        const QList<QPair<TModalResult, QString>> answers{
            {hostapi::mrYes, "Yes"}, {hostapi::mrNo, "No"}, {hostapi::mrCancel, "Cancel"}};
        for (const auto& [answer, name] : answers) {
            const bool yes = answer == hostapi::mrYes;
            QTest::addRow("cancel, %s", qPrintable(name))
                << "btnCancelJob" << "Möchten Sie den Job wirklich abbrechen?" << answer
                << (yes ? "terminating" : "unchanged");
            QTest::addRow("reset, %s", qPrintable(name))
                << "btnResetJob" << "Möchten Sie den Job wirklich zurücksetzen?" << answer
                << (yes ? "reset" : "unchanged");
            QTest::addRow("kill, %s", qPrintable(name))
                << "btnKill" << "Möchten Sie den Job wirklich beenden?" << answer << (yes ? "removed" : "unchanged");
        }
    }
    void questionsBeforeTheActions() {
        QFETCH(QString, button);
        QFETCH(QString, question);
        QFETCH(TModalResult, answer);
        QFETCH(QString, outcome);
        testsupport::TestDatabase db;
        AddRecipients(10);
        View view;
        HeldJob* job = view.Jobs.Create(7);
        job->HoldAt(5);
        job->Prepare();
        QVERIFY(job->WaitHeld());
        view.Form.RefreshView();
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(answer);
        Click(view.Form, qPrintable(button));
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions.at(0).Text, question);
        QCOMPARE(dialogs.Questions.at(0).Type, hostapi::mtWarning);
        QCOMPARE(dialogs.Questions.at(0).Buttons, hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel);
        if (outcome == QLatin1String("removed")) {
            QCOMPARE(view.Jobs.List.Count(), 0);
            QVERIFY(view.Form.Job() == nullptr);
            return;
        }
        QCOMPARE(view.Jobs.List.Count(), 1);
        if (outcome == QLatin1String("unchanged"))
            QCOMPARE(job->State(), TJobStateSet({jsInitialized, jsPreparing}));
        else if (outcome == QLatin1String("terminating"))
            QVERIFY(job->State().Contains(jsTerminateing));
        else
            QCOMPARE(job->State(), TJobStateSet({jsInitialized}));
        job->Release();
        QVERIFY(job->WaitPrepared());
    }

    void startAsksFirst_data() {
        QTest::addColumn<TModalResult>("answer");
        QTest::addColumn<bool>("started");
        QTest::newRow("Yes starts") << hostapi::mrYes << true;
        QTest::newRow("No") << hostapi::mrNo << false;
        QTest::newRow("Cancel") << hostapi::mrCancel << false;
    }
    void startAsksFirst() {
        QFETCH(TModalResult, answer);
        QFETCH(bool, started);
        testsupport::TestDatabase db;
        AddRecipients(3);
        View view;
        FakeTransport transport(view.Jobs.Time, 1000);
        HeldJob* job = view.Jobs.Create(7);
        view.Form.RefreshView();
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(answer);
        Click(view.Form, "btnStart");
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions.at(0).Text, QStringLiteral("Möchten Sie den Job nun starten?"));
        QCOMPARE(dialogs.Questions.at(0).Type, hostapi::mtConfirmation);
        if (!started) {
            QCOMPARE(job->State(), TJobStateSet({jsInitialized}));
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(job->State().Contains(jsSent), 30000);
        QCOMPARE(transport.Script->Messages().size(), 3);
    }

    void refusalOfTheJobIsShown() {
        testsupport::TestDatabase db;
        AddRecipients(3);
        View view;
        HeldJob* job = view.Jobs.Create(7);
        job->HoldAt(1);
        job->Prepare();
        QVERIFY(job->WaitHeld());
        testsupport::RecordingExceptionDisplay shown;
        view.Form.SetJob(job);
        // The button is disabled while preparing; the ribbon's call reaches the job's refusal.
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVUserMessageException, view.Form.Prepare());
        job->Release();
        QVERIFY(job->WaitPrepared());
    }

    void viewOnlyAndExpertMode() {
        View view;
        QVERIFY(!view.Form.ViewOnly());
        QVERIFY(view.Form.ExpertMode());
        QVERIFY(view.Form.HasExpertMode());
        view.Form.SetViewOnly(true);
        QVERIFY(!Find<QWidget>(view.Form, "pnlFunctions")->isVisible());
        QVERIFY(view.Form.ViewOnly());
        view.Form.SetViewOnly(false);
        Click(view.Form, "cbExpertModus");
        QVERIFY(!view.Form.ExpertMode());
        QVERIFY(!Find<QWidget>(view.Form, "pnlExpertMode")->isVisible());
        view.Form.SetExpertMode(true);
        QVERIFY(Find<QWidget>(view.Form, "pnlExpertMode")->isVisible());
        view.Form.SetHasExpertMode(false);
        QVERIFY(!view.Form.HasExpertMode());
    }

    void hiddenViewOnlyUpdatesTheButtons() {
        testsupport::TestDatabase db;
        View view;
        view.Jobs.Create(7);
        view.Form.hide();
        view.Form.RefreshView();
        QCOMPARE(Names(view.Form), QStringList{});
        QCOMPARE(EnabledButtons(view.Form), (QStringList{"btnPrepare", "btnScheduler", "btnKill", "btnStart"}));
    }

    void grabInGermanAndEnglish_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("kill");
        QTest::newRow("German") << "German" << "&Beenden";
        QTest::newRow("English") << "English" << "&Kill";
    }
    void grabInGermanAndEnglish() {
        QFETCH(QString, language);
        QFETCH(QString, kill);
        testsupport::TestDatabase db;
        AddRecipients(100);
        View view;
        view.Form.SetLanguage(language);
        FakeTransport transport(view.Jobs.Time, 2000);
        QVERIFY(SendingJob(view));
        view.Form.RefreshView();
        QCOMPARE(Find<QPushButton>(view.Form, "btnKill")->text(), kill);
        QVERIFY(testsupport::SaveGrab(view.Form, QStringLiteral(QV_GRAB_DIR), language));
    }
};

QTEST_MAIN(tst_frmPluginEmailMarketingJobDetail)
#include "tst_frmPluginEmailMarketingJobDetail.moc"
