#pragma once

#include "QVXMLElement.h"
#include "QVXMLImportProcessor.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

namespace emailmarketing {

// The module's side of the import runs of the template exchange: hands each item to the host's
// import processor of its run and names a failing item by its caption ("Email-Vorlage 'News':
// ..."). Imports on several threads at once each have their own run (a run is on one thread).
class TEmailMarketingXMLImportProcessor {
public:
    // Starts a part: the host's processor of the run, the part's XML data and caption, and the
    // targets of every item type of the part (so references resolve to records imported earlier).
    void BeginPart(hostapi::TQVXMLImportProcessor& AXMLProcessor, const hostapi::TQVXMLElement& AData,
                   const QString& ACaption, const QList<hostapi::TQVXMLRecordTarget>& ATargets);
    // Writes the item into ATarget's table; answers the record's local id. ACaption holds "%1" for the
    // value of the target's matching field.
    qint64 ImportData(const hostapi::TQVXMLElement& AData, const hostapi::TQVXMLRecordTarget& ATarget,
                      const QString& ACaption);
    // Ends the calling thread's part and logs under its caption what it wrote.
    void EndPart();

    // The id of the last record inserted for the item type in this run; -1 when none.
    qint64 LastInsertID(const QString& AItemType) const;

    // The item's value of AField: an attribute, else a child element's text; empty when neither.
    static QString ItemValue(const hostapi::TQVXMLElement& AData, const QString& AField);
    // ACaption with the item's value of AField (an attribute, else a child element's text).
    static QString ItemCaption(const hostapi::TQVXMLElement& AData, const QString& AField,
                               const QString& ACaption);

private:
    struct TRun {
        hostapi::TQVXMLImportProcessor* Processor = nullptr;
        QString Caption;
    };
    TRun CurrentRun() const;

    mutable QMutex FLock;
    QHash<Qt::HANDLE, TRun> FRuns; // by thread
};

} // namespace emailmarketing
