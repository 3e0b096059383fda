#include "HtmlHighlighter.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

using namespace hostapi;
using Kind = HtmlHighlighter::Kind;
using State = HtmlHighlighter::State;

Q_DECLARE_METATYPE(HtmlHighlighter::State)

namespace {

// "kind:text" for each token, so that a failing row shows what was coloured how.
QStringList Described(const QString& ALine, const QList<HtmlHighlighter::Token>& ATokens) {
    static const char* const names[] = {"tag", "attr", "string", "comment", "entity"};
    QStringList result;
    for (const auto& token : ATokens)
        result << QStringLiteral("%1:%2").arg(QLatin1String(names[int(token.TokenKind)]),
                                              ALine.mid(token.Start, token.Length));
    return result;
}

} // namespace

// The HTML source colours: which runs of a line are tags, attributes, values, comments and
// character references, also across lines.
class tst_HtmlHighlighter : public QObject {
    Q_OBJECT

private slots:
    void tokenizes_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<State>("start");
        QTest::addColumn<QStringList>("tokens");
        QTest::addColumn<State>("end");
        QTest::newRow("tag with quoted and unquoted values")
            << QStringLiteral("<a href=\"x.html\" target='_blank' width=10>Link</a>")
            << HtmlHighlighter::InText
            << QStringList{"tag:<a",          "attr:href",  "string:\"x.html\"", "attr:target",
                           "string:'_blank'", "attr:width", "string:10",         "tag:>",
                           "tag:</a",         "tag:>"}
            << HtmlHighlighter::InText;
        QTest::newRow("self-closing tag")
            << QStringLiteral("<br/><img src=a.png />") << HtmlHighlighter::InText
            << QStringList{"tag:<br", "tag:/>", "tag:<img", "attr:src", "string:a.png", "tag:/>"}
            << HtmlHighlighter::InText;
        QTest::newRow("comment and entities in text")
            << QStringLiteral("a &amp; b &#169; &#xA9; <!-- <b>not a tag</b> --> c & d")
            << HtmlHighlighter::InText
            << QStringList{"entity:&amp;", "entity:&#169;", "entity:&#xA9;",
                           "comment:<!-- <b>not a tag</b> -->"}
            << HtmlHighlighter::InText;
        QTest::newRow("comment runs on") << QStringLiteral("x <!-- start") << HtmlHighlighter::InText
                                         << QStringList{"comment:<!-- start"} << HtmlHighlighter::InComment;
        QTest::newRow("comment ends")
            << QStringLiteral("still --> <p>") << HtmlHighlighter::InComment
            << QStringList{"comment:still -->", "tag:<p", "tag:>"} << HtmlHighlighter::InText;
        QTest::newRow("tag runs on") << QStringLiteral("<table border=\"1\"") << HtmlHighlighter::InText
                                     << QStringList{"tag:<table", "attr:border", "string:\"1\""}
                                     << HtmlHighlighter::InTag;
        QTest::newRow("attribute on the next line")
            << QStringLiteral("  cellpadding=\"2\">") << HtmlHighlighter::InTag
            << QStringList{"attr:cellpadding", "string:\"2\"", "tag:>"} << HtmlHighlighter::InText;
        QTest::newRow("value runs on")
            << QStringLiteral("<p title=\"one") << HtmlHighlighter::InText
            << QStringList{"tag:<p", "attr:title", "string:\"one"} << HtmlHighlighter::InDoubleQuoted;
        QTest::newRow("value ends") << QStringLiteral("two\">t") << HtmlHighlighter::InDoubleQuoted
                                    << QStringList{"string:two\"", "tag:>"} << HtmlHighlighter::InText;
        QTest::newRow("a lone < is text") << QStringLiteral("1 < 2 and a<b") << HtmlHighlighter::InText
                                          << QStringList{"tag:<b"} << HtmlHighlighter::InTag;
        QTest::newRow("declaration") << QStringLiteral("<!DOCTYPE html>") << HtmlHighlighter::InText
                                     << QStringList{"tag:<!DOCTYPE", "attr:html", "tag:>"}
                                     << HtmlHighlighter::InText;
        QTest::newRow("macro text stays plain")
            << QStringLiteral("Hallo [Vorname] %PRE_DATE%") << HtmlHighlighter::InText << QStringList{}
            << HtmlHighlighter::InText;
    }
    void tokenizes() {
        QFETCH(QString, line);
        QFETCH(State, start);
        QFETCH(QStringList, tokens);
        QFETCH(State, end);
        State reached = HtmlHighlighter::InText;
        QCOMPARE(Described(line, HtmlHighlighter::Tokenize(line, start, reached)), tokens);
        QCOMPARE(reached, end);
    }

    // The colours that a document shows, line by line, with states carried from line to line.
    void formatsEveryTokenKindInADocument() {
        QTextDocument document;
        document.setPlainText(QStringLiteral("<p class=\"x\">Gr&uuml;&szlig;e <!-- one\n"
                                             "two --> <a\n"
                                             "href='y'>z</a>"));
        HtmlHighlighter highlighter(&document);
        highlighter.rehighlight();
        struct Expected {
            int Line;
            QString Text;
            Kind TokenKind;
        };
        const Expected expected[] = {
            {0, "<p", Kind::Tag},        {0, "class", Kind::Attribute},  {0, "\"x\"", Kind::String},
            {0, "&uuml;", Kind::Entity}, {0, "<!-- one", Kind::Comment}, {1, "two -->", Kind::Comment},
            {1, "<a", Kind::Tag},        {2, "href", Kind::Attribute},   {2, "'y'", Kind::String},
            {2, "</a", Kind::Tag},
        };
        for (const Expected& e : expected) {
            const QTextBlock block = document.findBlockByNumber(e.Line);
            const int start = int(block.text().indexOf(e.Text));
            QVERIFY2(start >= 0, qPrintable(e.Text));
            bool found = false;
            for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
                if (range.start <= start && start + e.Text.size() <= range.start + range.length) {
                    QCOMPARE(range.format.foreground(), HtmlHighlighter::FormatOf(e.TokenKind).foreground());
                    found = true;
                }
            }
            QVERIFY2(found, qPrintable(QStringLiteral("no format on %1").arg(e.Text)));
        }
        // Text between tags keeps the document's own colour.
        const QTextBlock first = document.firstBlock();
        const int text = int(first.text().indexOf(QLatin1String("Gr")));
        for (const QTextLayout::FormatRange& range : first.layout()->formats())
            QVERIFY(!(range.start <= text && text < range.start + range.length));
    }

    void kindsLookDifferent() {
        const Kind kinds[] = {Kind::Tag, Kind::Attribute, Kind::String, Kind::Comment, Kind::Entity};
        QSet<QRgb> colours;
        for (Kind kind : kinds)
            colours.insert(HtmlHighlighter::FormatOf(kind).foreground().color().rgb());
        QCOMPARE(colours.size(), 5);
    }
};

QTEST_GUILESS_MAIN(tst_HtmlHighlighter)
#include "tst_HtmlHighlighter.moc"
