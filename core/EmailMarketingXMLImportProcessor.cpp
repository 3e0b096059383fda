#include "EmailMarketingXMLImportProcessor.h"

#include "CoreLog.h"
#include "QVException.h"

#include <QThread>

namespace emailmarketing {

void TEmailMarketingXMLImportProcessor::BeginPart(hostapi::TQVXMLImportProcessor& AXMLProcessor,
                                                  const hostapi::TQVXMLElement& AData,
                                                  const QString& ACaption,
                                                  const QList<hostapi::TQVXMLRecordTarget>& ATargets) {
    Q_UNUSED(AData);
    for (const hostapi::TQVXMLRecordTarget& target : ATargets)
        AXMLProcessor.RegisterTarget(target);
    const QMutexLocker locker(&FLock);
    // A run that failed before its end left its entry; the thread's new run replaces it.
    FRuns.insert(QThread::currentThreadId(), {&AXMLProcessor, ACaption});
}

TEmailMarketingXMLImportProcessor::TRun TEmailMarketingXMLImportProcessor::CurrentRun() const {
    const QMutexLocker locker(&FLock);
    const auto run = FRuns.constFind(QThread::currentThreadId());
    if (run == FRuns.constEnd())
        throw hostapi::EQVAssertion(QStringLiteral("an import part has begun on this thread"), __FILE__,
                                    __LINE__);
    return *run;
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
    hostapi::TQVXMLImportProcessor& processor = *CurrentRun().Processor;
    try {
        return processor.ImportRecord(AData, ATarget);
    } catch (const hostapi::EQVException& e) {
        throw hostapi::EQVException(ItemCaption(AData, ATarget.MatchField, ACaption) + QStringLiteral(": ") +
                                    e.Message());
    }
}

void TEmailMarketingXMLImportProcessor::EndPart() {
    const QMutexLocker locker(&FLock);
    const TRun run = FRuns.take(QThread::currentThreadId());
    if (run.Processor)
        qCInfo(lcCore).noquote() << run.Caption << "-" << run.Processor->InsertedCount()
                                 << "records inserted," << run.Processor->UpdatedCount() << "updated";
}

qint64 TEmailMarketingXMLImportProcessor::LastInsertID(const QString& AItemType) const {
    return CurrentRun().Processor->LastInsertID(AItemType);
}

} // namespace emailmarketing
