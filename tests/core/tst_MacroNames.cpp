// The one upper-casing of macro names and text-block tags: per character, so a name keeps its
// length, and the window's stored form is the form the engine looks up.

#include "MacroList.h"
#include "MacroNames.h"

#include <QTest>

using namespace emailmarketing;

class tst_MacroNames : public QObject {
    Q_OBJECT

private slots:
    void upperCase_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ASCII") << "pre_Day3"
                               << "PRE_DAY3";
        QTest::newRow("digits and signs unchanged") << "udf_7-x.y"
                                                    << "UDF_7-X.Y";
        QTest::newRow("sharp s stays one character") << "Straße"
                                                     << "STRAßE";
        QTest::newRow("umlauts") << "grüße"
                                 << "GRÜßE";
        QTest::newRow("ligature stays one character") << "ﬁrma"
                                                      << "ﬁRMA";
        QTest::newRow("dotless i") << "ıd"
                                   << "ID";
        QTest::newRow("outside the basic plane") << QString::fromUcs4(U"\U00010428x") // Deseret small
                                                 << QString::fromUcs4(U"\U00010400X");
        QTest::newRow("lone surrogate kept") << QString(QChar(0xD801)) + "a" << QString(QChar(0xD801)) + "A";
        QTest::newRow("empty") << ""
                               << "";
    }
    void upperCase() {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(MacroUpperCase(name), expected);
        QCOMPARE(MacroUpperCase(name).size(), name.size());
    }

    void forms() {
        QCOMPARE(StoredMacroForm(QStringLiteral("Straße")), QStringLiteral("%STRAßE%"));
        QCOMPARE(TextBlockTag(QStringLiteral("Gruß")), QStringLiteral("[TEXTBLOCK:GRUß]"));
    }

    // The engine finds a list macro by the name the window stores.
    void listMacroFoundByStoredName() {
        TMacroList macros;
        macros.Add()->SetMacroName(QStringLiteral("Straße"));
        const QString stored = StoredMacroForm(QStringLiteral("Straße"));
        QVERIFY(macros.ByName(stored.mid(1, stored.size() - 2)));
        QVERIFY(!macros.ByName(QStringLiteral("STRASSE")));
    }
};

QTEST_GUILESS_MAIN(tst_MacroNames)
#include "tst_MacroNames.moc"
