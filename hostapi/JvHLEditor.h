#pragma once

#include "EditorDropTarget.h"
#include "HostApiExport.h"

#include <QPlainTextEdit>

namespace hostapi {

class HtmlHighlighter;

// The host's HTML source editor: plain text in a fixed-pitch font, coloured by HtmlHighlighter.
//
// changed() is emitted for every edit by the user or by InsertText, not for SetText and
// LoadFromFile, which also clear the modified flag.
class HOSTAPI_EXPORT TJvHLEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TJvHLEditor(QWidget* AParent = nullptr);
    ~TJvHLEditor() override;

    QString Text() const { return toPlainText(); }
    void SetText(const QString& AText);
    // An HTML file in the character set its byte order mark or <meta> tag names (DecodeHtmlBytes).
    void LoadFromFile(const QString& APath);

    // Position in the text of the character under APos (viewport coordinates).
    int PosFromMouse(const QPoint& APos) const;
    int CaretPos() const { return textCursor().position(); }
    // Moves the caret to APosition (clamped to the text) and clears the selection.
    void SetCaretPos(int APosition);
    // Inserts AText at the caret (replacing the selection). Raises EQVException when the editor is
    // read-only.
    void InsertText(const QString& AText);

    bool Modified() const;
    void SetModified(bool AModified);
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool AReadOnly) { setReadOnly(AReadOnly); }

    // Drags the owner handles (macros, text blocks): focus and caret follow the mouse, the drop
    // inserts the handler's text there.
    EditorDropTarget& DropTarget() { return FDropTarget; }
    HtmlHighlighter& Highlighter() { return *FHighlighter; }

signals:
    void changed();

protected:
    void dragEnterEvent(QDragEnterEvent* AEvent) override;
    void dragMoveEvent(QDragMoveEvent* AEvent) override;
    void dropEvent(QDropEvent* AEvent) override;

private:
    HtmlHighlighter* FHighlighter;
    EditorDropTarget FDropTarget;
    int FLoading = 0;
};

} // namespace hostapi
