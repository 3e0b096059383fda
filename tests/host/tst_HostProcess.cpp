#include "Database.h"
#include "SettingsStore.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

using testsupport::Backend;
using testsupport::TestDatabase;

namespace {

// The folder that holds the test module and nothing else loadable.
QString TestModuleFolder() {
    return QFileInfo(QStringLiteral(QV_TEST_MODULE)).absolutePath();
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
        QVERIFY(!QFileInfo::exists(FData->filePath(QStringLiteral("mine.sqlite"))));
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
