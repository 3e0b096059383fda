#include "RichTextDocument.h"
#include "RichTextTestSupport.h"
#include "RtfReader.h"
#include "RtfWriter.h"
#include "TextUtils.h"
#include "WPRichTextReportHelper.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

using namespace hostapi;
using namespace richtexttest;

namespace {

QByteArray Encoded(const QImage& AImage, const char* AFormat) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    AImage.save(&buffer, AFormat);
    return bytes;
}

QImage TestImage(int AWidth, int AHeight) {
    QImage image(AWidth, AHeight, QImage::Format_RGB32);
    image.fill(QColor(10, 120, 200));
    return image;
}

// A document with the whole subset: formats, a link, a table and pictures.
void BuildDocument(RichTextDocument& ADocument, const QByteArray& APng, const QByteArray& AJpeg) {
    QTextCursor cursor(&ADocument);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat italic;
    italic.setFontItalic(true);
    QTextCharFormat styled;
    styled.setFontUnderline(true);
    styled.setFontStrikeOut(true);
    styled.setFontPointSize(14);
    styled.setFontFamilies({QStringLiteral("Courier New")});
    styled.setForeground(QColor(200, 0, 0));
    styled.setBackground(QColor(255, 255, 0));
    cursor.insertText(QStringLiteral("Sehr geehrte "), QTextCharFormat());
    cursor.insertText(QStringLiteral("fette"), bold);
    cursor.insertText(QStringLiteral(" und "), QTextCharFormat());
    cursor.insertText(QStringLiteral("schräge"), italic);
    cursor.insertText(QStringLiteral(" Grüße, [Straße] {x} \\ 5 €"), QTextCharFormat());
    cursor.insertText(QStringLiteral(" bunt"), styled);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    centred.setLeftMargin(30);
    centred.setTextIndent(-10);
    cursor.insertBlock(centred);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://example.com/?a=1&b=\"2\""));
    cursor.insertText(QStringLiteral("Zur "), link);
    link.setFontWeight(QFont::Bold);
    cursor.insertText(QStringLiteral("Seite"), link);
    cursor.insertText(QStringLiteral(" Zeile") + QChar(QChar::LineSeparator) + QStringLiteral("zwei\tdrei"),
                      QTextCharFormat());
    cursor.insertBlock(QTextBlockFormat());
    cursor.insertText(QStringLiteral("Tabelle:"));
    QTextTable* table = cursor.insertTable(2, 3);
    const QStringList cells = {"A1", "B1", "C1", "A2", "B2", "C2"};
    for (int i = 0; i < cells.size(); ++i) {
        QTextCursor cell = table->cellAt(i / 3, i % 3).firstCursorPosition();
        cell.insertText(cells.at(i), i == 4 ? bold : QTextCharFormat());
    }
    cursor.setPosition(table->lastPosition());
    cursor.movePosition(QTextCursor::NextBlock);
    cursor.insertText(QStringLiteral("Bild "));
    ADocument.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("a.png")), APng);
    QTextImageFormat png;
    png.setName(QStringLiteral("a.png"));
    png.setWidth(20);
    png.setHeight(10);
    cursor.insertImage(png);
    ADocument.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("b.jpg")), AJpeg);
    QTextImageFormat jpeg;
    jpeg.setName(QStringLiteral("b.jpg"));
    cursor.insertImage(jpeg);
}

} // namespace

class tst_RtfWriter : public QObject {
    Q_OBJECT

private slots:
    void BeginsWithRtf1();
    void RoundTripCharacterFormats_data();
    void RoundTripCharacterFormats();
    void RoundTripTextAndParagraphs();
    void RoundTripLink();
    void RoundTripTable();
    void RoundTripPicturesKeepTheirBytes();
    void OtherImageFormatsBecomePng();
    void MacroCaptionSurvivesReplacementOnTheStoredText();
    void RichEditFixtureSurvivesWriting();
};

void tst_RtfWriter::BeginsWithRtf1() {
    RichTextDocument document;
    BuildDocument(document, Encoded(TestImage(4, 2), "PNG"), Encoded(TestImage(3, 3), "JPG"));
    const QString rtf = RtfWriter::Write(document);
    QVERIFY(rtf.startsWith(QLatin1String("{\\rtf1")));
    RichTextDocument empty;
    QVERIFY(RtfWriter::Write(empty).startsWith(QLatin1String("{\\rtf1")));
    // The default font is the same on every machine.
    QVERIFY(RtfWriter::Write(empty).contains(QLatin1String("{\\fonttbl{\\f0\\fnil Arial;}}")));
}

void tst_RtfWriter::RoundTripCharacterFormats_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("property");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("bold") << "fette" << int(QTextFormat::FontWeight) << QVariant(int(QFont::Bold));
    QTest::newRow("italic") << "schräge" << int(QTextFormat::FontItalic) << QVariant(true);
    QTest::newRow("plain stays plain") << "Sehr" << int(QTextFormat::FontWeight) << QVariant();
    QTest::newRow("underline") << "bunt" << int(QTextFormat::TextUnderlineStyle)
                               << QVariant(int(QTextCharFormat::SingleUnderline));
    QTest::newRow("strike") << "bunt" << int(QTextFormat::FontStrikeOut) << QVariant(true);
    QTest::newRow("size") << "bunt" << int(QTextFormat::FontPointSize) << QVariant(14.0);
    QTest::newRow("font") << "bunt" << int(QTextFormat::FontFamilies) << QVariant(QStringList{"Courier New"});
    QTest::newRow("colour") << "bunt" << int(QTextFormat::ForegroundBrush)
                            << QVariant(QBrush(QColor(200, 0, 0)));
    QTest::newRow("highlight") << "bunt" << int(QTextFormat::BackgroundBrush)
                               << QVariant(QBrush(QColor(255, 255, 0)));
    QTest::newRow("bold inside a link")
        << "Seite" << int(QTextFormat::FontWeight) << QVariant(int(QFont::Bold));
    QTest::newRow("bold in a cell") << "B2" << int(QTextFormat::FontWeight) << QVariant(int(QFont::Bold));
}

void tst_RtfWriter::RoundTripCharacterFormats() {
    QFETCH(QString, text);
    QFETCH(int, property);
    QFETCH(QVariant, value);
    RichTextDocument document;
    BuildDocument(document, Encoded(TestImage(4, 2), "PNG"), Encoded(TestImage(3, 3), "JPG"));
    RichTextDocument read;
    RtfReader::Read(RtfWriter::Write(document), read);
    const QTextCharFormat format = FormatOf(read, text);
    QVERIFY2(format.isValid(), qPrintable(text));
    if (!value.isValid())
        QVERIFY(!format.hasProperty(property));
    else
        QCOMPARE(format.property(property), value);
}

void tst_RtfWriter::RoundTripTextAndParagraphs() {
    RichTextDocument document;
    BuildDocument(document, Encoded(TestImage(4, 2), "PNG"), Encoded(TestImage(3, 3), "JPG"));
    RichTextDocument read;
    RtfReader::Read(RtfWriter::Write(document), read);
    QCOMPARE(read.toRawText(), document.toRawText());
    QCOMPARE(read.blockCount(), document.blockCount());
    const QTextBlockFormat format = read.find(QStringLiteral("Zur")).block().blockFormat();
    QCOMPARE(int(format.alignment() & Qt::AlignHorizontal_Mask), int(Qt::AlignHCenter));
    QCOMPARE(format.leftMargin(), 30.0);
    QCOMPARE(format.textIndent(), -10.0);
    // Written twice, the text is the same.
    QCOMPARE(RtfWriter::Write(read), RtfWriter::Write(document));
}

void tst_RtfWriter::RoundTripLink() {
    RichTextDocument document;
    BuildDocument(document, Encoded(TestImage(4, 2), "PNG"), Encoded(TestImage(3, 3), "JPG"));
    const QString rtf = RtfWriter::Write(document);
    QVERIFY(rtf.contains(
        QLatin1String("{\\field{\\*\\fldinst{HYPERLINK \"https://example.com/?a=1&b=%222%22\"}}")));
    QCOMPARE(rtf.count(QLatin1String("\\field")), 1); // one field for the link's two runs
    RichTextDocument read;
    RtfReader::Read(rtf, read);
    for (const QString& text : {QStringLiteral("Zur"), QStringLiteral("Seite")}) {
        const QTextCharFormat format = FormatOf(read, text);
        QVERIFY(format.isAnchor());
        QCOMPARE(format.anchorHref(), QStringLiteral("https://example.com/?a=1&b=%222%22"));
    }
    QVERIFY(!FormatOf(read, QStringLiteral("Zeile")).isAnchor());
}

void tst_RtfWriter::RoundTripTable() {
    RichTextDocument document;
    BuildDocument(document, Encoded(TestImage(4, 2), "PNG"), Encoded(TestImage(3, 3), "JPG"));
    RichTextDocument read;
    RtfReader::Read(RtfWriter::Write(document), read);
    QTextTable* table = FirstTable(read);
    QVERIFY(table != nullptr);
    QCOMPARE(table->rows(), 2);
    QCOMPARE(table->columns(), 3);
    QCOMPARE(CellText(table, 0, 0), QStringLiteral("A1"));
    QCOMPARE(CellText(table, 0, 2), QStringLiteral("C1"));
    QCOMPARE(CellText(table, 1, 1), QStringLiteral("B2"));
    QCOMPARE(CellText(table, 1, 2), QStringLiteral("C2"));
    QVERIFY(read.find(QStringLiteral("Bild")).position() > table->lastPosition());
    QVERIFY(read.find(QStringLiteral("Tabelle:")).position() < table->firstPosition());
}

void tst_RtfWriter::RoundTripPicturesKeepTheirBytes() {
    const QByteArray png = Encoded(TestImage(4, 2), "PNG");
    const QByteArray jpeg = Encoded(TestImage(3, 3), "JPG");
    RichTextDocument document;
    BuildDocument(document, png, jpeg);
    const QString rtf = RtfWriter::Write(document);
    QVERIFY(rtf.contains(QLatin1String("\\pngblip")));
    QVERIFY(rtf.contains(QLatin1String("\\jpegblip")));
    RichTextDocument read;
    RtfReader::Read(rtf, read);
    const QList<QTextImageFormat> images = ImagesOf(read);
    QCOMPARE(images.size(), 2);
    QCOMPARE(read.resource(QTextDocument::ImageResource, QUrl(images.at(0).name())).toByteArray(), png);
    QCOMPARE(read.resource(QTextDocument::ImageResource, QUrl(images.at(1).name())).toByteArray(), jpeg);
    QCOMPARE(images.at(0).width(), 20.0);
    QCOMPARE(images.at(0).height(), 10.0);
    QCOMPARE(images.at(1).width(), 3.0); // no size of its own: the image's
}

void tst_RtfWriter::OtherImageFormatsBecomePng() {
    RichTextDocument document;
    QTextCursor cursor(&document);
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("c.gif")),
                         Encoded(TestImage(5, 4), "BMP"));
    QTextImageFormat bmp;
    bmp.setName(QStringLiteral("c.gif"));
    cursor.insertImage(bmp);
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("d")), TestImage(2, 7));
    QTextImageFormat image;
    image.setName(QStringLiteral("d"));
    cursor.insertImage(image);
    RichTextDocument read;
    RtfReader::Read(RtfWriter::Write(document), read);
    const QList<QTextImageFormat> images = ImagesOf(read);
    QCOMPARE(images.size(), 2);
    const QList<QSize> sizes = {QSize(5, 4), QSize(2, 7)};
    for (int i = 0; i < 2; ++i) {
        const QByteArray bytes =
            read.resource(QTextDocument::ImageResource, QUrl(images.at(i).name())).toByteArray();
        QVERIFY(bytes.startsWith("\x89PNG"));
        QCOMPARE(QImage::fromData(bytes, "PNG").size(), sizes.at(i));
    }
}

void tst_RtfWriter::MacroCaptionSurvivesReplacementOnTheStoredText() {
    RichTextDocument document;
    QTextCursor cursor(&document);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(QStringLiteral("Wohnhaft in "), bold);
    cursor.insertText(QStringLiteral("[Straße] [Größe]"), QTextCharFormat());
    const QString rtf = RtfWriter::Write(document);
    QVERIFY2(rtf.contains(QStringLiteral("[Straße] [Größe]")), qPrintable(rtf));
    const QString stored =
        FastReplace(FastReplace(rtf, QStringLiteral("[Straße]"), QStringLiteral("%STRASSE%"), false),
                    QStringLiteral("[Größe]"), QStringLiteral("%GROESSE%"), false);
    RichTextDocument read;
    RtfReader::Read(stored, read);
    QCOMPARE(read.toPlainText(), QStringLiteral("Wohnhaft in %STRASSE% %GROESSE%"));
    // And back: captions put into the stored text read as the characters they are.
    RichTextDocument shown;
    RtfReader::Read(FastReplace(stored, QStringLiteral("%STRASSE%"), QStringLiteral("[Straße]"), true),
                    shown);
    QCOMPARE(shown.toPlainText(), QStringLiteral("Wohnhaft in [Straße] %GROESSE%"));
}

void tst_RtfWriter::RichEditFixtureSurvivesWriting() {
    for (const QString& name : {QStringLiteral("richedit-umlauts.rtf"), QStringLiteral("richedit-table.rtf"),
                                QStringLiteral("richedit-picture.rtf")}) {
        TWPRichTextReportHelper original;
        RtfReader::ReadBytes(Fixture(name), original.Document());
        TWPRichTextReportHelper written;
        written.LoadFromString(original.SaveToString(QStringLiteral("RTF")), QStringLiteral("RTF"));
        QCOMPARE(written.PlainText(), original.PlainText());
        QCOMPARE(written.SaveToString(QStringLiteral("RTF")), original.SaveToString(QStringLiteral("RTF")));
    }
}

QTEST_MAIN(tst_RtfWriter)
#include "tst_RtfWriter.moc"
