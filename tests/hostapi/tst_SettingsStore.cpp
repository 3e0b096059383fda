#include "Database.h"
#include "QVException.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "support/TestDatabase.h"

#include <QMutex>
#include <QThread>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

using namespace hostapi;
using testsupport::Backend;
using testsupport::TestDatabase;

class tst_SettingsStore : public QObject {
    Q_OBJECT

private slots:
    void ReadWrite_data();
    void ReadWrite();
    void StringDataSurvivesTheStore_data();
    void StringDataSurvivesTheStore();
    void StoredRows_data();
    void StoredRows();
    void EmptyNamesAreRefused_data();
    void EmptyNamesAreRefused();
    void ThreadsShareTheStore_data();
    void ThreadsShareTheStore();

private:
    // Calls `addRow` for every backend the test run selects (TestDatabase::SelectedBackends).
    static void AddBackendRows(const std::function<void(const char*, Backend)>& addRow);
};

void tst_SettingsStore::AddBackendRows(const std::function<void(const char*, Backend)>& addRow) {
    for (const Backend backend : TestDatabase::SelectedBackends())
        addRow(backend == Backend::SQLite ? "sqlite" : "postgresql", backend);
}

void tst_SettingsStore::ReadWrite_data() {
    QTest::addColumn<Backend>("backend");
    QTest::addColumn<QString>("write");   // "string", "integer" or "" (nothing written)
    QTest::addColumn<QString>("written"); // the text, or the integer's decimal text
    QTest::addColumn<int>("defaultValue");
    QTest::addColumn<QString>("asString");
    QTest::addColumn<int>("asInteger");

    AddBackendRows([](const char* name, Backend backend) {
        auto row = [&](const char* what) -> QTestData& {
            return QTest::addRow("%s: %s", name, what) << backend;
        };
        row("absent key reads empty text and 0") << ""
                                                 << "" << 0 << "" << 0;
        row("absent key reads the caller's default") << ""
                                                     << "" << 1000 << "" << 1000;
        row("integer written reads as text") << "integer"
                                             << "42" << 0 << "42" << 42;
        row("negative integer") << "integer"
                                << "-7" << 0 << "-7" << -7;
        row("text that is a number reads as integer") << "string"
                                                      << "1000" << 0 << "1000" << 1000;
        row("text with a plus sign is a number") << "string"
                                                 << "+5" << 0 << "+5" << 5;
        row("text that is not a number reads the default") << "string"
                                                           << "abc" << 1 << "abc" << 1;
        row("number with blanks is not a number") << "string"
                                                  << " 12" << -1 << " 12" << -1;
        row("number with a line break is not a number") << "string"
                                                        << "12\n"
                                                        << -1 << "12\n"
                                                        << -1;
        row("number beyond 32 bits is not a number") << "string"
                                                     << "2147483648" << -1 << "2147483648" << -1;
        row("empty text reads the default") << "string"
                                            << "" << 1 << "" << 1;
    });
}

void tst_SettingsStore::ReadWrite() {
    QFETCH(Backend, backend);
    QFETCH(QString, write);
    QFETCH(QString, written);
    QFETCH(int, defaultValue);
    QFETCH(QString, asString);
    QFETCH(int, asInteger);
    QV_SKIP_UNLESS_BACKEND(backend);
    const auto db = std::make_unique<TestDatabase>(backend);
    ISettingsStore& store = SettingsStore::Instance();

    if (write == "string")
        store.WriteString("EMLMARK", "DEFUNITCOUNT", written);
    else if (write == "integer")
        store.WriteInteger("EMLMARK", "DEFUNITCOUNT", written.toInt());
    store.Flush();

    QCOMPARE(store.ReadString("EMLMARK", "DEFUNITCOUNT"), asString);
    QCOMPARE(store.ReadInteger("EMLMARK", "DEFUNITCOUNT", defaultValue), asInteger);
    if (defaultValue == 0)
        QCOMPARE(store.ReadInteger("EMLMARK", "DEFUNITCOUNT"), asInteger);
}

void tst_SettingsStore::StringDataSurvivesTheStore_data() {
    QTest::addColumn<Backend>("backend");
    QTest::addColumn<QString>("text");
    AddBackendRows([](const char* name, Backend backend) {
        QTest::addRow("%s: password with blanks and symbols", name) << backend << " p@ss = \\w0rd' ";
        QTest::addRow("%s: lines", name) << backend << "line 1\r\nline 2\n";
        QTest::addRow("%s: non-ASCII", name) << backend << "Grüße aus 東京 €";
    });
}

void tst_SettingsStore::StringDataSurvivesTheStore() {
    QFETCH(Backend, backend);
    QFETCH(QString, text);
    QV_SKIP_UNLESS_BACKEND(backend);
    const auto db = std::make_unique<TestDatabase>(backend);
    ISettingsStore& store = SettingsStore::Instance();
    store.WriteString("EMLMARK", "DEFSRVPAS", StrToStringData(text));
    QCOMPARE(StringDataToStr(store.ReadString("EMLMARK", "DEFSRVPAS"), true), text);
}

void tst_SettingsStore::StoredRows_data() {
    QTest::addColumn<Backend>("backend");
    AddBackendRows([](const char* name, Backend backend) { QTest::addRow("%s", name) << backend; });
}

// Section and key compare without regard to case, are kept upper-cased, and a write replaces the
// one row of its key.
void tst_SettingsStore::StoredRows() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    const auto db = std::make_unique<TestDatabase>(backend);
    ISettingsStore& store = SettingsStore::Instance();

    store.WriteString("emlMark", "globadrefld", "email1");
    store.WriteString("EMLMARK", "GlobAdrefld", "email2");
    store.WriteInteger("REGSRV", "globadrefld", 3);
    QCOMPARE(store.ReadString("EmlMark", "GLOBADREFLD"), QString("email2"));
    QCOMPARE(store.ReadInteger("regsrv", "GlobAdrefld"), 3);

    QSqlQuery rows = Database::Exec(
        QStringLiteral(R"(SELECT "section", "key", "value" FROM qvsettings ORDER BY "section", "key")"));
    QStringList stored;
    while (rows.next())
        stored << rows.value(0).toString() + "/" + rows.value(1).toString() + "=" + rows.value(2).toString();
    QCOMPARE(stored, (QStringList{"EMLMARK/GLOBADREFLD=email2", "REGSRV/GLOBADREFLD=3"}));
}

void tst_SettingsStore::EmptyNamesAreRefused_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::newRow("empty section") << ""
                                   << "DNS";
    QTest::newRow("empty key") << "EMLMARK"
                               << "";
}

void tst_SettingsStore::EmptyNamesAreRefused() {
    QFETCH(QString, section);
    QFETCH(QString, key);
    const auto db = std::make_unique<TestDatabase>(Backend::SQLite);
    ISettingsStore& store = SettingsStore::Instance();
    QVERIFY_THROWS_EXCEPTION(EQVException, store.WriteString(section, key, "x"));
    QVERIFY_THROWS_EXCEPTION(EQVException, store.WriteInteger(section, key, 1));
    QVERIFY_THROWS_EXCEPTION(EQVException, store.ReadString(section, key));
    QVERIFY_THROWS_EXCEPTION(EQVException, store.ReadInteger(section, key));
}

void tst_SettingsStore::ThreadsShareTheStore_data() {
    QTest::addColumn<Backend>("backend");
    AddBackendRows([](const char* name, Backend backend) { QTest::addRow("%s", name) << backend; });
}

// 8 threads write and read their own keys and one shared key at the same time, each through its own
// connection: nothing fails, every own value reads back at once, the shared key always holds one
// whole value that some thread wrote, and at the end every key holds its last value.
void tst_SettingsStore::ThreadsShareTheStore() {
    QFETCH(Backend, backend);
    QV_SKIP_UNLESS_BACKEND(backend);
    const auto db = std::make_unique<TestDatabase>(backend);
    constexpr int ThreadCount = 8;
    constexpr int Rounds = 60;
    constexpr int OwnKeys = 3;

    QMutex failuresLock;
    QStringList failures;
    auto fail = [&](const QString& text) {
        QMutexLocker lock(&failuresLock);
        failures << text;
    };

    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < ThreadCount; ++t) {
        threads.emplace_back(QThread::create([t, &fail] {
            try {
                ISettingsStore& store = SettingsStore::Instance();
                for (int round = 0; round < Rounds; ++round) {
                    const QString key = QStringLiteral("T%1K%2").arg(t).arg(round % OwnKeys);
                    store.WriteInteger("STRESS", key, round);
                    if (store.ReadInteger("stress", key.toLower(), -1) != round)
                        fail(QStringLiteral("thread %1: own key %2 did not read back %3")
                                 .arg(t)
                                 .arg(key)
                                 .arg(round));

                    store.WriteString("STRESS", "SHARED",
                                      QStringLiteral("thread %1 round %2").arg(t).arg(round));
                    const QString shared = store.ReadString("STRESS", "SHARED");
                    if (!shared.startsWith("thread ") || !shared.contains(" round "))
                        fail(QStringLiteral("thread %1: shared key read \"%2\"").arg(t).arg(shared));
                }
                store.Flush();
            } catch (const EQVException& e) {
                fail(QStringLiteral("thread %1: %2").arg(t).arg(e.Message()));
            }
        }));
    }
    for (auto& thread : threads)
        thread->start();
    for (auto& thread : threads)
        QVERIFY(thread->wait(QDeadlineTimer(120000)));
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));

    ISettingsStore& store = SettingsStore::Instance();
    for (int t = 0; t < ThreadCount; ++t) {
        for (int k = 0; k < OwnKeys; ++k) {
            const int lastRound = Rounds - OwnKeys + k;
            QCOMPARE(store.ReadInteger("STRESS", QStringLiteral("T%1K%2").arg(t).arg(k), -1), lastRound);
        }
    }
    QVERIFY(store.ReadString("STRESS", "SHARED").endsWith(QStringLiteral(" round %1").arg(Rounds - 1)));
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_SettingsStore.moc"
