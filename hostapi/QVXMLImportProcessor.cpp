#include "QVXMLImportProcessor.h"

#include "DBFieldSchema.h"
#include "Database.h"
#include "QVException.h"
#include "QVXMLExport.h"

#include <QDateTime>

namespace hostapi {

namespace {

const QString SourceColumn = QStringLiteral("impsource");
const QString IdentColumn = QStringLiteral("globalrecuid");
const QString RefSuffix = QStringLiteral("--ref");

// The condition that finds a record by source and ident (kept usable for the index on both): the
// empty source finds records made here, whose source is NULL or empty.
QString SourceAndIdent(const QString& ASource) {
    const QString source = Database::QuoteIdentifier(SourceColumn);
    const QString ident = Database::QuoteIdentifier(IdentColumn);
    return ASource.isEmpty() ? QStringLiteral("(%1 IS NULL OR %1 = '') AND %2 = ?").arg(source, ident)
                             : QStringLiteral("%1 = ? AND %2 = ?").arg(source, ident);
}

QVariantList SourceAndIdentBinds(const QString& ASource, const QString& AIdent) {
    return ASource.isEmpty() ? QVariantList{AIdent} : QVariantList{ASource, AIdent};
}

// A 64-bit digest instead of the strings keeps the run's map small on documents of millions of
// items; a hit is confirmed against the record, so a collision only costs a lookup.
quint64 ImportedKey(const QString& AItemType, const QString& ASource, const QString& AIdent) {
    return quint64(qHashMulti(size_t(0x9e3779b97f4a7c15ull), AItemType, ASource, AIdent));
}

QString Where(const TQVXMLElement& AItem) {
    return QStringLiteral("item '%1' in line %2").arg(AItem.Name).arg(AItem.Line);
}

QVariant FieldValue(const IDBFieldSchemaItem& ASchema, const QString& AField, const QString& AText,
                    const TQVXMLElement& AItem) {
    const auto bad = [&] {
        return EQVException(
            QStringLiteral("Invalid value '%1' for field '%2' of %3").arg(AText, AField, Where(AItem)));
    };
    bool ok = true;
    switch (ASchema.FieldType(AField)) {
    case TFieldDataType::fdtInteger: {
        if (AText.isEmpty())
            return QVariant(QMetaType::fromType<qlonglong>());
        const qlonglong value = AText.toLongLong(&ok);
        if (!ok)
            throw bad();
        return value;
    }
    case TFieldDataType::fdtFloat: {
        if (AText.isEmpty())
            return QVariant(QMetaType::fromType<double>());
        const double value = AText.toDouble(&ok);
        if (!ok)
            throw bad();
        return value;
    }
    case TFieldDataType::fdtDateTime: {
        if (AText.isEmpty())
            return QDateTime();
        const QDateTime value = QDateTime::fromString(AText, Qt::ISODateWithMs);
        if (!value.isValid())
            throw bad();
        return value;
    }
    case TFieldDataType::fdtBytes: {
        const auto decoded = QByteArray::fromBase64Encoding(AText.trimmed().toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            throw bad();
        return *decoded;
    }
    case TFieldDataType::fdtText:
        break;
    }
    return AText;
}

} // namespace

QString TQVXMLImportProcessor::TableOf(const QString& ASchema) {
    const TDBSchemaDef& definition = TDBFieldSchema::Instance().RequireSchema(ASchema).Definition();
    return definition.IsView() ? definition.BaseTable : definition.Name;
}

void TQVXMLImportProcessor::RegisterTarget(const TQVXMLRecordTarget& ATarget) {
    const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(ATarget.Schema);
    if (TableOf(ATarget.Schema).isEmpty() || !schema.HasField(QStringLiteral("id")) ||
        !schema.HasField(SourceColumn) || !schema.HasField(IdentColumn) ||
        (!ATarget.MatchField.isEmpty() && !schema.HasField(ATarget.MatchField)) ||
        (!ATarget.ParentField.isEmpty() &&
         (!schema.HasField(ATarget.ParentField) || ATarget.ParentItemType.isEmpty())))
        throw EQVAssertion(
            QStringLiteral("import target %1 is a table, or an exchange view of one, with id, %2, %3 and its "
                           "matching field")
                .arg(ATarget.Schema, SourceColumn, IdentColumn),
            __FILE__, __LINE__);
    FTargets.insert(ATarget.ItemType, ATarget);
}

QString TQVXMLImportProcessor::LocalSource(const QString& ASource) {
    // Records made in this installation have no import source: an item exported here finds them.
    if (FOwnSource.isNull())
        FOwnSource = XMLExportSourceIdent();
    return ASource == FOwnSource ? QStringLiteral("") : ASource;
}

qint64 TQVXMLImportProcessor::FindRecord(const QString& ASchema, const QString& AWhere,
                                         QVariantList ABinds) const {
    QSqlQuery query = Database::Exec(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %1")
            .arg(Database::QuoteIdentifier(QStringLiteral("id")), Database::QuoteIdentifier(ASchema), AWhere),
        ABinds, QStringLiteral("find the imported record in %1").arg(ASchema));
    return query.next() ? query.value(0).toLongLong() : -1;
}

qint64 TQVXMLImportProcessor::FindUnwrittenRecord(const QString& ATable, const QString& AWhere,
                                                  QVariantList ABinds) const {
    const QSet<qint64> written = FWritten.value(ATable);
    QSqlQuery query = Database::Exec(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %1")
            .arg(Database::QuoteIdentifier(QStringLiteral("id")), Database::QuoteIdentifier(ATable), AWhere),
        ABinds, QStringLiteral("find the imported record in %1").arg(ATable));
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        if (!written.contains(id))
            return id;
    }
    return -1;
}

bool TQVXMLImportProcessor::IsRecordOf(qint64 AId, const QString& ATable, const QString& ASource,
                                       const QString& AIdent) const {
    QSqlQuery query = Database::Exec(
        QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? AND %3")
            .arg(Database::QuoteIdentifier(ATable), Database::QuoteIdentifier(QStringLiteral("id")),
                 SourceAndIdent(ASource)),
        QVariantList{AId} + SourceAndIdentBinds(ASource, AIdent),
        QStringLiteral("find the imported record in %1").arg(ATable));
    return query.next();
}

qint64 TQVXMLImportProcessor::ResolveReference(const QString& AItemType, const QString& ASource,
                                               const QString& AIdent) const {
    const auto target = FTargets.constFind(AItemType);
    if (target == FTargets.constEnd())
        return -1;
    const QString table = TableOf(target->Schema);
    const auto imported = FImported.constFind(ImportedKey(AItemType, ASource, AIdent));
    if (imported != FImported.constEnd() && IsRecordOf(imported.value(), table, ASource, AIdent))
        return imported.value();
    return FindRecord(table, SourceAndIdent(ASource), SourceAndIdentBinds(ASource, AIdent));
}

qint64 TQVXMLImportProcessor::ImportRecord(const TQVXMLElement& AItem, const TQVXMLRecordTarget& ATarget) {
    if (!FTargets.contains(ATarget.ItemType))
        RegisterTarget(ATarget);
    const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(ATarget.Schema);
    const QString table = TableOf(ATarget.Schema);
    const QString source = LocalSource(AItem.Attribute(ATarget.SourceAttribute));
    const QString ident = AItem.Attribute(ATarget.IdentAttribute);
    if (ident.isEmpty())
        throw EQVException(
            QStringLiteral("%1 has no identifier '%2'").arg(Where(AItem), ATarget.IdentAttribute));
    const quint64 importedKey = ImportedKey(ATarget.ItemType, source, ident);
    const auto earlier = FImported.constFind(importedKey);
    if (ATarget.DistinctItems && earlier != FImported.constEnd() &&
        IsRecordOf(earlier.value(), table, source, ident))
        throw EQVException(QStringLiteral("%1 repeats the identifier '%2' of an earlier item of source '%3'")
                               .arg(Where(AItem), ident, AItem.Attribute(ATarget.SourceAttribute)));
    if (!ATarget.ParentField.isEmpty() &&
        (!AItem.HasAttribute(ATarget.ParentField) ||
         AItem.Attribute(ATarget.ParentField + RefSuffix) != ATarget.ParentItemType))
        throw EQVException(QStringLiteral("%1 does not name its %2: the attributes %3=\"<ident>\" and "
                                          "%3%4=\"%2\" are required")
                               .arg(Where(AItem), ATarget.ParentItemType, ATarget.ParentField, RefSuffix));

    QStringList columns;
    QVariantList values;
    QStringList parentColumns; // reference fields: they scope the lookups
    QVariantList parentIds;
    // Every field name is checked against the target's field schema before its value is read.
    const auto checkField = [&](const QString& AName) {
        const int index = schema.IndexOfField(AName);
        if (index < 0 || AName == SourceColumn || AName == IdentColumn || AName == QLatin1String("id"))
            throw EQVException(
                QStringLiteral("Unknown field '%1' of %2 for %3").arg(AName, Where(AItem), ATarget.Schema));
        const QString column = schema.Definition().Fields[index].Name;
        if (columns.contains(column))
            throw EQVException(QStringLiteral("Field '%1' given twice in %2").arg(AName, Where(AItem)));
        return column;
    };
    const auto addField = [&](const QString& AName, const QString& AText) {
        const QString column = checkField(AName);
        columns << column;
        values << FieldValue(schema, column, AText, AItem);
    };
    for (const auto& [name, value] : AItem.Attributes) {
        if (name == ATarget.SourceAttribute || name == ATarget.IdentAttribute || name.endsWith(RefSuffix))
            continue;
        const QString refType = AItem.Attribute(name + RefSuffix);
        if (!AItem.HasAttribute(name + RefSuffix)) {
            addField(name, value);
            continue;
        }
        const qint64 parent = ResolveReference(refType, source, value);
        if (parent < 0)
            throw EQVException(
                QStringLiteral("%1 refers to %2 '%3', which is neither an earlier item of the document "
                               "nor a stored record")
                    .arg(Where(AItem), refType, value));
        columns << checkField(name);
        values << parent;
        parentColumns << columns.last();
        parentIds << parent;
    }
    for (const TQVXMLElement& child : AItem.Children) {
        // Markup inside a field would be lost: a field is text (markup in it escaped).
        if (!child.Children.isEmpty())
            throw EQVException(QStringLiteral("Field '%1' of %2 holds the element '%3' in line %4: a field "
                                              "holds text only (markup in it must be escaped)")
                                   .arg(child.Name, Where(AItem), child.Children.first().Name)
                                   .arg(child.Children.first().Line));
        addField(child.Name, child.Text);
    }

    QString scope;
    for (const QString& column : parentColumns)
        scope += QStringLiteral(" AND %1 = ?").arg(Database::QuoteIdentifier(column));
    qint64 id =
        FindRecord(table, SourceAndIdent(source) + scope, SourceAndIdentBinds(source, ident) + parentIds);
    if (id < 0 && !ATarget.MatchField.isEmpty()) {
        const qsizetype match = columns.indexOf(schema.Definition().FieldByName(ATarget.MatchField)->Name);
        if (match >= 0) {
            const QString where =
                QStringLiteral("%1 = ?").arg(Database::QuoteIdentifier(columns[match])) + scope;
            const QVariantList binds = QVariantList{values[match]} + parentIds;
            // Distinct items: records made or taken by earlier items of the document are not matched.
            id = ATarget.DistinctItems ? FindUnwrittenRecord(table, where, binds)
                                       : FindRecord(table, where, binds);
        }
    }

    columns << SourceColumn << IdentColumn;
    values << source << ident;
    if (id >= 0) {
        QStringList assignments;
        for (const QString& column : columns)
            assignments << QStringLiteral("%1 = ?").arg(Database::QuoteIdentifier(column));
        Database::Exec(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                           .arg(Database::QuoteIdentifier(table), assignments.join(QStringLiteral(", ")),
                                Database::QuoteIdentifier(QStringLiteral("id"))),
                       values + QVariantList{id},
                       QStringLiteral("update the imported record in %1").arg(table));
        ++FUpdated;
    } else {
        id = Database::InsertRow(table, columns, values);
        FLastInsert.insert(ATarget.ItemType, id);
        ++FInserted;
    }
    FImported.insert(importedKey, id);
    if (ATarget.DistinctItems)
        FWritten[table].insert(id);
    return id;
}

} // namespace hostapi
