#include "MailingEditorDrop.h"

#include "EditorDropTarget.h"
#include "ExceptionDisplay.h"
#include "JvHLEditor.h"
#include "QV2RichEdit.h"
#include "QVException.h"
#include "VRNHtmlEditor.h"
#include "frmVRNCustomHTMLEditorControl.h"

#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>

namespace emailmarketing {

namespace {

// The text-memo rules through the host's drop target: macros and text blocks at the mouse.
hostapi::EditorDropTarget MemoTarget() {
    hostapi::EditorDropTarget target;
    target.SetHandler([](QObject*, const QMimeData* AData) { return MacroDropText(AData, true); });
    return target;
}

bool IsDragEvent(const QEvent* AEvent) {
    return AEvent->type() == QEvent::DragEnter || AEvent->type() == QEvent::DragMove ||
           AEvent->type() == QEvent::Drop;
}

void RequireEditable(bool AReadOnly) {
    if (AReadOnly)
        throw hostapi::EQVException(QStringLiteral("The text cannot be changed: the editor is read-only."));
}

} // namespace

QMimeData* MacroMimeData(const QString& AShownForm, bool ATextBlock) {
    auto* data = new QMimeData;
    data->setData(MacroMimeType, AShownForm.toUtf8());
    if (ATextBlock)
        data->setData(TextBlockMimeType, QByteArray("1"));
    data->setText(AShownForm);
    return data;
}

bool IsMacroDrag(const QMimeData* AData) {
    return AData && AData->hasFormat(MacroMimeType);
}

QString MacroDropText(const QMimeData* AData, bool ATextBlocksAllowed) {
    if (!IsMacroDrag(AData))
        return {};
    if (!ATextBlocksAllowed && AData->hasFormat(TextBlockMimeType))
        return {};
    return QString::fromUtf8(AData->data(MacroMimeType));
}

TMailingEditorDrop::TMailingEditorDrop(QWidget& AEditor, TTarget ATarget,
                                       std::function<void(QLineEdit&)> APost)
    : QObject(&AEditor), FEditor(AEditor), FTarget(ATarget), FPost(std::move(APost)) {}

void TMailingEditorDrop::AttachMemo(QPlainTextEdit& AMemo) {
    auto* filter = new TMailingEditorDrop(AMemo, TTarget::Memo, {});
    AMemo.viewport()->installEventFilter(filter);
}

void TMailingEditorDrop::AttachLineEdit(QLineEdit& AEdit, std::function<void(QLineEdit&)> APost) {
    auto* filter = new TMailingEditorDrop(AEdit, TTarget::LineEdit, std::move(APost));
    AEdit.installEventFilter(filter);
}

void TMailingEditorDrop::AttachRichEdit(hostapi::TQV2RichEdit& AEditor) {
    AEditor.DropTarget().SetHandler(
        [](QObject*, const QMimeData* AData) { return MacroDropText(AData, true); });
}

void TMailingEditorDrop::AttachSourceEditor(hostapi::TJvHLEditor& AEditor) {
    AEditor.DropTarget().SetHandler(
        [](QObject*, const QMimeData* AData) { return MacroDropText(AData, true); });
}

bool TMailingEditorDrop::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (!IsDragEvent(AEvent))
        return QObject::eventFilter(AWatched, AEvent);
    auto* drop = static_cast<QDropEvent*>(AEvent);
    if (FTarget == TTarget::Memo) {
        static const hostapi::EditorDropTarget target = MemoTarget();
        return target.Handle(static_cast<QPlainTextEdit&>(FEditor), drop);
    }
    return HandleLineEdit(static_cast<QLineEdit&>(FEditor), AEvent);
}

bool TMailingEditorDrop::HandleLineEdit(QLineEdit& AEdit, QEvent* AEvent) {
    auto* drop = static_cast<QDropEvent*>(AEvent);
    if (!IsMacroDrag(drop->mimeData()))
        return false;
    const QString text = MacroDropText(drop->mimeData(), false);
    if (text.isEmpty() || AEdit.isReadOnly()) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (!AEdit.hasFocus() && AEdit.focusPolicy() != Qt::NoFocus)
        AEdit.setFocus(Qt::OtherFocusReason);
    AEdit.setCursorPosition(AEdit.cursorPositionAt(drop->position().toPoint()));
    if (AEvent->type() == QEvent::Drop) {
        AEdit.insert(text);
        // The change handler's failure is shown; it never leaves the event handler.
        if (FPost)
            hostapi::TVRNExceptionUtils::Guarded([&] { FPost(AEdit); });
    }
    return true;
}

void InsertMacroText(QWidget& AEditor, const QString& AText) {
    if (auto* source = qobject_cast<hostapi::TJvHLEditor*>(&AEditor)) {
        source->InsertText(AText);
        source->setFocus(Qt::OtherFocusReason);
    } else if (auto* rich = qobject_cast<hostapi::TQV2RichEdit*>(&AEditor)) {
        rich->InsertText(AText);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(&AEditor)) {
        RequireEditable(memo->isReadOnly());
        memo->insertPlainText(AText);
    } else if (auto* edit = qobject_cast<QLineEdit*>(&AEditor)) {
        RequireEditable(edit->isReadOnly());
        edit->insert(AText);
    } else if (auto* html = qobject_cast<hostapi::TfrmVRNCustomHTMLEditorControl*>(&AEditor)) {
        html->Editor()->AddString(AText);
    } else {
        throw hostapi::EQVException(
            QStringLiteral("No macro can be inserted into %1.").arg(AEditor.objectName()));
    }
}

} // namespace emailmarketing
