#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace emailmarketing {

class TBaseEmailSender;

// What the job scheduler dialog shows and stores, without widgets: the defaults, the check against
// the job's clock and the write to the job.
class JobScheduleModel {
public:
    struct TSchedule {
        bool AutoStart = false;
        QDate Date;
        QTime Time; // minutes; seconds are not shown
    };

    // A start must lie more than this many seconds after now.
    static constexpr int MinimumLeadSeconds = 5 * 60;

    // The default start: now + 1 hour, date and time taken together (after 23:00 the next day),
    // seconds dropped.
    static QDateTime DefaultStart(const QDateTime& ANow);

    // The schedule shown for AJob at ANow: its auto-start state, and its start time or, when it has
    // none, the default start. Without a job: unchecked, default start.
    static TSchedule Load(const TBaseEmailSender* AJob, const QDateTime& ANow);

    static QDateTime StartOf(const TSchedule& ASchedule);
    // Whether ASchedule may be stored at ANow: unchecked always; checked only with a start later than
    // now + 5 minutes.
    static bool IsAccepted(const TSchedule& ASchedule, const QDateTime& ANow);

    // Writes the schedule: AutoStartDate := the start when checked, else no date; then AutoStart.
    // The caller has checked IsAccepted.
    static void Store(TBaseEmailSender& AJob, const TSchedule& ASchedule);
};

} // namespace emailmarketing
