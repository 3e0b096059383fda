// The drop rules of the mailing window's editors with bare editors standing in for the window's:
// synthetic drags of macros and text blocks from the macro panel onto the text memo, the subject,
// CC and BCC edits, the RTF editor and the HTML source; and the double click's insertion.

#include "HostDoubles.h"
#include "HostLibraries.h"
#include "JvHLEditor.h"
#include "MailingEditorDrop.h"
#include "QV2RichEdit.h"
#include "QVException.h"
#include "VRNHtmlEditor.h"
#include "frmVRNCustomHTMLEditorControl.h"
#include "hostapi/EditorTestSupport.h"

#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>

#include <memory>

using namespace emailmarketing;

namespace {

const QString Macro = QStringLiteral("[Aktueller Tag - kurz]");
const QString TextBlock = QStringLiteral("[TEXTBLOCK:GRUSS]");

// The editors of the window, each with its drop rules.
struct Editors {
    QWidget Window;
    QPlainTextEdit* MemoText = new QPlainTextEdit(&Window);
    QLineEdit* edtSubject = new QLineEdit(&Window);
    QLineEdit* edtRcptCC = new QLineEdit(&Window);
    QLineEdit* edtRcptBCC = new QLineEdit(&Window);
    hostapi::TQV2RichEdit* FQV2RichEdit = new hostapi::TQV2RichEdit(&Window);
    hostapi::TJvHLEditor* edtHTMLSource = new hostapi::TJvHLEditor(&Window);
    QStringList Posted; // "edit name=text" of every posted one-line edit

    Editors() {
        int y = 0;
        for (QWidget* w : std::initializer_list<QWidget*>{MemoText, edtSubject, edtRcptCC, edtRcptBCC,
                                                          FQV2RichEdit, edtHTMLSource}) {
            const int height = qobject_cast<QLineEdit*>(w) ? 28 : 80;
            w->setGeometry(0, y, 400, height);
            y += height + 4;
        }
        MemoText->setObjectName(QStringLiteral("MemoText"));
        edtSubject->setObjectName(QStringLiteral("edtSubject"));
        edtRcptCC->setObjectName(QStringLiteral("edtRcptCC"));
        edtRcptBCC->setObjectName(QStringLiteral("edtRcptBCC"));
        TMailingEditorDrop::AttachMemo(*MemoText);
        for (QLineEdit* edit : {edtSubject, edtRcptCC, edtRcptBCC})
            TMailingEditorDrop::AttachLineEdit(*edit, [this](QLineEdit& AEdit) {
                Posted << AEdit.objectName() + QLatin1Char('=') + AEdit.text();
            });
        TMailingEditorDrop::AttachRichEdit(*FQV2RichEdit);
        TMailingEditorDrop::AttachSourceEditor(*edtHTMLSource);
        MemoText->setPlainText(QStringLiteral("Hallo Welt"));
        FQV2RichEdit->LoadHtmlFromString(QStringLiteral("Hallo Welt"));
        edtHTMLSource->SetText(QStringLiteral("Hallo Welt"));
        for (QLineEdit* edit : {edtSubject, edtRcptCC, edtRcptBCC})
            edit->setText(QStringLiteral("Hallo Welt"));
        Window.resize(400, y);
    }
};

// Drops on a text editor at its character 6 ("Hallo |Welt"), on a one-line edit at its left edge.
editortest::DragResult DropOn(Editors& AEditors, const QString& ATarget, QMimeData* AData) {
    if (ATarget == QLatin1String("memo"))
        return editortest::DragAndDrop(AEditors.MemoText->viewport(),
                                       editortest::PointOf(*AEditors.MemoText, 6), AData);
    if (ATarget == QLatin1String("rtf"))
        return editortest::DragAndDrop(AEditors.FQV2RichEdit->viewport(),
                                       editortest::PointOf(*AEditors.FQV2RichEdit, 6) + QPoint(-1, 0), AData);
    if (ATarget == QLatin1String("source"))
        return editortest::DragAndDrop(AEditors.edtHTMLSource->viewport(),
                                       editortest::PointOf(*AEditors.edtHTMLSource, 6), AData);
    QLineEdit* edit = ATarget == QLatin1String("subject") ? AEditors.edtSubject
                      : ATarget == QLatin1String("cc")    ? AEditors.edtRcptCC
                                                          : AEditors.edtRcptBCC;
    return editortest::DragAndDrop(edit, QPoint(3, edit->height() / 2), AData);
}

QString TextOf(Editors& AEditors, const QString& ATarget) {
    if (ATarget == QLatin1String("memo"))
        return AEditors.MemoText->toPlainText();
    if (ATarget == QLatin1String("rtf"))
        return AEditors.FQV2RichEdit->PlainText();
    if (ATarget == QLatin1String("source"))
        return AEditors.edtHTMLSource->Text();
    if (ATarget == QLatin1String("subject"))
        return AEditors.edtSubject->text();
    return ATarget == QLatin1String("cc") ? AEditors.edtRcptCC->text() : AEditors.edtRcptBCC->text();
}

} // namespace

class tst_MailingEditorDrop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void drops_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("textBlock");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QStringList>("posted");
        const QString unchanged = QStringLiteral("Hallo Welt");
        QTest::newRow("text block into the memo at the mouse")
            << "memo" << TextBlock << true << true << "Hallo [TEXTBLOCK:GRUSS]Welt" << QStringList();
        QTest::newRow("macro into the memo")
            << "memo" << Macro << false << true << "Hallo [Aktueller Tag - kurz]Welt" << QStringList();
        QTest::newRow("text block refused on the subject")
            << "subject" << TextBlock << true << false << unchanged << QStringList();
        QTest::newRow("text block refused on CC")
            << "cc" << TextBlock << true << false << unchanged << QStringList();
        QTest::newRow("text block refused on BCC")
            << "bcc" << TextBlock << true << false << unchanged << QStringList();
        QTest::newRow("macro on the subject is posted")
            << "subject" << Macro << false << true << "[Aktueller Tag - kurz]Hallo Welt"
            << QStringList{"edtSubject=[Aktueller Tag - kurz]Hallo Welt"};
        QTest::newRow("macro on CC is posted")
            << "cc" << Macro << false << true << "[Aktueller Tag - kurz]Hallo Welt"
            << QStringList{"edtRcptCC=[Aktueller Tag - kurz]Hallo Welt"};
        QTest::newRow("text block into the RTF editor")
            << "rtf" << TextBlock << true << true << "Hallo [TEXTBLOCK:GRUSS]Welt" << QStringList();
        QTest::newRow("text block into the HTML source")
            << "source" << TextBlock << true << true << "Hallo [TEXTBLOCK:GRUSS]Welt" << QStringList();
    }
    void drops() {
        QFETCH(QString, target);
        QFETCH(QString, text);
        QFETCH(bool, textBlock);
        QFETCH(bool, accepted);
        QFETCH(QString, result);
        QFETCH(QStringList, posted);
        Editors editors;
        editors.Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editors.Window));
        const auto drag = DropOn(editors, target, MacroMimeData(text, textBlock));
        QCOMPARE(drag.MoveAccepted, accepted);
        QCOMPARE(drag.DropAccepted, accepted);
        QCOMPARE(TextOf(editors, target), result);
        QCOMPARE(editors.Posted, posted);
    }

    // A read-only edit (the template locked by its job) takes nothing.
    void readOnlyEditsRefuseMacros_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("memo") << "memo";
        QTest::newRow("subject") << "subject";
    }
    void readOnlyEditsRefuseMacros() {
        QFETCH(QString, target);
        Editors editors;
        editors.MemoText->setReadOnly(true);
        editors.edtSubject->setReadOnly(true);
        editors.Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editors.Window));
        const auto drag = DropOn(editors, target, MacroMimeData(Macro, false));
        QVERIFY(!drag.MoveAccepted);
        QCOMPARE(TextOf(editors, target), QStringLiteral("Hallo Welt"));
        QVERIFY(editors.Posted.isEmpty());
    }

    // Text dragged from elsewhere is left to the editor's own drop.
    void foreignTextKeepsTheEditorsOwnDrop() {
        Editors editors;
        editors.Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editors.Window));
        const auto drag = DropOn(editors, QStringLiteral("memo"), editortest::PlainData(QStringLiteral("x")));
        QVERIFY(drag.DropAccepted);
        QVERIFY(editors.MemoText->toPlainText().contains(QLatin1Char('x')));
        const std::unique_ptr<QMimeData> plain(editortest::PlainData(QStringLiteral("x")));
        QVERIFY(MacroDropText(plain.get(), true).isEmpty());
    }

    void insertMacroText_data() {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("result");
        QTest::newRow("memo replaces its selection") << "memo"
                                                     << "Hallo [Aktueller Tag - kurz]";
        QTest::newRow("subject replaces its selection") << "subject"
                                                        << "Hallo [Aktueller Tag - kurz]";
        QTest::newRow("RTF editor at its caret") << "rtf"
                                                 << "Hallo [Aktueller Tag - kurz]";
        QTest::newRow("HTML source at its caret") << "source"
                                                  << "Hallo [Aktueller Tag - kurz]";
        QTest::newRow("HTML editor appends") << "html"
                                             << "Hallo Welt[Aktueller Tag - kurz]";
    }
    void insertMacroText() {
        QFETCH(QString, editor);
        QFETCH(QString, result);
        Editors editors;
        hostapi::TfrmVRNCustomHTMLEditorControl html(&editors.Window);
        html.Editor()->SetHtmlText(QStringLiteral("<p>Hallo Welt</p>"));
        editors.Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editors.Window));
        // "Welt" selected in every text editor.
        QTextCursor memoCursor = editors.MemoText->textCursor();
        memoCursor.setPosition(6);
        memoCursor.setPosition(10, QTextCursor::KeepAnchor);
        editors.MemoText->setTextCursor(memoCursor);
        editors.edtSubject->setSelection(6, 4);
        QTextCursor richCursor = editors.FQV2RichEdit->textCursor();
        richCursor.setPosition(6);
        richCursor.setPosition(10, QTextCursor::KeepAnchor);
        editors.FQV2RichEdit->setTextCursor(richCursor);
        QTextCursor sourceCursor = editors.edtHTMLSource->textCursor();
        sourceCursor.setPosition(6);
        sourceCursor.setPosition(10, QTextCursor::KeepAnchor);
        editors.edtHTMLSource->setTextCursor(sourceCursor);
        if (editor == QLatin1String("html")) {
            InsertMacroText(html, Macro);
            QCOMPARE(html.Editor()->Text(), result);
            return;
        }
        QWidget* target = editor == QLatin1String("memo")      ? static_cast<QWidget*>(editors.MemoText)
                          : editor == QLatin1String("subject") ? static_cast<QWidget*>(editors.edtSubject)
                          : editor == QLatin1String("rtf")     ? static_cast<QWidget*>(editors.FQV2RichEdit)
                                                               : static_cast<QWidget*>(editors.edtHTMLSource);
        InsertMacroText(*target, Macro);
        QCOMPARE(TextOf(editors, editor), result);
        if (editor == QLatin1String("source"))
            QVERIFY(editors.edtHTMLSource->hasFocus());
    }

    void insertIntoReadOnlyRaises() {
        Editors editors;
        editors.MemoText->setReadOnly(true);
        editors.edtSubject->setReadOnly(true);
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, InsertMacroText(*editors.MemoText, Macro));
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, InsertMacroText(*editors.edtSubject, Macro));
        QCOMPARE(editors.MemoText->toPlainText(), QStringLiteral("Hallo Welt"));
        QCOMPARE(editors.edtSubject->text(), QStringLiteral("Hallo Welt"));
    }
};

QTEST_MAIN(tst_MailingEditorDrop)
#include "tst_MailingEditorDrop.moc"
