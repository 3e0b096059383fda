#include "EmailSenderUtils.h"
#include "FileUtils.h"
#include "QVException.h"
#include "RichTextConverter.h"
#include "RichTextDocument.h"
#include "RichTextTestSupport.h"
#include "RtfReader.h"
#include "WPRichTextReportHelper.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace hostapi;
using namespace richtexttest;

namespace {

// What Python's html.parser reads in an HTML file (tests/peers/check-html).
QJsonObject ParsedHtml(const QString& AFile) {
    QProcess parser;
    parser.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(QV_SOURCE_DIR "/tests/peers/check-html"), AFile});
    if (!parser.waitForFinished(30000) || parser.exitCode() != 0)
        qFatal("check-html failed: %s", parser.readAllStandardError().constData());
    return QJsonDocument::fromJson(parser.readAllStandardOutput()).object();
}

QStringList Strings(const QJsonValue& AValue) {
    QStringList strings;
    for (const QJsonValue& value : AValue.toArray())
        strings += value.toString();
    return strings;
}

// Every src= of an <img> is written in double quotes.
void VerifyDoubleQuotedImageSources(const QString& AHtml) {
    const QRegularExpression img(QStringLiteral("<img\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    for (auto it = img.globalMatch(AHtml); it.hasNext();) {
        const QString tag = it.next().captured();
        QVERIFY2(tag.contains(QRegularExpression(QStringLiteral("\\ssrc=\"[^\"/\\\\]+\""))), qPrintable(tag));
    }
}

using richtexttest::Png;

} // namespace

class tst_RichTextConverter : public QObject {
    Q_OBJECT

private slots:
    void init();
    void RtfToHtmlFolderWritesIndexAndPictures();
    void RtfToTextFileWritesTextBody();
    void HtmlToRtfToHtmlKeepsTextFormatsAndImageBytes();
    void HtmlImportLoadsOnlyFilesOfItsFolder();
    void TextBlockPicturesAreNamedAfterTheBlock();
    void SanitizedFileBaseName_data();
    void SanitizedFileBaseName();
    void UnknownFormatIsRefused();

private:
    std::unique_ptr<QTemporaryDir> FRoot;
    QString Folder(const QString& AName) const { return FRoot->filePath(AName) + QLatin1Char('/'); }
};

void tst_RichTextConverter::init() {
    FRoot = std::make_unique<QTemporaryDir>();
    QVERIFY(FRoot->isValid());
}

void tst_RichTextConverter::RtfToHtmlFolderWritesIndexAndPictures() {
    const QString folder = Folder(QStringLiteral("job"));
    const QString rtf = QString::fromLatin1(Fixture(QStringLiteral("richedit-picture.rtf")));
    const QString html = RichTextConverter::RtfToHtmlFolder(rtf, folder);
    QCOMPARE(LoadTextFile(folder + QStringLiteral("_index.html")), html);
    QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{"_index.html", "image_1.png", "image_2.png"}));
    QCOMPARE(LoadBinaryFile(folder + QStringLiteral("image_1.png")), Fixture(QStringLiteral("red-4x3.png")));
    VerifyDoubleQuotedImageSources(html);

    const QJsonObject parsed = ParsedHtml(folder + QStringLiteral("_index.html"));
    QCOMPARE(Strings(parsed.value(QLatin1String("images"))), (QStringList{"image_1.png", "image_2.png"}));
    QCOMPARE(Strings(parsed.value(QLatin1String("unclosed"))), QStringList());
    QVERIFY(parsed.value(QLatin1String("text")).toString().contains(QLatin1String("Bild:")));

    // The mail body refers to the pictures as inline parts.
    QStringList inlineFiles;
    const QString body = TEmailSenderUtils::CreateHTMLEmailContentIDBody(html, folder, &inlineFiles);
    QVERIFY(body.contains(QLatin1String("src=\"cid:image_1.png\"")));
    QCOMPARE(inlineFiles, (QStringList{folder + "image_1.png", folder + "image_2.png"}));
}

void tst_RichTextConverter::RtfToTextFileWritesTextBody() {
    const QString folder = Folder(QStringLiteral("job"));
    const QString rtf = QString::fromLatin1(Fixture(QStringLiteral("richedit-umlauts.rtf")));
    const QString text = RichTextConverter::RtfToTextFile(rtf, folder);
    QCOMPARE(LoadBinaryFile(folder + QStringLiteral("_textbody.txt")), text.toUtf8());
    QVERIFY(text.startsWith(QStringLiteral("Grüße aus München, Preis 10 € und „Zitat“\nFett und kursiv")));
    QVERIFY(text.endsWith(QStringLiteral("Beispiel\n[Straße] äöü")));
}

void tst_RichTextConverter::HtmlToRtfToHtmlKeepsTextFormatsAndImageBytes() {
    const QString images = Folder(QStringLiteral("editor"));
    QVERIFY(QDir().mkpath(images));
    const QByteArray logo = Png(6, 4, QColor(0, 128, 0));
    SaveBinaryFile(images + QStringLiteral("logo.png"), logo);
    const QString html =
        QStringLiteral("<html><body><p>Hallo <b>fette</b> und <i>schräge</i> Welt, [Straße]</p>"
                       "<p><a href=\"https://example.com/x?a=1&amp;b=2\">Verweis</a></p>"
                       "<table><tr><td>Zelle 1</td><td>Zelle 2</td></tr></table>"
                       "<p><img src=\"%IMAGEPATH%logo.png\" width=\"12\" height=\"8\"></p></body></html>");

    const QString rtf = RichTextConverter::HtmlToRtf(html, images);
    QVERIFY(rtf.startsWith(QLatin1String("{\\rtf1")));
    QVERIFY(rtf.contains(QLatin1String("\\pngblip")));
    QVERIFY(!rtf.contains(QLatin1String("IMAGEPATH")));

    const QString folder = Folder(QStringLiteral("job"));
    const QString written = RichTextConverter::RtfToHtmlFolder(rtf, folder);
    VerifyDoubleQuotedImageSources(written);
    QCOMPARE(LoadBinaryFile(folder + QStringLiteral("image_1.png")), logo);
    const QJsonObject parsed = ParsedHtml(folder + QStringLiteral("_index.html"));
    QCOMPARE(Strings(parsed.value(QLatin1String("images"))), QStringList{"image_1.png"});
    QCOMPARE(Strings(parsed.value(QLatin1String("links"))), QStringList{"https://example.com/x?a=1&b=2"});
    QVERIFY(Strings(parsed.value(QLatin1String("bold"))).contains(QLatin1String("fette")));
    QVERIFY(Strings(parsed.value(QLatin1String("italic"))).contains(QStringLiteral("schräge")));
    QVERIFY(!Strings(parsed.value(QLatin1String("bold"))).contains(QStringLiteral("Welt, [Straße]")));
    const QString text = parsed.value(QLatin1String("text")).toString();
    for (const QString& part :
         {QStringLiteral("Hallo fette und schräge Welt, [Straße]"), QStringLiteral("Verweis"),
          QStringLiteral("Zelle 1"), QStringLiteral("Zelle 2")})
        QVERIFY2(text.contains(part), qPrintable(text));
    QCOMPARE(Strings(parsed.value(QLatin1String("unclosed"))), QStringList());
}

void tst_RichTextConverter::HtmlImportLoadsOnlyFilesOfItsFolder() {
    const QString images = Folder(QStringLiteral("editor"));
    QVERIFY(QDir().mkpath(images + QStringLiteral("sub")));
    const QByteArray outside = Png(3, 3, Qt::red);
    SaveBinaryFile(FRoot->filePath(QStringLiteral("outside.png")), outside);
    SaveBinaryFile(images + QStringLiteral("sub/inner.png"), outside);
    QVERIFY(QFile::link(FRoot->filePath(QStringLiteral("outside.png")), images + QStringLiteral("link.png")));
    const QString absolute = FRoot->filePath(QStringLiteral("outside.png"));
    for (const QString& source : {QStringLiteral("../outside.png"), absolute,
                                  QStringLiteral("file://") + absolute, QStringLiteral("sub/inner.png"),
                                  QStringLiteral("link.png"), QStringLiteral("http://127.0.0.1:9/x.png")}) {
        const QString rtf =
            RichTextConverter::HtmlToRtf(QStringLiteral("<p>x<img src=\"%1\"></p>").arg(source), images);
        QVERIFY2(!rtf.contains(QLatin1String("\\pict")), qPrintable(source));
    }
}

void tst_RichTextConverter::TextBlockPicturesAreNamedAfterTheBlock() {
    const QString folder = Folder(QStringLiteral("job"));
    const QString rtf = QString::fromLatin1(Fixture(QStringLiteral("richedit-picture.rtf")));
    const RichTextConverter::TextBlock first =
        RichTextConverter::ConvertTextBlockRTF(rtf, QStringLiteral("Gruß/../Fuß"), folder);
    const RichTextConverter::TextBlock second =
        RichTextConverter::ConvertTextBlockRTF(rtf, QStringLiteral("Gruß/../Fuß"), folder);
    const QStringList files = QDir(folder).entryList(QDir::Files);
    QCOMPARE(files,
             (QStringList{"Gru__._Fu__1.png", "Gru__._Fu__2.png", "Gru__._Fu__3.png", "Gru__._Fu__4.png"}));
    QVERIFY(first.Html.contains(QLatin1String("src=\"Gru__._Fu__1.png\"")));
    QVERIFY(second.Html.contains(QLatin1String("src=\"Gru__._Fu__3.png\""))); // nothing overwritten
    // The body's content, to stand inside a template's body.
    QVERIFY(first.Html.trimmed().startsWith(QLatin1String("<p")));
    QVERIFY(!first.Html.contains(QLatin1String("<body"), Qt::CaseInsensitive));
    QVERIFY(!first.Html.contains(QLatin1String("</html>"), Qt::CaseInsensitive));
    QCOMPARE(LoadBinaryFile(folder + files.first()), Fixture(QStringLiteral("red-4x3.png")));
    QCOMPARE(first.Text, QStringLiteral("Bild: \nMetafile: "));
}

void tst_RichTextConverter::SanitizedFileBaseName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "Gruss-1_a.b"
                           << "Gruss-1_a.b";
    QTest::newRow("separators") << "a/b\\c:d"
                                << "a_b_c_d";
    QTest::newRow("parent") << ".."
                            << "image";
    QTest::newRow("dots") << "../a..b."
                          << "_a.b";
    QTest::newRow("empty") << ""
                           << "image";
    QTest::newRow("beyond ASCII") << "Grüße €"
                                  << "Gr__e__";
    QTest::newRow("long") << QString(300, QLatin1Char('x')) << QString(200, QLatin1Char('x'));
}

void tst_RichTextConverter::SanitizedFileBaseName() {
    QFETCH(QString, name);
    QFETCH(QString, expected);
    const QString sanitized = hostapi::SanitizedFileBaseName(name);
    QCOMPARE(sanitized, expected);
    QVERIFY(IsPlainFileName(sanitized));
    QVERIFY(!sanitized.contains(QLatin1String("..")));
}

void tst_RichTextConverter::UnknownFormatIsRefused() {
    TWPRichTextReportHelper helper;
    QVERIFY_THROWS_EXCEPTION(EQVException, helper.LoadFromString(QStringLiteral("x"), QStringLiteral("DOC")));
}

QTEST_MAIN(tst_RichTextConverter)
#include "tst_RichTextConverter.moc"
