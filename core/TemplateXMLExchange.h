#pragma once

#include "EmailMarketingXMLImportProcessor.h"
#include "QVXMLExport.h"
#include "QVXMLImportContainer.h"

#include <QString>

#include <functional>
#include <memory>

namespace hostapi {
class TDataImportPlugin;
class TQVRecordSet;
class TVRNLang;
} // namespace hostapi

namespace emailmarketing {

// Templates travelling between installations through the host's XML exchange: the part
// "em_emailtemplate" with one item per template, text block and embedded content; the blocks and
// contents refer to their template by "--ref", so the importing side links them to the template's
// new id (the format is described in the README). Owned by the main data module, whose translation
// table holds the captions.
class TTemplateXMLExchange {
public:
    static constexpr const char* PartId = "em_emailtemplate";
    static constexpr const char* TemplateItem = "em_emailtemplate_item";
    static constexpr const char* TextBlockItem = "em_emailtextblock_item";
    static constexpr const char* ContentItem = "em_emailembcontent_item";
    static constexpr const char* SourceAttribute = "em_emailtemplate_source";
    static constexpr const char* TemplateDBIDParam = "em_template_dbid";

    // Told on the main thread when an import part ends, with the id of the last template it inserted
    // (-1 when none).
    using TTemplatesChangedEvent = std::function<void(qint64& LastInsertID)>;

    TTemplateXMLExchange(const hostapi::TVRNLang& ALang, TTemplatesChangedEvent AOnTemplatesChanged);
    ~TTemplateXMLExchange();

    hostapi::TQVXMLImportContainer& QVXMLImportContainer() { return FContainer; }
    hostapi::TDataImportPlugin& DataImportPlugin() { return *FDataImportPlugin; }
    void SetDataImportPlugin(std::unique_ptr<hostapi::TDataImportPlugin> APlugin);

    // Writes the template ATemplateDBID with its text blocks and embedded contents into AFileName
    // (the description names ACaption). A failed export raises EQVException with the host's text.
    void SaveTemplateToFile(const QString& AFileName, qint64 ATemplateDBID, const QString& ACaption);

    // The container's events.
    void QVXMLImportContainerBeginPart(const hostapi::TQVXMLImportPart& APart,
                                       hostapi::TQVXMLImportProcessor& AXMLProcessor,
                                       const hostapi::TQVXMLElement& AData);
    void QVXMLImportContainerImportData(const QString& AName, const hostapi::TQVXMLElement& AData);
    void QVXMLImportContainerEndPart();
    void QVXMLImportContainerExportData(const hostapi::TQVXMLImportPart& APart,
                                        hostapi::TQVXMLWriter& AWriter);

private:
    void ExportTemplateChildren(qint64 ATemplateID, hostapi::TQVXMLWriter& AWriter);
    // Writes the records of an exchange view of one template as items linked to the template.
    void ExportChildren(const QString& ASchema, const QString& ATemplateField, qint64 ATemplateID,
                        const QString& AItemName, const QString& AIdentAttribute,
                        const std::function<void(const hostapi::TQVRecordSet&, hostapi::TQVXMLItem&)>& AFill,
                        hostapi::TQVXMLWriter& AWriter, int AProgress);

    const hostapi::TVRNLang& FLang;
    TTemplatesChangedEvent FOnTemplatesChanged;
    hostapi::TQVXMLImportContainer FContainer;
    std::unique_ptr<hostapi::TDataImportPlugin> FDataImportPlugin;
    TEmailMarketingXMLImportProcessor FXMLImportProcessor;
};

} // namespace emailmarketing
