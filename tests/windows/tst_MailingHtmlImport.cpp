// "HTML-Datei..." of the mailing window with bare editors: the question first, only Yes goes on to
// the file dialog, and the chosen file replaces the content of the style's editor.

#include "FileUtils.h"
#include "HostDoubles.h"
#include "HostLibraries.h"
#include "JvHLEditor.h"
#include "MailingHtmlImport.h"
#include "QV2RichEdit.h"
#include "QVException.h"
#include "VRNHtmlEditor.h"
#include "frmVRNCustomHTMLEditorControl.h"

#include <QTemporaryDir>
#include <QTest>

using namespace emailmarketing;

namespace {

const QString Question =
    QStringLiteral("Achtung: Die aktuelle Vorlage wird überschrieben!\n"
                   "Möchten Sie jetzt die Vorlage überschreiben und eine HTML-Datei importieren?");

struct Editors {
    hostapi::TQV2RichEdit Rtf;
    hostapi::TJvHLEditor Source;
    hostapi::TfrmVRNCustomHTMLEditorControl Html;

    Editors() {
        Rtf.LoadHtmlFromString(QStringLiteral("Vorher"));
        Source.SetText(QStringLiteral("Vorher"));
        Html.Editor()->SetHtmlText(QStringLiteral("<p>Vorher</p>"));
    }
    QWidget& Of(const QString& AStyle) {
        if (AStyle == QLatin1String("rtf"))
            return Rtf;
        if (AStyle == QLatin1String("source"))
            return Source;
        return Html;
    }
    QString TextOf(const QString& AStyle) const {
        if (AStyle == QLatin1String("rtf"))
            return Rtf.PlainText();
        if (AStyle == QLatin1String("source"))
            return Source.Text();
        return Html.Editor()->Text();
    }
};

} // namespace

class tst_MailingHtmlImport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void import_data() {
        QTest::addColumn<QString>("style");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("chooseFile");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("RTF: Yes loads") << "rtf" << int(hostapi::mrYes) << true << true;
        QTest::newRow("HTML source: Yes loads") << "source" << int(hostapi::mrYes) << true << true;
        QTest::newRow("HTML: Yes loads") << "html" << int(hostapi::mrYes) << true << true;
        QTest::newRow("No changes nothing") << "rtf" << int(hostapi::mrNo) << false << false;
        QTest::newRow("Cancel changes nothing") << "html" << int(hostapi::mrCancel) << false << false;
        QTest::newRow("cancelled file dialog changes nothing")
            << "source" << int(hostapi::mrYes) << false << false;
    }
    void import() {
        QFETCH(QString, style);
        QFETCH(int, answer);
        QFETCH(bool, chooseFile);
        QFETCH(bool, loaded);
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("vorlage.html"));
        // Windows-1252 bytes declared by the page itself.
        hostapi::SaveBinaryFile(file, QByteArray("<html><head><meta charset=\"windows-1252\"></head>"
                                                 "<body><p>Gr\xFC\xDF\x65 [Anrede]</p></body></html>"));
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(hostapi::TModalResult(answer));
        if (answer == hostapi::mrYes)
            dialogs.AddFileName(chooseFile ? std::optional<QString>(file) : std::nullopt);
        Editors editors;
        QCOMPARE(ImportHtmlFile(editors.Of(style), QStringLiteral("German")), loaded);
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions[0].Text, Question);
        QCOMPARE(dialogs.Questions[0].Type, hostapi::mtConfirmation);
        QCOMPARE(dialogs.Questions[0].Buttons, hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel);
        QCOMPARE(dialogs.FileDialogs.size(), answer == hostapi::mrYes ? 1 : 0);
        if (!dialogs.FileDialogs.isEmpty()) {
            QCOMPARE(dialogs.FileDialogs[0].Options.Caption, QStringLiteral("HTML-Datei importieren"));
            QCOMPARE(dialogs.FileDialogs[0].Options.Filter,
                     QStringLiteral("HMTL-Dateien (*.htm;*.html)|*.htm;*.html|Alle Dateien (*.*)|*.*"));
        }
        for (const QString& other :
             {QStringLiteral("rtf"), QStringLiteral("source"), QStringLiteral("html")}) {
            const QString text = editors.TextOf(other);
            const bool expectLoaded = loaded && other == style;
            if (expectLoaded)
                QVERIFY2(text.contains(QStringLiteral("Grüße [Anrede]")), qPrintable(text));
            else
                QVERIFY2(text.trimmed() == QStringLiteral("Vorher"), qPrintable(other + ": " + text));
        }
    }

    void readOnlyEditorIsRefusedBeforeAsking() {
        testsupport::ScriptedDialogService dialogs;
        Editors editors;
        editors.Source.SetReadOnly(true);
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException,
                                 ImportHtmlFile(editors.Source, QStringLiteral("German")));
        QVERIFY(dialogs.Questions.isEmpty());
        QCOMPARE(editors.Source.Text(), QStringLiteral("Vorher"));
    }

    void englishQuestion() {
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(hostapi::mrNo);
        Editors editors;
        QVERIFY(!ImportHtmlFile(editors.Rtf, QStringLiteral("English")));
        QVERIFY(dialogs.Questions[0].Text.startsWith(QStringLiteral("Attention: the current template")));
    }
};

QTEST_MAIN(tst_MailingHtmlImport)
#include "tst_MailingHtmlImport.moc"
