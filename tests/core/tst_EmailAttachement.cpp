#include "EmailAttachement.h"
#include "MacroEngine.h"
#include "FileUtils.h"
#include "QVException.h"
#include "Windows1252Codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace emailmarketing;

namespace {

const QString Fixtures = QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/");

// A ".pdf" replacer whose fields are the name=value lines of its source file; available while
// Available is set.
class LinesReplacer : public TCustomFileMacroReplacer {
public:
    static inline bool Available = true;

    static bool IsFileExtSupported(const QString& AFileExt) {
        return AFileExt.compare(QLatin1String(".pdf"), Qt::CaseInsensitive) == 0;
    }
    static bool IsAvailable() { return Available; }

    QString GetFieldValue(int Index) override { return FLines.value(Index).section(QLatin1Char('='), 1); }
    int FieldCount() override {
        CheckFieldsRetrieved();
        return FLines.size();
    }
    void ReplaceMacroValue(const QString& AName, const QString& AValue) override {
        TCustomFileMacroReplacer::ReplaceMacroValue(AName, AValue);
        for (QString& line : FLines)
            line.replace(AName, AValue, Qt::CaseInsensitive);
    }
    void SaveToFile(const QString& AFileName) override {
        hostapi::SaveTextFile(AFileName, FLines.join(QLatin1Char('\n')));
    }

protected:
    void RetrieveFields() override {
        FLines = hostapi::LoadTextFile(SourceFile()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QStringList FLines;
};

const TCustomFileMacroReplacerClass& Lines = TCustomFileMacroReplacerClass::Of<LinesReplacer>();

void WriteFile(const QString& APath, const QByteArray& AContent) {
    QFile file(APath);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(APath));
    file.write(AContent);
}

QByteArray ReadFile(const QString& APath) {
    QFile file(APath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QFile::Permissions ModeOf(const QString& APath) {
    return QFileInfo(APath).permissions() &
           (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::WriteGroup |
            QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
}

// A folder "in" (the fixed folder of the patterns) with 4711.pdf, sub/9.pdf and a link "link.pdf"
// to the file "secret" beside "in".
struct PathFixture {
    QTemporaryDir Root;
    QString In;

    PathFixture() {
        In = Root.path() + QStringLiteral("/in");
        QDir().mkpath(In + QStringLiteral("/sub"));
        WriteFile(In + QStringLiteral("/4711.pdf"), "invoice 4711");
        WriteFile(In + QStringLiteral("/sub/9.pdf"), "invoice 9");
        WriteFile(Root.path() + QStringLiteral("/secret"), "secret");
        QFile::link(Root.path() + QStringLiteral("/secret"), In + QStringLiteral("/link.pdf"));
    }
    QString Expand(QString AText) const { return AText.replace(QLatin1String("<in>"), In); }
};

} // namespace

class tst_EmailAttachement : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void ReplacerFollowsFileName_data();
    void ReplacerFollowsFileName();
    void LoadFromMacroFile_data();
    void LoadFromMacroFile();
    void ReplacedLocalFileStaysInItsFolder_data();
    void ReplacedLocalFileStaysInItsFolder();
    void ContentKeepsItsEncoding_data();
    void ContentKeepsItsEncoding();
    void BrokenUtf8AfterByteOrderMarkIsRefused();
    void ValueTakesTheFormOfTheFile_data();
    void ValueTakesTheFormOfTheFile();
    void MacroInFileUsed_data();
    void MacroInFileUsed();
    void FinalizePrepareWritesPrivateCopy_data();
    void FinalizePrepareWritesPrivateCopy();
    void AttachementWithoutMacrosMakesNoTempFile();
    void ReplaceLocalFileNameMacroInFile_data();
    void ReplaceLocalFileNameMacroInFile();
    void FileNameLosesLineBreaksOfValues();
    void MacrosOfEitherFormInNameAndPath();
    void AttachementsForTheTransport();
    void RequiresMacro_data();
    void RequiresMacro();
    void HasWildcards_data();
    void HasWildcards();
};

void tst_EmailAttachement::init() {
    LinesReplacer::Available = true;
    TCustomFileMacroReplacer::RegisterFileMacroReplacer(Lines);
}

void tst_EmailAttachement::cleanup() {
    TCustomFileMacroReplacer::UnRegisterFileMacroReplacer(Lines);
}

void tst_EmailAttachement::ReplacerFollowsFileName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("available");
    QTest::addColumn<bool>("expected");

    QTest::newRow("registered extension, class available") << "x.pdf" << true << true;
    QTest::newRow("upper-case extension") << "X.PDF" << true << true;
    QTest::newRow("class not available") << "x.pdf" << false << false;
    QTest::newRow("no class for the extension") << "x.txt" << true << false;
    QTest::newRow("no extension") << "pdf" << true << false;
}

void tst_EmailAttachement::ReplacerFollowsFileName() {
    QFETCH(QString, name);
    QFETCH(bool, available);
    QFETCH(bool, expected);
    LinesReplacer::Available = available;
    TAttachement attachement;
    attachement.SetFileName(name);
    QCOMPARE(attachement.FileMacroReplacer() != nullptr, expected);
    QVERIFY(!expected || dynamic_cast<LinesReplacer*>(attachement.FileMacroReplacer()));

    // Renaming to a name that no class takes frees the replacer.
    attachement.SetFileName(QStringLiteral("x.txt"));
    QCOMPARE(attachement.FileMacroReplacer(), nullptr);
}

void tst_EmailAttachement::LoadFromMacroFile_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("macro");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected"); // "" for not found

    QTest::newRow("value names a file in the folder") << "<in>/%KDNR%.pdf"
                                                      << "%KDNR%"
                                                      << "4711"
                                                      << "<in>/4711.pdf";
    QTest::newRow("macro matches without regard to case") << "<in>/%kdnr%.pdf"
                                                          << "%KDNR%"
                                                          << "4711"
                                                          << "<in>/4711.pdf";
    QTest::newRow("value leads into a subfolder") << "<in>/%KDNR%.pdf"
                                                  << "%KDNR%"
                                                  << "sub/9"
                                                  << "<in>/sub/9.pdf";
    QTest::newRow("value climbs out of the folder") << "<in>/%KDNR%"
                                                    << "%KDNR%"
                                                    << "../secret"
                                                    << "";
    QTest::newRow("value with .. that stays inside") << "<in>/sub/%KDNR%.pdf"
                                                     << "%KDNR%"
                                                     << "../4711"
                                                     << "";
    QTest::newRow("link inside pointing outside") << "<in>/%KDNR%.pdf"
                                                  << "%KDNR%"
                                                  << "link"
                                                  << "";
    QTest::newRow("pattern begins with a macro") << "%PFAD%/4711.pdf"
                                                 << "%PFAD%"
                                                 << "<in>"
                                                 << "";
    QTest::newRow("relative folder") << "in/%KDNR%.pdf"
                                     << "%KDNR%"
                                     << "4711"
                                     << "";
    QTest::newRow("no such file") << "<in>/%KDNR%.pdf"
                                  << "%KDNR%"
                                  << "0815"
                                  << "";
    QTest::newRow("a folder is no file") << "<in>/%KDNR%"
                                         << "%KDNR%"
                                         << "sub"
                                         << "";
    QTest::newRow("macro not replaced") << "<in>/%KDNR%.pdf"
                                        << "%PLZ%"
                                        << "4711"
                                        << "";
}

void tst_EmailAttachement::LoadFromMacroFile() {
    QFETCH(QString, pattern);
    QFETCH(QString, macro);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    PathFixture fixture;
    TAttachementList list;
    TAttachement* attachement = list.Add();
    attachement->SetUseMacros(true);
    attachement->SetFileName(QStringLiteral("Rechnung.txt"));
    attachement->SetLocalFileRef(fixture.Expand(pattern), true);
    QVERIFY(attachement->LocalFile().isEmpty());

    list.ReplaceLocalFileMacros(macro, fixture.Expand(value));
    const bool found = attachement->LoadFromMacroFile();

    QCOMPARE(found, !expected.isEmpty());
    if (found) {
        QCOMPARE(attachement->LocalFile(), fixture.Expand(expected));
        QVERIFY(!attachement->HasMacrosInLocalFileName());
        QCOMPARE(attachement->LocalMacroFileName(), QString());
        QVERIFY(attachement->PreparedData().startsWith("invoice"));
    } else {
        QCOMPARE(attachement->LocalFile(), QString());
        QVERIFY(attachement->HasMacrosInLocalFileName());
        QCOMPARE(attachement->PreparedData(), QByteArray());
    }
}

void tst_EmailAttachement::ReplacedLocalFileStaysInItsFolder_data() {
    QTest::addColumn<QString>("localFile");
    QTest::addColumn<QStringList>("values"); // for %A% and %B%
    QTest::addColumn<bool>("rejected");

    QTest::newRow("file in the folder") << "<in>/%A%.pdf" << QStringList{"4711", ""} << false;
    QTest::newRow("two macros make the name together")
        << "<in>/%A%%B%.pdf" << QStringList{"47", "11"} << false;
    QTest::newRow("value climbs out") << "<in>/%A%" << QStringList{"../secret", ""} << true;
    QTest::newRow("link pointing outside") << "<in>/%A%.pdf" << QStringList{"link", ""} << true;
    QTest::newRow("path begins with a macro") << "%A%/4711.pdf" << QStringList{"<in>", ""} << true;
    QTest::newRow("no such file") << "<in>/%A%.pdf" << QStringList{"0815", ""} << true;
}

// A LocalFile that macro values change must still name a file inside the folder it began with.
void tst_EmailAttachement::ReplacedLocalFileStaysInItsFolder() {
    QFETCH(QString, localFile);
    QFETCH(QStringList, values);
    QFETCH(bool, rejected);
    PathFixture fixture;
    QTemporaryDir temp;
    TAttachementList list;
    TAttachement* attachement = list.Add();
    attachement->SetFileName(QStringLiteral("Rechnung.pdf"));
    attachement->SetLocalFile(fixture.Expand(localFile));

    list.ReplaceMacros(QStringLiteral("%A%"), fixture.Expand(values[0]));
    list.ReplaceMacros(QStringLiteral("%B%"), values[1]);

    QCOMPARE(attachement->LocalFileRejected(), rejected);
    if (rejected) {
        try {
            attachement->FinalizePrepare(temp.path());
            QFAIL("FinalizePrepare accepted a rejected file");
        } catch (const hostapi::EQVException& e) {
            QCOMPARE(e.Message(), QStringLiteral("The attachment file \"Rechnung.pdf\" was not found."));
        }
    } else {
        attachement->FinalizePrepare(temp.path());
        QCOMPARE(attachement->LocalFile(), fixture.In + QStringLiteral("/4711.pdf"));
    }
}

void tst_EmailAttachement::ContentKeepsItsEncoding_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("encodedValue");

    QTest::newRow("UTF-8") << "letter-utf8.txt"
                           << "Müller" << QByteArray("M\xC3\xBCller");
    QTest::newRow("UTF-8 with byte order mark") << "letter-utf8-bom.txt"
                                                << "Müller" << QByteArray("M\xC3\xBCller");
    QTest::newRow("Windows-1252") << "letter-windows1252.txt"
                                  << "Müller" << QByteArray("M\xFCller");
    QTest::newRow("Windows-1252 euro sign") << "letter-windows1252.txt"
                                            << "5 €" << QByteArray("5 \x80");
    QTest::newRow("Windows-1252 cannot hold the character") << "letter-windows1252.txt"
                                                            << "Łukasz" << QByteArray("?ukasz");
}

void tst_EmailAttachement::ContentKeepsItsEncoding() {
    QFETCH(QString, fixture);
    QFETCH(QString, value);
    QFETCH(QByteArray, encodedValue);
    const QString source = Fixtures + QStringLiteral("attachements/") + fixture;
    QTemporaryDir temp;
    TAttachementList list;
    TAttachement* attachement = list.Add();
    attachement->SetUseMacros(true);
    attachement->SetFileName(QStringLiteral("Brief.txt"));
    attachement->SetLocalFile(source);

    list.ReplaceMacros(QStringLiteral("%name%"), value);
    attachement->FinalizePrepare(temp.path());

    QByteArray expected = ReadFile(source);
    expected.replace("%NAME%", encodedValue);
    QCOMPARE(ReadFile(attachement->LocalFile()), expected);
}

// A file that says it is UTF-8 but is not would be corrupted by a replacement.
void tst_EmailAttachement::BrokenUtf8AfterByteOrderMarkIsRefused() {
    QTemporaryDir temp;
    const QString source = temp.filePath(QStringLiteral("broken.txt"));
    WriteFile(source, "\xEF\xBB\xBFM\xFCller %NAME%");
    TAttachement attachement;
    attachement.SetUseMacros(true);
    attachement.SetFileName(QStringLiteral("Brief.txt"));
    try {
        attachement.SetLocalFile(source);
        QFAIL("the broken content was accepted");
    } catch (const hostapi::EQVException& e) {
        QCOMPARE(e.Message(), QStringLiteral("The content of the attachment \"Brief.txt\" starts with a UTF-8 "
                                             "byte order mark but is not valid UTF-8."));
    }
}

void tst_EmailAttachement::ValueTakesTheFormOfTheFile_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content"); // holds %NAME% once
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("written"); // what replaces %NAME% in the file

    const QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0 {\\fonttbl{\\f0 Arial;}} Herr %NAME%\\par}";
    QTest::newRow("RTF, code page 1252") << "Brief.rtf" << rtf << "Müller" << QByteArray("M\\'fcller");
    QTest::newRow("RTF, euro sign") << "Brief.rtf" << rtf << "5 €" << QByteArray("5 \\'80");
    QTest::newRow("RTF, outside the code page") << "Brief.rtf" << rtf << "Łukasz" << QByteArray("\\u321?ukasz");
    QTest::newRow("RTF, outside the basic plane") << "Brief.rtf" << rtf << "x😀" << QByteArray("x\\u-10179?\\u-8704?");
    QTest::newRow("RTF, another code page")
        << "Brief.rtf" << QByteArray("{\\rtf1\\ansi\\ansicpg1250 %NAME%}") << "Müller" << QByteArray("M\\u252?ller");
    QTest::newRow("RTF, no code page declared")
        << "Brief.rtf" << QByteArray("{\\rtf1\\ansi %NAME%}") << "Müller" << QByteArray("M\\'fcller");

    const QByteArray page = "<html><body><p>%NAME%</p></body></html>";
    QTest::newRow("HTML without charset, ASCII") << "Brief.html" << page << "Müller" << QByteArray("M\xFCller");
    QTest::newRow("HTML without charset, outside Windows-1252")
        << "Brief.html" << page << "Łukasz" << QByteArray("&#321;ukasz");
    QTest::newRow("HTML fragment by its name") << "Brief.htm" << QByteArray("<p>%NAME%</p>") << "Müller"
                                               << QByteArray("M\xFCller");
    QTest::newRow("HTML, meta charset utf-8")
        << "Brief.html" << QByteArray("<html><head><meta charset=\"utf-8\"></head><body>%NAME%</body></html>")
        << "Müller" << QByteArray("M\xC3\xBCller");
    QTest::newRow("HTML, http-equiv ISO-8859-1")
        << "Brief.html"
        << QByteArray("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-1\">"
                      "</head><body>%NAME%</body></html>")
        << "Müller 5 €" << QByteArray("M\xFCller 5 &#8364;");
    QTest::newRow("HTML without charset, UTF-8 content")
        << "Brief.html" << QByteArray("<html><body>Grüße %NAME%</body></html>") << "Müller"
        << QByteArray("M\xC3\xBCller");

    QTest::newRow("XML without encoding is UTF-8")
        << "daten.xml" << QByteArray("<?xml version=\"1.0\"?><name>%NAME%</name>") << "Müller"
        << QByteArray("M\xC3\xBCller");
    QTest::newRow("XML, encoding US-ASCII")
        << "daten.xml" << QByteArray("<?xml version=\"1.0\" encoding=\"US-ASCII\"?><name>%NAME%</name>")
        << "Müller" << QByteArray("M&#252;ller");
    QTest::newRow("XML, an encoding not written here")
        << "daten.xml" << QByteArray("<?xml version='1.0' encoding='ISO-8859-15'?><name>%NAME%</name>")
        << "Müller" << QByteArray("M&#252;ller");
    QTest::newRow("XML, windows-1252 declared")
        << "daten.xml" << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1252\"?><n>%NAME%</n>")
        << "Müller" << QByteArray("M\xFCller");

    QTest::newRow("plain text, ASCII only") << "Brief.txt" << QByteArray("Hallo %NAME%!") << "Müller"
                                            << QByteArray("M\xFCller");
}

void tst_EmailAttachement::ValueTakesTheFormOfTheFile() {
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(QString, value);
    QFETCH(QByteArray, written);
    QTemporaryDir temp;
    const QString source = temp.filePath(QStringLiteral("source"));
    WriteFile(source, content);
    TAttachementList list;
    TAttachement* attachement = list.Add();
    attachement->SetUseMacros(true);
    attachement->SetFileName(fileName);
    attachement->SetLocalFile(source);
    QVERIFY(attachement->MacroInFileUsed(QStringLiteral("%name%")));

    list.ReplaceMacros(QStringLiteral("%name%"), value);
    attachement->FinalizePrepare(temp.path());

    QByteArray expected = content;
    expected.replace("%NAME%", written);
    QCOMPARE(ReadFile(attachement->LocalFile()), expected);
}

void tst_EmailAttachement::MacroInFileUsed_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<bool>("useMacros");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expected");

    QTest::newRow("UTF-8, other letter case") << "attachements/letter-utf8.txt" << true << "%name%" << true;
    QTest::newRow("Windows-1252 text") << "attachements/letter-windows1252.txt" << true << "Grüße" << true;
    QTest::newRow("absent macro") << "attachements/letter-utf8.txt" << true << "%PLZ%" << false;
    QTest::newRow("content without UseMacros")
        << "attachements/letter-utf8.txt" << false << "%NAME%" << false;
    QTest::newRow("replacer fields") << "filemacroreplacer/form-fields.txt" << true << "%kdnr%" << true;
    QTest::newRow("replacer fields, absent")
        << "filemacroreplacer/form-fields.txt" << true << "%PLZ%" << false;
    QTest::newRow("empty name, in memory") << "attachements/letter-utf8.txt" << true << "" << false;
    QTest::newRow("empty name, replacer fields") << "filemacroreplacer/form-fields.txt" << true << "" << false;
}

void tst_EmailAttachement::MacroInFileUsed() {
    QFETCH(QString, fixture);
    QFETCH(bool, useMacros);
    QFETCH(QString, name);
    QFETCH(bool, expected);
    TAttachement attachement;
    attachement.SetUseMacros(useMacros);
    // The form fixture goes through the ".pdf" replacer, the letters are read into memory.
    attachement.SetFileName(fixture.startsWith(QLatin1String("filemacro")) ? QStringLiteral("Formular.pdf")
                                                                           : QStringLiteral("Brief.txt"));
    attachement.SetLocalFile(Fixtures + fixture);
    QCOMPARE(attachement.MacroInFileUsed(name), expected);
}

void tst_EmailAttachement::FinalizePrepareWritesPrivateCopy_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expectedSuffix");
    QTest::addColumn<QByteArray>("expectedContent");

    QTest::newRow("in-memory content, extension of the name") << "Brief.pdf.txt"
                                                              << "attachements/letter-utf8.txt"
                                                              << ".txt" << QByteArray("Sehr geehrte/r Anna,");
    QTest::newRow("name's extension, not the source's") << "Brief.doc"
                                                        << "attachements/letter-utf8.txt"
                                                        << ".doc" << QByteArray("Sehr geehrte/r Anna,");
    QTest::newRow("filled by the replacer") << "Formular.pdf"
                                            << "filemacroreplacer/form-fields.txt"
                                            << ".pdf" << QByteArray("Anrede=Sehr geehrte/r Anna");
}

void tst_EmailAttachement::FinalizePrepareWritesPrivateCopy() {
    QFETCH(QString, fileName);
    QFETCH(QString, source);
    QFETCH(QString, expectedSuffix);
    QFETCH(QByteArray, expectedContent);
    QTemporaryDir temp;
    QString written;
    {
        TAttachementList list;
        TAttachement* attachement = list.Add();
        attachement->SetUseMacros(true);
        attachement->SetFileName(fileName);
        attachement->SetLocalFile(Fixtures + source);
        list.ReplaceMacros(QStringLiteral("%NAME%"), QStringLiteral("Anna"));
        attachement->FinalizePrepare(temp.path());

        written = attachement->LocalFile();
        QCOMPARE(QFileInfo(written).absolutePath(), QFileInfo(temp.path()).absoluteFilePath());
        QVERIFY2(written.endsWith(expectedSuffix), qPrintable(written));
        QCOMPARE(ModeOf(written), QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(ReadFile(written).startsWith(expectedContent));
        QCOMPARE(attachement->PreparedData(), QByteArray());
        QCOMPARE(ReadFile(Fixtures + source).contains("Anna"), false); // the source stays as it is
    }
    QVERIFY2(!QFileInfo::exists(written), "freeing the attachment deletes its temporary file");
}

void tst_EmailAttachement::AttachementWithoutMacrosMakesNoTempFile() {
    QTemporaryDir temp;
    const QString source = Fixtures + QStringLiteral("attachements/letter-utf8.txt");
    {
        TAttachement attachement;
        attachement.SetFileName(QStringLiteral("Brief.txt"));
        attachement.SetLocalFile(source);
        attachement.FinalizePrepare(temp.path());
        QCOMPARE(attachement.LocalFile(), source);
        QCOMPARE(attachement.PreparedData(), QByteArray());
    }
    QCOMPARE(QDir(temp.path()).entryList(QDir::Files), QStringList());
    QVERIFY(QFileInfo::exists(source));
}

void tst_EmailAttachement::ReplaceLocalFileNameMacroInFile_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("localFile");
    QTest::addColumn<QString>("expected");

    QTest::newRow("name without extension") << "[localfilename_noext]"
                                            << "/a/b.txt"
                                            << "b";
    QTest::newRow("empty name takes the file's") << ""
                                                 << "/a/b.txt"
                                                 << "b.txt";
    QTest::newRow("both forms, any letter case") << "[LocalFileName] ([LOCALFILENAME_NOEXT])"
                                                 << "/a/b.txt"
                                                 << "b.txt (b)";
    QTest::newRow("last extension only") << "[localfilename_noext].pdf"
                                         << "/a/b.tar.gz"
                                         << "b.tar.pdf";
    QTest::newRow("plain name stays") << "Rechnung.pdf"
                                      << "/a/b.txt"
                                      << "Rechnung.pdf";
    QTest::newRow("a bracket of no macro stays") << "[Entwurf] Rechnung.pdf"
                                                 << "/a/b.txt"
                                                 << "[Entwurf] Rechnung.pdf";
}

void tst_EmailAttachement::ReplaceLocalFileNameMacroInFile() {
    QFETCH(QString, fileName);
    QFETCH(QString, localFile);
    QFETCH(QString, expected);
    TAttachement attachement;
    attachement.SetFileName(fileName);
    attachement.SetLocalFile(localFile);
    attachement.ReplaceLocalFileNameMacroInFile();
    QCOMPARE(attachement.FileName(), expected);
}

void tst_EmailAttachement::FileNameLosesLineBreaksOfValues() {
    QTemporaryDir temp;
    TAttachementList list;
    TAttachement* attachement = list.Add();
    attachement->SetUseMacros(true);
    attachement->SetFileName(QStringLiteral("Brief %name%.txt"));
    attachement->SetLocalFile(Fixtures + QStringLiteral("attachements/letter-utf8.txt"));
    list.ReplaceMacros(QStringLiteral("%NAME%"), QStringLiteral("Mül\r\nler"));
    QCOMPARE(attachement->FileName(), QStringLiteral("Brief Müller.txt"));
    // The content takes the value as it is.
    attachement->FinalizePrepare(temp.path());
    QVERIFY(ReadFile(attachement->LocalFile()).startsWith("Sehr geehrte/r M\xC3\xBCl\r\nler,"));
}

// A "%name%" macro is only looked for where a '%' is; a macro of another form everywhere, letter
// case ignored; a name or path without any macro stays as it is.
void tst_EmailAttachement::MacrosOfEitherFormInNameAndPath() {
    struct Case {
        QString Name, Path, ExpectedName, ExpectedPath;
    };
    const QList<Case> cases{{"Brief $kunde$ %NAME%.pdf", "/daten/$KUNDE$/%name%.pdf", "Brief K17 Anna.pdf",
                             "/daten/K17/Anna.pdf"},
                            {"Brief $kunde$.pdf", "/daten/$kunde$.pdf", "Brief K17.pdf", "/daten/K17.pdf"},
                            {"Rechnung.pdf", "/daten/rechnung.pdf", "Rechnung.pdf", "/daten/rechnung.pdf"}};
    TAttachementList list;
    for (const Case& c : cases) {
        TAttachement* attachement = list.Add();
        attachement->SetFileName(c.Name);
        attachement->SetLocalFile(c.Path);
    }
    list.ReplaceMacros(QList<TMacroReplacement>{{QStringLiteral("%name%"), QStringLiteral("Anna")},
                                                {QStringLiteral("$Kunde$"), QStringLiteral("K17")}});
    for (int i = 0; i < cases.size(); ++i) {
        QCOMPARE(list.Items(i)->FileName(), cases[i].ExpectedName);
        QCOMPARE(list.Items(i)->LocalFile(), cases[i].ExpectedPath);
    }
}

void tst_EmailAttachement::AttachementsForTheTransport() {
    TAttachementList list;
    QCOMPARE(list.GetAsList(), QStringList());
    QCOMPARE(list.GetFileList(), QList<TAttachementFile>());

    TAttachement* first = list.Add();
    first->SetFileName(QStringLiteral("a=b.pdf"));
    first->SetLocalFile(QStringLiteral("/x/y.pdf"));
    TAttachement* second = list.Add();
    second->SetFileName(QStringLiteral("c.txt"));
    second->SetLocalFile(QStringLiteral("/x/c.txt"));

    QCOMPARE(list.GetFileList(),
             (QList<TAttachementFile>{{QStringLiteral("a=b.pdf"), QStringLiteral("/x/y.pdf")},
                                      {QStringLiteral("c.txt"), QStringLiteral("/x/c.txt")}}));
    QCOMPARE(list.GetAsList(),
             (QStringList{QStringLiteral("a=b.pdf=/x/y.pdf"), QStringLiteral("c.txt=/x/c.txt")}));

    list.Delete(0);
    QCOMPARE(list.Count(), 1);
    QCOMPARE(list.Items(0), second);
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVAssertion, list.Items(1));
}

void tst_EmailAttachement::RequiresMacro_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("pattern"); // path pattern; "" for a plain local file
    QTest::addColumn<bool>("useMacros");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expected");

    const QString letter = Fixtures + QStringLiteral("attachements/letter-utf8.txt");
    QTest::newRow("path pattern requires every macro") << "Brief.txt"
                                                       << "/data/%KDNR%.txt" << false << "%PLZ%" << true;
    QTest::newRow("in the name, other letter case") << "Brief %kdnr%.txt"
                                                    << "" << false << "%KDNR%" << true;
    QTest::newRow("in the content") << "Brief.txt"
                                    << "" << true << "%NAME%" << true;
    QTest::newRow("content of a file without UseMacros") << "Brief.txt"
                                                         << "" << false << "%NAME%" << false;
    QTest::newRow("nowhere") << "Brief.txt"
                             << "" << true << "%PLZ%" << false;
    QTest::newRow("empty name, content") << "Brief.txt" << "" << true << "" << false;
    QTest::newRow("empty name, replacer") << "Formular.pdf" << "" << true << "" << false;
    QTest::newRow("empty name, path pattern") << "Brief.txt" << "/data/%KDNR%.txt" << false << "" << false;
}

void tst_EmailAttachement::RequiresMacro() {
    QFETCH(QString, fileName);
    QFETCH(QString, pattern);
    QFETCH(bool, useMacros);
    QFETCH(QString, name);
    QFETCH(bool, expected);
    TAttachementList list;
    TAttachement* attachement = list.Add();
    attachement->SetUseMacros(useMacros);
    attachement->SetFileName(fileName);
    if (pattern.isEmpty())
        attachement->SetLocalFile(Fixtures + QStringLiteral("attachements/letter-utf8.txt"));
    else
        attachement->SetLocalFileRef(pattern, true);
    QCOMPARE(list.RequiresMacro(name), expected);
}

void tst_EmailAttachement::HasWildcards_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::newRow("star") << "/data/4711*.pdf" << true;
    QTest::newRow("question mark") << "/data/4711?.pdf" << true;
    QTest::newRow("none") << "/data/4711.pdf" << false;
}

void tst_EmailAttachement::HasWildcards() {
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(emailmarketing::HasWildcards(text), expected);
}

QTEST_GUILESS_MAIN(tst_EmailAttachement)
#include "tst_EmailAttachement.moc"
