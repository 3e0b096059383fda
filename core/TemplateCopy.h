#pragma once

#include <QDateTime>
#include <QtGlobal>

namespace emailmarketing {

// Duplicates a template with its text blocks, attachments and embedded images in one transaction.
// The copy and every copied child get a new exchange identity ("globalrecuid" new, "impsource"
// empty), so that an exchange file of the copy never updates the source and a file of the source
// never updates the copy. The copy keeps the name, has no last-sent date, the given state
// (AStateID < 0: none) and the creation date ANow. An embedded image keeps only a plain base name of
// its file name (it becomes a file in a job's folder); one without any raises EQVException and
// nothing is copied.
class TTemplateCopy {
public:
    // Answers the id of the copy; raises EQVException when the source does not exist.
    static qint64 CopyTemplate(qint64 ASourceID, qint64 AStateID, const QDateTime& ANow);
};

} // namespace emailmarketing
