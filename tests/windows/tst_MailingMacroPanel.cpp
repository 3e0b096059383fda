// The mailing window's macro side panel offscreen: its five groups from a list stored in SQLite,
// double click and drag with the shown form, the stored form the template keeps, and the error
// for a list whose schema is missing.

#include "DBFieldSchema.h"
#include "DialogService.h"
#include "HostDoubles.h"
#include "HostLibraries.h"
#include "MailingEditorDrop.h"
#include "MailingMacroPanel.h"
#include "VRNLang.h"
#include "WindowTestHelpers.h"
#include "core/MacroListFixture.h"
#include "hostapi/EditorTestSupport.h"

#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolBox>
#include <QTreeWidget>

using namespace emailmarketing;
using macrotest::Fixture;
using testsupport::Find;

namespace {

QTreeWidget* List(TMailingMacroPanel& APanel, const char* AName) {
    return Find<QTreeWidget>(APanel, AName);
}

QStringList Texts(QTreeWidget* AList) {
    QStringList result;
    for (int i = 0; i < AList->topLevelItemCount(); ++i)
        result << AList->topLevelItem(i)->text(0);
    return result;
}

QTreeWidgetItem* ItemOf(QTreeWidget* AList, const QString& ACaption) {
    const QList<QTreeWidgetItem*> items = AList->findItems(ACaption, Qt::MatchExactly);
    return items.isEmpty() ? nullptr : items.first();
}

// Shows the group of AList and double-clicks the entry ACaption as a user does.
void DoubleClick(TMailingMacroPanel& APanel, QTreeWidget* AList, const QString& ACaption) {
    auto* toolBox = Find<QToolBox>(APanel, "dxNavBarMacros");
    toolBox->setCurrentWidget(AList);
    QTreeWidgetItem* item = ItemOf(AList, ACaption);
    QVERIFY2(item, qPrintable(ACaption));
    AList->scrollToItem(item);
    const QPoint at = AList->visualItemRect(item).center();
    QTest::mouseClick(AList->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(AList->viewport(), Qt::LeftButton, {}, at);
}

// The drag data of the entry ACaption, as a drag starts with it.
std::unique_ptr<QMimeData> DragData(QTreeWidget* AList, const QString& ACaption) {
    QTreeWidgetItem* item = ItemOf(AList, ACaption);
    if (!item)
        return nullptr;
    return std::unique_ptr<QMimeData>(AList->model()->mimeData({AList->indexFromItem(item)}));
}

} // namespace

class tst_MailingMacroPanel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }
    void cleanup() { hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void fiveGroupsInOrder_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("captions");
        QTest::newRow("German") << "German"
                                << QStringList{"Empfänger", "Allgemein", "Verteilerliste", "System",
                                               "Textbausteine"};
        QTest::newRow("English") << "English"
                                 << QStringList{"Recipient", "General", "Distribution list", "System",
                                                "Text blocks"};
    }
    void fiveGroupsInOrder() {
        QFETCH(QString, language);
        QFETCH(QStringList, captions);
        TMailingMacroPanel panel;
        panel.SetLanguage(language);
        auto* toolBox = Find<QToolBox>(panel, "dxNavBarMacros");
        QStringList shown;
        for (int i = 0; i < toolBox->count(); ++i)
            shown << toolBox->itemText(i);
        QCOMPARE(shown, captions);
        const QStringList names{"lvFieldMakros", "lvSchemaMakros", "lvUserMacros", "cxLVPredefinedMacros",
                                "dblvTextBlockMacros"};
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(toolBox->widget(i)->objectName(), names[i]);
        QCOMPARE(List(panel, "cxLVPredefinedMacros")->topLevelItemCount(), 17);
    }

    void hints() {
        TMailingMacroPanel panel;
        QCOMPARE(List(panel, "lvFieldMakros")->toolTip(), QStringLiteral("Empfänger-Makros"));
        QCOMPARE(List(panel, "lvFieldMakros")->statusTip(),
                 QStringLiteral("Felder des Emailempfängers die auf der Email verwendet werden können"));
        QCOMPARE(List(panel, "cxLVPredefinedMacros")->toolTip(), QStringLiteral("System-Makros"));
    }

    // The double click emits the shown form; the template stores the macro it names.
    void doubleClickInsertsTheShownForm_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("stored");
        QTest::newRow("day short") << "Aktueller Tag - kurz"
                                   << "%PRE_DAY3%";
        QTest::newRow("day long") << "Aktueller Tag - lang"
                                  << "%PRE_DAY4%";
    }
    void doubleClickInsertsTheShownForm() {
        QFETCH(QString, caption);
        QFETCH(QString, stored);
        Fixture f;
        TMailingMacroPanel panel;
        panel.RefreshMacroLists(f.List, hostapi::TDBFieldSchema::Instance());
        QPlainTextEdit memo;
        memo.setPlainText(QStringLiteral("Heute ist "));
        memo.moveCursor(QTextCursor::End);
        connect(&panel, &TMailingMacroPanel::MacroChosen, &memo,
                [&memo](const QString& AText) { InsertMacroText(memo, AText); });
        panel.resize(260, 500);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        DoubleClick(panel, List(panel, "cxLVPredefinedMacros"), caption);
        QCOMPARE(memo.toPlainText(), QStringLiteral("Heute ist [%1]").arg(caption));
        QCOMPARE(panel.Catalogue().ConvertMacroCaptions(memo.toPlainText(), false),
                 QStringLiteral("Heute ist ") + stored);
    }

    void listGroupsFollowTheList() {
        Fixture f;
        TMailingMacroPanel panel;
        panel.RefreshMacroLists(f.List, hostapi::TDBFieldSchema::Instance());
        QCOMPARE(Texts(List(panel, "lvUserMacros")), QStringList({"grußformel", "Straße des Hauses"}));
        QCOMPARE(Texts(List(panel, "lvSchemaMakros")), QStringList({"Region"}));
        QVERIFY(Texts(List(panel, "lvFieldMakros")).contains(QStringLiteral("E-Mail 1")));
        panel.ClearMacroLists();
        QCOMPARE(List(panel, "lvUserMacros")->topLevelItemCount(), 0);
        QCOMPARE(List(panel, "lvFieldMakros")->topLevelItemCount(), 0);
        QCOMPARE(List(panel, "cxLVPredefinedMacros")->topLevelItemCount(), 17);
    }

    void withoutListOnlySystemAndTextBlocks() {
        TMailingMacroPanel panel;
        panel.RefreshMacroLists(nullptr, hostapi::TDBFieldSchema::Instance());
        panel.SetTextBlocks({QStringLiteral("Gruß")});
        QCOMPARE(List(panel, "lvFieldMakros")->topLevelItemCount(), 0);
        QCOMPARE(List(panel, "lvSchemaMakros")->topLevelItemCount(), 0);
        QCOMPARE(List(panel, "lvUserMacros")->topLevelItemCount(), 0);
        QCOMPARE(List(panel, "cxLVPredefinedMacros")->topLevelItemCount(), 17);
        QCOMPARE(Texts(List(panel, "dblvTextBlockMacros")), QStringList({"Gruß"}));
    }

    void missingSchemaShowsNoListConf() {
        Fixture f(QStringLiteral("pelm_gibtesnicht"));
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(hostapi::mrOk);
        TMailingMacroPanel panel;
        panel.RefreshMacroLists(f.List, hostapi::TDBFieldSchema::Instance());
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions[0].Text,
                 QStringLiteral("Für die Verteilerliste wurde keine Datenquelle konfiguriert!"));
        QCOMPARE(dialogs.Questions[0].Type, hostapi::mtError);
        QCOMPARE(dialogs.Questions[0].Buttons, hostapi::TMsgDlgButtons(hostapi::mbOK));
        QCOMPARE(List(panel, "lvFieldMakros")->topLevelItemCount(), 0);
        QCOMPARE(List(panel, "lvUserMacros")->topLevelItemCount(), 2);
        QCOMPARE(List(panel, "lvSchemaMakros")->topLevelItemCount(), 1);
    }

    void dragsCarryTheShownForm_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("textBlock");
        QTest::newRow("predefined") << "cxLVPredefinedMacros"
                                    << "Aktueller Tag - kurz"
                                    << "[Aktueller Tag - kurz]" << false;
        QTest::newRow("list macro") << "lvUserMacros"
                                    << "Straße des Hauses"
                                    << "[Straße des Hauses]" << false;
        QTest::newRow("text block") << "dblvTextBlockMacros"
                                    << "Gruss"
                                    << "[TEXTBLOCK:GRUSS]" << true;
        QTest::newRow("text block with sharp s") << "dblvTextBlockMacros"
                                                 << "Gruß"
                                                 << "[TEXTBLOCK:GRUß]" << true;
    }
    void dragsCarryTheShownForm() {
        QFETCH(QString, list);
        QFETCH(QString, caption);
        QFETCH(QString, text);
        QFETCH(bool, textBlock);
        Fixture f;
        TMailingMacroPanel panel;
        panel.RefreshMacroLists(f.List, hostapi::TDBFieldSchema::Instance());
        panel.SetTextBlocks({QStringLiteral("Gruss"), QStringLiteral("Gruß")});
        QTreeWidget* source = List(panel, qPrintable(list));
        QVERIFY(source->dragEnabled());
        const std::unique_ptr<QMimeData> data = DragData(source, caption);
        QVERIFY(data);
        QCOMPARE(MacroDropText(data.get(), true), text);
        QCOMPARE(data->text(), text);
        QCOMPARE(data->hasFormat(TextBlockMimeType), textBlock);
    }

    // The panel's own drag data on the window's editors: a text block goes into the memo and is
    // refused on the subject, a macro goes onto the subject.
    void panelDragsOnEditors() {
        TMailingMacroPanel panel;
        panel.SetTextBlocks({QStringLiteral("Gruss")});
        QWidget window;
        auto* memo = new QPlainTextEdit(&window);
        auto* subject = new QLineEdit(&window);
        memo->setGeometry(0, 0, 300, 80);
        subject->setGeometry(0, 90, 300, 28);
        memo->setPlainText(QStringLiteral("Hallo"));
        subject->setText(QStringLiteral("Hallo"));
        TMailingEditorDrop::AttachMemo(*memo);
        TMailingEditorDrop::AttachLineEdit(*subject);
        window.resize(300, 120);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTreeWidget* blocks = List(panel, "dblvTextBlockMacros");
        QTreeWidget* system = List(panel, "cxLVPredefinedMacros");
        const QPoint subjectEnd(subject->width() - 3, subject->height() / 2);
        QVERIFY(!editortest::DragAndDrop(subject, subjectEnd, DragData(blocks, "Gruss").release()).DropAccepted);
        QCOMPARE(subject->text(), QStringLiteral("Hallo"));
        QVERIFY(editortest::DragAndDrop(memo->viewport(), editortest::PointOf(*memo, 5),
                                        DragData(blocks, "Gruss").release())
                    .DropAccepted);
        QCOMPARE(memo->toPlainText(), QStringLiteral("Hallo[TEXTBLOCK:GRUSS]"));
        QVERIFY(editortest::DragAndDrop(subject, subjectEnd, DragData(system, "Aktueller Tag - kurz").release())
                    .DropAccepted);
        QCOMPARE(subject->text(), QStringLiteral("Hallo[Aktueller Tag - kurz]"));
    }

    void macroSourceNeedsASelection() {
        TMailingMacroPanel panel;
        panel.SetTextBlocks({QStringLiteral("Gruß")});
        QTreeWidget* system = List(panel, "cxLVPredefinedMacros");
        QTreeWidget* blocks = List(panel, "dblvTextBlockMacros");
        QVERIFY(!panel.IsMacroSource(system, true));
        QVERIFY(panel.GetDragMacroText(system).isEmpty());
        system->setCurrentItem(ItemOf(system, QStringLiteral("Aktuelles Datum")));
        QVERIFY(panel.IsMacroSource(system, false));
        QCOMPARE(panel.GetDragMacroText(system->viewport()), QStringLiteral("[Aktuelles Datum]"));
        blocks->setCurrentItem(blocks->topLevelItem(0));
        QVERIFY(!panel.IsMacroSource(blocks, false));
        QVERIFY(panel.IsMacroSource(blocks, true));
        QCOMPARE(panel.GetDragMacroText(blocks), QStringLiteral("[TEXTBLOCK:GRUß]"));
        QVERIFY(!panel.IsMacroSource(&panel, true));
    }

    void disabledListsInsertNothing() {
        TMailingMacroPanel panel;
        QSignalSpy chosen(&panel, &TMailingMacroPanel::MacroChosen);
        panel.SetMacrosEnabled(false);
        panel.resize(260, 500);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QTreeWidget* system = List(panel, "cxLVPredefinedMacros");
        QVERIFY(!system->isEnabled());
        DoubleClick(panel, system, QStringLiteral("Aktuelles Datum"));
        QCOMPARE(chosen.count(), 0);
    }

    void grab_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("German") << "German";
        QTest::newRow("English") << "English";
    }
    void grab() {
        QFETCH(QString, language);
        Fixture f;
        TMailingMacroPanel panel;
        panel.SetLanguage(language);
        panel.RefreshMacroLists(f.List, hostapi::TDBFieldSchema::Instance());
        Find<QToolBox>(panel, "dxNavBarMacros")->setCurrentIndex(mgSystem);
        panel.resize(260, 480);
        QVERIFY(testsupport::SaveGrab(panel, QStringLiteral(QV_GRAB_DIR), language));
    }
};

QTEST_MAIN(tst_MailingMacroPanel)
#include "tst_MailingMacroPanel.moc"
