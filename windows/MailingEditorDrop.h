#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QWidget;

namespace hostapi {
class TJvHLEditor;
class TQV2RichEdit;
class TfrmVRNCustomHTMLEditorControl;
} // namespace hostapi

namespace emailmarketing {

// Drags of the mailing window's macro panel carry the shown form under MacroMimeType, a text
// block's drag also TextBlockMimeType, and the shown form as plain text for other programs.
inline const QString MacroMimeType = QStringLiteral("application/x-qv-mailing-macro");
inline const QString TextBlockMimeType = QStringLiteral("application/x-qv-mailing-textblock");

QMimeData* MacroMimeData(const QString& AShownForm, bool ATextBlock);

// The text that a drop of AData inserts: the shown form of a drag of the macro panel; empty for a
// drag of anything else and, unless ATextBlocksAllowed, for a text block.
QString MacroDropText(const QMimeData* AData, bool ATextBlocksAllowed);
// Whether AData comes from the macro panel.
bool IsMacroDrag(const QMimeData* AData);

// The drop rules of the mailing window's editors. The text memo, the RTF editor and the HTML
// source take macros and text blocks; the subject, CC and BCC edits take macros only and refuse
// text blocks. While a macro is dragged over an editor it takes the focus and its caret follows
// the mouse; the drop inserts the text there. Drags that are not the panel's are left to the
// editor's own handling.
class TMailingEditorDrop : public QObject {
    Q_OBJECT
public:
    // The text memo (its viewport receives the drags).
    static void AttachMemo(QPlainTextEdit& AMemo);
    // A one-line edit; after a drop the text replaces its selection and APost runs (the edit's
    // value is posted, which runs its change handler).
    static void AttachLineEdit(QLineEdit& AEdit, std::function<void(QLineEdit&)> APost = {});
    static void AttachRichEdit(hostapi::TQV2RichEdit& AEditor);
    static void AttachSourceEditor(hostapi::TJvHLEditor& AEditor);

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
    enum class TTarget { Memo, LineEdit };
    TMailingEditorDrop(QWidget& AEditor, TTarget ATarget, std::function<void(QLineEdit&)> APost);
    bool HandleLineEdit(QLineEdit& AEdit, QEvent* AEvent);

    QWidget& FEditor;
    TTarget FTarget;
    std::function<void(QLineEdit&)> FPost;
};

// Inserts AText into AEditor as the mailing window's double click does: the memo and the one-line
// edits replace their selection, the RTF editor inserts at its caret, the HTML source inserts at
// its caret and takes the focus, the HTML editor appends it. Read-only editors raise EQVException.
void InsertMacroText(QWidget& AEditor, const QString& AText);

} // namespace emailmarketing
