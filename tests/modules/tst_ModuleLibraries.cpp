#include "ClientPluginBase.h"
#include "ModuleLoader.h"
#include "QVException.h"
#include "modules/TestModuleControl.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <dlfcn.h>
#include <elf.h>

#include <cstring>

using namespace hostapi;

namespace {

const QString EmailMarketingGUID = QStringLiteral("{57C4F894-231F-4568-AA61-80DEB7BA4687}");
const QString RegisterServiceGUID = QStringLiteral("{EAD01DCC-E4FB-47C1-9771-B52DEBF2BA10}");

QStringList ClassNames(const TPluginDataModuleClassList& AList) {
    QStringList names;
    for (const TPluginDataModuleClass& c : AList)
        names.append(c.ClassName);
    return names;
}

QStringList ClassNames(const TPluginFormClassList& AList) {
    QStringList names;
    for (const TPluginFormClass& c : AList)
        names.append(c.ClassName);
    return names;
}

// Opens an extra reference to a loaded library (dlclose it again); nullptr when it is not loaded.
void* LoadedHandle(const QString& AFileName) {
    return dlopen(QFile::encodeName(AFileName).constData(), RTLD_NOW | RTLD_NOLOAD);
}

// The symbols that the ELF file AFileName defines in its dynamic symbol table (what dlsym can find and
// what other libraries may bind to), read from the file itself. EQVException when it is no 64-bit ELF
// file or its tables lie outside it.
QStringList DefinedDynamicSymbols(const QString& AFileName) {
    QFile file(AFileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EQVException(QStringLiteral("%1 cannot be read").arg(AFileName));
    const QByteArray data = file.readAll();
    const auto fail = [&AFileName](const char* AWhat) {
        return EQVException(QStringLiteral("%1: %2").arg(AFileName, QString::fromLatin1(AWhat)));
    };
    const auto at = [&data, &fail](quint64 AOffset, quint64 ASize) {
        if (AOffset > quint64(data.size()) || ASize > quint64(data.size()) - AOffset)
            throw fail("table outside the file");
        return data.constData() + AOffset;
    };
    Elf64_Ehdr header;
    std::memcpy(&header, at(0, sizeof header), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
        throw fail("not a 64-bit ELF file");
    if (header.e_shentsize != sizeof(Elf64_Shdr))
        throw fail("unexpected section header size");
    QList<Elf64_Shdr> sections(header.e_shnum);
    std::memcpy(sections.data(), at(header.e_shoff, quint64(header.e_shnum) * sizeof(Elf64_Shdr)),
                size_t(header.e_shnum) * sizeof(Elf64_Shdr));
    QStringList names;
    bool found = false;
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type != SHT_DYNSYM)
            continue;
        found = true;
        if (section.sh_link >= sections.size() || section.sh_entsize != sizeof(Elf64_Sym))
            throw fail("malformed dynamic symbol table");
        const Elf64_Shdr& strings = sections.at(section.sh_link);
        const char* stringData = at(strings.sh_offset, strings.sh_size);
        const char* symbolData = at(section.sh_offset, section.sh_size);
        for (quint64 i = 0; i < section.sh_size / sizeof(Elf64_Sym); ++i) {
            Elf64_Sym symbol;
            std::memcpy(&symbol, symbolData + i * sizeof(Elf64_Sym), sizeof symbol);
            const unsigned char binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || binding == STB_LOCAL)
                continue;
            if (symbol.st_name >= strings.sh_size)
                throw fail("symbol name outside its string table");
            names.append(QString::fromLatin1(
                stringData + symbol.st_name,
                qsizetype(strnlen(stringData + symbol.st_name, strings.sh_size - symbol.st_name))));
        }
    }
    if (!found)
        throw fail("no dynamic symbol table");
    names.sort();
    return names;
}

} // namespace

// Both product modules, built as shared libraries, and the test module loaded by dlopen into one
// process: each module's InitProc answers its own GUID and its own class lists.
class tst_ModuleLibraries : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        FLoader.LoadFolder(QStringLiteral(QV_MODULE_DIR));
        FLoader.LoadModule(QStringLiteral(QV_TEST_MODULE));
        QCOMPARE(FLoader.Plugins().size(), 3);
    }

    void eachModuleAnswersItsOwnPluginObject_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("guid");
        QTest::addColumn<QStringList>("dataModules");
        QTest::addColumn<QStringList>("windows");
        // The register service module registers its two data modules and two windows; the test module
        // its own four.
        QTest::newRow("e-mail marketing")
            << QV_EMAIL_MARKETING_MODULE << EmailMarketingGUID << QStringList{"TdmPluginEmailMarketingMain"}
            << QStringList{"TfrmEmailMarketing", "TfrmEmailMarketingLists",
                           "TfrmPluginEmailMarketingGlobalSettings"};
        QTest::newRow("register service")
            << QV_REGISTER_SERVICE_MODULE << RegisterServiceGUID
            << QStringList{"TdmPluginRegisterServiceMain", "TdmPluginRegisterServerMenus"}
            << QStringList{"TfrmPluginRegisterServiceConfig", "TfrmPluginRegisterServiceLogFile"};
        QTest::newRow("test module") << QV_TEST_MODULE << QString::fromLatin1(testmodule::TestModuleGUID)
                                     << QStringList{"TdmTestModuleMain", "TdmTestModuleMenus"}
                                     << QStringList{"TfrmTestModuleMain", "TfrmTestModuleSettings"};
    }

    void eachModuleAnswersItsOwnPluginObject() {
        QFETCH(QString, file);
        QFETCH(QString, guid);
        QFETCH(QStringList, dataModules);
        QFETCH(QStringList, windows);

        TClientPluginBase* plugin = FLoader.PluginByGUID(guid);
        QVERIFY2(plugin, qPrintable(guid));
        QCOMPARE(FLoader.FileNameOf(guid), QFileInfo(file).absoluteFilePath());
        QCOMPARE(plugin->PluginGUID(), guid);
        QVERIFY(plugin->AutoCreateDataModules());
        auto* gui = dynamic_cast<TClientPluginBaseGUI*>(plugin);
        QVERIFY(gui);
        QCOMPARE(ClassNames(gui->PluginDataModuleClasses()), dataModules);
        QCOMPARE(ClassNames(gui->PluginFormClasses()), windows);
        QCOMPARE(plugin->DataModules().size(), dataModules.size());

        // The instance is the low 32 bits of the module's load address.
        void* handle = LoadedHandle(file);
        QVERIFY(handle);
        Dl_info info{};
        QVERIFY(dladdr(dlsym(handle, "InitProc"), &info) != 0);
        dlclose(handle);
        QCOMPARE(plugin->Instance(), static_cast<quint32>(reinterpret_cast<quintptr>(info.dli_fbase)));
    }

    void classListsBelongToTheirModule() {
        QList<const void*> dataModuleLists;
        QList<const void*> formLists;
        for (TClientPluginBase* plugin : FLoader.Plugins()) {
            auto* gui = dynamic_cast<TClientPluginBaseGUI*>(plugin);
            QVERIFY(gui);
            dataModuleLists.append(&gui->PluginDataModuleClasses());
            formLists.append(&gui->PluginFormClasses());
        }
        for (qsizetype i = 0; i < dataModuleLists.size(); ++i) {
            QCOMPARE(dataModuleLists.count(dataModuleLists.at(i)), 1);
            QCOMPARE(formLists.count(formLists.at(i)), 1);
        }
    }

    void modulesExportOnlyInitProc_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("hiddenSymbol");
        QTest::newRow("e-mail marketing")
            << QV_EMAIL_MARKETING_MODULE << QByteArray("_ZN14emailmarketing23PluginDataModuleClassesEv");
        QTest::newRow("register service")
            << QV_REGISTER_SERVICE_MODULE << QByteArray("_ZN15registerservice17PluginFormClassesEv");
    }

    void modulesExportOnlyInitProc() {
        QFETCH(QString, file);
        QFETCH(QByteArray, hiddenSymbol);
        void* handle = LoadedHandle(file);
        QVERIFY(handle);
        const bool hasEntry = dlsym(handle, "InitProc") != nullptr;
        const bool exportsList = dlsym(handle, hiddenSymbol.constData()) != nullptr;
        dlclose(handle);
        QVERIFY(hasEntry);
        QVERIFY2(!exportsList, hiddenSymbol.constData());
    }

    // The whole dynamic symbol table: a module defines InitProc and nothing else that the process
    // could bind to (no class, no static, no inline function of a header).
    void dynamicSymbolTableDefinesOnlyInitProc_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("e-mail marketing") << QV_EMAIL_MARKETING_MODULE;
        QTest::newRow("register service") << QV_REGISTER_SERVICE_MODULE;
        QTest::newRow("test module") << QV_TEST_MODULE;
    }

    void dynamicSymbolTableDefinesOnlyInitProc() {
        QFETCH(QString, file);
        QCOMPARE(DefinedDynamicSymbols(file), QStringList{"InitProc"});
    }

    void symbolReaderSeesExportedSymbols() {
        // The reader itself, on a library that exports much: it must see more than one name.
        const QStringList symbols = DefinedDynamicSymbols(QStringLiteral(QV_HOSTAPI_LIBRARY));
        QVERIFY(symbols.size() > 100);
        QVERIFY(symbols.contains(QStringLiteral("_ZN7hostapi9OwnedCopyERK7QString")));
    }

    void unloadingRemovesEveryModule() {
        QVERIFY(FLoader.ShutDown());
        QVERIFY(FLoader.Plugins().isEmpty());
        for (const char* file : {QV_EMAIL_MARKETING_MODULE, QV_REGISTER_SERVICE_MODULE, QV_TEST_MODULE}) {
            void* handle = LoadedHandle(QString::fromUtf8(file));
            if (handle)
                dlclose(handle);
            QVERIFY2(!handle, file);
        }
    }

private:
    ModuleLoader FLoader;
};

// The modules' data modules hold menu actions, which need a GUI application.
QTEST_MAIN(tst_ModuleLibraries)
#include "tst_ModuleLibraries.moc"
