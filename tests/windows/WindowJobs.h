#pragma once

// Real send jobs for the window tests: recipients in the host database, a list that sends through
// the fake transport, a preparation that can be held at a recipient, and a clock the tests set.

#include "BaseEmailSender.h"
#include "Database.h"
#include "EmailListItem.h"
#include "EmailSenderJobList.h"
#include "FakeMessageSender.h"
#include "QVException.h"

#include <QDateTime>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace windowtests {

using namespace emailmarketing;

// Addresses "Name<i>" with e-mail "r<i>@example.org".
inline void AddRecipients(int ACount) {
    hostapi::Transaction transaction;
    for (int i = 0; i < ACount; ++i)
        hostapi::Database::Exec(
            QStringLiteral("INSERT INTO \"pelm_addresses_ass\" (\"name\", \"email1\") VALUES (?, ?)"),
            {QStringLiteral("Name%1").arg(i), QStringLiteral("r%1@example.org").arg(i)});
    transaction.Commit();
}

// A list on the host's addresses that sends with one thread through ADevice.
inline std::shared_ptr<TEmailListItem> RecipientList(TMessageSenderDevice ADevice = msdExtSMTP,
                                                     const QString& AServer = QStringLiteral("fake")) {
    auto list = std::make_shared<TEmailListItem>();
    list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
    list->SetName(QStringLiteral("Kunden"));
    list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email1")});
    list->SetUseGlobalRegisterService(false);
    list->SetUseGlobalAddress(false);
    list->SetSenderName(QStringLiteral("Shop"));
    list->SetSenderEmail(QStringLiteral("shop@sender.test"));
    list->SetUseGlobalMailServer(false);
    list->SetMessageSenderDevice(ADevice);
    list->SetMailServer(AServer);
    list->SetUseGlobalSendSettings(false);
    list->SetSendPerUnits(false);
    list->SetSendThreads(1);
    list->SetUnitDelay(0);
    return list;
}

// The list of RecipientList sending in units of AMailsPerUnit with AUnitDelay minutes between them.
inline std::shared_ptr<TEmailListItem> UnitList(int AMailsPerUnit, int AUnitDelay) {
    std::shared_ptr<TEmailListItem> list = RecipientList();
    list->SetSendPerUnits(true);
    list->SetMailsPerUnit(AMailsPerUnit);
    list->SetUnitDelay(AUnitDelay);
    return list;
}

// A clock that stands still until a test (or the transport below) sets it.
struct SetClock {
    QDateTime Base = QDateTime(QDate(2025, 3, 5), QTime(14, 0, 0));
    std::atomic<qint64> OffsetMs{0};
    QDateTime Now() const { return Base.addMSecs(OffsetMs.load()); }
    hostapi::ScheduleClock Clock() {
        return [this] { return Now(); };
    }
};

// The job of the tests: its preparation can be held before one recipient.
class HeldJob : public TLocalEmailSender {
public:
    using TLocalEmailSender::AddPreparedDocument;
    using TLocalEmailSender::TLocalEmailSender;

    // The prepare thread raises at its start.
    std::atomic<bool> FailPreparation{false};

    void HoldAt(int ARecNo) {
        std::lock_guard lock(FLock);
        FHoldAt = ARecNo;
    }
    // Waits (at most 30 s) until the preparation stands at the held recipient.
    bool WaitHeld() {
        std::unique_lock lock(FLock);
        return FChanged.wait_for(lock, std::chrono::seconds(30), [this] { return FHeld; });
    }
    void Release() {
        std::lock_guard lock(FLock);
        FHoldAt = -1;
        FChanged.notify_all();
    }
    // Waits (at most 30 s) until no preparation runs.
    bool WaitPrepared() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (State().ContainsAny({jsPreparing, jsPreparingPreview})) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            WaitForStateChange(100);
        }
        return true;
    }

protected:
    void PrepareThreadExecute(TMethodeCallThread& AThread) override {
        if (FailPreparation)
            throw hostapi::EQVException(QStringLiteral("The recipients could not be read."));
        TLocalEmailSender::PrepareThreadExecute(AThread);
    }
    void BeforePrepareRecipient(int ARecNo) override {
        std::unique_lock lock(FLock);
        if (ARecNo != FHoldAt)
            return;
        FHeld = true;
        FChanged.notify_all();
        FChanged.wait(lock, [this] { return FHoldAt == -1; });
        FHeld = false;
    }
    void ProcessTerminate() override {
        Release();
        TLocalEmailSender::ProcessTerminate();
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    int FHoldAt = -1;
    bool FHeld = false;
};

// A job list whose jobs are HeldJobs on the test's clock.
struct JobList {
    SetClock Time;
    TEmailSenderJobList List;
    JobList() {
        List.SetClock(Time.Clock());
        List.SetLocalJobFactory([](QObject* AOwner, qint32 ATemplateID, std::shared_ptr<TEmailListItem> AList,
                                   TEmailStyle AStyle) -> TBaseEmailSender* {
            return new HeldJob(AOwner, ATemplateID, std::move(AList), AStyle);
        });
    }
    HeldJob* Create(qint32 ATemplateID, TEmailStyle AStyle = esPlainText,
                    std::shared_ptr<TEmailListItem> AList = RecipientList()) {
        if (AStyle == esSMS)
            AList->SetEmailFields(hostapi::fftMobile, {QStringLiteral("mobile")});
        auto* job = static_cast<HeldJob*>(List.CreateJob(tjLocal, ATemplateID, std::move(AList), AStyle));
        job->SetSubject(QStringLiteral("Angebot für %NAME%"));
        job->SetContent(QStringLiteral("Guten Tag %NAME%"));
        job->UsedMakros() = {{QStringLiteral("%NAME%"), mkField}};
        job->InitializeData();
        return job;
    }
};

// The fake transport for msdExtSMTP while it lives. Message k (from 1) is sent at base + k times
// StepMs on the clock; with BlockAfter set, the message after that many blocks until the job
// cancels it.
class FakeTransport {
public:
    FakeTransport(SetClock& AClock, int AStepMs, int ABlockAfter = -1)
        : Script(std::make_shared<testsupport::FakeTransportScript>()) {
        if (ABlockAfter >= 0) {
            for (int i = 0; i < ABlockAfter; ++i)
                Script->AddSendStep(testsupport::FakeTransportStep::Success());
            Script->AddSendStep(testsupport::FakeTransportStep::UntilCancelled());
        }
        FClock->Clock = &AClock;
        TMessageSenderClass entry = testsupport::FakeMessageSender::ClassFor(Script);
        entry.Create = [script = Script, clock = FClock, step = AStepMs, block = ABlockAfter] {
            return std::unique_ptr<TCustomMessageSender>(new ClockedSender(script, clock, step, block));
        };
        RegisterMessageSenderClass(msdExtSMTP, entry);
    }
    // A job may outlive the transport (and the clock): its senders then leave the clock alone.
    ~FakeTransport() {
        UnRegisterMessageSenderClass(msdExtSMTP);
        std::lock_guard lock(FClock->Lock);
        FClock->Clock = nullptr;
    }

    std::shared_ptr<testsupport::FakeTransportScript> Script;

private:
    // The clock the senders advance while the transport lives, and the count of sent messages.
    struct SharedClock {
        std::mutex Lock;
        SetClock* Clock = nullptr;
        int Sent = 0;
    };

    class ClockedSender : public testsupport::FakeMessageSender {
    public:
        ClockedSender(std::shared_ptr<testsupport::FakeTransportScript> AScript, std::shared_ptr<SharedClock> AClock,
                      int AStepMs, int ABlockAfter)
            : FakeMessageSender(std::move(AScript)), FClock(std::move(AClock)), FStepMs(AStepMs),
              FBlockAfter(ABlockAfter) {}

    protected:
        bool DoSendMessage(const emailmarketing::TOutgoingMessage& AMessage) override {
            {
                std::lock_guard lock(FClock->Lock);
                const int k = ++FClock->Sent;
                if (FClock->Clock && (FBlockAfter < 0 || k <= FBlockAfter))
                    FClock->Clock->OffsetMs = qint64(k) * FStepMs;
            }
            return FakeMessageSender::DoSendMessage(AMessage);
        }

    private:
        std::shared_ptr<SharedClock> FClock;
        int FStepMs;
        int FBlockAfter;
    };

    std::shared_ptr<SharedClock> FClock = std::make_shared<SharedClock>();
};

} // namespace windowtests
