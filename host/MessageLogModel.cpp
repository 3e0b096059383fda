#include "MessageLogModel.h"

#include "ExceptionDisplay.h"

namespace qvhost {

MessageLogModel::MessageLogModel(hostapi::MessageSink& ASink, QObject* parent)
    : QAbstractTableModel(parent), FSink(ASink), FLang(QStringLiteral("MessageLogModel")) {
    FEntries = FSink.Entries();
    // The sink emits on the reporting thread; the queued call reads its entries on this one.
    connect(&FSink, &hostapi::MessageSink::MessageAdded, this, &MessageLogModel::FetchNewEntries,
            Qt::QueuedConnection);
}

MessageLogModel::~MessageLogModel() = default;

void MessageLogModel::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!FEntries.isEmpty())
        emit dataChanged(index(0, colKind), index(int(FEntries.size()) - 1, colKind));
}

void MessageLogModel::FetchNewEntries() {
    try {
        const QList<hostapi::MessageSinkEntry> entries = FSink.Entries();
        if (entries.size() <= FEntries.size())
            return; // taken with an earlier notification
        beginInsertRows(QModelIndex(), int(FEntries.size()), int(entries.size()) - 1);
        FEntries = entries;
        endInsertRows();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
}

QString MessageLogModel::KindText(hostapi::MessageKind AKind) const {
    switch (AKind) {
    case hostapi::MessageKind::Info:
        return FLang.Text(QStringLiteral("IDS_KindInfo"));
    case hostapi::MessageKind::Warning:
        return FLang.Text(QStringLiteral("IDS_KindWarning"));
    case hostapi::MessageKind::Error:
        return FLang.Text(QStringLiteral("IDS_KindError"));
    }
    return QString::number(int(AKind));
}

int MessageLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FEntries.size());
}

int MessageLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MessageLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= FEntries.size() || role != Qt::DisplayRole)
        return {};
    const hostapi::MessageSinkEntry& entry = FEntries.at(index.row());
    switch (index.column()) {
    case colTime:
        return entry.Time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case colKind:
        return KindText(entry.Kind);
    case colCaption:
        return entry.Caption;
    case colText:
        return entry.Text;
    default:
        return {};
    }
}

QVariant MessageLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case colTime:
        return FLang.Text(QStringLiteral("IDS_ColTime"));
    case colKind:
        return FLang.Text(QStringLiteral("IDS_ColKind"));
    case colCaption:
        return FLang.Text(QStringLiteral("IDS_ColCaption"));
    case colText:
        return FLang.Text(QStringLiteral("IDS_ColText"));
    default:
        return {};
    }
}

} // namespace qvhost
