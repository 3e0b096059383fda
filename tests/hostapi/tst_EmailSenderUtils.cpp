#include "EmailSenderUtils.h"
#include "FileUtils.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace hostapi;

class tst_EmailSenderUtils : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void CreateHTMLEmailContentIDBody_data();
    void CreateHTMLEmailContentIDBody();
    void NoFolderChangesNothing();

private:
    QTemporaryDir FRoot;
    QString FFolder;
};

void tst_EmailSenderUtils::initTestCase() {
    QVERIFY(FRoot.isValid());
    FFolder = FRoot.filePath(QStringLiteral("job/"));
    QVERIFY(QDir().mkpath(FFolder + QStringLiteral("sub")));
    for (const QString& name :
         {QStringLiteral("img.png"), QStringLiteral("bg.gif"), QStringLiteral("sub/x.png"),
          QStringLiteral("../x.png"), QStringLiteral("Bild 1.jpg")})
        SaveBinaryFile(FFolder + name, "picture");
    QVERIFY(QFile::link(FRoot.filePath(QStringLiteral("x.png")), FFolder + QStringLiteral("link.png")));
}

void tst_EmailSenderUtils::CreateHTMLEmailContentIDBody_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("inlineNames");

    const QStringList none;
    const QStringList img{QStringLiteral("img.png")};
    QTest::newRow("file in the folder") << R"(<p><img src="img.png" alt="Logo"></p>)"
                                        << R"(<p><img src="cid:img.png" alt="Logo"></p>)" << img;
    QTest::newRow("single quotes") << R"(<img src='img.png'>)"
                                   << R"(<img src='cid:img.png'>)" << img;
    QTest::newRow("no quotes") << R"(<img src=img.png alt=x>)"
                               << R"(<img src=cid:img.png alt=x>)" << img;
    QTest::newRow("background") << R"(<td background="bg.gif">x</td>)"
                                << R"(<td background="cid:bg.gif">x</td>)"
                                << QStringList{QStringLiteral("bg.gif")};
    QTest::newRow("background single-quoted")
        << R"(<body background='bg.gif'>)"
        << R"(<body background='cid:bg.gif'>)" << QStringList{QStringLiteral("bg.gif")};
    QTest::newRow("upper-case names") << R"(<IMG SRC = "img.png">)"
                                      << R"(<IMG SRC = "cid:img.png">)" << img;
    QTest::newRow("name with a blank")
        << R"(<img src="Bild 1.jpg">)"
        << R"(<img src="cid:Bild 1.jpg">)" << QStringList{QStringLiteral("Bild 1.jpg")};
    QTest::newRow("one file twice, listed once")
        << R"(<img src="img.png"><img src="img.png">)"
        << R"(<img src="cid:img.png"><img src="cid:img.png">)" << img;
    QTest::newRow("parent folder") << R"(<img src="../x.png">)"
                                   << R"(<img src="../x.png">)" << none;
    QTest::newRow("absolute path") << R"(<img src="/etc/x.png">)"
                                   << R"(<img src="/etc/x.png">)" << none;
    QTest::newRow("sub-folder") << R"(<img src="sub/x.png">)"
                                << R"(<img src="sub/x.png">)" << none;
    QTest::newRow("backslash path") << R"(<img src="sub\x.png">)"
                                    << R"(<img src="sub\x.png">)" << none;
    QTest::newRow("http") << R"(<img src="http://example.com/img.png">)"
                          << R"(<img src="http://example.com/img.png">)" << none;
    QTest::newRow("https background") << R"(<td background='https://example.com/bg.gif'>)"
                                      << R"(<td background='https://example.com/bg.gif'>)" << none;
    QTest::newRow("data") << R"(<img src="data:image/png;base64,iVBORw0KGgo=">)"
                          << R"(<img src="data:image/png;base64,iVBORw0KGgo=">)" << none;
    QTest::newRow("cid") << R"(<img src="cid:img.png">)"
                         << R"(<img src="cid:img.png">)" << none;
    QTest::newRow("missing file") << R"(<img src="none.png">)"
                                  << R"(<img src="none.png">)" << none;
    QTest::newRow("link out of the folder") << R"(<img src="link.png">)"
                                            << R"(<img src="link.png">)" << none;
    QTest::newRow("other attribute") << R"(<img data-src="img.png" title="src=img.png">)"
                                     << R"(<img data-src="img.png" title="src=img.png">)" << none;
    QTest::newRow("text, not a tag") << R"(<p>src="img.png"</p>)"
                                     << R"(<p>src="img.png"</p>)" << none;
    QTest::newRow("comment") << R"(<!-- <img src="img.png"> --><img src="bg.gif">)"
                             << R"(<!-- <img src="img.png"> --><img src="cid:bg.gif">)"
                             << QStringList{QStringLiteral("bg.gif")};
    QTest::newRow("quoted > in another attribute") << R"(<img alt="a>b" src="img.png">)"
                                                   << R"(<img alt="a>b" src="cid:img.png">)" << img;
}

void tst_EmailSenderUtils::CreateHTMLEmailContentIDBody() {
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QFETCH(QStringList, inlineNames);
    QStringList inlineFiles;
    QCOMPARE(TEmailSenderUtils::CreateHTMLEmailContentIDBody(html, FFolder, &inlineFiles), expected);
    QStringList expectedFiles;
    for (const QString& name : inlineNames)
        expectedFiles += QDir(FFolder).absoluteFilePath(name);
    QCOMPARE(inlineFiles, expectedFiles);
}

void tst_EmailSenderUtils::NoFolderChangesNothing() {
    const QString html = QStringLiteral("<img src=\"img.png\">");
    QStringList inlineFiles;
    QCOMPARE(TEmailSenderUtils::CreateHTMLEmailContentIDBody(html, QString(), &inlineFiles), html);
    QCOMPARE(TEmailSenderUtils::CreateHTMLEmailContentIDBody(html, FRoot.filePath(QStringLiteral("gone/")),
                                                             &inlineFiles),
             html);
    QVERIFY(inlineFiles.isEmpty());
}

QTEST_MAIN(tst_EmailSenderUtils)
#include "tst_EmailSenderUtils.moc"
