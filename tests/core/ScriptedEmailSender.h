#pragma once

// A send job whose thread bodies and database hooks the tests script, and a clock they control.

#include "BaseEmailSender.h"
#include "DBFieldSchema.h"
#include "QVException.h"

#include <atomic>
#include <functional>
#include <future>
#include <memory>

namespace testsupport {

// Answers a fixed start time plus an offset; every reading advances the offset by Step ms.
struct FakeClock {
    QDateTime Base = QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC);
    std::atomic<qint64> OffsetMs{0};
    std::atomic<qint64> StepMs{0};

    QDateTime Now() { return Base.addMSecs(OffsetMs.fetch_add(StepMs.load())); }
    hostapi::ScheduleClock Clock() {
        return [this] { return Now(); };
    }
};

class ScriptedEmailSender : public emailmarketing::TLocalEmailSender {
public:
    using Body = std::function<void(emailmarketing::TMethodeCallThread&)>;
    using TLocalEmailSender::TLocalEmailSender;

    Body PrepareBody;
    Body SendBody;
    // Further sender threads that StartSendThreads starts after the root, and their body.
    int FurtherSenders = 0;
    Body FurtherSendBody;
    // StartSendThreads raises (after starting the root when RootBeforeFailure is set).
    bool FailSendStart = false;
    bool RootBeforeFailure = false;
    std::function<void()> OnWriteJobRow;
    std::function<void()> OnCancelBlockingWork;
    // Runs on a worker thread right after its completion step.
    std::function<void(emailmarketing::TMethodeCallThread&)> OnCompletionStepDone;
    std::atomic<int> PrepareRuns{0};
    std::atomic<int> EndRowsWritten{0};

    using TLocalEmailSender::AddPreparedDocument;
    using TLocalEmailSender::SetJobDBID;
    using TLocalEmailSender::StartWorkerThread;

protected:
    void PrepareThreadExecute(emailmarketing::TMethodeCallThread& T) override {
        ++PrepareRuns;
        if (PrepareBody)
            PrepareBody(T);
    }
    void SendThreadExecute(emailmarketing::TMethodeCallThread& T) override {
        if (SendBody)
            SendBody(T);
    }
    void WriteJobRow() override {
        if (OnWriteJobRow)
            OnWriteJobRow();
    }
    void WriteJobEndRows() override { ++EndRowsWritten; }
    void CancelBlockingWork() override {
        if (OnCancelBlockingWork)
            OnCancelBlockingWork();
    }
    void StartSendThreads() override {
        if (FailSendStart && !RootBeforeFailure)
            throw hostapi::EQVException(QStringLiteral("no sender thread"));
        TLocalEmailSender::StartSendThreads();
        if (FailSendStart)
            throw hostapi::EQVException(QStringLiteral("no further sender thread"));
        for (int i = 0; i < FurtherSenders; ++i)
            StartWorkerThread(true, false, QThread::NormalPriority,
                              [this](emailmarketing::TMethodeCallThread& T) {
                                  if (FurtherSendBody)
                                      FurtherSendBody(T);
                              },
                              {});
    }
    void CompletionStepDone(emailmarketing::TMethodeCallThread& T) override {
        if (OnCompletionStepDone)
            OnCompletionStepDone(T);
    }
};

// A body that idles until its thread is asked to terminate (a suspended sender).
inline void IdleUntilTerminated(emailmarketing::TMethodeCallThread& T) {
    while (!T.Terminated())
        T.Suspend();
}

// Sends a prepared job whose root sender ends at once while AFurther further senders idle until they
// are terminated; returns when the root has passed its completion step.
inline void SendWithSendersOutlivingTheRoot(ScriptedEmailSender& AJob, int AFurther) {
    auto rootEnded = std::make_shared<std::promise<void>>();
    AJob.FurtherSenders = AFurther;
    AJob.SendBody = [](emailmarketing::TMethodeCallThread&) {};
    AJob.FurtherSendBody = [](emailmarketing::TMethodeCallThread& T) { IdleUntilTerminated(T); };
    AJob.OnCompletionStepDone = [rootEnded](emailmarketing::TMethodeCallThread& T) {
        if (T.IsRoot())
            rootEnded->set_value();
    };
    AJob.AddState({emailmarketing::jsPrepared});
    AJob.Send();
    rootEnded->get_future().wait();
}

// A list that sends e-mail to the field "email".
inline std::shared_ptr<emailmarketing::TEmailListItem> MakeList() {
    auto list = std::make_shared<emailmarketing::TEmailListItem>();
    list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email")});
    return list;
}

// A job ready to prepare: content and a list with address fields.
inline void MakeReady(emailmarketing::TBaseEmailSender& AJob) {
    AJob.SetContent(QStringLiteral("Hello"));
    AJob.InitializeData();
}

} // namespace testsupport
