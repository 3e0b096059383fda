#include "FileUtils.h"
#include "QVException.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace hostapi;

namespace {

void WriteFile(const QString& path, const QByteArray& content = "x") {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

// Runs `action` and answers the message of the EQVException it throws ("" when it throws none).
QString ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EQVException& e) {
        return e.Message();
    }
    return {};
}

constexpr QFile::Permissions OwnerReadWrite = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions OwnerAll = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// QFileInfo reports the owner's rights twice (as owner and as user): keep only the owner, group
// and other bits.
QFile::Permissions ModeOf(const QString& path) {
    return QFileInfo(path).permissions() &
           (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::WriteGroup |
            QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
}

} // namespace

class tst_FileUtils : public QObject {
    Q_OBJECT

private slots:
    void TempPathEndsWithSeparator();
    void TempFileIsPrivateAndUnique_data();
    void TempFileIsPrivateAndUnique();
    void TempFolderIsPrivateAndUnique();
    void TempNamesRefuseBadInput_data();
    void TempNamesRefuseBadInput();

    void ClearFolderRefuses_data();
    void ClearFolderRefuses();
    void ClearFolderDeletesTreeWithoutFollowingLinks_data();
    void ClearFolderDeletesTreeWithoutFollowingLinks();
    void ClearFolderOfMissingFolderDoesNothing();

    void MatchesWildcard_data();
    void MatchesWildcard();
    void ListFiles_data();
    void ListFiles();
    void ListFilesErrors();

    void LoadTextFile_data();
    void LoadTextFile();
    void LoadTextFileRefusesBrokenUtf8WithBom();
    void SaveTextFile_data();
    void SaveTextFile();
    void SaveBinaryFileReplacesAndKeepsPermissions();
    void LoadAndSaveErrorsNameThePath();

    void ApplicationFolderIsExecutableFolder();
};

void tst_FileUtils::TempPathEndsWithSeparator() {
    QCOMPARE(GetTempPath(), QDir::tempPath() + "/");
}

void tst_FileUtils::TempFileIsPrivateAndUnique_data() {
    QTest::addColumn<bool>("inGivenFolder");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("expectedSuffix");

    QTest::newRow("defaults in the system folder") << false << "qv"
                                                   << ".tmp"
                                                   << ".tmp";
    QTest::newRow("given folder and prefix") << true << "fdf"
                                             << ".fdf"
                                             << ".fdf";
    QTest::newRow("extension without dot") << true << "att"
                                           << "pdf"
                                           << ".pdf";
    QTest::newRow("no extension") << true << "x"
                                  << ""
                                  << "";
}

void tst_FileUtils::TempFileIsPrivateAndUnique() {
    QFETCH(bool, inGivenFolder);
    QFETCH(QString, prefix);
    QFETCH(QString, extension);
    QFETCH(QString, expectedSuffix);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = inGivenFolder ? dir.path() : QString();
    const QString expectedFolder = inGivenFolder ? dir.path() + "/" : GetTempPath();

    const QString first = GetTempFileName(folder, prefix, extension);
    const QString second = GetTempFileName(folder, prefix, extension);
    const auto cleanup = qScopeGuard([&] {
        QFile::remove(first);
        QFile::remove(second);
    });

    QVERIFY2(first != second, qPrintable(first));
    for (const QString& path : {first, second}) {
        const QFileInfo info(path);
        QVERIFY2(info.isFile(), qPrintable(path));
        QCOMPARE(info.size(), 0);
        QCOMPARE(ModeOf(path), OwnerReadWrite);
        QCOMPARE(info.absolutePath() + "/", expectedFolder);
        QVERIFY2(info.fileName().startsWith(prefix), qPrintable(path));
        QVERIFY2(info.fileName().endsWith(expectedSuffix), qPrintable(path));
        QVERIFY2(info.fileName().size() > prefix.size() + expectedSuffix.size(), qPrintable(path));
    }
}

void tst_FileUtils::TempFolderIsPrivateAndUnique() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString first = CreateTempFolder(dir.path(), "job");
    const QString second = CreateTempFolder(dir.path(), "job");
    QVERIFY2(first != second, qPrintable(first));
    for (const QString& path : {first, second}) {
        QVERIFY2(path.endsWith('/'), qPrintable(path));
        QVERIFY2(QFileInfo(path).isDir(), qPrintable(path));
        QCOMPARE(ModeOf(path), OwnerAll);
        QCOMPARE(QFileInfo(QDir::cleanPath(path)).path(), dir.path());
        QVERIFY2(QDir(path).dirName().startsWith("job"), qPrintable(path));
    }

    const QString inSystemFolder = CreateTempFolder();
    const auto cleanup = qScopeGuard([&] { QDir().rmdir(inSystemFolder); });
    QVERIFY2(inSystemFolder.startsWith(GetTempPath()), qPrintable(inSystemFolder));
    QCOMPARE(ModeOf(inSystemFolder), OwnerAll);
}

void tst_FileUtils::TempNamesRefuseBadInput_data() {
    QTest::addColumn<int>("routine"); // 0 file, 1 folder
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("extension");

    QTest::newRow("file: separator in prefix") << 0 << ""
                                               << "../x"
                                               << ".tmp";
    QTest::newRow("file: separator in extension") << 0 << ""
                                                  << "qv"
                                                  << "./../x";
    QTest::newRow("file: missing folder") << 0 << "/nonexistent-qv-folder"
                                          << "qv"
                                          << ".tmp";
    QTest::newRow("folder: separator in prefix") << 1 << ""
                                                 << "a/b"
                                                 << "";
    QTest::newRow("folder: missing parent") << 1 << "/nonexistent-qv-folder"
                                            << "qv"
                                            << "";
}

void tst_FileUtils::TempNamesRefuseBadInput() {
    QFETCH(int, routine);
    QFETCH(QString, folder);
    QFETCH(QString, prefix);
    QFETCH(QString, extension);
    if (routine == 0)
        QVERIFY_THROWS_EXCEPTION(EQVException, GetTempFileName(folder, prefix, extension));
    else
        QVERIFY_THROWS_EXCEPTION(EQVException, CreateTempFolder(folder, prefix));
}

void tst_FileUtils::ClearFolderRefuses_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty path") << "empty";
    QTest::newRow("relative path") << "relative";
    QTest::newRow("root") << "root";
    QTest::newRow("root written with dot-dot") << "root-dotdot";
    QTest::newRow("a file") << "file";
    QTest::newRow("a link to a folder") << "link";
}

void tst_FileUtils::ClearFolderRefuses() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath("target");
    QVERIFY(QDir().mkdir(target));
    WriteFile(target + "/keep.txt");

    QString path;
    if (kind == "relative")
        path = "target";
    else if (kind == "root")
        path = "/";
    else if (kind == "root-dotdot")
        path = "/tmp/..";
    else if (kind == "file")
        path = target + "/keep.txt";
    else if (kind == "link") {
        path = dir.filePath("link");
        QVERIFY(QFile::link(target, path));
    }

    for (const bool removeFolder : {false, true}) {
        const QString message = ErrorOf([&] { ClearFolder(path, removeFolder); });
        QVERIFY2(!message.isEmpty(), "ClearFolder accepted the path");
    }
    QVERIFY(QFile::exists(target + "/keep.txt"));
}

void tst_FileUtils::ClearFolderDeletesTreeWithoutFollowingLinks_data() {
    QTest::addColumn<bool>("removeFolder");
    QTest::newRow("contents only") << false;
    QTest::newRow("folder too") << true;
}

void tst_FileUtils::ClearFolderDeletesTreeWithoutFollowingLinks() {
    QFETCH(bool, removeFolder);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString outside = dir.filePath("outside");
    QVERIFY(QDir().mkpath(outside + "/deep"));
    WriteFile(outside + "/deep/precious.txt");

    const QString folder = dir.filePath("job");
    QVERIFY(QDir().mkpath(folder + "/sub/subsub"));
    WriteFile(folder + "/a.txt");
    WriteFile(folder + "/.hidden");
    WriteFile(folder + "/sub/subsub/b.bin");
    QVERIFY(QFile::link(outside, folder + "/sub/link-to-folder"));
    QVERIFY(QFile::link(outside + "/deep/precious.txt", folder + "/link-to-file"));
    QVERIFY(QFile::link(dir.filePath("nowhere"), folder + "/broken-link"));

    ClearFolder(folder + "/", removeFolder);

    QCOMPARE(QFileInfo::exists(folder), !removeFolder);
    if (!removeFolder) {
        const QStringList left =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QCOMPARE(left, QStringList());
    }
    QCOMPARE(ReadFile(outside + "/deep/precious.txt"), QByteArray("x"));
}

void tst_FileUtils::ClearFolderOfMissingFolderDoesNothing() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ClearFolder(dir.filePath("never-made"), true);
    QVERIFY(QFileInfo(dir.path()).isDir());
}

void tst_FileUtils::MatchesWildcard_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");

    QTest::newRow("star matches all") << "invoice.pdf"
                                      << "*" << true;
    QTest::newRow("star dot star matches a name without dot") << "README"
                                                              << "*.*" << true;
    QTest::newRow("extension") << "invoice.pdf"
                               << "*.pdf" << true;
    QTest::newRow("extension ignores case") << "INVOICE.PDF"
                                            << "*.pdf" << true;
    QTest::newRow("other extension") << "invoice.pdfx"
                                     << "*.pdf" << false;
    QTest::newRow("star in the middle") << "inv_4711_2024.pdf"
                                        << "inv_*_2024.pdf" << true;
    QTest::newRow("star needs backtracking") << "abcabcabd"
                                             << "*abd" << true;
    QTest::newRow("two stars") << "a-b-c"
                               << "*-*" << true;
    QTest::newRow("star matches empty run") << "ab"
                                            << "a*b" << true;
    QTest::newRow("question mark is one character") << "a1.txt"
                                                    << "a?.txt" << true;
    QTest::newRow("question mark needs a character") << "a.txt"
                                                     << "a?.txt" << false;
    QTest::newRow("question mark takes one code point")
        << QString::fromUtf8("\xF0\x9F\x98\x80.txt") << "?.txt" << true;
    QTest::newRow("umlaut ignores case") << "ÄRGER.txt"
                                         << "ärger.*" << true;
    QTest::newRow("literal text must match") << "b.txt"
                                             << "a.txt" << false;
    QTest::newRow("pattern longer than name") << "a"
                                              << "a?" << false;
    QTest::newRow("empty pattern") << "a"
                                   << "" << false;
}

void tst_FileUtils::MatchesWildcard() {
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(hostapi::MatchesWildcard(name, pattern), matches);
}

void tst_FileUtils::ListFiles_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("all, sorted ignoring case, ties by case")
        << "*" << QStringList{"A.txt", "a.txt", "b.TXT", "image.png", "readme"};
    QTest::newRow("star dot star") << "*.*" << QStringList{"A.txt", "a.txt", "b.TXT", "image.png", "readme"};
    QTest::newRow("extension") << "*.txt" << QStringList{"A.txt", "a.txt", "b.TXT"};
    QTest::newRow("question mark") << "?.txt" << QStringList{"A.txt", "a.txt", "b.TXT"};
    QTest::newRow("exact name") << "image.png" << QStringList{"image.png"};
    QTest::newRow("nothing matches") << "*.pdf" << QStringList();
}

void tst_FileUtils::ListFiles() {
    QFETCH(QString, filter);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char* name : {"b.TXT", "a.txt", "readme", "A.txt", "image.png", ".hidden.txt"})
        WriteFile(dir.filePath(name));
    QVERIFY(QDir().mkdir(dir.filePath("folder.txt")));

    QStringList expected;
    for (const QString& name : names)
        expected << dir.filePath(name);
    QCOMPARE(hostapi::ListFiles(dir.path(), filter), expected);
}

void tst_FileUtils::ListFilesErrors() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(hostapi::ListFiles(dir.filePath("missing"), "*"), QStringList());
    WriteFile(dir.filePath("file"));
    QVERIFY_THROWS_EXCEPTION(EQVException, hostapi::ListFiles(dir.filePath("file"), "*"));
}

void tst_FileUtils::LoadTextFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("ASCII") << QByteArray("Hello\r\nWorld") << "Hello\r\nWorld";
    QTest::newRow("UTF-8") << QByteArray("Gr\xC3\xBC\xC3\x9F"
                                         "e \xE2\x82\xAC")
                           << "Grüße €";
    QTest::newRow("UTF-8 with byte order mark") << QByteArray("\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
                                                              "e")
                                                << "Grüße";
    QTest::newRow("not UTF-8 is Windows-1252") << QByteArray("Gr\xFC\xDF"
                                                             "e \x80 \x84x\x93")
                                               << "Grüße € „x“";
    // The last byte would begin a UTF-8 sequence: the file is Windows-1252, no byte is dropped.
    QTest::newRow("Windows-1252 ending in a UTF-8 lead byte") << QByteArray("Caf\xE9") << "Café";
    QTest::newRow("UTF-16 LE with byte order mark") << QByteArray("\xFF\xFEG\0\xFC\0", 6) << "Gü";
    QTest::newRow("UTF-16 BE with byte order mark") << QByteArray("\xFE\xFF\0G\0\xFC", 6) << "Gü";
}

void tst_FileUtils::LoadTextFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    WriteFile(dir.filePath("t.txt"), bytes);
    QCOMPARE(hostapi::LoadTextFile(dir.filePath("t.txt")), text);
}

void tst_FileUtils::LoadTextFileRefusesBrokenUtf8WithBom() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("broken.txt");
    WriteFile(path, "\xEF\xBB\xBFGr\xFC\xDF"
                    "e");
    const QString message = ErrorOf([&] { hostapi::LoadTextFile(path); });
    QVERIFY2(message.contains(path), qPrintable(message));
}

void tst_FileUtils::SaveTextFile_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("windows1252");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("readBack");

    QTest::newRow("UTF-8 by default, no byte order mark")
        << "Grüße €\n東京" << false
        << QByteArray("Gr\xC3\xBC\xC3\x9F"
                      "e \xE2\x82\xAC\n\xE6\x9D\xB1\xE4\xBA\xAC")
        << "Grüße €\n東京";
    QTest::newRow("Windows-1252") << "Grüße €" << true
                                  << QByteArray("Gr\xFC\xDF"
                                                "e \x80")
                                  << "Grüße €";
    QTest::newRow("Windows-1252 marks what it cannot hold") << "a東b" << true << QByteArray("a?b") << "a?b";
}

void tst_FileUtils::SaveTextFile() {
    QFETCH(QString, text);
    QFETCH(bool, windows1252);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, readBack);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("out.txt");
    hostapi::SaveTextFile(path, text, windows1252 ? TextFileEncoding::Windows1252 : TextFileEncoding::Utf8);
    QCOMPARE(ReadFile(path), bytes);
    QCOMPARE(hostapi::LoadTextFile(path), readBack);
}

void tst_FileUtils::SaveBinaryFileReplacesAndKeepsPermissions() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = GetTempFileName(dir.path(), "att", ".pdf");
    const QByteArray data("%PDF\0\xFF binary", 13);
    SaveBinaryFile(path, data);
    QCOMPARE(LoadBinaryFile(path), data);
    QCOMPARE(ModeOf(path), OwnerReadWrite);
    SaveBinaryFile(path, "short");
    QCOMPARE(LoadBinaryFile(path), QByteArray("short"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void tst_FileUtils::LoadAndSaveErrorsNameThePath() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath("missing.bin");
    const QString inMissingFolder = dir.filePath("no-folder/out.txt");
    for (const auto& [path, action] : std::initializer_list<std::pair<QString, std::function<void()>>>{
             {missing, [&] { LoadBinaryFile(missing); }},
             {missing, [&] { hostapi::LoadTextFile(missing); }},
             {inMissingFolder, [&] { SaveBinaryFile(inMissingFolder, "x"); }},
             {inMissingFolder, [&] { hostapi::SaveTextFile(inMissingFolder, "x"); }},
         }) {
        const QString message = ErrorOf(action);
        QVERIFY2(message.contains(path),
                 qPrintable("expected an error naming " + path + ", got: " + message));
    }
}

void tst_FileUtils::ApplicationFolderIsExecutableFolder() {
    const QString folder = ApplicationFolder();
    QVERIFY2(folder.endsWith('/'), qPrintable(folder));
    QVERIFY2(QFileInfo::exists(folder + "tst_FileUtils"), qPrintable(folder));
}

QTEST_GUILESS_MAIN(tst_FileUtils)
#include "tst_FileUtils.moc"
