#pragma once

#include "VRNLang.h"

#include <QMenu>
#include <QPointer>

class QAction;
class QPlainTextEdit;
class QTextEdit;

namespace emailmarketing {

// The popup menu `PopupMenu` of the mailing window's text editors (the text memo, the RTF
// editor): undo, cut, copy, paste, select all, load the text from a file and save it to one. Its
// commands act on the editor it was opened from. Cut and Copy are enabled only while that editor
// has a selection; the commands that change the text only while it is editable.
class TMailingEditorPopupMenu : public QMenu {
    Q_OBJECT
public:
    explicit TMailingEditorPopupMenu(QWidget* AParent = nullptr);
    ~TMailingEditorPopupMenu() override;

    // The editor's context menu becomes this menu.
    void Attach(QPlainTextEdit& AEditor);
    void Attach(QTextEdit& AEditor);

    // The editor the menu was last opened from.
    QWidget* Target() const { return FTarget; }
    // Prepares the menu for AEditor (an attached editor), as opening it does.
    void PopupMenuPopup(QWidget& AEditor);

    void mnuUndoClick();
    void mnuCutClick();
    void mnuCopyClick();
    void mnuPasteClick();
    void mnuSelAllClick();
    // "Text Dateien (*.txt)|*.txt" through the dialog service; the file replaces the editor's text.
    void mnuLoadFromFileClick();
    // The editor's text into the chosen file (UTF-8).
    void mnuSaveToFileClick();

    QString Language() const { return FLang.Language(); }
    void SetLanguage(const QString& ALangName);

private:
    QAction* AddItem(const char* AName, void (TMailingEditorPopupMenu::*AHandler)());
    void ApplyLanguage();
    void OpenFor(QWidget& AEditor, const QPoint& AGlobalPos);
    template <class F> void WithTarget(F AAction);

    hostapi::TVRNLang FLang;
    QPointer<QWidget> FTarget;
    QAction* mnuUndo;
    QAction* mnuCut;
    QAction* mnuCopy;
    QAction* mnuPaste;
    QAction* mnuSelAll;
    QAction* mnuLoadFromFile;
    QAction* mnuSaveToFile;
};

} // namespace emailmarketing
