// The popup menu of the mailing window's text editors with a bare memo and RTF editor: its
// commands act on the editor it was opened from, Cut and Copy need a selection, and the text file
// commands go through the dialog service.

#include "FileUtils.h"
#include "HostDoubles.h"
#include "HostLibraries.h"
#include "MailingEditorPopupMenu.h"
#include "QV2RichEdit.h"
#include "VRNLang.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace emailmarketing;

namespace {

struct Editors {
    QWidget Window;
    QPlainTextEdit* MemoText = new QPlainTextEdit(&Window);
    hostapi::TQV2RichEdit* FQV2RichEdit = new hostapi::TQV2RichEdit(&Window);
    TMailingEditorPopupMenu* PopupMenu = new TMailingEditorPopupMenu(&Window);

    Editors() {
        MemoText->setGeometry(0, 0, 300, 100);
        FQV2RichEdit->setGeometry(0, 110, 300, 100);
        Window.resize(300, 220);
        MemoText->setPlainText(QStringLiteral("Memo"));
        FQV2RichEdit->LoadHtmlFromString(QStringLiteral("Hallo Welt"));
        PopupMenu->Attach(*MemoText);
        PopupMenu->Attach(*FQV2RichEdit);
    }

    QAction* Item(const char* AName) const {
        auto* action = PopupMenu->findChild<QAction*>(QString::fromLatin1(AName));
        if (!action)
            qFatal("PopupMenu has no item %s", AName);
        return action;
    }

    // Opens the menu in AEditor as a right click does.
    void OpenIn(QAbstractScrollArea* AEditor) const {
        const QPoint at(10, 10);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, AEditor->viewport()->mapToGlobal(at));
        QApplication::sendEvent(AEditor->viewport(), &event);
    }
};

template <class TEdit> void Select(TEdit& AEdit, int AFrom, int ATo) {
    QTextCursor cursor = AEdit.textCursor();
    cursor.setPosition(AFrom);
    cursor.setPosition(ATo, QTextCursor::KeepAnchor);
    AEdit.setTextCursor(cursor);
}

} // namespace

class tst_MailingEditorPopupMenu : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }
    void cleanup() { hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German")); }

    void pasteActsOnTheEditorItWasOpenedFrom() {
        Editors e;
        e.Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&e.Window));
        QApplication::clipboard()->setText(QStringLiteral("[Anrede] "));
        QTextCursor start = e.FQV2RichEdit->textCursor();
        start.setPosition(0);
        e.FQV2RichEdit->setTextCursor(start);
        e.OpenIn(e.FQV2RichEdit);
        QVERIFY(e.PopupMenu->isVisible());
        QCOMPARE(e.PopupMenu->Target(), e.FQV2RichEdit);
        e.Item("mnuPaste")->trigger();
        e.PopupMenu->close();
        QCOMPARE(e.FQV2RichEdit->PlainText(), QStringLiteral("[Anrede] Hallo Welt"));
        QCOMPARE(e.MemoText->toPlainText(), QStringLiteral("Memo"));
    }

    void cutAndCopyNeedASelection_data() {
        QTest::addColumn<bool>("rtf");
        QTest::addColumn<bool>("selection");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("cut");
        QTest::addColumn<bool>("copy");
        QTest::addColumn<bool>("paste");
        QTest::newRow("memo without selection") << false << false << false << false << false << true;
        QTest::newRow("memo with selection") << false << true << false << true << true << true;
        QTest::newRow("RTF without selection") << true << false << false << false << false << true;
        QTest::newRow("RTF with selection") << true << true << false << true << true << true;
        QTest::newRow("read-only memo copies only") << false << true << true << false << true << false;
    }
    void cutAndCopyNeedASelection() {
        QFETCH(bool, rtf);
        QFETCH(bool, selection);
        QFETCH(bool, readOnly);
        QFETCH(bool, cut);
        QFETCH(bool, copy);
        QFETCH(bool, paste);
        Editors e;
        e.MemoText->setReadOnly(readOnly);
        if (selection) {
            Select(*e.MemoText, 0, 2);
            Select(*e.FQV2RichEdit, 0, 2);
        }
        // The other editor has a selection: the menu asks the one it is opened from.
        if (!selection)
            rtf ? Select(*e.MemoText, 0, 2) : Select(*e.FQV2RichEdit, 0, 2);
        e.Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&e.Window));
        e.OpenIn(rtf ? static_cast<QAbstractScrollArea*>(e.FQV2RichEdit) : e.MemoText);
        QVERIFY(e.PopupMenu->isVisible());
        QCOMPARE(e.Item("mnuCut")->isEnabled(), cut);
        QCOMPARE(e.Item("mnuCopy")->isEnabled(), copy);
        QCOMPARE(e.Item("mnuPaste")->isEnabled(), paste);
        QCOMPARE(e.Item("mnuLoadFromFile")->isEnabled(), paste);
        e.PopupMenu->close();
    }

    // Cut, select all and undo change the memo only, when opened there.
    void editCommandsOnTheMemo() {
        Editors e;
        Select(*e.MemoText, 0, 2);
        e.PopupMenu->PopupMenuPopup(*e.MemoText);
        e.Item("mnuCut")->trigger();
        QCOMPARE(e.MemoText->toPlainText(), QStringLiteral("mo"));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Me"));
        e.Item("mnuUndo")->trigger();
        QCOMPARE(e.MemoText->toPlainText(), QStringLiteral("Memo"));
        e.Item("mnuSelAll")->trigger();
        QCOMPARE(e.MemoText->textCursor().selectedText(), QStringLiteral("Memo"));
        QVERIFY(!e.FQV2RichEdit->textCursor().hasSelection());
        e.Item("mnuCopy")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Memo"));
        QCOMPARE(e.FQV2RichEdit->PlainText(), QStringLiteral("Hallo Welt"));
    }

    void loadAndSaveTextFiles() {
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("text.txt"));
        hostapi::SaveTextFile(file, QStringLiteral("Grüße aus der Datei"));
        testsupport::ScriptedDialogService dialogs;
        Editors e;
        e.PopupMenu->PopupMenuPopup(*e.MemoText);
        dialogs.AddFileName(std::nullopt);
        e.Item("mnuLoadFromFile")->trigger();
        QCOMPARE(e.MemoText->toPlainText(), QStringLiteral("Memo"));
        dialogs.AddFileName(file);
        e.Item("mnuLoadFromFile")->trigger();
        QCOMPARE(e.MemoText->toPlainText(), QStringLiteral("Grüße aus der Datei"));
        QCOMPARE(e.FQV2RichEdit->PlainText(), QStringLiteral("Hallo Welt"));

        const QString saved = folder.filePath(QStringLiteral("rtf.txt"));
        e.PopupMenu->PopupMenuPopup(*e.FQV2RichEdit);
        dialogs.AddFileName(saved);
        e.Item("mnuSaveToFile")->trigger();
        QCOMPARE(hostapi::LoadTextFile(saved), QStringLiteral("Hallo Welt"));
        QCOMPARE(dialogs.FileDialogs.size(), 3);
        for (const auto& dialog : dialogs.FileDialogs)
            QCOMPARE(dialog.Options.Filter, QStringLiteral("Text Dateien (*.txt)|*.txt"));
        QVERIFY(!dialogs.FileDialogs[0].Save);
        QVERIFY(dialogs.FileDialogs[2].Save);
    }

    void captions_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("captions");
        QTest::newRow("German") << "German"
                                << QStringList{"&Rüchgängig",
                                               "&Ausschneiden",
                                               "&Kopieren",
                                               "&Einfügen",
                                               "Alles &markieren",
                                               "Text von &Datei laden...",
                                               "Text in Datei &speichern..."};
        QTest::newRow("English") << "English" << QStringList{"&Undo",
                                                             "Cu&t",
                                                             "&Copy",
                                                             "&Paste",
                                                             "Select &all",
                                                             "&Load text from file...",
                                                             "&Save text to file..."};
    }
    void captions() {
        QFETCH(QString, language);
        QFETCH(QStringList, captions);
        TMailingEditorPopupMenu menu;
        menu.SetLanguage(language);
        QStringList shown;
        int separators = 0;
        for (QAction* action : menu.actions()) {
            if (action->isSeparator())
                ++separators;
            else
                shown << action->text();
        }
        QCOMPARE(shown, captions);
        QCOMPARE(separators, 3);
    }
};

QTEST_MAIN(tst_MailingEditorPopupMenu)
#include "tst_MailingEditorPopupMenu.moc"
