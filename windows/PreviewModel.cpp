#include "PreviewModel.h"

#include "FileUtils.h"
#include "QVException.h"
#include "VRNLang.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace emailmarketing {

int PreviewModel::MailCount(const TBaseEmailSender* AJob, TEmailPreviewMode AMode) {
    if (!AJob)
        return 0;
    return AMode == epmFailed ? AJob->FailedMailsCount() : AJob->SendCount();
}

TEmailDocument* PreviewModel::Mail(const TBaseEmailSender& AJob, TEmailPreviewMode AMode, int AIndex) {
    return AMode == epmFailed ? AJob.GetFailedMails(AIndex) : AJob.GetSendMails(AIndex);
}

PreviewModel::TNavigation PreviewModel::Navigation(int ACount, int ACurrent) {
    TNavigation n;
    n.First = n.Prev = ACount > 0 && ACurrent > 0;
    n.Next = n.Last = ACount > 0 && ACurrent < ACount - 1;
    return n;
}

QString PreviewModel::EmptyStateId(TEmailPreviewMode AMode, bool AHasJob, TJobStateSet AState,
                                   bool APreviewEnded) {
    if (AHasJob && AMode == epmPreview && !AState.Contains(jsPreparedPreview) && !APreviewEnded)
        return QStringLiteral("IDS_LDP");
    if (AHasJob && AMode != epmPreview && AState.Contains(jsPreparing))
        return QStringLiteral("IDS_WFPM");
    return QStringLiteral("IDS_NOM");
}

QString PreviewModel::StatusText(const hostapi::TVRNLang& ALang, TEmailPreviewMode AMode,
                                 TEmailDocumentStatus AStatus, const QString& AErrorText) {
    if (AMode == epmPreview)
        return ALang.Text(QStringLiteral("IDS_PrepFPV"));
    switch (AStatus) {
    case esPrepared: return ALang.Text(QStringLiteral("IDS_NotSent"));
    case esSent: return ALang.Text(QStringLiteral("IDS_SuccSent"));
    case esSentError: return ALang.Text(QStringLiteral("IDS_SentError")).arg(AErrorText);
    }
    return QStringLiteral("Unknown or not implemented email status!");
}

QString PreviewModel::CounterText(const hostapi::TVRNLang& ALang, bool ASms, int ACurrent, int ACount) {
    return ALang.Text(ASms ? QStringLiteral("IDS_SMSNR") : QStringLiteral("IDS_EMNR")).arg(ACurrent + 1).arg(ACount);
}

int PreviewModel::SmsParts(int ACharacters) {
    return ACharacters <= 0 ? 0 : (ACharacters + 159) / 160;
}

QString PreviewModel::CharCountText(const hostapi::TVRNLang& ALang, const QString& AText) {
    const int n = int(AText.size());
    return ALang.Text(QStringLiteral("IDS_CHARCNT")).arg(QString::number(n), QString::number(SmsParts(n)));
}

QString PreviewModel::RegisterServiceText(const hostapi::TVRNLang& ALang, bool AHasJob, TJobStateSet AState) {
    if (!AHasJob)
        return QStringLiteral("n/a");
    if (AState.Contains(jsRegisterServiceFetching))
        return ALang.Text(QStringLiteral("IDS_RSFetching"));
    if (AState.Contains(jsRegisterServiceFetched))
        return ALang.Text(QStringLiteral("IDS_RSFetched"));
    return ALang.Text(QStringLiteral("IDS_RSNO"));
}

bool PreviewModel::HasHtml(TEmailStyle AStyle) {
    return AStyle == esRTFText || AStyle == esHTMLSource || AStyle == esHTML;
}

QString PreviewModel::RewriteContentIds(const QString& AHtml) {
    static const QRegularExpression cid(QStringLiteral("(src=\"|background=\")cid:"),
                                        QRegularExpression::CaseInsensitiveOption);
    QString html = AHtml;
    return html.replace(cid, QStringLiteral("\\1"));
}

QString PreviewModel::PreviewFileName(const QString& ATempDirectory, int AIndex) {
    return QDir(ATempDirectory).filePath(QString::number(AIndex) + QStringLiteral("index.htm"));
}

void PreviewModel::WritePreviewFile(const QString& AFileName, const QString& AHtml) {
    const QString folder = QFileInfo(AFileName).absolutePath();
    if (!QDir().mkpath(folder))
        throw hostapi::EQVException(QStringLiteral("The folder \"%1\" could not be created.").arg(folder));
    hostapi::SaveBinaryFile(AFileName, QByteArrayLiteral("\xEF\xBB\xBF") + AHtml.toUtf8());
}

QList<PreviewModel::TAttachmentRow> PreviewModel::AttachmentRows(const TAttachementList& AList) {
    QList<TAttachmentRow> rows;
    for (const TAttachementFile& file : AList.GetFileList())
        rows.append({file.FileName, file.LocalFile});
    return rows;
}

QString PreviewModel::SaveAsFilter(const QString& AName) {
    const QString suffix = QFileInfo(AName).suffix();
    if (suffix.isEmpty())
        return {};
    const QString ext = QLatin1Char('.') + suffix;
    return ext + QStringLiteral(" Datei|*") + ext;
}

QList<PreviewModel::TCopy> PreviewModel::ExportPlan(const QString& AHtmlFile, const QString& ATarget,
                                                    const QStringList& AInlineFiles) {
    QList<TCopy> plan{{AHtmlFile, ATarget}};
    const QDir folder = QFileInfo(ATarget).absoluteDir();
    for (const QString& file : AInlineFiles)
        plan.append({file, folder.filePath(QFileInfo(file).fileName())});
    return plan;
}

QStringList PreviewModel::ReplacedFiles(const QList<TCopy>& APlan, const QString& AChosen) {
    QStringList existing;
    const QString chosen = QFileInfo(AChosen).absoluteFilePath();
    for (const TCopy& copy : APlan) {
        const QFileInfo target(copy.Target);
        if (target.absoluteFilePath() != chosen && target.exists() && !existing.contains(target.fileName()))
            existing.append(target.fileName());
    }
    return existing;
}

bool PreviewModel::CopyReplacing(const QString& ASource, const QString& ATarget) {
    const QFileInfo source(ASource), target(ATarget);
    if (!source.isFile())
        return false;
    if (source.canonicalFilePath() == target.canonicalFilePath())
        return true; // already there
    if (target.exists() && !QFile::remove(ATarget))
        return false;
    return QFile::copy(ASource, ATarget);
}

} // namespace emailmarketing
