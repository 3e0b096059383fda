#include "MailingHtmlImport.h"

#include "DialogService.h"
#include "JvHLEditor.h"
#include "QV2RichEdit.h"
#include "QVException.h"
#include "VRNLang.h"
#include "frmVRNCustomHTMLEditorControl.h"

namespace emailmarketing {

bool ImportHtmlFile(QWidget& AEditor, const QString& ALangName) {
    hostapi::TVRNLang lang(QStringLiteral("MailingHtmlImport"));
    lang.SetLanguage(ALangName);
    auto* rich = qobject_cast<hostapi::TQV2RichEdit*>(&AEditor);
    auto* source = qobject_cast<hostapi::TJvHLEditor*>(&AEditor);
    auto* html = qobject_cast<hostapi::TfrmVRNCustomHTMLEditorControl*>(&AEditor);
    if (!rich && !source && !html)
        throw hostapi::EQVException(
            QStringLiteral("No HTML file can be imported into %1.").arg(AEditor.objectName()));
    if ((rich && rich->ReadOnly()) || (source && source->ReadOnly()) || (html && html->ReadOnly()))
        throw hostapi::EQVException(lang.Text(QStringLiteral("IDS_ReadOnly")));
    if (hostapi::MessageDlg(lang.Text(QStringLiteral("IDS_ASKOVETPLWHTMLF")), hostapi::mtConfirmation,
                            hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel) != hostapi::mrYes)
        return false;
    hostapi::TFileDialogOptions options;
    options.Caption = lang.Text(QStringLiteral("IDS_OpenHTMLFileDialog"));
    options.Filter = lang.Text(QStringLiteral("IDS_HTMLFileFilter"));
    QString fileName;
    if (!hostapi::OpenFileDialog(options, fileName))
        return false;
    if (rich)
        rich->LoadHtmlFromFile(fileName);
    else if (source)
        source->LoadFromFile(fileName);
    else
        html->LoadFromFile(fileName, true);
    return true;
}

} // namespace emailmarketing
