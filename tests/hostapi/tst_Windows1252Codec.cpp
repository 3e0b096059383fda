#include "Windows1252Codec.h"

#include <QTest>

using namespace hostapi;

class tst_Windows1252Codec : public QObject {
    Q_OBJECT

private slots:
    void DecodeByte_data();
    void DecodeByte();
    void EveryByteSurvivesDecodeAndEncode();
    void Encode_data();
    void Encode();
};

void tst_Windows1252Codec::DecodeByte_data() {
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("codePoint");

    QTest::newRow("ASCII letter") << 0x41 << 0x41;
    QTest::newRow("euro sign") << 0x80 << 0x20AC;
    QTest::newRow("low double quote") << 0x84 << 0x201E;
    QTest::newRow("S caron") << 0x8A << 0x0160;
    QTest::newRow("left single quote") << 0x91 << 0x2018;
    QTest::newRow("en dash") << 0x96 << 0x2013;
    QTest::newRow("trade mark") << 0x99 << 0x2122;
    QTest::newRow("Y diaeresis") << 0x9F << 0x0178;
    QTest::newRow("no-break space") << 0xA0 << 0xA0;
    QTest::newRow("a umlaut") << 0xE4 << 0xE4;
    QTest::newRow("y diaeresis") << 0xFF << 0xFF;
    QTest::newRow("undefined 0x81") << 0x81 << 0x81;
    QTest::newRow("undefined 0x8D") << 0x8D << 0x8D;
    QTest::newRow("undefined 0x8F") << 0x8F << 0x8F;
    QTest::newRow("undefined 0x90") << 0x90 << 0x90;
    QTest::newRow("undefined 0x9D") << 0x9D << 0x9D;
}

void tst_Windows1252Codec::DecodeByte() {
    QFETCH(int, byte);
    QFETCH(int, codePoint);
    const QString text = Windows1252Codec::Decode(QByteArray(1, char(byte)));
    QCOMPARE(text.size(), 1);
    QCOMPARE(int(text.at(0).unicode()), codePoint);
    QCOMPARE(Windows1252Codec::Encode(text), QByteArray(1, char(byte)));
}

void tst_Windows1252Codec::EveryByteSurvivesDecodeAndEncode() {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = Windows1252Codec::Decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(Windows1252Codec::Encode(text), all);
}

void tst_Windows1252Codec::Encode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("German text") << "Grüße 5 €"
                                 << QByteArray("Gr\xFC\xDF"
                                               "e 5 \x80");
    QTest::newRow("typographic quotes") << "„x“" << QByteArray("\x84x\x93");
    QTest::newRow("character outside the code page") << "a東b" << QByteArray("a?b");
    QTest::newRow("C1 control without a byte") << QString(QChar(0x80)) << QByteArray("?");
    QTest::newRow("outside the BMP is one question mark")
        << QString::fromUtf8("x\xF0\x9F\x98\x80y") << QByteArray("x?y");
    QTest::newRow("lone surrogate") << QString(QChar(0xDC00)) << QByteArray("?");
}

void tst_Windows1252Codec::Encode() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Windows1252Codec::Encode(text), bytes);
}

QTEST_GUILESS_MAIN(tst_Windows1252Codec)
#include "tst_Windows1252Codec.moc"
