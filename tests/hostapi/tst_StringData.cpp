#include "QVException.h"
#include "StringData.h"

#include <QTest>

using namespace hostapi;

class tst_StringData : public QObject {
    Q_OBJECT

private slots:
    void RoundTrip_data();
    void RoundTrip();
    void DecodeFlagFalseAnswersDataUnchanged();
    void MalformedDataIsRefused_data();
    void MalformedDataIsRefused();
};

void tst_StringData::RoundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("data");

    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("plain ASCII stays readable") << "smtp.example.com"
                                                << "smtp.example.com";
    QTest::newRow("number") << "42"
                            << "42";
    QTest::newRow("inner blanks and equals sign") << "a = b"
                                                  << "a = b";
    QTest::newRow("name=value lines") << "user=anna\r\npass=x=y"
                                      << "user=anna\\r\\npass=x=y";
    QTest::newRow("backslash") << "C:\\temp\\"
                               << "C:\\\\temp\\\\";
    QTest::newRow("escape-like text") << "\\n is not a line break"
                                      << "\\\\n is not a line break";
    QTest::newRow("leading and trailing blanks") << "  x y  "
                                                 << "\\s\\sx y\\s\\s";
    QTest::newRow("only blanks") << "   "
                                 << "\\s\\s\\s";
    QTest::newRow("tab inside") << "a\tb"
                                << "a\\tb";
    QTest::newRow("other control characters") << QString("a\x01"
                                                         "b\x7F"
                                                         "c")
                                              << "a\\u0001b\\u007Fc";
    QTest::newRow("NUL character") << QString(QChar(0)) + "x"
                                   << "\\u0000x";
    QTest::newRow("non-breaking space at the edge") << QString(QChar(0xA0)) + "x"
                                                    << "\\u00A0x";
    QTest::newRow("non-ASCII text unchanged") << "Grüße, 東京 €"
                                              << "Grüße, 東京 €";
    QTest::newRow("character outside the BMP")
        << QString::fromUtf8("\xF0\x9F\x98\x80") << QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "x"
                                    << "\\uD800x";
}

void tst_StringData::RoundTrip() {
    QFETCH(QString, text);
    QFETCH(QString, data);
    QCOMPARE(StrToStringData(text), data);
    QCOMPARE(StringDataToStr(data, true), text);
}

void tst_StringData::DecodeFlagFalseAnswersDataUnchanged() {
    const QString data = StrToStringData(" a\nb ");
    QCOMPARE(StringDataToStr(data, false), data);
}

void tst_StringData::MalformedDataIsRefused_data() {
    QTest::addColumn<QString>("data");
    QTest::newRow("backslash at the end") << "abc\\";
    QTest::newRow("unknown escape") << "a\\qb";
    QTest::newRow("short unicode escape") << "\\u12";
    QTest::newRow("non-hex unicode escape") << "\\u12G4";
}

void tst_StringData::MalformedDataIsRefused() {
    QFETCH(QString, data);
    QVERIFY_THROWS_EXCEPTION(EQVException, StringDataToStr(data, true));
}

QTEST_GUILESS_MAIN(tst_StringData)
#include "tst_StringData.moc"
