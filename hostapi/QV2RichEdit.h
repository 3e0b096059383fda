#pragma once

#include "EditorDropTarget.h"
#include "HostApiExport.h"

#include <QTextEdit>

namespace hostapi {

class RichTextDocument;

// The host's rich-text editor: edits one document that is stored as RTF. It loads RTF and HTML
// (files and texts, with their pictures), writes RTF, HTML with its pictures as files, and plain
// text. Nothing is loaded from outside the text and the named image folder.
//
// changed() is emitted for every edit by the user or by InsertText, not for the loads, which also
// clear the modified flag.
class HOSTAPI_EXPORT TQV2RichEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit TQV2RichEdit(QWidget* AParent = nullptr);
    ~TQV2RichEdit() override;

    QString RtfText() const;
    // Empty: the editor is cleared. Text that is not RTF raises EQVException and leaves the editor
    // as it was.
    void SetRtfText(const QString& ARtf);
    // HTML text; images whose source is a plain file name of a file in AImageFolder are embedded,
    // "%IMAGEPATH%" is removed.
    void LoadHtmlFromString(const QString& AHtml, const QString& AImageFolder = QString());
    // An HTML file (its character set as DecodeHtmlBytes reads it) with the pictures below its
    // folder (LocalHtmlImage); other image sources are left out.
    void LoadHtmlFromFile(const QString& APath);
    // Writes the document as "_index.html" with its pictures into AFolder (created when missing);
    // answers the HTML.
    QString SaveHtmlToFolder(const QString& AFolder) const;
    // Writes the plain text as "_textbody.txt" into AFolder (created when missing); answers it.
    QString SaveTextToFolder(const QString& AFolder) const;
    QString PlainText() const;

    // Inserts plain text at the caret (replacing the selection). Raises EQVException when the
    // editor is read-only.
    void InsertText(const QString& AText);
    // Moves the caret to the character under APos (viewport coordinates) and clears the selection.
    void SetCursorTo(const QPoint& APos);

    bool Modified() const;
    void SetModified(bool AModified);
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool AReadOnly) { setReadOnly(AReadOnly); }

    // Drags the owner handles (macros, text blocks): while dragging the editor takes the focus and
    // the caret follows the mouse; the drop inserts the handler's text there.
    EditorDropTarget& DropTarget() { return FDropTarget; }

signals:
    void changed();

protected:
    void dragEnterEvent(QDragEnterEvent* AEvent) override;
    void dragMoveEvent(QDragMoveEvent* AEvent) override;
    void dropEvent(QDropEvent* AEvent) override;

private:
    // Replaces the content with the document that ALoad fills, as one load.
    template <class F> void Load(F ALoad);

    RichTextDocument* FDocument;
    EditorDropTarget FDropTarget;
    int FLoading = 0;
};

} // namespace hostapi
