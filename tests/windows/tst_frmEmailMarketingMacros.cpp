// The macro panel in the mailing window offscreen on a real SQLite database: a double click puts
// the shown form into the active editor page and the template stores the macro; the list's macros
// come back as captions; the text blocks of the template; the panel locked with the job and
// emptied for a folder; the HTML file import.
#include "MailingWindowFixture.h"

#include "HostLibraries.h"
#include "JvHLEditor.h"
#include "MailingEditorPopupMenu.h"
#include "MailingMacroPanel.h"

#include <QDialog>
#include <QLineEdit>
#include <QToolBox>
#include <QTreeWidget>

using namespace emailmarketing;
using namespace mailingwindowtests;

namespace {

QString StoredTemplate(qint64 AID, const char* AColumn) {
    return testsupport::Value(QStringLiteral("emtemplates"), QString::fromLatin1(AColumn),
                              QStringLiteral("\"id\" = ?"), {AID})
        .toString();
}

QTreeWidget* List(Window& AWindow, const char* AName) {
    return AWindow.Find<QTreeWidget>(AName);
}

// Shows the group of AList and double-clicks the entry ACaption as a user does.
void DoubleClick(Window& AWindow, QTreeWidget* AList, const QString& ACaption) {
    AWindow.Find<QToolBox>("dxNavBarMacros")->setCurrentWidget(AList);
    const QList<QTreeWidgetItem*> items = AList->findItems(ACaption, Qt::MatchExactly);
    QVERIFY2(!items.isEmpty(), qPrintable(ACaption));
    AList->scrollToItem(items.first());
    const QPoint at = AList->visualItemRect(items.first()).center();
    QTest::mouseClick(AList->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(AList->viewport(), Qt::LeftButton, {}, at);
}

// Types AText as key presses; characters beyond ASCII as keys that carry only their text.
void TypeText(QWidget* AWidget, const QString& AText) {
    for (const QChar c : AText)
        QTest::sendKeyEvent(QTest::Click, AWidget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QStringList Captions(QTreeWidget* AList) {
    QStringList captions;
    for (int i = 0; i < AList->topLevelItemCount(); ++i)
        captions << AList->topLevelItem(i)->text(0);
    return captions;
}

} // namespace

class tst_frmEmailMarketingMacros : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void aDoubleClickInsertsTheCaptionAndTheTemplateStoresTheMacro_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("stored");
        QTest::newRow("text, kurz") << int(esPlainText) << "Aktueller Tag - kurz"
                                    << "%PRE_DAY3%";
        QTest::newRow("HTML source, lang") << int(esHTMLSource) << "Aktueller Tag - lang"
                                           << "%PRE_DAY4%";
    }
    void aDoubleClickInsertsTheCaptionAndTheTemplateStoresTheMacro() {
        QFETCH(int, style);
        QFETCH(QString, caption);
        QFETCH(QString, stored);
        WindowFixture f(style);
        Window w(f);
        const bool source = style == esHTMLSource;
        w.Memo()->moveCursor(QTextCursor::End);
        DoubleClick(w, List(w, "cxLVPredefinedMacros"), caption);
        const QString shown = QLatin1Char('[') + caption + QLatin1Char(']');
        if (source)
            QCOMPARE(w.Find<hostapi::TJvHLEditor>("edtHTMLSource")->Text(), shown);
        else
            QCOMPARE(w.Memo()->toPlainText(), QStringLiteral("Guten Tag") + shown);
        QVERIFY(w.Form.IsTemplateModified());
        w.Form.SaveChanges();
        if (source)
            QCOMPARE(StoredTemplate(f.TemplateID, "mailbodyhtml"), stored);
        else
            QCOMPARE(StoredTemplate(f.TemplateID, "mailbody"), QStringLiteral("Guten Tag") + stored);
    }

    void theListsMacrosAreStoredAndShownAgainAsCaptions() {
        WindowFixture f;
        Window w(f);
        QTreeWidget* fields = List(w, "lvFieldMakros");
        QVERIFY(fields->topLevelItemCount() > 0);
        QVERIFY(Captions(fields).contains(QStringLiteral("Name")));
        w.Memo()->clear();
        QTest::keyClicks(w.Memo(), QStringLiteral("Hallo [Name], [Kein Makro]"));
        w.Find<QLineEdit>("edtSubject")->end(false);
        TypeText(w.Find<QLineEdit>("edtSubject"), QStringLiteral(" für [name]"));
        QVERIFY(w.Form.dblvTemplates().FocusNode({hostapi::tnkFolder, f.Folder}));
        // a caption of the list is stored as the macro, an unknown one as typed
        QCOMPARE(StoredTemplate(f.TemplateID, "mailbody"), QStringLiteral("Hallo %NAME%, [Kein Makro]"));
        QCOMPARE(StoredTemplate(f.TemplateID, "subject"), QStringLiteral("Angebot für %NAME%"));
        QCOMPARE(fields->topLevelItemCount(), 0);
        QVERIFY(w.Form.dblvTemplates().FocusNode({hostapi::tnkContent, f.TemplateID}));
        QCOMPARE(w.Memo()->toPlainText(), QStringLiteral("Hallo [Name], [Kein Makro]"));
        QCOMPARE(w.Find<QLineEdit>("edtSubject")->text(), QStringLiteral("Angebot für [Name]"));
    }

    void aTemplateWithoutListOffersOnlySystemAndTextBlocks() {
        WindowFixture f;
        hostapi::Database::Exec(QStringLiteral("UPDATE \"emtemplates\" SET \"mailinglist\" = NULL"));
        f.AddTextBlock(QStringLiteral("Gruß"), QStringLiteral("Viele Grüße"), {});
        Window w(f);
        for (const char* list : {"lvFieldMakros", "lvSchemaMakros", "lvUserMacros"})
            QCOMPARE(List(w, list)->topLevelItemCount(), 0);
        QVERIFY(List(w, "cxLVPredefinedMacros")->topLevelItemCount() > 0);
        QCOMPARE(Captions(List(w, "dblvTextBlockMacros")), QStringList{"Gruß"});
        w.Memo()->moveCursor(QTextCursor::End);
        // upper-cased per character: "ß" stays one character, as the engine matches it
        DoubleClick(w, List(w, "dblvTextBlockMacros"), QStringLiteral("Gruß"));
        QCOMPARE(w.Memo()->toPlainText(), QStringLiteral("Guten Tag[TEXTBLOCK:GRUß]"));
        w.Form.SaveChanges();
        QCOMPARE(StoredTemplate(f.TemplateID, "mailbody"), QStringLiteral("Guten Tag[TEXTBLOCK:GRUß]"));
    }

    void theMacroListsAreLockedWithTheJob() {
        WindowFixture f;
        f.HoldJobs();
        windowtests::AddRecipients(2);
        Window w(f);
        QVERIFY(List(w, "cxLVPredefinedMacros")->isEnabled());
        ScheduleAutoStartJob(f, w);
        QVERIFY(f.Job());
        for (const char* list : {"lvFieldMakros", "cxLVPredefinedMacros", "dblvTextBlockMacros"})
            QVERIFY2(!List(w, list)->isEnabled(), list);
    }

    void theEditorPopupActsOnTheEditorItWasOpenedFrom() {
        WindowFixture f(esRTFText);
        Window w(f);
        auto* menu = w.Find<TMailingEditorPopupMenu>("PopupMenu");
        QWidget* rtf = w.Find("QV2RichEdit");
        menu->PopupMenuPopup(*rtf);
        QCOMPARE(menu->Target(), rtf);
        QVERIFY(!w.Find<QAction>("mnuCut")->isEnabled());
        menu->PopupMenuPopup(*w.Memo());
        QCOMPARE(menu->Target(), static_cast<QWidget*>(w.Memo()));
    }

    void theHtmlImportAsksAndLoadsTheFileIntoTheSource_data() {
        QTest::addColumn<hostapi::TModalResult>("answer");
        QTest::newRow("No: unchanged") << hostapi::mrNo;
        QTest::newRow("Yes: loaded") << hostapi::mrYes;
    }
    void theHtmlImportAsksAndLoadsTheFileIntoTheSource() {
        QFETCH(hostapi::TModalResult, answer);
        WindowFixture f(esHTMLSource);
        hostapi::Database::Exec(QStringLiteral("UPDATE \"emtemplates\" SET \"mailbodyhtml\" = '<p>alt</p>'"));
        const QString file = f.File(QStringLiteral("neu.html"), "<p>neu</p>");
        Window w(f);
        QVERIFY(w.Action("ractImportHTMLSource")->isVisible());
        f.Dialogs.AddAnswer(answer);
        if (answer == hostapi::mrYes)
            f.Dialogs.AddFileName(file);
        w.Trigger("ractImportHTMLSource");
        QCOMPARE(f.Dialogs.Questions.size(), 1);
        QCOMPARE(f.Dialogs.Questions.at(0).Text, hostapi::TVRNLang(QStringLiteral("MailingHtmlImport"))
                                                     .Text(QStringLiteral("IDS_ASKOVETPLWHTMLF")));
        const QString expected =
            answer == hostapi::mrYes ? QStringLiteral("<p>neu</p>") : QStringLiteral("<p>alt</p>");
        QCOMPARE(w.Find<hostapi::TJvHLEditor>("edtHTMLSource")->Text().trimmed(), expected);
        QCOMPARE(w.Form.IsTemplateModified(), answer == hostapi::mrYes);
        w.Form.SaveChanges();
        QCOMPARE(StoredTemplate(f.TemplateID, "mailbodyhtml").trimmed(), expected);
    }
};

QTEST_MAIN(tst_frmEmailMarketingMacros)
#include "tst_frmEmailMarketingMacros.moc"
