#pragma once

#include "HostApiExport.h"
#include "ScheduleLog.h"
#include "SchedulePlugin.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariant>

namespace hostapi {

// The host's scheduler: keeps the actions of the registered scheduler components with their next due
// time and runs them on the GUI thread, on request or when due (checked by a timer against the
// injected clock). Every report and every failure of a run goes to its log; nothing a run raises
// leaves the scheduler. An action does not run again while it is running (a run that waits in a
// nested event loop is not entered twice).
class HOSTAPI_EXPORT Scheduler : public QObject {
    Q_OBJECT
public:
    struct ScheduledAction {
        QString Identifier;
        QString Caption;
        QDateTime NextDue;          // invalid: runs only on request
        qint64 IntervalSeconds = 0; // 0: runs once when due
        bool Running = false;
    };

    explicit Scheduler(ScheduleClock AClock = {}, QObject* parent = nullptr);
    ~Scheduler() override;

    // Takes the component's actions as they are now; the component's destruction removes them.
    // Raises EQVException when an identifier is registered already.
    void RegisterPlugin(TSchedulePlugin* APlugin);
    void UnregisterPlugin(TSchedulePlugin* APlugin);

    QList<ScheduledAction> Actions() const;
    // ANextDue invalid: not scheduled. Raises EQVException for an unknown identifier or a negative
    // interval.
    void SetSchedule(const QString& AIdentifier, const QDateTime& ANextDue, qint64 AIntervalSeconds);

    // Runs the action now, whatever its schedule, and answers its success. Raises EQVException for
    // an unknown identifier and EQVUserMessageException while the action is running.
    bool ExecuteNow(const QString& AIdentifier);
    // Runs every action whose due time has come, in registration order; a repeating action's next due
    // time moves by whole intervals past now (missed runs are not made up), a one-time action is
    // unscheduled. Answers how many ran.
    int ExecuteDue();

    // Checks for due actions every AIntervalMs milliseconds.
    void Start(int AIntervalMs = 1000);
    void Stop();

    ScheduleLog& Log();

signals:
    void ActionExecuted(const QString& AIdentifier, bool ASuccess);

private:
    struct Entry {
        QPointer<TSchedulePlugin> Plugin;
        TSchedulePlugin* Key = nullptr; // for removal while the component is being destroyed
        QString Identifier;
        QDateTime NextDue;
        qint64 IntervalSeconds = 0;
        QVariant Data;
        bool Running = false;
    };

    qsizetype IndexOf(const QString& AIdentifier) const;
    bool Run(const QString& AIdentifier);
    void TimerTick();
    void AssertOwnThread() const;

    ScheduleClock FClock;
    ScheduleLog FLog;
    QList<Entry> FEntries;
    QTimer FTimer;
};

} // namespace hostapi
