#include "HtmlText.h"

#include <QTest>

using namespace hostapi;

class tst_HtmlText : public QObject {
    Q_OBJECT

private slots:
    void HtmlDecode_data();
    void HtmlDecode();
    void StripHtmlMarkup_data();
    void StripHtmlMarkup();
};

void tst_HtmlText::HtmlDecode_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");

    QTest::newRow("named entities") << "Fish &amp; Chips &lt;b&gt; &quot;x&quot; &apos;y&apos;"
                                    << "Fish & Chips <b> \"x\" 'y'";
    QTest::newRow("Latin-1 and symbol names")
        << "M&uuml;ller &euro;5 &copy; &Omega;&thetasym;" << QString::fromUtf8("Müller €5 © Ωϑ");
    QTest::newRow("names are case-sensitive") << "&Uuml;&uuml;&AMP;" << QString::fromUtf8("Üü&AMP;");
    QTest::newRow("decimal and hexadecimal")
        << "&#65;&#x42;&#X43;&#228;&#x1F600;" << QString::fromUtf8("ABCä\U0001F600");
    QTest::newRow("numbers 128-159 are Windows-1252")
        << "&#128;&#150;&#x93;x&#x94;" << QString::fromUtf8("€–“x”");
    QTest::newRow("unknown name stays") << "&bogus; &amp"
                                        << "&bogus; &amp";
    QTest::newRow("no semicolon stays") << "a &amp b &#65 c"
                                        << "a &amp b &#65 c";
    QTest::newRow("invalid numbers stay") << "&#0; &#xD800; &#x110000; &#99999999999; &#; &#x; &#12a; &#xG1;"
                                          << "&#0; &#xD800; &#x110000; &#99999999999; &#; &#x; &#12a; &#xG1;";
    QTest::newRow("semicolon far away") << "&amp and so on; &amp;"
                                        << "&amp and so on; &";
    QTest::newRow("decoded text is not decoded again") << "&amp;lt; &amp;amp;"
                                                       << "&lt; &amp;";
    QTest::newRow("non-Latin-1 text untouched")
        << QString::fromUtf8("Здравствуйте 你好 &amp; ✓") << QString::fromUtf8("Здравствуйте 你好 & ✓");
    QTest::newRow("lone ampersands") << "& && &;"
                                     << "& && &;";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_HtmlText::HtmlDecode() {
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(hostapi::HtmlDecode(html), expected);
}

void tst_HtmlText::StripHtmlMarkup_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");

    QTest::newRow("document with head, script and style")
        << "<!DOCTYPE html><html><head><title>Newsletter</title><meta charset=\"utf-8\">"
           "<style>p { color: red; }</style><script>var a = 1 < 2;</script></head>"
           "<body><h1>Hello</h1><p>First   paragraph\n continues.</p><p>Second</p></body></html>"
        << "Hello\nFirst paragraph continues.\nSecond";
    QTest::newRow("script holding markup in strings")
        << "a<script type=\"text/javascript\">document.write(\"<p>x</p><style>\");</script>b"
        << "ab";
    QTest::newRow("style holding a script tag") << "a<style><script>alert(1)</script>p{}</style>b"
                                                << "ab";
    QTest::newRow("script inside script ends at the first end tag")
        << "a<script><script>x</script>visible</script>b"
        << "avisibleb";
    QTest::newRow("script end tag in other case") << "a<SCRIPT>x</ScRiPt >b"
                                                  << "ab";
    QTest::newRow("unclosed script drops the rest") << "a<script>x<p>y"
                                                    << "a";
    QTest::newRow("scripts and styles outside the head")
        << "<p>a</p><script>s()</script><p>b<style>x</style></p>"
        << "a\nb";
    QTest::newRow("comments") << "a<!-- <p>hidden</p> -->b<!---->c<!-- x -- y -->d"
                              << "abcd";
    QTest::newRow("unclosed comment") << "a<!-- hidden <p>b</p>"
                                      << "a";
    QTest::newRow("line breaks") << "one<br>two<BR/>three<br /><br>five"
                                 << "one\ntwo\nthree\n\nfive";
    QTest::newRow("block ends") << "<div>a</div><div>b<p>c</p>d</div><ul><li>e</li><li>f</li></ul>g"
                                << "a\nb\nc\nd\ne\nf\ng";
    QTest::newRow("at most one empty line") << "a<br><br><br><br>b<p></p><p></p>c"
                                            << "a\n\nb\nc";
    QTest::newRow("inline elements join") << "<b>bold</b> and <i>it</i><span>alic</span>"
                                          << "bold and italic";
    QTest::newRow("table rows and cells") << "<table><tr><th>Name</th><th>Ort</th></tr>"
                                             "<tr><td>Anna</td><td>Bern</td></tr></table>"
                                          << "Name\tOrt\nAnna\tBern";
    QTest::newRow("preformatted keeps spaces and lines") << "<p>x  y</p><pre>  a  b\n c</pre>z"
                                                         << "x y\n  a  b\n c\nz";
    QTest::newRow("entities decoded in text only")
        << "&lt;b&gt;not a tag&lt;/b&gt; &amp;nbsp; a&nbsp;b &#8364; &bogus;"
        << QString::fromUtf8("<b>not a tag</b> &nbsp; a\u00A0b € &bogus;");
    QTest::newRow("entity of a line break is white space") << "a&#10;b"
                                                           << "a b";
    QTest::newRow("quoted > inside attributes") << "<a href=\"x>y\" title='1 > 0'>link</a> text"
                                                << "link text";
    QTest::newRow("unclosed tag at the end") << "text <a href=\"x"
                                             << "text";
    QTest::newRow("less-than that opens no tag") << "1 < 2 and 3 <4 but a<b"
                                                 << "1 < 2 and 3 <4 but a";
    QTest::newRow("stray end tags") << "a</script></style></head></p>b"
                                    << "a\nb";
    QTest::newRow("text ends an unclosed head") << "<head><title>T</title>Hello <b>you</b>"
                                                << "Hello you";
    QTest::newRow("body ends an unclosed head") << "<head><style>x</style><body>Text"
                                                << "Text";
    QTest::newRow("title without head") << "<html><title>Newsletter</title><body>x</body></html>"
                                        << "x";
    QTest::newRow("processing instruction") << "<?xml version=\"1.0\"?><p>x</p>"
                                            << "x";
    QTest::newRow("non-Latin-1 text") << QString::fromUtf8("<p>Grüße — Ελληνικά</p><p>日本語 &#x1F600;</p>")
                                      << QString::fromUtf8("Grüße — Ελληνικά\n日本語 \U0001F600");
    QTest::newRow("CRLF line ends in the source") << "<p>a\r\nb</p>\r\n<p>c</p>\r\n"
                                                  << "a b\nc";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_HtmlText::StripHtmlMarkup() {
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(hostapi::StripHtmlMarkup(html), expected);
}

QTEST_APPLESS_MAIN(tst_HtmlText)
#include "tst_HtmlText.moc"
