#pragma once

#include "HostApiExport.h"

#include <QDropEvent>
#include <QString>

#include <functional>

class QMimeData;
class QObject;

namespace hostapi {

// What an editor inserts for a drag that its owner handles (macros, text blocks): the owner's
// handler answers the text for the drag's source and data, or an empty text when it refuses the
// drag. Without a handler every drag is left to the editor's own text drop.
class HOSTAPI_EXPORT EditorDropTarget {
public:
    using TextHandler = std::function<QString(QObject* ASource, const QMimeData* AData)>;

    TextHandler Handler() const { return FHandler; }
    void SetHandler(TextHandler AHandler) { FHandler = std::move(AHandler); }

    enum class Verdict {
        Insert,  // the handler's text goes in at the mouse position
        Refuse,  // the editor is read-only, or the handler failed (its error is shown)
        Default, // no handler, or it answered no text: the editor's own text drop decides
    };
    // What to do with a drag or drop; AText receives the handler's text for Insert.
    Verdict Judge(const QDropEvent& AEvent, bool AReadOnly, QString& AText) const;

    // Handles a drag-enter, drag-move or drop event of a text edit (QTextEdit, QPlainTextEdit):
    // for Insert the edit takes the focus, its caret follows the mouse and a drop inserts the text
    // there; Refuse ignores the event. False for Default: the edit's own handler takes the event.
    template <class TEdit> bool Handle(TEdit& AEdit, QDropEvent* AEvent) const {
        QString text;
        switch (Judge(*AEvent, AEdit.isReadOnly(), text)) {
        case Verdict::Default:
            return false;
        case Verdict::Refuse:
            AEvent->ignore();
            return true;
        case Verdict::Insert:
            break;
        }
        AEvent->acceptProposedAction();
        if (!AEdit.hasFocus() && AEdit.focusPolicy() != Qt::NoFocus)
            AEdit.setFocus(Qt::OtherFocusReason);
        AEdit.setTextCursor(AEdit.cursorForPosition(AEvent->position().toPoint()));
        if (AEvent->type() == QEvent::Drop)
            AEdit.textCursor().insertText(text);
        return true;
    }

private:
    TextHandler FHandler;
};

} // namespace hostapi
