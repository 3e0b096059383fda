// Reading exchanged XML documents: the element tree, and what is refused (DTDs and entities,
// malformed input with line and column, nesting too deep).

#include "QVException.h"
#include "QVXMLElement.h"

#include <QTest>

using namespace hostapi;

class tst_QVXMLElement : public QObject {
    Q_OBJECT

private slots:
    void readsElementsAttributesAndText() {
        const TQVXMLElement root = TQVXMLElement::Parse(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qvdata>\n  <part fetch=\"S 1&amp;2\" b=\"\">"
            "<item a=\"1\"><body>T&lt;x&gt; <![CDATA[<raw>]]></body></item><item a=\"2\"/></part></qvdata>");
        QCOMPARE(root.Name, QStringLiteral("qvdata"));
        QCOMPARE(root.Children.size(), 1);
        const TQVXMLElement& part = root.Children[0];
        QCOMPARE(part.Attribute("fetch"), QStringLiteral("S 1&2"));
        QVERIFY(part.HasAttribute("b"));
        QVERIFY(!part.HasAttribute("B"));
        QCOMPARE(part.Line, 3);
        QCOMPARE(part.Children.size(), 2);
        QCOMPARE(part.Children[1].Attribute("a"), QStringLiteral("2"));
        QCOMPARE(part.Children[0].Child("body")->Text, QStringLiteral("T<x> <raw>"));
        QVERIFY(part.Children[0].Child("bodyhtml") == nullptr);
    }

    void refusedDocumentsNameTheCause_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("expected");
        QTest::newRow("malformed, line and column")
            << QByteArray("<qvdata>\n<part>\n<item></part></qvdata>") << "XML error in line 3, column";
        QTest::newRow("internal entities (expansion bomb)")
            << QByteArray("<!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]><d>&b;</d>")
            << "document type declarations are not accepted";
        QTest::newRow("external entity")
            << QByteArray("<!DOCTYPE d [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><d>&x;</d>")
            << "document type declarations are not accepted";
        QTest::newRow("undeclared entity") << QByteArray("<d>&x;</d>") << "XML error in line 1";
        QTest::newRow("empty") << QByteArray() << "XML error";
        QTest::newRow("too deep") << QByteArray("<a>").repeated(300) + QByteArray("</a>").repeated(300)
                                  << "nested deeper than 256 levels";
    }

    void refusedDocumentsNameTheCause() {
        QFETCH(QByteArray, xml);
        QFETCH(QString, expected);
        try {
            TQVXMLElement::Parse(xml);
            QFAIL("no exception");
        } catch (const EQVException& e) {
            QVERIFY2(e.Message().contains(expected), qPrintable(e.Message()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_QVXMLElement)
#include "tst_QVXMLElement.moc"
