#pragma once

#include "HostApiExport.h"

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QVariant>

namespace hostapi {

// The entries of a lookup: the key and display field of every row of a schema, ordered by the
// display text, read with one SELECT per Refresh; optionally an empty entry (key null) first.
// Qt::DisplayRole is the display text, KeyRole the key.
class HOSTAPI_EXPORT QVLookupListModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int KeyRole = Qt::UserRole;

    explicit QVLookupListModel(QObject* AParent = nullptr);

    // Checked against the field schema; takes effect on the next Refresh.
    void SetLookup(const QString& ASchemaName, const QString& AKeyField = QStringLiteral("id"),
                   const QString& ADisplayField = QStringLiteral("name"));
    QString SchemaName() const { return FSchemaName; }
    QString KeyField() const { return FKeyField; }
    QString DisplayField() const { return FDisplayField; }

    bool EmptyEntry() const { return FEmptyEntry; }
    void SetEmptyEntry(bool AValue, const QString& AText = {});

    // Reads the entries again; throws on database errors.
    void Refresh();

    // Row of the key (the empty entry for a null key); -1 when not found.
    int RowOfKey(const QVariant& AKey) const;
    QVariant KeyAt(int ARow) const;

    int rowCount(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& AIndex) const override;

private:
    struct TEntry {
        QVariant Key;
        QString Text;
    };
    void Reset(QList<TEntry> AEntries);
    QList<TEntry> WithEmptyEntry(QList<TEntry> AEntries) const;

    QString FSchemaName;
    QString FKeyField;
    QString FDisplayField;
    bool FEmptyEntry = false;
    QString FEmptyText;
    QList<TEntry> FLoaded; // without the empty entry
    QList<TEntry> FEntries;
};

} // namespace hostapi
