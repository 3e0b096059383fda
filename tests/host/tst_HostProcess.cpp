#include "Database.h"
#include "SettingsStore.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <array>

#include <signal.h>

using testsupport::Backend;
using testsupport::TestDatabase;

namespace {

// The folder that holds the test module and nothing else loadable.
QString TestModuleFolder() {
    return QFileInfo(QStringLiteral(QV_TEST_MODULE)).absolutePath();
}

// A display number whose X server socket does not exist.
int UnusedDisplayNumber() {
    int number = 917;
    while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
        ++number;
    return number;
}

} // namespace

// qvhost itself, started as a user or a service manager starts it: command-line errors, a missing
// display, a start error without a visible screen, and SIGTERM / SIGINT closing it in order.
class tst_HostProcess : public QObject {
    Q_OBJECT

private:
    // The host's environment: its own data folder (where the default database would go), offscreen.
    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), FData->path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("QV_DATABASE"));
        env.remove(QStringLiteral("QV_DATABASE_URL"));
        return env;
    }

    // Runs qvhost to its end (30 s at most) and answers its exit code; -1 when it did not end.
    int Run(QProcess& AProcess, const QStringList& AArguments, const QProcessEnvironment& AEnvironment) {
        AProcess.setProcessEnvironment(AEnvironment);
        AProcess.start(QStringLiteral(QV_HOST_EXECUTABLE), AArguments);
        if (!AProcess.waitForFinished(30000)) {
            AProcess.kill();
            AProcess.waitForFinished();
            return -1;
        }
        return AProcess.exitStatus() == QProcess::NormalExit ? AProcess.exitCode() : -1;
    }

    bool DefaultDataFolderExists() const {
        return QFileInfo::exists(FData->filePath(QStringLiteral("QVCampaign")));
    }

    std::unique_ptr<QTemporaryDir> FData;

private slots:
    void init() { FData = std::make_unique<QTemporaryDir>(); }

    void refusedCommandLineWritesNothing_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("mistyped option")
            << QStringList{"--databse", "mine.sqlite"}
            << "qvhost: Unbekannte Option --databse. qvhost --help zeigt die Optionen.";
        QTest::newRow("missing value") << QStringList{"--modules", "/tmp", "--database"}
                                       << "qvhost: Die Option --database braucht einen Wert.";
        QTest::newRow("stray argument")
            << QStringList{"mine.sqlite"}
            << "qvhost: Unerwartetes Argument \"mine.sqlite\": der Host nimmt nur Optionen.";
        QTest::newRow("option where the database belongs")
            << QStringList{"--database", "--help"}
            << "qvhost: Die Option --database braucht einen Wert, nicht die Option --help. Ein Wert, der mit "
               "\"-\" beginnt, wird als --database=-wert angegeben.";
    }

    void refusedCommandLineWritesNothing() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QProcess host;
        host.setWorkingDirectory(FData->path());
        QCOMPARE(Run(host, arguments, Environment()), 2);
        QCOMPARE(QString::fromLocal8Bit(host.readAllStandardError()).trimmed(), message);
        QVERIFY(host.readAllStandardOutput().isEmpty());
        QVERIFY(!DefaultDataFolderExists());
        QCOMPARE(QDir(FData->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }

    void helpPrintsOptionsAndEnvironment() {
        QProcess host;
        QCOMPARE(Run(host, {QStringLiteral("--help")}, Environment()), 0);
        const QString help = QString::fromLocal8Bit(host.readAllStandardOutput());
        for (const char* name : {"--modules DIR", "--database PATH", "--database-url URL", "QV_DATABASE_URL",
                                 "DISPLAY", "QT_QPA_PLATFORM"})
            QVERIFY2(help.contains(QLatin1String(name)), name);
        QVERIFY(!DefaultDataFolderExists());
    }

    void withoutDisplayTheHostSaysSo() {
        QProcessEnvironment env = Environment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        QProcess host;
        QCOMPARE(Run(host, {}, env), 1);
        const QString error = QString::fromLocal8Bit(host.readAllStandardError());
        QVERIFY2(error.startsWith(QStringLiteral(
                     "qvhost: Keine Anzeige: weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt.")),
                 qPrintable(error));
        QVERIFY(!DefaultDataFolderExists());
    }

    // A display that is named but cannot be reached: Qt's fatal error (SIGABRT, "Reinstalling the
    // application may fix this problem") becomes the host's message and exit status 1.
    void unreachableDisplayTheHostSaysSo_data() {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("tried");
        // No X server listens on this display number, no compositor on this socket.
        const QString display = QStringLiteral(":%1").arg(UnusedDisplayNumber());
        QTest::newRow("X11") << QStringList{"DISPLAY=" + display} << "DISPLAY=" + display;
        QTest::newRow("Wayland without DISPLAY")
            << QStringList{"WAYLAND_DISPLAY=qv-no-compositor"} << "WAYLAND_DISPLAY=qv-no-compositor";
        QTest::newRow("platform chosen") << QStringList{"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display}
                                         << "QT_QPA_PLATFORM=xcb, DISPLAY=" + display;
    }

    void unreachableDisplayTheHostSaysSo() {
        QFETCH(QStringList, environment);
        QFETCH(QString, tried);
        QProcessEnvironment env = Environment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), FData->path());
        for (const QString& variable : environment)
            env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        QProcess host;
        host.setWorkingDirectory(FData->path());
        QCOMPARE(Run(host, {"--database", FData->filePath(QStringLiteral("host.sqlite"))}, env), 1);
        const QString error = QString::fromLocal8Bit(host.readAllStandardError());
        QVERIFY2(
            error.contains(QStringLiteral("qvhost: Die Anzeige ist nicht erreichbar (%1). Der Host braucht "
                                          "eine Anzeige für seine Fenster")
                               .arg(tried)),
            qPrintable(error));
        QVERIFY2(!error.contains(QStringLiteral("Reinstalling")), qPrintable(error));
        QVERIFY(!QFileInfo::exists(FData->filePath(QStringLiteral("host.sqlite"))));
    }

    void startErrorWithoutScreenGoesToStandardError_data() {
        QTest::addColumn<QString>("platform");
        QTest::newRow("offscreen") << QStringLiteral("offscreen");
        QTest::newRow("minimal") << QStringLiteral("minimal");
    }

    void startErrorWithoutScreenGoesToStandardError() {
        QFETCH(QString, platform);
        QProcessEnvironment env = Environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        QProcess host;
        const QString missing = FData->filePath(QStringLiteral("no-modules"));
        QCOMPARE(Run(host,
                     {"--database", FData->filePath(QStringLiteral("host.sqlite")), "--modules", missing},
                     env),
                 1);
        const QString error = QString::fromLocal8Bit(host.readAllStandardError());
        QVERIFY2(error.contains(
                     QStringLiteral("qvhost: Der Host konnte nicht gestartet werden. Der Modulordner %1 "
                                    "kann nicht gelesen werden.")
                         .arg(missing)),
                 qPrintable(error));
    }

    // Two first starts at the same moment on one PostgreSQL database: both hosts are held where they
    // would read the empty address table (the test locks it) until both wait, then let go. The demo
    // addresses exist once.
    void twoFirstStartsSeedOnce() {
        if (!TestDatabase::PostgresAvailable())
            QSKIP(TestDatabase::PostgresSkipReason());
        TestDatabase database(Backend::PostgreSQL);
        QCOMPARE(testsupport::Count(QStringLiteral("pelm_addresses_ass")), 0);
        const QString application = QStringLiteral("qvt_seed_%1").arg(QCoreApplication::applicationPid());
        QUrl url(hostapi::Database::Config().PostgresUrl);
        QUrlQuery query(url);
        query.addQueryItem(QStringLiteral("application_name"), application);
        url.setQuery(query);
        QProcessEnvironment env = Environment();
        env.insert(QStringLiteral("QV_DATABASE_URL"), url.toString());
        QTemporaryDir noModules;

        std::array<QProcess, 2> hosts;
        const auto stop = qScopeGuard([&hosts] {
            for (QProcess& host : hosts) {
                if (host.state() != QProcess::NotRunning) {
                    host.kill();
                    host.waitForFinished();
                }
            }
        });
        std::array<QByteArray, 2> errors;
        {
            hostapi::Transaction hold;
            hostapi::Database::Exec(QStringLiteral("LOCK TABLE pelm_addresses_ass IN ACCESS EXCLUSIVE MODE"));
            for (QProcess& host : hosts) {
                host.setProcessEnvironment(env);
                host.start(QStringLiteral(QV_HOST_EXECUTABLE), {"--modules", noModules.path()});
                QVERIFY(host.waitForStarted());
            }
            const auto waiting = [&application] {
                hostapi::Database::Exec(QStringLiteral("SELECT pg_stat_clear_snapshot()"));
                QSqlQuery count = hostapi::Database::Exec(
                    QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE application_name = ? AND "
                                   "wait_event_type = 'Lock'"),
                    {application});
                return count.next() ? count.value(0).toInt() : -1;
            };
            QTRY_COMPARE_WITH_TIMEOUT(waiting(), 2, 30000);
            hold.Commit();
        }
        for (std::size_t i = 0; i < hosts.size(); ++i)
            QTRY_VERIFY_WITH_TIMEOUT(
                (errors[i] += hosts[i].readAllStandardError()).contains("Loaded 0 of 0 modules"), 30000);
        for (QProcess& host : hosts) {
            QCOMPARE(::kill(pid_t(host.processId()), SIGTERM), 0);
            QVERIFY(host.waitForFinished(30000));
            QCOMPARE(host.exitCode(), 0);
        }
        QCOMPARE(testsupport::Count(QStringLiteral("pelm_addresses_ass")), 10);
        QCOMPARE(testsupport::Count(QStringLiteral("pelm_addresses_det")), 10);
        QCOMPARE(int(errors[0].contains("Seeded 10 demo addresses")) +
                     int(errors[1].contains("Seeded 10 demo addresses")),
                 1);
    }

    void signalClosesTheHostInOrder_data() {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<int>("signal");
        for (const Backend backend : TestDatabase::SelectedBackends()) {
            const char* name = backend == Backend::SQLite ? "sqlite" : "postgresql";
            QTest::addRow("SIGTERM %s", name) << backend << SIGTERM;
            QTest::addRow("SIGINT %s", name) << backend << SIGINT;
        }
    }

    // The module runs a job and would refuse a shut-down if asked: the signal closes the host
    // without asking, the job ends and its row is closed, and the module is unloaded.
    void signalClosesTheHostInOrder() {
        QFETCH(Backend, backend);
        QFETCH(int, signal);
        if (backend == Backend::PostgreSQL && !TestDatabase::PostgresAvailable())
            QSKIP(TestDatabase::PostgresSkipReason());
        TestDatabase database(backend);
        QProcessEnvironment env = Environment();
        QStringList arguments{"--modules", TestModuleFolder()};
        if (backend == Backend::SQLite)
            arguments << "--database" << database.SqlitePath();
        else
            env.insert(QStringLiteral("QV_DATABASE_URL"), hostapi::Database::Config().PostgresUrl);
        env.insert(QStringLiteral("QV_TEST_MODULE_JOB"), QStringLiteral("1"));
        env.insert(QStringLiteral("QV_TEST_MODULE_REFUSE_SHUTDOWN"), QStringLiteral("1"));

        QProcess host;
        host.setProcessEnvironment(env);
        host.start(QStringLiteral(QV_HOST_EXECUTABLE), arguments);
        QVERIFY(host.waitForStarted());
        QByteArray error;
        QTRY_VERIFY_WITH_TIMEOUT((error += host.readAllStandardError()).contains("TestModule: job running"),
                                 30000);
        QCOMPARE(testsupport::Count(QStringLiteral("emljobs"), QStringLiteral("enddate IS NULL")), 1);

        QCOMPARE(::kill(pid_t(host.processId()), signal), 0);
        QVERIFY(host.waitForFinished(30000));
        error += host.readAllStandardError();
        QCOMPARE(host.exitStatus(), QProcess::NormalExit);
        QVERIFY2(host.exitCode() == 0, error.constData());
        QVERIFY2(error.contains("Unloaded module"), error.constData());
        QCOMPARE(testsupport::Count(QStringLiteral("emljobs"), QStringLiteral("enddate IS NULL")), 0);
        QCOMPARE(testsupport::Count(QStringLiteral("emljobs"), QStringLiteral("enddate IS NOT NULL")), 1);
        // The first start wrote the address module's default active state.
        QCOMPARE(
            hostapi::SettingsStore::Instance().ReadString(QStringLiteral("Pelm"), QStringLiteral("RSSPS")),
            QStringLiteral("1"));
    }
};

QTEST_GUILESS_MAIN(tst_HostProcess)
#include "tst_HostProcess.moc"
