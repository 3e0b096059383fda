#include "TemplateTreeActions.h"

#include "DataImportPlugin.h"
#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "QVException.h"
#include "TemplateCopy.h"
#include "TemplateXMLExchange.h"

#include <QDateTime>
#include <QFileInfo>
#include <QObject>

namespace emailmarketing {

namespace {
const QString FileFilter = QStringLiteral("EmailMarketing Vorlagen (*.emt)|*.emt");
}

TTemplateTreeActions::TTemplateTreeActions(TTemplateXMLExchange& AExchange, QObject* AContext,
                                           THasJobEvent AHasJob, TRefreshEvent ARefresh)
    : FLang(QStringLiteral("TemplateTreeActions")), FExchange(AExchange), FContext(AContext),
      FHasJob(std::move(AHasJob)), FRefresh(std::move(ARefresh)) {
    QV_ASSERT(AContext != nullptr);
}

qint64 TTemplateTreeActions::CopyRequest(qint64 ATemplateID, qint64 AStateID) {
    if (ATemplateID < 1)
        return -1;
    if (hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_ASKCCT")), hostapi::mtConfirmation,
                            hostapi::mbYes | hostapi::mbNo | hostapi::mbCancel) != hostapi::mrYes)
        return -1;
    const qint64 copyID = TTemplateCopy::CopyTemplate(ATemplateID, AStateID, QDateTime::currentDateTime());
    QueueRefresh(copyID);
    return copyID;
}

bool TTemplateTreeActions::CanDelete(const hostapi::TQVTreeNode& ANode) {
    if (ANode.Kind != hostapi::tnkContent || !FHasJob || !FHasJob(ANode.ID))
        return true;
    hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_DELJOB")), hostapi::mtError, hostapi::mbOK);
    return false;
}

bool TTemplateTreeActions::ExportTemplate(qint64 ATemplateID, const QString& AName) {
    if (ATemplateID < 1)
        return false;
    hostapi::TFileDialogOptions options;
    options.Caption = FLang.Text(QStringLiteral("IDS_EXPCAPTION"));
    options.Filter = FileFilter;
    options.DefaultName = AName + QStringLiteral(".emt");
    QString fileName;
    if (!hostapi::SaveFileDialog(options, fileName))
        return false;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".emt");
    FExchange.SaveTemplateToFile(fileName, ATemplateID, AName);
    return true;
}

bool TTemplateTreeActions::ImportTemplate() {
    hostapi::TFileDialogOptions options;
    options.Caption = FLang.Text(QStringLiteral("IDS_IMPCAPTION"));
    options.Filter = FileFilter;
    QString fileName;
    if (!hostapi::OpenFileDialog(options, fileName))
        return false;
    QString errorText;
    if (!FExchange.DataImportPlugin().ImportFile(fileName, errorText)) {
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_IMPFAIL")).arg(fileName, errorText),
                            hostapi::mtError, hostapi::mbOK);
        return false;
    }
    QueueRefresh(-1);
    return true;
}

void TTemplateTreeActions::TemplatesChanged(qint64 ATemplateID) {
    QueueRefresh(ATemplateID);
}

void TTemplateTreeActions::QueueRefresh(qint64 ATemplateID) {
    if (!FContext || !FRefresh)
        return;
    const TRefreshEvent refresh = FRefresh;
    QMetaObject::invokeMethod(
        FContext.data(),
        [refresh, ATemplateID] { hostapi::TVRNExceptionUtils::Guarded([&] { refresh(ATemplateID); }); },
        Qt::QueuedConnection);
}

} // namespace emailmarketing
