#pragma once

#include <QDateTime>
#include <QtGlobal>

namespace emailmarketing {

// The rows a send job writes besides its sent list: its "emljobs" row and its template's state in
// "emtemplates". Each call is one statement on the open host database; raises on failure.
class TJobRows {
public:
    struct TNewJob {
        qint32 TemplateID = -1;
        QDateTime StartDate;
        // 1: running, 2: sent.
        int JobState = 1;
        // The job whose recipients a resend selects, and their sent state (-1: none).
        qint64 ParentJobID = -1;
        qint64 ParentJobState = -1;
    };

    // Inserts the job's row (no end date); answers its id.
    static qint32 Insert(const TNewJob& AJob);
    // Ends the job's row: its final state and end date.
    static void Close(qint32 AJobID, int AJobState, const QDateTime& AEndDate);
    // The template was mailed: its new state and last sent date.
    static void MarkTemplateSent(qint32 ATemplateID, qint64 AStateID, const QDateTime& ASentDate);
};

} // namespace emailmarketing
