#include "PreviewModel.h"

#include "VRNLang.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace emailmarketing;
using Navigation = PreviewModel::TNavigation;

Q_DECLARE_METATYPE(PreviewModel::TNavigation)
Q_DECLARE_METATYPE(TEmailPreviewMode)
Q_DECLARE_METATYPE(TEmailDocumentStatus)
Q_DECLARE_METATYPE(TJobStateSet)

namespace {

const hostapi::TVRNLang& German() {
    static hostapi::TVRNLang lang(QStringLiteral("frmPluginEmailMarketingPreview"));
    return lang;
}

bool WriteFile(const QString& APath, const QByteArray& AData) {
    QFile file(APath);
    return file.open(QIODevice::WriteOnly) && file.write(AData) == AData.size();
}

QByteArray ReadFile(const QString& APath) {
    QFile file(APath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_PreviewModel : public QObject {
    Q_OBJECT

private slots:
    void rewriteContentIds_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("shown");
        QTest::newRow("src") << R"(<img src="cid:img.png">)" << R"(<img src="img.png">)";
        QTest::newRow("background") << R"(<td background="cid:bg.gif">)" << R"(<td background="bg.gif">)";
        QTest::newRow("every occurrence") << R"(<img src="cid:a.png"><img src="cid:b.png">)"
                                          << R"(<img src="a.png"><img src="b.png">)";
        QTest::newRow("attribute names in capitals") << R"(<IMG SRC="CID:a.png">)" << R"(<IMG SRC="a.png">)";
        QTest::newRow("other attributes keep cid:") << R"(<a href="cid:a.png">)" << R"(<a href="cid:a.png">)";
        QTest::newRow("text keeps cid:") << "write cid:a.png" << "write cid:a.png";
        QTest::newRow("single quotes are not rewritten") << "<img src='cid:a.png'>" << "<img src='cid:a.png'>";
    }
    void rewriteContentIds() {
        QFETCH(QString, html);
        QFETCH(QString, shown);
        QCOMPARE(PreviewModel::RewriteContentIds(html), shown);
    }

    void previewFileName_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("file");
        QTest::newRow("folder with delimiter") << "/tmp/job/" << 0 << "/tmp/job/0index.htm";
        QTest::newRow("folder without delimiter") << "/tmp/job" << 3 << "/tmp/job/3index.htm";
        QTest::newRow("two digits") << "/tmp/job/" << 12 << "/tmp/job/12index.htm";
    }
    void previewFileName() {
        QFETCH(QString, folder);
        QFETCH(int, index);
        QFETCH(QString, file);
        QCOMPARE(PreviewModel::PreviewFileName(folder, index), file);
    }

    void previewFileIsUtf8WithBom() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("new/0index.htm"));
        PreviewModel::WritePreviewFile(file, QStringLiteral("<p>Grüße €</p>"));
        QCOMPARE(ReadFile(file), QByteArray("\xEF\xBB\xBF<p>Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC</p>"));
    }

    void navigation_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("current");
        QTest::addColumn<Navigation>("navigation");
        QTest::newRow("no messages") << 0 << -1 << Navigation{};
        QTest::newRow("one message: nothing to move to") << 1 << 0 << Navigation{};
        QTest::newRow("first of three") << 3 << 0 << Navigation{false, false, true, true};
        QTest::newRow("middle of three") << 3 << 1 << Navigation{true, true, true, true};
        QTest::newRow("last of three") << 3 << 2 << Navigation{true, true, false, false};
        QTest::newRow("none shown yet of three") << 3 << -1 << Navigation{false, false, true, true};
    }
    void navigation() {
        QFETCH(int, count);
        QFETCH(int, current);
        QFETCH(Navigation, navigation);
        QVERIFY(PreviewModel::Navigation(count, current) == navigation);
    }

    void statusText_data() {
        QTest::addColumn<TEmailPreviewMode>("mode");
        QTest::addColumn<TEmailDocumentStatus>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("not sent") << epmAll << esPrepared << "Noch nicht gesendet.";
        QTest::newRow("sent") << epmAll << esSent << "Erfolgreich gesendet";
        QTest::newRow("failed") << epmFailed << esSentError << "Fehler beim versand: '550 mailbox unavailable'";
        QTest::newRow("unknown status") << epmAll << TEmailDocumentStatus(7)
                                        << "Unknown or not implemented email status!";
        QTest::newRow("preview") << epmPreview << esSentError << "Vorbereitet für Vorschau";
    }
    void statusText() {
        QFETCH(TEmailPreviewMode, mode);
        QFETCH(TEmailDocumentStatus, status);
        QFETCH(QString, text);
        QCOMPARE(PreviewModel::StatusText(German(), mode, status, QStringLiteral("550 mailbox unavailable")), text);
    }

    void charCount_data() {
        QTest::addColumn<QString>("sms");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "" << "Anzahl Zeichen: 0 (Aufgeteil auf 0 SMS)";
        QTest::newRow("160") << QString(160, QLatin1Char('a')) << "Anzahl Zeichen: 160 (Aufgeteil auf 1 SMS)";
        QTest::newRow("161") << QString(161, QLatin1Char('a')) << "Anzahl Zeichen: 161 (Aufgeteil auf 2 SMS)";
        QTest::newRow("a character outside the BMP counts two")
            << QString::fromUtf8("\xF0\x9F\x98\x80") << "Anzahl Zeichen: 2 (Aufgeteil auf 1 SMS)";
    }
    void charCount() {
        QFETCH(QString, sms);
        QFETCH(QString, text);
        QCOMPARE(PreviewModel::CharCountText(German(), sms), text);
    }

    void counterText() {
        QCOMPARE(PreviewModel::CounterText(German(), false, 0, 3), QStringLiteral("Email 1 von 3"));
        QCOMPARE(PreviewModel::CounterText(German(), true, -1, 0), QStringLiteral("SMS 0 von 0"));
    }

    void emptyState_data() {
        QTest::addColumn<TEmailPreviewMode>("mode");
        QTest::addColumn<bool>("hasJob");
        QTest::addColumn<TJobStateSet>("state");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<QString>("id");
        QTest::newRow("preview not prepared yet")
            << epmPreview << true << TJobStateSet{jsInitialized, jsPreparingPreview} << false << "IDS_LDP";
        QTest::newRow("preview about to start")
            << epmPreview << true << TJobStateSet{jsInitialized} << false << "IDS_LDP";
        QTest::newRow("preview prepared, none")
            << epmPreview << true << TJobStateSet{jsInitialized, jsPreparedPreview} << true << "IDS_NOM";
        QTest::newRow("preview preparation failed: it prepares nothing more")
            << epmPreview << true << TJobStateSet{jsInitialized} << true << "IDS_NOM";
        QTest::newRow("all while preparing")
            << epmAll << true << TJobStateSet{jsInitialized, jsPreparing} << false << "IDS_WFPM";
        QTest::newRow("all, nothing prepared") << epmAll << true << TJobStateSet{jsInitialized} << false << "IDS_NOM";
        QTest::newRow("no job") << epmPreview << false << TJobStateSet{} << false << "IDS_NOM";
    }
    void emptyState() {
        QFETCH(TEmailPreviewMode, mode);
        QFETCH(bool, hasJob);
        QFETCH(TJobStateSet, state);
        QFETCH(bool, ended);
        QFETCH(QString, id);
        QCOMPARE(PreviewModel::EmptyStateId(mode, hasJob, state, ended), id);
    }

    void attachmentNamesMayHoldEquals() {
        TAttachementList list;
        TAttachement* a = list.Add();
        a->SetFileName(QStringLiteral("Preis=Liste.pdf"));
        a->SetLocalFile(QStringLiteral("/data/a=b/Preis=Liste.pdf"));
        const QList<PreviewModel::TAttachmentRow> rows = PreviewModel::AttachmentRows(list);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.at(0).Name, QStringLiteral("Preis=Liste.pdf"));
        QCOMPARE(rows.at(0).LocalFile, QStringLiteral("/data/a=b/Preis=Liste.pdf"));
    }

    void saveAsFilter_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("filter");
        QTest::newRow("pdf") << "Preis=Liste.pdf" << ".pdf Datei|*.pdf";
        QTest::newRow("two dots") << "daten.tar.gz" << ".gz Datei|*.gz";
        QTest::newRow("no extension: every file") << "README" << "";
    }
    void saveAsFilter() {
        QFETCH(QString, name);
        QFETCH(QString, filter);
        QCOMPARE(PreviewModel::SaveAsFilter(name), filter);
    }

    void exportPlanAsksOnlyForOtherFiles() {
        QTemporaryDir job, target;
        const QString html = job.filePath(QStringLiteral("0index.htm"));
        const QString img = job.filePath(QStringLiteral("img.png"));
        const QString logo = job.filePath(QStringLiteral("logo.gif"));
        const QString chosen = target.filePath(QStringLiteral("email.html"));
        QVERIFY(WriteFile(html, "<img src=\"img.png\">"));
        QVERIFY(WriteFile(img, "new image"));
        QVERIFY(WriteFile(logo, "logo"));
        QVERIFY(WriteFile(chosen, "old export"));
        QVERIFY(WriteFile(target.filePath(QStringLiteral("img.png")), "old image"));

        const QList<PreviewModel::TCopy> plan = PreviewModel::ExportPlan(html, chosen, {img, logo});
        QCOMPARE(plan.size(), 3);
        QCOMPARE(plan.at(1).Target, target.filePath(QStringLiteral("img.png")));
        QCOMPARE(PreviewModel::ReplacedFiles(plan, chosen), QStringList{"img.png"});

        for (const PreviewModel::TCopy& copy : plan)
            QVERIFY2(PreviewModel::CopyReplacing(copy.Source, copy.Target), qPrintable(copy.Target));
        QCOMPARE(ReadFile(chosen), QByteArray("<img src=\"img.png\">"));
        QCOMPARE(ReadFile(target.filePath(QStringLiteral("img.png"))), QByteArray("new image"));
        QCOMPARE(ReadFile(target.filePath(QStringLiteral("logo.gif"))), QByteArray("logo"));
    }

    void failedCopiesAnswerFalse() {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("a.txt"));
        QVERIFY(WriteFile(source, "a"));
        QVERIFY(!PreviewModel::CopyReplacing(dir.filePath(QStringLiteral("missing.txt")), dir.filePath("b.txt")));
        QVERIFY(!PreviewModel::CopyReplacing(source, dir.filePath(QStringLiteral("no/such/folder/a.txt"))));
        QVERIFY(PreviewModel::CopyReplacing(source, source)); // already in place
        QCOMPARE(ReadFile(source), QByteArray("a"));
    }
};

QTEST_GUILESS_MAIN(tst_PreviewModel)
#include "tst_PreviewModel.moc"
