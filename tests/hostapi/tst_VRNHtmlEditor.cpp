#include "EditorTestSupport.h"
#include "FileUtils.h"
#include "QVException.h"
#include "VRNHtmlEditor.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace hostapi;

namespace {

QString Fixture(const char* AName) {
    return QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/html/") + QLatin1String(AName);
}

QStringList FolderContent(const QString& AFolder) {
    return QDir(AFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                   QDir::Name);
}

// The editor's viewport as it is drawn.
QImage Drawn(TVRNHtmlEditor& AEditor) {
    AEditor.resize(400, 200);
    AEditor.show();
    if (!QTest::qWaitForWindowExposed(&AEditor))
        return {};
    return AEditor.viewport()->grab().toImage();
}

// A body loaded as the mailing window loads a stored one: the folder is emptied, the images are
// written into it, the body is set.
void LoadStored(TVRNHtmlEditor& AEditor, const QString& ABody,
                const QList<std::pair<QString, QByteArray>>& AImages) {
    AEditor.BeginLoad();
    for (const auto& [name, bytes] : AImages)
        SaveBinaryFile(AEditor.GetImagePath() + name, bytes);
    AEditor.SetHtmlText(ABody);
    AEditor.EndLoad();
}

} // namespace

// The WYSIWYG HTML editor: its image folder, "%IMAGEPATH%" bodies, what it refuses to load, file
// import, typing, AddString, drops, the modified flag, read-only and the note on foreign HTML.
class tst_VRNHtmlEditor : public QObject {
    Q_OBJECT

private slots:
    void imageFolderIsItsOwnAndGoesWithTheEditor() {
        QString folder;
        {
            TVRNHtmlEditor editor;
            folder = editor.GetImagePath();
            QVERIFY(folder.endsWith(QLatin1Char('/')));
            QVERIFY(QFileInfo(folder).isDir());
            QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                     QFileDevice::Permissions());
            TVRNHtmlEditor other;
            QVERIFY(other.GetImagePath() != folder);
            SaveBinaryFile(folder + QStringLiteral("a.png"), editortest::PngOf(Qt::red));
        }
        QVERIFY(!QFileInfo::exists(folder));
    }

    void showsAndSavesImagePathImages() {
        const QByteArray red = editortest::PngOf(Qt::red);
        const QByteArray blue = editortest::PngOf(Qt::blue);
        TVRNHtmlEditor editor;
        QSignalSpy changed(&editor, &TVRNHtmlEditor::changed);
        LoadStored(editor,
                   QStringLiteral("<html><body><p>Logo <img src=\"%IMAGEPATH%logo.png\"> und "
                                  "<img src=\"%IMAGEPATH%foto 1.png\"></p></body></html>"),
                   {{QStringLiteral("logo.png"), red}, {QStringLiteral("foto 1.png"), blue}});
        QVERIFY(!editor.Modified());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(editor.ImageList(), (QStringList{QStringLiteral("foto 1.png"), QStringLiteral("logo.png")}));
        const QImage drawn = Drawn(editor);
        QVERIFY(editortest::Shows(drawn, Qt::red));
        QVERIFY(editortest::Shows(drawn, Qt::blue));
        const QString saved = editor.HtmlText();
        QVERIFY2(saved.contains(QLatin1String("src=\"%IMAGEPATH%logo.png\"")), qPrintable(saved));
        QVERIFY2(saved.contains(QLatin1String("src=\"%IMAGEPATH%foto 1.png\"")), qPrintable(saved));
        QVERIFY(!saved.contains(editor.GetImagePath()));
        QCOMPARE(LoadBinaryFile(editor.GetImagePath() + QStringLiteral("logo.png")), red);
        QCOMPARE(LoadBinaryFile(editor.GetImagePath() + QStringLiteral("foto 1.png")), blue);
        // What it saved loads the same again.
        TVRNHtmlEditor again;
        LoadStored(again, saved, {{QStringLiteral("logo.png"), red}, {QStringLiteral("foto 1.png"), blue}});
        QCOMPARE(again.ImageList(), editor.ImageList());
        QCOMPARE(again.HtmlText(), saved);
    }

    void loadsNothingOutsideItsFolder_data() {
        QTest::addColumn<QString>("source");
        QTest::newRow("absolute path") << QStringLiteral("/etc/hostname");
        QTest::newRow("parent folder") << QStringLiteral("../x.png");
        QTest::newRow("picture elsewhere, absolute") << QStringLiteral("{outside}/x.png");
        QTest::newRow("file URL") << QStringLiteral("file://{outside}/x.png");
        QTest::newRow("image path, parent folder") << QStringLiteral("%IMAGEPATH%../x.png");
        QTest::newRow("network") << QStringLiteral("http://127.0.0.1:9/x.png");
    }
    void loadsNothingOutsideItsFolder() {
        QFETCH(QString, source);
        QTemporaryDir outside;
        QVERIFY(outside.isValid());
        SaveBinaryFile(outside.filePath(QStringLiteral("x.png")), editortest::PngOf(Qt::red));
        TVRNHtmlEditor editor;
        // A red picture right beside the image folder too, for "../x.png".
        const QString beside =
            QDir(editor.GetImagePath() + QStringLiteral("..")).absoluteFilePath(QStringLiteral("x.png"));
        const bool besideWritten = !QFileInfo::exists(beside);
        if (besideWritten)
            SaveBinaryFile(beside, editortest::PngOf(Qt::red));
        source.replace(QLatin1String("{outside}"), outside.path());
        LoadStored(editor,
                   QStringLiteral("<p>Bild <img src=\"%1\" width=\"30\" height=\"30\"></p>").arg(source),
                   {{QStringLiteral("own.png"), editortest::PngOf(Qt::blue)}});
        const QImage drawn = Drawn(editor);
        if (besideWritten)
            QFile::remove(beside);
        QVERIFY(!editortest::Shows(drawn, Qt::red));
        QVERIFY(editor.ImageList().isEmpty());
        QCOMPARE(FolderContent(editor.GetImagePath()), QStringList{QStringLiteral("own.png")});
        QVERIFY(!editor.HtmlText().contains(QLatin1String("%IMAGEPATH%")));
    }

    void everyLoadEmptiesTheFolder() {
        TVRNHtmlEditor editor;
        LoadStored(editor, QStringLiteral("<p><img src=\"%IMAGEPATH%a.png\"></p>"),
                   {{QStringLiteral("a.png"), editortest::PngOf(Qt::red)}});
        QCOMPARE(FolderContent(editor.GetImagePath()), QStringList{QStringLiteral("a.png")});
        editor.SetHtmlText(QStringLiteral("<p>neu</p>"));
        QVERIFY(FolderContent(editor.GetImagePath()).isEmpty());
        QVERIFY(editor.ImageList().isEmpty());
        // A new image of an old name is drawn with its new bytes.
        LoadStored(editor, QStringLiteral("<p><img src=\"%IMAGEPATH%a.png\"></p>"),
                   {{QStringLiteral("a.png"), editortest::PngOf(Qt::green)}});
        const QImage drawn = Drawn(editor);
        QVERIFY(editortest::Shows(drawn, Qt::green));
        QVERIFY(!editortest::Shows(drawn, Qt::red));
    }

    void endLoadWithoutBeginLoadIsAFault() {
        TVRNHtmlEditor editor;
        QVERIFY_THROWS_EXCEPTION(EQVAssertion, editor.EndLoad());
    }

    void loadsAFileImportingItsLocalImages_data() {
        QTest::addColumn<bool>("import");
        QTest::addColumn<QStringList>("images");
        QTest::newRow("importing") << true
                                   << QStringList{QStringLiteral("logo.png"), QStringLiteral("logo_2.png")};
        QTest::newRow("not importing") << false << QStringList{};
    }
    void loadsAFileImportingItsLocalImages() {
        QFETCH(bool, import);
        QFETCH(QStringList, images);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("mail/img")));
        const QString mail = root.filePath(QStringLiteral("mail/"));
        SaveBinaryFile(mail + QStringLiteral("logo.png"), editortest::PngOf(Qt::red));
        SaveBinaryFile(mail + QStringLiteral("img/logo.png"), editortest::PngOf(Qt::blue));
        SaveBinaryFile(mail + QStringLiteral("notes.png"), "no picture at all");
        SaveBinaryFile(root.filePath(QStringLiteral("outside.png")), editortest::PngOf(Qt::green));
        const QString page = mail + QStringLiteral("page.html");
        SaveBinaryFile(page,
                       QStringLiteral("<html><head><meta charset=\"windows-1252\"></head><body><p>Grüße</p>"
                                      "<img src=\"logo.png\"><img src=\"img/logo.png\"><img src=\"logo.png\">"
                                      "<img src=\"../outside.png\"><img src=\"%1\"><img src=\"notes.png\">"
                                      "<img src=\"/etc/hostname\"><img src=\"http://127.0.0.1:9/a.png\">"
                                      "</body></html>")
                           .arg(root.filePath(QStringLiteral("outside.png")))
                           .toLatin1());
        TVRNHtmlEditor editor;
        QSignalSpy changed(&editor, &TVRNHtmlEditor::changed);
        editor.LoadFromFile(page, import);
        QCOMPARE(editor.Text().left(5), QStringLiteral("Grüße"));
        QCOMPARE(editor.ImageList(), images);
        QCOMPARE(FolderContent(editor.GetImagePath()), images);
        QVERIFY(!editor.Modified());
        QCOMPARE(changed.count(), 0);
        if (import) {
            QCOMPARE(LoadBinaryFile(editor.GetImagePath() + QStringLiteral("logo.png")),
                     editortest::PngOf(Qt::red));
            QCOMPARE(LoadBinaryFile(editor.GetImagePath() + QStringLiteral("logo_2.png")),
                     editortest::PngOf(Qt::blue));
            const QString saved = editor.HtmlText();
            QCOMPARE(saved.count(QLatin1String("%IMAGEPATH%logo.png")), 2);
            QCOMPARE(saved.count(QLatin1String("%IMAGEPATH%logo_2.png")), 1);
        }
        QVERIFY(!editortest::Shows(Drawn(editor), Qt::green));
    }

    void loadsFilesInTheirCharacterSet_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("Windows-1252 with meta charset") << Fixture("meta-windows1252.html");
        QTest::newRow("UTF-8 with byte order mark") << Fixture("bom-utf8.html");
    }
    void loadsFilesInTheirCharacterSet() {
        QFETCH(QString, file);
        TVRNHtmlEditor editor;
        editor.LoadFromFile(file, true);
        QVERIFY2(editor.Text().contains(QStringLiteral("Grüße aus Köln – Preis 5 € & „mehr“")),
                 qPrintable(editor.Text()));
    }

    void typingMarksModified() {
        TVRNHtmlEditor editor;
        editor.SetHtmlText(QStringLiteral("<p>Hallo</p>"));
        editor.show();
        QSignalSpy changed(&editor, &TVRNHtmlEditor::changed);
        editor.moveCursor(QTextCursor::End);
        QTest::keyClicks(&editor, QStringLiteral(" Welt"));
        QCOMPARE(editor.Text(), QStringLiteral("Hallo Welt"));
        QVERIFY(editor.Modified());
        QVERIFY(changed.count() > 0);
        editor.SetModified(false);
        QVERIFY(!editor.Modified());
    }

    void addStringAppendsAndShowsIt() {
        TVRNHtmlEditor editor;
        editor.SetHtmlText(QStringLiteral("<p>Sehr geehrte </p><p>Text</p>"));
        QTextCursor start = editor.textCursor();
        start.setPosition(0);
        editor.setTextCursor(start);
        editor.AddString(QStringLiteral("[Anrede]"));
        QCOMPARE(editor.Text(), QStringLiteral("Sehr geehrte \nText[Anrede]"));
        QVERIFY(editor.Modified());
        QCOMPARE(editor.textCursor().position(), editor.document()->characterCount() - 1);
    }

    void dropsText_data() {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("result");
        QTest::newRow("editable") << false << QStringLiteral("Hallo [Vorname]Welt");
        QTest::newRow("read-only refuses") << true << QStringLiteral("Hallo Welt");
    }
    void dropsText() {
        QFETCH(bool, readOnly);
        QFETCH(QString, result);
        TVRNHtmlEditor editor;
        editor.SetHtmlText(QStringLiteral("<p>Hallo Welt</p>"));
        editor.SetReadOnly(readOnly);
        Drawn(editor);
        editortest::DragAndDrop(editor.viewport(), editortest::PointOf(editor, 6) + QPoint(-1, 0),
                                editortest::PlainData(QStringLiteral("[Vorname]")));
        QCOMPARE(editor.Text(), result);
        QCOMPARE(editor.Modified(), !readOnly);
    }

    void readOnlyRefusesInput() {
        TVRNHtmlEditor editor;
        editor.SetHtmlText(QStringLiteral("<p>Hallo</p>"));
        editor.SetReadOnly(true);
        editor.show();
        QTest::keyClicks(&editor, QStringLiteral("abc"));
        QVERIFY_THROWS_EXCEPTION(EQVException, editor.AddString(QStringLiteral("[Vorname]")));
        QCOMPARE(editor.Text(), QStringLiteral("Hallo"));
        QVERIFY(!editor.Modified());
    }

    void insertsImageFilesIntoItsFolder() {
        QTemporaryDir source;
        SaveBinaryFile(source.filePath(QStringLiteral("bild.png")), editortest::PngOf(Qt::red));
        SaveBinaryFile(source.filePath(QStringLiteral("text.png")), "not a picture");
        TVRNHtmlEditor editor;
        editor.SetHtmlText(QStringLiteral("<p>x</p>"));
        editor.InsertImageFile(source.filePath(QStringLiteral("bild.png")));
        editor.InsertImageFile(source.filePath(QStringLiteral("bild.png")));
        QCOMPARE(editor.ImageList(), (QStringList{QStringLiteral("bild.png"), QStringLiteral("bild_2.png")}));
        QVERIFY(editor.Modified());
        QVERIFY_THROWS_EXCEPTION(EQVException,
                                 editor.InsertImageFile(source.filePath(QStringLiteral("text.png"))));
        QCOMPARE(FolderContent(editor.GetImagePath()),
                 (QStringList{QStringLiteral("bild.png"), QStringLiteral("bild_2.png")}));
    }

    void recognisesHtmlMadeElsewhere_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<bool>("foreign");
        QTest::newRow("plain paragraphs")
            << QStringLiteral("<html><body><p>Hallo <b>Welt</b></p></body></html>") << false;
        QTest::newRow("style block") << QStringLiteral(
                                            "<html><head><style>p{margin:0}</style></head><body><p>x</p>")
                                     << true;
        QTest::newRow("linked style sheet")
            << QStringLiteral("<link rel=\"stylesheet\" href=\"a.css\"><p>x</p>") << true;
        QTest::newRow("inline CSS") << QStringLiteral("<div style=\"display:flex\">x</div>") << true;
        QTest::newRow("classes") << QStringLiteral("<td class=\"button\">x</td>") << true;
        QTest::newRow("conditional comment")
            << QStringLiteral("<!--[if mso]><table><![endif]--><p>x</p>") << true;
        QTest::newRow("the word style in the text") << QStringLiteral("<p>Lifestyle = style</p>") << false;
    }
    void recognisesHtmlMadeElsewhere() {
        QFETCH(QString, html);
        QFETCH(bool, foreign);
        QCOMPARE(TVRNHtmlEditor::IsForeignStyledHtml(html), foreign);
        TVRNHtmlEditor editor;
        QSignalSpy loaded(&editor, &TVRNHtmlEditor::loaded);
        editor.SetHtmlText(html);
        QCOMPARE(editor.ForeignStyling(), foreign);
        QCOMPARE(loaded.count(), 1);
        // What the editor writes itself is its own, whatever it held.
        QVERIFY(!TVRNHtmlEditor::IsForeignStyledHtml(editor.HtmlText()));
    }
};

QTEST_MAIN(tst_VRNHtmlEditor)
#include "tst_VRNHtmlEditor.moc"
