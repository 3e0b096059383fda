// The mailing window offscreen on a real SQLite database: the editors per style, the SMS counter,
// storing on a template switch and on close, the job lock, the "no template" page, the bodies
// converted between the styles with their images, the global menu entries and the grabbed window.
#include "frmEmailMarketing.h"

#include "DBFieldSchema.h"
#include "Database.h"
#include "FileUtils.h"
#include "HostLibraries.h"
#include "JvHLEditor.h"
#include "QV2RichEdit.h"
#include "QVDBTreeModel.h"
#include "QVDBTreeView.h"
#include "QVGlobalMenuClient.h"
#include "QVDBGrid.h"
#include "QVDBLookupComboBox.h"
#include "QVMainInterface.h"
#include "PluginModuleRegistration.h"
#include "ScreenService.h"
#include "TemplateContent.h"
#include "VRNHtmlEditor.h"
#include "VRNLang.h"
#include "WindowJobs.h"
#include "dmPluginEmailMarketingMain.h"
#include "frmPluginEmailMarketingJobDetail.h"
#include "frmVRNCustomHTMLEditorControl.h"
#include "support/HostDoubles.h"
#include "hostapi/RichTextTestSupport.h"
#include "support/TestDatabase.h"
#include "support/WindowTestHelpers.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextDocument>
#include <QTreeWidget>
#include <QtTest>

using namespace emailmarketing;
using richtexttest::Png;
using testsupport::Find;

Q_DECLARE_METATYPE(emailmarketing::TEmailStyle)

namespace {

QString Rtf(const QString& AText) {
    return TemplateContent::HtmlToRtf(QStringLiteral("<p>%1</p>").arg(AText), {});
}

QVariant Stored(qint64 AID, const char* AColumn) {
    return testsupport::Value(QStringLiteral("emtemplates"), QString::fromLatin1(AColumn),
                              QStringLiteral("\"id\" = ?"), {AID});
}

// Another connection holds the write lock of the templates: storing a template fails (soon).
struct TemplatesLocked {
    const hostapi::BusyLimit Limit{50};
    testsupport::WriteLockHolder Lock{testsupport::WriteLockHolder::Kind::OtherConnection,
                                      QStringLiteral("emtemplates")};
};

struct Fixture {
    testsupport::TestDatabase Db;
    TdmPluginEmailMarketingMain Dm{nullptr};
    testsupport::ScriptedDialogService Dialogs;
    testsupport::RecordingExceptionDisplay Errors;
    qint64 Folder = -1;

    Fixture() {
        Folder = hostapi::Database::Exec(
                     QStringLiteral("INSERT INTO \"emltemplatefolders\" (\"descr\") VALUES ('Kampagnen')"))
                     .lastInsertId()
                     .toLongLong();
    }
    qint64 AddTemplate(const QString& AName, int AStyle, const QString& ABody, const QString& ASubject = {},
                       const QString& AText = {}) {
        return hostapi::Database::
            Exec(QStringLiteral(
                     "INSERT INTO \"emtemplates\" (\"name\", \"emailstyle\", \"mailbodyhtml\", \"subject\", "
                     "\"mailbody\", \"mailinglist\", \"templatefolderid\") VALUES (?, ?, ?, ?, ?, 3, ?)"),
                 {AName, AStyle, ABody.isEmpty() ? QVariant() : QVariant(ABody),
                  ASubject.isEmpty() ? QVariant() : QVariant(ASubject),
                  AText.isEmpty() ? QVariant() : QVariant(AText), Folder})
                .lastInsertId()
                .toLongLong();
    }
    void AddImage(qint64 ATemplate, const QString& AName, const QByteArray& AData) {
        hostapi::Database::Exec(QStringLiteral("INSERT INTO \"emlembededcontent\" (\"emltemplateid\", "
                                               "\"contentfilename\", \"contentdata\") VALUES (?, ?, ?)"),
                                {ATemplate, AName, AData});
    }
};

struct Window {
    TfrmEmailMarketing Form;
    Window() {
        Form.show();
        if (!QTest::qWaitForWindowExposed(&Form))
            qFatal("the mailing window is not shown");
        Form.NotifyShown();
    }
    void Select(hostapi::TQVTreeNodeKind AKind, qint64 AID) {
        QVERIFY(Form.dblvTemplates().FocusNode({AKind, AID}));
        QCOMPARE(Form.CurrentTemplateDBID(), AKind == hostapi::tnkContent ? AID : -1);
    }
    void SetStyle(qint64 AID, int AStyle) {
        Form.dblvTemplates().TreeModel()->SetValue({hostapi::tnkContent, AID}, QStringLiteral("emailstyle"),
                                                   AStyle);
    }
    QTabWidget* Editors() { return Find<QTabWidget>(Form, "pgEditor"); }
    QTabWidget* Pages() { return Find<QTabWidget>(Form, "PageControl"); }
    bool EditorTab(const char* AName) {
        return Editors()->isTabVisible(Editors()->indexOf(Find<QWidget>(Form, AName)));
    }
    bool PageTab(const char* AName) {
        return Pages()->isTabVisible(Pages()->indexOf(Find<QWidget>(Form, AName)));
    }
    QPlainTextEdit* Memo() { return Find<QPlainTextEdit>(Form, "MemoText"); }
    // Types AText at the end of the text body, as the user does.
    void TypeAtTextEnd(const QString& AText) {
        Memo()->moveCursor(QTextCursor::End);
        QTest::keyClicks(Memo(), AText);
    }
    hostapi::TQV2RichEdit* RichEdit() { return Find<hostapi::TQV2RichEdit>(Form, "QV2RichEdit"); }
    hostapi::TJvHLEditor* Source() { return Find<hostapi::TJvHLEditor>(Form, "edtHTMLSource"); }
    hostapi::TfrmVRNCustomHTMLEditorControl* HtmlFrame() {
        return Find<hostapi::TfrmVRNCustomHTMLEditorControl>(Form, "HTMLEditForm");
    }
    hostapi::TVRNHtmlEditor* Html() { return HtmlFrame()->Editor(); }
    QString CharCount() { return Find<QLabel>(Form, "lblCharCount")->text(); }
};

} // namespace

class tst_frmEmailMarketing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }
    void cleanup() { hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void eachStyleShowsItsEditor_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("pages"); // R RTF, S source, H HTML; the text page always
        QTest::addColumn<QString>("active");
        QTest::addColumn<QString>("subjectLabel");
        QTest::addColumn<bool>("attachements");
        QTest::newRow("0 text") << 0 << ""
                                << "tbsPlainText"
                                << "&Betreff:" << true;
        QTest::newRow("1 RTF") << 1 << "R"
                               << "tbsRTF"
                               << "&Betreff:" << true;
        QTest::newRow("2 HTML source") << 2 << "S"
                                       << "tbsHTMLSource"
                                       << "&Betreff:" << true;
        QTest::newRow("3 SMS") << 3 << ""
                               << "tbsPlainText"
                               << "&Absender:" << false;
        QTest::newRow("4 HTML") << 4 << "H"
                                << "tbsHTML"
                                << "&Betreff:" << true;
        QTest::newRow("7 behaves as RTF") << 7 << "R"
                                          << "tbsRTF"
                                          << "&Betreff:" << true;
    }
    void eachStyleShowsItsEditor() {
        QFETCH(int, stored);
        QFETCH(QString, pages);
        QFETCH(QString, active);
        QFETCH(QString, subjectLabel);
        QFETCH(bool, attachements);
        Fixture f;
        const bool rtf = pages == QLatin1String("R");
        const QString body = rtf ? Rtf(QStringLiteral("Hallo RTF")) : QStringLiteral("<p>Hallo HTML</p>");
        const qint64 id = f.AddTemplate(QStringLiteral("T"), stored, body, QStringLiteral("Angebot"),
                                        QStringLiteral("Hallo Text"));
        Window w;
        w.Select(hostapi::tnkContent, id);
        QString shown;
        if (w.EditorTab("tbsRTF"))
            shown += 'R';
        if (w.EditorTab("tbsHTMLSource"))
            shown += 'S';
        if (w.EditorTab("tbsHTML"))
            shown += 'H';
        QCOMPARE(shown, pages);
        QVERIFY(w.EditorTab("tbsPlainText"));
        QCOMPARE(w.Editors()->currentWidget()->objectName(), active);
        QCOMPARE(Find<QLabel>(w.Form, "lblSubject")->text(), subjectLabel);
        QCOMPARE(Find<QLineEdit>(w.Form, "edtSubject")->text(), QStringLiteral("Angebot"));
        QCOMPARE(w.Memo()->toPlainText(), QStringLiteral("Hallo Text"));
        QCOMPARE(w.PageTab("rbsAttachements"), attachements);
        QCOMPARE(Find<QWidget>(w.Form, "pnlCharCount")->isVisible(), stored == 3);
        if (rtf)
            QVERIFY(w.RichEdit()->PlainText().contains(QLatin1String("Hallo RTF")));
        else
            QVERIFY(w.RichEdit()->PlainText().trimmed().isEmpty());
        QCOMPARE(w.Source()->Text(), stored == 2 ? body : QString());
        QCOMPARE(w.Html()->Text().contains(QLatin1String("Hallo HTML")), stored == 4);

        // an edit in the shown editor is stored in the body column
        if (rtf) {
            w.RichEdit()->setFocus();
            QTest::keyClicks(w.RichEdit(), QStringLiteral("Neu "));
            w.Form.SaveChanges();
            QVERIFY(TemplateContent::IsRtfBody(Stored(id, "mailbodyhtml").toString()));
            QVERIFY(Stored(id, "mailbodyhtml").toString().contains(QLatin1String("Neu")));
        } else if (stored == 4) {
            w.Html()->setFocus();
            QTest::keyClicks(w.Html(), QStringLiteral("Neu "));
            QVERIFY(w.Form.IsTemplateModified());
            w.Form.SaveChanges();
            QTextDocument storedHtml;
            storedHtml.setHtml(Stored(id, "mailbodyhtml").toString());
            QCOMPARE(storedHtml.toPlainText().trimmed(), w.Html()->Text().trimmed());
            QVERIFY(storedHtml.toPlainText().contains(QLatin1String("Neu")));
        } else if (stored == 0 || stored == 3) {
            w.TypeAtTextEnd(QStringLiteral(" neu"));
            w.Form.SaveChanges();
            QCOMPARE(Stored(id, "mailbody").toString(), QStringLiteral("Hallo Text neu"));
            QCOMPARE(Stored(id, "mailbodyhtml").toString(), body); // not written for text and SMS
        }
    }

    void smsCounterCountsTheText_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("text");
        QTest::newRow("161") << 161 << "Anzahl Zeichen: 161 (Aufgeteilt auf 2 SMS)";
        QTest::newRow("160") << 160 << "Anzahl Zeichen: 160 (Aufgeteilt auf 1 SMS)";
        QTest::newRow("empty") << 0 << "Anzahl Zeichen: 0 (Aufgeteilt auf 0 SMS)";
    }
    void smsCounterCountsTheText() {
        QFETCH(int, length);
        QFETCH(QString, text);
        Fixture f;
        const qint64 id = f.AddTemplate(QStringLiteral("SMS"), 3, {}, {}, QStringLiteral("x"));
        Window w;
        w.Select(hostapi::tnkContent, id);
        w.Memo()->clear();
        QTest::keyClicks(w.Memo(), QString(length, QLatin1Char('a')));
        QCOMPARE(w.CharCount(), text);
        QVERIFY(Find<QLabel>(w.Form, "Label1")->isVisible());
    }

    void switchingTemplatesStoresTheEditsWithoutAQuestion() {
        Fixture f;
        const qint64 a =
            f.AddTemplate(QStringLiteral("A"), 2, QStringLiteral("<p>A</p>"), QStringLiteral("Betreff A"));
        const qint64 b =
            f.AddTemplate(QStringLiteral("B"), 0, {}, QStringLiteral("Betreff B"), QStringLiteral("B"));
        Window w;
        w.Select(hostapi::tnkContent, a);
        QTest::keyClicks(w.Memo(), QStringLiteral("Text A"));
        w.Source()->moveCursor(QTextCursor::End);
        QTest::keyClicks(w.Source(), QStringLiteral("<p>neu</p>"));
        QTest::keyClicks(Find<QLineEdit>(w.Form, "edtSubject"), QStringLiteral(" neu"));
        w.Select(hostapi::tnkContent, b);
        QCOMPARE(f.Dialogs.Questions.size(), 0);
        QCOMPARE(Stored(a, "mailbody").toString(), QStringLiteral("Text A"));
        QCOMPARE(Stored(a, "mailbodyhtml").toString(), QStringLiteral("<p>A</p><p>neu</p>"));
        QCOMPARE(Stored(a, "subject").toString(), QStringLiteral("Betreff A neu"));
        QCOMPARE(Stored(b, "subject").toString(), QStringLiteral("Betreff B"));
        QCOMPARE(Find<QLineEdit>(w.Form, "edtSubject")->text(), QStringLiteral("Betreff B"));
        QCOMPARE(w.Memo()->toPlainText(), QStringLiteral("B"));
        QVERIFY(!w.Form.IsTemplateModified());
    }

    void closingStoresTheEdits_data() {
        QTest::addColumn<bool>("hiddenByHost");
        QTest::newRow("closed") << false;
        QTest::newRow("hook run by the host") << true;
    }
    void closingStoresTheEdits() {
        QFETCH(bool, hiddenByHost);
        Fixture f;
        const qint64 id = f.AddTemplate(QStringLiteral("A"), 0, {}, {}, QStringLiteral("alt"));
        Window w;
        w.Select(hostapi::tnkContent, id);
        w.TypeAtTextEnd(QStringLiteral(" neu"));
        if (hiddenByHost)
            w.Form.RunFormClose();
        else
            QVERIFY(w.Form.close());
        QCOMPARE(Stored(id, "mailbody").toString(), QStringLiteral("alt neu"));
        QCOMPARE(f.Dialogs.Questions.size(), 0);
        QVERIFY(f.Errors.Records().isEmpty());
    }

    void failedSaveKeepsTheWindowOpenAndShowsWhy() {
        Fixture f;
        const qint64 id = f.AddTemplate(QStringLiteral("A"), 0, {}, {}, QStringLiteral("alt"));
        Window w;
        w.Select(hostapi::tnkContent, id);
        w.TypeAtTextEnd(QStringLiteral(" neu"));
        {
            const TemplatesLocked locked;
            QVERIFY(!w.Form.close());
        }
        QVERIFY(w.Form.isVisible());
        QCOMPARE(f.Errors.Records().size(), 1);
        QVERIFY(!f.Errors.Records()[0].Exception.Message.isEmpty());
        QCOMPARE(w.Memo()->toPlainText(), QStringLiteral("alt neu"));
        QCOMPARE(Stored(id, "mailbody").toString(), QStringLiteral("alt"));
        QVERIFY(w.Form.close());
        QCOMPARE(Stored(id, "mailbody").toString(), QStringLiteral("alt neu"));
    }

    void windowGoneAfterAFailedCloseIsNoLongerToldOfImports() {
        Fixture f;
        const qint64 id = f.AddTemplate(QStringLiteral("A"), 0, {}, {}, QStringLiteral("alt"));
        {
            Window w;
            w.Select(hostapi::tnkContent, id);
            w.TypeAtTextEnd(QStringLiteral(" neu"));
            const TemplatesLocked locked;
            QVERIFY(!w.Form.close());
            QVERIFY(f.Dm.OnTemplatesChanged());
        }
        QVERIFY(!f.Dm.OnTemplatesChanged());
        qint64 imported = id;
        f.Dm.TemplatesChanged(nullptr, imported); // an import after the window is gone
    }

    void failedSaveOnASwitchStaysOnTheEditedTemplate() {
        Fixture f;
        const qint64 a = f.AddTemplate(QStringLiteral("A"), 0, {}, {}, QStringLiteral("alt"));
        const qint64 b = f.AddTemplate(QStringLiteral("B"), 0, {}, {}, QStringLiteral("B"));
        Window w;
        w.Select(hostapi::tnkContent, a);
        w.TypeAtTextEnd(QStringLiteral(" neu"));
        {
            const TemplatesLocked locked;
            w.Form.dblvTemplates().FocusNode({hostapi::tnkContent, b});
            QTRY_COMPARE(w.Form.dblvTemplates().FocusedNode().ID, a);
        }
        QCOMPARE(f.Errors.Records().size(), 1); // said once
        QCOMPARE(w.Form.CurrentTemplateDBID(), a);
        QCOMPARE(w.Memo()->toPlainText(), QStringLiteral("alt neu"));
        QVERIFY(w.Form.IsTemplateModified());
        QCOMPARE(Stored(a, "mailbody").toString(), QStringLiteral("alt"));
        w.Select(hostapi::tnkContent, b);
        QCOMPARE(Stored(a, "mailbody").toString(), QStringLiteral("alt neu"));
        QCOMPARE(w.Memo()->toPlainText(), QStringLiteral("B"));
    }

    void deletingTheEditedTemplateMovesOnWithoutAnError() {
        Fixture f;
        const qint64 a = f.AddTemplate(QStringLiteral("A"), 0, {}, {}, QStringLiteral("alt"));
        const qint64 b = f.AddTemplate(QStringLiteral("B"), 0, {}, {}, QStringLiteral("B"));
        Window w;
        w.Select(hostapi::tnkContent, a);
        w.TypeAtTextEnd(QStringLiteral(" neu"));
        f.Dialogs.AddAnswer(hostapi::mrYes);
        w.Form.dblvTemplates().DoAction(hostapi::gaDelete);
        QCoreApplication::processEvents();
        QCOMPARE(testsupport::Count(QStringLiteral("emtemplates"), QStringLiteral("\"id\" = ?"), {a}), 0);
        QVERIFY2(
            f.Errors.Records().isEmpty(),
            qPrintable(f.Errors.Records().isEmpty() ? QString() : f.Errors.Records()[0].Exception.Message));
        QVERIFY(w.Form.CurrentTemplateDBID() != a);
        w.Select(hostapi::tnkContent, b);
        QCOMPARE(w.Memo()->toPlainText(), QStringLiteral("B"));
        QVERIFY(f.Errors.Records().isEmpty());
    }

    void jobOfTheTemplateLocksEveryEditor() {
        Fixture f;
        const qint64 id = f.AddTemplate(QStringLiteral("A"), 4, QStringLiteral("<p>Hallo</p>"));
        Window w;
        w.Select(hostapi::tnkContent, id);
        const auto locked = [&w] {
            return w.Memo()->isReadOnly() && w.Source()->ReadOnly() && w.RichEdit()->ReadOnly() &&
                   w.Html()->ReadOnly() && !Find<QWidget>(w.Form, "edtSubject")->isEnabled() &&
                   !Find<QWidget>(w.Form, "edtTo")->isEnabled() &&
                   !Find<QWidget>(w.Form, "edtRcptCC")->isEnabled();
        };
        QVERIFY(!w.Memo()->isReadOnly());
        QVERIFY(!w.Html()->ReadOnly());
        QVERIFY(!w.PageTab("tbsJob"));
        QVERIFY(w.Form.CanEditTemplate());

        TBaseEmailSender* job = nullptr;
        try {
            job = f.Dm.Jobs().CreateJob(tjLocal, qint32(id), windowtests::RecipientList(), esHTML);
            job->SetSubject(QStringLiteral("Angebot"));
            job->SetContent(QStringLiteral("<p>Hallo</p>"));
            job->InitializeData();
        } catch (const hostapi::EQVException& e) {
            QFAIL(qPrintable(e.Message()));
        }
        QCOMPARE(w.Form.JobDetForm().Job(), job);
        QVERIFY(locked());
        QVERIFY(!w.Form.CanEditTemplate());
        QVERIFY(w.PageTab("tbsJob"));
        w.Pages()->setCurrentWidget(Find<QWidget>(w.Form, "tbsJob"));
        QVERIFY(Find<QTreeWidget>(w.Form, "cxLVJobInfo")->topLevelItemCount() > 0); // at once, no poll
        w.Pages()->setCurrentWidget(Find<QWidget>(w.Form, "tbsDesigner"));
        QVERIFY(Find<QAction>(w.Form, "actSendingAbort")->isEnabled());
        QVERIFY(!Find<QAction>(w.Form, "actSendingStart")->isEnabled());
        // the tree marks the template
        QVERIFY(!Find<QWidget>(w.Form, "btnDelete")->isEnabled());
        QVERIFY(!Find<QWidget>(w.Form, "btnEdit")->isEnabled());
        w.Form.dblvTemplates().DoAction(hostapi::gaDelete); // the Delete key
        QCOMPARE(testsupport::Count(QStringLiteral("emtemplates"), QStringLiteral("\"id\" = ?"), {id}), 1);
        QCOMPARE(f.Dialogs.Questions.size(), 0);
        const QModelIndex cell = w.Form.dblvTemplates().TreeModel()->IndexOf({hostapi::tnkContent, id});
        QCOMPARE(cell.data(hostapi::QVDBTreeModel::ImageIndexRole).toInt(), 40);

        hostapi::Database::Exec(
            QStringLiteral("UPDATE \"emtemplates\" SET \"name\" = 'A versendet' WHERE \"id\" = ?"), {id});
        f.Dm.Jobs().Delete(job);
        QVERIFY(w.Form.JobDetForm().Job() == nullptr);
        QVERIFY(!w.Memo()->isReadOnly());
        QVERIFY(!w.Html()->ReadOnly());
        QVERIFY(Find<QWidget>(w.Form, "edtSubject")->isEnabled());
        QVERIFY(!w.PageTab("tbsJob"));
        QVERIFY(Find<QAction>(w.Form, "actSendingStart")->isEnabled());
        QVERIFY(Find<QWidget>(w.Form, "btnDelete")->isEnabled());
        const QModelIndex refreshed = w.Form.dblvTemplates().TreeModel()->IndexOf({hostapi::tnkContent, id});
        QCOMPARE(refreshed.data().toString(), QStringLiteral("A versendet"));
        QCOMPARE(refreshed.data(hostapi::QVDBTreeModel::ImageIndexRole).toInt(), 74);
    }

    void folderShowsTheNoTemplatePage() {
        Fixture f;
        const qint64 id =
            f.AddTemplate(QStringLiteral("A"), 0, {}, QStringLiteral("Betreff"), QStringLiteral("Text"));
        Window w;
        w.Select(hostapi::tnkContent, id);
        QVERIFY(w.Form.qvrsAttachements().Active());
        QVERIFY(w.Form.qvrsTextBlocks().Active());
        QCOMPARE(w.Pages()->currentWidget()->objectName(), QStringLiteral("tbsDesigner"));
        w.Select(hostapi::tnkFolder, f.Folder);
        QCOMPARE(w.Pages()->currentWidget()->objectName(), QStringLiteral("tbsNoTemplate"));
        QVERIFY(Find<QLabel>(w.Form, "lblNoTemplate")->isVisible());
        for (const char* tab : {"tbsDesigner", "tbsTextBlocks", "rbsAttachements", "tbsHistory", "tbsJob"})
            QVERIFY2(!w.PageTab(tab), tab);
        QVERIFY(!w.Form.qvrsAttachements().Active());
        QVERIFY(!w.Form.qvrsTextBlocks().Active());
        QVERIFY(Find<QWidget>(w.Form, "btnDelete")->isEnabled()); // the folder is not locked
        QVERIFY(w.Memo()->toPlainText().isEmpty());
        QVERIFY(Find<QLineEdit>(w.Form, "edtSubject")->text().isEmpty());
        QVERIFY(!Find<QAction>(w.Form, "actSendingStart")->isEnabled());
        w.Select(hostapi::tnkContent, id);
        QCOMPARE(w.Pages()->currentWidget()->objectName(), QStringLiteral("tbsDesigner"));
        QCOMPARE(w.Memo()->toPlainText(), QStringLiteral("Text"));
    }

    void rtfSwitchedToHtmlKeepsItsImagesAndBack() {
        Fixture f;
        const QByteArray png = Png(6, 4, Qt::red);
        const QString rtf =
            TemplateContent::HtmlToRtf(QStringLiteral("<p>Hallo <img src=\"%IMAGEPATH%logo.png\"></p>"),
                                       {{QStringLiteral("logo.png"), png}});
        const qint64 id = f.AddTemplate(QStringLiteral("A"), 1, rtf, QStringLiteral("Betreff"));
        Window w;
        w.Select(hostapi::tnkContent, id);
        QVERIFY(w.RichEdit()->PlainText().contains(QLatin1String("Hallo")));

        w.SetStyle(id, 4);
        QCOMPARE(w.Editors()->currentWidget()->objectName(), QStringLiteral("tbsHTML"));
        const QString html = Stored(id, "mailbodyhtml").toString();
        QVERIFY2(!TemplateContent::IsRtfBody(html), qPrintable(html.left(200)));
        QCOMPARE(testsupport::Count(QStringLiteral("emlembededcontent"),
                                    QStringLiteral("\"emltemplateid\" = ?"), {id}),
                 1);
        const QString name =
            testsupport::Value(QStringLiteral("emlembededcontent"), QStringLiteral("contentfilename"),
                               QStringLiteral("\"emltemplateid\" = ?"), {id})
                .toString();
        QVERIFY2(html.contains(TemplateContent::ImagePathMacro + name), qPrintable(html));
        QImage image;
        QVERIFY(image.loadFromData(testsupport::Value(QStringLiteral("emlembededcontent"),
                                                      QStringLiteral("contentdata"),
                                                      QStringLiteral("\"emltemplateid\" = ?"), {id})
                                       .toByteArray()));
        QCOMPARE(image.size(), QSize(6, 4));
        QVERIFY(QFileInfo::exists(w.Html()->GetImagePath() + name));
        QVERIFY(w.Html()->Text().contains(QLatin1String("Hallo")));
        QCOMPARE(Stored(id, "subject").toString(), QStringLiteral("Betreff"));

        w.SetStyle(id, 1);
        const QString back = Stored(id, "mailbodyhtml").toString();
        QVERIFY(TemplateContent::IsRtfBody(back));
        QVERIFY(back.contains(QLatin1String("\\pict")));
        QCOMPARE(testsupport::Count(QStringLiteral("emlembededcontent"),
                                    QStringLiteral("\"emltemplateid\" = ?"), {id}),
                 0);
        QVERIFY(w.RichEdit()->PlainText().contains(QLatin1String("Hallo")));
        QCOMPARE(f.Dialogs.Questions.size(), 0);
    }

    void rtfShownAsSourceSaysItsImagesAreDropped() {
        Fixture f;
        const QString rtf =
            TemplateContent::HtmlToRtf(QStringLiteral("<p>Hallo <img src=\"%IMAGEPATH%a.png\"></p>"),
                                       {{QStringLiteral("a.png"), Png(6, 4, Qt::green)}});
        const qint64 id = f.AddTemplate(QStringLiteral("A"), 2, rtf);
        f.Dialogs.AddAnswer(hostapi::mrOk);
        Window w;
        w.Select(hostapi::tnkContent, id);
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions[0].Type, hostapi::mtInformation);
        QVERIFY(f.Dialogs.Questions[0].Text.contains(QLatin1String("Bilder")));
        QVERIFY(w.Source()->Text().contains(QLatin1String("Hallo")));
        QCOMPARE(Stored(id, "mailbodyhtml").toString(), w.Source()->Text());
    }

    void immediateSaveKeepsTheSubjectOfTheNextTemplate() {
        Fixture f;
        const qint64 a =
            f.AddTemplate(QStringLiteral("A"), 0, {}, QStringLiteral("Betreff A"), QStringLiteral("A"));
        const qint64 b = f.AddTemplate(QStringLiteral("B"), 4, Rtf(QStringLiteral("Hallo B")),
                                       QStringLiteral("Betreff B"));
        Window w;
        w.Select(hostapi::tnkContent, a);
        w.Select(hostapi::tnkContent, b);
        QVERIFY(!TemplateContent::IsRtfBody(Stored(b, "mailbodyhtml").toString())); // converted and stored
        QCOMPARE(Stored(b, "subject").toString(), QStringLiteral("Betreff B"));
        QCOMPARE(Stored(a, "subject").toString(), QStringLiteral("Betreff A"));
        QCOMPARE(Find<QLineEdit>(w.Form, "edtSubject")->text(), QStringLiteral("Betreff B"));
    }

    void conversionThatCannotBeStoredIsStoredWithTheNextSave() {
        Fixture f;
        const qint64 a = f.AddTemplate(QStringLiteral("A"), 0, {}, {}, QStringLiteral("A"));
        const qint64 b = f.AddTemplate(QStringLiteral("B"), 1,
                                       QStringLiteral("<p>Hallo <img src=\"%IMAGEPATH%x.png\"></p>"),
                                       QStringLiteral("Betreff B"));
        f.AddImage(b, QStringLiteral("x.png"), Png(6, 4, Qt::blue));
        Window w;
        w.Select(hostapi::tnkContent, a);
        {
            const TemplatesLocked locked;
            w.Select(hostapi::tnkContent, b);
        }
        QCOMPARE(f.Errors.Records().size(), 1);
        QCOMPARE(w.Pages()->currentWidget()->objectName(), QStringLiteral("tbsDesigner"));
        QVERIFY(w.RichEdit()->PlainText().contains(QLatin1String("Hallo")));
        QVERIFY(w.Form.IsTemplateModified());
        QVERIFY(!TemplateContent::IsRtfBody(Stored(b, "mailbodyhtml").toString()));
        w.Select(hostapi::tnkContent, a);
        QVERIFY(TemplateContent::IsRtfBody(Stored(b, "mailbodyhtml").toString()));
        QVERIFY(Stored(b, "mailbodyhtml").toString().contains(QLatin1String("\\pict")));
        QCOMPARE(testsupport::Count(QStringLiteral("emlembededcontent"),
                                    QStringLiteral("\"emltemplateid\" = ?"), {b}),
                 0);
        QCOMPARE(Stored(b, "subject").toString(), QStringLiteral("Betreff B"));
    }

    void htmlSourceFragmentIsShownUnchanged() {
        Fixture f;
        const qint64 id = f.AddTemplate(QStringLiteral("A"), 2, QStringLiteral("<p>Hallo</p>"));
        hostapi::Database::Exec(
            QStringLiteral("UPDATE \"emtemplates\" SET \"lastchangedtsp\" = NULL WHERE \"id\" = ?"), {id});
        Window w;
        w.Select(hostapi::tnkContent, id);
        QCOMPARE(w.Source()->Text(), QStringLiteral("<p>Hallo</p>"));
        QVERIFY(!w.Form.IsTemplateModified());
        w.Form.close();
        QCOMPARE(Stored(id, "mailbodyhtml").toString(), QStringLiteral("<p>Hallo</p>"));
        QVERIFY(Stored(id, "lastchangedtsp").isNull()); // never written
    }

    void imageNamedOutsideItsFolderWritesNothingThere() {
        Fixture f;
        const qint64 id = f.AddTemplate(QStringLiteral("A"), 4,
                                        QStringLiteral("<p>Bild <img src=\"%IMAGEPATH%x.png\"></p>"));
        f.AddImage(id, QStringLiteral("../x.png"), Png(6, 4, Qt::blue));
        Window w;
        const QString folder = w.Html()->GetImagePath();
        const QString outside = QFileInfo(folder + QStringLiteral("../x.png")).absoluteFilePath();
        QVERIFY(!QFileInfo::exists(outside));
        w.Select(hostapi::tnkContent, id);
        QVERIFY(!QFileInfo::exists(outside));
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("x.png")));
        QCOMPARE(w.Html()->ImageList(), QStringList{QStringLiteral("x.png")});
    }

    void styleChangeStoresTheEditsInTheOldStyleFirst() {
        Fixture f;
        const qint64 id =
            f.AddTemplate(QStringLiteral("A"), 1, Rtf(QStringLiteral("Hallo")), QStringLiteral("Betreff"));
        Window w;
        w.Select(hostapi::tnkContent, id);
        w.RichEdit()->moveCursor(QTextCursor::End);
        QTest::keyClicks(w.RichEdit(), QStringLiteral(" Welt"));
        QTest::keyClicks(Find<QLineEdit>(w.Form, "edtSubject"), QStringLiteral(" neu"));
        w.SetStyle(id, 4);
        QVERIFY2(w.Html()->Text().contains(QLatin1String("Hallo Welt")), qPrintable(w.Html()->Text()));
        QVERIFY(Stored(id, "mailbodyhtml").toString().contains(QLatin1String("Welt")));
        QCOMPARE(Stored(id, "subject").toString(), QStringLiteral("Betreff neu"));
        QCOMPARE(Find<QLineEdit>(w.Form, "edtSubject")->text(), QStringLiteral("Betreff neu"));
    }

    void listCcAndBccAreWrittenToTheTemplate() {
        Fixture f;
        hostapi::Database::Exec(
            QStringLiteral("INSERT INTO \"emlists\" (\"id\", \"name\") VALUES (3, 'Kunden')"));
        hostapi::Database::Exec(
            QStringLiteral("INSERT INTO \"emlists\" (\"id\", \"name\") VALUES (5, 'Presse')"));
        const qint64 id = f.AddTemplate(QStringLiteral("A"), 0, {}, {}, QStringLiteral("Text"));
        Window w;
        w.Select(hostapi::tnkContent, id);
        auto* to = Find<hostapi::QVDBLookupComboBox>(w.Form, "edtTo");
        QCOMPARE(to->currentText(), QStringLiteral("Kunden"));
        QCOMPARE(Stored(id, "mailinglist").toInt(), 3);
        to->setCurrentIndex(to->findText(QStringLiteral("Presse")));
        QCOMPARE(Stored(id, "mailinglist").toInt(), 5);
        QCOMPARE(w.Form.GetCurrentListID(), 5);
        QTest::keyClicks(Find<QLineEdit>(w.Form, "edtRcptCC"), QStringLiteral("cc@example.org"));
        QTest::keyClicks(Find<QLineEdit>(w.Form, "edtRcptBCC"), QStringLiteral("bcc@example.org"));
        QCOMPARE(Stored(id, "rcptcc").toString(), QStringLiteral("cc@example.org"));
        QCOMPARE(Stored(id, "rcptbcc").toString(), QStringLiteral("bcc@example.org"));
        // nothing is written while another template is shown
        const qint64 b = f.AddTemplate(QStringLiteral("B"), 0, {}, {}, QStringLiteral("B"));
        w.Form.dblvTemplates().Refresh();
        w.Select(hostapi::tnkContent, b);
        QCOMPARE(Stored(id, "mailinglist").toInt(), 5);
        QCOMPARE(Stored(b, "mailinglist").toInt(), 3);
        QCOMPARE(to->currentText(), QStringLiteral("Kunden"));
        QVERIFY(Find<QLineEdit>(w.Form, "edtRcptCC")->text().isEmpty());
    }

    void treeShowsListAndStateNamesAndTheListFollowsItsCell() {
        Fixture f;
        hostapi::Database::Exec(
            QStringLiteral("INSERT INTO \"emlists\" (\"id\", \"name\") VALUES (3, 'Kunden')"));
        hostapi::Database::Exec(
            QStringLiteral("INSERT INTO \"emlists\" (\"id\", \"name\") VALUES (5, 'Presse')"));
        const qint64 state = hostapi::Database::InsertRow(
            QStringLiteral("emltemplstates"), {QStringLiteral("descr")}, {QStringLiteral("Entwurf")});
        const qint64 id = f.AddTemplate(QStringLiteral("A"), 0, {}, {}, QStringLiteral("Text"));
        hostapi::Database::Exec(
            QStringLiteral("UPDATE \"emtemplates\" SET \"templstateid\" = ? WHERE \"id\" = ?"), {state, id});
        hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("English"));
        Window w;
        w.Select(hostapi::tnkContent, id);
        hostapi::QVDBTreeModel* model = w.Form.dblvTemplates().TreeModel();
        const auto cell = [model, id](int AColumn) {
            return model->IndexOf({hostapi::tnkContent, id}).siblingAtColumn(AColumn).data().toString();
        };
        QCOMPARE(cell(1), QStringLiteral("Kunden"));
        QCOMPARE(cell(3), QStringLiteral("Entwurf"));
        QStringList headers;
        for (int column = 0; column < model->columnCount(); ++column)
            headers << model->headerData(column, Qt::Horizontal).toString();
        QCOMPARE(headers, (QStringList{"Name", "Distribution list", "Format", "State", "Last sent",
                                       "Created on", "Changed on"}));
        // the list chosen in the tree's cell is shown above the editor
        QVERIFY(model->setData(model->IndexOf({hostapi::tnkContent, id}).siblingAtColumn(1), 5));
        QCOMPARE(Stored(id, "mailinglist").toInt(), 5);
        QCOMPARE(Find<hostapi::QVDBLookupComboBox>(w.Form, "edtTo")->currentText(), QStringLiteral("Presse"));
        QCOMPARE(cell(1), QStringLiteral("Presse"));
    }

    void editListOpensTheListsWindowOnTheTemplatesList() {
        Fixture f;
        const qint64 id = f.AddTemplate(QStringLiteral("A"), 0, {}, {}, QStringLiteral("alt"));
        testsupport::RecordingScreen screen;
        Window w;
        w.Select(hostapi::tnkContent, id);
        w.TypeAtTextEnd(QStringLiteral(" neu"));
        Find<QAction>(w.Form, "Vertrilerlistebearbeiten1")->trigger();
        QCOMPARE(screen.Opened, QStringList{PluginModuleGUID() + QStringLiteral(" 1 0")});
        QCOMPARE(f.Dm.PreloadEmailList(), 3);
        QCOMPARE(Stored(id, "mailbody").toString(), QStringLiteral("alt neu"));
    }

    void globalMenuEntriesLiveWithTheWindow() {
        Fixture f;
        auto& menu = hostapi::TQVGlobalMenu::Instance();
        const auto names = [&menu](const QString& AMenu) {
            QStringList names;
            for (QAction* action : menu.Actions(AMenu))
                names << action->objectName();
            return names;
        };
        {
            Window w;
            QVERIFY(names(QStringLiteral("GMNU_New")).contains(QStringLiteral("actAddTemplate")));
            QVERIFY(names(QStringLiteral("GMNU_Export")).contains(QStringLiteral("actExportTemplate")));
            QVERIFY(names(QStringLiteral("GMNU_Import")).contains(QStringLiteral("actImportTemplate")));
            QVERIFY(names(QStringLiteral("GMNU_Import")).contains(QStringLiteral("ractImportHTMLSource")));
        }
        QVERIFY(!names(QStringLiteral("GMNU_New")).contains(QStringLiteral("actAddTemplate")));
        QVERIFY(!names(QStringLiteral("GMNU_Import")).contains(QStringLiteral("actImportTemplate")));
    }

    void stylePickListFollowsTheLanguage() {
        Fixture f;
        Window w;
        hostapi::IDBFieldSchemaItem* schema =
            hostapi::TDBFieldSchema::Instance().SchemaByName(QStringLiteral("emtemplates"));
        w.Form.SetLanguage(QStringLiteral("English"));
        QCOMPARE(schema->FieldListData(QStringLiteral("emailstyle")),
                 QStringLiteral(
                     "0=Text e-mail\r\n1=RTF e-mail\r\n2=Source (HTML/text)\r\n3=SMS\r\n4=HTML e-mail"));
        w.Form.SetLanguage(QStringLiteral("German"));
        QCOMPARE(schema->FieldListData(QStringLiteral("emailstyle")),
                 QStringLiteral(
                     "0=Text-Email\r\n1=RTF-Email\r\n2=Quelltext (HTML/Text)\r\n3=SMS\r\n4=HTML-Email"));
    }

    void grabEachStyleInGermanAndEnglish() {
        Fixture f;
        const QString rtf = TemplateContent::HtmlToRtf(
            QStringLiteral("<p><b>Sehr geehrte Damen und Herren,</b></p><p>unser Angebot <img "
                           "src=\"%IMAGEPATH%logo.png\"></p>"),
            {{QStringLiteral("logo.png"), Png(120, 40, Qt::darkCyan)}});
        hostapi::Database::Exec(
            QStringLiteral("INSERT INTO \"emlists\" (\"id\", \"name\") VALUES (3, 'Kunden')"));
        const qint64 ids[] = {
            f.AddTemplate(QStringLiteral("Newsletter Text"), 0, {}, QStringLiteral("Unser Angebot"),
                          QStringLiteral("Sehr geehrte Damen und Herren,\nunser Angebot.")),
            f.AddTemplate(QStringLiteral("Newsletter RTF"), 1, rtf, QStringLiteral("Unser Angebot")),
            f.AddTemplate(
                QStringLiteral("Newsletter Quelltext"), 2,
                QStringLiteral("<html>\n<body>\n<p>Sehr geehrte Damen und Herren,</p>\n</body>\n</html>"),
                QStringLiteral("Unser Angebot")),
            f.AddTemplate(QStringLiteral("Erinnerung SMS"), 3, {}, QStringLiteral("Shop"),
                          QString(161, QLatin1Char('x'))),
            f.AddTemplate(QStringLiteral("Newsletter HTML"), 4,
                          QStringLiteral("<p><b>Sehr geehrte Damen und Herren,</b></p><p>unser Angebot.</p>"),
                          QStringLiteral("Unser Angebot"))};
        const char* const styles[] = {"text", "rtf", "source", "sms", "html"};
        QVERIFY(QDir().mkpath(QStringLiteral(QV_GRAB_DIR)));
        for (const QString& language : {QStringLiteral("German"), QStringLiteral("English")}) {
            hostapi::TVRNLang::SetCurrentLanguage(language);
            Window w;
            w.Form.SetLanguage(language);
            // As the user sees it: the layouts follow the changed captions first.
            const auto grab = [&w, &language](const QString& AState) {
                QCoreApplication::processEvents();
                return w.Form.grab().save(QStringLiteral("%1/frmEmailMarketing_%2_%3.png")
                                              .arg(QStringLiteral(QV_GRAB_DIR), AState, language));
            };
            for (int i = 0; i < 5; ++i) {
                w.Select(hostapi::tnkContent, ids[i]);
                QVERIFY(grab(QString::fromLatin1(styles[i])));
            }
            // a template with its job: locked, the job's status shown
            TBaseEmailSender* job =
                f.Dm.Jobs().CreateJob(tjLocal, qint32(ids[4]), windowtests::RecipientList(), esHTML);
            job->SetSubject(QStringLiteral("Unser Angebot"));
            job->SetContent(QStringLiteral("<p>Hallo</p>"));
            job->InitializeData();
            QVERIFY(grab(QStringLiteral("locked")));
            w.Pages()->setCurrentWidget(Find<QWidget>(w.Form, "tbsJob"));
            QVERIFY(grab(QStringLiteral("job")));
            f.Dm.Jobs().Delete(job);
            w.Select(hostapi::tnkFolder, f.Folder);
            QVERIFY(grab(QStringLiteral("none")));
        }
    }
};

QTEST_MAIN(tst_frmEmailMarketing)
#include "tst_frmEmailMarketing.moc"
