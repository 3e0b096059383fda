#pragma once

#include "HostApiExport.h"
#include "QVRecordSet.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

#include <functional>

namespace hostapi {

// TColor "no colour".
inline constexpr int clNone = 0x1FFFFFFF;

// A TColor value (0x00BBGGRR) as a colour; invalid for clNone and negative values.
HOSTAPI_EXPORT QColor ColorFromTColor(int AColor);

// A field's pick list ("n=text" lines) as (key text, display text) pairs.
HOSTAPI_EXPORT QList<QPair<QString, QString>> PickListItems(const QString& AListData);
// A value as the record-set views show it: its pick-list text when the list has its key, else the
// value as plain text (dates and numbers in the current locale).
HOSTAPI_EXPORT QString ValueDisplayText(const QVariant& AValue,
                                        const QList<QPair<QString, QString>>& APickList);

// One column of a record-set view: a loaded field ("field" or a related "schema.field").
struct HOSTAPI_EXPORT TQVGridColumn {
    QString FieldName;
    QString Caption;       // empty: the field's caption from the field schema
    bool ReadOnly = false; // related fields and the id are always read-only
};

// Table model over a record set (one row per record, one column per TQVGridColumn), or, in memory
// mode, over rows held by the model itself with the fields of a schema (a mirror that is not a
// table). Values are shown as plain text; fields with a pick list show its texts. Edits are posted
// to the database at once (memory mode: kept in the row). The role Qt::UserRole answers the raw
// value, Qt::UserRole + 1 the row's record id.
class HOSTAPI_EXPORT QVRecordSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int RawValueRole = Qt::UserRole;
    static constexpr int RecordIDRole = Qt::UserRole + 1;

    // Before every load: the owner may set filters or schema variables on the record set.
    using TBeforeLoadEvent = std::function<void(TQVRecordSet& ARecordSet)>;
    using TNotifyEvent = std::function<void()>;
    // A field of a row was changed through the model (already posted in record-set mode).
    using TFieldChangedEvent =
        std::function<void(int ARow, const QString& AFieldName, const QVariant& AValue)>;
    // The current row changed (SetCurrentRow); -1 when there is none.
    using TRecordChangedEvent = std::function<void(int ARow)>;
    // Background of a row as TColor; clNone keeps the view's colour.
    using TRowColorEvent = std::function<int(int ARow)>;
    using TRowIconEvent = std::function<QIcon(int ARow)>;

    // Record-set mode; the record set is the caller's and outlives the model.
    explicit QVRecordSetModel(TQVRecordSet* ARecordSet, QObject* AParent = nullptr);
    // Memory mode over the fields of the schema (checked against the field schema).
    static QVRecordSetModel* CreateMemory(const QString& ASchemaName, QObject* AParent = nullptr);

    bool MemoryMode() const { return FRecordSet == nullptr; }
    QString SchemaName() const { return FSchemaName; }
    TQVRecordSet* RecordSet() const { return FRecordSet; }

    // Columns shown; without a call, every loaded field but the id. Unknown fields throw.
    void SetColumns(const QList<TQVGridColumn>& AColumns);
    const QList<TQVGridColumn>& Columns() const { return FColumns; }
    int ColumnOfField(const QString& AFieldName) const; // -1 when not shown
    QString FieldNameOf(int AColumn) const;
    // The pick list of a column's field as (key text, display text); empty for other fields.
    QList<QPair<QString, QString>> PickListOf(int AColumn) const;

    // Opens or refreshes the record set (one SELECT) and resets the model; reads the pick lists
    // again. Memory mode: only reads the pick lists again.
    void Refresh();

    // The row's value of any loaded field, and its record id (-1 in memory mode).
    QVariant Value(int ARow, const QString& AFieldName) const;
    qint64 RecordID(int ARow) const;
    // Changes a field as an edit in the view does: posted at once; throws on failure.
    void SetValue(int ARow, const QString& AFieldName, const QVariant& AValue);
    // Deletes the rows (record-set mode: from the database); throws on failure.
    void DeleteRows(QList<int> ARows);

    // Memory mode: rows by field name (missing fields are null).
    void AppendMemoryRow(const QVariantMap& AValues);
    void ClearMemoryRows();

    void SetCurrentRow(int ARow);
    int CurrentRow() const { return FCurrentRow; }

    // The display text of a value of the field: the pick-list text, else the value as text.
    QString DisplayText(const QString& AFieldName, const QVariant& AValue) const;

    void SetOnBeforeLoad(TBeforeLoadEvent AEvent) { FOnBeforeLoad = std::move(AEvent); }
    void SetOnAfterRefresh(TNotifyEvent AEvent) { FOnAfterRefresh = std::move(AEvent); }
    void SetOnFieldChanged(TFieldChangedEvent AEvent) { FOnFieldChanged = std::move(AEvent); }
    void SetOnRecordChanged(TRecordChangedEvent AEvent) { FOnRecordChanged = std::move(AEvent); }
    void SetOnGetRowColor(TRowColorEvent AEvent);
    void SetOnGetRowIcon(TRowIconEvent AEvent);

    int rowCount(const QModelIndex& AParent = {}) const override;
    int columnCount(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation,
                        int ARole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& AIndex) const override;
    bool setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole = Qt::EditRole) override;

private:
    struct TColumnInfo {
        QString Caption;
        bool Editable = false;
        QList<QPair<QString, QString>> PickList; // key text -> display text
    };

    QVRecordSetModel(const QString& ASchemaName, QObject* AParent);
    QStringList LoadedFields() const;
    TColumnInfo DescribeColumn(const TQVGridColumn& AColumn) const;
    void DescribeColumns();
    void PostValue(int ARow, const QString& AFieldName, const QVariant& AValue);
    const TColumnInfo* InfoOfField(const QString& AFieldName) const;

    TQVRecordSet* FRecordSet = nullptr;
    QString FSchemaName;
    QList<TQVGridColumn> FColumns;
    QList<TColumnInfo> FInfo;
    bool FColumnsGiven = false;
    QStringList FMemoryFields;
    QList<QVariantList> FMemoryRows;
    int FCurrentRow = -1;

    TBeforeLoadEvent FOnBeforeLoad;
    TNotifyEvent FOnAfterRefresh;
    TFieldChangedEvent FOnFieldChanged;
    TRecordChangedEvent FOnRecordChanged;
    TRowColorEvent FOnGetRowColor;
    TRowIconEvent FOnGetRowIcon;
};

} // namespace hostapi
