#include "Scheduler.h"

#include "ExceptionDisplay.h"
#include "OwnedText.h"
#include "QVException.h"
#include "VRNLang.h"

#include <QThread>

namespace hostapi {

Scheduler::Scheduler(ScheduleClock AClock, QObject* parent)
    : QObject(parent),
      FClock(AClock ? std::move(AClock) : ScheduleClock([] { return QDateTime::currentDateTime(); })),
      FLog(FClock) {
    connect(&FTimer, &QTimer::timeout, this, &Scheduler::TimerTick);
}

Scheduler::~Scheduler() = default;

void Scheduler::AssertOwnThread() const {
    QV_ASSERT(QThread::currentThread() == thread());
}

void Scheduler::RegisterPlugin(TSchedulePlugin* APlugin) {
    AssertOwnThread();
    QV_ASSERT(APlugin);
    for (const Entry& entry : FEntries)
        QV_ASSERT(entry.Key != APlugin);
    QList<Entry> added;
    for (int i = 0; i < APlugin->ActionCount(); ++i) {
        const QString identifier = APlugin->Action(i).Identifier;
        if (IndexOf(identifier) >= 0)
            throw EQVException(QStringLiteral("Scheduler action %1 is registered twice").arg(identifier));
        Entry entry;
        entry.Plugin = APlugin;
        entry.Key = APlugin;
        entry.Identifier = OwnedCopy(identifier);
        added.append(entry);
    }
    FEntries.append(added);
    connect(APlugin, &QObject::destroyed, this, [this, APlugin] {
        FEntries.removeIf([APlugin](const Entry& entry) { return entry.Key == APlugin; });
    });
}

void Scheduler::UnregisterPlugin(TSchedulePlugin* APlugin) {
    AssertOwnThread();
    FEntries.removeIf([APlugin](const Entry& entry) { return entry.Key == APlugin; });
    disconnect(APlugin, nullptr, this, nullptr);
}

QList<Scheduler::ScheduledAction> Scheduler::Actions() const {
    AssertOwnThread();
    QList<ScheduledAction> result;
    for (const Entry& entry : FEntries) {
        if (!entry.Plugin)
            continue;
        const int index = entry.Plugin->IndexOfIdentifier(entry.Identifier);
        result.append({entry.Identifier, entry.Plugin->Action(index).Caption, entry.NextDue,
                       entry.IntervalSeconds, entry.Running});
    }
    return result;
}

qsizetype Scheduler::IndexOf(const QString& AIdentifier) const {
    const QString identifier = TSchedulePlugin::NormalizeIdentifier(AIdentifier);
    for (qsizetype i = 0; i < FEntries.size(); ++i)
        if (FEntries.at(i).Identifier == identifier && FEntries.at(i).Plugin)
            return i;
    return -1;
}

void Scheduler::SetSchedule(const QString& AIdentifier, const QDateTime& ANextDue, qint64 AIntervalSeconds) {
    AssertOwnThread();
    const qsizetype index = IndexOf(AIdentifier);
    if (index < 0)
        throw EQVException(QStringLiteral("Unknown scheduler action %1").arg(AIdentifier));
    if (AIntervalSeconds < 0)
        throw EQVException(QStringLiteral("Negative interval for scheduler action %1").arg(AIdentifier));
    FEntries[index].NextDue = ANextDue;
    FEntries[index].IntervalSeconds = AIntervalSeconds;
}

bool Scheduler::ExecuteNow(const QString& AIdentifier) {
    AssertOwnThread();
    const qsizetype index = IndexOf(AIdentifier);
    if (index < 0)
        throw EQVException(QStringLiteral("Unknown scheduler action %1").arg(AIdentifier));
    if (FEntries.at(index).Running) {
        static TVRNLang lang(QStringLiteral("Scheduler"));
        const TSchedulePlugin* plugin = FEntries.at(index).Plugin;
        const QString caption =
            plugin->Action(plugin->IndexOfIdentifier(FEntries.at(index).Identifier)).Caption;
        throw EQVUserMessageException(
            lang.TextIn(QStringLiteral("IDS_ActionRunning"), TVRNLang::CurrentLanguage()).arg(caption));
    }
    return Run(FEntries.at(index).Identifier);
}

int Scheduler::ExecuteDue() {
    AssertOwnThread();
    const QDateTime now = FClock();
    QStringList due;
    for (const Entry& entry : FEntries)
        if (entry.Plugin && !entry.Running && entry.NextDue.isValid() && entry.NextDue <= now)
            due.append(entry.Identifier);
    int ran = 0;
    for (const QString& identifier : due) {
        qsizetype index = IndexOf(identifier);
        if (index < 0 || FEntries.at(index).Running)
            continue; // removed or entered by an earlier action's nested event loop
        Entry& entry = FEntries[index];
        if (entry.IntervalSeconds > 0) {
            const qint64 behind = entry.NextDue.secsTo(now);
            entry.NextDue =
                entry.NextDue.addSecs((behind / entry.IntervalSeconds + 1) * entry.IntervalSeconds);
        } else {
            entry.NextDue = QDateTime();
        }
        Run(identifier);
        ++ran;
    }
    return ran;
}

bool Scheduler::Run(const QString& AIdentifier) {
    qsizetype index = IndexOf(AIdentifier);
    QV_ASSERT(index >= 0);
    QPointer<TSchedulePlugin> plugin = FEntries.at(index).Plugin;
    const int actionIndex = plugin->IndexOfIdentifier(AIdentifier);
    const QString caption = plugin->Action(actionIndex).Caption;
    QVariant data = FEntries.at(index).Data;
    FEntries[index].Running = true;

    bool success = false;
    try {
        plugin->Execute(actionIndex, FLog, data, success);
    } catch (...) {
        success = false;
        FLog.Report(caption, MessageKind::Error,
                    TVRNExceptionUtils::Describe(std::current_exception(), {}).Message);
    }

    index = IndexOf(AIdentifier); // the entry list may have changed while the action ran
    if (index >= 0) {
        FEntries[index].Running = false;
        FEntries[index].Data = data;
    }
    emit ActionExecuted(AIdentifier, success);
    return success;
}

void Scheduler::TimerTick() {
    try {
        ExecuteDue();
    } catch (...) {
        TVRNExceptionUtils::ShowCurrent();
    }
}

void Scheduler::Start(int AIntervalMs) {
    AssertOwnThread();
    QV_ASSERT(AIntervalMs > 0);
    FTimer.start(AIntervalMs);
}

void Scheduler::Stop() {
    AssertOwnThread();
    FTimer.stop();
}

ScheduleLog& Scheduler::Log() {
    return FLog;
}

} // namespace hostapi
