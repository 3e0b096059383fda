// The text blocks page on SQLite: the blocks of the loaded template only, add and rename (named
// through the dialog service), edit of the plain and the RTF text written when another block or template is
// chosen, delete only after Yes; grabbed in German and English.

#include "Database.h"
#include "MailingTextBlocksPage.h"
#include "QV2RichEdit.h"
#include "RichTextConverter.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace emailmarketing;
using hostapi::Database;
using testsupport::Count;
using testsupport::Value;

namespace {
const QString Rtf = QStringLiteral("{\\rtf1\\ansi {\\b Fett} normal}");
}

class tst_MailingTextBlocksPage : public QObject {
    Q_OBJECT

private slots:
    void addEditDelete() {
        testsupport::TestDatabase db;
        testsupport::ScriptedDialogService dialogs;
        const qint64 first = Database::InsertRow("emtemplates", {"name"}, {"Erste"});
        const qint64 second = Database::InsertRow("emtemplates", {"name"}, {"Zweite"});
        Database::InsertRow("emltextblocks", {"emtemplateid", "descr", "body"}, {second, "Fremd", "x"});
        TMailingTextBlocksPage page;
        QSignalSpy changed(&page, &TMailingTextBlocksPage::TextBlocksChanged);
        QVERIFY(!page.isEnabled());
        page.SetTemplateID(first);
        QVERIFY(page.isEnabled());
        QCOMPARE(page.BlockCount(), 0);

        dialogs.AddInput(std::nullopt);
        QVERIFY(!page.AddBlock());
        dialogs.AddInput(QStringLiteral("Gruß"));
        QVERIFY(page.AddBlock());
        dialogs.AddInput(QStringLiteral("Abschied"));
        QVERIFY(page.AddBlock());
        QCOMPARE(Count("emltextblocks", "\"emtemplateid\" = ?", {first}), 2);
        QCOMPARE(page.BlockList()->currentItem()->text(), QStringLiteral("Abschied"));

        // Edits of the new block are written when the user moves to the other one.
        QTest::keyClicks(page.PlainEditor(), "Auf Wiedersehen %NAME%");
        page.RtfEditor()->SetRtfText(Rtf); // pasted formatted text; the user then types behind it
        page.RtfEditor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(page.RtfEditor(), " und mehr");
        page.BlockList()->setCurrentRow(0);
        QCOMPARE(Value("emltextblocks", "body", "\"descr\" = 'Abschied'", {}).toString(),
                 QStringLiteral("Auf Wiedersehen %NAME%"));
        const QString stored = Value("emltextblocks", "bodyhtml", "\"descr\" = 'Abschied'", {}).toString();
        QVERIFY2(stored.startsWith("{\\rtf") && stored.contains("Fett") && stored.contains("und mehr"),
                 qPrintable(stored));
        // The stored RTF is what a job's text-block expansion converts.
        QTemporaryDir images;
        QCOMPARE(
            hostapi::RichTextConverter::ConvertTextBlockRTF(stored, "Abschied", images.path()).Text.trimmed(),
            QStringLiteral("Fett normal und mehr"));
        QCOMPARE(page.PlainEditor()->toPlainText(), QString());

        // ... and when another template is loaded; the page then shows only that template's blocks.
        QTest::keyClicks(page.PlainEditor(), "Hallo");
        page.SetTemplateID(second);
        QCOMPARE(Value("emltextblocks", "body", "\"descr\" = 'Gruß'", {}).toString(),
                 QStringLiteral("Hallo"));
        QCOMPARE(page.BlockCount(), 1);
        QCOMPARE(page.PlainEditor()->toPlainText(), QStringLiteral("x"));

        page.SetTemplateID(first);
        page.SetCurrentBlock(1);
        QCOMPARE(page.PlainEditor()->toPlainText(), QStringLiteral("Auf Wiedersehen %NAME%"));
        QVERIFY(page.RtfEditor()->PlainText().contains("Fett"));
        QCOMPARE(changed.count(), 2);

        // Rename: cancelled and empty names change nothing; a pending edit is written first.
        dialogs.AddInput(std::nullopt);
        QVERIFY(!page.RenameBlock());
        dialogs.AddInput(QStringLiteral("  "));
        QVERIFY(!page.RenameBlock());
        QTest::keyClicks(page.PlainEditor(), "!");
        dialogs.AddInput(QStringLiteral("Abschiedsgruß"));
        QVERIFY(page.RenameBlock());
        QCOMPARE(dialogs.Queries.last().Value, QStringLiteral("Abschied"));
        QCOMPARE(Value("emltextblocks", "body", "\"descr\" = 'Abschiedsgruß'", {}).toString(),
                 QStringLiteral("!Auf Wiedersehen %NAME%"));
        QCOMPARE(page.BlockList()->currentItem()->text(), QStringLiteral("Abschiedsgruß"));
        QCOMPARE(changed.count(), 3);

        dialogs.AddAnswer(hostapi::mrNo);
        QVERIFY(!page.DeleteBlock());
        QCOMPARE(Count("emltextblocks", "\"emtemplateid\" = ?", {first}), 2);
        dialogs.AddAnswer(hostapi::mrYes);
        QVERIFY(page.DeleteBlock());
        QCOMPARE(dialogs.Questions.last().Text,
                 QStringLiteral("Möchten Sie den Textbaustein 'Abschiedsgruß' löschen?"));
        QCOMPARE(changed.count(), 4);
        QCOMPARE(Count("emltextblocks", "\"emtemplateid\" = ?", {first}), 1);
        QCOMPARE(Count("emltextblocks", "\"emtemplateid\" = ?", {second}), 1);
        QCOMPARE(page.BlockCount(), 1);
        QCOMPARE(page.PlainEditor()->toPlainText(), QStringLiteral("Hallo"));
    }

    void grabbed_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("de") << "German";
        QTest::newRow("en") << "English";
    }
    void grabbed() {
        QFETCH(QString, language);
        testsupport::TestDatabase db;
        const qint64 id = Database::InsertRow("emtemplates", {"name"}, {"News"});
        Database::InsertRow("emltextblocks", {"emtemplateid", "descr", "body", "bodyhtml"},
                            {id, "Gruß", "Guten Tag %NAME%", Rtf});
        Database::InsertRow("emltextblocks", {"emtemplateid", "descr", "body"}, {id, "Abschied", "Tschüss"});
        TMailingTextBlocksPage page;
        page.SetLanguage(language);
        page.SetTemplateID(id);
        page.resize(640, 280);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QDir().mkpath(QV_GRAB_DIR);
        QVERIFY(page.grab().save(QStringLiteral(QV_GRAB_DIR "/MailingTextBlocksPage_%1.png").arg(language)));
        page.findChild<QTabWidget*>(QStringLiteral("pcTextBlock"))->setCurrentIndex(1);
        QVERIFY(
            page.grab().save(QStringLiteral(QV_GRAB_DIR "/MailingTextBlocksPage_%1_RTF.png").arg(language)));
    }
};

QTEST_MAIN(tst_MailingTextBlocksPage)
#include "tst_MailingTextBlocksPage.moc"
