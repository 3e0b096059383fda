// The streaming reader of exchanged XML documents: the import's walk (root, parts, whole items one
// at a time) and the refusals, which hold wherever in the document the fault is.

#include "QVException.h"
#include "QVXMLStreamReader.h"

#include <QTest>

using namespace hostapi;

namespace {

// The walk of the import: "root", "part <name>" and "item <name> <children>" as read.
QStringList Walk(const QByteArray& AData) {
    QStringList steps;
    TQVXMLStreamReader reader(AData);
    if (!reader.NextElement())
        return steps;
    steps << "root " + reader.Head().Name;
    while (reader.NextElement()) {
        const TQVXMLElement part = reader.Head();
        steps << "part " + part.Name + " " + part.Attribute("fetch");
        while (reader.NextElement()) {
            const TQVXMLElement item = reader.ReadElement();
            steps << QStringLiteral("item %1 %2 %3").arg(item.Name).arg(item.Children.size()).arg(item.Line);
        }
    }
    reader.Finish();
    return steps;
}

} // namespace

class tst_QVXMLStreamReader : public QObject {
    Q_OBJECT

private slots:
    void walksPartsAndWholeItems() {
        const QByteArray xml = "<?xml version=\"1.0\"?>\n<qvdata a=\"1\">\n<p fetch=\"S\">\n"
                               "<x><f>1</f><g><h/></g></x>\n<y/>\n</p>\n<q/>\n</qvdata>\n";
        QCOMPARE(Walk(xml), QStringList({"root qvdata", "part p S", "item x 2 4", "item y 0 5", "part q "}));
        TQVXMLStreamReader reader(xml);
        QVERIFY(reader.NextElement());
        QVERIFY(reader.NextElement());
        QVERIFY(reader.NextElement());
        const TQVXMLElement item = reader.ReadElement();
        QCOMPARE(item.Child("f")->Text, QStringLiteral("1"));
        QCOMPARE(item.Child("g")->Children.size(), 1);
        QVERIFY(reader.NextElement()); // y: the reader went on after x
        QCOMPARE(reader.Head().Name, QStringLiteral("y"));
    }

    void refusalsHoldAnywhere_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("expected");
        QTest::newRow("document type declaration")
            << QByteArray("<!DOCTYPE d [<!ENTITY a \"aa\">]><qvdata/>") << "document type declarations";
        QTest::newRow("undeclared entity in an item's field")
            << QByteArray("<qvdata><p><x><f>&a;</f></x></p></qvdata>") << "XML error in line 1";
        QTest::newRow("too deep inside an item")
            << "<qvdata><p>" + QByteArray("<a>").repeated(260) + QByteArray("</a>").repeated(260) +
                   "</p></qvdata>"
            << "nested deeper than 256 levels";
        QTest::newRow("malformed in a later part, line and column")
            << QByteArray("<qvdata>\n<p><x/></p>\n<p><x></p>\n</qvdata>") << "XML error in line 3, column";
        QTest::newRow("cut off inside an item") << QByteArray("<qvdata><p><x><f>1") << "XML error";
        QTest::newRow("element after the root") << QByteArray("<qvdata/><qvdata/>") << "XML error";
        QTest::newRow("empty") << QByteArray() << "XML error";
    }
    void refusalsHoldAnywhere() {
        QFETCH(QByteArray, xml);
        QFETCH(QString, expected);
        for (const bool walk : {true, false}) {
            try {
                if (walk)
                    Walk(xml);
                else
                    TQVXMLStreamReader::Check(xml);
                QFAIL(walk ? "the walk accepted it" : "the check accepted it");
            } catch (const EQVException& e) {
                QVERIFY2(e.Message().contains(expected), qPrintable(e.Message()));
            }
        }
    }
};

QTEST_GUILESS_MAIN(tst_QVXMLStreamReader)
#include "tst_QVXMLStreamReader.moc"
