// The host's XML import: parts dispatched to the registered containers in document order, one
// transaction that a failure rolls back whole, record upserts with cross references scoped to their
// parent, and the register-service part handlers with the host's own registrations handler.

#include "Database.h"
#include "QVException.h"
#include "QVRegisterServiceContainer.h"
#include "QVRegistrationPartHandler.h"
#include "QVXMLImport.h"
#include "QVXMLImportContainer.h"
#include "QVXMLImportProcessor.h"
#include "support/TestDatabase.h"

#include <QBuffer>
#include <QXmlStreamWriter>
#include <QTest>

using namespace hostapi;
using testsupport::Backend;
using testsupport::Count;
using testsupport::TestDatabase;

namespace {

QByteArray Doc(const QByteArray& AParts) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qvdata>\n" + AParts + "</qvdata>\n";
}

// A container that records its events as "begin <part>", "item <part> <name>", "end <part>".
class RecordingContainer {
public:
    explicit RecordingContainer(const QStringList& AParts, QStringList& ALog) {
        for (const QString& part : AParts)
            Container.AddPart(part, part, true, false);
        Container.OnBeginPart = [&ALog](TQVXMLImportContainer*, const TQVXMLImportPart& APart,
                                        TQVXMLImportProcessor&, const TQVXMLElement& AData,
                                        TXMLImportContext&) {
            ALog << QStringLiteral("begin %1 %2").arg(APart.Id, AData.Attribute("fetch"));
        };
        Container.OnImportData = [&ALog](TQVXMLImportContainer*, const TQVXMLImportPart& APart,
                                         const QString& AName, const TQVXMLElement&, TXMLImportContext&) {
            ALog << QStringLiteral("item %1 %2").arg(APart.Id, AName);
        };
        Container.OnEndPart = [&ALog](TQVXMLImportContainer*, const TQVXMLImportPart& APart,
                                      TQVXMLImportProcessor&,
                                      TXMLImportContext&) { ALog << QStringLiteral("end %1").arg(APart.Id); };
        Container.AfterStartup();
    }
    TQVXMLImportContainer Container;
};

// A container whose items are records of the template tables (as the template exchange declares them).
class TemplateContainer {
public:
    TemplateContainer() {
        Container.AddPart("em_emailtemplate", "Email-Vorlage", true, false);
        Container.OnImportData = [this](TQVXMLImportContainer*, const TQVXMLImportPart&, const QString& AName,
                                        const TQVXMLElement& AData, TXMLImportContext&) {
            for (const TQVXMLRecordTarget& target : Targets)
                if (target.ItemType == AName) {
                    FProcessor->ImportRecord(AData, target);
                    return;
                }
            throw EQVException(QStringLiteral("Unknown XML-Import-Part item: '%1'!").arg(AName));
        };
        Container.OnBeginPart = [this](TQVXMLImportContainer*, const TQVXMLImportPart&,
                                       TQVXMLImportProcessor& AP, const TQVXMLElement&, TXMLImportContext&) {
            FProcessor = &AP;
            for (const TQVXMLRecordTarget& target : Targets)
                AP.RegisterTarget(target);
        };
        Container.OnEndPart = [this](TQVXMLImportContainer*, const TQVXMLImportPart&,
                                     TQVXMLImportProcessor& AP, TXMLImportContext&) {
            LastTemplate = AP.LastInsertID("em_emailtemplate_item");
        };
        Container.AfterStartup();
    }
    const QList<TQVXMLRecordTarget> Targets{
        {"em_emailtemplate_item", "emtemplates", "em_emailtemplate_source", "em_emailtemplate_ident", "name"},
        {"em_emailembcontent_item", "emlembededcontent", "em_emailtemplate_source",
         "em_emailembcontent_ident", "contentfilename"}};
    TQVXMLImportContainer Container;
    qint64 LastTemplate = -2;

private:
    TQVXMLImportProcessor* FProcessor = nullptr;
};

QByteArray TemplateItem(const QByteArray& AIdent, const QByteArray& AName) {
    return "<em_emailtemplate_item em_emailtemplate_source=\"SRC\" em_emailtemplate_ident=\"" + AIdent +
           "\" name=\"" + AName + "\"><subject>S " + AName + "</subject></em_emailtemplate_item>\n";
}

QByteArray ImageItem(const QByteArray& AIdent, const QByteArray& ATemplateIdent, const QByteArray& AData) {
    return "<em_emailembcontent_item em_emailtemplate_source=\"SRC\" em_emailembcontent_ident=\"" + AIdent +
           "\" emltemplateid=\"" + ATemplateIdent +
           "\" emltemplateid--ref=\"em_emailtemplate_item\" contentfilename=\"image001.png\"><contentdata>" +
           AData.toBase64() + "</contentdata></em_emailembcontent_item>\n";
}

// A part handler that records what it gets and can be told to fail on one item.
class RecordingHandler : public IRegisterServicePartHandler {
public:
    RecordingHandler(QString AName, QStringList& ALog) : FName(std::move(AName)), FLog(ALog) {}
    QString PartName() const override { return FName; }
    void ImportItem(const QString& AName, const TQVXMLElement&) override { FLog << FName + " item " + AName; }
    void BeginImport(TQVXMLImportProcessor&, const TQVXMLElement&) override { FLog << FName + " begin"; }
    void EndImport() override { FLog << FName + " end"; }
    bool HasConfigForm() const override { return false; }
    IRegisterServiceConfigForm* CreateConfigForm(QWidget*) override { return nullptr; }
    QString LogCaption() const override { return FName + " log"; }
    QString LogSchema() const override { return {}; }

private:
    QString FName;
    QStringList& FLog;
};

} // namespace

class tst_QVXMLImport : public QObject {
    Q_OBJECT

private slots:
    void partsGoToTheirContainersInDocumentOrder() {
        TestDatabase tdb;
        QStringList log;
        RecordingContainer first({"a"}, log);
        RecordingContainer second({"b", "c"}, log);
        RecordingContainer gone({"a"}, log);
        gone.Container.BeforeUnInit();
        QString error;
        QVERIFY2(TQVXMLImport::Import(Doc("<b fetch=\"F\"><x/><y/></b><unknown><x/></unknown>"
                                          "<a><z/></a><c/><b><w/></b>"),
                                      error),
                 qPrintable(error));
        QCOMPARE(log, QStringList({"begin b F", "item b x", "item b y", "end b", "begin a ", "item a z",
                                   "end a", "begin c ", "end c", "begin b ", "item b w", "end b"}));
    }

    void refusedDocumentsImportNothing_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("expected");
        QTest::newRow("other root") << QByteArray("<data><a><x/></a></data>")
                                    << "the root element is 'data', expected 'qvdata'";
        QTest::newRow("malformed after a part")
            << Doc("<a><x/></a><a><x></a>") << "XML error in line 3, column";
        QTest::newRow("larger than 64 MiB") << QByteArray((64 << 20) + 1, ' ') << "larger than 64 MiB";
    }
    void refusedDocumentsImportNothing() {
        QFETCH(QByteArray, xml);
        QFETCH(QString, expected);
        TestDatabase tdb;
        QStringList log;
        RecordingContainer container({"a"}, log);
        QString error;
        QVERIFY(!TQVXMLImport::Import(xml, error));
        QVERIFY2(error.contains(expected), qPrintable(error));
        QCOMPARE(log, QStringList());
    }

    void aFailingItemRollsBackTheWholeImport_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void aFailingItemRollsBackTheWholeImport() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        TemplateContainer templates;
        QString error;
        const QByteArray xml =
            Doc("<em_emailtemplate>" + TemplateItem("T1", "One") + ImageItem("I1", "T1", "png") +
                "<em_emailtemplate_ITEM/></em_emailtemplate>");
        QVERIFY(!TQVXMLImport::Import(xml, error));
        QCOMPARE(error, QStringLiteral("Unknown XML-Import-Part item: 'em_emailtemplate_ITEM'!"));
        QCOMPARE(Count("emtemplates"), 0);
        QCOMPARE(Count("emlembededcontent"), 0);
        // the connection is usable afterwards: a good import commits
        QVERIFY2(TQVXMLImport::Import(
                     Doc("<em_emailtemplate>" + TemplateItem("T1", "One") + "</em_emailtemplate>"), error),
                 qPrintable(error));
        QCOMPARE(Count("emtemplates"), 1);
    }

    void recordsAreFoundBySourceAndIdentElseByTheMatchingField_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void recordsAreFoundBySourceAndIdentElseByTheMatchingField() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        const qint64 local = Database::InsertRow("emtemplates", {"name", "subject"}, {"Local", "old"});
        TemplateContainer templates;
        QString error;
        QVERIFY2(TQVXMLImport::Import(Doc("<em_emailtemplate>" + TemplateItem("T1", "One") +
                                          TemplateItem("T2", "Local") + "</em_emailtemplate>"),
                                      error),
                 qPrintable(error));
        QCOMPARE(Count("emtemplates"), 2); // "Local" matched by name and updated
        QCOMPARE(testsupport::Value("emtemplates", "subject", "\"id\" = ?", {local}).toString(),
                 QStringLiteral("S Local"));
        QCOMPARE(testsupport::Value("emtemplates", "globalrecuid", "\"id\" = ?", {local}).toString(),
                 QStringLiteral("T2"));
        const qint64 one = testsupport::Value("emtemplates", "id", "\"name\" = ?", {"One"}).toLongLong();
        QCOMPARE(templates.LastTemplate, one);

        // renamed at the source: found again by source and ident
        QVERIFY2(
            TQVXMLImport::Import(
                Doc("<em_emailtemplate>" + TemplateItem("T1", "Renamed") + "</em_emailtemplate>"), error),
            qPrintable(error));
        QCOMPARE(Count("emtemplates"), 2);
        QCOMPARE(testsupport::Value("emtemplates", "name", "\"id\" = ?", {one}).toString(),
                 QStringLiteral("Renamed"));
        QCOMPARE(templates.LastTemplate, -1); // nothing inserted in that run
    }

    void referencesResolveAndScopeToTheirParent_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void referencesResolveAndScopeToTheirParent() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        TemplateContainer templates;
        QString error;
        QVERIFY2(TQVXMLImport::Import(Doc("<em_emailtemplate>" + TemplateItem("T1", "One") +
                                          ImageItem("I1", "T1", "one") + TemplateItem("T2", "Two") +
                                          ImageItem("I2", "T2", "two") + "</em_emailtemplate>"),
                                      error),
                 qPrintable(error));
        const qint64 one = testsupport::Value("emtemplates", "id", "\"name\" = ?", {"One"}).toLongLong();
        const qint64 two = testsupport::Value("emtemplates", "id", "\"name\" = ?", {"Two"}).toLongLong();
        QCOMPARE(Count("emlembededcontent"), 2);
        QCOMPARE(testsupport::Value("emlembededcontent", "contentdata", "\"emltemplateid\" = ?", {one})
                     .toByteArray(),
                 QByteArray("one"));
        QCOMPARE(testsupport::Value("emlembededcontent", "contentdata", "\"emltemplateid\" = ?", {two})
                     .toByteArray(),
                 QByteArray("two"));

        // a later document: the template exists already (resolved from the database); an image of the
        // same file name but a new ident is matched by name only within its own template
        QVERIFY2(TQVXMLImport::Import(
                     Doc("<em_emailtemplate>" + ImageItem("I9", "T2", "new") + "</em_emailtemplate>"), error),
                 qPrintable(error));
        QCOMPARE(Count("emlembededcontent"), 2);
        QCOMPARE(testsupport::Value("emlembededcontent", "contentdata", "\"emltemplateid\" = ?", {two})
                     .toByteArray(),
                 QByteArray("new"));
        QCOMPARE(testsupport::Value("emlembededcontent", "contentdata", "\"emltemplateid\" = ?", {one})
                     .toByteArray(),
                 QByteArray("one"));

        QVERIFY(!TQVXMLImport::Import(
            Doc("<em_emailtemplate>" + ImageItem("I5", "T404", "x") + "</em_emailtemplate>"), error));
        QVERIFY2(error.contains("em_emailtemplate_item 'T404'"), qPrintable(error));
    }

    void invalidItemsNameTheItemAndItsLine_data() {
        QTest::addColumn<QByteArray>("item");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unknown field")
            << QByteArray("<em_emailtemplate_item em_emailtemplate_ident=\"T\" nosuch=\"1\"/>")
            << "Unknown field 'nosuch' of item 'em_emailtemplate_item' in line 4";
        QTest::newRow("column named by SQL")
            << QByteArray("<em_emailtemplate_item "
                          "em_emailtemplate_ident=\"T\"><name_x0020_FROM/></em_emailtemplate_item>")
            << "Unknown field 'name_x0020_FROM'";
        QTest::newRow("import columns are not fields")
            << QByteArray("<em_emailtemplate_item em_emailtemplate_ident=\"T\" impsource=\"x\"/>")
            << "Unknown field 'impsource'";
        QTest::newRow("not a number")
            << QByteArray("<em_emailtemplate_item em_emailtemplate_ident=\"T\" emailstyle=\"4x\"/>")
            << "Invalid value '4x' for field 'emailstyle'";
        QTest::newRow("not a date")
            << QByteArray("<em_emailtemplate_item em_emailtemplate_ident=\"T\" lastsent=\"31.1.\"/>")
            << "Invalid value '31.1.' for field 'lastsent'";
        QTest::newRow("no ident") << QByteArray("<em_emailtemplate_item name=\"x\"/>")
                                  << "has no identifier 'em_emailtemplate_ident'";
    }
    void invalidItemsNameTheItemAndItsLine() {
        QFETCH(QByteArray, item);
        QFETCH(QString, expected);
        TestDatabase tdb;
        TemplateContainer templates;
        QString error;
        QVERIFY(!TQVXMLImport::Import(Doc("<em_emailtemplate>\n" + item + "</em_emailtemplate>"), error));
        QVERIFY2(error.contains(expected), qPrintable(error));
    }

    void exportWritesTheRequestedExportableParts() {
        TestDatabase tdb;
        TQVXMLImportContainer container;
        container.AddPart("p1", "P1", true, true);
        container.AddPart("p2", "P2", true, false);
        container.AddPart("hidden", "H", false, false);
        container.OnExportData = [](TQVXMLImportContainer*, const TQVXMLImportPart& APart,
                                    QXmlStreamWriter& AWriter) {
            AWriter.writeEmptyElement(APart.Id + "_item");
        };
        container.AfterStartup();
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QString error;
        QVERIFY2(TQVXMLImport::Export(buffer, {"p2", "hidden"}, error), qPrintable(error));
        const TQVXMLElement root = TQVXMLElement::Parse(buffer.data());
        QCOMPARE(root.Name, QStringLiteral("qvdata"));
        QCOMPARE(root.Children.size(), 1);
        QCOMPARE(root.Children[0].Name, QStringLiteral("p2"));
        QCOMPARE(root.Children[0].Children.value(0).Name, QStringLiteral("p2_item"));
    }

    void partHandlersAreKeptInOrderWithCopiedTexts() {
        QStringList log;
        auto first = std::make_shared<RecordingHandler>("a", log);
        auto second = std::make_shared<RecordingHandler>("b", log);
        TQVRegisterServiceContainer container;
        const qsizetype before = container.Handlers().size();
        TQVRegisterServiceContainer::RegisterHandler(first);
        TQVRegisterServiceContainer::RegisterHandler(second);
        TQVRegisterServiceContainer::RegisterHandler(first);
        QList<TRegisteredPartHandler> handlers = container.Handlers();
        QCOMPARE(handlers.size(), before + 2);
        QCOMPARE(handlers[before].PartName, QStringLiteral("a"));
        QCOMPARE(handlers[before].LogCaption, QStringLiteral("a log"));
        QVERIFY(handlers[before].PartName.constData() != first->PartName().constData()); // a copy of its own
        TQVRegisterServiceContainer::UnregisterHandler(first.get());
        handlers = container.Handlers();
        QCOMPARE(handlers.size(), before + 1);
        QCOMPARE(handlers[before].PartName, QStringLiteral("b"));
        TQVRegisterServiceContainer::UnregisterHandler(second.get());
    }

    void hostRegistrationsHandlerStoresItsItems_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void hostRegistrationsHandlerStoresItsItems() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase tdb(backend);
        TQVRegistrationPartHandler handler;
        QCOMPARE(handler.LogSchema(), QStringLiteral("qvregistrations"));
        const TQVXMLElement part = TQVXMLElement::Parse(
            "<register_service fetch=\"S\">"
            "<qv_registration source=\"rs\" ident=\"1\" email=\"a@example.org\" name=\"Ä\" "
            "registered=\"2026-01-31T10:00:00Z\"><message>Hallo</message></qv_registration>"
            "<qv_registration source=\"rs\" ident=\"2\" email=\"a@example.org\" company=\"C\"/>"
            "</register_service>");
        TQVXMLImportProcessor processor;
        handler.BeginImport(processor, part);
        for (const TQVXMLElement& item : part.Children)
            handler.ImportItem(item.Name, item);
        handler.EndImport();
        QCOMPARE(Count("qvregistrations"), 1); // the same address: one registration, updated
        QCOMPARE(
            testsupport::Value("qvregistrations", "company", "\"email\" = ?", {"a@example.org"}).toString(),
            QStringLiteral("C"));
        QCOMPARE(testsupport::Value("qvregistrations", "name", "\"email\" = ?", {"a@example.org"}).toString(),
                 QString::fromUtf8("Ä"));
        QCOMPARE(testsupport::Value("qvregistrations", "globalrecuid", "\"email\" = ?", {"a@example.org"})
                     .toString(),
                 QStringLiteral("2"));
    }
};

QTEST_GUILESS_MAIN(tst_QVXMLImport)
#include "tst_QVXMLImport.moc"
