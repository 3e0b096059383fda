#include "QVRecordSet.h"

#include "DBFieldSchema.h"
#include "Database.h"
#include "QVException.h"
#include "QVSQLDeleteNotify.h"
#include "SqlUnicode.h"

#include <QSqlQuery>

#include <vector>

namespace hostapi {

namespace {

[[noreturn]] void Fail(const QString& message) {
    throw EQVDatabaseException(message);
}

const QString kId = QStringLiteral("id");

int IndexOfPair(const QList<QPair<QString, QVariant>>& list, const QString& name) {
    for (int i = 0; i < list.size(); ++i)
        if (list[i].first.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void SetPair(QList<QPair<QString, QVariant>>& list, const QString& name, const QVariant& value) {
    const int i = IndexOfPair(list, name);
    if (i < 0)
        list.append({name, value});
    else
        list[i].second = value;
}

} // namespace

TQVRecordSet::TQVRecordSet(const QString& schemaName) : FSchemaName(schemaName) {}

void TQVRecordSet::SetSchemaName(const QString& schemaName) {
    if (Active())
        Fail(QStringLiteral("The schema of an open record set cannot change"));
    FSchemaName = schemaName;
}

void TQVRecordSet::SetSchemaVariable(const QString& name, const QVariant& value) {
    SetPair(FVariables, name, value);
}

QVariant TQVRecordSet::SchemaVariable(const QString& name) const {
    const int i = IndexOfPair(FVariables, name);
    return i < 0 ? QVariant() : FVariables[i].second;
}

QStringList TQVRecordSet::SchemaVariableNames() const {
    QStringList names;
    for (const auto& v : FVariables)
        names << v.first;
    return names;
}

void TQVRecordSet::AddOrder(const QString& fieldName, bool descending) {
    FOrder.append({fieldName, descending});
}

void TQVRecordSet::AddRelatedField(const QString& qualifiedName) {
    if (Active())
        Fail(QStringLiteral("Fields cannot be added to an open record set"));
    FRelatedFields << qualifiedName;
}

void TQVRecordSet::SetFixedField(const QString& fieldName, const QVariant& value) {
    SetPair(FFixedFields, fieldName, value);
}

void TQVRecordSet::SetFieldDefault(const QString& fieldName, const QVariant& value) {
    SetPair(FDefaults, fieldName, value);
}

// ---- opening and reading ---------------------------------------------------------------------

void TQVRecordSet::BuildColumns() {
    const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(FSchemaName);
    const TDBFieldDef* id = schema.Definition().FieldByName(kId);
    if (!id)
        Fail(QStringLiteral("The schema %1 has no record id").arg(schema.SchemaName()));
    QList<TColumn> columns;
    columns.append({id->Name, TDBFieldSchema::Instance().ResolveField(schema.SchemaName(), id->Name)});
    for (const TDBFieldDef& f : schema.Definition().Fields) {
        if (f.Name == id->Name)
            continue;
        if (FOnGetFieldIsRequired && !FOnGetFieldIsRequired(f.Name))
            continue;
        columns.append({f.Name, TDBFieldSchema::Instance().ResolveField(schema.SchemaName(), f.Name)});
    }
    for (const QString& name : FRelatedFields) {
        const TResolvedField rf = TDBFieldSchema::Instance().ResolveField(schema.SchemaName(), name);
        if (!rf.Related)
            Fail(QStringLiteral("%1 is no field of a related schema of %2").arg(name, schema.SchemaName()));
        columns.append({name.toLower(), rf});
    }
    FColumns = columns;
    FColumnIndex.clear();
    for (int i = 0; i < FColumns.size(); ++i)
        FColumnIndex.insert(FColumns[i].Name.toLower(), i);
    // One list shared by every record read (copied on the first change).
    FNoneModified = QList<bool>(FColumns.size(), false);
}

QString TQVRecordSet::SelectSql(const QString& where, QStringList joins, bool idOnly) const {
    QStringList cols;
    for (const TColumn& c : FColumns) {
        cols << FieldColumnSql(c.Field, QStringLiteral("t"), joins);
        if (idOnly)
            break;
    }
    QStringList order;
    for (const TQVOrderField& o : FOrder) {
        const TResolvedField rf = TDBFieldSchema::Instance().ResolveField(FSchemaName, o.FieldName);
        const QString col = FieldColumnSql(rf, QStringLiteral("t"), joins);
        const QString dir = o.Descending ? QStringLiteral(" DESC") : QStringLiteral(" ASC");
        // NULL, and for text the empty text too, sorts as the largest value; text is ordered by the
        // one Unicode collation of both backends.
        if (rf.Type == TFieldDataType::fdtText)
            order << QStringLiteral("CASE WHEN %1 IS NULL OR %1 = '' THEN 1 ELSE 0 END%2").arg(col, dir)
                  << CollateSql(QStringLiteral("NULLIF(%1, '')").arg(col)) + dir;
        else
            order << QStringLiteral("CASE WHEN %1 IS NULL THEN 1 ELSE 0 END%2").arg(col, dir) << col + dir;
    }
    order << QStringLiteral("t.") + Database::QuoteIdentifier(FColumns.first().Field.Field);
    QString sql =
        QStringLiteral("SELECT %1 FROM %2 t")
            .arg(cols.join(QStringLiteral(", ")), Database::QuoteIdentifier(FColumns.first().Field.Schema));
    for (const QString& j : joins)
        sql += QLatin1Char(' ') + j;
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    return sql + QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", "));
}

TQVRecordSet::TRecord TQVRecordSet::ReadRecord(const QSqlQuery& q) const {
    TRecord r;
    r.ID = q.value(0).toLongLong();
    r.Values.reserve(FColumns.size());
    for (int i = 0; i < FColumns.size(); ++i) {
        QVariant raw = q.value(i);
        // A text that is not empty is kept as read (what the conversion would answer).
        if (FColumns[i].Field.Type == TFieldDataType::fdtText && raw.metaType().id() == QMetaType::QString &&
            !static_cast<const QString*>(raw.constData())->isEmpty())
            r.Values << std::move(raw);
        else
            r.Values << FromDatabaseValue(raw, FColumns[i].Field.Type, FColumns[i].Name);
    }
    r.Modified = FNoneModified;
    return r;
}

void TQVRecordSet::Load() {
    if (FState == rssEdit || FState == rssInsert)
        Fail(QStringLiteral("The record set on %1 is being edited; post or cancel first").arg(FSchemaName));
    BuildColumns();
    TSqlWhere where = BuildWhere(FSchemaName, FFilters);
    QList<TRecord> records;
    if (FPaged) {
        if (!FPageIDs.isEmpty()) {
            // A page of bound values would cost the SQLite driver more than the read. There the ids
            // are one bound JSON array (not parsed as SQL); on PostgreSQL they are written into the
            // statement.
            QStringList ids;
            ids.reserve(FPageIDs.size());
            for (const qint64 id : FPageIDs)
                ids << QString::number(id);
            const QString idColumn = QStringLiteral("t.") + Database::QuoteIdentifier(FColumns.first().Field.Field);
            QString page;
            if (Database::IsPostgres()) {
                page = QStringLiteral("%1 IN (%2)").arg(idColumn, ids.join(QLatin1Char(',')));
            } else {
                page = QStringLiteral("%1 IN (SELECT value FROM json_each(?))").arg(idColumn);
                where.Binds << QString(QLatin1Char('[') + ids.join(QLatin1Char(',')) + QLatin1Char(']'));
            }
            where.Where = where.Where.isEmpty() ? page : QStringLiteral("(%1) AND %2").arg(where.Where, page);
            QSqlQuery q = Database::Exec(SelectSql(where.Where, where.Joins), where.Binds,
                                         QStringLiteral("read %1").arg(FSchemaName));
            // Each record goes to the first position of its id in the page (an id given twice is
            // read once); the positions left empty are the records not read.
            QHash<qint64, qsizetype> position;
            position.reserve(FPageIDs.size());
            for (qsizetype i = FPageIDs.size() - 1; i >= 0; --i)
                position.insert(FPageIDs[i], i);
            std::vector<TRecord> placed(FPageIDs.size());
            std::vector<bool> filled(FPageIDs.size(), false);
            qsizetype read = 0;
            while (q.next()) {
                TRecord r = ReadRecord(q);
                const auto it = position.constFind(r.ID);
                if (it == position.constEnd() || filled[*it])
                    continue;
                placed[*it] = std::move(r);
                filled[*it] = true;
                ++read;
            }
            records.reserve(read);
            for (size_t i = 0; i < placed.size(); ++i)
                if (filled[i])
                    records.append(std::move(placed[i]));
        }
    } else {
        QSqlQuery q = Database::Exec(SelectSql(where.Where, where.Joins), where.Binds,
                                     QStringLiteral("read %1").arg(FSchemaName));
        while (q.next())
            records.append(ReadRecord(q));
    }
    FRecords = std::move(records);
    FState = rssBrowse;
}

void TQVRecordSet::Open() {
    FPaged = false;
    FPageIDs.clear();
    Load();
    FRecNo = 0;
}

QList<qint64> TQVRecordSet::SelectRecordIDs() {
    BuildColumns();
    const TSqlWhere where = BuildWhere(FSchemaName, FFilters);
    QSqlQuery q = Database::Exec(SelectSql(where.Where, where.Joins, true), where.Binds,
                                 QStringLiteral("read %1").arg(FSchemaName));
    QList<qint64> ids;
    while (q.next())
        ids << q.value(0).toLongLong();
    return ids;
}

void TQVRecordSet::OpenRecords(const QList<qint64>& AIDs) {
    FPaged = true;
    FPageIDs = AIDs;
    Load();
    FRecNo = 0;
}

void TQVRecordSet::Refresh() {
    if (!Active()) {
        Open();
        return;
    }
    const qint64 id = Eof() ? -1 : FRecords[FRecNo].ID;
    const int recNo = FRecNo;
    Load();
    FRecNo = qBound(0, recNo, qMax(0, int(FRecords.size()) - 1));
    for (int i = 0; i < FRecords.size(); ++i)
        if (FRecords[i].ID == id)
            FRecNo = i;
}

void TQVRecordSet::Close() {
    FRecords.clear();
    FPaged = false;
    FPageIDs.clear();
    FColumns.clear();
    FColumnIndex.clear();
    FRecNo = 0;
    FState = rssInactive;
}

void TQVRecordSet::RequireActive() const {
    if (!Active())
        Fail(QStringLiteral("The record set on %1 is not open").arg(FSchemaName));
}

void TQVRecordSet::RequireBrowse(const char* action) const {
    RequireActive();
    if (FState != rssBrowse)
        Fail(QStringLiteral("Cannot %1 while the record set on %2 is being edited; post or cancel first")
                 .arg(QLatin1String(action), FSchemaName));
}

void TQVRecordSet::RequireWritable(const char* action) const {
    RequireBrowse(action);
    if (FOptions.testFlag(rsoReadOnly))
        Fail(QStringLiteral("The record set on %1 is read-only").arg(FSchemaName));
    if (TDBFieldSchema::Instance().RequireSchema(FSchemaName).Definition().IsView())
        Fail(QStringLiteral("The view %1 cannot be changed").arg(FSchemaName));
}

void TQVRecordSet::First() {
    RequireBrowse("move");
    FRecNo = 0;
}

void TQVRecordSet::Next() {
    RequireBrowse("move");
    if (FRecNo < FRecords.size())
        ++FRecNo;
}

void TQVRecordSet::SetRecNo(int recNo) {
    RequireBrowse("move");
    if (recNo < 0 || recNo >= FRecords.size())
        Fail(QStringLiteral("Record number %1 out of range (%2 records)").arg(recNo).arg(FRecords.size()));
    FRecNo = recNo;
}

const TQVRecordSet::TRecord& TQVRecordSet::Current() const {
    RequireActive();
    if (Eof())
        Fail(QStringLiteral("The record set on %1 has no current record").arg(FSchemaName));
    return FRecords[FRecNo];
}

QStringList TQVRecordSet::FieldNames() const {
    QStringList names;
    for (const TColumn& c : FColumns)
        names << c.Name;
    return names;
}

bool TQVRecordSet::HasField(const QString& fieldName) const {
    return FColumnIndex.contains(fieldName.toLower());
}

int TQVRecordSet::ColumnIndex(const QString& fieldName) const {
    RequireActive();
    // One lookup: the names in lower case, and the other spellings asked for, folded once.
    if (const auto it = FColumnIndex.constFind(fieldName); it != FColumnIndex.constEnd())
        return *it;
    const int i = FColumnIndex.value(fieldName.toLower(), -1);
    if (i >= 0) {
        FColumnIndex.insert(fieldName, i);
        return i;
    }
    // Unknown names raise "Unknown field"; known ones were not selected.
    TDBFieldSchema::Instance().ResolveField(FSchemaName, fieldName);
    Fail(QStringLiteral("The field %1 of %2 is not loaded").arg(fieldName, FSchemaName));
}

QVariant TQVRecordSet::FieldValue(const QString& fieldName) const {
    const int i = ColumnIndex(fieldName);
    const QVariant& v = Current().Values[i];
    // Values set since the last read keep their type; empty text and bytes read as null.
    return FromDatabaseValue(v, FColumns[i].Field.Type, FColumns[i].Name);
}

QVariant TQVRecordSet::FieldValueAt(int recNo, const QString& fieldName) const {
    const int i = ColumnIndex(fieldName);
    if (recNo < 0 || recNo >= FRecords.size())
        Fail(QStringLiteral("Record number %1 out of range (%2 records)").arg(recNo).arg(FRecords.size()));
    const QVariant& v = FRecords[recNo].Values[i];
    // A text that is not empty is what the conversion would answer.
    if (FColumns[i].Field.Type == TFieldDataType::fdtText && v.metaType().id() == QMetaType::QString &&
        !static_cast<const QString*>(v.constData())->isEmpty())
        return v;
    return FromDatabaseValue(v, FColumns[i].Field.Type, FColumns[i].Name);
}

qint64 TQVRecordSet::RecordIDAt(int recNo) const {
    RequireActive();
    if (recNo < 0 || recNo >= FRecords.size())
        Fail(QStringLiteral("Record number %1 out of range (%2 records)").arg(recNo).arg(FRecords.size()));
    return FRecords[recNo].ID;
}

bool TQVRecordSet::IsNull(const QString& fieldName) const {
    return FieldValue(fieldName).isNull();
}

qint64 TQVRecordSet::RecordID() const {
    return Current().ID;
}

// ---- changes ---------------------------------------------------------------------------------

QVariant TQVRecordSet::Typed(int column, const QVariant& value) const {
    return ConvertFieldValue(value, FColumns[column].Field.Type, FColumns[column].Name);
}

void TQVRecordSet::Append() {
    RequireWritable("append");
    TRecord r;
    r.Values = QVariantList(FColumns.size());
    r.Modified = FNoneModified;
    for (const auto* list : {&FDefaults, &FFixedFields})
        for (const auto& [name, value] : *list) {
            const int i = ColumnIndex(name);
            if (i == 0 || FColumns[i].Field.Related)
                Fail(QStringLiteral("The field %1 of %2 cannot be written").arg(name, FSchemaName));
            r.Values[i] = Typed(i, value);
            r.Modified[i] = true;
        }
    FRecords.append(r);
    FRecNo = FRecords.size() - 1;
    FState = rssInsert;
}

void TQVRecordSet::Edit() {
    RequireWritable("edit");
    FEditBackup = Current();
    FState = rssEdit;
}

void TQVRecordSet::SetFieldValue(const QString& fieldName, const QVariant& value) {
    const int i = ColumnIndex(fieldName);
    if (FState != rssEdit && FState != rssInsert)
        Fail(QStringLiteral("The record set on %1 is not in edit mode").arg(FSchemaName));
    if (i == 0 || FColumns[i].Field.Related)
        Fail(QStringLiteral("The field %1 of %2 cannot be written").arg(fieldName, FSchemaName));
    const QVariant typed = Typed(i, value);
    const int fixed = IndexOfPair(FFixedFields, FColumns[i].Name);
    if (fixed >= 0 && typed != Typed(i, FFixedFields[fixed].second))
        Fail(QStringLiteral("The field %1 of %2 is fixed").arg(fieldName, FSchemaName));
    TRecord& r = FRecords[FRecNo];
    r.Values[i] = typed;
    r.Modified[i] = true;
}

void TQVRecordSet::Post() {
    if (FState != rssEdit && FState != rssInsert)
        Fail(QStringLiteral("The record set on %1 is not in edit mode").arg(FSchemaName));
    TRecord& r = FRecords[FRecNo];
    QStringList columns;
    QVariantList values;
    for (int i = 1; i < FColumns.size(); ++i) {
        if (!r.Modified[i])
            continue;
        columns << FColumns[i].Field.Field;
        values << ToBindValue(r.Values[i], FColumns[i].Field.Type);
    }
    if (FState == rssInsert) {
        r.ID = Database::InsertRow(FSchemaName, columns, values);
        if (r.ID < 0)
            Fail(QStringLiteral("The insert into %1 answered no id").arg(FSchemaName));
    } else if (!columns.isEmpty()) {
        QStringList sets;
        for (const QString& c : columns)
            sets << Database::QuoteIdentifier(c) + QStringLiteral(" = ?");
        values << r.ID;
        QSqlQuery q = Database::Exec(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                                         .arg(Database::QuoteIdentifier(FColumns.first().Field.Schema),
                                              sets.join(QStringLiteral(", ")),
                                              Database::QuoteIdentifier(FColumns.first().Field.Field)),
                                     values, QStringLiteral("update %1").arg(FSchemaName));
        if (q.numRowsAffected() == 0)
            Fail(QStringLiteral("The record %1 of %2 no longer exists").arg(r.ID).arg(FSchemaName));
    }
    r.Modified = FNoneModified;
    FState = rssBrowse;
    if (FOptions.testFlag(rsoRefreshAfterPost))
        ReloadCurrent();
}

void TQVRecordSet::ReloadCurrent() {
    TRecord& r = FRecords[FRecNo];
    QStringList joins;
    QSqlQuery q = Database::Exec(SelectSql(QStringLiteral("t.") +
                                               Database::QuoteIdentifier(FColumns.first().Field.Field) +
                                               QStringLiteral(" = ?"),
                                           joins),
                                 {r.ID}, QStringLiteral("read %1").arg(FSchemaName));
    if (!q.next())
        Fail(QStringLiteral("The record %1 of %2 no longer exists").arg(r.ID).arg(FSchemaName));
    r = ReadRecord(q);
}

void TQVRecordSet::Cancel() {
    if (FState == rssInsert) {
        FRecords.removeAt(FRecNo);
        FRecNo = qMax(0, int(FRecords.size()) - 1);
    } else if (FState == rssEdit) {
        FRecords[FRecNo] = FEditBackup;
    }
    if (Active())
        FState = rssBrowse;
}

void TQVRecordSet::Delete() {
    if (FState == rssInsert) {
        Cancel();
        return;
    }
    RequireWritable("delete");
    const TRecord& r = Current();
    TSqlWhere where;
    where.Where = QStringLiteral("t.") + Database::QuoteIdentifier(FColumns.first().Field.Field) +
                  QStringLiteral(" = ?");
    where.Binds << r.ID;
    DeleteNotifyRegistry::Delete(FSchemaName, where, FOptions.testFlag(rsoDeleteDependents));
    FRecords.removeAt(FRecNo);
    if (FRecNo >= FRecords.size())
        FRecNo = qMax(0, int(FRecords.size()) - 1);
}

} // namespace hostapi
