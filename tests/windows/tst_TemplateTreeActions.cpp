// The template tree's actions on SQLite: a copy with its children under new exchange identities
// (only after Yes), the copy's own exchange file restoring the copy and not the source, image file
// names reduced to plain base names, the delete guard for a template with a job, export and import
// through scripted file dialogs, an import refused whole, the refresh queued after the action, and a
// delete through the tree with everything that hangs on the template.

#include "Database.h"
#include "QVDBTreeModel.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "TemplateTreeActions.h"
#include "TemplateXMLExchange.h"
#include "VRNLang.h"
#include "dmPluginEmailMarketingMain.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"

#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>

using namespace emailmarketing;
using hostapi::Database;
using testsupport::Count;
using testsupport::Value;

namespace {

struct Fixture {
    Fixture()
        : Lang("dmPluginEmailMarketingMain"), Exchange(Lang, [](qint64&) {}),
          Actions(
              Exchange, &Context, [this](qint64 AID) { return Jobs.contains(AID); },
              [this](qint64 AID) { Refreshes << AID; }) {
        Exchange.QVXMLImportContainer().AfterStartup();
    }
    testsupport::TestDatabase Db;
    testsupport::ScriptedDialogService Dialogs;
    hostapi::TVRNLang Lang;
    TTemplateXMLExchange Exchange;
    QObject Context;
    QList<qint64> Jobs;
    QList<qint64> Refreshes;
    TTemplateTreeActions Actions;
};

// A template that came from another installation, with two text blocks, an attachment and an image.
qint64 InsertSource() {
    Database::InsertRow("emtemplates", {"name"}, {"other"});
    const qint64 id = Database::InsertRow(
        "emtemplates",
        {"name", "subject", "mailbodyhtml", "emailstyle", "templstateid", "lastsent", "globalrecuid",
         "impsource"},
        {"News", "Betreff", "<p>x</p>", 4, 9, QDateTime(QDate(2025, 3, 1), QTime(8, 0)), "G-SRC", "REMOTE"});
    Database::InsertRow("emltextblocks", {"emtemplateid", "descr", "body", "globalrecuid", "impsource"},
                        {id, "Gruß", "Hallo", "G-TB1", "REMOTE"});
    Database::InsertRow("emltextblocks", {"emtemplateid", "descr", "bodyhtml"},
                        {id, "Zwei", "{\\rtf1 zwei}"});
    Database::InsertRow("emlattachements", {"emltemplateid", "filename", "filesource"},
                        {id, "a.pdf", "/tmp/a.pdf"});
    Database::InsertRow("emlembededcontent",
                        {"emltemplateid", "contentfilename", "contentdata", "globalrecuid"},
                        {id, "image001.png", QByteArray("PNG"), "G-IMG"});
    return id;
}

QStringList Identities(const QString& ATable, const QString& AField, qint64 AID) {
    QStringList ids;
    QSqlQuery q =
        Database::Exec(QStringLiteral("SELECT \"globalrecuid\", \"impsource\" FROM \"%1\" WHERE \"%2\" = ?")
                           .arg(ATable, AField),
                       {AID});
    while (q.next())
        ids << q.value(0).toString() + QLatin1Char('|') + q.value(1).toString();
    return ids;
}

} // namespace

class tst_TemplateTreeActions : public QObject {
    Q_OBJECT

private slots:
    void onlyYesCopies_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("yes") << int(hostapi::mrYes);
        QTest::newRow("no") << int(hostapi::mrNo);
        QTest::newRow("cancel") << int(hostapi::mrCancel);
    }
    void onlyYesCopies() {
        QFETCH(int, answer);
        Fixture f;
        const qint64 source = InsertSource();
        f.Dialogs.AddAnswer(hostapi::TModalResult(answer));
        const qint64 copy = f.Actions.CopyRequest(source, 5);
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions[0].Text,
                 QStringLiteral("Möchten Sie jetzt ein Kopie der ausgewählten Email erstellen?"));
        QCOMPARE(f.Dialogs.Questions[0].Buttons, hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel);
        if (answer != hostapi::mrYes) {
            QCOMPARE(copy, qint64(-1));
            QCOMPARE(Count("emtemplates"), 2);
            QCoreApplication::processEvents();
            QVERIFY(f.Refreshes.isEmpty());
            return;
        }
        QVERIFY(copy > source);
        QVERIFY(f.Refreshes.isEmpty()); // queued: after the tree's action
        QCoreApplication::processEvents();
        QCOMPARE(f.Refreshes, QList<qint64>{copy});
        QCOMPARE(Value("emtemplates", "name", "\"id\" = ?", {copy}).toString(), QStringLiteral("News"));
        QCOMPARE(Value("emtemplates", "subject", "\"id\" = ?", {copy}).toString(), QStringLiteral("Betreff"));
        QCOMPARE(Value("emtemplates", "templstateid", "\"id\" = ?", {copy}).toInt(), 5);
        QVERIFY(Value("emtemplates", "lastsent", "\"id\" = ?", {copy}).isNull());
        QVERIFY(Value("emtemplates", "creadate", "\"id\" = ?", {copy})
                    .toDateTime()
                    .secsTo(QDateTime::currentDateTime()) < 60);
        QCOMPARE(Count("emltextblocks", "\"emtemplateid\" = ?", {copy}), 2);
        QCOMPARE(Count("emltextblocks", "\"emtemplateid\" = ?", {source}), 2);
        QCOMPARE(
            Value("emltextblocks", "body", "\"emtemplateid\" = ? AND \"descr\" = 'Gruß'", {copy}).toString(),
            QStringLiteral("Hallo"));
        QCOMPARE(Value("emltextblocks", "bodyhtml", "\"emtemplateid\" = ? AND \"descr\" = 'Zwei'", {copy})
                     .toString(),
                 QStringLiteral("{\\rtf1 zwei}"));
        QCOMPARE(Count("emlattachements", "\"emltemplateid\" = ?", {copy}), 1);
        QCOMPARE(Value("emlembededcontent", "contentdata", "\"emltemplateid\" = ?", {copy}).toByteArray(),
                 QByteArray("PNG"));
        // New identities everywhere, none imported.
        QStringList all = Identities("emtemplates", "id", copy) +
                          Identities("emltextblocks", "emtemplateid", copy) +
                          Identities("emlembededcontent", "emltemplateid", copy);
        QCOMPARE(all.size(), 4);
        for (const QString& ident : all) {
            QVERIFY2(ident.endsWith(QLatin1Char('|')), qPrintable(ident));
            QVERIFY2(!ident.startsWith(QStringLiteral("G-")) && ident.size() > 30, qPrintable(ident));
        }
        QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), 4);
        QCOMPARE(Identities("emtemplates", "id", source), QStringList{"G-SRC|REMOTE"});
    }

    void nothingFocusedAsksNothing() {
        Fixture f;
        QCOMPARE(f.Actions.CopyRequest(-1, 5), qint64(-1));
        QVERIFY(f.Dialogs.Questions.isEmpty());
        QVERIFY(!f.Actions.ExportTemplate(-1, "x"));
        QVERIFY(f.Dialogs.FileDialogs.isEmpty());
    }

    void imageNamesArePlainBaseNames_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("copied"); // empty: refused, nothing copied
        QTest::newRow("plain") << "image001.png"
                               << "image001.png";
        QTest::newRow("relative path") << "../../etc/evil.png"
                                       << "evil.png";
        QTest::newRow("windows path") << "C:\\temp\\pic.jpg"
                                      << "pic.jpg";
        QTest::newRow("dot dot") << ".."
                                 << "";
        QTest::newRow("trailing slash") << "dir/"
                                        << "";
    }
    void imageNamesArePlainBaseNames() {
        QFETCH(QString, stored);
        QFETCH(QString, copied);
        Fixture f;
        const qint64 source = InsertSource();
        Database::Exec("UPDATE \"emlembededcontent\" SET \"contentfilename\" = ?", {stored});
        f.Dialogs.AddAnswer(hostapi::mrYes);
        if (copied.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, f.Actions.CopyRequest(source, 5));
            QCOMPARE(Count("emtemplates"), 2); // the transaction took nothing
            QCOMPARE(Count("emltextblocks"), 2);
            return;
        }
        const qint64 copy = f.Actions.CopyRequest(source, 5);
        QCOMPARE(Value("emlembededcontent", "contentfilename", "\"emltemplateid\" = ?", {copy}).toString(),
                 copied);
    }

    void copysFileRestoresTheCopyOnly() {
        Fixture f;
        QTemporaryDir dir;
        const qint64 source = InsertSource();
        f.Dialogs.AddAnswer(hostapi::mrYes);
        const qint64 copy = f.Actions.CopyRequest(source, 5);
        f.Dialogs.AddFileName(dir.filePath("copy")); // no suffix: ".emt" is added
        QVERIFY(f.Actions.ExportTemplate(copy, "News"));
        QCOMPARE(f.Dialogs.FileDialogs.last().Options.Filter,
                 QStringLiteral("EmailMarketing Vorlagen (*.emt)|*.emt"));
        QVERIFY(f.Dialogs.FileDialogs.last().Save);
        QVERIFY(QFile::exists(dir.filePath("copy.emt")));
        const QString copyIdent = Identities("emtemplates", "id", copy).value(0);
        Database::Exec("UPDATE \"emtemplates\" SET \"subject\" = 'geändert'  WHERE \"id\" = ?", {copy});
        Database::Exec("UPDATE \"emltextblocks\" SET \"body\" = 'weg' WHERE \"emtemplateid\" = ?", {copy});

        QCoreApplication::processEvents();
        f.Refreshes.clear();
        f.Dialogs.AddFileName(dir.filePath("copy.emt"));
        QVERIFY(f.Actions.ImportTemplate());
        QVERIFY(!f.Dialogs.FileDialogs.last().Save);
        QCOMPARE(Count("emtemplates"), 3);
        QCOMPARE(Value("emtemplates", "subject", "\"id\" = ?", {copy}).toString(), QStringLiteral("Betreff"));
        QCOMPARE(
            Value("emltextblocks", "body", "\"emtemplateid\" = ? AND \"descr\" = 'Gruß'", {copy}).toString(),
            QStringLiteral("Hallo"));
        QCOMPARE(Identities("emtemplates", "id", copy).value(0), copyIdent);
        QCOMPARE(Identities("emtemplates", "id", source), QStringList{"G-SRC|REMOTE"});
        QCOMPARE(Count("emltextblocks", "\"emtemplateid\" = ?", {source}), 2);
        QCOMPARE(Value("emltextblocks", "body", "\"emtemplateid\" = ? AND \"descr\" = 'Gruß'", {source})
                     .toString(),
                 QStringLiteral("Hallo"));
        QVERIFY(f.Refreshes.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(f.Refreshes, QList<qint64>{-1});
    }

    void cancelledDialogsDoNothing() {
        Fixture f;
        const qint64 source = InsertSource();
        f.Dialogs.AddFileName(std::nullopt);
        QVERIFY(!f.Actions.ExportTemplate(source, "News"));
        f.Dialogs.AddFileName(std::nullopt);
        QVERIFY(!f.Actions.ImportTemplate());
        QCoreApplication::processEvents();
        QVERIFY(f.Refreshes.isEmpty());
    }

    void failedImportTakesNothing() {
        Fixture f;
        QTemporaryDir dir;
        const QString path = dir.filePath("bad.emt");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qvdata><em_emailtemplate>\n"
            "<em_emailtemplate_item em_emailtemplate_source=\"S\" "
            "em_emailtemplate_ident=\"T1\"><name>A</name>"
            "</em_emailtemplate_item>\n"
            "<em_emailtemplate_item em_emailtemplate_source=\"S\" em_emailtemplate_ident=\"T2\"><name></name>"
            "</em_emailtemplate_item>\n</em_emailtemplate></qvdata>\n");
        file.close();
        f.Dialogs.AddFileName(path);
        f.Dialogs.AddAnswer(hostapi::mrOk);
        QVERIFY(!f.Actions.ImportTemplate());
        QCOMPARE(Count("emtemplates"), 0);
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions[0].Type, hostapi::mtError);
        QVERIFY2(f.Dialogs.Questions[0].Text.startsWith(QStringLiteral("Die Datei ") + path +
                                                        " wurde nicht importiert"),
                 qPrintable(f.Dialogs.Questions[0].Text));
        QVERIFY(f.Dialogs.Questions[0].Text.size() > 60); // carries the import's own text
        QCoreApplication::processEvents();
        QVERIFY(f.Refreshes.isEmpty());
    }

    void templateWithJobIsNotDeleted() {
        Fixture f;
        const qint64 source = InsertSource();
        f.Jobs << source;
        f.Dialogs.AddAnswer(hostapi::mrOk);
        QVERIFY(!f.Actions.CanDelete({hostapi::tnkContent, source}));
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QVERIFY(f.Dialogs.Questions[0].Text.contains(QStringLiteral("Auftragsliste")));
        QVERIFY(f.Actions.CanDelete({hostapi::tnkContent, source - 1}));
        QVERIFY(f.Actions.CanDelete({hostapi::tnkFolder, source})); // folders: the tree's own rule
        QCOMPARE(f.Dialogs.Questions.size(), 1);
    }

    // Through the tree as the window deletes: the template goes with its attachments, text blocks,
    // images, jobs and their sent-list rows; a folder that holds anything and a template whose job
    // is in the job list stay.
    void deleteThroughTheTree() {
        testsupport::TestDatabase db;
        testsupport::ScriptedDialogService dialogs;
        TdmPluginEmailMarketingMain dm(nullptr);
        QObject context;
        QList<qint64> jobs;
        TTemplateTreeActions actions(
            dm.TemplateExchange(), &context, [&](qint64 AID) { return jobs.contains(AID); }, [](qint64) {});
        const qint64 folder = Database::InsertRow("emltemplatefolders", {"descr"}, {"Aktionen"});
        const qint64 doomed = InsertSource();
        const qint64 running = InsertSource();
        Database::Exec(QStringLiteral("UPDATE \"emtemplates\" SET \"templatefolderid\" = ?"), {folder});
        for (const qint64 t : {doomed, running}) {
            const qint64 job = Database::InsertRow("emljobs", {"emltemplates_id"}, {t});
            Database::InsertRow("emlsentlist", {"emljobs_id", "email", "sentstate"},
                                {job, "a@example.org", 1});
            Database::InsertRow("emlsentlist", {"emljobs_id", "email", "sentstate"},
                                {job, "b@example.org", 2});
        }
        jobs << running;
        hostapi::TQVRecordSet folders(QStringLiteral("emltemplatefolders"));
        hostapi::QVDBTreeModel tree(&folders, QStringLiteral("parentemlltemplatefolderid"));
        tree.SetContentSchema(QStringLiteral("emtemplates"), QStringLiteral("templatefolderid"));
        tree.SetColumns({{QStringLiteral("descr"), QStringLiteral("name"), QString()}});
        tree.Refresh();
        const auto remove = [&](const hostapi::TQVTreeNode& ANode) {
            if (actions.CanDelete(ANode))
                tree.DeleteNode(ANode);
        };

        QVERIFY_THROWS_EXCEPTION(hostapi::EQVUserMessageException, remove({hostapi::tnkFolder, folder}));
        remove({hostapi::tnkContent, doomed});
        QCOMPARE(testsupport::Count("emtemplates", "\"id\" = ?", {doomed}), 0);
        for (const char* table : {"emlattachements", "emlembededcontent"})
            QCOMPARE(testsupport::Count(QLatin1String(table), "\"emltemplateid\" = ?", {doomed}), 0);
        QCOMPARE(testsupport::Count("emltextblocks", "\"emtemplateid\" = ?", {doomed}), 0);
        QCOMPARE(testsupport::Count("emljobs", "\"emltemplates_id\" = ?", {doomed}), 0);
        QCOMPARE(testsupport::Count("emlsentlist"), 2); // the other template's job keeps its rows

        dialogs.AddAnswer(hostapi::mrOk);
        remove({hostapi::tnkContent, running});
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(testsupport::Count("emtemplates", "\"id\" = ?", {running}), 1);
        QCOMPARE(testsupport::Count("emltextblocks", "\"emtemplateid\" = ?", {running}), 2);
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVUserMessageException, remove({hostapi::tnkFolder, folder}));
        QCOMPARE(testsupport::Count("emltemplatefolders"), 1);
    }

    void textsInEnglish() {
        Fixture f;
        f.Actions.SetLanguage("English");
        f.Dialogs.AddAnswer(hostapi::mrNo);
        f.Actions.CopyRequest(InsertSource(), 5);
        QCOMPARE(f.Dialogs.Questions[0].Text,
                 QStringLiteral("Do you want to create a copy of the selected email now?"));
    }
};

QTEST_MAIN(tst_TemplateTreeActions)
#include "tst_TemplateTreeActions.moc"
