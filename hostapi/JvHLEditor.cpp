#include "JvHLEditor.h"

#include "HtmlFileDecoder.h"
#include "HtmlHighlighter.h"
#include "QVException.h"

#include <QFontDatabase>

namespace hostapi {

TJvHLEditor::TJvHLEditor(QWidget* AParent)
    : QPlainTextEdit(AParent), FHighlighter(new HtmlHighlighter(document())) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (FLoading == 0)
            emit changed();
    });
}

TJvHLEditor::~TJvHLEditor() = default;

void TJvHLEditor::SetText(const QString& AText) {
    ++FLoading;
    setPlainText(AText);
    --FLoading;
    document()->setModified(false);
}

void TJvHLEditor::LoadFromFile(const QString& APath) {
    SetText(LoadHtmlFile(APath));
}

int TJvHLEditor::PosFromMouse(const QPoint& APos) const {
    return cursorForPosition(APos).position();
}

void TJvHLEditor::SetCaretPos(int APosition) {
    QTextCursor cursor = textCursor();
    cursor.setPosition(std::clamp(APosition, 0, document()->characterCount() - 1));
    setTextCursor(cursor);
}

void TJvHLEditor::InsertText(const QString& AText) {
    if (isReadOnly())
        throw EQVException(QStringLiteral("The text cannot be changed: the editor is read-only."));
    textCursor().insertText(AText);
}

bool TJvHLEditor::Modified() const {
    return document()->isModified();
}

void TJvHLEditor::SetModified(bool AModified) {
    document()->setModified(AModified);
}

void TJvHLEditor::dragEnterEvent(QDragEnterEvent* AEvent) {
    if (!FDropTarget.Handle(*this, AEvent))
        QPlainTextEdit::dragEnterEvent(AEvent);
}

void TJvHLEditor::dragMoveEvent(QDragMoveEvent* AEvent) {
    if (!FDropTarget.Handle(*this, AEvent))
        QPlainTextEdit::dragMoveEvent(AEvent);
}

void TJvHLEditor::dropEvent(QDropEvent* AEvent) {
    if (!FDropTarget.Handle(*this, AEvent))
        QPlainTextEdit::dropEvent(AEvent);
}

} // namespace hostapi
