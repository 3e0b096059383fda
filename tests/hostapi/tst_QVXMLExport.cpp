// The host's XML export: the record writer over the exchange views (fields, source identification,
// stored global ids), the exchange views as import targets, the data-import plug-in's file export
// (replaced only by a complete document) and the export parameters; concurrent exports agree on the
// ids they hand out.

#include "DataImportPlugin.h"
#include "Database.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "QVXMLExport.h"
#include "QVXMLImport.h"
#include "QVXMLImportContainer.h"
#include "QVXMLImportProcessor.h"
#include "SettingsStore.h"
#include "support/TestDatabase.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <thread>
#include <vector>

using namespace hostapi;
using testsupport::Backend;
using testsupport::Count;
using testsupport::TestDatabase;

namespace {

// A container whose one part "tmpl" exports every row of "emtemplates_qvxml" through the record
// writer and imports its items back into that view.
class TemplateRecordsContainer {
public:
    TemplateRecordsContainer() {
        Container.AddPart("tmpl", "Templates", true, false);
        Container.OnExportData = [this](TQVXMLImportContainer*, const TQVXMLImportPart&,
                                        TQVXMLWriter& AWriter) {
            TQVRecordSet records("emtemplates_qvxml");
            records.Open();
            Callbacks.clear();
            TQVXMLRecordWriter::WriteRecords(
                AWriter, records, {"tmpl_item", "src", "ident", -1},
                [this](TQVRecordSet& ARecords, int ARecNo, TQVXMLWriter&, TXMLCallBackType AType) {
                    Callbacks << QStringLiteral("%1 %2 %3").arg(AType).arg(ARecNo).arg(ARecords.RecordID());
                });
        };
        Container.OnBeginPart = [this](TQVXMLImportContainer*, const TQVXMLImportPart&,
                                       TQVXMLImportProcessor& AP, const TQVXMLElement&,
                                       TXMLImportContext&) { FProcessor = &AP; };
        Container.OnImportData = [this](TQVXMLImportContainer*, const TQVXMLImportPart&, const QString&,
                                        const TQVXMLElement& AData, TXMLImportContext&) {
            FProcessor->ImportRecord(AData, {"tmpl_item", "emtemplates_qvxml", "src", "ident", "name"});
        };
        Container.AfterStartup();
    }
    TQVXMLImportContainer Container;
    QStringList Callbacks;

private:
    TQVXMLImportProcessor* FProcessor = nullptr;
};

QByteArray ExportParts(const QStringList& AParts) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QString error;
    if (!TQVXMLImport::Export(buffer, AParts, error))
        throw EQVException(error);
    return buffer.data();
}

} // namespace

class tst_QVXMLExport : public QObject {
    Q_OBJECT

private slots:
    void recordWriterWritesTheViewsFieldsAndStoresGlobalIds_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void recordWriterWritesTheViewsFieldsAndStoresGlobalIds() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const QDateTime created(QDate(2026, 3, 29), QTime(1, 30, 15, 250)); // the night of a clock change
        const qint64 known = Database::InsertRow(
            "emtemplates", {"name", "globalrecuid", "emailstyle", "mailinglist"}, {"Known", "G-1", 4, 77});
        const qint64 fresh =
            Database::InsertRow("emtemplates", {"name", "mailbody", "creadate", "impsource"},
                                {"Fresh <&> \"ü\"", "line 1\r\nline 2\tÆ 日本", created, "OTHER"});
        TemplateRecordsContainer container;

        const TQVXMLElement root = TQVXMLElement::Parse(ExportParts({"tmpl"}));
        const QString source = root.Attribute("source");
        QVERIFY(!source.isEmpty());
        QCOMPARE(source, XMLExportSourceIdent()); // stable for the installation
        const TQVXMLElement& part = root.Children.value(0);
        QCOMPARE(part.Children.size(), 2);
        const TQVXMLElement& first = part.Children[0];
        QCOMPARE(first.Attribute("src"), source);
        QCOMPARE(first.Attribute("ident"), QStringLiteral("G-1"));
        QCOMPARE(first.Attribute("emailstyle"), QStringLiteral("4"));
        QCOMPARE(first.Child("name")->Text, QStringLiteral("Known"));
        for (const char* absent : {"id", "impsource", "globalrecuid", "mailinglist", "mailbody"}) {
            QVERIFY2(!first.HasAttribute(absent) && !first.Child(absent), absent);
        }
        const TQVXMLElement& second = part.Children[1];
        const QString newIdent = second.Attribute("ident");
        QVERIFY(!newIdent.isEmpty());
        QCOMPARE(testsupport::Value("emtemplates", "globalrecuid", "\"id\" = ?", {fresh}).toString(),
                 newIdent); // stored
        QCOMPARE(second.Child("name")->Text, QStringLiteral("Fresh <&> \"ü\""));
        QCOMPARE(second.Child("mailbody")->Text, QStringLiteral("line 1\r\nline 2\tÆ 日本"));
        QCOMPARE(QDateTime::fromString(second.Attribute("creadate"), Qt::ISODateWithMs), created);
        QCOMPARE(container.Callbacks,
                 (QStringList{QStringLiteral("1 0 %1").arg(known), QStringLiteral("2 0 %1").arg(known),
                              QStringLiteral("1 1 %1").arg(fresh), QStringLiteral("2 1 %1").arg(fresh)}));

        // a second export keeps the ids; importing it here again finds the own records (renamed in
        // the meantime) by their ident and leaves them own records
        const QByteArray again = ExportParts({"tmpl"});
        QCOMPARE(TQVXMLElement::Parse(again).Children[0].Children[1].Attribute("ident"), newIdent);
        Database::Exec("UPDATE \"emtemplates\" SET \"name\" = 'changed', \"impsource\" = NULL", {});
        QString error;
        QVERIFY2(TQVXMLImport::Import(again, error), qPrintable(error));
        QCOMPARE(Count("emtemplates"), 2);
        QCOMPARE(testsupport::Value("emtemplates", "name", "\"id\" = ?", {fresh}).toString(),
                 QStringLiteral("Fresh <&> \"ü\""));
        QCOMPARE(testsupport::Value("emtemplates", "name", "\"id\" = ?", {known}).toString(),
                 QStringLiteral("Known"));
        QCOMPARE(Count("emtemplates", "COALESCE(\"impsource\", '') = ''"), 2);
        QCOMPARE(testsupport::Value("emtemplates", "mailinglist", "\"id\" = ?", {known}).toLongLong(),
                 77); // not carried, kept
    }

    void exchangeViewsAcceptOnlyTheirFields_data() {
        QTest::addColumn<QByteArray>("item");
        QTest::addColumn<QString>("expected");
        QTest::newRow("local list id") << QByteArray("<tmpl_item src=\"S\" ident=\"T\" mailinglist=\"3\"/>")
                                       << "Unknown field 'mailinglist'";
        QTest::newRow("folder")
            << QByteArray("<tmpl_item src=\"S\" ident=\"T\"><templatefolderid>1</templatefolderid>"
                          "</tmpl_item>")
            << "Unknown field 'templatefolderid'";
    }
    void exchangeViewsAcceptOnlyTheirFields() {
        QFETCH(QByteArray, item);
        QFETCH(QString, expected);
        TestDatabase tdb;
        TemplateRecordsContainer container;
        QString error;
        QVERIFY(!TQVXMLImport::Import("<qvdata><tmpl>" + item + "</tmpl></qvdata>", error));
        QVERIFY2(error.contains(expected), qPrintable(error));
        QCOMPARE(Count("emtemplates"), 0);
    }

    void textsXmlCannotCarryFailTheExportAndKeepTheFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("control character") << QStringLiteral("a\x01z") << "U+0001 at position 2";
        QTest::newRow("vertical tab") << QStringLiteral("\x0b") << "U+000b at position 1";
        QTest::newRow("escape in a text") << QStringLiteral("Tabelle \x1b[0m") << "U+001b at position 9";
    }
    void textsXmlCannotCarryFailTheExportAndKeepTheFile() {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        TestDatabase tdb;
        Database::InsertRow("emtemplates", {"name"}, {name});
        TemplateRecordsContainer container;
        const QString path = tdb.TempFolder() + "/out.emt";
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("previous");
        }
        TDataImportPlugin plugin;
        QString error;
        QVERIFY(!plugin.ExportToFile(path, {"tmpl"}, error, {}, {}));
        QVERIFY2(error.contains("Field 'name' of item 'tmpl_item'") && error.contains(expected),
                 qPrintable(error));
        QFile kept(path);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("previous"));
    }

    void exportFileCarriesDescriptionAndOnlyRequestedParts() {
        TestDatabase tdb;
        Database::InsertRow("emtemplates", {"name"}, {"One"});
        TemplateRecordsContainer container;
        TDataImportPlugin plugin;
        const QString path = tdb.TempFolder() + "/out.emt";
        QString error;
        QVERIFY2(plugin.ExportToFile(path, {"tmpl"}, error, {}, QStringLiteral("Vorlage 'Ä'")),
                 qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        QVERIFY(data.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
        const TQVXMLElement root = TQVXMLElement::Parse(data);
        QCOMPARE(root.Attribute("description"), QStringLiteral("Vorlage 'Ä'"));
        QCOMPARE(root.Children.size(), 1);

        QVERIFY(plugin.ExportToFile(path, {"nosuchpart"}, error, {}, {}));
        QFile again(path);
        QVERIFY(again.open(QIODevice::ReadOnly));
        const TQVXMLElement empty = TQVXMLElement::Parse(again.readAll());
        QVERIFY(empty.Children.isEmpty());
        QVERIFY(!empty.HasAttribute("description"));
    }

    void missingFolderFailsWithTheFileName() {
        TestDatabase tdb;
        TDataImportPlugin plugin;
        QString error;
        const QString path = tdb.TempFolder() + "/no/such/folder/out.emt";
        QVERIFY(!plugin.ExportToFile(path, {"tmpl"}, error, {}, {}));
        QVERIFY2(error.contains(path), qPrintable(error));
    }

    void integerParameters_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("absent") << QVariant() << qint64(-1);
        QTest::newRow("zero") << QVariant(qint64(0)) << qint64(0);
        QTest::newRow("number text") << QVariant(" 42 ") << qint64(42);
        QTest::newRow("not a number") << QVariant("4x") << qint64(-1);
        QTest::newRow("empty") << QVariant("") << qint64(-1);
    }
    void integerParameters() {
        QFETCH(QVariant, value);
        QFETCH(qint64, expected);
        TQVXMLExportSettings settings;
        if (value.isValid())
            settings.Params.insert("em_template_dbid", value);
        QCOMPARE(settings.IntegerParam("em_template_dbid"), expected);
    }

    void concurrentExportsAgreeOnSourceAndGlobalIds_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void concurrentExportsAgreeOnSourceAndGlobalIds() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        constexpr int Rows = 20;
        constexpr int Threads = 6;
        QList<qint64> ids;
        for (int i = 0; i < Rows; ++i)
            ids << Database::InsertRow("emltextblocks", {"descr"}, {QString::number(i)});
        // every thread asks for the source and every row's id at once, each in its own order
        std::vector<QStringList> seen(Threads);
        std::vector<QString> errors(Threads);
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t)
            threads.emplace_back([&, t] {
                try {
                    seen[t] << XMLExportSourceIdent();
                    for (int i = 0; i < Rows; ++i)
                        seen[t] << TQVXMLRecordWriter::GlobalRecordID("emltextblocks_qvxml",
                                                                      ids[(i + t * 7) % Rows]);
                    std::rotate(seen[t].begin() + 1, seen[t].begin() + 1 + (Rows - (t * 7) % Rows) % Rows,
                                seen[t].end());
                } catch (const std::exception& e) {
                    errors[t] = QString::fromUtf8(e.what());
                }
            });
        for (std::thread& thread : threads)
            thread.join();
        for (int t = 0; t < Threads; ++t) {
            QVERIFY2(errors[t].isEmpty(), qPrintable(errors[t]));
            QCOMPARE(seen[t], seen[0]);
        }
        QCOMPARE(seen[0].value(0), XMLExportSourceIdent());
        QCOMPARE(QSet<QString>(seen[0].begin(), seen[0].end()).size(), Rows + 1);
        for (int i = 0; i < Rows; ++i)
            QCOMPARE(testsupport::Value("emltextblocks", "globalrecuid", "\"id\" = ?", {ids[i]}).toString(),
                     seen[0][i + 1]);
    }

    void aDatabaseWithoutTheExchangeViewsGetsThem() {
        TestDatabase tdb;
        const DatabaseConfig config = Database::Config();
        Database::InsertRow("emtemplates", {"name"}, {"kept"});
        for (const char* view : {"emtemplates_qvxml", "emltextblocks_qvxml", "emlembededcontent_qvxml"})
            Database::Exec(QStringLiteral("DROP VIEW \"%1\"").arg(QLatin1String(view)));
        Database::Exec("UPDATE qvschemaversion SET version = 2");
        Database::Close();
        Database::Open(config);
        QCOMPARE(Count("emtemplates_qvxml"), 1);
        QCOMPARE(Count("emltextblocks_qvxml"), 0);
        QCOMPARE(Count("emlembededcontent_qvxml"), 0);
    }

    void globalRecordIdOfAMissingRecordFails() {
        TestDatabase tdb;
        try {
            TQVXMLRecordWriter::GlobalRecordID("emltextblocks_qvxml", 404);
            QFAIL("no exception");
        } catch (const EQVException& e) {
            QVERIFY2(e.Message().contains("404") && e.Message().contains("emltextblocks"),
                     qPrintable(e.Message()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_QVXMLExport)
#include "tst_QVXMLExport.moc"
