#pragma once

#include "BaseEmailSender.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>

namespace emailmarketing {

// What the job detail view shows of one job, without widgets: the rows of the info list, the
// estimates, the delay text and the progress gauges, from a snapshot of the job and its clock.
class JobInfoModel {
public:
    // The job's figures as read once per refresh.
    struct TSnapshot {
        TEmailStyle EmailStyle = esPlainText;
        QString Subject;
        QDateTime StartDate;
        bool AutoStart = false;
        QDateTime AutoStartDate;
        // The state read at the start of the refresh, and the state read again for the delay rows.
        TJobStateSet State;
        TJobStateSet CurrentState;
        QDateTime PrepareStarted;
        int PrepareCount = 0;
        int SendCount = 0;
        QDateTime SendStarted;
        QDateTime LastSentStatisticUpdate;
        int SentCount = 0;
        int SentRetryCount = 0;
        int SentFailedCount = 0;
        int SentUnits = 0;
        double CurrentDelay = 0;
        // Of the job's list (global fallbacks included); 0 without a list.
        int SendThreads = 0;
        int UnitDelay = 0;
        bool SendPerUnits = false;
        int MailsPerUnit = 0;
        // The job's clock at the refresh.
        QDateTime Now;
    };

    struct TRow {
        QString Name;
        QString Value;
        bool operator==(const TRow&) const = default;
    };

    struct TEstimate {
        qint64 TimePerMailMs = 0;    // 0 when nothing was sent
        qint64 RemainingSeconds = 0; // 0: no estimate shown
    };

    // The panels below the list.
    struct TPanels {
        bool PrepareVisible = false;
        bool SendVisible = false;
        // The pause state; empty when the label is hidden.
        QString Delay;
        int PrepareMaximum = 0;
        int PreparePosition = 0;
        int SendMaximum = 0;
        int SendPosition = 0;
        bool operator==(const TPanels&) const = default;
    };

    static TSnapshot Snapshot(const TBaseEmailSender& AJob);

    static QList<TRow> Rows(const TSnapshot& AJob, const QLocale& ALocale);
    static TPanels Panels(const TSnapshot& AJob, const QLocale& ALocale);

    static TEstimate Estimate(const TSnapshot& AJob);
    // "<d>Tage <h>h <m>m <s>s".
    static QString RemainingText(qint64 ASeconds);
    // Messages per minute between SendStarted and LastSentStatisticUpdate; false when nothing was
    // sent or the span is zero.
    static bool Throughput(const TSnapshot& AJob, double& APerMinute);

    // A float with two decimals in the locale's decimal separator, without group separators.
    static QString TwoDecimals(double AValue, const QLocale& ALocale);
    // Absolute minutes between two moments (0 when one is missing).
    static double MinutesBetween(const QDateTime& AFrom, const QDateTime& ATo);
    // "dd-MM-yyyy HH:mm:ss".
    static QString DateTimeText(const QDateTime& AValue);
    static QString StyleText(TEmailStyle AStyle);
};

} // namespace emailmarketing
