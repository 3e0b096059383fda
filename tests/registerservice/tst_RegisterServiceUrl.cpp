// The request of one fetch: the base URL joined with the path, the stamp percent-encoded.

#include "QVException.h"
#include "RegisterServiceUrl.h"

#include <QTest>
#include <QUrlQuery>

using namespace registerservice;

class tst_RegisterServiceUrl : public QObject {
    Q_OBJECT

private slots:
    void joinsBaseAndPath_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QString>("url");
        QTest::newRow("no slash, full fetch") << "http://h:81/rs"
                                              << ""
                                              << "http://h:81/rs/fetch.php?action=all";
        QTest::newRow("slash, full fetch") << "http://h:81/rs/"
                                           << ""
                                           << "http://h:81/rs/fetch.php?action=all";
        QTest::newRow("host only") << "https://h"
                                   << ""
                                   << "https://h/fetch.php?action=all";
        QTest::newRow("stamp") << "http://h/rs"
                               << "S2"
                               << "http://h/rs/fetch.php?action=last&last=S2";
        QTest::newRow("blank and ampersand")
            << "http://h/rs/"
            << "2026-01-31 10:00&x=1"
            << "http://h/rs/fetch.php?action=last&last=2026-01-31%2010%3A00%26x%3D1";
        QTest::newRow("umlaut, plus, hash") << "http://h/rs"
                                            << "ä+#"
                                            << "http://h/rs/fetch.php?action=last&last=%C3%A4%2B%23";
    }
    void joinsBaseAndPath() {
        QFETCH(QString, base);
        QFETCH(QString, stamp);
        QFETCH(QString, url);
        const QUrl made = FetchUrl(base, stamp);
        QCOMPARE(QString::fromLatin1(made.toEncoded()), url);
        if (!stamp.isEmpty()) // a server reads the stamp back unchanged
            QCOMPARE(QUrlQuery(made).queryItemValue("last", QUrl::FullyDecoded), stamp);
    }

    void refusesWhatIsNotAnHttpUrl_data() {
        QTest::addColumn<QString>("base");
        QTest::newRow("no scheme") << "register.example.org/rs";
        QTest::newRow("file") << "file:///tmp/rs";
        QTest::newRow("blank in host") << "http://a b/rs";
    }
    void refusesWhatIsNotAnHttpUrl() {
        QFETCH(QString, base);
        try {
            FetchUrl(base, {});
            QFAIL("no exception");
        } catch (const hostapi::EQVException& e) {
            QVERIFY2(e.Message().contains(base), qPrintable(e.Message()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_RegisterServiceUrl)
#include "tst_RegisterServiceUrl.moc"
