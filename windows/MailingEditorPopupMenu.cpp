#include "MailingEditorPopupMenu.h"

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "FileUtils.h"
#include "QVException.h"

#include <QPlainTextEdit>
#include <QTextEdit>

namespace emailmarketing {

namespace {

const QString TextFileFilter = QStringLiteral("Text Dateien (*.txt)|*.txt");

} // namespace

TMailingEditorPopupMenu::TMailingEditorPopupMenu(QWidget* AParent)
    : QMenu(AParent), FLang(QStringLiteral("MailingEditorPopupMenu")) {
    setObjectName(QStringLiteral("PopupMenu"));
    mnuUndo = AddItem("mnuUndo", &TMailingEditorPopupMenu::mnuUndoClick);
    addSeparator()->setObjectName(QStringLiteral("N1"));
    mnuCut = AddItem("mnuCut", &TMailingEditorPopupMenu::mnuCutClick);
    mnuCopy = AddItem("mnuCopy", &TMailingEditorPopupMenu::mnuCopyClick);
    mnuPaste = AddItem("mnuPaste", &TMailingEditorPopupMenu::mnuPasteClick);
    addSeparator()->setObjectName(QStringLiteral("N2"));
    mnuSelAll = AddItem("mnuSelAll", &TMailingEditorPopupMenu::mnuSelAllClick);
    addSeparator()->setObjectName(QStringLiteral("N3"));
    mnuLoadFromFile = AddItem("mnuLoadFromFile", &TMailingEditorPopupMenu::mnuLoadFromFileClick);
    mnuSaveToFile = AddItem("mnuSaveToFile", &TMailingEditorPopupMenu::mnuSaveToFileClick);
    ApplyLanguage();
}

TMailingEditorPopupMenu::~TMailingEditorPopupMenu() = default;

QAction* TMailingEditorPopupMenu::AddItem(const char* AName, void (TMailingEditorPopupMenu::*AHandler)()) {
    QAction* action = addAction(QString());
    action->setObjectName(QString::fromLatin1(AName));
    connect(action, &QAction::triggered, this,
            [this, AHandler] { hostapi::TVRNExceptionUtils::Guarded([&] { (this->*AHandler)(); }); });
    return action;
}

void TMailingEditorPopupMenu::Attach(QPlainTextEdit& AEditor) {
    AEditor.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&AEditor, &QWidget::customContextMenuRequested, this,
            [this, editor = &AEditor](const QPoint& APos) {
                OpenFor(*editor, editor->viewport()->mapToGlobal(APos));
            });
}

void TMailingEditorPopupMenu::Attach(QTextEdit& AEditor) {
    AEditor.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&AEditor, &QWidget::customContextMenuRequested, this,
            [this, editor = &AEditor](const QPoint& APos) {
                OpenFor(*editor, editor->viewport()->mapToGlobal(APos));
            });
}

void TMailingEditorPopupMenu::OpenFor(QWidget& AEditor, const QPoint& AGlobalPos) {
    PopupMenuPopup(AEditor);
    popup(AGlobalPos);
}

template <class F> void TMailingEditorPopupMenu::WithTarget(F AAction) {
    if (auto* plain = qobject_cast<QPlainTextEdit*>(FTarget.data()))
        AAction(*plain);
    else if (auto* rich = qobject_cast<QTextEdit*>(FTarget.data()))
        AAction(*rich);
    else
        throw hostapi::EQVException(QStringLiteral("The menu was not opened from a text editor."));
}

void TMailingEditorPopupMenu::PopupMenuPopup(QWidget& AEditor) {
    FTarget = &AEditor;
    WithTarget([this](auto& AEdit) {
        const bool selection = AEdit.textCursor().hasSelection();
        const bool editable = !AEdit.isReadOnly();
        mnuUndo->setEnabled(editable);
        mnuCut->setEnabled(selection && editable);
        mnuCopy->setEnabled(selection);
        mnuPaste->setEnabled(editable);
        mnuLoadFromFile->setEnabled(editable);
    });
}

void TMailingEditorPopupMenu::mnuUndoClick() {
    WithTarget([](auto& AEdit) { AEdit.undo(); });
}

void TMailingEditorPopupMenu::mnuCutClick() {
    WithTarget([](auto& AEdit) { AEdit.cut(); });
}

void TMailingEditorPopupMenu::mnuCopyClick() {
    WithTarget([](auto& AEdit) { AEdit.copy(); });
}

void TMailingEditorPopupMenu::mnuPasteClick() {
    WithTarget([](auto& AEdit) { AEdit.paste(); });
}

void TMailingEditorPopupMenu::mnuSelAllClick() {
    WithTarget([](auto& AEdit) { AEdit.selectAll(); });
}

void TMailingEditorPopupMenu::mnuLoadFromFileClick() {
    WithTarget([this](auto& AEdit) {
        if (AEdit.isReadOnly())
            throw hostapi::EQVException(FLang.Text(QStringLiteral("IDS_ReadOnly")));
        hostapi::TFileDialogOptions options;
        options.Filter = TextFileFilter;
        QString fileName;
        if (!hostapi::OpenFileDialog(options, fileName))
            return;
        AEdit.setPlainText(hostapi::LoadTextFile(fileName));
    });
}

void TMailingEditorPopupMenu::mnuSaveToFileClick() {
    WithTarget([](auto& AEdit) {
        hostapi::TFileDialogOptions options;
        options.Filter = TextFileFilter;
        QString fileName;
        if (!hostapi::SaveFileDialog(options, fileName))
            return;
        hostapi::SaveTextFile(fileName, AEdit.toPlainText());
    });
}

void TMailingEditorPopupMenu::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    ApplyLanguage();
}

void TMailingEditorPopupMenu::ApplyLanguage() {
    for (QAction* action : actions())
        if (!action->isSeparator())
            action->setText(FLang.Text(QStringLiteral("IDS_") + action->objectName()));
}

} // namespace emailmarketing
