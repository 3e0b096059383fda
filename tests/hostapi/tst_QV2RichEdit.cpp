#include "EditorTestSupport.h"
#include "FileUtils.h"
#include "QV2RichEdit.h"
#include "QVException.h"
#include "RichTextTestSupport.h"
#include "support/WindowTestHelpers.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace hostapi;

namespace {

const QString SampleRtf =
    QStringLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Hallo {\\b Welt}\\par}");

} // namespace

// The RTF editor: RTF in and out, HTML import with pictures and export, plain text, typing,
// insertion at the caret and at the mouse, drops, the modified flag and the change signal,
// read-only.
class tst_QV2RichEdit : public QObject {
    Q_OBJECT

private slots:
    void keepsRtf() {
        TQV2RichEdit editor;
        QSignalSpy changed(&editor, &TQV2RichEdit::changed);
        editor.SetRtfText(SampleRtf);
        QCOMPARE(editor.PlainText(), QStringLiteral("Hallo Welt"));
        QVERIFY(richtexttest::FormatOf(*editor.document(), QStringLiteral("Welt")).fontWeight() >=
                QFont::Bold);
        QVERIFY(!editor.Modified());
        QCOMPARE(changed.count(), 0);
        // What the editor writes reads back the same.
        TQV2RichEdit copy;
        copy.SetRtfText(editor.RtfText());
        QCOMPARE(copy.PlainText(), QStringLiteral("Hallo Welt"));
        QVERIFY(richtexttest::FormatOf(*copy.document(), QStringLiteral("Welt")).fontWeight() >= QFont::Bold);
        QVERIFY(richtexttest::FormatOf(*copy.document(), QStringLiteral("Hallo")).fontWeight() < QFont::Bold);
    }

    void refusesTextThatIsNotRtfAndKeepsItsContent() {
        TQV2RichEdit editor;
        editor.SetRtfText(SampleRtf);
        QVERIFY_THROWS_EXCEPTION(EQVException, editor.SetRtfText(QStringLiteral("<html>kein RTF</html>")));
        QCOMPARE(editor.PlainText(), QStringLiteral("Hallo Welt"));
        editor.SetRtfText(QString());
        QCOMPARE(editor.PlainText(), QString());
    }

    void importsHtmlFilesWithTheirPicturesAndExportsThem() {
        QTemporaryDir source;
        QTemporaryDir outside;
        QVERIFY(source.isValid() && outside.isValid());
        SaveBinaryFile(source.filePath(QStringLiteral("logo.png")), editortest::PngOf(Qt::red));
        QVERIFY(QDir(source.path()).mkpath(QStringLiteral("img")));
        SaveBinaryFile(source.filePath(QStringLiteral("img/foto.png")), editortest::PngOf(Qt::green));
        SaveBinaryFile(outside.filePath(QStringLiteral("secret.png")), editortest::PngOf(Qt::blue));
        const QString page = source.filePath(QStringLiteral("page.html"));
        SaveBinaryFile(
            page,
            QStringLiteral("<html><head><meta charset=\"windows-1252\"></head><body>"
                           "<p>Grüße <img src=\"logo.png\"> <img src=\"img/foto.png\"> <img src=\"%1\"> "
                           "<img src=\"../secret.png\"></p></body></html>")
                .arg(outside.filePath(QStringLiteral("secret.png")))
                .toLatin1());
        TQV2RichEdit editor;
        editor.LoadHtmlFromFile(page);
        QVERIFY(!editor.Modified());
        QCOMPARE(editor.PlainText().trimmed(), QStringLiteral("Grüße"));
        // Only the pictures below the file's folder are embedded; the RTF carries them.
        const QString rtf = editor.RtfText();
        QCOMPARE(rtf.count(QLatin1String("\\pict")), 2);
        QTemporaryDir target;
        const QString html = editor.SaveHtmlToFolder(target.path());
        const QStringList files = QDir(target.path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 3); // "_index.html" and two pictures
        QCOMPARE(files.first(), QStringLiteral("_index.html"));
        QCOMPARE(LoadBinaryFile(target.filePath(files.at(1))), editortest::PngOf(Qt::red));
        QCOMPARE(LoadBinaryFile(target.filePath(files.at(2))), editortest::PngOf(Qt::green));
        QVERIFY(html.contains(QStringLiteral("src=\"%1\"").arg(files.at(1))));
        QCOMPARE(editor.SaveTextToFolder(target.path()).trimmed(), QStringLiteral("Grüße"));
        QCOMPARE(LoadTextFile(target.filePath(QStringLiteral("_textbody.txt"))).trimmed(),
                 QStringLiteral("Grüße"));
    }

    void importsHtmlTextWithImagePathPictures() {
        QTemporaryDir folder;
        SaveBinaryFile(folder.filePath(QStringLiteral("a.png")), editortest::PngOf(Qt::green));
        TQV2RichEdit editor;
        editor.LoadHtmlFromString(QStringLiteral("<p>Bild <img src=\"%IMAGEPATH%a.png\"></p>"),
                                  folder.path());
        QCOMPARE(editor.RtfText().count(QLatin1String("\\pngblip")), 1);
        editor.resize(300, 120);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QVERIFY(editortest::Shows(editor.viewport()->grab().toImage(), Qt::green));
    }

    // Dropped or pasted HTML may name pictures on the disk: none is read.
    void readsNoPictureThatADroppedTextNames() {
        QTemporaryDir outside;
        const QString red = outside.filePath(QStringLiteral("red.png"));
        SaveBinaryFile(red, editortest::PngOf(Qt::red));
        TQV2RichEdit editor;
        editor.SetRtfText(SampleRtf);
        editor.resize(400, 150);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        auto* data = new QMimeData;
        data->setHtml(
            QStringLiteral("<img src=\"%1\" width=\"30\" height=\"30\"><img src=\"file://%1\" width=\"30\" "
                           "height=\"30\">")
                .arg(red));
        QVERIFY(
            editortest::DragAndDrop(editor.viewport(), editortest::PointOf(editor, 6), data).DropAccepted);
        QCOMPARE(richtexttest::ImagesOf(*editor.document()).size(), 2);
        QVERIFY(!editortest::Shows(editor.viewport()->grab().toImage(), Qt::red));
    }

    void typingChangesAndMarksModified() {
        TQV2RichEdit editor;
        editor.SetRtfText(SampleRtf);
        editor.show();
        QSignalSpy changed(&editor, &TQV2RichEdit::changed);
        QTextCursor cursor = editor.textCursor();
        cursor.setPosition(10);
        editor.setTextCursor(cursor);
        QTest::keyClicks(&editor, QStringLiteral(" und Tschuess"));
        QCOMPARE(editor.PlainText(), QStringLiteral("Hallo Welt und Tschuess"));
        QVERIFY(editor.Modified());
        QVERIFY(changed.count() > 0);
        editor.SetModified(false);
        QVERIFY(!editor.Modified());
        // Loading is no edit.
        const int edits = int(changed.count());
        editor.SetRtfText(SampleRtf);
        QCOMPARE(changed.count(), edits);
        QVERIFY(!editor.Modified());
    }

    void insertsAtTheCaretAndFollowsTheMouse() {
        TQV2RichEdit editor;
        editor.SetRtfText(SampleRtf);
        editor.resize(400, 150);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        editor.SetCursorTo(editortest::PointOf(editor, 6) + QPoint(-1, 0));
        QCOMPARE(editor.textCursor().position(), 6);
        QVERIFY(!editor.textCursor().hasSelection());
        QSignalSpy changed(&editor, &TQV2RichEdit::changed);
        editor.InsertText(QStringLiteral("[Vorname] "));
        QCOMPARE(editor.PlainText(), QStringLiteral("Hallo [Vorname] Welt"));
        QVERIFY(editor.Modified());
        QVERIFY(changed.count() > 0);
    }

    void drops_data() {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("macro");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("result");
        QTest::newRow("macro at the mouse")
            << false << true << true << QStringLiteral("Hallo [TEXTBLOCK:GRUSS]Welt");
        QTest::newRow("plain text at the mouse")
            << false << false << true << QStringLiteral("Hallo [TEXTBLOCK:GRUSS]Welt");
        QTest::newRow("read-only refuses") << true << true << false << QStringLiteral("Hallo Welt");
    }
    void drops() {
        QFETCH(bool, readOnly);
        QFETCH(bool, macro);
        QFETCH(bool, accepted);
        QFETCH(QString, result);
        TQV2RichEdit editor;
        editor.DropTarget().SetHandler(editortest::MacroText);
        editor.SetRtfText(SampleRtf);
        editor.SetReadOnly(readOnly);
        editor.resize(400, 150);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        const QString text = QStringLiteral("[TEXTBLOCK:GRUSS]");
        const auto drag =
            editortest::DragAndDrop(editor.viewport(), editortest::PointOf(editor, 6) + QPoint(-1, 0),
                                    macro ? editortest::MacroData(text) : editortest::PlainData(text));
        QCOMPARE(drag.DropAccepted, accepted);
        QCOMPARE(editor.PlainText(), result);
        QCOMPARE(editor.Modified(), accepted);
    }

    void aFailingDropHandlerRefusesTheDrop() {
        TQV2RichEdit editor;
        editor.DropTarget().SetHandler([](QObject*, const QMimeData*) -> QString {
            throw EQVException(QStringLiteral("Kein Textbaustein gewählt"));
        });
        editor.SetRtfText(SampleRtf);
        editor.resize(400, 150);
        editor.show();
        const auto drag = editortest::DragAndDrop(editor.viewport(), editortest::PointOf(editor, 6),
                                                  editortest::PlainData(QStringLiteral("x")));
        QVERIFY(!drag.MoveAccepted);
        QCOMPARE(editor.PlainText(), QStringLiteral("Hallo Welt"));
    }

    void readOnlyRefusesInput() {
        TQV2RichEdit editor;
        editor.SetRtfText(SampleRtf);
        editor.SetReadOnly(true);
        QVERIFY(editor.ReadOnly());
        editor.show();
        QTest::keyClicks(&editor, QStringLiteral("abc"));
        QVERIFY_THROWS_EXCEPTION(EQVException, editor.InsertText(QStringLiteral("[Vorname]")));
        QCOMPARE(editor.PlainText(), QStringLiteral("Hallo Welt"));
        QVERIFY(!editor.Modified());
    }

    void grab_data() { editortest::LanguageRows(); }
    void grab() {
        QFETCH(QString, language);
        QTemporaryDir folder;
        SaveBinaryFile(folder.filePath(QStringLiteral("a.png")),
                       editortest::PngOf(QColor(0x20, 0x60, 0xC0), 32));
        TQV2RichEdit editor;
        editor.setObjectName(QStringLiteral("FQV2RichEdit"));
        editor.resize(480, 200);
        editor.LoadHtmlFromString(QStringLiteral("<h2>Neuigkeiten</h2><p>Sehr geehrte <b>[Anrede]</b>,</p>"
                                                 "<ul><li>Punkt <i>eins</i></li><li>Punkt zwei</li></ul>"
                                                 "<p><img src=\"a.png\"> Grüße</p>"),
                                  folder.path());
        QVERIFY(testsupport::SaveGrab(editor, QStringLiteral(QV_GRAB_DIR), language));
    }
};

QTEST_MAIN(tst_QV2RichEdit)
#include "tst_QV2RichEdit.moc"
