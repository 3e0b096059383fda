#pragma once

#include <QString>

class QWidget;

namespace emailmarketing {

// "HTML-Datei..." of the mailing window (`ractImportHTMLSourceExecute`) for the editor of the
// template's style: the RTF editor (TQV2RichEdit), the HTML source (TJvHLEditor) or the HTML
// editor (TfrmVRNCustomHTMLEditorControl, with its pictures). Asks IDS_ASKOVETPLWHTMLF with Yes,
// No and Cancel; only Yes goes on to the file dialog, and a chosen file replaces the editor's
// content, read in the character set its byte order mark or <meta> tag names. True when a file
// was loaded: the window then marks the template changed. A read-only editor raises EQVException
// before anything is asked; so does a file that cannot be read, leaving the editor as it was.
bool ImportHtmlFile(QWidget& AEditor, const QString& ALangName);

} // namespace emailmarketing
