#include "MenuMnemonics.h"

#include <QtTest>

using qvhost::MenuMnemonics;

// Mnemonics the host gives the entries of one menu: kept where a text carries one, assigned where it
// does not, never twice in one menu.
class tst_MenuMnemonics : public QObject {
    Q_OBJECT

private slots:
    void assign_data() {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("assigned");
        QTest::newRow("first letters") << QStringList{"Konfiguration", "Email Marketing"}
                                       << QStringList{"&Konfiguration", "&Email Marketing"};
        QTest::newRow("carried ones kept, the rest around them")
            << QStringList{"&Datei", "Konfiguration", "Email Marketing", "&Sprache"}
            << QStringList{"&Datei", "&Konfiguration", "&Email Marketing", "&Sprache"};
        QTest::newRow("carried one reserved before earlier entries choose")
            << QStringList{"Einstellungen", "E&xit", "&Beenden"}
            << QStringList{"&Einstellungen", "E&xit", "&Beenden"};
        QTest::newRow("same first letter: next word, then next letter")
            << QStringList{"Verteilerlisten", "Versand", "Vorlagen Verwalten"}
            << QStringList{"&Verteilerlisten", "V&ersand", "V&orlagen Verwalten"};
        QTest::newRow("word start before any letter")
            << QStringList{"Email", "Email Marketing"} << QStringList{"&Email", "Email &Marketing"};
        QTest::newRow("carried twice: the later one reassigned")
            << QStringList{"&Liste", "&Lauf"} << QStringList{"&Liste", "L&auf"};
        QTest::newRow("case-insensitive")
            << QStringList{"email", "Export"} << QStringList{"&email", "E&xport"};
        QTest::newRow("non-ASCII letters") << QStringList{"Öffnen", "Übersicht", "Ändern"}
                                           << QStringList{"&Öffnen", "&Übersicht", "&Ändern"};
        QTest::newRow("literal ampersands stay literal")
            << QStringList{"Schmidt && Partner", "Soll & Haben"}
            << QStringList{"&Schmidt && Partner", "Soll && &Haben"};
        QTest::newRow("digits when letters run out") << QStringList{"a", "A1"} << QStringList{"&a", "A&1"};
        QTest::newRow("no free letter") << QStringList{"ab", "ba", "AB"} << QStringList{"&ab", "&ba", "AB"};
        QTest::newRow("already assigned stays as it is")
            << QStringList{"&Verteilerlisten", "V&ersand"} << QStringList{"&Verteilerlisten", "V&ersand"};
    }

    void assign() {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, assigned);
        QCOMPARE(MenuMnemonics::Assign(texts), assigned);
        QCOMPARE(MenuMnemonics::Assign(assigned), assigned);
    }

    void of_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("mnemonic");
        QTest::newRow("first") << "&Datei"
                               << "d";
        QTest::newRow("inside") << "E&xit"
                                << "x";
        QTest::newRow("none") << "Beenden"
                              << "";
        QTest::newRow("literal") << "A && B"
                                 << "";
        QTest::newRow("lone") << "A & B"
                              << "";
        QTest::newRow("after a literal") << "&&&Rot"
                                         << "r";
    }

    void of() {
        QFETCH(QString, text);
        QFETCH(QString, mnemonic);
        const QChar found = MenuMnemonics::Of(text);
        QCOMPARE(found.isNull() ? QString() : QString(found), mnemonic);
    }
};

QTEST_GUILESS_MAIN(tst_MenuMnemonics)
#include "tst_MenuMnemonics.moc"
