#include "BaseEmailSender.h"
#include "VRNLang.h"
#include "frmPluginEmailMarketingJobScheduler.h"
#include "support/HostDoubles.h"
#include "support/WindowTestHelpers.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QtTest>

#include <functional>

using namespace emailmarketing;
using hostapi::TModalResult;
using testsupport::Click;
using testsupport::Find;

Q_DECLARE_METATYPE(hostapi::TModalResult)

namespace {

QDateTime At(const QString& AText) {
    return QDateTime::fromString(AText, QStringLiteral("yyyy-MM-dd HH:mm"));
}

const QString PastD = QStringLiteral(
    "Der angegebene Startzeitpunkt liegt in der Vergangenheit oder ist zu früh!\n"
    "Der Automatische Startzeitpunkt muss mindestens 5 Minuten von der aktuellen Zeit abweichen.");
const QString SaveQuestion = QStringLiteral("Möchten Sie die Änderungen speichern?");

} // namespace

class tst_frmPluginEmailMarketingJobScheduler : public QObject {
    Q_OBJECT

    // A job at 10:00 on its own clock, without a start time.
    struct Job {
        TLocalEmailSender Sender{nullptr, 1, nullptr, esPlainText};
        QDateTime Now = At("2026-03-10 10:00");
        Job() {
            Sender.SetClock([this] { return Now; });
        }
    };

private slots:
    void cleanup() { hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void jobWithoutStartShowsTheDefaultsUnchecked() {
        Job job;
        testsupport::ScriptedDialogService dialogs;
        bool checked = true, dateEnabled = true, timeEnabled = true, boxEnabled = false;
        QDate date;
        QTime time;
        QString caption, boxText;
        dialogs.AddModal([&](QDialog& d) {
            caption = d.windowTitle();
            boxText = Find<QCheckBox>(d, "cbAutoStart")->text();
            checked = Find<QCheckBox>(d, "cbAutoStart")->isChecked();
            boxEnabled = Find<QCheckBox>(d, "cbAutoStart")->isEnabled();
            date = Find<QDateEdit>(d, "dtpDate")->date();
            time = Find<QTimeEdit>(d, "dtpTime")->time();
            dateEnabled = Find<QDateEdit>(d, "dtpDate")->isEnabled();
            timeEnabled = Find<QTimeEdit>(d, "dtpTime")->isEnabled();
            Click(d, "btnClose");
        });
        TfrmPluginEmailMarketingJobScheduler::ShowScheduler(&job.Sender, QStringLiteral("German"));
        QCOMPARE(caption, QStringLiteral("Versand Zeitplaner"));
        QCOMPARE(boxText, QStringLiteral("Versand &automatisch starten am:"));
        QVERIFY(!checked);
        QVERIFY(boxEnabled);
        QCOMPARE(date, QDate(2026, 3, 10));
        QCOMPARE(time, QTime(11, 0));
        QVERIFY(!dateEnabled);
        QVERIFY(!timeEnabled);
        QVERIFY(dialogs.Questions.isEmpty()); // unchanged: closes without a question
        QCOMPARE(dialogs.Modals, QStringList{"frmPluginEmailMarketingJobScheduler"});
    }

    void withoutJobNothingIsEditable() {
        TfrmPluginEmailMarketingJobScheduler dialog;
        QVERIFY(!Find<QCheckBox>(dialog, "cbAutoStart")->isEnabled());
        QVERIFY(!Find<QDateEdit>(dialog, "dtpDate")->isEnabled());
    }

    void after2300TheDefaultIsTomorrow() {
        Job job;
        job.Now = At("2026-03-10 23:30");
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddModal([&](QDialog& d) {
            Click(d, "cbAutoStart");
            Click(d, "btnApply");
        });
        TfrmPluginEmailMarketingJobScheduler::ShowScheduler(&job.Sender, QStringLiteral("German"));
        QVERIFY(dialogs.Questions.isEmpty());
        QVERIFY(job.Sender.AutoStart());
        QCOMPARE(job.Sender.AutoStartDate(), At("2026-03-11 00:30"));
    }

    void startMustLieMoreThanFiveMinutesAhead_data() {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<bool>("stored");
        QTest::newRow("5 minutes ahead: refused, stays open") << QTime(10, 5) << false;
        QTest::newRow("6 minutes ahead: stored, closes") << QTime(10, 6) << true;
    }
    void startMustLieMoreThanFiveMinutesAhead() {
        QFETCH(QTime, time);
        QFETCH(bool, stored);
        Job job;
        testsupport::ScriptedDialogService dialogs;
        bool openAfterApply = false;
        dialogs.AddAnswer(hostapi::mrOk); // IDS_PastD, when refused
        dialogs.AddAnswer(hostapi::mrNo); // then IDS_Save: No
        dialogs.AddModal([&](QDialog& d) {
            Click(d, "cbAutoStart");
            Find<QTimeEdit>(d, "dtpTime")->setTime(time);
            Click(d, "btnApply");
            openAfterApply = d.isVisible();
            if (openAfterApply)
                Click(d, "btnClose");
        });
        TfrmPluginEmailMarketingJobScheduler::ShowScheduler(&job.Sender, QStringLiteral("German"));
        QCOMPARE(openAfterApply, !stored);
        QCOMPARE(job.Sender.AutoStart(), stored);
        QCOMPARE(job.Sender.AutoStartDate(), stored ? At("2026-03-10 10:06") : QDateTime());
        if (stored) {
            QVERIFY(dialogs.Questions.isEmpty());
        } else {
            QCOMPARE(dialogs.Questions.size(), 2);
            QCOMPARE(dialogs.Questions.at(0).Text, PastD);
            QCOMPARE(dialogs.Questions.at(0).Type, hostapi::mtInformation);
            QCOMPARE(dialogs.Questions.at(0).Buttons, hostapi::TMsgDlgButtons(hostapi::mbOK));
            QCOMPARE(dialogs.Questions.at(1).Text, SaveQuestion);
        }
    }

    void cancelAfterAChangeAsksToSave_data() {
        QTest::addColumn<TModalResult>("answer");
        QTest::addColumn<bool>("stored");
        QTest::newRow("Yes stores") << hostapi::mrYes << true;
        QTest::newRow("No stores nothing") << hostapi::mrNo << false;
        QTest::newRow("Cancel stores nothing") << hostapi::mrCancel << false;
    }
    void cancelAfterAChangeAsksToSave() {
        QFETCH(TModalResult, answer);
        QFETCH(bool, stored);
        Job job;
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(answer);
        bool closed = false;
        dialogs.AddModal([&](QDialog& d) {
            Click(d, "cbAutoStart");
            Find<QDateEdit>(d, "dtpDate")->setDate(QDate(2026, 3, 12));
            Click(d, "btnClose");
            closed = !d.isVisible();
        });
        TfrmPluginEmailMarketingJobScheduler::ShowScheduler(&job.Sender, QStringLiteral("German"));
        QVERIFY(closed);
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions.at(0).Text, SaveQuestion);
        QCOMPARE(dialogs.Questions.at(0).Type, hostapi::mtConfirmation);
        QCOMPARE(dialogs.Questions.at(0).Buttons, hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel);
        QCOMPARE(job.Sender.AutoStart(), stored);
        QCOMPARE(job.Sender.AutoStartDate(), stored ? At("2026-03-12 11:00") : QDateTime());
    }

    void uncheckingStoresNoDateAndAutoStartOff() {
        Job job;
        job.Sender.SetAutoStartDate(At("2026-03-11 08:00"));
        job.Sender.SetAutoStart(true);
        testsupport::ScriptedDialogService dialogs;
        bool wasChecked = false, timeWasEnabled = false;
        QTime shownTime;
        dialogs.AddModal([&](QDialog& d) {
            wasChecked = Find<QCheckBox>(d, "cbAutoStart")->isChecked();
            timeWasEnabled = Find<QTimeEdit>(d, "dtpTime")->isEnabled();
            shownTime = Find<QTimeEdit>(d, "dtpTime")->time();
            Click(d, "cbAutoStart");
            Click(d, "btnApply");
        });
        TfrmPluginEmailMarketingJobScheduler::ShowScheduler(&job.Sender, QStringLiteral("German"));
        QVERIFY(wasChecked);
        QVERIFY(timeWasEnabled);
        QCOMPARE(shownTime, QTime(8, 0));
        QVERIFY(!job.Sender.AutoStart());
        QVERIFY(!job.Sender.AutoStartDate().isValid());
    }

    void windowCloseButtonStoresAndAsksNothing() {
        Job job;
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddModal([&](QDialog& d) {
            Click(d, "cbAutoStart");
            d.close();
        });
        TfrmPluginEmailMarketingJobScheduler::ShowScheduler(&job.Sender, QStringLiteral("German"));
        QVERIFY(dialogs.Questions.isEmpty());
        QVERIFY(!job.Sender.AutoStart());
    }

    void grabInGermanAndEnglish_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("apply");
        QTest::newRow("German") << "German"
                                << "&Speichern";
        QTest::newRow("English") << "English"
                                 << "&Save";
    }
    void grabInGermanAndEnglish() {
        QFETCH(QString, language);
        QFETCH(QString, apply);
        Job job;
        TfrmPluginEmailMarketingJobScheduler dialog;
        dialog.SetLanguage(language);
        dialog.SetJob(&job.Sender);
        QVERIFY(testsupport::SaveGrab(dialog, QStringLiteral(QV_GRAB_DIR), language));
        QCOMPARE(Find<QPushButton>(dialog, "btnApply")->text(), apply);
        QVERIFY(QDir().mkpath(QStringLiteral(QV_GRAB_DIR)));
        const QString file =
            QStringLiteral(QV_GRAB_DIR "/frmPluginEmailMarketingJobScheduler_%1.png").arg(language);
        QVERIFY(dialog.grab().save(file, "PNG"));
    }
};

QTEST_MAIN(tst_frmPluginEmailMarketingJobScheduler)
#include "tst_frmPluginEmailMarketingJobScheduler.moc"
