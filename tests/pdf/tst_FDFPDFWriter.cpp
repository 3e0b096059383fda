// TFDFWriter: the FDF 1.2 bytes pdftk reads (layout, string escaping, ASCII or UTF-16BE strings,
// the /F path), field lookup and copying, and writing a file.

#include "FDFPDFWriter.h"

#include "QVException.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace emailmarketing;

namespace {

QByteArray Bytes(const TFDFWriter& AWriter) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    AWriter.SaveToStream(buffer);
    return buffer.data();
}

QByteArray Utf16(const QString& AText) {
    QByteArray bytes("\xFE\xFF");
    for (const QChar c : AText)
        bytes.append(static_cast<char>(c.unicode() >> 8)).append(static_cast<char>(c.unicode() & 0xFF));
    return bytes;
}

const QByteArray Trailer =
    QByteArrayLiteral(">> \r\n>> \r\nendobj\r\ntrailer\r\n<<\r\n/Root 1 0 R\r\n>>\r\n%%EOF");

} // namespace

class tst_FDFPDFWriter : public QObject {
    Q_OBJECT

private slots:
    void writesTheWholeFile() {
        TFDFWriter writer;
        writer.AddField(QStringLiteral("Name"), QStringLiteral("M. (Kunde)"), QStringLiteral("Text"));
        writer.AddField(QStringLiteral("Leer"), QString(), QStringLiteral("Text"));
        writer.SetRefrencedPDFFile(QStringLiteral("C:\\Formulare\\a(1).pdf"));
        QCOMPARE(Bytes(writer), QByteArray("%FDF-1.2\r\n1 0 obj << \r\n/FDF << /Fields [ \r\n"
                                           " << /T(Name)/V(M. \\(Kunde\\))>> \r\n"
                                           " << /T(Leer)/V()>> \r\n"
                                           " ] /F(C:/Formulare/a\\(1\\).pdf)") +
                                    Trailer);
    }

    void withoutFieldsAndPath() {
        TFDFWriter writer;
        // No path: the /F entry is left out (a key without value is not valid FDF).
        QCOMPARE(Bytes(writer), QByteArray("%FDF-1.2\r\n1 0 obj << \r\n/FDF << /Fields [ \r\n ] ") + Trailer);
    }

    void encodesStrings_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("plain") << QStringLiteral("abc") << QByteArray("(abc)");
        QTest::newRow("empty") << QString() << QByteArray("()");
        QTest::newRow("parentheses and backslash")
            << QStringLiteral("a(b)c\\d") << QByteArray("(a\\(b\\)c\\\\d)");
        QTest::newRow("CR LF") << QStringLiteral("1\r\n2\n3\r") << QByteArray("(1\\r\\n2\\n3\\r)");
        // Any non-ASCII character turns the whole string into UTF-16BE with a byte-order mark.
        QTest::newRow("umlaut") << QStringLiteral("Müller")
                                << QByteArray("(" + Utf16(QStringLiteral("Müller")) + ")");
        QTest::newRow("euro and Polish")
            << QStringLiteral("Łódź €") << QByteArray("(" + Utf16(QStringLiteral("Łódź €")) + ")");
        // UTF-16 bytes that equal "(" , ")" , "\" or LF are escaped like ASCII ones: U+0128, U+0129,
        // U+015C, U+010A.
        QTest::newRow("UTF-16 bytes that need escapes")
            << QStringLiteral("\u0128\u0129\u015C\u010A")
            << QByteArray("(\xFE\xFF\x01\\(\x01\\)\x01\\\\\x01\\n)", 16);
        QTest::newRow("outside the BMP")
            << QString::fromUcs4(U"\U0001F600", 1) << QByteArray("(\xFE\xFF\xD8\x3D\xDE\x00)", 8);
    }
    void encodesStrings() {
        QFETCH(QString, text);
        QFETCH(QByteArray, encoded);
        QCOMPARE(TFDFWriter::EncodeString(text), encoded);
        TFDFWriter writer;
        writer.AddField(text, text, QString());
        QVERIFY(Bytes(writer).contains(" << /T" + encoded + "/V" + encoded + ">> \r\n"));
    }

    void fieldTypeIsNeverWritten() {
        TFDFWriter writer;
        writer.AddField(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("Checkbox-Typ"));
        QVERIFY(!Bytes(writer).contains("Checkbox-Typ"));
    }

    void fieldByNameIsExact() {
        TFDFWriter writer;
        TFDFField* first = writer.AddField(QStringLiteral("Name"), QStringLiteral("1"), QString());
        writer.AddField(QStringLiteral("Name"), QStringLiteral("2"), QString());
        QCOMPARE(writer.FieldByName(QStringLiteral("Name")), first);
        QCOMPARE(writer.FieldByName(QStringLiteral("name")), nullptr);
        QCOMPARE(writer.FieldByName(QStringLiteral("Name ")), nullptr);
        QCOMPARE(writer.Count(), 2);
    }

    void getFieldOutOfRangeThrows() {
        TFDFWriter writer;
        writer.AddField(QStringLiteral("A"), QString(), QString());
        QCOMPARE(writer.GetField(0)->KeyName(), QStringLiteral("A"));
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, writer.GetField(1));
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, writer.GetField(-1));
    }

    void assignCopiesFieldsAndPath() {
        TFDFWriter source;
        source.SetRefrencedPDFFile(QStringLiteral("/a.pdf"));
        source.AddField(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("Text"));
        source.AddField(QStringLiteral("B"), QStringLiteral("2"), QStringLiteral("Button"));
        TFDFWriter copy;
        copy.AddField(QStringLiteral("old"), QString(), QString());
        copy.Assign(source);
        QCOMPARE(Bytes(copy), Bytes(source));
        QCOMPARE(copy.GetField(1)->FieldType(), QStringLiteral("Button"));
        // The copy's fields are its own.
        copy.GetField(0)->SetValue(QStringLiteral("changed"));
        QCOMPARE(source.GetField(0)->Value(), QStringLiteral("1"));
        copy.Clear();
        QCOMPARE(copy.Count(), 0);
        QCOMPARE(copy.RefrencedPDFFile(), QStringLiteral("/a.pdf"));
    }

    void saveToFile() {
        QTemporaryDir dir;
        TFDFWriter writer;
        writer.AddField(QStringLiteral("A"), QStringLiteral("1"), QString());
        const QString path = dir.filePath(QStringLiteral("a.fdf"));
        QFile existing(path);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write(QByteArray(1000, 'x'));
        existing.close();
        QVERIFY(existing.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        writer.SaveToFile(path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), Bytes(writer));
        // An existing file keeps its permissions.
        QVERIFY(!(file.permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther)));

        try {
            writer.SaveToFile(dir.filePath(QStringLiteral("missing/a.fdf")));
            QFAIL("writing into a missing folder did not throw");
        } catch (const hostapi::EQVException& e) {
            QVERIFY2(e.Message().contains(QStringLiteral("missing/a.fdf")), qPrintable(e.Message()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_FDFPDFWriter)
#include "tst_FDFPDFWriter.moc"
