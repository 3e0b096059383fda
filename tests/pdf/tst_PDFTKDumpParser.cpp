// Reading pdftk's field dump: fields and their keys, values over several lines, defaults, entities,
// password prompts before the dump, and output that is not a dump.

#include "PDFTKDumpParser.h"

#include "DescribeFields.h"
#include "FDFPDFWriter.h"
#include "QVException.h"

#include <QTest>

using namespace emailmarketing;
using testsupport::DescribeFields;

namespace {

const QByteArray Prompt = QByteArrayLiteral("Please enter the open password to use on the input PDF:\n"
                                            "   /tmp/a.pdf.\n"
                                            "   It can be empty, or have a maximum of 32 characters:\n");

} // namespace

class tst_PDFTKDumpParser : public QObject {
    Q_OBJECT

private slots:
    void parsesDumps_data() {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("fields");
        QTest::newRow("empty output") << QByteArray() << QString();
        QTest::newRow("two fields")
            << QByteArray("---\nFieldType: Text\nFieldName: Name\nFieldFlags: 0\nFieldValue: %NAME%\n"
                          "FieldJustification: Left\n---\nFieldType: Button\nFieldName: Ok\n"
                          "FieldStateOption: Off\nFieldStateOption: Yes\n")
            << QStringLiteral("Name=%NAME%|Text;Ok=|Button");
        QTest::newRow("entities in name and value")
            << QByteArray(
                   "---\nFieldName: Stra&#223;e\nFieldValue: A &amp; B &lt;x&gt; &#196; &quot;&apos;\n")
            << QStringLiteral("Straße=A & B <x> Ä \"'|");
        QTest::newRow("character outside the BMP")
            << QByteArray("---\nFieldName: E\nFieldValue: &#128512;&#x41;\n")
            << QStringLiteral("E=") + QString::fromUcs4(U"\U0001F600", 1) + QStringLiteral("A|");
        QTest::newRow("colon in the value") << QByteArray("---\nFieldName: Zeit\nFieldValue: 12:30: Start\n")
                                            << QStringLiteral("Zeit=12:30: Start|");
        QTest::newRow("blanks of a value stay")
            << QByteArray("---\nFieldName: B\nFieldValue:   eingerückt  \n")
            << QStringLiteral("B=  eingerückt  |");
        // pdftk writes a value's line breaks as they are; the value runs to the next key.
        QTest::newRow("multi-line value")
            << QByteArray(
                   "---\nFieldName: Notiz\nFieldValue: Erste\nZweite FieldName: x\n--- keine Trennung\n"
                   "\nFieldJustification: Left\n")
            << QStringLiteral("Notiz=Erste\\nZweite FieldName: x\\n--- keine Trennung\\n|");
        QTest::newRow("CR inside a value stays")
            << QByteArray("---\nFieldName: N\nFieldValue: a\r\nb\rc\nd\n")
            << QStringLiteral("N=a\\r\\nb\\rc\\nd|");
        QTest::newRow("default before value")
            << QByteArray("---\nFieldName: D\nFieldValueDefault: alt\nFieldValue: neu\n")
            << QStringLiteral("D=neu|");
        QTest::newRow("default after value is ignored")
            << QByteArray("---\nFieldName: D\nFieldValue: neu\nFieldValueDefault: alt\n")
            << QStringLiteral("D=neu|");
        QTest::newRow("default alone")
            << QByteArray("---\nFieldName: D\nFieldValueDefault: alt\n---\nFieldName: E\n")
            << QStringLiteral("D=alt|;E=|");
        QTest::newRow("password prompt before the dump") << Prompt + "---\nFieldName: A\nFieldValue: 1\n"
                                                         << QStringLiteral("A=1|");
        QTest::newRow("prompt of a form without fields") << Prompt << QString();
        // pdftk's notice after an answer over 32 characters belongs to the prompt.
        QTest::newRow("long password notice before the dump")
            << Prompt +
                   "The password you entered was over 32 characters long,\n   so I am dropping: \"XYZ\"\n"
                   "---\nFieldName: A\nFieldValue: 1\n"
            << QStringLiteral("A=1|");
    }
    void parsesDumps() {
        QFETCH(QByteArray, output);
        QFETCH(QString, fields);
        TFDFWriter writer;
        writer.AddField(QStringLiteral("old"), QString(), QString());
        ParseDumpDataFields(output, writer);
        QCOMPARE(DescribeFields(writer), fields);
    }

    void refusesInvalidOutput_data() {
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("line before the first field") << QByteArray("Warning: x\n---\nFieldName: A\n");
        QTest::newRow("error text") << QByteArray("Error: Unable to find file.\n");
        QTest::newRow("unfinished prompt") << QByteArray("Please enter the open password\n---\n");
        QTest::newRow("malformed character reference")
            << QByteArray("---\nFieldName: A\nFieldValue: &#12a;\n");
        QTest::newRow("character reference out of range")
            << QByteArray("---\nFieldName: A\nFieldValue: &#1114112;\n");
    }
    void refusesInvalidOutput() {
        QFETCH(QByteArray, output);
        TFDFWriter writer;
        try {
            ParseDumpDataFields(output, writer);
            QFAIL("invalid output was accepted");
        } catch (const hostapi::EQVException& e) {
            QVERIFY2(e.Message().startsWith(QStringLiteral("pdftk.exe Output seems to be invalid!")),
                     qPrintable(e.Message()));
            // The output holds field values and password prompts: it stays out of the text.
            QVERIFY2(!e.Message().contains(QStringLiteral("\r\n")), qPrintable(e.Message()));
            QVERIFY2(!e.Message().contains(QString::fromUtf8(output.split('\n').first())),
                     qPrintable(e.Message()));
        }
    }

    void decodesEntities_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("decimal") << QStringLiteral("&#228;") << QStringLiteral("ä");
        QTest::newRow("CR becomes CR LF") << QStringLiteral("a&#13;b") << QStringLiteral("a\r\nb");
        QTest::newRow("CR stays CR beside LF")
            << QStringLiteral("a&#13;&#10;b&#13;c") << QStringLiteral("a\r\nb\rc");
        QTest::newRow("no double decoding") << QStringLiteral("&amp;lt;") << QStringLiteral("&lt;");
        QTest::newRow("ampersand without semicolon") << QStringLiteral("A & B") << QStringLiteral("A & B");
        QTest::newRow("semicolon far away")
            << QStringLiteral("A & B; C &gt;") << QStringLiteral("A & B; C >");
        QTest::newRow("empty entity") << QStringLiteral("a&;b") << QStringLiteral("a&;b");
        QTest::newRow("unknown name stays") << QStringLiteral("&nbsp;&lt;") << QStringLiteral("&nbsp;<");
        QTest::newRow("surrogate pair as two references")
            << QStringLiteral("&#55357;&#56832;") << QString::fromUcs4(U"\U0001F600", 1);
    }
    void decodesEntities() {
        QFETCH(QString, text);
        QFETCH(QString, decoded);
        QCOMPARE(DecodeFieldText(text), decoded);
    }
};

QTEST_GUILESS_MAIN(tst_PDFTKDumpParser)
#include "tst_PDFTKDumpParser.moc"
