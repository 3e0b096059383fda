// The preview window on real jobs: navigation and texts of three prepared messages, the shown HTML
// file and its export, send results, SMS counts, attachments, the link and resource policy, the
// preview preparation (schedule kept, failure, close during the wait) and a job sent to the SMTP
// peer; grabbed in German and English.

#include "frmPluginEmailMarketingPreview.h"

#include "DNSEmailSender.h"
#include "HostLibraries.h"
#include "HtmlViewer.h"
#include "QVException.h"
#include "VRNLang.h"
#include "WindowJobs.h"
#include "frmPluginEmailMarketingJobDetail.h"
#include "support/HostDoubles.h"
#include "support/HttpStub.h"
#include "support/MailPeers.h"
#include "support/TestDatabase.h"
#include "support/WindowTestHelpers.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace emailmarketing;
using namespace windowtests;
using testsupport::Click;
using testsupport::Find;

namespace {

using Preview = TfrmPluginEmailMarketingPreview;

QString Text(QWidget& AWindow, const char* ALabel) {
    return Find<QLabel>(AWindow, ALabel)->text();
}

QStringList EnabledNavigation(QWidget& AWindow) {
    QStringList enabled;
    for (const char* name : {"btnFirst", "btnPrev", "btnNext", "btnLast"})
        if (Find<QPushButton>(AWindow, name)->isEnabled())
            enabled << QLatin1String(name);
    return enabled;
}

QByteArray ReadFile(const QString& APath) {
    QFile file(APath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool WriteFile(const QString& APath, const QByteArray& AData) {
    QFile file(APath);
    return file.open(QIODevice::WriteOnly) && file.write(AData) == AData.size();
}

QString Normalized(QString AText) {
    return AText.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).trimmed();
}

hostapi::THtmlViewer& Browser(QWidget& AWindow) {
    return *Find<hostapi::THtmlViewer>(AWindow, "WebBrowser");
}

// A shown job detail view on a job list with an HTML job of template 7 whose folder holds img.png.
struct Fixture {
    testsupport::TestDatabase Db;
    QTemporaryDir Folder;
    JobList Jobs;
    TfrmPluginEmailMarketingJobDetail View{Jobs.List};
    HeldJob* Job = nullptr;

    explicit Fixture(int ARecipients, TEmailStyle AStyle = esHTML,
                     const QString& AHtml = QStringLiteral("<p>Hallo %NAME%</p><img src=\"cid:img.png\">")) {
        AddRecipients(ARecipients);
        View.SetLanguage(QStringLiteral("German"));
        View.SetLoadedTemplateID(7);
        Job = Jobs.Create(7, AStyle);
        Job->SetHTMLContent(AHtml);
        Job->SetTempDirectory(Folder.path() + QLatin1Char('/'));
        WriteFile(Folder.filePath(QStringLiteral("img.png")), "PNG image");
        Job->InlineFileList() = {Folder.filePath(QStringLiteral("img.png"))};
    }
    bool Prepare() {
        Job->Prepare();
        return Job->WaitPrepared();
    }
    // Shows the preview in AMode through the view and runs AScript on it.
    void Show(TEmailPreviewMode AMode, testsupport::ScriptedDialogService& ADialogs,
              const std::function<void(Preview&)>& AScript) {
        ADialogs.AddModal([&](QDialog& ADialog) {
            auto& preview = static_cast<Preview&>(ADialog);
            // The posted start of the preview runs once the window is shown.
            QCoreApplication::sendPostedEvents(&preview, QEvent::MetaCall);
            AScript(preview);
            if (preview.isVisible())
                Click(preview, "btnClose");
        });
        View.Preview(AMode);
    }
};

} // namespace

class tst_frmPluginEmailMarketingPreview : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }
    void cleanup() { hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void threePreparedMessages() {
        Fixture f(3);
        QVERIFY(f.Prepare());
        testsupport::ScriptedDialogService dialogs;
        QString first, second, last, status, caption, from, htmlFile;
        QStringList navFirst, navSecond, navLast, loaded;
        f.Show(epmAll, dialogs, [&](Preview& p) {
            caption = p.windowTitle();
            from = Text(p, "lblEmailFrom");
            first = Text(p, "lblCounter") + " " + Text(p, "lblEMail") + " " + Text(p, "lblSubject");
            navFirst = EnabledNavigation(p);
            status = Text(p, "edtStatus");
            htmlFile = Browser(p).ShownFile();
            Browser(p).grab(); // laid out: its images asked for
            loaded = Browser(p).LoadedResources();
            Click(p, "btnNext");
            second = Text(p, "lblCounter") + " " + Text(p, "lblEMail");
            navSecond = EnabledNavigation(p);
            Click(p, "btnLast");
            last = Text(p, "lblCounter") + " " + Text(p, "lblEMail");
            navLast = EnabledNavigation(p);
            Click(p, "btnFirst");
        });
        QCOMPARE(caption, QStringLiteral("Email Vorschau"));
        QCOMPARE(from, QStringLiteral("Shop <shop@sender.test>"));
        QCOMPARE(first, QStringLiteral("Email 1 von 3 r0@example.org Angebot für Name0"));
        QCOMPARE(navFirst, (QStringList{"btnNext", "btnLast"}));
        QCOMPARE(status, QStringLiteral("Noch nicht gesendet."));
        QCOMPARE(second, QStringLiteral("Email 2 von 3 r1@example.org"));
        QCOMPARE(navSecond, (QStringList{"btnFirst", "btnPrev", "btnNext", "btnLast"}));
        QCOMPARE(last, QStringLiteral("Email 3 von 3 r2@example.org"));
        QCOMPARE(navLast, (QStringList{"btnFirst", "btnPrev"}));
        // The shown file: UTF-8 with BOM, the content id made a name beside it.
        QCOMPARE(htmlFile, f.Folder.filePath(QStringLiteral("0index.htm")));
        QCOMPARE(ReadFile(htmlFile), QByteArray("\xEF\xBB\xBF<p>Hallo Name0</p><img src=\"img.png\">"));
        QCOMPARE(loaded, (QStringList{htmlFile, f.Folder.filePath(QStringLiteral("img.png"))}));
        // Closing a preview of prepared messages keeps them.
        QCOMPARE(f.Job->State(), TJobStateSet({jsInitialized, jsPrepared}));
        QCOMPARE(f.Job->SendCount(), 3);
    }

    void exportAsksBeforeReplacingOtherFiles_data() {
        QTest::addColumn<hostapi::TModalResult>("answer");
        QTest::addColumn<bool>("exported");
        QTest::newRow("Yes replaces") << hostapi::mrYes << true;
        QTest::newRow("No exports nothing") << hostapi::mrNo << false;
    }
    void exportAsksBeforeReplacingOtherFiles() {
        QFETCH(hostapi::TModalResult, answer);
        QFETCH(bool, exported);
        Fixture f(3);
        QVERIFY(f.Prepare());
        QTemporaryDir target;
        QVERIFY(WriteFile(target.filePath(QStringLiteral("img.png")), "old image"));
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddFileName(target.filePath(QStringLiteral("email.html")));
        dialogs.AddAnswer(answer);
        if (exported)
            dialogs.AddAnswer(hostapi::mrOk);
        f.Show(epmAll, dialogs, [&](Preview& p) { Click(p, "btnExport"); });
        QCOMPARE(dialogs.FileDialogs.size(), 1);
        QVERIFY(dialogs.FileDialogs.at(0).Save);
        QCOMPARE(dialogs.FileDialogs.at(0).Options.Caption, QStringLiteral("Email exportieren"));
        QCOMPARE(dialogs.FileDialogs.at(0).Options.DefaultName, QStringLiteral("email.html"));
        QCOMPARE(dialogs.FileDialogs.at(0).Options.Filter, QStringLiteral("HTML-Datei|*.html"));
        QCOMPARE(dialogs.Questions.at(0).Text,
                 QStringLiteral("Im Zielordner gibt es bereits folgende Dateien:\nimg.png\nSollen sie ersetzt werden?"));
        QCOMPARE(dialogs.Questions.size(), exported ? 2 : 1);
        if (!exported) {
            QVERIFY(!QFile::exists(target.filePath(QStringLiteral("email.html"))));
            QCOMPARE(ReadFile(target.filePath(QStringLiteral("img.png"))), QByteArray("old image"));
            return;
        }
        QCOMPARE(dialogs.Questions.at(1).Text, QStringLiteral("Email erfolgreich exportiert."));
        QCOMPARE(dialogs.Questions.at(1).Type, hostapi::mtInformation);
        QCOMPARE(ReadFile(target.filePath(QStringLiteral("email.html"))),
                 QByteArray("\xEF\xBB\xBF<p>Hallo Name0</p><img src=\"img.png\">"));
        QCOMPARE(ReadFile(target.filePath(QStringLiteral("img.png"))), QByteArray("PNG image"));
    }

    void failedExportIsReported() {
        Fixture f(1);
        QVERIFY(f.Prepare());
        f.Job->InlineFileList().append(f.Folder.filePath(QStringLiteral("gone.png")));
        QTemporaryDir target;
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddFileName(target.filePath(QStringLiteral("email.html")));
        dialogs.AddAnswer(hostapi::mrOk);
        f.Show(epmAll, dialogs, [&](Preview& p) { Click(p, "btnExport"); });
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions.at(0).Text, QStringLiteral("Export ganz oder teilweise fehlgeschlagen!\n"
                                                              "Es konnten nicht alle Dateien gespeichert werden."));
        QCOMPARE(dialogs.Questions.at(0).Type, hostapi::mtError);
    }

    void sentMessagesShowTheirResults() {
        Fixture f(3);
        FakeTransport transport(f.Jobs.Time, 1000);
        transport.Script->AddSendStep(testsupport::FakeTransportStep::Success());
        transport.Script->AddSendStep(
            testsupport::FakeTransportStep::Reply(550, QStringLiteral("550 5.1.1 mailbox unavailable")));
        transport.Script->AddSendStep(testsupport::FakeTransportStep::Success());
        QVERIFY(f.Prepare());
        f.Job->Send();
        QTRY_VERIFY_WITH_TIMEOUT(f.Job->State().Contains(jsSent), 30000);
        f.View.RefreshView();

        testsupport::ScriptedDialogService dialogs;
        QStringList statuses, plain, html;
        f.Show(epmAll, dialogs, [&](Preview& p) {
            for (int i = 0; i < 3; ++i) {
                statuses << Text(p, "edtStatus");
                plain << Find<QPlainTextEdit>(p, "MemoText")->toPlainText();
                html << QString::fromUtf8(ReadFile(Browser(p).ShownFile()).mid(3));
                if (i < 2)
                    Click(p, "btnNext");
            }
        });
        QCOMPARE(statuses.at(0), QStringLiteral("Erfolgreich gesendet"));
        QVERIFY2(statuses.at(1).startsWith(QStringLiteral("Fehler beim versand: '")) &&
                     statuses.at(1).contains(QStringLiteral("550 5.1.1 mailbox unavailable")),
                 qPrintable(statuses.at(1)));
        QCOMPARE(statuses.at(2), QStringLiteral("Erfolgreich gesendet"));
        // Shown exactly as the transport was given them.
        const QList<testsupport::FakeSentMessage> sent = transport.Script->Messages();
        QCOMPARE(sent.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(plain.at(i), sent.at(i).PlainBody);
            QCOMPARE(html.at(i), PreviewModel::RewriteContentIds(sent.at(i).HTMLBody));
        }

        QString counter;
        QStringList navigation;
        f.Show(epmFailed, dialogs, [&](Preview& p) {
            counter = Text(p, "lblCounter") + " " + Text(p, "lblEMail");
            navigation = EnabledNavigation(p);
        });
        QCOMPARE(counter, QStringLiteral("Email 1 von 1 r1@example.org"));
        QCOMPARE(navigation, QStringList{});
    }

    void smsCount_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("count");
        QTest::newRow("161 characters") << 161 << "Anzahl Zeichen: 161 (Aufgeteil auf 2 SMS)";
        QTest::newRow("empty") << 0 << "Anzahl Zeichen: 0 (Aufgeteil auf 0 SMS)";
    }
    void smsCount() {
        QFETCH(int, length);
        QFETCH(QString, count);
        Fixture f(0, esSMS);
        auto document = std::make_unique<TEmailDocument>();
        document->SetSubject(QStringLiteral("Shop"));
        document->SetEmailAddress(QStringLiteral("+49 170 1234567"));
        document->SetPlainMailBody(QString(length, QLatin1Char('x')));
        f.Job->AddPreparedDocument(std::move(document));
        testsupport::ScriptedDialogService dialogs;
        QString shown, caption, counter, from;
        bool htmlTab = true, export_ = true;
        QWidget* active = nullptr;
        f.Show(epmAll, dialogs, [&](Preview& p) {
            shown = Text(p, "lblCharCount");
            caption = p.windowTitle();
            counter = Text(p, "lblCounter");
            from = Text(p, "lblEmailFrom");
            auto* pages = Find<QTabWidget>(p, "cxMLPageControl");
            htmlTab = pages->isTabVisible(pages->indexOf(Find<QWidget>(p, "tbsHTML")));
            active = pages->currentWidget();
            export_ = Find<QWidget>(p, "btnExport")->isVisible();
        });
        QCOMPARE(shown, count);
        QCOMPARE(caption, QStringLiteral("SMS Vorschau"));
        QCOMPARE(counter, QStringLiteral("SMS 1 von 1"));
        QCOMPARE(from, QStringLiteral("Shop"));
        QVERIFY(!htmlTab);
        QCOMPARE(active->objectName(), QStringLiteral("tbsText"));
        QVERIFY(!export_);
    }

    void attachmentsShowTheirNameAndSave() {
        Fixture f(0, esPlainText);
        QTemporaryDir files;
        const QString local = files.filePath(QStringLiteral("Preis=Liste.pdf"));
        QVERIFY(WriteFile(local, "%PDF-1.4"));
        auto document = std::make_unique<TEmailDocument>();
        document->SetEmailAddress(QStringLiteral("r0@example.org"));
        TAttachement* attachment = document->NormalFileList()->Add();
        attachment->SetFileName(QStringLiteral("Preis=Liste.pdf"));
        attachment->SetLocalFile(local);
        f.Job->AddPreparedDocument(std::move(document));
        auto plain = std::make_unique<TEmailDocument>();
        plain->SetEmailAddress(QStringLiteral("r1@example.org"));
        f.Job->AddPreparedDocument(std::move(plain));

        testsupport::ScriptedDialogService dialogs;
        testsupport::RecordingFileOpener opener;
        dialogs.AddFileName(files.filePath(QStringLiteral("no/such/folder/copy.pdf")));
        dialogs.AddAnswer(hostapi::mrOk);
        dialogs.AddFileName(files.filePath(QStringLiteral("copy.pdf")));
        QString name, path, activeAfter;
        bool tabShown = false, tabAfter = true;
        f.Show(epmAll, dialogs, [&](Preview& p) {
            auto* pages = Find<QTabWidget>(p, "cxMLPageControl");
            auto* list = Find<QListWidget>(p, "lbAttachements");
            QWidget* tab = Find<QWidget>(p, "tbsAttachements");
            tabShown = pages->isTabVisible(pages->indexOf(tab));
            pages->setCurrentWidget(tab);
            name = list->item(0)->text();
            path = list->item(0)->data(Qt::UserRole).toString();
            list->setCurrentRow(0);
            Find<QAction>(p, "Dateispeichernunter1")->trigger(); // the copy fails
            Find<QAction>(p, "Dateispeichernunter1")->trigger();
            const QPoint row = list->visualItemRect(list->item(0)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
            Click(p, "btnNext");
            tabAfter = pages->isTabVisible(pages->indexOf(tab));
            activeAfter = pages->currentWidget()->objectName();
        });
        QVERIFY(tabShown);
        QCOMPARE(name, QStringLiteral("Preis=Liste.pdf"));
        QCOMPARE(path, local);
        QCOMPARE(dialogs.FileDialogs.size(), 2);
        QCOMPARE(dialogs.FileDialogs.at(0).Options.Filter, QStringLiteral(".pdf Datei|*.pdf"));
        QCOMPARE(dialogs.FileDialogs.at(0).Options.DefaultName, QStringLiteral("Preis=Liste.pdf"));
        QCOMPARE(dialogs.FileDialogs.at(0).Options.Caption, QStringLiteral("Anlage speichern"));
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions.at(0).Type, hostapi::mtError);
        QVERIFY(dialogs.Questions.at(0).Text.contains(QStringLiteral("no/such/folder/copy.pdf")));
        QCOMPARE(ReadFile(files.filePath(QStringLiteral("copy.pdf"))), QByteArray("%PDF-1.4"));
        QCOMPARE(opener.Opened, QStringList{local});
        // The next message has no attachment: its tab hides and the tab before it shows.
        QVERIFY(!tabAfter);
        QCOMPARE(activeAfter, QStringLiteral("tbsText"));
    }

    void linksAndResources() {
        testsupport::HttpStub peer(testsupport::HttpStub::Script(
            {testsupport::HttpStub::Route(QStringLiteral("/pixel.gif"), {QJsonObject{{"status", 200}}})}));
        const QString pixel = peer.Url(QStringLiteral("/pixel.gif")).toString();
        Fixture f(2, esHTML,
                  QStringLiteral("<p><a href=\"http://example.org/angebot\">Angebot</a></p>"
                                 "<img src=\"%1?r=%NAME%\"><img src=\"../outside.png\"><img src=\"cid:img.png\">")
                      .arg(pixel));
        // Beside the job's folder, in the folder that holds it: removed again at the end.
        const QString outside = QFileInfo(f.Folder.path()).absolutePath() + QStringLiteral("/outside.png");
        QVERIFY(WriteFile(outside, "x"));
        const auto removeOutside = qScopeGuard([&] { QFile::remove(outside); });
        QVERIFY(f.Prepare());
        testsupport::ScriptedDialogService dialogs;
        testsupport::RecordingUrlOpener opener;
        QStringList refused;
        QString shownBefore, shownAfter, counterAfter;
        f.Show(epmAll, dialogs, [&](Preview& p) {
            hostapi::THtmlViewer& browser = Browser(p);
            browser.grab();
            refused = browser.RefusedResources();
            shownBefore = browser.ShownFile();
            browser.setFocus();
            QTest::keyClick(&browser, Qt::Key_Tab);
            QTest::keyClick(&browser, Qt::Key_Return);
            shownAfter = browser.ShownFile();
            counterAfter = Text(p, "lblCounter");
        });
        QCOMPARE(refused.size(), 2);
        QVERIFY2(refused.at(0).startsWith(pixel), qPrintable(refused.join(", ")));
        QVERIFY2(refused.at(1).endsWith(QStringLiteral("/outside.png")), qPrintable(refused.join(", ")));
        QVERIFY(!peer.WaitForRequests(1, 300));
        QCOMPARE(peer.Requests().size(), 0);
        QCOMPARE(opener.Opened, QStringList{"http://example.org/angebot"});
        QCOMPARE(shownAfter, shownBefore);
        QCOMPARE(counterAfter, QStringLiteral("Email 1 von 2"));
    }

    void previewOfAScheduledJobKeepsItsSchedule_data() {
        QTest::addColumn<QString>("close");
        QTest::newRow("close button") << "button";
        QTest::newRow("Esc") << "esc";
        QTest::newRow("window frame") << "frame";
    }
    void previewOfAScheduledJobKeepsItsSchedule() {
        QFETCH(QString, close);
        Fixture f(3);
        FakeTransport transport(f.Jobs.Time, 0);
        const QDateTime start = f.Jobs.Time.Now().addSecs(3600);
        f.Job->SetAutoStartDate(start);
        f.Job->SetAutoStart(true);
        testsupport::ScriptedDialogService dialogs;
        QString status, counter;
        TJobStateSet during;
        dialogs.AddModal([&](QDialog& d) {
            auto& p = static_cast<Preview&>(d);
            QCoreApplication::sendPostedEvents(&p, QEvent::MetaCall);
            status = Text(p, "edtStatus");
            counter = Text(p, "lblCounter");
            during = f.Job->State();
            if (close == QLatin1String("button"))
                Click(p, "btnClose");
            else if (close == QLatin1String("esc"))
                QTest::keyClick(&p, Qt::Key_Escape);
            else
                p.close();
        });
        f.View.Preview(epmPreview);
        QCOMPARE(status, QStringLiteral("Vorbereitet für Vorschau"));
        QCOMPARE(counter, QStringLiteral("Email 1 von 3"));
        QCOMPARE(during, TJobStateSet({jsInitialized, jsPreparedPreview}));
        // The preview's messages are gone; the job is still scheduled.
        QCOMPARE(f.Job->State(), TJobStateSet({jsInitialized}));
        QCOMPARE(f.Job->SendCount(), 0);
        QVERIFY(f.Job->AutoStart());
        QCOMPARE(f.Job->AutoStartDate(), start);
        // At its time the timer starts it.
        f.Jobs.Time.OffsetMs = 3601 * 1000;
        f.Jobs.List.TimerFuncExecute();
        QVERIFY(f.Job->State().Contains(jsAutoStarted));
        QTRY_VERIFY_WITH_TIMEOUT(f.Job->State().Contains(jsSent), 30000);
        QCOMPARE(transport.Script->Messages().size(), 3);
    }

    void failedPreparationEndsTheWait() {
        Fixture f(3);
        f.Job->FailPreparation = true;
        testsupport::ScriptedDialogService dialogs;
        testsupport::RecordingExceptionDisplay shown;
        QString status, counter;
        bool waiting = true;
        f.Show(epmPreview, dialogs, [&](Preview& p) {
            status = Text(p, "edtStatus");
            counter = Text(p, "lblCounter");
            waiting = p.Waiting();
        });
        QVERIFY(!waiting);
        QCOMPARE(status, QStringLiteral("Kein Emaildokumente für die Vorschau verfügbar."));
        QCOMPARE(counter, QStringLiteral("Email 0 von 0"));
        QVERIFY(!f.Job->State().ContainsAny({jsPreparingPreview, jsPreparedPreview}));
        // The thread's failure reaches the user.
        QTRY_COMPARE_WITH_TIMEOUT(shown.Records().size(), 1, 10000);
        QCOMPARE(shown.Records().at(0).Exception.Message, QStringLiteral("The recipients could not be read."));
    }

    void closeDuringTheWaitAbortsIt_data() {
        QTest::addColumn<bool>("esc");
        QTest::newRow("close button") << false;
        QTest::newRow("Esc") << true;
    }
    void closeDuringTheWaitAbortsIt() {
        QFETCH(bool, esc);
        Fixture f(3);
        f.Job->HoldAt(1);
        testsupport::ScriptedDialogService dialogs;
        QString statusDuring;
        bool waitingDuring = false, visibleAfter = true;
        dialogs.AddModal([&](QDialog& d) {
            auto& p = static_cast<Preview&>(d);
            // Runs inside the wait (its event processing fires timers and input, as a user's click
            // comes), once the preparation stands at the second recipient and the wait's next
            // refresh has shown the first message (or after 30 s, when the comparison below fails).
            QElapsedTimer sinceHeld;
            std::function<void()> closeOnceShown = [&] {
                if (!sinceHeld.isValid()) {
                    QVERIFY(f.Job->WaitHeld());
                    sinceHeld.start();
                }
                if (Text(p, "lblCounter") != QStringLiteral("Email 1 von 1") && sinceHeld.elapsed() < 30000) {
                    QTimer::singleShot(10, &p, closeOnceShown);
                    return;
                }
                waitingDuring = p.Waiting();
                statusDuring = Text(p, "edtStatus") + " / " + Text(p, "lblCounter");
                if (esc)
                    QTest::keyClick(&p, Qt::Key_Escape);
                else
                    Click(p, "btnClose");
            };
            QTimer::singleShot(1, &p, closeOnceShown);
            QCoreApplication::sendPostedEvents(&p, QEvent::MetaCall); // the preview starts and waits
            visibleAfter = p.isVisible();
        });
        f.View.Preview(epmPreview);
        QVERIFY(waitingDuring);
        // The first message shows while the others are still being prepared.
        QCOMPARE(statusDuring, QStringLiteral("Vorbereitet für Vorschau / Email 1 von 1"));
        QVERIFY(!visibleAfter);
        QVERIFY(!f.View.PreviewForm()->Waiting());
        QCOMPARE(f.Job->State(), TJobStateSet({jsInitialized}));
        QCOMPARE(f.Job->SendCount(), 0);
    }

    void sentToTheSmtpPeerShowsAsSent() {
        RegisterDNSEmailSenderClasses();
        testsupport::SmtpPeer peer;
        START_PEER(peer);
        testsupport::TestDatabase db;
        AddRecipients(2);
        QTemporaryDir folder;
        JobList jobs;
        TfrmPluginEmailMarketingJobDetail view(jobs.List);
        view.SetLoadedTemplateID(7);
        HeldJob* job = jobs.Create(7, esHTML, RecipientList(msdExtSMTP, QStringLiteral("127.0.0.1:%1").arg(peer.Port())));
        job->SetHTMLContent(QStringLiteral("<p>Guten Tag <b>%NAME%</b></p>"));
        job->SetTempDirectory(folder.path() + QLatin1Char('/'));
        job->Prepare();
        QVERIFY(job->WaitPrepared());
        job->Send();
        QTRY_VERIFY_WITH_TIMEOUT(job->State().Contains(jsSent), 30000);
        QCOMPARE(job->SentFailedCount(), 0);

        testsupport::ScriptedDialogService dialogs;
        QStringList statuses, plain, html, to;
        dialogs.AddModal([&](QDialog& d) {
            auto& p = static_cast<Preview&>(d);
            for (int i = 0; i < 2; ++i) {
                statuses << Text(p, "edtStatus");
                to << Text(p, "lblEMail");
                plain << Find<QPlainTextEdit>(p, "MemoText")->toPlainText();
                html << QString::fromUtf8(ReadFile(Browser(p).ShownFile()).mid(3));
                if (i == 0)
                    Click(p, "btnNext");
            }
            Click(p, "btnClose");
        });
        view.Preview(epmAll);
        QCOMPARE(statuses, (QStringList{"Erfolgreich gesendet", "Erfolgreich gesendet"}));
        // The server received what the preview shows.
        const QStringList received = peer.Messages();
        QCOMPARE(received.size(), 2);
        for (const QString& message : received) {
            const QJsonObject envelope = peer.Envelope(message);
            const int i = to.indexOf(envelope.value(QStringLiteral("rcpt_tos")).toArray().at(0).toString());
            QVERIFY2(i >= 0, qPrintable(to.join(", ")));
            QString receivedPlain, receivedHtml;
            for (const QJsonValue& part : peer.Parsed(message).value(QStringLiteral("parts")).toArray()) {
                const QJsonObject o = part.toObject();
                if (o.value(QStringLiteral("content_type")).toString() == QLatin1String("text/plain"))
                    receivedPlain = o.value(QStringLiteral("text")).toString();
                if (o.value(QStringLiteral("content_type")).toString() == QLatin1String("text/html"))
                    receivedHtml = o.value(QStringLiteral("text")).toString();
            }
            QCOMPARE(Normalized(plain.at(i)), Normalized(receivedPlain));
            QCOMPARE(Normalized(html.at(i)), Normalized(receivedHtml));
        }
        UnRegisterDNSEmailSenderClasses();
    }

    void grabInGermanAndEnglish_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("close");
        QTest::newRow("German") << "German" << "&Schliessen";
        QTest::newRow("English") << "English" << "&Close";
    }
    void grabInGermanAndEnglish() {
        QFETCH(QString, language);
        QFETCH(QString, close);
        Fixture f(3);
        QVERIFY(f.Prepare());
        f.View.SetLanguage(language);
        testsupport::ScriptedDialogService dialogs;
        QString closeText;
        bool grabbed = false;
        f.Show(epmAll, dialogs, [&](Preview& p) {
            closeText = Find<QPushButton>(p, "btnClose")->text();
            grabbed = testsupport::SaveGrab(p, QStringLiteral(QV_GRAB_DIR), language);
        });
        QCOMPARE(closeText, close);
        QVERIFY(grabbed);
    }
};

QTEST_MAIN(tst_frmPluginEmailMarketingPreview)
#include "tst_frmPluginEmailMarketingPreview.moc"
