#pragma once

#include "BaseEmailSender.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>

namespace emailmarketing {

enum TJobMode : int { tjLocal = 0 };

class TEmailSenderJobList;

// Observer of the job list: told when a job is added (ARemoved False) and when it is being
// destroyed (ARemoved True), on the thread that adds or frees the job.
class IJobNotification {
public:
    virtual ~IJobNotification();
    virtual void JobListChanged(TEmailSenderJobList& AJobList, TBaseEmailSender* AJob, bool ARemoved) = 0;
};

// Creates a job of the mode tjLocal (the virtual constructor; default: TLocalEmailSender).
using TLocalJobFactory = std::function<TBaseEmailSender*(QObject* AOwner, qint32 ATemplateID,
                                                         std::shared_ptr<TEmailListItem> ADestList,
                                                         TEmailStyle AEmailStyle)>;

// Every send job of the module; owns them. Used on the main thread only (window actions, the timer,
// shut-down). A job is freed only when none of its threads is alive: freeing a job terminates and
// joins its threads first.
class TEmailSenderJobList {
public:
    TEmailSenderJobList();
    // Detaches the observers, then frees the jobs still held (without observer calls).
    ~TEmailSenderJobList();
    TEmailSenderJobList(const TEmailSenderJobList&) = delete;
    TEmailSenderJobList& operator=(const TEmailSenderJobList&) = delete;

    QObject* JobOwner() const { return FJobOwner; }
    // Jobs are QObject children of the owner (they reach their data module through it). When the
    // owner is destroyed before the list, the list ends and frees its jobs first, so that no job is
    // deleted by its parent with threads alive and then freed again by the list.
    void SetJobOwner(QObject* value);
    // Clock handed to every new job.
    void SetClock(hostapi::ScheduleClock value) { FClock = std::move(value); }
    void SetLocalJobFactory(TLocalJobFactory value) { FLocalJobFactory = std::move(value); }

    // Raises "Unknown job mode!" for any mode but tjLocal.
    TBaseEmailSender* CreateJob(TJobMode AMode, qint32 ATemplateID, std::shared_ptr<TEmailListItem> ADestList,
                                TEmailStyle AEmailStyle);
    TBaseEmailSender* ByTemplateID(qint32 ATemplateID) const;
    TBaseEmailSender* Jobs(int Index) const;
    int Count() const { return static_cast<int>(FJobs.size()); }
    int IndexOf(const TBaseEmailSender* AJob) const;
    // Removes and frees the job when it is in the list.
    void Delete(TBaseEmailSender* Item);
    bool TerminateJob(TBaseEmailSender* Item, bool WaitFor);
    // The timer entry: visits the jobs from the last to the first; the failure of one job is shown
    // and the others are visited all the same.
    void TimerFuncExecute();
    // Terminates (waiting) and frees the jobs from the last to the first; with OnlyIdleJobs those
    // that prepare, send or prepare a preview are skipped. A termination timeout is shown and the job
    // is freed after its threads have been cancelled and joined.
    void ShutDownAllJobs(bool OnlyIdleJobs);

    void RegisterJobNotifyer(std::shared_ptr<IJobNotification> AInt);
    void UnRegisterJobNotifyer(const std::shared_ptr<IJobNotification>& AInt);

private:
    void JobDestroyed(TBaseEmailSender& AJob);
    void Notify(TBaseEmailSender* AJob, bool ARemoved);

    QObject* FJobOwner = nullptr;
    QMetaObject::Connection FOwnerDestroyed;
    hostapi::ScheduleClock FClock;
    TLocalJobFactory FLocalJobFactory;
    QList<TBaseEmailSender*> FJobs;
    QList<std::shared_ptr<IJobNotification>> FJopNotifyers;
};

} // namespace emailmarketing
