#pragma once

#include "HostApiExport.h"
#include "SchedulePlugin.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>

namespace hostapi {

struct HOSTAPI_EXPORT ScheduleLogEntry {
    QDateTime Time;
    QString Caption;
    MessageKind Kind = MessageKind::Info;
    QString Text;
};

// The scheduler's log: every report of every action run, as a table the host window shows
// (columns time, action, kind, text; headers and kinds in the current language of the translation
// table "ScheduleLog", following every switch of the process language). Lives on the GUI thread; a
// report from another thread is queued to it.
class HOSTAPI_EXPORT ScheduleLog : public QAbstractTableModel, public IScheduleExecuteCallBack {
    Q_OBJECT
public:
    enum Column { colTime = 0, colCaption = 1, colKind = 2, colText = 3, ColumnCount = 4 };

    explicit ScheduleLog(ScheduleClock AClock = {}, QObject* parent = nullptr);
    ~ScheduleLog() override;

    void Report(const QString& ACaption, MessageKind AKind, const QString& AText) override;
    QList<ScheduleLogEntry> Entries() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void LanguageChanged();
    void Append(const ScheduleLogEntry& AEntry);

    ScheduleClock FClock;
    QList<ScheduleLogEntry> FEntries;
    int FLanguageListener = 0;
};

} // namespace hostapi
