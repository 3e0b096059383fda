// The send job builder on a real SQLite database: the refusals in their order with their messages and
// what they leave behind, the attachment checks, the content per style, text blocks, inline files and
// the job's values.

#include "SendJobFixture.h"

#include "FileUtils.h"
#include "HostLibraries.h"
#include "QVException.h"
#include "SettingsStore.h"
#include "StringData.h"

#include <QFileInfo>
#include <QtTest>

using namespace emailmarketing;
using namespace sendjobtests;

namespace {

// What CreateSendJob did: the job, or the refusal's text (a dialog's or an exception's).
struct Outcome {
    TBaseEmailSender* Job = nullptr;
    QString Refusal;
    bool Dialog = false;
};

Outcome Create(Fixture& AFixture, const TSendJobTemplate& ATemplate, qint64 AReSendJobID = -1,
               qint64 AReSendJobState = -1) {
    Outcome outcome;
    const int questions = AFixture.Dialogs.Questions.size();
    try {
        outcome.Job = AFixture.Builder.CreateSendJob(ATemplate, AReSendJobID, AReSendJobState);
    } catch (const hostapi::EQVUserMessageException& e) {
        outcome.Refusal = e.Message();
    }
    if (AFixture.Dialogs.Questions.size() > questions) {
        outcome.Dialog = true;
        outcome.Refusal = AFixture.Dialogs.Questions.last().Text;
    }
    return outcome;
}

void WriteSetting(const char* AKey, const QString& AValue) {
    hostapi::SettingsStore::Instance().WriteString(QStringLiteral("EMLMARK"), QLatin1String(AKey),
                                                   hostapi::StrToStringData(AValue));
}

QString RtfFixture(const char* AName) {
    return QString::fromLatin1(
        ReadFile(QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/rtf/") + QLatin1String(AName)));
}

// The files of a folder by name.
QStringList Names(const QString& AFolder) {
    return QDir(AFolder).entryList(QDir::Files, QDir::Name);
}

// A replacer for ".fld" files whose fields are the file's lines.
class LineFieldReplacer : public TCustomFileMacroReplacer {
public:
    static bool IsFileExtSupported(const QString& AFileExt) { return AFileExt == QLatin1String(".fld"); }
    static bool IsAvailable() { return true; }
    QString GetFieldValue(int Index) override { return Fields().at(Index); }
    void SetFieldValue(int Index, const QString& Value) override { Fields()[Index] = Value; }
    int FieldCount() override { return int(Fields().size()); }

private:
    QStringList& Fields() {
        if (!FRead) {
            FFields = QString::fromUtf8(ReadFile(SourceFile())).split(QLatin1Char('\n'));
            FRead = true;
        }
        return FFields;
    }
    QStringList FFields;
    bool FRead = false;
};

} // namespace

class tst_SendJobBuilder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void refusalsComeInOrder_data() {
        QTest::addColumn<bool>("withList");
        QTest::addColumn<QString>("schema");
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("sms"); // "global LOX24", "own ASPSMS"
        QTest::addColumn<QString>("aspsmsUser");
        QTest::addColumn<QString>("lox24Account");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal"); // empty: the job is made
        QTest::addColumn<bool>("dialog");
        const QString addresses = QStringLiteral("pelm_addresses_ass");
        QTest::newRow("no list") << false << addresses << int(esPlainText) << ""
                                 << ""
                                 << ""
                                 << "Hallo"
                                 << "IDS_NoDistList" << true;
        QTest::newRow("no list comes before the SMS account")
            << false << addresses << int(esSMS) << "global LOX24"
            << ""
            << ""
            << "Hallo"
            << "IDS_NoDistList" << true;
        QTest::newRow("SMS on LOX24 without LOX24ACC although ASPSMS has credentials")
            << true << addresses << int(esSMS) << "global LOX24"
            << "asp-user"
            << ""
            << "Hallo"
            << "IDS_NOSMSCNF" << false;
        QTest::newRow("SMS account comes before the data source")
            << true << "no_such_schema" << int(esSMS) << "own ASPSMS"
            << ""
            << "konto"
            << "Hallo"
            << "IDS_NOSMSCNF" << false;
        QTest::newRow("SMS on LOX24 with LOX24ACC") << true << addresses << int(esSMS) << "global LOX24"
                                                    << ""
                                                    << "konto"
                                                    << "Hallo"
                                                    << "" << false;
        QTest::newRow("the list's own ASPSMS gateway beside a global LOX24")
            << true << addresses << int(esSMS) << "own ASPSMS"
            << "asp-user"
            << ""
            << "Hallo"
            << "" << false;
        QTest::newRow("unknown data source") << true << "no_such_schema" << int(esPlainText) << ""
                                             << ""
                                             << ""
                                             << "Hallo"
                                             << "IDS_NoDSonList" << true;
        QTest::newRow("data source comes before the text")
            << true << "no_such_schema" << int(esPlainText) << ""
            << ""
            << ""
            << ""
            << "IDS_NoDSonList" << true;
        QTest::newRow("empty text") << true << addresses << int(esPlainText) << ""
                                    << ""
                                    << ""
                                    << ""
                                    << "IDS_NoText" << false;
    }
    void refusalsComeInOrder() {
        QFETCH(bool, withList);
        QFETCH(QString, schema);
        QFETCH(int, style);
        QFETCH(QString, sms);
        QFETCH(QString, aspsmsUser);
        QFETCH(QString, lox24Account);
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        QFETCH(bool, dialog);
        Fixture f;
        f.List->SetSectionName(schema);
        f.Dm.SetGlobalSMSMessageSenderDevice(smsdLOX24);
        f.List->SetUseGlobalSMSProvider(sms == QLatin1String("global LOX24"));
        f.List->SetSMSMessageSenderDevice(smsdASPSMS);
        WriteSetting("ASPSMSUser", aspsmsUser);
        WriteSetting("LOX24ACC", lox24Account);
        TSendJobTemplate t = f.Template(TEmailStyle(style));
        if (!withList)
            t.ListID = -1;
        t.Text = text;
        if (dialog)
            f.Dialogs.AddAnswer(hostapi::mrOk);

        const Outcome outcome = Create(f, t);
        if (refusal.isEmpty()) {
            QVERIFY2(outcome.Job, qPrintable(outcome.Refusal));
            QCOMPARE(f.Dm.Jobs().Count(), 1);
            QCOMPARE(f.JobFolders().size(), 1);
            return;
        }
        QVERIFY(!outcome.Job);
        QCOMPARE(outcome.Refusal, BuilderText(refusal.toLatin1().constData()));
        QCOMPARE(outcome.Dialog, dialog);
        if (dialog) {
            QCOMPARE(f.Dialogs.Questions.size(), 1);
            QCOMPARE(f.Dialogs.Questions.at(0).Type, hostapi::mtError);
            QCOMPARE(f.Dialogs.Questions.at(0).Buttons, hostapi::TMsgDlgButtons(hostapi::mbOK));
        }
        // Nothing is left: no job was ever made, and the job folder of an empty text is gone.
        QCOMPARE(f.Counter->Added, 0);
        QCOMPARE(f.Dm.Jobs().Count(), 0);
        QCOMPARE(f.JobFolders(), QStringList());
    }

    void attachementChecks_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("isInline");
        QTest::addColumn<int>("fileOptions");
        QTest::addColumn<bool>("refused");
        QTest::newRow("mandatory file missing") << "missing.pdf" << 0 << 0 << true;
        QTest::newRow("inline file missing with fileoptions 1") << "missing.png" << 1 << 1 << true;
        QTest::newRow("inline file missing with a macro in its path") << "%NAME%.png" << 1 << 1 << true;
        QTest::newRow("optional file missing: not checked") << "missing.pdf" << 0 << 1 << false;
        QTest::newRow("macro in the path: not checked") << "%NAME%.pdf" << 0 << 0 << false;
        QTest::newRow("wildcard in the path: not checked") << "rechnung*.pdf" << 0 << 0 << false;
        QTest::newRow("question mark in the path: not checked") << "rechnung?.pdf" << 0 << 0 << false;
        QTest::newRow("present file") << "present.pdf" << 0 << 0 << false;
        QTest::newRow("present inline file") << "present.png" << 1 << 0 << false;
        QTest::newRow("program folder marker") << "$APP$present.pdf" << 0 << 0 << false;
        QTest::newRow("program folder marker, file missing") << "$APP$missing.pdf" << 0 << 0 << true;
    }
    void attachementChecks() {
        QFETCH(QString, source);
        QFETCH(int, isInline);
        QFETCH(int, fileOptions);
        QFETCH(bool, refused);
        Fixture f;
        f.File(QStringLiteral("present.pdf"));
        f.File(QStringLiteral("present.png"), Png());
        const QString expanded = f.Files.filePath(QString(source).remove(QStringLiteral("$APP$")));
        const QString stored = source.startsWith(QLatin1String("$APP$")) ? source : expanded;
        f.AddAttachement(stored, QStringLiteral("anhang") + QFileInfo(source).suffix(), isInline,
                         fileOptions);

        const Outcome outcome = Create(f, f.Template());
        if (refused) {
            QVERIFY(!outcome.Job);
            QCOMPARE(outcome.Refusal, BuilderText("IDS_ATFNF").replace(QLatin1String("%s"), expanded));
            QVERIFY(!outcome.Dialog);
            // The job was made, then deleted again, and its folder removed.
            QCOMPARE(f.Counter->Added, 1);
            QCOMPARE(f.Counter->Removed, 1);
            QCOMPARE(f.Dm.Jobs().Count(), 0);
            QCOMPARE(f.JobFolders(), QStringList());
            return;
        }
        QVERIFY2(outcome.Job, qPrintable(outcome.Refusal));
        QCOMPARE(outcome.Job->State(), TJobStateSet({jsInitialized}));
        if (isInline) {
            QCOMPARE(outcome.Job->Attachements().Count(), 0);
            QCOMPARE(outcome.Job->InlineFileList(), QStringList{outcome.Job->TempDirectory() + "anhangpng"});
            return;
        }
        QCOMPARE(outcome.Job->Attachements().Count(), 1);
        TAttachement* a = outcome.Job->Attachements().Items(0);
        QCOMPARE(a->FileName(), QStringLiteral("anhang") + QFileInfo(source).suffix());
        QCOMPARE(a->IsOptionalFile(), fileOptions == 1);
        const bool dynamic = source.contains(QLatin1Char('%')) || HasWildcards(source);
        QCOMPARE(a->HasMacrosInLocalFileName(), dynamic);
        QCOMPARE(dynamic ? a->LocalMacroFileName() : a->LocalFile(), expanded);
    }

    void personalisedAttachementsHoldStoredMacros_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("content"); // expected: the replacer's fields or the in-memory content
        QTest::newRow("file macro replacer") << "formular.fld"
                                             << "Name: %NAME%|Ort: [Stadt]";
        QTest::newRow("in-memory content") << "brief.txt"
                                           << "Name: %NAME%\nOrt: [Stadt]";
        QTest::newRow("macro in the path: nothing read") << "%NAME%.fld"
                                                         << "";
    }
    void personalisedAttachementsHoldStoredMacros() {
        QFETCH(QString, source);
        QFETCH(QString, content);
        const TCustomFileMacroReplacerClass& replacer =
            TCustomFileMacroReplacerClass::Of<LineFieldReplacer>();
        TCustomFileMacroReplacer::RegisterFileMacroReplacer(replacer);
        Fixture f;
        const QString path = f.Files.filePath(source);
        if (!source.contains(QLatin1Char('%')))
            WriteFile(path, "Name: [Name]\nOrt: [Stadt]");
        f.AddAttachement(path, source, 0, 0, 2);
        hostapi::Database::Exec(QStringLiteral("UPDATE \"emlattachements\" SET \"filemrsettings\" = ?"),
                                {QStringLiteral("flatten=1\r\npassword=x\r\n")});
        const Outcome outcome = Create(f, f.Template());
        TCustomFileMacroReplacer::UnRegisterFileMacroReplacer(replacer);
        QVERIFY2(outcome.Job, qPrintable(outcome.Refusal));
        TAttachement* a = outcome.Job->Attachements().Items(0);
        QVERIFY(a->UseMacros());
        if (!source.endsWith(QLatin1String(".fld"))) {
            QCOMPARE(QString::fromUtf8(a->PreparedData()), content);
            return;
        }
        QVERIFY(a->FileMacroReplacer());
        QCOMPARE(a->FileMacroReplacer()->Settings(), (QStringList{"flatten=1", "password=x"}));
        if (content.isEmpty()) {
            QVERIFY(a->HasMacrosInLocalFileName());
            QCOMPARE(a->FileMacroReplacer()->SourceFile(), QString());
            return;
        }
        QStringList fields;
        for (int i = 0; i < a->FileMacroReplacer()->FieldCount(); ++i)
            fields << a->FileMacroReplacer()->GetFieldValue(i);
        QCOMPARE(fields.join(QLatin1Char('|')), content);
    }

    // A copy that fails would send a body whose picture points nowhere.
    void failedInlineCopyIsRefused() {
        Fixture f;
        // Job folders deep enough that the copy's path exceeds the system's limit (also for root).
        QString deep = f.Temp.path();
        while (deep.size() < 3800)
            deep += QLatin1Char('/') + QString(200, QLatin1Char('d'));
        QVERIFY(QDir().mkpath(deep));
        f.Builder.SetTempParent(deep);
        const QString source = f.File(QStringLiteral("logo.png"), Png());
        f.AddAttachement(source, QString(250, QLatin1Char('l')) + ".png", 1, 0);
        const Outcome outcome = Create(f, f.Template(esHTMLSource));
        QVERIFY(!outcome.Job);
        QCOMPARE(outcome.Refusal, BuilderText("IDS_ATFNF").replace(QLatin1String("%s"), source));
        QCOMPARE(QDir(deep).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(f.Counter->Added, 1);
        QCOMPARE(f.Counter->Removed, 1);
        QCOMPARE(f.Dm.Jobs().Count(), 0);
    }

    void inlineCopiesKeepInsideTheJobFolder_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("copied");
        QTest::newRow("plain name") << "logo.png"
                                    << "logo.png";
        QTest::newRow("parent folders") << "../../logo.png"
                                        << "logo.png";
        QTest::newRow("absolute path") << "/tmp/logo.png"
                                       << "logo.png";
        QTest::newRow("backslashes") << "..\\bilder\\logo.png"
                                     << "logo.png";
        QTest::newRow("empty: the source's name") << ""
                                                  << "quelle.png";
        QTest::newRow("dot dot: the source's name") << ".."
                                                    << "quelle.png";
        QTest::newRow("trailing separator: the source's name") << "bilder/"
                                                               << "quelle.png";
        QTest::newRow("too long: cut before the extension")
            << QString(300, QLatin1Char('a')) + ".png" << QString(251, QLatin1Char('a')) + ".png";
    }
    void inlineCopiesKeepInsideTheJobFolder() {
        QFETCH(QString, fileName);
        QFETCH(QString, copied);
        Fixture f;
        f.AddAttachement(f.File(QStringLiteral("quelle.png"), Png()), fileName, 1, 0);
        const Outcome outcome = Create(f, f.Template(esHTMLSource));
        QVERIFY2(outcome.Job, qPrintable(outcome.Refusal));
        const QString folder = outcome.Job->TempDirectory();
        QCOMPARE(outcome.Job->InlineFileList(), QStringList{folder + copied});
        QCOMPARE(ReadFile(folder + copied), Png());
        // Nothing was written beside the job folder or the source.
        QCOMPARE(f.JobFolders().size(), 1);
        QCOMPARE(QDir(f.Temp.path()).entryList(QDir::Files), QStringList());
        QCOMPARE(Names(f.Files.path()), QStringList{"quelle.png"});
    }

    void safeBaseName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("safe");
        QTest::newRow("plain") << "bild 1.png"
                               << "bild 1.png";
        QTest::newRow("folder") << "a/b/c.png"
                                << "c.png";
        QTest::newRow("windows folder") << "C:\\x\\c.png"
                                        << "c.png";
        QTest::newRow("control characters dropped") << QStringLiteral("c\n\t.png") << "c.png";
        QTest::newRow("dot") << "."
                             << "";
        QTest::newRow("dot dot") << "../.."
                                 << "";
        QTest::newRow("blank") << "  "
                               << "";
        QTest::newRow("255 bytes kept")
            << QString(251, QLatin1Char('b')) + ".png" << QString(251, QLatin1Char('b')) + ".png";
        // Two bytes per character: 125 characters and the extension are 254 bytes.
        QTest::newRow("multi-byte characters cut whole")
            << QString(200, QChar(0xe4)) + ".png" << QString(125, QChar(0xe4)) + ".png";
        QTest::newRow("surrogate pairs cut whole")
            << QString::fromUcs4(std::u32string(100, U'\U0001F600').c_str()) + ".png"
            << QString::fromUcs4(std::u32string(62, U'\U0001F600').c_str()) + ".png";
    }
    void safeBaseName() {
        QFETCH(QString, name);
        QFETCH(QString, safe);
        const QString result = TSendJobBuilder::SafeBaseName(name);
        QCOMPARE(result, safe);
        QVERIFY(result.toUtf8().size() <= 255);
        QVERIFY(result.isEmpty() || hostapi::IsPlainFileName(result));
    }

    void htmlTemplateReferencesItsPictureByContentId_data() {
        QTest::addColumn<QString>("memo");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty memo: the stripped HTML") << ""
                                                       << "Hallo %NAME%";
        QTest::newRow("memo text") << "Guten Tag [Name]"
                                   << "Guten Tag %NAME%";
    }
    void htmlTemplateReferencesItsPictureByContentId() {
        QFETCH(QString, memo);
        QFETCH(QString, text);
        Fixture f;
        QTemporaryDir editorImages;
        WriteFile(editorImages.filePath(QStringLiteral("img.png")), Png());
        TSendJobTemplate t = f.Template(esHTML);
        t.Text = memo;
        t.Html = QStringLiteral("<p>Hallo <b>[Name]</b></p><p><img src=\"%IMAGEPATH%img.png\"></p>");
        t.HtmlImageFolder = editorImages.path();
        t.HtmlImages = {QStringLiteral("img.png")};
        const Outcome outcome = Create(f, t);
        QVERIFY2(outcome.Job, qPrintable(outcome.Refusal));
        const QString folder = outcome.Job->TempDirectory();
        QCOMPARE(outcome.Job->HTMLContent(),
                 QStringLiteral("<p>Hallo <b>%NAME%</b></p><p><img src=\"cid:img.png\"></p>"));
        QCOMPARE(outcome.Job->InlineFileList(), QStringList{folder + "img.png"});
        QCOMPARE(ReadFile(folder + "img.png"), Png());
        QCOMPARE(outcome.Job->Content(), text);
        QCOMPARE(outcome.Job->UsedMakros(), (QList<TUsedMakro>{{QStringLiteral("%NAME%"), mkField}}));
    }

    void htmlPictureMissingFromTheEditorFolderFails() {
        Fixture f;
        QTemporaryDir editorImages;
        TSendJobTemplate t = f.Template(esHTML);
        t.Html = QStringLiteral("<img src=\"%IMAGEPATH%img.png\">");
        t.HtmlImageFolder = editorImages.path();
        t.HtmlImages = {QStringLiteral("img.png")};
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, f.Builder.CreateSendJob(t, -1, -1));
        QCOMPARE(f.Dm.Jobs().Count(), 0);
        QCOMPARE(f.JobFolders(), QStringList());
    }

    void rtfTemplateSendsTheExportedText_data() {
        QTest::addColumn<QString>("memo");
        QTest::newRow("empty memo: _textbody.txt") << "";
        QTest::newRow("memo text") << "Guten Tag [Name]";
    }
    void rtfTemplateSendsTheExportedText() {
        QFETCH(QString, memo);
        Fixture f;
        TSendJobTemplate t = f.Template(esRTFText);
        t.Text = memo;
        t.Rtf = RtfFixture("richedit-picture.rtf");
        const Outcome outcome = Create(f, t);
        QVERIFY2(outcome.Job, qPrintable(outcome.Refusal));
        const QString folder = outcome.Job->TempDirectory();
        const QStringList files = Names(folder);
        QVERIFY2(files.contains("_index.html") && files.contains("_textbody.txt"),
                 qPrintable(files.join(", ")));
        QCOMPARE(outcome.Job->Content(),
                 memo.isEmpty() ? QString::fromUtf8(ReadFile(folder + "_textbody.txt")) : "Guten Tag %NAME%");
        QVERIFY(outcome.Job->Content().contains(memo.isEmpty() ? "Bild:" : "%NAME%"));
        // The exported picture is an inline file that the HTML names by its content id.
        QStringList pictures = files;
        pictures.removeAll("_index.html");
        pictures.removeAll("_textbody.txt");
        QVERIFY(!pictures.isEmpty());
        QStringList inlineFiles;
        for (const QString& picture : pictures) {
            inlineFiles << folder + picture;
            QVERIFY2(outcome.Job->HTMLContent().contains("\"cid:" + picture + "\""),
                     qPrintable(outcome.Job->HTMLContent()));
        }
        QCOMPARE(outcome.Job->InlineFileList(), inlineFiles);
    }

    void htmlSourceTemplate() {
        Fixture f;
        TSendJobTemplate t = f.Template(esHTMLSource);
        t.Text.clear();
        t.HtmlSource =
            QStringLiteral("<html><body><p>Hallo [Name]</p><img src=\"cid:logo.png\"></body></html>");
        const Outcome outcome = Create(f, t);
        QVERIFY2(outcome.Job, qPrintable(outcome.Refusal));
        QCOMPARE(outcome.Job->HTMLContent(),
                 QStringLiteral("<html><body><p>Hallo %NAME%</p><img src=\"cid:logo.png\"></body></html>"));
        QCOMPARE(outcome.Job->Content(), QStringLiteral("Hallo %NAME%"));
        QCOMPARE(outcome.Job->InlineFileList(), QStringList());
    }

    void textBlocksExpandIgnoringCase() {
        Fixture f;
        f.AddTextBlock(QStringLiteral("Gruß"), QStringLiteral("Viele Grüße an [Name]"),
                       QStringLiteral("{\\rtf1\\ansi Mit freundlichen Gr\\'fc\\'dfen}"));
        f.AddTextBlock(QStringLiteral("Nur RTF"), QString(), QStringLiteral("{\\rtf1\\ansi Aus dem RTF}"));
        f.AddTextBlock(QString(), QStringLiteral("leer"), QString());
        TSendJobTemplate t = f.Template(esHTMLSource);
        t.Text = QStringLiteral("A [textblock:gruß] B [TEXTBLOCK:GRUß] C [TextBlock:nur rtf] D [TEXTBLOCK:]");
        t.HtmlSource = QStringLiteral("<p>[TEXTBLOCK:GRUß]</p><p>[textblock:Nur RTF]</p>");
        const Outcome outcome = Create(f, t);
        QVERIFY2(outcome.Job, qPrintable(outcome.Refusal));
        QCOMPARE(
            outcome.Job->Content(),
            QStringLiteral("A Viele Grüße an %NAME% B Viele Grüße an %NAME% C Aus dem RTF D [TEXTBLOCK:]"));
        const QString html = outcome.Job->HTMLContent();
        QVERIFY2(!html.contains("TEXTBLOCK", Qt::CaseInsensitive), qPrintable(html));
        QVERIFY2(html.contains(QStringLiteral("Mit freundlichen Grüßen")), qPrintable(html));
        QVERIFY2(html.contains(QStringLiteral("Aus dem RTF")), qPrintable(html));
        QVERIFY2(html.startsWith("<p>") && html.endsWith("</p>"), qPrintable(html));
    }

    void textBlockPicturesStayInTheJobFolder() {
        Fixture f;
        f.AddTextBlock(QStringLiteral("../../Bild"), QStringLiteral("Bild"),
                       RtfFixture("richedit-picture.rtf"));
        TSendJobTemplate t = f.Template(esHTMLSource);
        t.HtmlSource = QStringLiteral("<div>[TEXTBLOCK:../../BILD]</div>");
        const Outcome outcome = Create(f, t);
        QVERIFY2(outcome.Job, qPrintable(outcome.Refusal));
        const QString folder = outcome.Job->TempDirectory();
        const QStringList files = Names(folder);
        QVERIFY(!files.isEmpty());
        QStringList inlineFiles;
        for (const QString& file : files) {
            QVERIFY2(hostapi::IsPlainFileName(file) && !file.contains("..") && file.contains("Bild") &&
                         file.endsWith(".png"),
                     qPrintable(file));
            inlineFiles << folder + file;
            QVERIFY2(outcome.Job->HTMLContent().contains("\"cid:" + file + "\""),
                     qPrintable(outcome.Job->HTMLContent()));
        }
        QCOMPARE(outcome.Job->InlineFileList(), inlineFiles);
        QCOMPARE(f.JobFolders().size(), 1);
        QCOMPARE(QDir(f.Temp.path()).entryList(QDir::Files), QStringList());
    }

    void jobValues() {
        Fixture f;
        f.Dm.SetDNSServer(QStringLiteral("127.0.0.1:5353"));
        f.Dm.SetStateID_AfterSuccSend(4);
        TSendJobTemplate t = f.Template(esPlainText);
        t.CC = QStringLiteral("cc@example.org");
        t.BCC = QStringLiteral("[Name]@example.org");
        const Outcome outcome = Create(f, t, 77, 2);
        QVERIFY2(outcome.Job, qPrintable(outcome.Refusal));
        TBaseEmailSender& job = *outcome.Job;
        QCOMPARE(f.Dm.Jobs().ByTemplateID(qint32(f.TemplateID)), &job);
        QCOMPARE(job.EmailStyle(), esPlainText);
        QCOMPARE(job.DestinationList(), f.List);
        QCOMPARE(job.Subject(), QStringLiteral("Angebot für %NAME%"));
        QCOMPARE(job.Content(), QStringLiteral("Guten Tag %NAME%"));
        QCOMPARE(job.HTMLContent(), QString());
        QCOMPARE(job.CCList(), QStringLiteral("cc@example.org"));
        QCOMPARE(job.BCCList(), QStringLiteral("%NAME%@example.org"));
        QCOMPARE(job.DNSServer(), QStringLiteral("127.0.0.1:5353"));
        QCOMPARE(job.SuccessTemplateStateID(), 4);
        QCOMPARE(job.ReSendJobID(), 77);
        QCOMPARE(job.ReSendJobState(), 2);
        QCOMPARE(f.JobFolders().size(), 1);
        QCOMPARE(job.TempDirectory(), QDir(f.Temp.path()).filePath(f.JobFolders().at(0)) + "/");
        QCOMPARE(job.UsedMakros(), (QList<TUsedMakro>{{QStringLiteral("%NAME%"), mkField}}));
        QCOMPARE(job.State(), TJobStateSet({jsInitialized}));
        // Deleting the job removes its folder.
        f.Dm.Jobs().Delete(&job);
        QCOMPARE(f.JobFolders(), QStringList());
    }
};

QTEST_MAIN(tst_SendJobBuilder)
#include "tst_SendJobBuilder.moc"
