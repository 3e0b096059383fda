#pragma once

// A send job with the real sender threads, whose documents the tests put on the send stack and whose
// waits follow a clock the tests control.

#include "BaseEmailSender.h"
#include "Database.h"
#include "ScriptedEmailSender.h"

#include <QSqlQuery>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

namespace testsupport {

class EngineJob : public emailmarketing::TLocalEmailSender {
public:
    using TLocalEmailSender::ChangeDeliveringSenders;
    using TLocalEmailSender::SendGate;
    using TLocalEmailSender::SentListWriter;
    using TLocalEmailSender::SetJobDBID;
    using TLocalEmailSender::TLocalEmailSender;

    // Puts a prepared document for AAddress (address id AAddressID) on the send stack.
    void AddDocument(const QString& AAddress, qint64 AAddressID = 0) {
        auto document = std::make_unique<emailmarketing::TEmailDocument>();
        document->SetEmailAddress(AAddress);
        document->SetSubject(QStringLiteral("Subject for ") + AAddress);
        document->SetPlainMailBody(QStringLiteral("Hello ") + AAddress);
        document->SetAddressID(AAddressID);
        AddPreparedDocument(std::move(document));
    }
    // Marks the preparation as done and starts sending.
    void SendPrepared() {
        AddState({emailmarketing::jsInitialized, emailmarketing::jsPrepared});
        Send();
    }
    // Waits until every thread of the job has ended.
    void WaitForThreads() { JoinThreads(); }
    // Waits (at most 60 s) until sending has ended, then joins the threads. Joining at once would take
    // the threads out of the job's list, so that the root would not wait for the other senders as it
    // does otherwise.
    void WaitForSendEnd() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (State().Contains(emailmarketing::jsSending) && std::chrono::steady_clock::now() < deadline)
            WaitForStateChange(100);
        JoinThreads();
    }
};

// Moves a FakeClock forward to every deadline a sender waits for (time passes only while the engine
// waits), and records each deadline with the job's state and current delay at that moment.
class VirtualTime {
public:
    struct Wait {
        QDateTime Deadline;
        emailmarketing::TJobStateSet State;
        double CurrentDelay = 0;
    };

    VirtualTime(FakeClock& AClock, EngineJob& AJob) : FClock(AClock), FJob(AJob) {
        AJob.SetClock(AClock.Clock());
        AJob.SendGate().SetOnWait([this](const QDateTime& ADeadline) { OnWait(ADeadline); });
    }

    // Called with each deadline before the clock moves; answers False to leave the clock where it is.
    std::function<bool(const QDateTime&)> BeforeAdvance;

    QList<Wait> Waits() const {
        std::lock_guard lock(FLock);
        return FWaits;
    }

private:
    void OnWait(const QDateTime& ADeadline) {
        if (!ADeadline.isValid())
            return;
        {
            std::lock_guard lock(FLock);
            FWaits.append({ADeadline, FJob.State(), FJob.CurrentDelay()});
        }
        if (BeforeAdvance && !BeforeAdvance(ADeadline))
            return;
        const qint64 target = FClock.Base.msecsTo(ADeadline);
        qint64 current = FClock.OffsetMs.load();
        while (current < target && !FClock.OffsetMs.compare_exchange_weak(current, target)) {
        }
    }

    FakeClock& FClock;
    EngineJob& FJob;
    mutable std::mutex FLock;
    QList<Wait> FWaits;
};

// One row of "emlsentlist" as the tests compare it.
struct SentRow {
    QString Email;
    QString ErrorMessage;
    int SentState = 0;
    QDateTime SentDate;
    qint64 AddressID = 0;
};

inline QList<SentRow> SentRows(qint64 AJobID) {
    QList<SentRow> rows;
    QSqlQuery query = hostapi::Database::Exec(
        QStringLiteral("SELECT email, errormessage, sentstate, sentdate, addressid FROM emlsentlist "
                       "WHERE emljobs_id = ? ORDER BY id"),
        {AJobID});
    while (query.next())
        rows.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toInt(),
                     query.value(3).toDateTime(), query.value(4).toLongLong()});
    return rows;
}

// A template row and a job row of it (jobstate 1), as a job's preparation leaves them.
inline qint64 InsertTemplateRow() {
    return hostapi::Database::InsertRow(QStringLiteral("emtemplates"), {QStringLiteral("name")},
                                        {QStringLiteral("Newsletter")});
}
inline qint64 InsertJobRow(qint64 ATemplate) {
    return hostapi::Database::InsertRow(QStringLiteral("emljobs"),
                                        {QStringLiteral("emltemplates_id"), QStringLiteral("jobstate")},
                                        {ATemplate, 1});
}

// What the end of a job wrote into its "emljobs" row and its template's "emtemplates" row.
struct EndRows {
    QVariant JobState;
    QVariant EndDate;
    QVariant TemplateState;
    QVariant LastSent;
};

inline EndRows ReadEndRows(qint64 AJob, qint64 ATemplate) {
    EndRows rows;
    QSqlQuery job =
        hostapi::Database::Exec(QStringLiteral("SELECT jobstate, enddate FROM emljobs WHERE id = ?"), {AJob});
    if (job.next()) {
        rows.JobState = job.value(0);
        rows.EndDate = job.value(1);
    }
    QSqlQuery templ = hostapi::Database::Exec(
        QStringLiteral("SELECT templstateid, lastsent FROM emtemplates WHERE id = ?"), {ATemplate});
    if (templ.next()) {
        rows.TemplateState = templ.value(0);
        rows.LastSent = templ.value(1);
    }
    return rows;
}

} // namespace testsupport
