#include "EditorTestSupport.h"
#include "HtmlHighlighter.h"
#include "JvHLEditor.h"
#include "QVException.h"
#include "support/WindowTestHelpers.h"

#include <QSignalSpy>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

using namespace hostapi;

namespace {

QString Fixture(const char* AName) {
    return QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/html/") + QLatin1String(AName);
}

// Viewport point of the character at APosition.
} // namespace

// The HTML source editor: loading files in their character set, typing, insertion at the caret and
// at the mouse, drops, the modified flag, read-only, and the colours of the source.
class tst_JvHLEditor : public QObject {
    Q_OBJECT

private slots:
    void loadsFilesInTheirCharacterSet_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("text");
        QTest::newRow("Windows-1252 with meta charset")
            << Fixture("meta-windows1252.html") << QStringLiteral("Grüße aus Köln – Preis 5 € &amp; „mehr“");
        QTest::newRow("UTF-8 with byte order mark")
            << Fixture("bom-utf8.html") << QStringLiteral("Grüße aus Köln – Preis 5 € &amp; „mehr“ Ω");
    }
    void loadsFilesInTheirCharacterSet() {
        QFETCH(QString, file);
        QFETCH(QString, text);
        TJvHLEditor editor;
        QSignalSpy changed(&editor, &TJvHLEditor::changed);
        editor.LoadFromFile(file);
        QVERIFY2(editor.Text().contains(text), qPrintable(editor.Text()));
        QVERIFY(!editor.Text().startsWith(QChar(0xFEFF)));
        QVERIFY(!editor.Modified());
        QCOMPARE(changed.count(), 0);
    }

    void typingChangesAndMarksModified() {
        TJvHLEditor editor;
        editor.SetText(QStringLiteral("<p></p>"));
        editor.show();
        QSignalSpy changed(&editor, &TJvHLEditor::changed);
        editor.SetCaretPos(3);
        QTest::keyClicks(&editor, QStringLiteral("Hallo"));
        QCOMPARE(editor.Text(), QStringLiteral("<p>Hallo</p>"));
        QVERIFY(editor.Modified());
        QVERIFY(changed.count() > 0);
        editor.SetModified(false);
        QVERIFY(!editor.Modified());
        editor.SetText(QStringLiteral("<p>neu</p>"));
        QVERIFY(!editor.Modified());
    }

    void insertsAtTheCaret_data() {
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("result");
        QTest::newRow("start") << 0 << QStringLiteral("[Vorname]<p>Text</p>");
        QTest::newRow("inside") << 3 << QStringLiteral("<p>[Vorname]Text</p>");
        QTest::newRow("past the end is the end") << 100 << QStringLiteral("<p>Text</p>[Vorname]");
    }
    void insertsAtTheCaret() {
        QFETCH(int, caret);
        QFETCH(QString, result);
        TJvHLEditor editor;
        editor.SetText(QStringLiteral("<p>Text</p>"));
        editor.SetCaretPos(caret);
        editor.InsertText(QStringLiteral("[Vorname]"));
        QCOMPARE(editor.Text(), result);
        QVERIFY(editor.Modified());
    }

    void posFromMouseFindsTheCharacter() {
        TJvHLEditor editor;
        editor.SetText(QStringLiteral("<p>first line</p>\n<p>second line</p>"));
        editor.resize(400, 200);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        for (const int position : {0, 5, 18, 25}) {
            QCOMPARE(editor.PosFromMouse(editortest::PointOf(editor, position) + QPoint(1, 0)), position);
        }
    }

    void drops_data() {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("macro");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("result");
        QTest::newRow("macro at the mouse") << false << true << true << QStringLiteral("<p>[Anrede]Text</p>");
        QTest::newRow("plain text at the mouse")
            << false << false << true << QStringLiteral("<p>[Anrede]Text</p>");
        QTest::newRow("read-only refuses") << true << true << false << QStringLiteral("<p>Text</p>");
    }
    void drops() {
        QFETCH(bool, readOnly);
        QFETCH(bool, macro);
        QFETCH(bool, accepted);
        QFETCH(QString, result);
        TJvHLEditor editor;
        editor.DropTarget().SetHandler(editortest::MacroText);
        editor.SetText(QStringLiteral("<p>Text</p>"));
        editor.SetReadOnly(readOnly);
        editor.resize(400, 200);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        const QPoint target = editortest::PointOf(editor, 3) + QPoint(-1, 0);
        QCOMPARE(editor.PosFromMouse(target), 3);
        const auto drag = editortest::DragAndDrop(editor.viewport(), target,
                                                  macro ? editortest::MacroData(QStringLiteral("[Anrede]"))
                                                        : editortest::PlainData(QStringLiteral("[Anrede]")));
        QCOMPARE(drag.DropAccepted, accepted);
        QCOMPARE(editor.Text(), result);
        QCOMPARE(editor.Modified(), accepted);
    }

    void readOnlyRefusesInput() {
        TJvHLEditor editor;
        editor.SetText(QStringLiteral("<p>Text</p>"));
        editor.SetReadOnly(true);
        editor.show();
        QTest::keyClicks(&editor, QStringLiteral("abc"));
        QCOMPARE(editor.Text(), QStringLiteral("<p>Text</p>"));
        QVERIFY_THROWS_EXCEPTION(EQVException, editor.InsertText(QStringLiteral("[Vorname]")));
        QCOMPARE(editor.Text(), QStringLiteral("<p>Text</p>"));
        QVERIFY(!editor.Modified());
    }

    void sourceIsColoured() {
        TJvHLEditor editor;
        editor.SetText(QStringLiteral("<p class=\"x\">&amp; <!-- note --></p>"));
        const QTextBlock block = editor.document()->firstBlock();
        QSet<QRgb> colours;
        for (const QTextLayout::FormatRange& range : block.layout()->formats())
            colours.insert(range.format.foreground().color().rgb());
        const HtmlHighlighter::Kind kinds[] = {HtmlHighlighter::Kind::Tag, HtmlHighlighter::Kind::Attribute,
                                               HtmlHighlighter::Kind::String, HtmlHighlighter::Kind::Comment,
                                               HtmlHighlighter::Kind::Entity};
        for (auto kind : kinds)
            QVERIFY(colours.contains(HtmlHighlighter::FormatOf(kind).foreground().color().rgb()));
    }

    void grab_data() { editortest::LanguageRows(); }
    void grab() {
        QFETCH(QString, language);
        TJvHLEditor editor;
        editor.setObjectName(QStringLiteral("edtHTMLSource"));
        editor.resize(520, 220);
        editor.LoadFromFile(Fixture("meta-windows1252.html"));
        QVERIFY(testsupport::SaveGrab(editor, QStringLiteral(QV_GRAB_DIR), language));
    }
};

QTEST_MAIN(tst_JvHLEditor)
#include "tst_JvHLEditor.moc"
