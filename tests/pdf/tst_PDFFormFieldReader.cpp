// Reading the form fields of a PDF from its objects: names of the field tree, values and defaults
// (inherited too), the string forms of PDF, streams passed over, files without a form and damaged
// ones; with pdftk, values whose lines look like pdftk's field dump.

#include "PDFFormFieldReader.h"

#include "DescribeFields.h"
#include "FDFPDFWriter.h"
#include "PDFFileMacroReplacer.h"
#include "PDFTK.h"
#include "QVException.h"
#include "ThrownMessage.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace emailmarketing;
using testsupport::DescribeFields;
using testsupport::ThrownMessage;

namespace {

// A PDF made of the object bodies AObjects (object n is AObjects[n - 1]; object 1 is the catalog).
QByteArray Pdf(const QList<QByteArray>& AObjects) {
    QByteArray pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    for (int i = 0; i < AObjects.size(); ++i)
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + AObjects[i] + "\nendobj\n";
    return pdf + "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size " +
           QByteArray::number(AObjects.size() + 1) + " /Root 1 0 R >>\nstartxref\n0\n%%EOF\n";
}

// A catalog whose form has the fields AFields (references or direct dictionaries), then AObjects.
QByteArray Form(const QByteArray& AFields, const QList<QByteArray>& AObjects = {}) {
    return Pdf(
        QList<QByteArray>{"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [" + AFields + "] >> >>",
                          "<< /Type /Pages /Kids [] /Count 0 >>"} +
        AObjects);
}

QString Pdftk() {
    return QStandardPaths::findExecutable(QStringLiteral("pdftk"));
}

const QString MultilineValues = QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/pdf/multiline-values.pdf");

} // namespace

class tst_PDFFormFieldReader : public QObject {
    Q_OBJECT

private slots:
    void readsFields_data() {
        QTest::addColumn<QByteArray>("pdf");
        QTest::addColumn<QString>("fields");
        QTest::newRow("no form") << Pdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] >>"})
                                 << QString();
        QTest::newRow("empty form") << Form("") << QString();
        QTest::newRow("value and default")
            << Form("3 0 R 4 0 R 5 0 R 6 0 R",
                    {"<< /FT /Tx /T (A) /V (wert) /DV (vorgabe) >>", "<< /FT /Tx /T (B) /DV (vorgabe) >>",
                     "<< /FT /Tx /T (C) >>", "<< /FT /Tx /T (D) /V () /DV (vorgabe) >>"})
            << QStringLiteral("A=wert|Text;B=vorgabe|Text;C=|Text;D=|Text");
        // No line of a value can start a field of its own.
        QTest::newRow("dump-like lines in values")
            << Form("3 0 R 4 0 R", {"<< /FT /Tx /T (A) /V (x\\n---\\nFieldName: B\\nFieldValue: y) >>",
                                    "<< /FT /Tx /T (C) /DV (FieldValueDefault: z\n---) >>"})
            << QStringLiteral(
                   "A=x\\n---\\nFieldName: B\\nFieldValue: y|Text;C=FieldValueDefault: z\\n---|Text");
        QTest::newRow("literal string escapes")
            << Form("3 0 R",
                    {"<< /T (E) /V (a\\(b\\) \\\\ (nested) \\101\\60x \\q \\\ncontinued\r\nline) >>"})
            << QStringLiteral("E=a(b) \\ (nested) A0x q continued\\nline|");
        QTest::newRow("CR escape stays CR")
            << Form("3 0 R", {"<< /T (E) /V (a\\rb) >>"}) << QStringLiteral("E=a\\rb|");
        QTest::newRow("UTF-16 and PDFDocEncoding")
            << Form("3 0 R 4 0 R",
                    {"<< /T <FEFF0053007400720061 00DF0065> /V <FEFF0141 00F3 0064 017A 0020 20AC> >>",
                     "<< /T (Stra\xdf"
                     "e) /V (\x80 \x92 \xa0 \xe4) >>"})
            << QStringLiteral("Straße=Łódź €|;Straße=• ™ € ä|");
        QTest::newRow("UTF-8 with byte-order mark")
            << Form("3 0 R", {"<< /T (U) /V (\xef\xbb\xbf\xc3\xa4) >>"}) << QStringLiteral("U=ä|");
        QTest::newRow("hex string with blanks and odd length")
            << Form("3 0 R", {"<< /T <48 49> /V <414> >>"}) << QStringLiteral("HI=A@|");
        QTest::newRow("field tree: names joined, values inherited")
            << Form("3 0 R", {"<< /T (Adresse) /FT /Tx /DV (alt) /Kids [4 0 R 5 0 R] >>",
                              "<< /T (Ort) /V (%ORT%) /Parent 3 0 R >>", "<< /T (PLZ) /Parent 3 0 R >>"})
            << QStringLiteral("Adresse.Ort=%ORT%|Text;Adresse.PLZ=alt|Text");
        QTest::newRow("widgets without names are the field's")
            << Form("3 0 R", {"<< /T (Ok) /FT /Btn /V /Yes /Kids [<< /Subtype /Widget /AS /Yes >> "
                              "<< /Subtype /Widget /AS /Off >>] >>"})
            << QStringLiteral("Ok=Yes|Button");
        QTest::newRow("name with hex escape, number, array")
            << Form("3 0 R 4 0 R 5 0 R", {"<< /T (N) /FT /Btn /V /Ein#20Aus >>", "<< /T (Z) /V 42 >>",
                                          "<< /T (L) /FT /Ch /V [(b) (c)] >>"})
            << QStringLiteral("N=Ein Aus|Button;Z=42|;L=b|Choice");
        QTest::newRow("indirect values and field array")
            << Pdf({"<< /Type /Catalog /AcroForm 3 0 R >>", "<< >>", "<< /Fields 4 0 R >>", "[5 0 R]",
                    "<< /T (I) /V 6 0 R /FT /Sig >>", "(indirekt)"})
            << QStringLiteral("I=indirekt|Signature");
        QTest::newRow("stream with object-like bytes")
            << Form("4 0 R", {"<< /Length 33 >>\nstream\n) 9 0 obj << /T (X) >> endobj (\nendstream",
                              "<< /T (S) /V (nach) >>"})
            << QStringLiteral("S=nach|");
        QTest::newRow("stream with a wrong length")
            << Form("4 0 R", {"<< /Length 2 >>\nstream\n(((( 9 0 obj\nendstream", "<< /T (S) /V (ok) >>"})
            << QStringLiteral("S=ok|");
        QTest::newRow("rich-text value")
            << Form("3 0 R", {"<< /T (R) /V 4 0 R >>", "<< /Length 0 >>\nstream\n\nendstream"})
            << QStringLiteral("R=|");
        QTest::newRow("later object of a number wins")
            << Form("3 0 R", {"<< /T (A) /V (alt) >>"}) + "3 0 obj\n<< /T (A) /V (neu) >>\nendobj\n"
            << QStringLiteral("A=neu|");
        QTest::newRow("comments") << Form("3 0 R", {"% Kommentar\n<< /T (A) % mehr\n /V (a%b) >>"})
                                  << QStringLiteral("A=a%b|");
    }
    void readsFields() {
        QFETCH(QByteArray, pdf);
        QFETCH(QString, fields);
        TFDFWriter writer;
        writer.AddField(QStringLiteral("old"), QString(), QString());
        ReadPDFFormFields(pdf, writer);
        QCOMPARE(DescribeFields(writer), fields);
    }

    void refusesDamagedFiles_data() {
        QTest::addColumn<QByteArray>("pdf");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not a PDF") << QByteArray("hello") << QStringLiteral("the file is not a PDF");
        QTest::newRow("no catalog") << QByteArray("%PDF-1.4\n1 0 obj\n<< /T (A) >>\nendobj\n")
                                    << QStringLiteral("the PDF has no catalog");
        QTest::newRow("field tree refers to itself")
            << Form("3 0 R", {"<< /T (A) /Kids [4 0 R] >>", "<< /T (B) /Kids [3 0 R] >>"})
            << QStringLiteral("the field tree refers to itself");
        QTest::newRow("nesting too deep")
            << Form("3 0 R", {"<< /T (A) /V " + QByteArray(100, '[') + QByteArray(100, ']') + " >>"})
            << QStringLiteral("objects nested deeper than 64 levels");
    }
    void refusesDamagedFiles() {
        QFETCH(QByteArray, pdf);
        QFETCH(QString, reason);
        TFDFWriter writer;
        QCOMPARE(ThrownMessage([&] { ReadPDFFormFields(pdf, writer); }),
                 QStringLiteral("The form fields of the PDF cannot be read: %1.").arg(reason));
    }

    void everyCutOffFileIsReadOrRefused() {
        // Damaged files never crash or hang the reader: each prefix of the forms either reads or is
        // refused with a reason.
        for (const char* name : {"form.pdf", "multiline-values.pdf"}) {
            QFile file(QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/pdf/") + QLatin1String(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray pdf = file.readAll();
            for (qsizetype size = 0; size <= pdf.size(); ++size) {
                TFDFWriter writer;
                const QString message = ThrownMessage([&] { ReadPDFFormFields(pdf.left(size), writer); });
                QVERIFY2(
                    message == QStringLiteral("<no exception>") ||
                        message.startsWith(QStringLiteral("The form fields of the PDF cannot be read: ")),
                    qPrintable(message));
            }
        }
    }

    void deepNestingIsReadOnce() {
        // References are recognised without reading nested values twice (which would take 2^depth).
        QByteArray value;
        for (int i = 0; i < 60; ++i)
            value += "1 [";
        value += QByteArray(60, ']');
        TFDFWriter writer;
        ReadPDFFormFields(Form("3 0 R", {"<< /T (A) /V " + value + " >>"}), writer);
        QCOMPARE(DescribeFields(writer), QStringLiteral("A=1|"));
    }

    void readsValuesThatLookLikeTheDumpWithPdftk() {
        if (Pdftk().isEmpty())
            QFAIL("pdftk is not installed (Debian package pdftk-java)");
        TPDFFileMacroReplacer replacer;
        replacer.SetSourceFile(MultilineValues);
        QVERIFY(replacer.RequiresMacro(QStringLiteral("%NAME%")));
        replacer.ReplaceMacroValue(QStringLiteral("%NAME%"), QStringLiteral("Müller"));
        QCOMPARE(replacer.FieldCount(), 4);
        QStringList fields;
        for (int i = 0; i < replacer.FieldCount(); ++i)
            fields << replacer.GetFieldValue(i);
        QCOMPARE(fields, (QStringList{"Hallo Müller\n---\nFieldName: Falsch\nFieldValue: auch falsch",
                                      "Zeile 1 für Müller\nFieldValue: kein Wert\n---", "Wert Müller",
                                      "FieldValueDefault: x\nFieldType: Text"}));

        // The filled form holds the values, the default as value.
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out.pdf"));
        replacer.SaveToFile(out);
        TPDFTK driver;
        driver.SetPDFTKPath(Pdftk());
        driver.SetOperation(opReadFields);
        driver.Execute(out, QString());
        QCOMPARE(
            DescribeFields(driver.FDF()),
            QStringLiteral("Brief=Hallo Müller\\n---\\nFieldName: Falsch\\nFieldValue: auch falsch|Text;"
                           "Vorgabe=Zeile 1 für Müller\\nFieldValue: kein Wert\\n---|Text;"
                           "Beide=Wert Müller|Text;Schluss=FieldValueDefault: x\\nFieldType: Text|Text"));
    }

    void readsTheTestFormWithPdftk() {
        if (Pdftk().isEmpty())
            QFAIL("pdftk is not installed (Debian package pdftk-java)");
        TPDFTK driver;
        driver.SetPDFTKPath(Pdftk());
        driver.SetOperation(opReadFields);
        driver.Execute(QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/pdf/form.pdf"), QString());
        QCOMPARE(
            DescribeFields(driver.FDF()),
            QStringLiteral("Name=%NAME%|Text;Anrede=Sehr geehrte/r %name%|Text;Straße=Hauptstraße 1|Text;"
                           "Firma=A & B <x> Ä|Text;Notiz=Erste Zeile\\nZweite Zeile für %NAME%\\n--- keine "
                           "Trennung|Text;Leer=|Text"));
    }
};

QTEST_GUILESS_MAIN(tst_PDFFormFieldReader)
#include "tst_PDFFormFieldReader.moc"
