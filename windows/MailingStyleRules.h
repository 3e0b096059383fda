#pragma once

#include "EmailListItem.h"

#include <QString>
#include <QVariant>

#include <functional>

namespace emailmarketing {

// The mailing window's rules without its widgets: which editor pages and tabs a template's style
// shows, the subject caption, the SMS counter and notes, and which job actions are possible.
namespace MailingStyleRules {

// The style stored in "emailstyle": 0, 2, 3 and 4 are their styles, every other value (and none)
// is RTF.
TEmailStyle StyleOfValue(const QVariant& AValue);

// The pages of the editor page control, in their order.
enum TEditorPage : int { epPlainText = 0, epRTF = 1, epHTMLSource = 2, epHTML = 3 };

struct TStylePresentation {
    bool RTFPage = false;        // tbsRTF
    bool HTMLSourcePage = false; // tbsHTMLSource
    bool HTMLPage = false;       // tbsHTML
    bool RTFTextBlockPage = false;
    bool AttachementsTab = false;         // rbsAttachements
    bool InlineAttachementColumn = false; // gvAttachementIsInline
    bool ImportHTMLSourceAction = false;  // ractImportHTMLSource
    bool CharCountVisible = false;        // pnlCharCount
    bool CcBccEditable = false;           // edtRcptCC, edtRcptBCC while the template is editable
    QString SubjectLabelId;               // translation id of lblSubject
};
TStylePresentation Presentation(TEmailStyle AStyle);

bool PageVisible(TEmailStyle AStyle, TEditorPage APage);
// The editor page to show for the style: the first visible of HTML source, HTML and RTF; without
// one the current page stays when visible, else the plain text page.
TEditorPage ActivePage(TEmailStyle AStyle, TEditorPage ACurrent);

// The SMS counter: characters of the text and the messages they fill (160 characters each).
struct TCharCount {
    int Characters = 0;
    int Messages = 0;
};
TCharCount CharCount(const QString& AText);
// ATemplate with %1 the characters and %2 the messages.
QString CharCountText(const QString& ATemplate, const QString& AText);
// The note that the text alternative is made at send time: for the formatted styles while the
// text is empty.
bool AutoTextNoteVisible(TEmailStyle AStyle, const QString& AText);

// The job actions and the job tab for the template's list (-1: no template) and its job.
struct TActionState {
    bool ExportTemplate = false;
    bool SendingStart = false;
    bool PreviewSelected = false;
    bool SchedSending = false;
    bool SendingAbort = false;
    bool JobTabVisible = false;
};
TActionState ActionState(qint64 AListID, bool AHasJob);

// A template can be edited while one is shown and it has no job.
bool TemplateEditable(bool ATemplateShown, bool AHasJob);

// The pick list of "emailstyle": "0=<text>" ... "4=<text>" joined by CR LF, texts by their ids
// ("ES_PlainText", "ES_RTF", "ES_HTMLSource", "ES_SMS", "ES_HTML").
QString StylePickList(const std::function<QString(const QString& AId)>& AText);

} // namespace MailingStyleRules

} // namespace emailmarketing
