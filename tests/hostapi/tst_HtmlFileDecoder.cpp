#include "FileUtils.h"
#include "HtmlFileDecoder.h"
#include "QVException.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace hostapi;

// How the editors read the bytes of an HTML file.
class tst_HtmlFileDecoder : public QObject {
    Q_OBJECT

private slots:
    void decodes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString umlauts = QStringLiteral("Grüße €");
        QTest::newRow("UTF-8 byte order mark, dropped")
            << QByteArray("\xEF\xBB\xBF<p>") + umlauts.toUtf8() << QStringLiteral("<p>") + umlauts;
        QTest::newRow("byte order mark wins over a meta charset")
            << QByteArray("\xEF\xBB\xBF<meta charset=\"windows-1252\"><p>") + umlauts.toUtf8()
            << QStringLiteral("<meta charset=\"windows-1252\"><p>") + umlauts;
        QByteArray utf16le("\xFF\xFE");
        for (const QChar c : QStringLiteral("<p>") + umlauts) {
            utf16le.append(char(c.unicode() & 0xFF));
            utf16le.append(char(c.unicode() >> 8));
        }
        QTest::newRow("UTF-16LE byte order mark") << utf16le << QStringLiteral("<p>") + umlauts;
        QTest::newRow("meta charset windows-1252")
            << QByteArray("<meta charset=\"windows-1252\"><p>Gr\xFC\xDF"
                          "e \x80")
            << QStringLiteral("<meta charset=\"windows-1252\"><p>") + umlauts;
        QTest::newRow("http-equiv iso-8859-1 means windows-1252")
            << QByteArray(
                   "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=ISO-8859-1\">\x80\x96")
            << QStringLiteral(
                   "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=ISO-8859-1\">€–");
        QTest::newRow("meta charset utf-8") << QByteArray("<meta charset=utf-8>") + umlauts.toUtf8()
                                            << QStringLiteral("<meta charset=utf-8>") + umlauts;
        QTest::newRow("no declaration, valid UTF-8") << umlauts.toUtf8() << umlauts;
        QTest::newRow("no declaration, not UTF-8: windows-1252") << QByteArray("Gr\xFC\xDF"
                                                                               "e \x80")
                                                                 << umlauts;
        QByteArray late(1100, ' ');
        late += "<meta charset=\"windows-1252\">\xE4";
        QTest::newRow("meta past the first 1024 bytes is not read")
            << late << QString(1100, QLatin1Char(' ')) + QStringLiteral("<meta charset=\"windows-1252\">ä");
    }
    void decodes() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString decoded = DecodeHtmlBytes(bytes);
        QCOMPARE(decoded.right(60), text.right(60));
        QCOMPARE(decoded, text);
    }

    void refusesWhatItCannotRead_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown charset")
            << QByteArray("<meta charset=\"x-no-such-set\"><p>x") << QStringLiteral("\"x-no-such-set\"");
        QTest::newRow("UTF-8 declared, bytes are not") << QByteArray("<meta charset=\"utf-8\"><p>Gr\xFC\xDF"
                                                                     "e")
                                                       << QStringLiteral("\"utf-8\"");
    }
    void refusesWhatItCannotRead() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        try {
            DecodeHtmlBytes(bytes);
            QFAIL("no exception");
        } catch (const EQVException& e) {
            QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
        }
    }

    void declaredCharset_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("charset");
        QTest::newRow("html5") << QByteArray("<meta charset='UTF-8'>") << QStringLiteral("utf-8");
        QTest::newRow("http-equiv")
            << QByteArray("<meta http-equiv=\"content-type\" content=\"text/html; charset=koi8-r\">")
            << QStringLiteral("koi8-r");
        QTest::newRow("none") << QByteArray("<p>charset=utf-8</p>") << QString();
    }
    void declaredCharset() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, charset);
        QCOMPARE(DeclaredHtmlCharset(bytes), charset);
    }

    void localImages_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("file"); // below the HTML file's folder; empty: refused
        QTest::newRow("beside the file") << "logo.png"
                                         << "logo.png";
        QTest::newRow("in a subfolder") << "img/logo.png"
                                        << "img/logo.png";
        QTest::newRow("escaped name") << "img/foto%201.png"
                                      << "img/foto 1.png";
        QTest::newRow("down and up again") << "img/../logo.png"
                                           << "logo.png";
        QTest::newRow("parent folder") << "../outside.png"
                                       << "";
        QTest::newRow("absolute path") << "{root}/outside.png"
                                       << "";
        QTest::newRow("file URL") << "file://{root}/mail/logo.png"
                                  << "";
        QTest::newRow("web address") << "http://127.0.0.1:9/logo.png"
                                     << "";
        QTest::newRow("no picture") << "notes.png"
                                    << "";
        QTest::newRow("missing") << "gone.png"
                                 << "";
        QTest::newRow("link to a picture") << "link.png"
                                           << "";
        QTest::newRow("backslashes") << "img\\logo.png"
                                     << "";
    }
    void localImages() {
        QFETCH(QString, source);
        QFETCH(QString, file);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("mail/img")));
        const QString mail = root.filePath(QStringLiteral("mail"));
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(Qt::red);
        for (const char* name : {"mail/logo.png", "mail/img/logo.png", "mail/img/foto 1.png", "outside.png"})
            QVERIFY(picture.save(root.filePath(QLatin1String(name)), "PNG"));
        SaveBinaryFile(mail + QStringLiteral("/notes.png"), "no picture");
        QVERIFY(
            QFile::link(root.filePath(QStringLiteral("outside.png")), mail + QStringLiteral("/link.png")));
        source.replace(QLatin1String("{root}"), root.path());
        const QString found = LocalHtmlImage(mail, source);
        QCOMPARE(found.isEmpty() ? QString() : QDir(mail).relativeFilePath(found), file);
    }

    void fileErrorsNameTheFile() {
        const QString path = QStringLiteral("/nonexistent-folder/page.html");
        try {
            LoadHtmlFile(path);
            QFAIL("no exception");
        } catch (const EQVException& e) {
            QVERIFY2(e.Message().contains(path), qPrintable(e.Message()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_HtmlFileDecoder)
#include "tst_HtmlFileDecoder.moc"
