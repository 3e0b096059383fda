#include "FileOpener.h"
#include "QVException.h"
#include "UrlOpener.h"
#include "support/HostDoubles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace hostapi;

// Links and files handed to the desktop: only http, https and mailto links, only existing regular
// files that are no programs.
class tst_Openers : public QObject {
    Q_OBJECT

private slots:
    void onlyWebAndMailLinksAreHandedOn_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("handedOn");
        QTest::newRow("https") << "https://www.example.com/anmeldung?x=1" << true;
        QTest::newRow("http") << "http://example.com" << true;
        QTest::newRow("upper-case scheme") << "HTTPS://example.com/" << true;
        QTest::newRow("mailto") << "mailto:info@example.com?subject=Frage" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("ftp") << "ftp://example.com/datei" << false;
        QTest::newRow("http without host") << "http:///etc/passwd" << false;
        QTest::newRow("relative") << "anmeldung.html" << false;
        QTest::newRow("empty mailto") << "mailto:" << false;
        QTest::newRow("empty") << "" << false;
    }
    void onlyWebAndMailLinksAreHandedOn() {
        QFETCH(QString, url);
        QFETCH(bool, handedOn);
        testsupport::RecordingUrlOpener opener;
        if (handedOn) {
            OpenUrl(url);
            QCOMPARE(opener.Opened, QStringList{url});
        } else {
            QVERIFY_THROWS_EXCEPTION(EQVUserMessageException, OpenUrl(url));
            QVERIFY(opener.Opened.isEmpty());
        }
    }

    void onlyExistingRegularFilesThatAreNoProgramsAreOpened_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("opened");
        QTest::newRow("document") << "brief.pdf" << true;
        QTest::newRow("link to a document") << "link-to-brief" << true;
        QTest::newRow("folder") << "ordner" << false;
        QTest::newRow("desktop file") << "start.desktop" << false;
        QTest::newRow("executable") << "skript.sh" << false;
        QTest::newRow("link to an executable") << "link-to-skript" << false;
        QTest::newRow("missing") << "fehlt.txt" << false;
    }
    void onlyExistingRegularFilesThatAreNoProgramsAreOpened() {
        QFETCH(QString, name);
        QFETCH(bool, opened);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        auto write = [&](const QString& AName, QFile::Permissions APermissions) {
            QFile file(dir.filePath(AName));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("x");
            file.close();
            QVERIFY(file.setPermissions(APermissions));
        };
        write(QStringLiteral("brief.pdf"), QFile::ReadOwner | QFile::WriteOwner);
        write(QStringLiteral("start.desktop"), QFile::ReadOwner | QFile::WriteOwner);
        write(QStringLiteral("skript.sh"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ordner")));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("brief.pdf")),
                            dir.filePath(QStringLiteral("link-to-brief"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("skript.sh")),
                            dir.filePath(QStringLiteral("link-to-skript"))));

        testsupport::RecordingFileOpener opener;
        const QString path = dir.filePath(name);
        if (opened) {
            OpenFile(path);
            QCOMPARE(opener.Opened,
                     QStringList{QFileInfo(dir.filePath(QStringLiteral("brief.pdf"))).canonicalFilePath()});
        } else {
            try {
                OpenFile(path);
                QFAIL("the file was opened");
            } catch (const EQVUserMessageException& e) {
                QVERIFY2(e.Message().contains(path), qPrintable(e.Message()));
            }
            QVERIFY(opener.Opened.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(tst_Openers)
#include "tst_Openers.moc"
