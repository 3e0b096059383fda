#include "LocalSettingsStorage.h"
#include "QVException.h"
#include "SettingsStore.h"
#include "support/TestDatabase.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

using namespace hostapi;

namespace {

class TfrmSample : public QWidget {
    Q_OBJECT
};

class TfrmOther : public QWidget {
    Q_OBJECT
};

QRect Available() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

} // namespace

class tst_LocalSettingsStorage : public QObject {
    Q_OBJECT

private slots:
    void windowGeometryIsKeptBetweenRuns() {
        testsupport::TestDatabase db;
        LocalSettingsStorage storage(SettingsStore::Instance());
        const QRect area = Available();
        const QRect geometry(area.left() + 40, area.top() + 30, area.width() / 2, area.height() / 2);
        {
            TfrmSample window;
            window.setGeometry(geometry);
            storage.SaveWindowState(window);
        }
        QCOMPARE(
            SettingsStore::Instance().ReadString(QStringLiteral("WINDOWSTATE"), QStringLiteral("TfrmSample")),
            QStringLiteral("%1,%2,%3,%4,0")
                .arg(geometry.x())
                .arg(geometry.y())
                .arg(geometry.width())
                .arg(geometry.height()));
        TfrmSample next; // the next run's window
        QVERIFY(storage.RestoreWindowState(next));
        QCOMPARE(next.geometry(), geometry);
        TfrmOther other; // another class keeps its own state
        QVERIFY(!storage.RestoreWindowState(other));
    }

    void maximizedWindowKeepsItsNormalGeometry() {
        testsupport::TestDatabase db;
        LocalSettingsStorage storage(SettingsStore::Instance());
        const QRect area = Available();
        const QRect normal(area.left() + 10, area.top() + 10, 300, 200);
        TfrmSample window;
        window.setGeometry(normal);
        window.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        storage.SaveWindowState(window);
        TfrmSample next;
        QVERIFY(storage.RestoreWindowState(next));
        QVERIFY(next.windowState().testFlag(Qt::WindowMaximized));
        QCOMPARE(next.geometry(), normal);
    }

    void restoreFitsTheWindowIntoTheScreen_data() {
        QTest::addColumn<QRect>("stored");   // relative to the available area's top left
        QTest::addColumn<QRect>("expected"); // relative to the available area's top left
        const QRect a = Available();
        QTest::newRow("fits: unchanged") << QRect(5, 5, 200, 100) << QRect(5, 5, 200, 100);
        QTest::newRow("off to the right and below: moved in")
            << QRect(a.width() + 500, a.height() + 500, 200, 100)
            << QRect(a.width() - 200, a.height() - 100, 200, 100);
        QTest::newRow("off to the left and above: moved in")
            << QRect(-900, -700, 200, 100) << QRect(0, 0, 200, 100);
        QTest::newRow("larger than the screen: shrunk")
            << QRect(-50, -50, a.width() + 400, a.height() + 300) << QRect(0, 0, a.width(), a.height());
    }
    void restoreFitsTheWindowIntoTheScreen() {
        QFETCH(QRect, stored);
        QFETCH(QRect, expected);
        const QRect a = Available();
        QCOMPARE(LocalSettingsStorage::FitIntoArea(stored.translated(a.topLeft()), a),
                 expected.translated(a.topLeft()));

        testsupport::TestDatabase db;
        const QRect s = stored.translated(a.topLeft());
        SettingsStore::Instance().WriteString(
            QStringLiteral("WINDOWSTATE"), QStringLiteral("TfrmSample"),
            QStringLiteral("%1,%2,%3,%4,0").arg(s.x()).arg(s.y()).arg(s.width()).arg(s.height()));
        TfrmSample window;
        QVERIFY(LocalSettingsStorage(SettingsStore::Instance()).RestoreWindowState(window));
        QCOMPARE(window.geometry(), expected.translated(a.topLeft()));
    }

    void unreadableStateRaises_data() {
        QTest::addColumn<QString>("stored");
        QTest::newRow("too few numbers") << "10,20,300";
        QTest::newRow("not a number") << "10,20,breit,200,0";
        QTest::newRow("zero width") << "10,20,0,200,0";
        QTest::newRow("maximized flag 2") << "10,20,300,200,2";
    }
    void unreadableStateRaises() {
        QFETCH(QString, stored);
        testsupport::TestDatabase db;
        SettingsStore::Instance().WriteString(QStringLiteral("WINDOWSTATE"), QStringLiteral("TfrmSample"),
                                              stored);
        TfrmSample window;
        const QRect before = window.geometry();
        QVERIFY_THROWS_EXCEPTION(EQVException,
                                 LocalSettingsStorage(SettingsStore::Instance()).RestoreWindowState(window));
        QCOMPARE(window.geometry(), before);
    }

    void splitterSizesAreKeptPerWindowAndSplitter() {
        testsupport::TestDatabase db;
        TfrmSample window;
        TfrmOther other;
        {
            LocalSettingsStorage storage(SettingsStore::Instance());
            storage.SaveSplitterSizes(window, QStringLiteral("splMain"), {120, 380});
            storage.SaveSplitterSizes(window, QStringLiteral("splDetail"), {10, 20, 30});
        }
        LocalSettingsStorage storage(SettingsStore::Instance());
        QCOMPARE(storage.RestoreSplitterSizes(window, QStringLiteral("splMain")), (QList<int>{120, 380}));
        QCOMPARE(storage.RestoreSplitterSizes(window, QStringLiteral("splDetail")), (QList<int>{10, 20, 30}));
        QVERIFY(storage.RestoreSplitterSizes(other, QStringLiteral("splMain")).isEmpty());
        SettingsStore::Instance().WriteString(
            QStringLiteral("WINDOWSTATE"), QStringLiteral("TfrmOther.splMain"), QStringLiteral("10,breit"));
        QVERIFY_THROWS_EXCEPTION(EQVException,
                                 storage.RestoreSplitterSizes(other, QStringLiteral("splMain")));
    }

    void languageIsKeptBetweenRuns_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("restored");
        QTest::newRow("French") << "French"
                                << "French";
        QTest::newRow("letter case of the menu") << "italian"
                                                 << "Italian";
        QTest::newRow("back to German") << "German"
                                        << "German";
    }
    void languageIsKeptBetweenRuns() {
        QFETCH(QString, chosen);
        QFETCH(QString, restored);
        testsupport::TestDatabase db;
        QCOMPARE(LocalSettingsStorage(SettingsStore::Instance()).RestoreLanguage(),
                 QString()); // none chosen yet
        LocalSettingsStorage(SettingsStore::Instance()).SaveLanguage(chosen);
        QCOMPARE(LocalSettingsStorage(SettingsStore::Instance()).RestoreLanguage(), restored);
    }

    void unknownLanguageIsRefused() {
        testsupport::TestDatabase db;
        LocalSettingsStorage storage(SettingsStore::Instance());
        QVERIFY_THROWS_EXCEPTION(EQVException, storage.SaveLanguage(QStringLiteral("Klingon")));
        QCOMPARE(storage.RestoreLanguage(), QString());
        SettingsStore::Instance().WriteString(QStringLiteral("LOCALSETTINGS"), QStringLiteral("LANGUAGE"),
                                              QStringLiteral("Klingon"));
        QVERIFY_THROWS_EXCEPTION(EQVException, storage.RestoreLanguage());
    }
};

QTEST_MAIN(tst_LocalSettingsStorage)
#include "tst_LocalSettingsStorage.moc"
