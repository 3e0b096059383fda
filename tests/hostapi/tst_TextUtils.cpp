#include "TextUtils.h"

#include <QTest>

using namespace hostapi;

class tst_TextUtils : public QObject {
    Q_OBJECT

private slots:
    void FastReplace_data();
    void FastReplace();
    void PosStr_data();
    void PosStr();
};

void tst_TextUtils::FastReplace_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QString>("expected");

    QTest::newRow("every occurrence, ignoring case") << "Dear %NAME%, %name% is %Name%."
                                                     << "%name%"
                                                     << "Anna" << false << "Dear Anna, Anna is Anna.";
    QTest::newRow("case-sensitive keeps other cases") << "%NAME% %name%"
                                                      << "%name%"
                                                      << "Anna" << true << "%NAME% Anna";
    QTest::newRow("non-ASCII letters ignore case") << "ÄRGER ärger"
                                                   << "ärger"
                                                   << "x" << false << "x x";
    QTest::newRow("left to right without overlap") << "aaaa"
                                                   << "aa"
                                                   << "b" << false << "bb";
    QTest::newRow("inserted text is not searched again") << "ab"
                                                         << "a"
                                                         << "aa" << false << "aab";
    QTest::newRow("replace by empty text") << "src=\"cid:img.png\""
                                           << "src=\"cid:"
                                           << "src=\"" << false << "src=\"img.png\"";
    QTest::newRow("empty from leaves text unchanged") << "abc"
                                                      << ""
                                                      << "x" << false << "abc";
    QTest::newRow("not found") << "abc"
                               << "d"
                               << "x" << false << "abc";
    QTest::newRow("empty text") << ""
                                << "a"
                                << "x" << false << "";
}

void tst_TextUtils::FastReplace() {
    QFETCH(QString, text);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, caseSensitive);
    QFETCH(QString, expected);
    QCOMPARE(hostapi::FastReplace(text, from, to, caseSensitive), expected);
}

void tst_TextUtils::PosStr_data() {
    QTest::addColumn<QString>("sub");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("start");
    QTest::addColumn<qsizetype>("expected");

    QTest::newRow("first character is position 1") << "a"
                                                   << "abc" << qsizetype(1) << qsizetype(1);
    QTest::newRow("found later") << "c"
                                 << "abc" << qsizetype(1) << qsizetype(3);
    QTest::newRow("absent") << "x"
                            << "abc" << qsizetype(1) << qsizetype(0);
    QTest::newRow("case-sensitive") << "A"
                                    << "abc" << qsizetype(1) << qsizetype(0);
    QTest::newRow("start skips an earlier match") << "ab"
                                                  << "abab" << qsizetype(2) << qsizetype(3);
    QTest::newRow("match exactly at start") << "b"
                                            << "abab" << qsizetype(4) << qsizetype(4);
    QTest::newRow("start at last character, no match") << "ab"
                                                       << "abab" << qsizetype(4) << qsizetype(0);
    QTest::newRow("start beyond the end") << "a"
                                          << "abc" << qsizetype(4) << qsizetype(0);
    QTest::newRow("start below 1") << "a"
                                   << "abc" << qsizetype(0) << qsizetype(0);
    QTest::newRow("empty sub") << ""
                               << "abc" << qsizetype(1) << qsizetype(0);
    QTest::newRow("empty text") << "a"
                                << "" << qsizetype(1) << qsizetype(0);
}

void tst_TextUtils::PosStr() {
    QFETCH(QString, sub);
    QFETCH(QString, text);
    QFETCH(qsizetype, start);
    QFETCH(qsizetype, expected);
    QCOMPARE(hostapi::PosStr(sub, text, start), expected);
}

QTEST_GUILESS_MAIN(tst_TextUtils)
#include "tst_TextUtils.moc"
