#include "TemplateXMLExchange.h"

#include "DataImportPlugin.h"
#include "FileUtils.h"
#include "ProgressService.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "VRNLang.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QThread>

namespace emailmarketing {

namespace {

const QString RefSuffix = QStringLiteral("--ref");

bool OnMainThread() {
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// A progress entry of the host, opened only on the main thread (elsewhere the handle stays -1).
class ScopedProgress {
public:
    explicit ScopedProgress(const QString& ACaption)
        : FHandle(OnMainThread() ? hostapi::ProgressService::Current().OpenProgress(ACaption) : -1) {}
    ~ScopedProgress() {
        if (FHandle >= 0)
            hostapi::ProgressService::Current().CloseProgress(FHandle);
    }
    ScopedProgress(const ScopedProgress&) = delete;
    ScopedProgress& operator=(const ScopedProgress&) = delete;
    int Handle() const { return FHandle; }

private:
    int FHandle;
};

} // namespace

TTemplateXMLExchange::TTemplateXMLExchange(const hostapi::TVRNLang& ALang,
                                           TTemplatesChangedEvent AOnTemplatesChanged)
    : FLang(ALang), FOnTemplatesChanged(std::move(AOnTemplatesChanged)),
      FDataImportPlugin(std::make_unique<hostapi::TDataImportPlugin>()) {
    FContainer.setObjectName(QStringLiteral("QVXMLImportContainer"));
    FContainer.AddPart(QLatin1String(PartId), QStringLiteral("Email-Vorlage"), true, false);
    FContainer.OnBeginPart = [this](hostapi::TQVXMLImportContainer*, const hostapi::TQVXMLImportPart& APart,
                                    hostapi::TQVXMLImportProcessor& AProcessor,
                                    const hostapi::TQVXMLElement& AData, hostapi::TXMLImportContext&) {
        QVXMLImportContainerBeginPart(APart, AProcessor, AData);
    };
    FContainer.OnImportData = [this](hostapi::TQVXMLImportContainer*, const hostapi::TQVXMLImportPart&,
                                     const QString& AName, const hostapi::TQVXMLElement& AData,
                                     hostapi::TXMLImportContext&) {
        QVXMLImportContainerImportData(AName, AData);
    };
    FContainer.OnEndPart = [this](hostapi::TQVXMLImportContainer*, const hostapi::TQVXMLImportPart&,
                                  hostapi::TQVXMLImportProcessor&,
                                  hostapi::TXMLImportContext&) { QVXMLImportContainerEndPart(); };
    FContainer.OnExportData = [this](hostapi::TQVXMLImportContainer*, const hostapi::TQVXMLImportPart& APart,
                                     hostapi::TQVXMLWriter& AWriter) {
        QVXMLImportContainerExportData(APart, AWriter);
    };
}

TTemplateXMLExchange::~TTemplateXMLExchange() = default;

void TTemplateXMLExchange::SetDataImportPlugin(std::unique_ptr<hostapi::TDataImportPlugin> APlugin) {
    QV_ASSERT(APlugin != nullptr);
    FDataImportPlugin = std::move(APlugin);
}

namespace {

// The three item types: item element, exchange view, identifier attribute, matching field, caption
// id, and the field that names the template (empty for the template itself).
struct TItemType {
    const char* Item;
    const char* Schema;
    const char* IdentAttribute;
    const char* MatchField;
    const char* CaptionId;
    const char* TemplateField;
};

constexpr TItemType ItemTypes[] = {
    {TTemplateXMLExchange::TemplateItem, "emtemplates_qvxml", "em_emailtemplate_ident", "name",
     "IDS_XMLTMPLIMP", ""},
    {TTemplateXMLExchange::TextBlockItem, "emltextblocks_qvxml", "em_emailtextblock_ident", "descr",
     "IDS_XMLTBIMP", "emtemplateid"},
    // The text-block caption serves the embedded contents too.
    {TTemplateXMLExchange::ContentItem, "emlembededcontent_qvxml", "em_emailembcontent_ident",
     "contentfilename", "IDS_XMLTBIMP", "emltemplateid"},
};

// Every item of a file is a record of its own; blocks and contents belong to a template of the file
// or a stored one.
hostapi::TQVXMLRecordTarget TargetOf(const TItemType& AType) {
    hostapi::TQVXMLRecordTarget target{QLatin1String(AType.Item), QLatin1String(AType.Schema),
                                       QLatin1String(TTemplateXMLExchange::SourceAttribute),
                                       QLatin1String(AType.IdentAttribute), QLatin1String(AType.MatchField)};
    target.DistinctItems = true;
    target.ParentField = QLatin1String(AType.TemplateField);
    if (!target.ParentField.isEmpty())
        target.ParentItemType = QLatin1String(TTemplateXMLExchange::TemplateItem);
    return target;
}

} // namespace

void TTemplateXMLExchange::QVXMLImportContainerBeginPart(const hostapi::TQVXMLImportPart& APart,
                                                         hostapi::TQVXMLImportProcessor& AXMLProcessor,
                                                         const hostapi::TQVXMLElement& AData) {
    QList<hostapi::TQVXMLRecordTarget> targets;
    for (const TItemType& type : ItemTypes)
        targets << TargetOf(type);
    FXMLImportProcessor.BeginPart(AXMLProcessor, AData, FLang.Text(QStringLiteral("QVX_") + APart.Id),
                                  targets);
}

void TTemplateXMLExchange::QVXMLImportContainerImportData(const QString& AName,
                                                          const hostapi::TQVXMLElement& AData) {
    for (const TItemType& type : ItemTypes) {
        if (AName != QLatin1String(type.Item))
            continue;
        const hostapi::TQVXMLRecordTarget target = TargetOf(type);
        const QString caption = FLang.Text(QLatin1String(type.CaptionId));
        if (AName == QLatin1String(TemplateItem) &&
            TEmailMarketingXMLImportProcessor::ItemValue(AData, target.MatchField).trimmed().isEmpty())
            throw hostapi::EQVException(
                TEmailMarketingXMLImportProcessor::ItemCaption(AData, target.MatchField, caption) +
                QStringLiteral(": ") + FLang.Text(QStringLiteral("IDS_XMLNONAME")));
        if (AName == QLatin1String(ContentItem)) {
            // The file name becomes a file in a job's folder: only a plain name is taken.
            if (!hostapi::IsPlainFileName(
                    TEmailMarketingXMLImportProcessor::ItemValue(AData, target.MatchField)))
                throw hostapi::EQVException(
                    TEmailMarketingXMLImportProcessor::ItemCaption(AData, target.MatchField, caption) +
                    QStringLiteral(": ") + FLang.Text(QStringLiteral("IDS_XMLBADFILENAME")));
        }
        FXMLImportProcessor.ImportData(AData, target, caption);
        return;
    }
    throw hostapi::EQVException(QStringLiteral("Unknown XML-Import-Part item: '") + AName +
                                QStringLiteral("'!"));
}

void TTemplateXMLExchange::QVXMLImportContainerEndPart() {
    const auto end = qScopeGuard([this] { FXMLImportProcessor.EndPart(); });
    if (OnMainThread() && FOnTemplatesChanged) {
        qint64 lastInsertID = FXMLImportProcessor.LastInsertID(QLatin1String(TemplateItem));
        FOnTemplatesChanged(lastInsertID);
    }
}

void TTemplateXMLExchange::QVXMLImportContainerExportData(const hostapi::TQVXMLImportPart& APart,
                                                          hostapi::TQVXMLWriter& AWriter) {
    if (FContainer.Parts().value(0).Id != APart.Id)
        return;
    const ScopedProgress progress(FLang.Text(QStringLiteral("IDS_XMLEXPTMPL")));
    hostapi::TQVRecordSet templates(QStringLiteral("emtemplates_qvxml"));
    templates.SetOptions(hostapi::rsoReadOnly);
    const qint64 templateDBID = AWriter.Settings().IntegerParam(QLatin1String(TemplateDBIDParam));
    if (templateDBID >= 0)
        templates.Filters().Add(QStringLiteral("id"), templateDBID);
    else if (AWriter.Settings().OwnRecordsOnly)
        templates.Filters().Add(QStringLiteral("impsource"), QString());
    templates.Open();
    if (templateDBID >= 0 && templates.RecordCount() == 0) // deleted meanwhile: no empty file
        throw hostapi::EQVException(FLang.Text(QStringLiteral("IDS_XMLTMPLMISSING")).arg(templateDBID));
    hostapi::TQVXMLRecordWriteOptions options;
    options.ItemName = QLatin1String(TemplateItem);
    options.SourceAttribute = QLatin1String(SourceAttribute);
    options.IdentAttribute = QLatin1String(ItemTypes[0].IdentAttribute);
    options.ProgressHandle = progress.Handle();
    hostapi::TQVXMLRecordWriter::WriteRecords(
        AWriter, templates, options,
        [this](hostapi::TQVRecordSet& ARecords, int, hostapi::TQVXMLWriter& AItemWriter,
               hostapi::TXMLCallBackType AType) {
            if (AType == hostapi::xcbAfterItem)
                ExportTemplateChildren(ARecords.RecordID(), AItemWriter);
        });
}

void TTemplateXMLExchange::ExportTemplateChildren(qint64 ATemplateID, hostapi::TQVXMLWriter& AWriter) {
    const ScopedProgress progress(FLang.Text(QStringLiteral("IDS_XMLEXPTB")));
    ExportChildren(
        QLatin1String(ItemTypes[1].Schema), QStringLiteral("emtemplateid"), ATemplateID,
        QLatin1String(TextBlockItem), QLatin1String(ItemTypes[1].IdentAttribute),
        [](const hostapi::TQVRecordSet& ARecords, hostapi::TQVXMLItem& AItem) {
            AItem.AddAttribute(QStringLiteral("descr"),
                               ARecords.FieldValue(QStringLiteral("descr")).toString());
            AItem.AddElement(QStringLiteral("body"), ARecords.FieldValue(QStringLiteral("body")).toString());
            AItem.AddElement(QStringLiteral("bodyhtml"),
                             ARecords.FieldValue(QStringLiteral("bodyhtml")).toString());
        },
        AWriter, progress.Handle());
    ExportChildren(
        QLatin1String(ItemTypes[2].Schema), QStringLiteral("emltemplateid"), ATemplateID,
        QLatin1String(ContentItem), QLatin1String(ItemTypes[2].IdentAttribute),
        [](const hostapi::TQVRecordSet& ARecords, hostapi::TQVXMLItem& AItem) {
            AItem.AddAttribute(QStringLiteral("contentfilename"),
                               ARecords.FieldValue(QStringLiteral("contentfilename")).toString());
            AItem.AddElement(
                QStringLiteral("contentdata"),
                QString::fromLatin1(
                    ARecords.FieldValue(QStringLiteral("contentdata")).toByteArray().toBase64()));
        },
        AWriter, progress.Handle());
}

void TTemplateXMLExchange::ExportChildren(
    const QString& ASchema, const QString& ATemplateField, qint64 ATemplateID, const QString& AItemName,
    const QString& AIdentAttribute,
    const std::function<void(const hostapi::TQVRecordSet&, hostapi::TQVXMLItem&)>& AFill,
    hostapi::TQVXMLWriter& AWriter, int AProgress) {
    hostapi::TQVRecordSet records(ASchema);
    records.SetOptions(hostapi::rsoReadOnly);
    records.Filters().Add(ATemplateField, ATemplateID);
    if (AWriter.Settings().OwnRecordsOnly)
        records.Filters().Add(QStringLiteral("impsource"), QString());
    records.Open();
    const QString templateIdent =
        hostapi::TQVXMLRecordWriter::GlobalRecordID(QLatin1String(ItemTypes[0].Schema), ATemplateID);
    hostapi::TQVXMLItem item;
    for (records.First(); !records.Eof(); records.Next()) {
        if (AProgress >= 0 && records.RecNo() % 100 == 0)
            hostapi::ProgressService::Current().UpdateProgress(
                AProgress, records.RecNo(), records.RecordCount(), QString::number(records.RecNo()));
        item.Clear();
        item.Name = AItemName;
        item.AddAttribute(QLatin1String(SourceAttribute), AWriter.SourceIdent());
        item.AddAttribute(AIdentAttribute,
                          hostapi::TQVXMLRecordWriter::GlobalRecordID(ASchema, records.RecordID()));
        item.AddAttribute(ATemplateField, templateIdent);
        item.AddAttribute(ATemplateField + RefSuffix, QLatin1String(TemplateItem));
        AFill(records, item);
        item.Write(AWriter);
    }
}

void TTemplateXMLExchange::SaveTemplateToFile(const QString& AFileName, qint64 ATemplateDBID,
                                              const QString& ACaption) {
    const QString description =
        ACaption.isEmpty() ? QString() : FLang.Text(QStringLiteral("IDS_SVCN")).arg(ACaption);
    QString errorText;
    if (FDataImportPlugin->ExportToFile(AFileName, {QLatin1String(PartId)}, errorText,
                                        {{QLatin1String(TemplateDBIDParam), ATemplateDBID}}, description))
        return;
    if (errorText.isEmpty())
        errorText = FLang.Text(QStringLiteral("IDS_XMLEXPFAIL")).arg(AFileName);
    throw hostapi::EQVException(errorText);
}

} // namespace emailmarketing
