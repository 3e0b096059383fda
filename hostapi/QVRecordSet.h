#pragma once

#include "HostApiExport.h"
#include "QVFilter.h"

#include <QFlags>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

class QSqlQuery;

namespace hostapi {

// Options of a record set (bit = 1 << ordinal).
enum TQVRecordSetOption : int {
    // ordinal 0, on by default: after Post the record is read again from the database, so that
    // column defaults and values the database sets are seen.
    rsoRefreshAfterPost = 0x1,
    // ordinal 1, on by default: Delete asks the delete notification for dependents
    // (IQVSQLDeleteNotify::CanAddDependents answers True); off, dependents are skipped.
    rsoDeleteDependents = 0x2,
    // ordinal 2: the record set only reads; Append, Edit and Delete are refused.
    rsoReadOnly = 0x4
};
Q_DECLARE_FLAGS(TQVRecordSetOptions, TQVRecordSetOption)

enum TQVRecordSetState : int { rssInactive = 0, rssBrowse = 1, rssEdit = 2, rssInsert = 3 };

struct HOSTAPI_EXPORT TQVOrderField {
    QString FieldName; // "field" or "schema.field"
    bool Descending = false;
};

// A record set on a named schema. Open reads every selected row into memory (the calling thread's
// connection; the object itself belongs to one thread). Records are numbered from 0 in the order
// asked for (by id when no order is given; NULL sorts as the largest value on every backend).
//
// Values by field name are typed by the field's declared type: null, qint64, double, QString,
// QDateTime or QByteArray; empty text and empty bytes read as null. Field names are checked against
// the field schema; qualified names of related schemas can be loaded with AddRelatedField (read-only).
//
// Changes: Append or Edit, SetFieldValue, then Post (insert or update of the changed fields) or
// Cancel. Delete removes the current record through the delete notification.
class HOSTAPI_EXPORT TQVRecordSet {
public:
    // Whether a field of the schema is loaded; the id is always loaded.
    using TGetFieldIsRequiredEvent = std::function<bool(const QString& AFieldName)>;

    explicit TQVRecordSet(const QString& schemaName = {});

    QString SchemaName() const { return FSchemaName; }
    void SetSchemaName(const QString& schemaName); // only while closed

    TQVFilterList& Filters() { return FFilters; }
    const TQVFilterList& Filters() const { return FFilters; }

    // Schema variables: values by name (case-insensitive) that callers keep with the record set and
    // pass to its filters.
    void SetSchemaVariable(const QString& name, const QVariant& value);
    QVariant SchemaVariable(const QString& name) const; // null when not set
    QStringList SchemaVariableNames() const;

    // Orders by the field; text by the Unicode collation "und-x-icu" on both backends ("Bäckerei"
    // before "Becker"). NULL, and for text the empty text, sorts as the largest value: last when
    // ascending, first when descending.
    void AddOrder(const QString& fieldName, bool descending = false);
    void ClearOrder() { FOrder.clear(); }
    const QList<TQVOrderField>& Order() const { return FOrder; }

    TQVRecordSetOptions Options() const { return FOptions; }
    void SetOptions(TQVRecordSetOptions options) { FOptions = options; }

    TGetFieldIsRequiredEvent OnGetFieldIsRequired() const { return FOnGetFieldIsRequired; }
    void SetOnGetFieldIsRequired(TGetFieldIsRequiredEvent callback) {
        FOnGetFieldIsRequired = std::move(callback);
    }

    // Loads a field of a related schema ("pelm_addresses_det.isactive") beside the schema's own.
    void AddRelatedField(const QString& qualifiedName);

    // Fixed fields: set on every appended record and not changeable. Defaults: set on every appended
    // record. Both are checked against the selected fields on Append.
    void SetFixedField(const QString& fieldName, const QVariant& value);
    void SetFieldDefault(const QString& fieldName, const QVariant& value);

    void Open();
    // Paged reading of a large selection. SelectRecordIDs answers the id of every record the filters
    // select, in the record set's order, without loading the records; OpenRecords then loads only
    // the records of AIDs that the filters still select, in the order of AIDs (a record deleted or no
    // longer selected meanwhile is left out). Refresh reads the same page again.
    QList<qint64> SelectRecordIDs();
    void OpenRecords(const QList<qint64>& AIDs);
    // Reads the rows again and stays on the record with the same id (else on the same number).
    void Refresh();
    void Close();
    bool Active() const { return FState != rssInactive; }
    TQVRecordSetState State() const { return FState; }

    int RecordCount() const { return FRecords.size(); }
    void First();
    void Next();
    bool Eof() const { return FRecNo >= FRecords.size(); }
    int RecNo() const { return FRecNo; }
    void SetRecNo(int recNo);

    // Loaded fields in order: the schema's selected fields, then the related ones.
    QStringList FieldNames() const;
    bool HasField(const QString& fieldName) const;
    QVariant FieldValue(const QString& fieldName) const;
    // The value of a field in record recNo, without moving to it.
    QVariant FieldValueAt(int recNo, const QString& fieldName) const;
    bool IsNull(const QString& fieldName) const;
    // Database id of the current record; -1 for an appended record not yet posted.
    qint64 RecordID() const;
    // The same for record recNo, without moving to it.
    qint64 RecordIDAt(int recNo) const;

    void Append();
    void Edit();
    void SetFieldValue(const QString& fieldName, const QVariant& value);
    void Post();
    void Cancel();
    void Delete();

private:
    struct TColumn {
        QString Name; // as asked for: the field name, or the qualified name
        TResolvedField Field;
    };
    struct TRecord {
        qint64 ID = -1;
        QVariantList Values;
        QList<bool> Modified;
    };

    void RequireActive() const;
    void RequireBrowse(const char* action) const;
    void RequireWritable(const char* action) const;
    const TRecord& Current() const;
    int ColumnIndex(const QString& fieldName) const;
    void BuildColumns();
    QString SelectSql(const QString& where, QStringList joins, bool idOnly = false) const;
    TRecord ReadRecord(const QSqlQuery& q) const;
    void Load();
    void ReloadCurrent();
    QVariant Typed(int column, const QVariant& value) const;

    QString FSchemaName;
    TQVFilterList FFilters;
    QList<QPair<QString, QVariant>> FVariables;
    QList<TQVOrderField> FOrder;
    TQVRecordSetOptions FOptions = TQVRecordSetOptions(rsoRefreshAfterPost | rsoDeleteDependents);
    TGetFieldIsRequiredEvent FOnGetFieldIsRequired;
    QStringList FRelatedFields;
    QList<QPair<QString, QVariant>> FFixedFields;
    QList<QPair<QString, QVariant>> FDefaults;

    QList<TColumn> FColumns;          // column 0 is the id
    // Lower-case name -> column, and the names asked for in other letter cases (added by ColumnIndex).
    mutable QHash<QString, int> FColumnIndex;
    QList<bool> FNoneModified; // False for every column
    QList<TRecord> FRecords;
    bool FPaged = false;    // loaded by OpenRecords: only the ids of FPageIDs
    QList<qint64> FPageIDs;
    int FRecNo = 0;
    TQVRecordSetState FState = rssInactive;
    TRecord FEditBackup;
};

} // namespace hostapi

Q_DECLARE_OPERATORS_FOR_FLAGS(hostapi::TQVRecordSetOptions)
