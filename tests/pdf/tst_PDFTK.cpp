// TPDFTK without pdftk: the argument lists of dumps and fills, and how runs of small stand-in
// programs end (not startable, exit codes, "No output created", large output, time limit, cancel,
// the temporary FDF file).

#include "PDFTK.h"

#include "QVException.h"
#include "ThrownMessage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

#include <thread>

using namespace emailmarketing;
using testsupport::ThrownMessage;

namespace {

const QString In = QStringLiteral("/forms/in.pdf");
const QString Out = QStringLiteral("/tmp/out.pdf");
const QString Fdf = QStringLiteral("/tmp/data.fdf");

// Writes an executable shell script and answers its path.
QString WriteScript(const QTemporaryDir& ADir, const QString& AName, const QByteArray& ABody) {
    const QString path = ADir.filePath(AName);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write("#!/bin/sh\n" + ABody);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// Like pdftk's wrapper script: a shell that waits for the program it started, whose pid it writes
// to APidFile (atomically) first.
QString WriteWrapperScript(const QTemporaryDir& ADir, const QString& APidFile) {
    return WriteScript(
        ADir, QStringLiteral("pdftk"),
        QStringLiteral("sleep 600 & echo $! > '%1.tmp'; mv '%1.tmp' '%1'; wait\n").arg(APidFile).toUtf8());
}

QString ReadText(const QString& APath) {
    QFile file(APath);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

bool ProcessGone(qint64 APid) {
    if (::kill(static_cast<pid_t>(APid), 0) != 0)
        return true;
    // A zombie left to a parent that does not reap counts as gone.
    const QString stat = ReadText(QStringLiteral("/proc/%1/stat").arg(APid));
    return stat.section(QLatin1Char(')'), 1).trimmed().startsWith(QLatin1Char('Z'));
}

} // namespace

class tst_PDFTK : public QObject {
    Q_OBJECT

private slots:
    void arguments_data() {
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("encryption");
        QTest::addColumn<int>("compression");
        QTest::addColumn<bool>("flatten");
        QTest::addColumn<QStringList>("passwords"); // input, owner, user
        QTest::addColumn<int>("permissionBits");
        QTest::addColumn<QStringList>("arguments");
        const int all = 1 << pmAllFeatures;
        QTest::newRow("dump") << int(opDumpDataFields) << int(encNone) << int(cpmDontChange) << false
                              << QStringList{{}, {}, {}} << all
                              << QStringList{In, "dump_data_fields", "output", "-", "dont_ask"};
        QTest::newRow("dump with input password")
            << int(opDumpDataFields) << int(encNone) << int(cpmDontChange) << false
            << QStringList{"geheim", {}, {}} << all
            << QStringList{In, "input_pw", "PROMPT", "dump_data_fields", "output", "-", "dont_ask"};
        // The copy that fields are read from takes no output option.
        QTest::newRow("read with input password, output options ignored")
            << int(opReadFields) << int(enc128bit) << int(cpmCompress) << true
            << QStringList{"geheim", "own", {}} << all
            << QStringList{In, "input_pw", "PROMPT", "output", Out, "dont_ask"};
        // No encryption, no passwords, default permissions: ends with dont_ask, no allow.
        QTest::newRow("plain fill") << int(opFillForm) << int(encNone) << int(cpmDontChange) << false
                                    << QStringList{{}, {}, {}} << all
                                    << QStringList{In, "fill_form", Fdf, "output", Out, "dont_ask"};
        QTest::newRow("fill 128 bit, printing and fill-in")
            << int(opFillForm) << int(enc128bit) << int(cpmCompress) << true << QStringList{{}, {}, {}}
            << ((1 << pmPrinting) | (1 << pmFillIn))
            << QStringList{In,         "fill_form", Fdf,        "output", Out,        "encrypt_128bit",
                           "compress", "flatten",   "dont_ask", "allow",  "Printing", "FillIn"};
        // An owner password alone (no encryption) adds the permissions.
        QTest::newRow("owner password alone")
            << int(opFillForm) << int(encNone) << int(cpmUnCompress) << false << QStringList{{}, "o", {}}
            << all << QStringList{In,         "fill_form", Fdf,      "output", Out,          "uncompress",
                                  "dont_ask", "owner_pw",  "PROMPT", "allow",  "AllFeatures"};
        QTest::newRow("all passwords, 40 bit, no permission")
            << int(opFillForm) << int(enc40bit) << int(cpmDontChange) << false << QStringList{"i", "o", "u"}
            << 0 << QStringList{In,       "input_pw", "PROMPT",        "fill_form", Fdf,
                                "output", Out,        "encrypt_40bit", "dont_ask",  "owner_pw",
                                "PROMPT", "user_pw",  "PROMPT"};
        QTest::newRow("every permission word") << int(opFillForm) << int(enc128bit) << int(cpmDontChange)
                                               << false << QStringList{{}, {}, {}} << 0xFF
                                               << QStringList{In,
                                                              "fill_form",
                                                              Fdf,
                                                              "output",
                                                              Out,
                                                              "encrypt_128bit",
                                                              "dont_ask",
                                                              "allow",
                                                              "Printing",
                                                              "DegradedPrinting",
                                                              "ModifyContents",
                                                              "Assembly",
                                                              "CopyContents",
                                                              "ScreenReaders",
                                                              "ModifyAnnotations",
                                                              "FillIn"};
        QTest::newRow("copy") << int(opNone) << int(encNone) << int(cpmDontChange) << false
                              << QStringList{{}, {}, {}} << all << QStringList{In, "output", Out, "dont_ask"};
    }
    void arguments() {
        QFETCH(int, operation);
        QFETCH(int, encryption);
        QFETCH(int, compression);
        QFETCH(bool, flatten);
        QFETCH(QStringList, passwords);
        QFETCH(int, permissionBits);
        QFETCH(QStringList, arguments);
        TPDFTK driver;
        driver.SetOperation(static_cast<TPDFOperation>(operation));
        driver.SetEncryption(static_cast<TPDFEncryption>(encryption));
        driver.SetCompression(static_cast<TPDFCompression>(compression));
        driver.SetFlatten(flatten);
        driver.SetInputPassword(passwords.at(0));
        driver.SetOwnerPassword(passwords.at(1));
        driver.SetUserPassword(passwords.at(2));
        TPDFPermissionSet permissions;
        for (int ordinal = 0; ordinal < 16; ++ordinal)
            if (permissionBits & (1 << ordinal))
                permissions.Include(ordinal);
        driver.SetPermissions(permissions);
        const QStringList actual = driver.Arguments(In, Out, Fdf);
        QCOMPARE(actual, arguments);
        for (const QString& password : passwords)
            if (!password.isEmpty())
                QVERIFY(!actual.contains(password));
    }

    void defaults() {
        TPDFTK driver;
        QCOMPARE(driver.Operation(), opNone);
        QCOMPARE(driver.Encryption(), encNone);
        QCOMPARE(driver.Compression(), cpmDontChange);
        QCOMPARE(driver.Permissions(), TPDFPermissionSet{pmAllFeatures});
        QVERIFY(!driver.Flatten());
        QCOMPARE(driver.TimeLimit(), std::chrono::milliseconds(std::chrono::minutes(5)));
    }

    void relativePathsBecomeAbsolute() {
        // A file named like a keyword or "-" (standard input) cannot be taken for one.
        TPDFTK driver;
        driver.SetOperation(opFillForm);
        const QStringList args =
            driver.Arguments(QStringLiteral("-"), QStringLiteral("dont_ask"), QStringLiteral("x.fdf"));
        QCOMPARE(args.at(0), QDir::current().absoluteFilePath(QStringLiteral("-")));
        QCOMPARE(args.at(2), QDir::current().absoluteFilePath(QStringLiteral("x.fdf")));
        QCOMPARE(args.at(4), QDir::current().absoluteFilePath(QStringLiteral("dont_ask")));
    }

    void commandLineQuotesPaths() {
        TPDFTK driver;
        driver.SetPDFTKPath(QStringLiteral("/usr/bin/pdftk"));
        driver.SetOperation(opDumpDataFields);
        driver.SetInputPassword(QStringLiteral("geheim"));
        QCOMPARE(
            driver.CommandLine(driver.Arguments(QStringLiteral("/a b/in.pdf"), QString(), QString())),
            QStringLiteral(
                "\"/usr/bin/pdftk\" \"/a b/in.pdf\" input_pw PROMPT dump_data_fields output - dont_ask"));
    }

    void missingProgram() {
        TPDFTK driver;
        driver.SetPDFTKPath(QStringLiteral("/nonexistent/pdftk"));
        driver.SetOperation(opDumpDataFields);
        QCOMPARE(ThrownMessage([&] { driver.Execute(QStringLiteral("/a.pdf"), QString()); }),
                 QStringLiteral("Can't execute PDFTK.EXE in '/nonexistent/pdftk'!"));
    }

    void runOutcomes_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("error"); // start of the message; empty: success
        QTest::addColumn<QString>("fields");
        // Standard output (password prompts, field values) stays out of the text.
        QTest::newRow("exit code: standard error only")
            << QByteArray("echo out-text; echo err-text >&2; exit 3\n")
            << QStringLiteral("PDFTK.EXE has terminated with ExitCode '3'!\r\nCall: \"%1\" \"/in.pdf\" "
                              "dump_data_fields output - dont_ask\r\nerr-text\n")
            << QString();
        QTest::newRow("no output created with exit code 0")
            << QByteArray("echo 'Errors encountered.  No output created.' >&2\n")
            << QStringLiteral("PDFTK.EXE has terminated with ExitCode '0'!") << QString();
        // Standard output holds field values, which may say anything.
        QTest::newRow("notice text in a field value")
            << QByteArray("printf -- '---\\nFieldName: A\\nFieldValue: No output created\\n'\n") << QString()
            << QStringLiteral("A=No output created");
        QTest::newRow("warning on standard error")
            << QByteArray("echo 'Warning: Using a password on the command line' >&2; printf -- "
                          "'---\\nFieldName: A\\n'\n")
            << QString() << QStringLiteral("A=");
        QTest::newRow("invalid dump") << QByteArray("echo hello\n")
                                      << QStringLiteral("pdftk.exe Output seems to be invalid!") << QString();
        QTest::newRow("killed by a signal")
            << QByteArray("kill -9 $$\n") << QStringLiteral("PDFTK.EXE has terminated with ExitCode")
            << QString();
    }
    void runOutcomes() {
        QFETCH(QByteArray, script);
        QFETCH(QString, error);
        QFETCH(QString, fields);
        QTemporaryDir dir;
        TPDFTK driver;
        driver.SetPDFTKPath(WriteScript(dir, QStringLiteral("pdftk"), script));
        driver.SetOperation(opDumpDataFields);
        const QString message = ThrownMessage([&] { driver.Execute(QStringLiteral("/in.pdf"), QString()); });
        if (error.isEmpty()) {
            QCOMPARE(message, QStringLiteral("<no exception>"));
            QStringList actual;
            for (int i = 0; i < driver.FDF().Count(); ++i)
                actual << driver.FDF().GetField(i)->KeyName() + QLatin1Char('=') +
                              driver.FDF().GetField(i)->Value();
            QCOMPARE(actual.join(QLatin1Char(';')), fields);
        } else {
            const QString expected =
                error.contains(QLatin1String("%1")) ? error.arg(driver.PDFTKPath()) : error;
            QVERIFY2(message.startsWith(expected), qPrintable(message));
        }
    }

    void errorTextsMaskPasswords_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("hidden"); // texts that must not appear
        const QString longPassword = QStringLiteral("abcdefghijklmnopqrstuvwxyz012345TAILTAIL");
        QTest::newRow("short") << QStringLiteral("Geheim-7") << QStringList{"Geheim-7"};
        QTest::newRow("over 32 characters")
            << longPassword << QStringList{longPassword, longPassword.left(32), QStringLiteral("TAILTAIL")};
    }
    void errorTextsMaskPasswords() {
        QFETCH(QString, password);
        QFETCH(QStringList, hidden);
        // As pdftk does: the prompt and the dropped part of a long password on standard output; the
        // stand-in also echoes the answer and its parts on standard error.
        QTemporaryDir dir;
        TPDFTK driver;
        driver.SetPDFTKPath(
            WriteScript(dir, QStringLiteral("pdftk"),
                        "echo 'Please enter the owner password to use on the output PDF.'\n"
                        "echo '   It can be empty, or have a maximum of 32 characters:'\n"
                        "read pw\n"
                        "tail=$(printf %s \"$pw\" | cut -c33-)\n"
                        "head=$(printf %s \"$pw\" | cut -c1-32)\n"
                        "[ -n \"$tail\" ] && printf 'The password you entered was over 32 characters long,\\n"
                        "   so I am dropping: \"%s\"\\n' \"$tail\"\n"
                        "echo \"Error: bad password [$pw] [$head] [$tail]\" >&2\n"
                        "exit 1\n"));
        driver.SetOperation(opNone);
        driver.SetOwnerPassword(password);
        const QString message = ThrownMessage(
            [&] { driver.Execute(QStringLiteral("/in.pdf"), dir.filePath(QStringLiteral("out.pdf"))); });
        QVERIFY2(message.startsWith(QStringLiteral("PDFTK.EXE has terminated with ExitCode '1'!")),
                 qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("Error: bad password [")), qPrintable(message));
        QVERIFY2(!message.contains(QStringLiteral("Please enter")), qPrintable(message));
        for (const QString& text : hidden)
            QVERIFY2(!message.contains(text), qPrintable(text + QStringLiteral(" in: ") + message));
    }

    void maskPasswords_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<QString>("masked");
        QTest::newRow("every occurrence of each")
            << "a geheim b offen c geheim" << QStringList{"geheim", "", "offen"}
            << "a ******** b ******** c ********";
        QTest::newRow("empty passwords mask nothing") << "text" << QStringList{"", "", ""} << "text";
        QTest::newRow("used part and dropped part of a long password")
            << "[0123456789abcdefghijklmnopqrstuvXYZ] [0123456789abcdefghijklmnopqrstuv] [XYZ]"
            << QStringList{"0123456789abcdefghijklmnopqrstuvXYZ"} << "[********] [********] [********]";
    }
    void maskPasswords() {
        QFETCH(QString, text);
        QFETCH(QStringList, passwords);
        QFETCH(QString, masked);
        QCOMPARE(MaskPasswords(text, passwords), masked);
    }

    void runsInItsOwnFolderWithUtf8Locale() {
        QTemporaryDir dir;
        TPDFTK driver;
        driver.SetPDFTKPath(
            WriteScript(dir, QStringLiteral("pdftk"),
                        "printf -- '---\\nFieldName: Ort\\nFieldValue: %s|%s\\n' \"$(pwd)\" \"$LC_ALL\"\n"));
        driver.SetOperation(opDumpDataFields);
        qputenv("LC_ALL", "C");
        driver.Execute(QStringLiteral("/in.pdf"), QString());
        qunsetenv("LC_ALL");
        QCOMPARE(driver.FDF().GetField(0)->Value(),
                 QFileInfo(dir.path()).canonicalFilePath() + QStringLiteral("|C.UTF-8"));
    }

    void largeDumpCompletes() {
        // Far more than a pipe buffer: the output is read while the program runs.
        QTemporaryDir dir;
        TPDFTK driver;
        driver.SetPDFTKPath(WriteScript(
            dir, QStringLiteral("pdftk"),
            "awk 'BEGIN { for (i = 0; i < 20000; i++) printf \"---\\nFieldType: Text\\nFieldName: F%d\\n"
            "FieldValue: Wert %d mit etwas Text\\n\", i, i }'\n"));
        driver.SetOperation(opDumpDataFields);
        driver.Execute(QStringLiteral("/in.pdf"), QString());
        QCOMPARE(driver.FDF().Count(), 20000);
        QCOMPARE(driver.FDF().GetField(19999)->Value(), QStringLiteral("Wert 19999 mit etwas Text"));
    }

    void fillWritesAPrivateFdfAndDeletesIt_data() {
        QTest::addColumn<int>("exitCode");
        QTest::newRow("success") << 0;
        QTest::newRow("failure") << 1;
    }
    void fillWritesAPrivateFdfAndDeletesIt() {
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        const QString record = dir.filePath(QStringLiteral("record"));
        TPDFTK driver;
        // Arguments: in fill_form FDF output OUT dont_ask
        driver.SetPDFTKPath(
            WriteScript(dir, QStringLiteral("pdftk"),
                        QStringLiteral("echo \"$3\" > '%1.path'; stat -c %a \"$3\" > '%1.mode'; "
                                       "cp \"$3\" '%1.fdf'; exit %2\n")
                            .arg(record)
                            .arg(exitCode)
                            .toUtf8()));
        driver.SetOperation(opFillForm);
        driver.FDF().AddField(QStringLiteral("Name"), QStringLiteral("Müller"), QStringLiteral("Text"));
        const QString message = ThrownMessage([&] {
            driver.Execute(QStringLiteral("/forms/in.pdf"), dir.filePath(QStringLiteral("out.pdf")));
        });
        QCOMPARE(message.startsWith(QStringLiteral("PDFTK.EXE has terminated with ExitCode '1'!")),
                 exitCode != 0);
        const QString fdfPath = ReadText(record + QStringLiteral(".path"));
        QVERIFY(fdfPath.endsWith(QStringLiteral(".fdf")));
        QCOMPARE(ReadText(record + QStringLiteral(".mode")), QStringLiteral("600"));
        QVERIFY2(!QFile::exists(fdfPath), qPrintable(fdfPath));
        QFile copy(record + QStringLiteral(".fdf"));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        const QByteArray fdf = copy.readAll();
        QVERIFY(fdf.contains("/F(/forms/in.pdf)"));
        QVERIFY(fdf.contains("/T(Name)/V(" + TFDFWriter::EncodeString(QStringLiteral("Müller")).mid(1)));
    }

    void passwordWithLineBreakIsRefused() {
        TPDFTK driver;
        driver.SetPDFTKPath(QStringLiteral("/bin/true"));
        driver.SetOperation(opDumpDataFields);
        driver.SetInputPassword(QStringLiteral("a\nb"));
        QCOMPARE(ThrownMessage([&] { driver.Execute(QStringLiteral("/in.pdf"), QString()); }),
                 QStringLiteral("A PDF password must not contain a line break."));
    }

    void timeLimitStopsTheWholeProgram() {
        QTemporaryDir dir;
        const QString pidFile = dir.filePath(QStringLiteral("child.pid"));
        TPDFTK driver;
        driver.SetPDFTKPath(WriteWrapperScript(dir, pidFile));
        driver.SetOperation(opDumpDataFields);
        driver.SetTimeLimit(std::chrono::milliseconds(300));
        const QString message = ThrownMessage([&] { driver.Execute(QStringLiteral("/in.pdf"), QString()); });
        QVERIFY2(
            message.startsWith(QStringLiteral("PDFTK.EXE has not ended within 0.3 seconds and was stopped!")),
            qPrintable(message));
        // The program the script started goes with it (no pid file: it was stopped before starting one).
        const qint64 child = ReadText(pidFile).toLongLong();
        if (child > 0)
            QTRY_VERIFY_WITH_TIMEOUT(ProcessGone(child), 10000);
    }

    void cancelStopsARunningProgram() {
        QTemporaryDir dir;
        const QString pidFile = dir.filePath(QStringLiteral("child.pid"));
        TPDFTK driver;
        driver.SetPDFTKPath(WriteWrapperScript(dir, pidFile));
        driver.SetOperation(opDumpDataFields);
        QString message;
        std::thread runner(
            [&] { message = ThrownMessage([&] { driver.Execute(QStringLiteral("/in.pdf"), QString()); }); });
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pidFile), 30000);
        driver.Cancel();
        runner.join();
        QVERIFY2(message.startsWith(QStringLiteral("PDFTK.EXE was stopped: the run was cancelled.")),
                 qPrintable(message));
        QTRY_VERIFY_WITH_TIMEOUT(ProcessGone(ReadText(pidFile).toLongLong()), 10000);
        // A cancelled driver starts nothing more.
        QFile::remove(pidFile);
        QVERIFY(ThrownMessage([&] {
                    driver.Execute(QStringLiteral("/in.pdf"), QString());
                }).startsWith(QStringLiteral("PDFTK.EXE was stopped")));
        QVERIFY(!QFile::exists(pidFile));
    }

    void cancelRacingTheStartAlwaysStops() {
        // A cancel is never lost, whether it comes before, during or right after the start.
        QTemporaryDir dir;
        const QString script = WriteWrapperScript(dir, dir.filePath(QStringLiteral("child.pid")));
        for (int round = 0; round < 20; ++round) {
            TPDFTK driver;
            driver.SetPDFTKPath(script);
            driver.SetOperation(opDumpDataFields);
            driver.SetTimeLimit(std::chrono::seconds(60));
            QString message;
            std::thread runner([&] {
                message = ThrownMessage([&] { driver.Execute(QStringLiteral("/in.pdf"), QString()); });
            });
            driver.Cancel();
            runner.join();
            QVERIFY2(message.startsWith(QStringLiteral("PDFTK.EXE was stopped: the run was cancelled.")),
                     qPrintable(QStringLiteral("round %1: %2").arg(round).arg(message)));
        }
    }
};

QTEST_GUILESS_MAIN(tst_PDFTK)
#include "tst_PDFTK.moc"
