#pragma once

#include "MessageSink.h"
#include "VRNLang.h"

#include <QAbstractTableModel>
#include <QList>

namespace qvhost {

// The messages of a message sink as a table for the host's log view (columns time, kind, caption, text;
// headers and kinds in the current language). Follows the sink: messages reported on other threads
// arrive queued. Lives on the GUI thread.
class MessageLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { colTime = 0, colKind = 1, colCaption = 2, colText = 3, ColumnCount = 4 };

    explicit MessageLogModel(hostapi::MessageSink& ASink, QObject* parent = nullptr);
    ~MessageLogModel() override;

    // Headers and kinds in ALangName.
    void SetLanguage(const QString& ALangName);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // Takes the sink's entries that are not shown yet.
    void FetchNewEntries();
    QString KindText(hostapi::MessageKind AKind) const;

    hostapi::MessageSink& FSink;
    hostapi::TVRNLang FLang;
    QList<hostapi::MessageSinkEntry> FEntries;
};

} // namespace qvhost
