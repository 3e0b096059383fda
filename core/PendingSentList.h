#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace emailmarketing {

// The pending rows of "emlsentlist": written for every recipient before its job sends (sent state 0,
// no sent date, no error text), so that a result lost with the process still leaves a row that
// becomes a failure. The final result updates the row in place (TSentListWriter).
class TPendingSentList {
public:
    struct TRecipient {
        QString Email;
        qint64 AddressID = -1;
    };

    // Rows per transaction of Write.
    static constexpr int RowsPerTransaction = 2000;

    // Writes one pending row per recipient of job AJobID, in transactions of RowsPerTransaction rows;
    // answers the new row ids in the order of ARecipients. Throws EQVDatabaseException.
    static QList<qint64> Write(qint64 AJobID, const QList<TRecipient>& ARecipients);
    // Deletes pending rows (of recipients that the preparation dropped) in one transaction; a row
    // that has a final result meanwhile stays.
    static void Delete(const QList<qint64>& ARowIDs);
    // Turns every pending row of job AJobID into a failure with the text "0: " + AText and sent date
    // ANow; answers how many rows changed.
    static int FailJob(qint64 AJobID, const QString& AText, const QDateTime& ANow);
    // The same for pending rows whose job row does not exist (or that have no job).
    static int FailOrphans(const QString& AText, const QDateTime& ANow);
};

} // namespace emailmarketing
