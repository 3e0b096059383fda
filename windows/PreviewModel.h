#pragma once

#include "BaseEmailSender.h"
#include "EmailAttachement.h"
#include "EmailDocument.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace hostapi {
class TVRNLang;
}

namespace emailmarketing {

// Which messages of a job a preview walks.
enum TEmailPreviewMode : int { epmAll = 0, epmFailed = 1, epmPreview = 2 };

// The preview window's logic without widgets: the list a mode walks, navigation, the texts of the
// header and the status bar, the shown HTML file and the export of it.
class PreviewModel {
public:
    // Messages of the mode's list; 0 without a job.
    static int MailCount(const TBaseEmailSender* AJob, TEmailPreviewMode AMode);
    static TEmailDocument* Mail(const TBaseEmailSender& AJob, TEmailPreviewMode AMode, int AIndex);

    struct TNavigation {
        bool First = false;
        bool Prev = false;
        bool Next = false;
        bool Last = false;
        bool operator==(const TNavigation&) const = default;
    };
    static TNavigation Navigation(int ACount, int ACurrent);

    // Text id of the empty state: IDS_LDP, IDS_WFPM or IDS_NOM. APreviewEnded: the window's wait for
    // the preview preparation has returned (a failed preparation prepares nothing more).
    static QString EmptyStateId(TEmailPreviewMode AMode, bool AHasJob, TJobStateSet AState, bool APreviewEnded);
    // The status of a shown message.
    static QString StatusText(const hostapi::TVRNLang& ALang, TEmailPreviewMode AMode,
                              TEmailDocumentStatus AStatus, const QString& AErrorText);
    // "Email 1 von 3" / "SMS 1 von 3".
    static QString CounterText(const hostapi::TVRNLang& ALang, bool ASms, int ACurrent, int ACount);
    // The characters of an SMS text (UTF-16 code units) and the parts it is split into.
    static QString CharCountText(const hostapi::TVRNLang& ALang, const QString& AText);
    static int SmsParts(int ACharacters);
    static QString RegisterServiceText(const hostapi::TVRNLang& ALang, bool AHasJob, TJobStateSet AState);

    // Whether a style has an HTML body to show.
    static bool HasHtml(TEmailStyle AStyle);
    // Content-id references in src and background attributes become file names relative to the
    // shown file (the inline files lie beside it).
    static QString RewriteContentIds(const QString& AHtml);
    // <folder>/<index>index.htm
    static QString PreviewFileName(const QString& ATempDirectory, int AIndex);
    // Writes AHtml as UTF-8 with a byte-order mark, creating the folder; raises EQVException with
    // the file name when it cannot.
    static void WritePreviewFile(const QString& AFileName, const QString& AHtml);

    struct TAttachmentRow {
        QString Name;      // the file's name in the message
        QString LocalFile; // where it lies
        bool operator==(const TAttachmentRow&) const = default;
    };
    static QList<TAttachmentRow> AttachmentRows(const TAttachementList& AList);

    // Save-dialog filter and default name for an attachment: "<.ext> Datei|*<.ext>"; no filter
    // for a file without extension.
    static QString SaveAsFilter(const QString& AName);

    struct TCopy {
        QString Source;
        QString Target;
    };
    // The copies of an export: the shown HTML file to ATarget, and every inline file into its folder.
    static QList<TCopy> ExportPlan(const QString& AHtmlFile, const QString& ATarget, const QStringList& AInlineFiles);
    // Targets of APlan other than AChosen that exist already (the user confirmed AChosen itself).
    static QStringList ReplacedFiles(const QList<TCopy>& APlan, const QString& AChosen);
    // Copies ASource to ATarget, replacing it; false when the copy failed.
    static bool CopyReplacing(const QString& ASource, const QString& ATarget);
};

} // namespace emailmarketing
