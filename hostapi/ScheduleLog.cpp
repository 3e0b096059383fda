#include "ScheduleLog.h"

#include "OwnedText.h"
#include "QVException.h"
#include "VRNLang.h"

#include <QMetaObject>
#include <QThread>

namespace hostapi {

namespace {

QString Tr(const QString& id) {
    static TVRNLang lang(QStringLiteral("ScheduleLog"));
    return lang.TextIn(id, TVRNLang::CurrentLanguage());
}

} // namespace

ScheduleLog::ScheduleLog(ScheduleClock AClock, QObject* parent)
    : QAbstractTableModel(parent),
      FClock(AClock ? std::move(AClock) : ScheduleClock([] { return QDateTime::currentDateTime(); })),
      FLanguageListener(TVRNLang::AddLanguageListener([this](const QString&) { LanguageChanged(); })) {}

ScheduleLog::~ScheduleLog() {
    TVRNLang::RemoveLanguageListener(FLanguageListener);
}

void ScheduleLog::Report(const QString& ACaption, MessageKind AKind, const QString& AText) {
    QV_ASSERT(AKind == MessageKind::Info || AKind == MessageKind::Warning || AKind == MessageKind::Error);
    // The log outlives the module that reports: it keeps copies of the texts.
    const ScheduleLogEntry entry{FClock(), OwnedCopy(ACaption), AKind, OwnedCopy(AText)};
    if (QThread::currentThread() == thread())
        Append(entry);
    else
        QMetaObject::invokeMethod(
            this, [this, entry] { Append(entry); }, Qt::QueuedConnection);
}

void ScheduleLog::Append(const ScheduleLogEntry& AEntry) {
    const int row = int(FEntries.size());
    beginInsertRows(QModelIndex(), row, row);
    FEntries.append(AEntry);
    endInsertRows();
}

QList<ScheduleLogEntry> ScheduleLog::Entries() const {
    QV_ASSERT(QThread::currentThread() == thread());
    return FEntries;
}

int ScheduleLog::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FEntries.size());
}

int ScheduleLog::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ScheduleLog::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= FEntries.size() || role != Qt::DisplayRole)
        return {};
    const ScheduleLogEntry& entry = FEntries.at(index.row());
    switch (index.column()) {
    case colTime:
        return entry.Time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case colCaption:
        return entry.Caption;
    case colKind:
        switch (entry.Kind) {
        case MessageKind::Info:
            return Tr(QStringLiteral("IDS_KindInfo"));
        case MessageKind::Warning:
            return Tr(QStringLiteral("IDS_KindWarning"));
        case MessageKind::Error:
            return Tr(QStringLiteral("IDS_KindError"));
        }
        return {};
    case colText:
        return entry.Text;
    default:
        return {};
    }
}

QVariant ScheduleLog::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case colTime:
        return Tr(QStringLiteral("IDS_ColTime"));
    case colCaption:
        return Tr(QStringLiteral("IDS_ColAction"));
    case colKind:
        return Tr(QStringLiteral("IDS_ColKind"));
    case colText:
        return Tr(QStringLiteral("IDS_ColText"));
    default:
        return {};
    }
}

void ScheduleLog::LanguageChanged() {
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!FEntries.isEmpty())
        emit dataChanged(index(0, colKind), index(int(FEntries.size()) - 1, colKind));
}

} // namespace hostapi
