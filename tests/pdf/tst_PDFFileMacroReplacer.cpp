// TPDFFileMacroReplacer with a stand-in pdftk on PATH: the file extensions it takes, where pdftk is
// looked for, settings to driver options, lazy reading, macro replacement in the field values,
// copying, and its registration by the module.

#include "PDFFileMacroReplacer.h"

#include "FileUtils.h"
#include "PDFTK.h"
#include "PluginModuleRegistration.h"
#include "QVException.h"
#include "ThrownMessage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace emailmarketing;
using testsupport::ThrownMessage;

// The module's entry point (core/PluginModuleEntry.cpp, built into this test).
extern "C" hostapi::TClientPluginBase* InitProc();

namespace {

// Exposes the driver.
class Probe : public TPDFFileMacroReplacer {
public:
    using TPDFFileMacroReplacer::GetPDFTK;
};

} // namespace

class tst_PDFFileMacroReplacer : public QObject {
    Q_OBJECT

    QTemporaryDir FBinDir;
    QByteArray FOldPath;

    // Puts a stand-in "pdftk" on PATH that counts its runs and writes a form with AFields (name,
    // value; plain ASCII) as its output file.
    void InstallFakePdftk(const QList<std::pair<QByteArray, QByteArray>>& AFields) {
        QFile::remove(FBinDir.filePath(QStringLiteral("runs")));
        QByteArray refs;
        QByteArray objects;
        for (int i = 0; i < AFields.size(); ++i) {
            refs += QByteArray::number(i + 2) + " 0 R ";
            objects += QByteArray::number(i + 2) + " 0 obj\n<< /FT /Tx /T (" + AFields[i].first + ") /V (" +
                       AFields[i].second + ") >>\nendobj\n";
        }
        QFile form(FBinDir.filePath(QStringLiteral("form.pdf")));
        QVERIFY(form.open(QIODevice::WriteOnly | QIODevice::Truncate));
        form.write("%PDF-1.4\n1 0 obj\n<< /Type /Catalog /AcroForm << /Fields [" + refs +
                   "] >> >>\nendobj\n" + objects + "trailer\n<< /Root 1 0 R >>\n%%EOF\n");
        form.close();
        QFile script(FBinDir.filePath(QStringLiteral("pdftk")));
        QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write("#!/bin/sh\necho run >> '" + FBinDir.filePath(QStringLiteral("runs")).toUtf8() +
                     "'\nwhile [ \"$1\" != output ]; do shift; done\n/bin/cp '" + form.fileName().toUtf8() +
                     "' \"$2\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    int Runs() const {
        QFile file(FBinDir.filePath(QStringLiteral("runs")));
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    }

private slots:
    void initTestCase() {
        FOldPath = qgetenv("PATH");
        qputenv("PATH", FBinDir.path().toUtf8());
    }
    void cleanupTestCase() { qputenv("PATH", FOldPath); }

    void fileExtensions_data() {
        QTest::addColumn<QString>("ext");
        QTest::addColumn<bool>("supported");
        QTest::newRow(".pdf") << ".pdf" << true;
        QTest::newRow(".PDF") << ".PDF" << true;
        QTest::newRow(".Pdf") << ".Pdf" << true;
        QTest::newRow("no dot") << "pdf" << false;
        QTest::newRow(".pdfx") << ".pdfx" << false;
        QTest::newRow("empty") << "" << false;
    }
    void fileExtensions() {
        QFETCH(QString, ext);
        QFETCH(bool, supported);
        QCOMPARE(TPDFFileMacroReplacer::IsFileExtSupported(ext), supported);
    }

    void availableOnlyWithPdftk() {
        QFile::remove(FBinDir.filePath(QStringLiteral("pdftk")));
        QVERIFY(!TPDFFileMacroReplacer::IsAvailable());
        Probe replacer;
        replacer.SetSourceFile(QStringLiteral("/forms/a.pdf"));
        const QString expected =
            QStringLiteral("Can't execute PDFTK.EXE in '%1pdftk'!").arg(hostapi::ApplicationFolder());
        QCOMPARE(ThrownMessage([&] { replacer.FieldCount(); }), expected);
        // The failed read leaves the fields unread: the next access tries again.
        InstallFakePdftk({{"A", ""}});
        QVERIFY(TPDFFileMacroReplacer::IsAvailable());
        QCOMPARE(replacer.FieldCount(), 1);
        QCOMPARE(TPDFFileMacroReplacer::PDFTKProgram(), FBinDir.filePath(QStringLiteral("pdftk")));
    }

    void settingsBecomeDriverOptions_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<bool>("flatten");
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("encryption");
        QTest::addColumn<int>("permissionBits");
        QTest::addColumn<QStringList>("passwords");
        QTest::newRow("none") << QStringList() << false << 0 << 0 << 0 << QStringList{{}, {}, {}};
        QTest::newRow("all set") << QStringList{"Flatten=1",        "Compression=1",     "Encryption=2",
                                                "InputPassword=in", "OwnerPassword=own", "UserPassword=us",
                                                "Permissions=0,7"}
                                 << true << 1 << 2 << ((1 << pmPrinting) | (1 << pmFillIn))
                                 << QStringList{"in", "own", "us"};
        QTest::newRow("flatten True is off")
            << QStringList{"Flatten=True"} << false << 0 << 0 << 0 << QStringList{{}, {}, {}};
        QTest::newRow("letter counts as all features")
            << QStringList{"Permissions=0,x"} << false << 0 << 0 << ((1 << pmPrinting) | (1 << pmAllFeatures))
            << QStringList{{}, {}, {}};
        QTest::newRow("bits above 15 ignored")
            << QStringList{"Permissions=15,16,99"} << false << 0 << 0 << (1 << 15) << QStringList{{}, {}, {}};
        QTest::newRow("ordinals out of range count as 0") << QStringList{"Compression=3", "Encryption=-1"}
                                                          << false << 0 << 0 << 0 << QStringList{{}, {}, {}};
        QTest::newRow("not a number counts as 0") << QStringList{"Compression=zwei", "Encryption="} << false
                                                  << 0 << 0 << 0 << QStringList{{}, {}, {}};
    }
    void settingsBecomeDriverOptions() {
        QFETCH(QStringList, settings);
        QFETCH(bool, flatten);
        QFETCH(int, compression);
        QFETCH(int, encryption);
        QFETCH(int, permissionBits);
        QFETCH(QStringList, passwords);
        InstallFakePdftk({});
        Probe replacer;
        replacer.SetSettings(settings);
        replacer.SetSourceFile(QStringLiteral("/forms/a.pdf"));
        replacer.FieldCount();
        const TPDFTK& driver = replacer.GetPDFTK();
        QCOMPARE(driver.Flatten(), flatten);
        QCOMPARE(int(driver.Compression()), compression);
        QCOMPARE(int(driver.Encryption()), encryption);
        QCOMPARE(int(driver.Permissions().Bits()), permissionBits);
        QCOMPARE((QStringList{driver.InputPassword(), driver.OwnerPassword(), driver.UserPassword()}),
                 passwords);
    }

    void settingsChangedLaterStillApply() {
        // Output options set after the fields were read reach the fill (an encryption set then is not lost).
        InstallFakePdftk({{"A", ""}});
        Probe replacer;
        replacer.SetSourceFile(QStringLiteral("/forms/a.pdf"));
        QCOMPARE(replacer.FieldCount(), 1);
        replacer.SetSettings({QStringLiteral("Encryption=2"), QStringLiteral("OwnerPassword=own")});
        QTemporaryDir dir;
        replacer.SaveToFile(dir.filePath(QStringLiteral("out.pdf")));
        QCOMPARE(replacer.GetPDFTK().Encryption(), enc128bit);
        QCOMPARE(replacer.GetPDFTK().OwnerPassword(), QStringLiteral("own"));
    }

    void replacesMacrosInEveryValueOnce() {
        InstallFakePdftk({{"%NAME%", "%NAME% und %name%"}, {"B", "Herr %Name%"}, {"C", "fest"}});
        Probe replacer;
        replacer.SetSourceFile(QStringLiteral("/forms/a.pdf"));
        // Nothing is read before a field-level access.
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, replacer.GetFieldValue(0));
        QCOMPARE(Runs(), 0);
        QVERIFY(replacer.RequiresMacro(QStringLiteral("%NAME%")));
        QVERIFY(!replacer.RequiresMacro(QStringLiteral("%ORT%")));
        replacer.ReplaceMacroValue(QStringLiteral("%NAME%"), QStringLiteral("Müller (A\\B)"));
        QCOMPARE(replacer.FieldCount(), 3);
        QCOMPARE(replacer.GetFieldValue(0), QStringLiteral("Müller (A\\B) und Müller (A\\B)"));
        QCOMPARE(replacer.GetFieldValue(1), QStringLiteral("Herr Müller (A\\B)"));
        QCOMPARE(replacer.GetFieldValue(2), QStringLiteral("fest"));
        QCOMPARE(Runs(), 1);
        // Names stay.
        QCOMPARE(replacer.GetPDFTK().FDF().GetField(0)->KeyName(), QStringLiteral("%NAME%"));
        replacer.SetFieldValue(2, QStringLiteral("neu"));
        QCOMPARE(replacer.GetFieldValue(2), QStringLiteral("neu"));
        // A new source file is read again at the next access.
        replacer.SetSourceFile(QStringLiteral("/forms/b.pdf"));
        QCOMPARE(replacer.GetFieldValue(0), QStringLiteral("Müller (A\\B) und Müller (A\\B)"));
        QCOMPARE(replacer.FieldCount(), 3);
        QCOMPARE(Runs(), 2);
    }

    void assignCopiesTheFieldsWithoutReading() {
        InstallFakePdftk({{"A", "%NAME%"}});
        TPDFFileMacroReplacer source;
        source.SetSettings({QStringLiteral("Flatten=1")});
        source.SetSourceFile(QStringLiteral("/forms/a.pdf"));
        QCOMPARE(source.FieldCount(), 1);
        TPDFFileMacroReplacer copy;
        copy.Assign(source);
        copy.ReplaceMacroValue(QStringLiteral("%NAME%"), QStringLiteral("Müller"));
        QCOMPARE(copy.GetFieldValue(0), QStringLiteral("Müller"));
        QCOMPARE(source.GetFieldValue(0), QStringLiteral("%NAME%"));
        QCOMPARE(copy.Settings(), source.Settings());
        QCOMPARE(copy.SourceFile(), source.SourceFile());
        QCOMPARE(Runs(), 1);

        // From an unread replacer: the copy is unread too and has no fields yet.
        TPDFFileMacroReplacer unread;
        unread.SetSourceFile(QStringLiteral("/forms/b.pdf"));
        copy.Assign(unread);
        QCOMPARE(Runs(), 1);
        QCOMPARE(copy.FieldCount(), 1);
        QCOMPARE(Runs(), 2);
    }

    // The engine (core) registers no file macro replacer; the module's entry registers this class,
    // once however often it runs.
    void moduleEntryRegistersTheClass() {
        const TCustomFileMacroReplacerClass& pdfClass =
            TCustomFileMacroReplacerClass::Of<TPDFFileMacroReplacer>();
        UnRegisterPDFFileMacroReplacer();
        RegisterModuleClasses();
        QCOMPARE(TCustomFileMacroReplacer::ClassByFileExt(QStringLiteral(".pdf")), nullptr);
        const std::unique_ptr<hostapi::TClientPluginBase> plugin(InitProc());
        const std::unique_ptr<hostapi::TClientPluginBase> again(InitProc());
        QCOMPARE(TCustomFileMacroReplacer::ClassByFileExt(QStringLiteral(".PDF")), &pdfClass);
        UnRegisterPDFFileMacroReplacer();
        QCOMPARE(TCustomFileMacroReplacer::ClassByFileExt(QStringLiteral(".pdf")), nullptr);
    }
};

QTEST_MAIN(tst_PDFFileMacroReplacer)
#include "tst_PDFFileMacroReplacer.moc"
