#include "DialogService.h"
#include "QVException.h"
#include "VRNLang.h"
#include "support/HostDoubles.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QProcess>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <thread>

using namespace hostapi;

Q_DECLARE_METATYPE(hostapi::TMsgDlgType)
Q_DECLARE_METATYPE(hostapi::TMsgDlgButtons)
Q_DECLARE_METATYPE(hostapi::TModalResult)

namespace {

// Runs AAct on the modal dialog as soon as it is shown.
void WhenModalShown(std::function<void(QWidget*)> AAct) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, AAct] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        AAct(modal);
    });
    timer->start();
}

QStringList SortedButtonTexts(QMessageBox* box) {
    QStringList texts;
    for (QAbstractButton* button : box->buttons())
        texts << button->text();
    texts.sort();
    return texts;
}

} // namespace

class tst_DialogService : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void messageDlgShowsTranslatedButtonsAndAnswersThePressedOne_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<TMsgDlgType>("type");
        QTest::addColumn<TMsgDlgButtons>("buttons");
        QTest::addColumn<QString>("press"); // button text, or "<Escape>"
        QTest::addColumn<QString>("expectedTitle");
        QTest::addColumn<QStringList>("expectedButtons");
        QTest::addColumn<QMessageBox::Icon>("expectedIcon");
        QTest::addColumn<TModalResult>("expectedResult");

        QTest::newRow("shut-down warning, Ignore")
            << "German" << mtWarning << TMsgDlgButtons(mbNo | mbCancel | mbIgnore) << "&Ignorieren"
            << "Warnung" << QStringList{"&Ignorieren", "&Nein", "Abbrechen"} << QMessageBox::Warning
            << mrIgnore;
        QTest::newRow("shut-down warning, Escape answers Cancel")
            << "German" << mtWarning << TMsgDlgButtons(mbNo | mbCancel | mbIgnore) << "<Escape>"
            << "Warnung" << QStringList{"&Ignorieren", "&Nein", "Abbrechen"} << QMessageBox::Warning
            << mrCancel;
        QTest::newRow("English confirmation, Yes")
            << "English" << mtConfirmation << TMsgDlgButtons(mbYes | mbNo | mbCancel) << "&Yes"
            << "Confirm" << QStringList{"&No", "&Yes", "Cancel"} << QMessageBox::Question << mrYes;
        QTest::newRow("Escape without Cancel answers No")
            << "German" << mtConfirmation << TMsgDlgButtons(mbYes | mbNo) << "<Escape>"
            << "Bestätigen" << QStringList{"&Ja", "&Nein"} << QMessageBox::Question << mrNo;
        QTest::newRow("French error, OK") << "French" << mtError << TMsgDlgButtons(mbOK) << "OK"
                                          << "Erreur" << QStringList{"OK"} << QMessageBox::Critical << mrOk;
        QTest::newRow("Italian information, Retry")
            << "Italian" << mtInformation << TMsgDlgButtons(mbAbort | mbRetry | mbIgnore) << "&Riprova"
            << "Informazione" << QStringList{"&Ignora", "&Interrompi", "&Riprova"} << QMessageBox::Information
            << mrRetry;
        QTest::newRow("all buttons, No to All")
            << "German" << mtCustom
            << TMsgDlgButtons(mbYes | mbNo | mbOK | mbCancel | mbAbort | mbRetry | mbIgnore | mbAll |
                              mbNoToAll | mbYesToAll | mbHelp)
            << "N&ein für alle" << QApplication::applicationDisplayName()
            << QStringList{"&Abbrechen",   "&Alle",     "&Hilfe",       "&Ignorieren",    "&Ja", "&Nein",
                           "&Wiederholen", "Abbrechen", "Ja für &alle", "N&ein für alle", "OK"}
            << QMessageBox::NoIcon << mrNoToAll;
    }
    void messageDlgShowsTranslatedButtonsAndAnswersThePressedOne() {
        QFETCH(QString, language);
        QFETCH(TMsgDlgType, type);
        QFETCH(TMsgDlgButtons, buttons);
        QFETCH(QString, press);
        QFETCH(QString, expectedTitle);
        QFETCH(QStringList, expectedButtons);
        QFETCH(QMessageBox::Icon, expectedIcon);
        QFETCH(TModalResult, expectedResult);

        TVRNLang::SetCurrentLanguage(language);
        QString title, text;
        QStringList shownButtons;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        WhenModalShown([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) {
                modal->close();
                return;
            }
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            shownButtons = SortedButtonTexts(box);
            if (press == QLatin1String("<Escape>")) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton* button : box->buttons())
                if (button->text() == press) {
                    button->click();
                    return;
                }
            box->close();
        });
        const TModalResult result =
            DialogService().MessageDlg(QStringLiteral("Jobs laufen noch."), type, buttons, 0);
        QCOMPARE(text, QStringLiteral("Jobs laufen noch."));
        QCOMPARE(title, expectedTitle);
        QCOMPARE(shownButtons, expectedButtons);
        QCOMPARE(icon, expectedIcon);
        QCOMPARE(result, expectedResult);
    }

    void enterNeverPicksIgnore() {
        // No, Cancel, Ignore has no default button: Enter must not end the running jobs.
        QAbstractButton* defaultButton = nullptr;
        bool seen = false;
        WhenModalShown([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            seen = box != nullptr;
            if (box)
                defaultButton = box->defaultButton();
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        DialogService().MessageDlg(QStringLiteral("?"), mtWarning, mbNo | mbCancel | mbIgnore, 0);
        QVERIFY(seen);
        QVERIFY2(!defaultButton || defaultButton->text() != QLatin1String("&Ignorieren"),
                 "Ignore is the default button");
    }

    void inputQuery_data() {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("expectedAnswer");
        QTest::addColumn<QString>("expectedValue");
        QTest::newRow("OK takes the typed text") << true << "Neue Vorlage" << true << "Neue Vorlage";
        QTest::newRow("Cancel keeps the value") << false << "verworfen" << false << "Alter Name";
    }
    void inputQuery() {
        QFETCH(bool, accept);
        QFETCH(QString, typed);
        QFETCH(bool, expectedAnswer);
        QFETCH(QString, expectedValue);
        QString title, label, shownValue;
        QStringList buttonTexts;
        WhenModalShown([&](QWidget* modal) {
            auto* dialog = qobject_cast<QInputDialog*>(modal);
            if (!dialog) {
                modal->close();
                return;
            }
            title = dialog->windowTitle();
            label = dialog->labelText();
            shownValue = dialog->textValue();
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                buttonTexts << button->text();
            buttonTexts.sort();
            dialog->setTextValue(typed);
            accept ? dialog->accept() : dialog->reject();
        });
        QString value = QStringLiteral("Alter Name");
        const bool answer =
            DialogService().InputQuery(QStringLiteral("Vorlage"), QStringLiteral("Name:"), value);
        QCOMPARE(title, QStringLiteral("Vorlage"));
        QCOMPARE(label, QStringLiteral("Name:"));
        QCOMPARE(shownValue, QStringLiteral("Alter Name"));
        QCOMPARE(buttonTexts, QStringList({"Abbrechen", "OK"}));
        QCOMPARE(answer, expectedAnswer);
        QCOMPARE(value, expectedValue);
    }

    void questionsGoThroughTheInstalledService() {
        testsupport::ScriptedDialogService scripted;
        scripted.AddAnswer(mrIgnore);
        scripted.AddInput(QStringLiteral("Antwort"));
        QCOMPARE(MessageDlg(QStringLiteral("IDS_RJRA"), mtWarning, mbNo | mbCancel | mbIgnore, 0), mrIgnore);
        QString value;
        QVERIFY(InputQuery(QStringLiteral("Titel"), QStringLiteral("Frage"), value));
        QCOMPARE(value, QStringLiteral("Antwort"));
        QCOMPARE(scripted.Questions.size(), 1);
        QCOMPARE(scripted.Questions.at(0).Type, mtWarning);
        QCOMPARE(scripted.Questions.at(0).Buttons, TMsgDlgButtons(mbNo | mbCancel | mbIgnore));
        QVERIFY_THROWS_EXCEPTION(EQVException, MessageDlg(QStringLiteral("unscripted"), mtError, mbOK));
    }

    void questionFromWorkerThreadRaises() {
        testsupport::ScriptedDialogService scripted;
        scripted.AddAnswer(mrOk);
        QString error;
        std::thread worker([&] {
            try {
                MessageDlg(QStringLiteral("from a worker"), mtInformation, mbOK);
            } catch (const EQVAssertion& e) {
                error = e.Message();
            }
        });
        worker.join();
        QVERIFY2(error.startsWith(QLatin1String("Assertion failed")), qPrintable(error));
        QVERIFY(scripted.Questions.isEmpty());
    }

    void nameFilters_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("description shows its pattern")
            << "Text Dateien (*.txt)|*.txt" << QStringList{"Text Dateien (*.txt)"};
        QTest::newRow("patterns appended") << "HTML|*.htm;*.html" << QStringList{"HTML (*.htm *.html)"};
        QTest::newRow("two filters") << "Vorlagen (*.emt)|*.emt|Alle Dateien (*.*)|*.*"
                                     << QStringList{"Vorlagen (*.emt)", "Alle Dateien (*.*)"};
        QTest::newRow("description naming other patterns")
            << "Bilder (Fotos)|*.png;*.jpg" << QStringList{"Bilder (Fotos) (*.png *.jpg)"};
        QTest::newRow("empty: every file") << "" << QStringList{};
    }
    void nameFilters() {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(DialogService::NameFilters(filter), expected);
    }

    void filterWithoutPatternsRaises() {
        QVERIFY_THROWS_EXCEPTION(EQVException, DialogService::NameFilters(QStringLiteral("Text Dateien")));
    }

    void realExecModalRunsTheDialogModally() {
        QDialog dialog;
        bool wasModal = false;
        WhenModalShown([&](QWidget* modal) {
            wasModal = modal == &dialog;
            dialog.done(QDialog::Accepted);
        });
        QCOMPARE(DialogService().ExecModal(dialog), int(QDialog::Accepted));
        QVERIFY(wasModal);
    }

    void scriptedExecModalHandsTheShownDialogToTheScript() {
        testsupport::ScriptedDialogService scripted;
        QDialog dialog;
        dialog.setObjectName(QStringLiteral("frmProbe"));
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        bool shownToScript = false;
        scripted.AddModal([&](QDialog& ADialog) {
            shownToScript = &ADialog == &dialog && ADialog.isVisible();
            QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        });
        QCOMPARE(ExecModal(dialog), int(QDialog::Rejected));
        QVERIFY(shownToScript);
        QCOMPARE(scripted.Modals, QStringList{"frmProbe"});
        QVERIFY_THROWS_EXCEPTION(EQVException, ExecModal(dialog)); // nothing scripted any more
    }

    void scriptThatLeavesTheDialogOpenFails() {
        testsupport::ScriptedDialogService scripted;
        QDialog dialog;
        scripted.AddModal([](QDialog&) {});
        QVERIFY_THROWS_EXCEPTION(EQVException, ExecModal(dialog));
        QVERIFY(!dialog.isVisible());
    }

    void scriptedFileDialogsRecordTheirOptions() {
        testsupport::ScriptedDialogService scripted;
        scripted.AddFileName(QStringLiteral("/tmp/liste.txt"));
        scripted.AddFileName(std::nullopt);
        QString name = QStringLiteral("alt");
        const TFileDialogOptions options{QStringLiteral("Export"),
                                         QStringLiteral("Text Dateien (*.txt)|*.txt"),
                                         QStringLiteral("liste.txt"), QStringLiteral("/tmp")};
        QVERIFY(SaveFileDialog(options, name));
        QCOMPARE(name, QStringLiteral("/tmp/liste.txt"));
        QVERIFY(!OpenFileDialog(options, name));
        QCOMPARE(name, QStringLiteral("/tmp/liste.txt"));
        QCOMPARE(scripted.FileDialogs.size(), 2);
        QVERIFY(scripted.FileDialogs.at(0).Save);
        QVERIFY(!scripted.FileDialogs.at(1).Save);
        QCOMPARE(scripted.FileDialogs.at(0).Options.DefaultName, QStringLiteral("liste.txt"));
        QCOMPARE(scripted.FileDialogs.at(0).Options.Filter, QStringLiteral("Text Dateien (*.txt)|*.txt"));
    }

    // The guard every test links: an unscripted modal window, message or file dialog ends the program
    // at once, naming what was reached (a test never waits for a user or a time-out).
    void testGuardEndsAProgramThatReachesAnUnscriptedDialog_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("modal window") << "modal"
                                      << "A test reached a real modal window: frmProbe";
        QTest::newRow("message") << "message"
                                 << "A test reached a real modal message dialog: Frage?";
        QTest::newRow("open file") << "open"
                                   << "A test reached a real open file dialog: Öffnen";
        QTest::newRow("save file") << "save"
                                   << "A test reached a real save file dialog: Speichern";
    }
    void testGuardEndsAProgramThatReachesAnUnscriptedDialog() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        probe.setProcessEnvironment(env);
        QElapsedTimer elapsed;
        elapsed.start();
        probe.start(QStringLiteral(QV_MODAL_GUARD_PROBE), {kind});
        QVERIFY(probe.waitForFinished(30000));
        const QString output = QString::fromUtf8(probe.readAllStandardError());
        QVERIFY2(probe.exitStatus() == QProcess::CrashExit || probe.exitCode() != 0, qPrintable(output));
        QVERIFY2(output.contains(message), qPrintable(output));
        QVERIFY2(!output.contains(QStringLiteral("dialog returned")), qPrintable(output));
        QVERIFY2(elapsed.elapsed() < 20000, "the guard waited instead of failing at once");
    }
};

QTEST_MAIN(tst_DialogService)
#include "tst_DialogService.moc"
