#pragma once

#include "HostApiExport.h"
#include "MessageSink.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

namespace hostapi {

// Time source of the scheduler; tests inject their own.
using ScheduleClock = std::function<QDateTime()>;

// What a scheduler action reports while it runs: (action caption, kind, text), shown in the host's
// scheduler log.
class HOSTAPI_EXPORT IScheduleExecuteCallBack {
public:
    virtual ~IScheduleExecuteCallBack();
    virtual void Report(const QString& ACaption, MessageKind AKind, const QString& AText) = 0;
};

struct HOSTAPI_EXPORT TScheduleAction {
    QString Caption;
    QString Identifier; // GUID text "{XXXXXXXX-...}", upper case
};

// A data module's scheduler component: the actions it offers the host's scheduler and the event that
// runs one. Owned by the data module as its direct QObject child, where the host finds it
// (TClientPluginBase::FindComponents) and registers it with its Scheduler once the data module and
// its actions are made.
class HOSTAPI_EXPORT TSchedulePlugin : public QObject {
    Q_OBJECT
public:
    // AData and ASuccess are in-out: the scheduler keeps AData between runs of the action and takes
    // ASuccess (False when it comes in) as the run's outcome.
    using TScheduleExecuteEvent = std::function<void(TSchedulePlugin* Sender, int Index,
                                                     IScheduleExecuteCallBack& AScheduleExecuteCallBack,
                                                     QVariant& AData, bool& ASuccess)>;

    explicit TSchedulePlugin(QObject* AOwner = nullptr);
    ~TSchedulePlugin() override;

    // Answers the new action's index. The identifier must be a GUID not used by another action of
    // this component; raises EQVException otherwise.
    int AddAction(const QString& ACaption, const QString& AIdentifier);
    int ActionCount() const;
    TScheduleAction Action(int AIndex) const; // EQVAssertion for an index out of range
    // -1 when no action has it.
    int IndexOfIdentifier(const QString& AIdentifier) const;

    TScheduleExecuteEvent OnExecute;

    // Runs action AIndex through OnExecute (EQVAssertion when OnExecute is unset).
    void Execute(int AIndex, IScheduleExecuteCallBack& AScheduleExecuteCallBack, QVariant& AData,
                 bool& ASuccess);

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" upper case; raises EQVException for a text that is
    // not a GUID.
    static QString NormalizeIdentifier(const QString& AIdentifier);

private:
    QList<TScheduleAction> FActions;
};

} // namespace hostapi
