#include "JobScheduleModel.h"

#include "BaseEmailSender.h"

namespace emailmarketing {

QDateTime JobScheduleModel::DefaultStart(const QDateTime& ANow) {
    const QDateTime start = ANow.addSecs(3600);
    return QDateTime(start.date(), QTime(start.time().hour(), start.time().minute()));
}

JobScheduleModel::TSchedule JobScheduleModel::Load(const TBaseEmailSender* AJob, const QDateTime& ANow) {
    TSchedule schedule;
    QDateTime start = DefaultStart(ANow);
    if (AJob) {
        schedule.AutoStart = AJob->AutoStart();
        if (AJob->AutoStartDate().isValid())
            start = AJob->AutoStartDate();
    }
    schedule.Date = start.date();
    schedule.Time = QTime(start.time().hour(), start.time().minute());
    return schedule;
}

QDateTime JobScheduleModel::StartOf(const TSchedule& ASchedule) {
    return QDateTime(ASchedule.Date, ASchedule.Time);
}

bool JobScheduleModel::IsAccepted(const TSchedule& ASchedule, const QDateTime& ANow) {
    if (!ASchedule.AutoStart)
        return true;
    const QDateTime start = StartOf(ASchedule);
    return start.isValid() && start > ANow.addSecs(MinimumLeadSeconds);
}

void JobScheduleModel::Store(TBaseEmailSender& AJob, const TSchedule& ASchedule) {
    AJob.SetAutoStartDate(ASchedule.AutoStart ? StartOf(ASchedule) : QDateTime());
    AJob.SetAutoStart(ASchedule.AutoStart);
}

} // namespace emailmarketing
