#include "HostCommandLine.h"

#include "QVException.h"

#include <QDir>
#include <QtTest>

using qvhost::HostCommandLine;

// The host's command line: what it selects, what it refuses with which words, when a display is
// missing, and what --help tells.
class tst_HostCommandLine : public QObject {
    Q_OBJECT

private slots:
    void init() {
        qunsetenv("QV_DATABASE");
        qunsetenv("QV_DATABASE_URL");
    }

    void selects_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("moduleFolder");
        QTest::addColumn<QString>("sqlitePath");
        QTest::addColumn<QString>("postgresUrl");
        const QString defaultFile = hostapi::DatabaseConfig::DefaultSqlitePath();
        QTest::newRow("nothing") << QStringList{"qvhost"} << "/opt/qv/modules" << defaultFile << "";
        QTest::newRow("modules and folder")
            << QStringList{"qvhost", "--modules", "/srv/mods"} << "/srv/mods" << defaultFile << "";
        QTest::newRow("modules=folder")
            << QStringList{"qvhost", "--modules=/srv/mods/"} << "/srv/mods" << defaultFile << "";
        QTest::newRow("relative folder")
            << QStringList{"qvhost", "--modules", "mods"}
            << QDir::cleanPath(QDir::current().absoluteFilePath(QStringLiteral("mods"))) << defaultFile << "";
        QTest::newRow("last one counts")
            << QStringList{"qvhost", "--modules", "/a", "--modules=/b"} << "/b" << defaultFile << "";
        QTest::newRow("database file")
            << QStringList{"qvhost", "--database", "/tmp/x.sqlite", "--modules", "/srv/mods"} << "/srv/mods"
            << "/tmp/x.sqlite"
            << "";
        QTest::newRow("database url")
            << QStringList{"qvhost", "--database-url=postgresql://qv@db/qv"} << "/opt/qv/modules"
            << ""
            << "postgresql://qv@db/qv";
        QTest::newRow("dash value after =")
            << QStringList{"qvhost", "--database=-file.sqlite", "--modules=-mods"}
            << QDir::cleanPath(QDir::current().absoluteFilePath(QStringLiteral("-mods"))) << "-file.sqlite"
            << "";
        QTest::newRow("a value equal to an option name")
            << QStringList{"qvhost", "--database", "modules", "--modules", "database"}
            << QDir::cleanPath(QDir::current().absoluteFilePath(QStringLiteral("database"))) << "modules"
            << "";
        QTest::newRow("Qt's own options pass") << QStringList{"qvhost", "-platform", "offscreen",  "--style",
                                                              "Fusion", "-reverse",  "--database", "/d"}
                                               << "/opt/qv/modules"
                                               << "/d"
                                               << "";
    }

    void selects() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, moduleFolder);
        QFETCH(QString, sqlitePath);
        QFETCH(QString, postgresUrl);
        const qvhost::HostOptions options = HostCommandLine::Parse(arguments, QStringLiteral("/opt/qv/bin"));
        QVERIFY(!options.HelpRequested);
        QCOMPARE(options.ModuleFolder, moduleFolder);
        QCOMPARE(options.Database.PostgresUrl, postgresUrl);
        if (postgresUrl.isEmpty())
            QCOMPARE(options.Database.SqlitePath, sqlitePath);
    }

    void environmentNamesTheDatabaseWhenNoOptionDoes() {
        qputenv("QV_DATABASE", "/tmp/env.sqlite");
        QCOMPARE(HostCommandLine::Parse({"qvhost"}, "/bin").Database.SqlitePath,
                 QStringLiteral("/tmp/env.sqlite"));
        QCOMPARE(
            HostCommandLine::Parse({"qvhost", "--database", "/tmp/opt.sqlite"}, "/bin").Database.SqlitePath,
            QStringLiteral("/tmp/opt.sqlite"));
    }

    void refuses_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("mistyped option") << QStringList{"qvhost", "--databse", "/tmp/x.sqlite"}
                                         << "Unbekannte Option --databse. qvhost --help zeigt die Optionen.";
        QTest::newRow("unknown among known")
            << QStringList{"qvhost", "--database", "/tmp/x.sqlite", "--modules", "/srv/mods", "--other"}
            << "Unbekannte Option --other. qvhost --help zeigt die Optionen.";
        QTest::newRow("unknown short") << QStringList{"/usr/bin/qvhost", "-x"}
                                       << "Unbekannte Option -x. qvhost --help zeigt die Optionen.";
        QTest::newRow("database last")
            << QStringList{"qvhost", "--database"} << "Die Option --database braucht einen Wert.";
        QTest::newRow("modules last")
            << QStringList{"qvhost", "--modules"} << "Die Option --modules braucht einen Wert.";
        QTest::newRow("Qt option last")
            << QStringList{"qvhost", "-platform"} << "Die Option --platform braucht einen Wert.";
        QTest::newRow("empty folder")
            << QStringList{"qvhost", "--modules", ""} << "Die Option --modules braucht einen Wert.";
        QTest::newRow("empty after =")
            << QStringList{"qvhost", "--database-url="} << "Die Option --database-url braucht einen Wert.";
        QTest::newRow("both databases")
            << QStringList{"qvhost", "--database", "/tmp/x.sqlite", "--database-url", "postgresql://qv@db/qv"}
            << "--database und --database-url schließen einander aus.";
        QTest::newRow("stray argument")
            << QStringList{"qvhost", "/tmp/x.sqlite"}
            << "Unerwartetes Argument \"/tmp/x.sqlite\": der Host nimmt nur Optionen.";
        const QString optionAsValue = QStringLiteral("Die Option %1 braucht einen Wert, nicht die Option %2. "
                                                     "Ein Wert, der mit \"-\" beginnt, wird als "
                                                     "%3=-wert angegeben.");
        QTest::newRow("option where the value belongs")
            << QStringList{"qvhost", "--database", "--modules", "/srv/mods"}
            << optionAsValue.arg("--database", "--modules", "--database");
        QTest::newRow("--help as the database") << QStringList{"qvhost", "--database", "--help"}
                                                << optionAsValue.arg("--database", "--help", "--database");
        QTest::newRow("dash value of the modules")
            << QStringList{"qvhost", "--modules", "-m"} << optionAsValue.arg("--modules", "-m", "--modules");
        QTest::newRow("single-dash url") << QStringList{"qvhost", "-database-url", "-x", "--modules", "/m"}
                                         << optionAsValue.arg("--database-url", "-x", "--database-url");
        QTest::newRow("Qt option before an option")
            << QStringList{"qvhost", "-platform", "--database", "/d"}
            << optionAsValue.arg("--platform", "--database", "--platform");
    }

    void refuses() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        try {
            HostCommandLine::Parse(arguments, QStringLiteral("/opt/qv/bin"));
            QFAIL("accepted");
        } catch (const hostapi::EQVException& e) {
            QCOMPARE(e.Message(), message);
        }
    }

    void help_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("--help") << QStringList{"qvhost", "--help"};
        QTest::newRow("-h") << QStringList{"qvhost", "-h"};
        QTest::newRow("among others") << QStringList{"qvhost", "--modules", "/m", "--help"};
    }

    void help() {
        QFETCH(QStringList, arguments);
        QVERIFY(HostCommandLine::Parse(arguments, QStringLiteral("/bin")).HelpRequested);
    }

    void helpNamesOptionsAndEnvironment() {
        const QString text = HostCommandLine::HelpText(QStringLiteral("qvhost"));
        QVERIFY(text.startsWith(QStringLiteral("Aufruf: qvhost [Optionen]\n")));
        for (const char* name :
             {"--help", "--modules DIR", "--database PATH", "--database-url URL", "-platform", "QV_DATABASE ",
              "QV_DATABASE_URL", "PGPASSFILE", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            QVERIFY2(text.contains(QLatin1String(name)), name);
        QVERIFY(text.contains(hostapi::DatabaseConfig::DefaultSqlitePath()));
    }

    void missingDisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<bool>("missing");
        QTest::newRow("nothing") << QStringList{"qvhost"} << QStringList{} << true;
        QTest::newRow("empty DISPLAY") << QStringList{"qvhost"} << QStringList{"DISPLAY="} << true;
        QTest::newRow("X11") << QStringList{"qvhost"} << QStringList{"DISPLAY=:0"} << false;
        QTest::newRow("Wayland") << QStringList{"qvhost"} << QStringList{"WAYLAND_DISPLAY=wayland-0"}
                                 << false;
        QTest::newRow("platform chosen")
            << QStringList{"qvhost"} << QStringList{"QT_QPA_PLATFORM=offscreen"} << false;
        QTest::newRow("-platform") << QStringList{"qvhost", "-platform", "offscreen"} << QStringList{}
                                   << false;
        QTest::newRow("--platform") << QStringList{"qvhost", "--platform", "minimal"} << QStringList{}
                                    << false;
    }

    void missingDisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(bool, missing);
        QProcessEnvironment env;
        for (const QString& variable : environment)
            env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        const QString text = HostCommandLine::MissingDisplay(arguments, env);
        QCOMPARE(!text.isEmpty(), missing);
        if (missing)
            QVERIFY2(text.contains(QStringLiteral("weder DISPLAY noch WAYLAND_DISPLAY")), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(tst_HostCommandLine)
#include "tst_HostCommandLine.moc"
