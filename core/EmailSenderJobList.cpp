#include "EmailSenderJobList.h"

#include "ExceptionDisplay.h"
#include "QVException.h"

namespace emailmarketing {

IJobNotification::~IJobNotification() = default;

TEmailSenderJobList::TEmailSenderJobList() = default;

TEmailSenderJobList::~TEmailSenderJobList() {
    QObject::disconnect(FOwnerDestroyed);
    FJopNotifyers.clear();
    while (!FJobs.isEmpty()) {
        TBaseEmailSender* job = FJobs.takeLast();
        job->SetOnDestroyJob({});
        TBaseEmailSender::FreeJob(job);
    }
}

void TEmailSenderJobList::SetJobOwner(QObject* value) {
    QObject::disconnect(FOwnerDestroyed);
    FJobOwner = value;
    if (value)
        FOwnerDestroyed = QObject::connect(value, &QObject::destroyed, [this] {
            FJobOwner = nullptr;
            ShutDownAllJobs(false);
        });
}

TBaseEmailSender* TEmailSenderJobList::CreateJob(TJobMode AMode, qint32 ATemplateID,
                                                 std::shared_ptr<TEmailListItem> ADestList, TEmailStyle AEmailStyle) {
    if (AMode != tjLocal)
        throw hostapi::EQVException(QStringLiteral("Unknown job mode!"));
    TBaseEmailSender* job = FLocalJobFactory
                                ? FLocalJobFactory(FJobOwner, ATemplateID, std::move(ADestList), AEmailStyle)
                                : new TLocalEmailSender(FJobOwner, ATemplateID, std::move(ADestList), AEmailStyle);
    QV_ASSERT(job != nullptr);
    if (FClock)
        job->SetClock(FClock);
    FJobs.append(job);
    job->SetOnDestroyJob([this](TBaseEmailSender& AJob) { JobDestroyed(AJob); });
    Notify(job, false);
    return job;
}

TBaseEmailSender* TEmailSenderJobList::ByTemplateID(qint32 ATemplateID) const {
    for (TBaseEmailSender* job : FJobs)
        if (job->TemplateID() == ATemplateID)
            return job;
    return nullptr;
}

TBaseEmailSender* TEmailSenderJobList::Jobs(int Index) const {
    QV_ASSERT(Index >= 0 && Index < FJobs.size());
    return FJobs.at(Index);
}

int TEmailSenderJobList::IndexOf(const TBaseEmailSender* AJob) const {
    return static_cast<int>(FJobs.indexOf(const_cast<TBaseEmailSender*>(AJob)));
}

void TEmailSenderJobList::Delete(TBaseEmailSender* Item) {
    if (IndexOf(Item) < 0)
        return;
    // The job's destruction tells the observers and takes it out of the list.
    TBaseEmailSender::FreeJob(Item);
}

bool TEmailSenderJobList::TerminateJob(TBaseEmailSender* Item, bool WaitFor) { return Item->Terminate(WaitFor); }

void TEmailSenderJobList::TimerFuncExecute() {
    for (int i = Count() - 1; i >= 0; --i) {
        if (i >= Count())
            continue;
        auto* job = qobject_cast<TLocalEmailSender*>(FJobs.at(i));
        if (!job)
            continue;
        try {
            job->ExecuteTimerFunc();
        } catch (...) {
            hostapi::TVRNExceptionUtils::ShowCurrent();
        }
    }
}

void TEmailSenderJobList::ShutDownAllJobs(bool OnlyIdleJobs) {
    for (int i = Count() - 1; i >= 0; --i) {
        if (i >= Count())
            continue;
        TBaseEmailSender* job = FJobs.at(i);
        if (OnlyIdleJobs && !job->CanAction(aeKillIdle))
            continue;
        try {
            TerminateJob(job, true);
        } catch (const hostapi::EQVException& E) {
            hostapi::TVRNExceptionUtils::Show(E);
        }
        Delete(job);
    }
}

void TEmailSenderJobList::RegisterJobNotifyer(std::shared_ptr<IJobNotification> AInt) {
    QV_ASSERT(AInt != nullptr);
    FJopNotifyers.append(std::move(AInt));
}

void TEmailSenderJobList::UnRegisterJobNotifyer(const std::shared_ptr<IJobNotification>& AInt) {
    const qsizetype index = FJopNotifyers.indexOf(AInt);
    if (index >= 0)
        FJopNotifyers.removeAt(index);
}

void TEmailSenderJobList::JobDestroyed(TBaseEmailSender& AJob) {
    Notify(&AJob, true);
    const int index = IndexOf(&AJob);
    if (index >= 0)
        FJobs.removeAt(index);
}

void TEmailSenderJobList::Notify(TBaseEmailSender* AJob, bool ARemoved) {
    // A copy: an observer may unregister itself while it is called.
    const QList<std::shared_ptr<IJobNotification>> observers = FJopNotifyers;
    for (const auto& observer : observers)
        observer->JobListChanged(*this, AJob, ARemoved);
}

} // namespace emailmarketing
