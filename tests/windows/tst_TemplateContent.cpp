// Template bodies between the stored styles: the RTF test, safe image names, image files and
// references, the conversions RTF <-> HTML with their images, and the two body record sets on a
// real database.
#include "Database.h"
#include "FileUtils.h"
#include "TemplateContent.h"
#include "TemplateContentStore.h"
#include "hostapi/RichTextTestSupport.h"
#include "support/TestDatabase.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace emailmarketing;
using richtexttest::Png;
using namespace emailmarketing::TemplateContent;

namespace {

qint64 AddTemplate(const QString& AName, const QString& ASubject, const QString& ABody) {
    return hostapi::Database::Exec(
               QStringLiteral(
                   "INSERT INTO \"emtemplates\" (\"name\", \"subject\", \"mailbody\", \"mailbodyhtml\", "
                   "\"emailstyle\") VALUES (?, ?, ?, ?, 1)"),
               {AName, ASubject, QStringLiteral("Text"), ABody})
        .lastInsertId()
        .toLongLong();
}

} // namespace

class tst_TemplateContent : public QObject {
    Q_OBJECT

private slots:
    void rtfIsOnlyABodyThatBeginsSo_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("rtf");
        QTest::newRow("rtf") << "{\\rtf1\\ansi Hallo}" << true;
        QTest::newRow("white space first") << " \r\n\t{\\rtf1 x}" << true;
        QTest::newRow("byte order mark first") << QString(QChar(0xFEFF)) + "{\\rtf1 x}" << true;
        QTest::newRow("html fragment") << "<p>Hallo</p>" << false;
        QTest::newRow("html naming rtf") << "<p>{\\rtf1 x}</p>" << false;
        QTest::newRow("text before") << "x{\\rtf1}" << false;
        QTest::newRow("empty") << "" << false;
    }
    void rtfIsOnlyABodyThatBeginsSo() {
        QFETCH(QString, body);
        QFETCH(bool, rtf);
        QCOMPARE(IsRtfBody(body), rtf);
    }

    void imageNamesAreReducedToTheirFileName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("safe");
        QTest::newRow("plain") << "logo.png"
                               << "logo.png";
        QTest::newRow("parent") << "../x.png"
                                << "x.png";
        QTest::newRow("backslashes") << "..\\..\\x.png"
                                     << "x.png";
        QTest::newRow("absolute") << "/etc/passwd"
                                  << "passwd";
        QTest::newRow("only parent") << ".."
                                     << "";
        QTest::newRow("folder") << "a/"
                                << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void imageNamesAreReducedToTheirFileName() {
        QFETCH(QString, name);
        QFETCH(QString, safe);
        QCOMPARE(SafeImageName(name), safe);
    }

    void imagesAreWrittenOnlyIntoTheirFolder() {
        QTemporaryDir root;
        const QString folder = root.path() + QStringLiteral("/images");
        QVERIFY(QDir().mkpath(folder));
        WriteImages({{QStringLiteral("../x.png"), "evil"},
                     {QStringLiteral(".."), "none"},
                     {QStringLiteral("logo.png"), "good"}},
                    folder);
        QCOMPARE(QDir(root.path()).entryList(QDir::Files), QStringList{});
        QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{"logo.png", "x.png"}));
        QCOMPARE(hostapi::LoadBinaryFile(folder + QStringLiteral("/x.png")), QByteArray("evil"));
    }

    void onlyExactSourcesGetTheImagePath() {
        const QString html = QStringLiteral("<img src=\"a.png\"><img SRC='b.png'><img src=\"a.png.bak\">"
                                            "<a href=\"a.png\">a.png</a><img src=\"c.png\">");
        QCOMPARE(ReferenceImages(html, {QStringLiteral("a.png"), QStringLiteral("b.png")}),
                 QStringLiteral("<img src=\"%IMAGEPATH%a.png\"><img SRC='%IMAGEPATH%b.png'>"
                                "<img src=\"a.png.bak\"><a href=\"a.png\">a.png</a><img src=\"c.png\">"));
    }

    void rtfBecomesHtmlWithItsImagesAndBack() {
        const QByteArray png = Png(4, 3, Qt::red);
        const QString rtf = HtmlToRtf(QStringLiteral("<p>Hallo <img src=\"%IMAGEPATH%logo.png\"></p>"),
                                      {{QStringLiteral("logo.png"), png}});
        QVERIFY(IsRtfBody(rtf));
        QVERIFY2(rtf.contains(QLatin1String("\\pict")), qPrintable(rtf.left(300)));

        const THtmlBody html = RtfToHtml(rtf, true);
        QVERIFY(html.HadImages);
        QCOMPARE(html.Images.size(), 1);
        const QString name = html.Images[0].FileName;
        QVERIFY2(html.Html.contains(ImagePathMacro + name), qPrintable(html.Html));
        QVERIFY(html.Html.contains(QLatin1String("Hallo")));
        QImage image;
        QVERIFY(image.loadFromData(html.Images[0].Data));
        QCOMPARE(image.size(), QSize(4, 3));
        QCOMPARE(image.pixelColor(1, 1), QColor(Qt::red));

        const QString again = HtmlToRtf(html.Html, html.Images);
        QVERIFY(again.contains(QLatin1String("\\pict")));
        QCOMPARE(RtfToHtml(again, true).Images.size(), 1);
    }

    void rtfWithoutKeptImagesDropsThem() {
        const QString rtf = HtmlToRtf(QStringLiteral("<p>Hallo <img src=\"%IMAGEPATH%logo.png\"></p>"),
                                      {{QStringLiteral("logo.png"), Png(4, 3, Qt::blue)}});
        const THtmlBody html = RtfToHtml(rtf, false);
        QVERIFY(html.HadImages);
        QVERIFY(html.Images.isEmpty());
        QVERIFY(!html.Html.contains(ImagePathMacro));
        QVERIFY(!RtfToHtml(QStringLiteral("{\\rtf1\\ansi Hallo}"), true).HadImages);
    }

    void storeWritesOnlyTheColumnsItIsGiven() {
        testsupport::TestDatabase db;
        const qint64 a =
            AddTemplate(QStringLiteral("A"), QStringLiteral("Betreff A"), QStringLiteral("{\\rtf1 a}"));
        const qint64 b =
            AddTemplate(QStringLiteral("B"), QStringLiteral("Betreff B"), QStringLiteral("{\\rtf1 b}"));
        TTemplateContentStore store;
        store.SetTemplateID(b);
        store.Refresh();
        QCOMPARE(store.Subject(), QStringLiteral("Betreff B"));
        store.Save({std::nullopt, QStringLiteral("Neu"), QStringLiteral("<p>b</p>")});
        QCOMPARE(testsupport::Value("emtemplates", "subject", "\"id\" = ?", {b}).toString(),
                 QStringLiteral("Betreff B"));
        QCOMPARE(testsupport::Value("emtemplates", "mailbody", "\"id\" = ?", {b}).toString(),
                 QStringLiteral("Neu"));
        QCOMPARE(testsupport::Value("emtemplates", "mailbodyhtml", "\"id\" = ?", {b}).toString(),
                 QStringLiteral("<p>b</p>"));
        QCOMPARE(testsupport::Value("emtemplates", "mailbodyhtml", "\"id\" = ?", {a}).toString(),
                 QStringLiteral("{\\rtf1 a}"));
    }

    void storeReplacesAllImagesOfItsTemplate() {
        testsupport::TestDatabase db;
        const qint64 a = AddTemplate(QStringLiteral("A"), QString(), QString());
        const qint64 b = AddTemplate(QStringLiteral("B"), QString(), QString());
        TTemplateContentStore store;
        store.SetTemplateID(b);
        store.ReplaceImages({{QStringLiteral("other.png"), "o"}});
        store.SetTemplateID(a);
        store.ReplaceImages({{QStringLiteral("old.png"), "1"}});
        store.ReplaceImages({{QStringLiteral("../x.png"), "2"}, {QStringLiteral("y.png"), "3"}});
        store.Refresh();
        QCOMPARE(store.Images(),
                 (QList<TEmbeddedImage>{{QStringLiteral("x.png"), "2"}, {QStringLiteral("y.png"), "3"}}));
        QCOMPARE(testsupport::Count("emlembededcontent", "\"emltemplateid\" = ?", {b}), 1);
        store.DeleteImages();
        QCOMPARE(testsupport::Count("emlembededcontent", "\"emltemplateid\" = ?", {a}), 0);
        QCOMPARE(testsupport::Count("emlembededcontent", "\"emltemplateid\" = ?", {b}), 1);
    }
};

QTEST_MAIN(tst_TemplateContent)
#include "tst_TemplateContent.moc"
