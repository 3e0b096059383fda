#include "EditorTestSupport.h"
#include "FileUtils.h"
#include "QVInfoBlock.h"
#include "VRNHtmlEditor.h"
#include "VRNLang.h"
#include "frmVRNCustomHTMLEditorControl.h"
#include "support/HostDoubles.h"
#include "support/WindowTestHelpers.h"

#include <QAction>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextList>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

using namespace hostapi;

namespace {

// Clicks the format bar's button of action AName.
void ClickAction(TfrmVRNCustomHTMLEditorControl& AFrame, const char* AName) {
    auto* bar = testsupport::Find<QToolBar>(AFrame, "tbFormat");
    QAction* action = AFrame.findChild<QAction*>(QString::fromLatin1(AName));
    QVERIFY2(action, AName);
    QWidget* button = bar->widgetForAction(action);
    QVERIFY2(button && button->isEnabled(), AName);
    QTest::mouseClick(button, Qt::LeftButton);
}

void SelectAll(TVRNHtmlEditor& AEditor) {
    QTextCursor cursor(AEditor.document());
    cursor.select(QTextCursor::Document);
    AEditor.setTextCursor(cursor);
}

} // namespace

// The HTML editor frame: the format bar as a user clicks it, links and images through the dialog
// service, the note on HTML made elsewhere, read-only and its captions.
class tst_frmVRNCustomHTMLEditorControl : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void formatsWhatIsTyped_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("html");
        QTest::newRow("bold") << "actBold"
                              << "font-weight:700";
        QTest::newRow("italic") << "actItalic"
                                << "font-style:italic";
        QTest::newRow("underline") << "actUnderline"
                                   << "text-decoration: underline";
    }
    void formatsWhatIsTyped() {
        QFETCH(QString, action);
        QFETCH(QString, html);
        TfrmVRNCustomHTMLEditorControl frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        TVRNHtmlEditor* editor = frame.Editor();
        editor->SetHtmlText(QStringLiteral("<p>Hallo </p>"));
        editor->setFocus();
        editor->moveCursor(QTextCursor::End);
        ClickAction(frame, action.toLatin1().constData());
        QVERIFY(frame.findChild<QAction*>(action)->isChecked());
        QTest::keyClicks(editor, QStringLiteral("Welt"));
        const QString saved = editor->HtmlText();
        QVERIFY2(saved.contains(QStringLiteral("<span style=\" %1;\">Welt</span>").arg(html)),
                 qPrintable(saved));
        QVERIFY(editor->Modified());
        // The button follows the caret.
        QTextCursor start = editor->textCursor();
        start.setPosition(1);
        editor->setTextCursor(start);
        QVERIFY(!frame.findChild<QAction*>(action)->isChecked());
    }

    void shortcutsActInsideTheFrameOnly() {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* elsewhere = new QLineEdit(&window);
        auto* frame = new TfrmVRNCustomHTMLEditorControl(&window);
        layout->addWidget(elsewhere);
        layout->addWidget(frame);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QAction* bold = frame->findChild<QAction*>(QStringLiteral("actBold"));
        frame->Editor()->SetHtmlText(QStringLiteral("<p>x</p>"));
        elsewhere->setFocus();
        QTest::keyClick(elsewhere, Qt::Key_B, Qt::ControlModifier);
        QVERIFY(!bold->isChecked());
        frame->Editor()->setFocus();
        frame->Editor()->moveCursor(QTextCursor::End);
        QTest::keyClick(frame->Editor(), Qt::Key_B, Qt::ControlModifier);
        QVERIFY(bold->isChecked());
        QTest::keyClicks(frame->Editor(), QStringLiteral("y"));
        QVERIFY(frame->Editor()->HtmlText().contains(QLatin1String("font-weight:700;\">y</span>")));
    }

    void listsAndAlignment() {
        TfrmVRNCustomHTMLEditorControl frame;
        frame.show();
        TVRNHtmlEditor* editor = frame.Editor();
        editor->SetHtmlText(QStringLiteral("<p>eins</p>"));
        ClickAction(frame, "actBulletList");
        QVERIFY(editor->textCursor().currentList());
        QCOMPARE(editor->textCursor().currentList()->format().style(), QTextListFormat::ListDisc);
        ClickAction(frame, "actNumberedList");
        QCOMPARE(editor->textCursor().currentList()->format().style(), QTextListFormat::ListDecimal);
        ClickAction(frame, "actNumberedList");
        QVERIFY(!editor->textCursor().currentList());
        ClickAction(frame, "actAlignCenter");
        QCOMPARE(editor->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QVERIFY(editor->HtmlText().contains(QLatin1String("align=\"center\"")));
        ClickAction(frame, "actAlignRight");
        QVERIFY(frame.findChild<QAction*>(QStringLiteral("actAlignRight"))->isChecked());
        QVERIFY(!frame.findChild<QAction*>(QStringLiteral("actAlignCenter"))->isChecked());
    }

    void insertsLinks_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("html");
        QTest::newRow("new link text")
            << "https://example.org/a?b=1" << false << "<a href=\"https://example.org/a?b=1\"";
        QTest::newRow("selection becomes the link")
            << "mailto:info@example.org" << true << "<a href=\"mailto:info@example.org\"";
    }
    void insertsLinks() {
        QFETCH(QString, address);
        QFETCH(bool, selected);
        QFETCH(QString, html);
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddInput(address);
        TfrmVRNCustomHTMLEditorControl frame;
        frame.show();
        TVRNHtmlEditor* editor = frame.Editor();
        editor->SetHtmlText(QStringLiteral("<p>Webseite</p>"));
        if (selected)
            SelectAll(*editor);
        else
            editor->moveCursor(QTextCursor::End);
        ClickAction(frame, "actLink");
        QCOMPARE(dialogs.Queries.size(), 1);
        QCOMPARE(dialogs.Queries.first().Caption, QStringLiteral("Link einfügen"));
        const QString saved = editor->HtmlText();
        QVERIFY2(saved.contains(html), qPrintable(saved));
        QCOMPARE(editor->Text(),
                 selected ? QStringLiteral("Webseite") : QStringLiteral("Webseite") + address);
    }

    void refusesLinksOfOtherSchemes() {
        testsupport::ScriptedDialogService dialogs;
        testsupport::RecordingExceptionDisplay shown;
        dialogs.AddInput(QStringLiteral("javascript:alert(1)"));
        TfrmVRNCustomHTMLEditorControl frame;
        frame.show();
        frame.Editor()->SetHtmlText(QStringLiteral("<p>x</p>"));
        ClickAction(frame, "actLink");
        QCOMPARE(shown.Records().size(), 1);
        QVERIFY(shown.Records().first().Exception.UserMessage);
        QVERIFY(shown.Records().first().Exception.Message.contains(QLatin1String("javascript:alert(1)")));
        QCOMPARE(frame.Editor()->Text(), QStringLiteral("x"));
        QVERIFY(!frame.Editor()->HtmlText().contains(QLatin1String("<a ")));
    }

    void cancelledDialogsChangeNothing() {
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddInput(std::nullopt);
        dialogs.AddFileName(std::nullopt);
        TfrmVRNCustomHTMLEditorControl frame;
        frame.show();
        frame.Editor()->SetHtmlText(QStringLiteral("<p>x</p>"));
        ClickAction(frame, "actLink");
        ClickAction(frame, "actImage");
        QCOMPARE(dialogs.PendingCount(), 0);
        QVERIFY(!frame.Editor()->Modified());
    }

    void insertsImages() {
        QTemporaryDir source;
        const QString picture = source.filePath(QStringLiteral("logo.png"));
        SaveBinaryFile(picture, editortest::PngOf(Qt::red));
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddFileName(picture);
        TfrmVRNCustomHTMLEditorControl frame;
        frame.resize(500, 300);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.Editor()->SetHtmlText(QStringLiteral("<p>Bild: </p>"));
        frame.Editor()->moveCursor(QTextCursor::End);
        ClickAction(frame, "actImage");
        QCOMPARE(dialogs.FileDialogs.size(), 1);
        QVERIFY(dialogs.FileDialogs.first().Options.Filter.contains(QLatin1String("*.png")));
        QCOMPARE(frame.Editor()->ImageList(), QStringList{QStringLiteral("logo.png")});
        QCOMPARE(LoadBinaryFile(frame.Editor()->GetImagePath() + QStringLiteral("logo.png")),
                 editortest::PngOf(Qt::red));
        QVERIFY(frame.Editor()->HtmlText().contains(QLatin1String("src=\"%IMAGEPATH%logo.png\"")));
        QVERIFY(editortest::Shows(frame.Editor()->viewport()->grab().toImage(), Qt::red));
    }

    void notesHtmlMadeElsewhere_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<bool>("note");
        QTest::newRow("hand-made with a style block")
            << "<html><head><style>td{padding:8px}</style></head><body><table><tr><td>x</td></tr></table></"
               "body></html>"
            << true;
        QTest::newRow("simple body") << "<html><body><p>Hallo</p></body></html>" << false;
    }
    void notesHtmlMadeElsewhere() {
        QFETCH(QString, html);
        QFETCH(bool, note);
        TfrmVRNCustomHTMLEditorControl frame;
        frame.show();
        auto* block = testsupport::Find<TQVInfoBlock>(frame, "ibForeignStyling");
        QVERIFY(!block->isVisible());
        frame.Editor()->SetHtmlText(html);
        QCOMPARE(block->isVisible(), note);
        QVERIFY(block->Text().contains(QLatin1String("Quelltext (HTML/Text)")));
        // The next body decides again.
        frame.Editor()->SetHtmlText(frame.Editor()->HtmlText());
        QVERIFY(!block->isVisible());
    }

    void readOnlyDisablesTheFormatBar() {
        TfrmVRNCustomHTMLEditorControl frame;
        frame.show();
        frame.Editor()->SetHtmlText(QStringLiteral("<p>x</p>"));
        frame.SetReadOnly(true);
        QVERIFY(frame.ReadOnly());
        QVERIFY(!testsupport::Find<QToolBar>(frame, "tbFormat")->isEnabled());
        QTest::keyClicks(frame.Editor(), QStringLiteral("abc"));
        QCOMPARE(frame.Editor()->Text(), QStringLiteral("x"));
        frame.SetReadOnly(false);
        QVERIFY(testsupport::Find<QToolBar>(frame, "tbFormat")->isEnabled());
    }

    void captionsFollowTheLanguage_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("bold");
        QTest::addColumn<QString>("image");
        QTest::newRow("German") << "German"
                                << "&Fett"
                                << "&Bild...";
        QTest::newRow("English") << "English"
                                 << "&Bold"
                                 << "I&mage...";
    }
    void captionsFollowTheLanguage() {
        QFETCH(QString, language);
        QFETCH(QString, bold);
        QFETCH(QString, image);
        TfrmVRNCustomHTMLEditorControl frame;
        frame.SetLanguage(language);
        QCOMPARE(frame.Language(), language);
        QCOMPARE(frame.findChild<QAction*>(QStringLiteral("actBold"))->text(), bold);
        QCOMPARE(frame.findChild<QAction*>(QStringLiteral("actImage"))->text(), image);
        // A new frame starts in the process's language.
        TVRNLang::SetCurrentLanguage(language);
        TfrmVRNCustomHTMLEditorControl next;
        QCOMPARE(next.findChild<QAction*>(QStringLiteral("actBold"))->text(), bold);
    }

    void grab_data() { editortest::LanguageRows(); }
    void grab() {
        QFETCH(QString, language);
        TfrmVRNCustomHTMLEditorControl frame;
        frame.SetLanguage(language);
        frame.resize(640, 360);
        TVRNHtmlEditor* editor = frame.Editor();
        editor->BeginLoad();
        SaveBinaryFile(editor->GetImagePath() + QStringLiteral("logo.png"),
                       editortest::PngOf(QColor(0x20, 0x60, 0xC0), 40));
        editor->SetHtmlText(
            QStringLiteral("<html><head><style>h1{color:#c00}</style></head><body>"
                           "<h1>Neuigkeiten</h1><p><img src=\"%IMAGEPATH%logo.png\"> Sehr geehrte "
                           "<b>[Anrede]</b>,</p><ul><li>Punkt <i>eins</i></li><li>Punkt zwei</li></ul>"
                           "<p align=\"center\"><a href=\"https://example.org\">Zur Webseite</a></p>"
                           "</body></html>"));
        editor->EndLoad();
        QVERIFY(testsupport::SaveGrab(frame, QStringLiteral(QV_GRAB_DIR), language));
    }
};

QTEST_MAIN(tst_frmVRNCustomHTMLEditorControl)
#include "tst_frmVRNCustomHTMLEditorControl.moc"
