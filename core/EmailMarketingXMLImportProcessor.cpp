#include "EmailMarketingXMLImportProcessor.h"

#include "QVException.h"

namespace emailmarketing {

void TEmailMarketingXMLImportProcessor::BeginPart(hostapi::TQVXMLImportProcessor& AXMLProcessor,
                                                  const hostapi::TQVXMLElement& AData,
                                                  const QString& ACaption,
                                                  const QList<hostapi::TQVXMLRecordTarget>& ATargets) {
    Q_UNUSED(AData);
    for (const hostapi::TQVXMLRecordTarget& target : ATargets)
        AXMLProcessor.RegisterTarget(target);
    FProcessor = &AXMLProcessor;
    FCaption = ACaption;
}

hostapi::TQVXMLImportProcessor& TEmailMarketingXMLImportProcessor::Processor() const {
    if (!FProcessor)
        throw hostapi::EQVAssertion(QStringLiteral("an import part has begun"), __FILE__, __LINE__);
    return *FProcessor;
}

QString TEmailMarketingXMLImportProcessor::ItemValue(const hostapi::TQVXMLElement& AData,
                                                     const QString& AField) {
    if (AData.HasAttribute(AField))
        return AData.Attribute(AField);
    const hostapi::TQVXMLElement* child = AData.Child(AField);
    return child ? child->Text : QString();
}

QString TEmailMarketingXMLImportProcessor::ItemCaption(const hostapi::TQVXMLElement& AData,
                                                       const QString& AField, const QString& ACaption) {
    QString value = ItemValue(AData, AField);
    // Control characters of crafted input are shown, not passed on into messages and logs.
    for (QChar& c : value)
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    return ACaption.arg(value);
}

qint64 TEmailMarketingXMLImportProcessor::ImportData(const hostapi::TQVXMLElement& AData,
                                                     const hostapi::TQVXMLRecordTarget& ATarget,
                                                     const QString& ACaption) {
    hostapi::TQVXMLImportProcessor& processor = Processor();
    try {
        return processor.ImportRecord(AData, ATarget);
    } catch (const hostapi::EQVException& e) {
        throw hostapi::EQVException(ItemCaption(AData, ATarget.MatchField, ACaption) + QStringLiteral(": ") +
                                    e.Message());
    }
}

void TEmailMarketingXMLImportProcessor::EndPart() {
    FProcessor = nullptr;
    FCaption.clear();
}

qint64 TEmailMarketingXMLImportProcessor::LastInsertID(const QString& AItemType) const {
    return Processor().LastInsertID(AItemType);
}

} // namespace emailmarketing
