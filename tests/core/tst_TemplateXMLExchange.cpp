// Templates with their text blocks and embedded contents exported into a ".emt" file and imported
// into another database: new ids and links, texts and bytes intact, no duplicates on a second
// import, the selection of the export, unknown items and crafted file names refused whole, files in
// other encodings read, and the failure paths of SaveTemplateToFile.

#include "DataImportPlugin.h"
#include "Database.h"
#include "ProgressService.h"
#include "QVException.h"
#include "QVXMLElement.h"
#include "QVXMLImport.h"
#include "TemplateXMLExchange.h"
#include "VRNLang.h"
#include "Windows1252Codec.h"
#include "dmPluginEmailMarketingMain.h"
#include "support/TestDatabase.h"

#include <QFile>
#include <QSet>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace emailmarketing;
using hostapi::Database;
using hostapi::TQVXMLElement;
using testsupport::Backend;
using testsupport::Count;
using testsupport::TestDatabase;

namespace {

const QString GreekName = QStringLiteral("Grüße – Καλημέρα 日本");
const QString BlockBody = QStringLiteral("Zł€ty ŁÓDŹ \r\nзаказ");
const QString BlockHtml = QStringLiteral("<p>Ελληνικά &amp; 中文</p>");

QByteArray ImageBytes() {
    QByteArray bytes;
    for (int i = 0; i < 600; ++i)
        bytes.append(char(i * 7 % 256));
    return bytes;
}

// The exchange as the data module holds it, registered with the host's import, counting the
// template-change notices it gives.
struct Exchange {
    Exchange()
        : Lang("dmPluginEmailMarketingMain"),
          Object(Lang, [this](qint64& LastInsertID) { Changes << LastInsertID; }) {
        Object.QVXMLImportContainer().AfterStartup();
    }
    hostapi::TVRNLang Lang;
    QList<qint64> Changes;
    TTemplateXMLExchange Object;
};

// A data-import plug-in that fails the export with the given text.
class FailingPlugin : public hostapi::TDataImportPlugin {
public:
    explicit FailingPlugin(QString AText) : FText(std::move(AText)) {}
    bool ExportToFile(const QString&, const QStringList&, QString& AErrorText, const QVariantMap&,
                      const QString&) override {
        AErrorText = FText;
        return false;
    }

private:
    QString FText;
};

// The template the round trip carries (after two others, so that its id differs from the one it
// gets in an empty database), with two text blocks and one image; answers its id.
qint64 InsertTemplateWithChildren() {
    Database::InsertRow("emtemplates", {"name"}, {"first"});
    Database::InsertRow("emtemplates", {"name"}, {"second"});
    const qint64 id =
        Database::InsertRow("emtemplates", {"name", "subject", "mailbodyhtml", "emailstyle", "mailinglist"},
                            {GreekName, "Betreff €", "<img src=\"image001.png\">", 4, 3});
    Database::InsertRow("emltextblocks", {"emtemplateid", "descr", "body", "bodyhtml"},
                        {id, "Gruß", BlockBody, BlockHtml});
    Database::InsertRow("emltextblocks", {"emtemplateid", "descr", "body"}, {id, "Zweiter", "zwei"});
    Database::InsertRow("emlembededcontent", {"emltemplateid", "contentfilename", "contentdata"},
                        {id, "image001.png", ImageBytes()});
    Database::InsertRow("emltextblocks", {"emtemplateid", "descr", "body"}, {1, "other template", "x"});
    return id;
}

QStringList ItemNames(const QString& APath) {
    QFile file(APath);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("cannot read")};
    QStringList names;
    for (const TQVXMLElement& part : TQVXMLElement::Parse(file.readAll()).Children)
        for (const TQVXMLElement& item : part.Children)
            names << item.Name + QLatin1Char(' ') +
                         (item.HasAttribute("descr") ? item.Attribute("descr")
                          : item.Child("name")       ? item.Child("name")->Text
                                                     : item.Attribute("contentfilename"));
    return names;
}

QByteArray TemplateDocument(const QByteArray& AItems) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qvdata><em_emailtemplate>\n"
           "<em_emailtemplate_item em_emailtemplate_source=\"S\" em_emailtemplate_ident=\"T1\"><name>N</name>"
           "</em_emailtemplate_item>\n" +
           AItems + "</em_emailtemplate></qvdata>\n";
}

// Items of a hand-made exchange file of source "S".
QByteArray TemplateItem(const QByteArray& AIdent, const QByteArray& AName) {
    return "<em_emailtemplate_item em_emailtemplate_source=\"S\" em_emailtemplate_ident=\"" + AIdent +
           "\"><name>" + AName + "</name></em_emailtemplate_item>\n";
}
QByteArray RefTo(const QByteArray& ATemplateIdent) {
    return "emtemplateid=\"" + ATemplateIdent + "\" emtemplateid--ref=\"em_emailtemplate_item\"";
}
// A text block "Gruß"; AAttributes name its template.
QByteArray BlockItem(const QByteArray& AIdent, const QByteArray& AAttributes, const QByteArray& AChildren) {
    return "<em_emailtextblock_item em_emailtemplate_source=\"S\" em_emailtextblock_ident=\"" + AIdent +
           "\" " + AAttributes + " descr=\"Gruß\">" + AChildren + "</em_emailtextblock_item>\n";
}
QByteArray Body(const QByteArray& AText) {
    return "<body>" + AText + "</body>";
}
QByteArray Part(const QByteArray& AItems) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qvdata><em_emailtemplate>\n" + AItems +
           "</em_emailtemplate></qvdata>\n";
}
const char* BackendName(Backend ABackend) {
    return ABackend == Backend::SQLite ? "sqlite" : "postgresql";
}

} // namespace

class tst_TemplateXMLExchange : public QObject {
    Q_OBJECT

private slots:
    void roundTripIntoAnEmptyDatabase_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void roundTripIntoAnEmptyDatabase() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        QTemporaryDir dir;
        const QString path = dir.filePath("news.emt");
        qint64 exportedId = -1;
        QStringList progress;
        const auto connection =
            connect(&hostapi::ProgressService::Instance(), &hostapi::ProgressService::ProgressOpened, this,
                    [&](int AHandle) {
                        for (const auto& entry : hostapi::ProgressService::Instance().Entries())
                            if (entry.Handle == AHandle)
                                progress << entry.Caption;
                    });
        {
            TestDatabase source(backend);
            exportedId = InsertTemplateWithChildren();
            Exchange exchange;
            exchange.Object.SaveTemplateToFile(path, exportedId, "News");
        }
        disconnect(connection);
        QCOMPARE(progress, (QStringList{"Exportiere Email-Vorlage", "Exportiere Textbausteine"}));
        QVERIFY(hostapi::ProgressService::Instance().Entries().isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const TQVXMLElement root = TQVXMLElement::Parse(file.readAll());
        QCOMPARE(root.Attribute("description"), QStringLiteral("Email-Vorlage 'News'"));

        TestDatabase target(backend);
        Exchange exchange;
        QString error;
        for (int run = 0; run < 2; ++run) {
            QVERIFY2(exchange.Object.DataImportPlugin().ImportFile(path, error), qPrintable(error));
            QCOMPARE(Count("emtemplates"), 1);
            QCOMPARE(Count("emltextblocks"), 2);
            QCOMPARE(Count("emlembededcontent"), 1);
        }
        const qint64 id = testsupport::Value("emtemplates", "id", "\"name\" = ?", {GreekName}).toLongLong();
        QVERIFY(id != exportedId);
        QCOMPARE(exchange.Changes, (QList<qint64>{id, -1})); // the second run inserted nothing
        QCOMPARE(testsupport::Value("emtemplates", "subject", "\"id\" = ?", {id}).toString(),
                 QStringLiteral("Betreff €"));
        QCOMPARE(testsupport::Value("emtemplates", "emailstyle", "\"id\" = ?", {id}).toInt(), 4);
        QVERIFY(testsupport::Value("emtemplates", "mailinglist", "\"id\" = ?", {id})
                    .isNull()); // a local list id stays home
        QCOMPARE(Count("emltextblocks", "\"emtemplateid\" = ?", {id}), 2);
        QCOMPARE(testsupport::Value("emltextblocks", "body", "\"descr\" = ?", {"Gruß"}).toString(),
                 BlockBody);
        QCOMPARE(testsupport::Value("emltextblocks", "bodyhtml", "\"descr\" = ?", {"Gruß"}).toString(),
                 BlockHtml);
        QCOMPARE(testsupport::Value("emlembededcontent", "contentdata", "\"emltemplateid\" = ?", {id})
                     .toByteArray(),
                 ImageBytes());
        QCOMPARE(testsupport::Value("emlembededcontent", "contentfilename", "\"emltemplateid\" = ?", {id})
                     .toString(),
                 QStringLiteral("image001.png"));
        QCOMPARE(
            Count("emtemplates", "\"impsource\" = ? AND \"globalrecuid\" <> ''", {root.Attribute("source")}),
            1);
    }

    void unknownItemsFailTheWholeImport_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("letter case") << QStringLiteral("EM_emailtemplate_item");
        QTest::newRow("other item") << QStringLiteral("em_emailattachement_item");
    }
    void unknownItemsFailTheWholeImport() {
        QFETCH(QString, name);
        TestDatabase tdb;
        Database::InsertRow("emtemplates", {"name"}, {"kept"});
        Exchange exchange;
        QString error;
        QVERIFY(!hostapi::TQVXMLImport::Import(
            TemplateDocument("<" + name.toUtf8() +
                             " em_emailtemplate_source=\"S\" em_emailtemplate_ident=\"T2\" name=\"X\"/>\n"),
            error));
        QCOMPARE(error, "Unknown XML-Import-Part item: '" + name + "'!");
        QCOMPARE(Count("emtemplates"), 1);
        QCOMPARE(testsupport::Value("emtemplates", "name", "1 = 1").toString(), QStringLiteral("kept"));
        QCOMPARE(exchange.Changes, QList<qint64>());
    }

    void exportSelectsTemplates_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<QVariant>("templateDBID");
        QTest::addColumn<bool>("ownRecordsOnly");
        QTest::addColumn<QStringList>("expected");
        const QStringList all{"em_emailtemplate_item zero", "em_emailtemplate_item own",
                              "em_emailtextblock_item mine", "em_emailtextblock_item imported block",
                              "em_emailtemplate_item imported"};
        for (Backend backend : TestDatabase::SelectedBackends()) {
            const char* b = backend == Backend::SQLite ? "sqlite" : "postgresql";
            QTest::addRow("%s: template 0", b)
                << backend << QVariant(0) << false << QStringList{"em_emailtemplate_item zero"};
            QTest::addRow("%s: template 0, own only", b)
                << backend << QVariant(0) << true << QStringList{"em_emailtemplate_item zero"};
            QTest::addRow("%s: all", b) << backend << QVariant() << false << all;
            QTest::addRow("%s: not a number is all", b) << backend << QVariant("x") << false << all;
            QTest::addRow("%s: own records", b)
                << backend << QVariant() << true
                << QStringList{"em_emailtemplate_item zero", "em_emailtemplate_item own",
                               "em_emailtextblock_item mine"};
        }
    }
    void exportSelectsTemplates() {
        QFETCH(Backend, backend);
        QFETCH(QVariant, templateDBID);
        QFETCH(bool, ownRecordsOnly);
        QFETCH(QStringList, expected);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        Database::InsertRow("emtemplates", {"id", "name"}, {0, "zero"});
        Database::InsertRow("emtemplates", {"id", "name"}, {5, "own"});
        Database::InsertRow("emtemplates", {"id", "name", "impsource", "globalrecuid"},
                            {6, "imported", "OTHER", "G6"});
        Database::InsertRow("emltextblocks", {"emtemplateid", "descr"}, {5, "mine"});
        Database::InsertRow("emltextblocks", {"emtemplateid", "descr", "impsource", "globalrecuid"},
                            {5, "imported block", "OTHER", "B1"});
        Exchange exchange;
        exchange.Object.DataImportPlugin().SetOwnRecordsOnly(ownRecordsOnly);
        QVariantMap params;
        if (templateDBID.isValid())
            params.insert(TTemplateXMLExchange::TemplateDBIDParam, templateDBID);
        const QString path = tdb.TempFolder() + "/out.emt";
        QString error;
        QVERIFY2(
            exchange.Object.DataImportPlugin().ExportToFile(path, {"em_emailtemplate"}, error, params, {}),
            qPrintable(error));
        QCOMPARE(ItemNames(path), expected);
    }

    void craftedContentFileNamesFailTheirItem_data() {
        QTest::addColumn<QByteArray>("attribute");
        QTest::addColumn<QString>("shown");
        QTest::newRow("folder") << QByteArray("contentfilename=\"sub/image.png\"")
                                << "Textbaustein 'sub/image.png'";
        QTest::newRow("backslash") << QByteArray("contentfilename=\"..\\image.png\"")
                                   << "Textbaustein '..\\image.png'";
        QTest::newRow("parent") << QByteArray("contentfilename=\"..\"") << "Textbaustein '..'";
        QTest::newRow("line feed") << QByteArray("contentfilename=\"a&#10;b.png\"")
                                   << QStringLiteral("Textbaustein 'a\uFFFDb.png'");
        QTest::newRow("tab in an element") << QByteArray("><contentfilename>\tb.png</contentfilename")
                                           << QStringLiteral("Textbaustein '\uFFFDb.png'");
        QTest::newRow("empty") << QByteArray("contentfilename=\"\"") << "Textbaustein ''";
        QTest::newRow("absent") << QByteArray() << "Textbaustein ''";
    }
    void craftedContentFileNamesFailTheirItem() {
        QFETCH(QByteArray, attribute);
        QFETCH(QString, shown);
        TestDatabase tdb;
        Exchange exchange;
        QString error;
        QVERIFY(!hostapi::TQVXMLImport::Import(
            TemplateDocument(
                "<em_emailembcontent_item em_emailtemplate_source=\"S\" em_emailembcontent_ident=\"I1\" "
                "emltemplateid=\"T1\" emltemplateid--ref=\"em_emailtemplate_item\" " +
                attribute + "><contentdata>AAE=</contentdata></em_emailembcontent_item>\n"),
            error));
        QVERIFY2(error.startsWith(shown + ": Der Dateiname ist kein einfacher Dateiname"), qPrintable(error));
        QCOMPARE(Count("emtemplates"), 0);
        QCOMPARE(Count("emlembededcontent"), 0);
    }

    void failingItemsNameTheirCaption() {
        TestDatabase tdb;
        Exchange exchange;
        QString error;
        QVERIFY(!hostapi::TQVXMLImport::Import(
            TemplateDocument(
                "<em_emailtextblock_item em_emailtemplate_source=\"S\" em_emailtextblock_ident=\"B1\" "
                "emtemplateid=\"T404\" emtemplateid--ref=\"em_emailtemplate_item\" descr=\"Gruß\"/>\n"),
            error));
        QVERIFY2(error.startsWith("Textbaustein 'Gruß': ") && error.contains("T404"), qPrintable(error));
        QCOMPARE(Count("emtemplates"), 0);
    }

    void filesInTheirDeclaredEncodingLoad_data() {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QString>("name");
        QTest::newRow("windows-1252") << QByteArray("windows-1252") << QStringLiteral("Grüße – 5 €");
        QTest::newRow("ISO-8859-1") << QByteArray("ISO-8859-1") << QStringLiteral("Grüße ÀÿÆ");
        QTest::newRow("UTF-16") << QByteArray("UTF-16") << QStringLiteral("Καλημέρα 日本");
    }
    void filesInTheirDeclaredEncodingLoad() {
        QFETCH(QByteArray, encoding);
        QFETCH(QString, name);
        TestDatabase tdb;
        Exchange exchange;
        const QString xml =
            "<?xml version=\"1.0\" encoding=\"" + QString::fromLatin1(encoding) +
            "\"?>\n<qvdata><em_emailtemplate><em_emailtemplate_item em_emailtemplate_source=\"S\" "
            "em_emailtemplate_ident=\"T1\"><name>" +
            name + "</name></em_emailtemplate_item></em_emailtemplate></qvdata>\n";
        QByteArray bytes;
        if (encoding == "windows-1252")
            bytes = hostapi::Windows1252Codec::Encode(xml);
        else if (encoding == "ISO-8859-1")
            bytes = xml.toLatin1();
        else
            bytes = QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom).encode(xml);
        const QString path = tdb.TempFolder() + "/legacy.emt";
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        QString error;
        QVERIFY2(exchange.Object.DataImportPlugin().ImportFile(path, error), qPrintable(error));
        QCOMPARE(testsupport::Value("emtemplates", "name", "1 = 1").toString(), name);
    }

    void saveTemplateToFileRaisesEveryFailure_data() {
        QTest::addColumn<QString>("hostText");
        QTest::addColumn<QString>("expected");
        QTest::newRow("host text") << "Disk full"
                                   << "Disk full";
        QTest::newRow("no text") << ""
                                 << "Der Export nach '/tmp/x.emt' ist fehlgeschlagen.";
    }
    void saveTemplateToFileRaisesEveryFailure() {
        QFETCH(QString, hostText);
        QFETCH(QString, expected);
        TestDatabase tdb;
        Exchange exchange;
        exchange.Object.SetDataImportPlugin(std::make_unique<FailingPlugin>(hostText));
        try {
            exchange.Object.SaveTemplateToFile("/tmp/x.emt", 1, "News");
            QFAIL("no exception");
        } catch (const hostapi::EQVException& e) {
            QCOMPARE(e.Message(), expected);
        }
    }

    void emptyCaptionWritesNoDescriptionAndMissingTemplateOrFolderFails() {
        TestDatabase tdb;
        const qint64 id = Database::InsertRow("emtemplates", {"name"}, {"alone"});
        Exchange exchange;
        const QString path = tdb.TempFolder() + "/alone.emt";
        exchange.Object.SaveTemplateToFile(path, id, QString());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const TQVXMLElement root = TQVXMLElement::Parse(file.readAll());
        QVERIFY(!root.HasAttribute("description"));
        QCOMPARE(ItemNames(path), QStringList{"em_emailtemplate_item alone"}); // no blocks, no contents

        Database::Exec("DELETE FROM \"emtemplates\"");
        try {
            exchange.Object.SaveTemplateToFile(tdb.TempFolder() + "/gone.emt", id, QString());
            QFAIL("no exception");
        } catch (const hostapi::EQVException& e) {
            QCOMPARE(e.Message(),
                     QStringLiteral("Die Email-Vorlage mit der Nummer %1 existiert nicht (mehr).").arg(id));
        }
        QVERIFY(!QFile::exists(tdb.TempFolder() + "/gone.emt"));

        const QString missing = tdb.TempFolder() + "/no/such/alone.emt";
        try {
            exchange.Object.SaveTemplateToFile(missing, id, QString());
            QFAIL("no exception");
        } catch (const hostapi::EQVException& e) {
            QVERIFY2(e.Message().contains(missing), qPrintable(e.Message()));
        }
    }

    void concurrentImportsLinkTheirOwnItems_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void concurrentImportsLinkTheirOwnItems() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        Exchange exchange;
        constexpr int Threads = 6;
        constexpr int Rounds = 5;
        std::vector<QString> errors(Threads);
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t)
            threads.emplace_back([&, t] {
                for (int round = 0; round < Rounds && errors[t].isEmpty(); ++round) {
                    const QByteArray n = QByteArray::number(t * Rounds + round);
                    const QByteArray document =
                        "<qvdata><em_emailtemplate>"
                        "<em_emailtemplate_item em_emailtemplate_source=\"S\" em_emailtemplate_ident=\"T" +
                        n + "\"><name>N" + n +
                        "</name></em_emailtemplate_item>"
                        "<em_emailtextblock_item em_emailtemplate_source=\"S\" em_emailtextblock_ident=\"B" +
                        n + "\" emtemplateid=\"T" + n +
                        "\" emtemplateid--ref=\"em_emailtemplate_item\" descr=\"N" + n +
                        "\"/></em_emailtemplate></qvdata>";
                    QString error;
                    if (!hostapi::TQVXMLImport::Import(document, error))
                        errors[t] = error;
                }
            });
        for (std::thread& thread : threads)
            thread.join();
        for (const QString& error : errors)
            QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(Count("emtemplates"), Threads * Rounds);
        QCOMPARE(Count("emltextblocks"), Threads * Rounds);
        // every block belongs to the template of its own document
        QCOMPARE(Count("emltextblocks", "\"descr\" = (SELECT t.\"name\" FROM \"emtemplates\" t "
                                        "WHERE t.\"id\" = \"emltextblocks\".\"emtemplateid\")"),
                 Threads * Rounds);
        QCOMPARE(exchange.Changes, QList<qint64>()); // no window is told from another thread
    }

    void itemsOfOneFileAreDistinctRecords_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<bool>("stored"); // a template "Einladung" with its block "Gruß" exists
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("templates");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<QString>("error");
        const QByteArray twoOfOneName =
            TemplateItem("T1", "Einladung") + BlockItem("B1", RefTo("T1"), Body("eins")) +
            TemplateItem("T2", "Einladung") + BlockItem("B2", RefTo("T2"), Body("zwei"));
        for (Backend backend : TestDatabase::SelectedBackends()) {
            const char* b = BackendName(backend);
            QTest::addRow("%s: two templates of one name, each with its block", b)
                << backend << false << twoOfOneName << 2 << 2 << QString();
            QTest::addRow("%s: a stored template is matched by one item only", b)
                << backend << true << twoOfOneName << 2 << 2 << QString();
            QTest::addRow("%s: a template ident twice", b)
                << backend << true << TemplateItem("T1", "Einladung") + TemplateItem("T1", "Andere") << 1 << 1
                << "Email-Vorlage 'Andere': item 'em_emailtemplate_item' in line 4 repeats the identifier "
                   "'T1'";
            QTest::addRow("%s: a block ident twice", b)
                << backend << false
                << TemplateItem("T1", "Einladung") + BlockItem("B1", RefTo("T1"), Body("eins")) +
                       TemplateItem("T2", "Zweite") + BlockItem("B1", RefTo("T2"), Body("zwei"))
                << 0 << 0
                << "Textbaustein 'Gruß': item 'em_emailtextblock_item' in line 6 repeats the identifier 'B1'";
        }
    }
    void itemsOfOneFileAreDistinctRecords() {
        QFETCH(Backend, backend);
        QFETCH(bool, stored);
        QFETCH(QByteArray, document);
        QFETCH(int, templates);
        QFETCH(int, blocks);
        QFETCH(QString, error);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        if (stored) {
            const qint64 id = Database::InsertRow("emtemplates", {"name"}, {"Einladung"});
            Database::InsertRow("emltextblocks", {"emtemplateid", "descr", "body"}, {id, "Gruß", "alt"});
        }
        Exchange exchange;
        QString failure;
        QCOMPARE(hostapi::TQVXMLImport::Import(Part(document), failure), error.isEmpty());
        QVERIFY2(failure.startsWith(error), qPrintable(failure));
        QCOMPARE(Count("emtemplates"), templates);
        QCOMPARE(Count("emltextblocks"), blocks);
        if (!error.isEmpty())
            return;
        // each template keeps its own block, the stored block is taken over by the first item
        QCOMPARE(Count("emtemplates", "(SELECT COUNT(*) FROM \"emltextblocks\" b "
                                      "WHERE b.\"emtemplateid\" = \"emtemplates\".\"id\") = 1"),
                 templates);
        QCOMPARE(Count("emltextblocks", "\"body\" = ?", {"eins"}), 1);
        QCOMPARE(Count("emltextblocks", "\"body\" = ?", {"zwei"}), 1);
        QCOMPARE(Count("emtemplates", "\"globalrecuid\" = ?", {"T1"}), 1);
        QCOMPARE(Count("emtemplates", "\"globalrecuid\" = ?", {"T2"}), 1);
    }

    void childrenWithoutTheirTemplateAreRefused_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("error");
        const QString noParent = "does not name its em_emailtemplate_item";
        const QString unresolved = "which is neither an earlier item of the document nor a stored record";
        const QByteArray t1 = TemplateItem("T1", "Neu");
        const QByteArray overwrite = Body("überschrieben");
        for (Backend backend : TestDatabase::SelectedBackends()) {
            const char* b = BackendName(backend);
            QTest::addRow("%s: no reference", b)
                << backend << t1 + BlockItem("B1", "", overwrite) << noParent;
            QTest::addRow("%s: a raw local id", b)
                << backend << t1 + BlockItem("B1", "emtemplateid=\"7\"", overwrite) << noParent;
            QTest::addRow("%s: a raw local id as an element", b)
                << backend << t1 + BlockItem("B1", "", "<emtemplateid>7</emtemplateid>" + overwrite)
                << noParent;
            QTest::addRow("%s: the ident as an element", b)
                << backend
                << t1 + BlockItem("B1", "emtemplateid--ref=\"em_emailtemplate_item\"",
                                  "<emtemplateid>T1</emtemplateid>" + overwrite)
                << noParent;
            QTest::addRow("%s: a reference to another item type", b)
                << backend
                << t1 + BlockItem("B1", "emtemplateid=\"T1\" emtemplateid--ref=\"em_emailtextblock_item\"",
                                  overwrite)
                << noParent;
            QTest::addRow("%s: a forward reference", b)
                << backend << BlockItem("B1", RefTo("T1"), overwrite) + t1
                << "em_emailtemplate_item 'T1', " + unresolved;
            QTest::addRow("%s: an unknown template", b)
                << backend << t1 + BlockItem("B1", RefTo("T9"), overwrite)
                << "em_emailtemplate_item 'T9', " + unresolved;
            QTest::addRow("%s: a raw local id as the reference", b)
                << backend << t1 + BlockItem("B1", RefTo("7"), overwrite)
                << "em_emailtemplate_item '7', " + unresolved;
            QTest::addRow("%s: a content without reference", b)
                << backend
                << t1 + "<em_emailembcontent_item em_emailtemplate_source=\"S\" "
                        "em_emailembcontent_ident=\"I1\" "
                        "contentfilename=\"image001.png\"><contentdata>AAE=</contentdata>"
                        "</em_emailembcontent_item>\n"
                << noParent;
        }
    }
    void childrenWithoutTheirTemplateAreRefused() {
        QFETCH(Backend, backend);
        QFETCH(QByteArray, document);
        QFETCH(QString, error);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        Database::InsertRow("emtemplates", {"id", "name"}, {7, "Alt"});
        Database::InsertRow("emltextblocks", {"emtemplateid", "descr", "body"}, {7, "Gruß", "bleibt"});
        Database::InsertRow("emlembededcontent", {"emltemplateid", "contentfilename", "contentdata"},
                            {7, "image001.png", QByteArray("alt")});
        Exchange exchange;
        QString failure;
        QVERIFY(!hostapi::TQVXMLImport::Import(Part(document), failure));
        QVERIFY2(failure.startsWith("Textbaustein '") && failure.contains(error), qPrintable(failure));
        QCOMPARE(Count("emtemplates"), 1);
        QCOMPARE(Count("emltextblocks"), 1);
        QCOMPARE(testsupport::Value("emltextblocks", "body", "1 = 1").toString(), QStringLiteral("bleibt"));
        QCOMPARE(testsupport::Value("emlembededcontent", "contentdata", "1 = 1").toByteArray(),
                 QByteArray("alt"));
    }

    void markupInsideAFieldIsRefused_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("error");
        for (Backend backend : TestDatabase::SelectedBackends()) {
            const char* b = BackendName(backend);
            QTest::addRow("%s: in a block's body", b)
                << backend
                << TemplateItem("T1", "N") + BlockItem("B1", RefTo("T1"), Body("Hallo <b>fett</b> Welt"))
                << "Textbaustein 'Gruß': Field 'body' of item 'em_emailtextblock_item' in line 4 holds the "
                   "element 'b' in line 4";
            QTest::addRow("%s: in a template's HTML body", b)
                << backend
                << QByteArray(
                       "<em_emailtemplate_item em_emailtemplate_source=\"S\" em_emailtemplate_ident=\"T1\">"
                       "<name>N</name><mailbodyhtml><p>Hallo</p></mailbodyhtml></em_emailtemplate_item>")
                << "Email-Vorlage 'N': Field 'mailbodyhtml' of item 'em_emailtemplate_item' in line 3 holds "
                   "the "
                   "element 'p'";
        }
    }
    void markupInsideAFieldIsRefused() {
        QFETCH(Backend, backend);
        QFETCH(QByteArray, document);
        QFETCH(QString, error);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        Exchange exchange;
        QString failure;
        QVERIFY(!hostapi::TQVXMLImport::Import(Part(document), failure));
        QVERIFY2(failure.startsWith(error), qPrintable(failure));
        QCOMPARE(Count("emtemplates"), 0);
        QCOMPARE(Count("emltextblocks"), 0);
    }

    void aTemplateItemNeedsItsName_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<QByteArray>("item");
        const QByteArray head =
            "<em_emailtemplate_item em_emailtemplate_source=\"S\" em_emailtemplate_ident=\"T1\"";
        for (Backend backend : TestDatabase::SelectedBackends()) {
            const char* b = BackendName(backend);
            QTest::addRow("%s: no field at all", b) << backend << head + "/>";
            QTest::addRow("%s: only other fields", b)
                << backend << head + " emailstyle=\"4\"><subject>S</subject></em_emailtemplate_item>";
            QTest::addRow("%s: an empty name", b)
                << backend << head + "><name></name></em_emailtemplate_item>";
            QTest::addRow("%s: a blank name", b) << backend << head + " name=\" \"/>";
        }
    }
    void aTemplateItemNeedsItsName() {
        QFETCH(Backend, backend);
        QFETCH(QByteArray, item);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        Exchange exchange;
        QString failure;
        QVERIFY(!hostapi::TQVXMLImport::Import(Part(item), failure));
        QVERIFY2(failure.startsWith("Email-Vorlage '") &&
                     failure.endsWith(": Die Email-Vorlage hat keinen Namen (Feld \"name\")."),
                 qPrintable(failure));
        QCOMPARE(Count("emtemplates"), 0);
    }

    void theDataModuleTakesPartFromStartupToUnInit() {
        TestDatabase tdb;
        const QString path = tdb.TempFolder() + "/t.emt";
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(TemplateDocument({}));
        file.close();
        TdmPluginEmailMarketingMain dm(nullptr);
        QObject* sender = nullptr;
        qint64 told = -2;
        dm.SetOnTemplatesChanged([&](QObject* Sender, qint64& LastInsertID) {
            sender = Sender;
            told = LastInsertID;
        });
        QString error;
        for (int round = 0; round < 2; ++round) { // unloaded and loaded again
            QVERIFY2(dm.TemplateExchange().DataImportPlugin().ImportFile(path, error), qPrintable(error));
            QCOMPARE(Count("emtemplates"), round); // not started: the part is skipped
            dm.AfterStartup();
            QVERIFY2(dm.TemplateExchange().DataImportPlugin().ImportFile(path, error), qPrintable(error));
            QCOMPARE(Count("emtemplates"), 1);
            QCOMPARE(sender, &dm);
            QCOMPARE(told, round == 0 ? testsupport::Value("emtemplates", "id", "1 = 1").toLongLong() : -1);
            dm.BeforeUnInit();
        }
    }

    void importOffTheMainThreadTellsNoWindow() {
        TestDatabase tdb;
        Exchange exchange;
        bool ok = false;
        QString error;
        std::thread importer([&] { ok = hostapi::TQVXMLImport::Import(TemplateDocument({}), error); });
        importer.join();
        QVERIFY2(ok, qPrintable(error));
        QCOMPARE(Count("emtemplates"), 1);
        QCOMPARE(exchange.Changes, QList<qint64>());
    }
};

QTEST_GUILESS_MAIN(tst_TemplateXMLExchange)
#include "tst_TemplateXMLExchange.moc"
