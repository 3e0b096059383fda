#include "QVException.h"
#include "RichTextDocument.h"
#include "RichTextTestSupport.h"
#include "RtfReader.h"
#include "WPRichTextReportHelper.h"

#include <QFile>
#include <QTest>
#include <QTextBlock>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

using namespace hostapi;
using namespace richtexttest;

namespace {

QString PlainText(const QTextDocument& ADocument) {
    QString text = ADocument.toRawText();
    text.remove(QChar::ObjectReplacementCharacter);
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

QTextBlockFormat BlockFormatOf(const QTextDocument& ADocument, const QString& AText) {
    const QTextCursor found = ADocument.find(AText);
    return found.isNull() ? QTextBlockFormat() : found.block().blockFormat();
}

QtMessageHandler GPreviousHandler = nullptr;
QStringList GMessages;

void RecordMessage(QtMsgType AType, const QMessageLogContext& AContext, const QString& AMessage) {
    GMessages += AMessage;
    GPreviousHandler(AType, AContext, AMessage);
}

} // namespace

class tst_RtfReader : public QObject {
    Q_OBJECT

private slots:
    void RichEditCharacters_data();
    void RichEditCharacters();
    void RichEditCharacterFormats_data();
    void RichEditCharacterFormats();
    void RichEditParagraphs_data();
    void RichEditParagraphs();
    void RichEditLinkField();
    void RichEditTable();
    void RichEditPictures();
    void BinaryPicture();
    void OtherCodePageIsReadAsWindows1252WithOneLogLine();
    void ReadText_data();
    void ReadText();
    void Refused_data();
    void Refused();
    void StoredTextKeepsCharactersBeyondAscii();
};

void tst_RtfReader::RichEditCharacters_data() {
    QTest::addColumn<QString>("expected");

    QTest::newRow("umlauts and euro") << QStringLiteral("Grüße aus München, Preis 10 € und „Zitat“");
    QTest::newRow("size change inside a word") << QStringLiteral("groß");
    QTest::newRow("macro caption") << QStringLiteral("[Straße] äöü");
    QTest::newRow("line break and tab") << QStringLiteral("Zeile\nzwei\tTab");
}

void tst_RtfReader::RichEditCharacters() {
    QFETCH(QString, expected);
    TWPRichTextReportHelper helper;
    RtfReader::ReadBytes(Fixture(QStringLiteral("richedit-umlauts.rtf")), helper.Document());
    const QString text = helper.PlainText();
    QVERIFY2(text.contains(expected),
             qPrintable(QStringLiteral("expected \"%1\" in \"%2\"").arg(expected, text)));
    QVERIFY2(!text.contains(QLatin1Char('?')),
             qPrintable(QStringLiteral("a fallback was read as text: %1").arg(text)));
}

void tst_RtfReader::RichEditCharacterFormats_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("property");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("bold") << "Fett" << int(QTextFormat::FontWeight) << QVariant(int(QFont::Bold));
    QTest::newRow("bold ends") << " und " << int(QTextFormat::FontWeight) << QVariant();
    QTest::newRow("italic") << "kursiv" << int(QTextFormat::FontItalic) << QVariant(true);
    QTest::newRow("underline") << "unterstrichen" << int(QTextFormat::TextUnderlineStyle)
                               << QVariant(int(QTextCharFormat::SingleUnderline));
    QTest::newRow("strike") << "durch" << int(QTextFormat::FontStrikeOut) << QVariant(true);
    QTest::newRow("size") << "gro" << int(QTextFormat::FontPointSize) << QVariant(16.0);
    QTest::newRow("size of the text") << "Fett" << int(QTextFormat::FontPointSize) << QVariant(11.0);
    QTest::newRow("font") << "[Stra" << int(QTextFormat::FontFamilies) << QVariant(QStringList{"Arial"});
    QTest::newRow("default font") << "Fett" << int(QTextFormat::FontFamilies)
                                  << QVariant(QStringList{"Calibri"});
    QTest::newRow("colour") << "rot" << int(QTextFormat::ForegroundBrush)
                            << QVariant(QBrush(QColor(255, 0, 0)));
    QTest::newRow("highlight") << "markiert" << int(QTextFormat::BackgroundBrush)
                               << QVariant(QBrush(QColor(255, 255, 0)));
    QTest::newRow("no highlight before") << "rot" << int(QTextFormat::BackgroundBrush) << QVariant();
}

void tst_RtfReader::RichEditCharacterFormats() {
    QFETCH(QString, text);
    QFETCH(int, property);
    QFETCH(QVariant, value);
    RichTextDocument document;
    RtfReader::ReadBytes(Fixture(QStringLiteral("richedit-umlauts.rtf")), document);
    const QTextCharFormat format = FormatOf(document, text);
    QVERIFY2(format.isValid(), qPrintable(text));
    if (!value.isValid()) {
        QVERIFY2(!format.hasProperty(property) || format.property(property).toInt() == QFont::Normal,
                 qPrintable(format.property(property).toString()));
        return;
    }
    QCOMPARE(format.property(property), value);
}

void tst_RtfReader::RichEditParagraphs_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("right");
    QTest::addColumn<double>("first");

    QTest::newRow("left") << "Fett" << int(Qt::AlignLeft) << 0.0 << 0.0 << 0.0;
    QTest::newRow("centred") << "Mitte" << int(Qt::AlignHCenter) << 0.0 << 0.0 << 0.0;
    QTest::newRow("right") << "Rechts" << int(Qt::AlignRight) << 0.0 << 0.0 << 0.0;
    QTest::newRow("indents in pixels") << "Einzug" << int(Qt::AlignLeft) << 48.0 << 24.0 << -24.0;
}

void tst_RtfReader::RichEditParagraphs() {
    QFETCH(QString, text);
    QFETCH(int, alignment);
    QFETCH(double, left);
    QFETCH(double, right);
    QFETCH(double, first);
    RichTextDocument document;
    RtfReader::ReadBytes(Fixture(QStringLiteral("richedit-umlauts.rtf")), document);
    const QTextBlockFormat format = BlockFormatOf(document, text);
    QCOMPARE(int(format.alignment() & Qt::AlignHorizontal_Mask), alignment);
    QCOMPARE(format.leftMargin(), left);
    QCOMPARE(format.rightMargin(), right);
    QCOMPARE(format.textIndent(), first);
    QVERIFY(document.find(text).block().text().startsWith(text.left(1)));
}

void tst_RtfReader::RichEditLinkField() {
    RichTextDocument document;
    RtfReader::ReadBytes(Fixture(QStringLiteral("richedit-umlauts.rtf")), document);
    const QTextCharFormat link = FormatOf(document, QStringLiteral("Beispiel"));
    QVERIFY(link.isAnchor());
    QCOMPARE(link.anchorHref(), QStringLiteral("https://example.com/a?b=1"));
    QVERIFY(!PlainText(document).contains(QLatin1String("HYPERLINK")));
    QVERIFY(!FormatOf(document, QStringLiteral("[Stra")).isAnchor());
}

void tst_RtfReader::RichEditTable() {
    RichTextDocument document;
    RtfReader::ReadBytes(Fixture(QStringLiteral("richedit-table.rtf")), document);
    QTextTable* table = FirstTable(document);
    QVERIFY(table != nullptr);
    QCOMPARE(table->rows(), 2);
    QCOMPARE(table->columns(), 2);
    const auto cellText = [table](int r, int c) { return CellText(table, r, c); };
    QCOMPARE(cellText(0, 0), QStringLiteral("Name"));
    QCOMPARE(cellText(0, 1), QStringLiteral("Stadt"));
    QCOMPARE(cellText(1, 0), QStringLiteral("Müller"));
    QCOMPARE(cellText(1, 1), QStringLiteral("Köln"));
    QCOMPARE(FormatOf(document, QStringLiteral("Köln")).fontWeight(), int(QFont::Bold));
    // The paragraphs around the table stay outside it.
    QVERIFY(document.find(QStringLiteral("Vor der Tabelle")).block().position() < table->firstPosition());
    QVERIFY(document.find(QStringLiteral("Nach der Tabelle")).block().position() > table->lastPosition());
    TWPRichTextReportHelper helper;
    RtfReader::ReadBytes(Fixture(QStringLiteral("richedit-table.rtf")), helper.Document());
    QCOMPARE(helper.PlainText(),
             QStringLiteral("Vor der Tabelle\nName\tStadt\nMüller\tKöln\nNach der Tabelle"));
}

void tst_RtfReader::RichEditPictures() {
    RichTextDocument document;
    RtfReader::ReadBytes(Fixture(QStringLiteral("richedit-picture.rtf")), document);
    const QList<QTextImageFormat> images = ImagesOf(document);
    // The PNG of "\shppict" (its "\nonshppict" fallback is skipped) and a placeholder for the metafile.
    QCOMPARE(images.size(), 2);
    const QTextImageFormat png = images.at(0);
    QVERIFY(png.name().endsWith(QLatin1String(".png")));
    QCOMPARE(document.resource(QTextDocument::ImageResource, QUrl(png.name())).toByteArray(),
             Fixture(QStringLiteral("red-4x3.png")));
    QCOMPARE(png.width(), 8.0); // \picwgoal120 twips
    QCOMPARE(png.height(), 6.0);
    const QTextImageFormat placeholder = images.at(1);
    const QImage image = QImage::fromData(
        document.resource(QTextDocument::ImageResource, QUrl(placeholder.name())).toByteArray(), "PNG");
    QCOMPARE(image.size(), QSize(40, 20));
    QCOMPARE(placeholder.width(), 40.0);
    QVERIFY(!PlainText(document).contains(QLatin1String("rot")));
    QVERIFY(!PlainText(document).contains(QLatin1String("0100")));
    QVERIFY(PlainText(document).contains(QLatin1String("Metafile: ")));
}

void tst_RtfReader::BinaryPicture() {
    const QByteArray png = Fixture(QStringLiteral("red-4x3.png"));
    const QByteArray rtf = "{\\rtf1\\ansi A{\\pict\\pngblip\\picw4\\pich3\\bin" +
                           QByteArray::number(png.size()) + " " + png + "}B}";
    RichTextDocument document;
    RtfReader::ReadBytes(rtf, document);
    const QList<QTextImageFormat> images = ImagesOf(document);
    QCOMPARE(images.size(), 1);
    QCOMPARE(document.resource(QTextDocument::ImageResource, QUrl(images.at(0).name())).toByteArray(), png);
    QCOMPARE(images.at(0).width(), 4.0); // the image's own size without a goal size
    QCOMPARE(PlainText(document), QStringLiteral("AB"));

    // \bin outside a picture is skipped with its bytes, braces and backslashes among them.
    RichTextDocument skipped;
    RtfReader::ReadBytes(QByteArray("{\\rtf1 x{\\*\\blob\\bin4 }{\\\\}y}"), skipped);
    QCOMPARE(PlainText(skipped), QStringLiteral("xy"));
}

void tst_RtfReader::OtherCodePageIsReadAsWindows1252WithOneLogLine() {
    GMessages.clear();
    GPreviousHandler = qInstallMessageHandler(RecordMessage);
    RichTextDocument document;
    RtfReader::ReadBytes(Fixture(QStringLiteral("richedit-codepage1250.rtf")), document);
    RtfReader::ReadBytes(Fixture(QStringLiteral("richedit-umlauts.rtf")), document);
    qInstallMessageHandler(GPreviousHandler);
    QCOMPARE(GMessages, QStringList{QStringLiteral("Rich text of code page 1250 is read as Windows-1252")});
    RtfReader::ReadBytes(Fixture(QStringLiteral("richedit-codepage1250.rtf")), document);
    QCOMPARE(PlainText(document).trimmed(), QStringLiteral("Text ä"));
}

void tst_RtfReader::ReadText_data() {
    QTest::addColumn<QString>("rtf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one fallback character") << R"({\rtf1 a\u8364?b})"
                                            << "a€b";
    QTest::newRow("fallback byte") << R"({\rtf1 a\u8364\'80b})"
                                   << "a€b";
    QTest::newRow("two fallback characters") << R"({\rtf1\uc2 a\u8364??b})"
                                             << "a€b";
    QTest::newRow("no fallback") << R"({\rtf1\uc0 a\u8364 b})"
                                 << "a€b";
    QTest::newRow("negative value") << R"({\rtf1 \u-3913?})" << QString(QChar(0xF0B7));
    QTest::newRow("surrogate pair") << R"({\rtf1 \u-10179?\u-8704?})" << QString::fromUcs4(U"\U0001F600");
    QTest::newRow("uc is scoped to its group") << R"({\rtf1 {\uc2 x}\u8364?b})"
                                               << "x€b";
    QTest::newRow("group end stops skipping") << R"({\rtf1\uc3 {\u8364?}b})"
                                              << "€b";
    QTest::newRow("escaped characters") << R"({\rtf1 \{a\}\\\~b})" << QStringLiteral("{a}\\\u00A0b");
    QTest::newRow("symbols") << R"({\rtf1 \ldblquote x\rdblquote\emdash\bullet})"
                             << "“x”—•";
    QTest::newRow("ignorable destination") << R"({\rtf1 a{\*\unknowndest secret {nested}}b})"
                                           << "ab";
    QTest::newRow("header and footer") << R"({\rtf1 {\header H}{\footer F}a})"
                                       << "a";
    QTest::newRow("style sheet and info") << R"({\rtf1{\stylesheet{\s0 Normal;}}{\info{\title T}}a})"
                                          << "a";
    QTest::newRow("unknown control word keeps text") << R"({\rtf1 \foo12 a\bar b})"
                                                     << "ab";
    QTest::newRow("field without link shows its result") << R"({\rtf1 {\field{\*\fldinst PAGE}{\fldrslt 7}}})"
                                                         << "7";
    QTest::newRow("list text is shown") << R"({\rtf1 {\pntext 1.\tab}{\*\pn\pnlvlbody{\pntxta .}}Eins})"
                                        << "1.\tEins";
    QTest::newRow("list fallback text is shown") << R"({\rtf1 {\listtext\pard\plain 2.\tab}Zwei})" << "2.\tZwei";
    QTest::newRow("text after the document") << R"({\rtf1 a}b)"
                                             << "a";
}

void tst_RtfReader::ReadText() {
    QFETCH(QString, rtf);
    QFETCH(QString, expected);
    RichTextDocument document;
    RtfReader::Read(rtf, document);
    QCOMPARE(PlainText(document), expected);
}

void tst_RtfReader::Refused_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("message");

    QTest::newRow("not rich text") << QByteArray("<html>x</html>") << "does not begin with";
    QTest::newRow("groups too deep") << "{\\rtf1 " + QByteArray(RtfReader::MaxGroupDepth, '{') + "x}"
                                     << "deeper than 200 levels";
    QTest::newRow("binary beyond the text")
        << QByteArray("{\\rtf1 {\\pict\\pngblip\\bin100 abc}}") << "ends inside its binary data";
    QTest::newRow("binary too large")
        << QByteArray("{\\rtf1 {\\pict\\pngblip\\bin2000000000 abc}}") << "more than 33554432";
    QTest::newRow("negative binary length")
        << QByteArray("{\\rtf1 \\bin-5 abc}") << "binary data of -5 bytes";
}

void tst_RtfReader::Refused() {
    QFETCH(QByteArray, rtf);
    QFETCH(QString, message);
    RichTextDocument document;
    try {
        RtfReader::ReadBytes(rtf, document);
        QFAIL("no exception");
    } catch (const EQVException& e) {
        QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
    }
}

void tst_RtfReader::StoredTextKeepsCharactersBeyondAscii() {
    RichTextDocument stored;
    RtfReader::Read(QStringLiteral("{\\rtf1 Hallo [Straße] €}"), stored);
    QCOMPARE(PlainText(stored), QStringLiteral("Hallo [Straße] €"));
    // The same characters in a file's bytes are Windows-1252.
    RichTextDocument file;
    RtfReader::ReadBytes(QByteArray("{\\rtf1 Stra\xdf"
                                    "e \x80}"),
                         file);
    QCOMPARE(PlainText(file), QStringLiteral("Straße €"));
}

QTEST_MAIN(tst_RtfReader)
#include "tst_RtfReader.moc"
