#include "DBFieldSchema.h"

#include "QVException.h"
#include "SchemaDefinitions.h"

#include <QHash>
#include <QReadLocker>
#include <QWriteLocker>

#include <algorithm>

namespace hostapi {

const TDBFieldDef* TDBSchemaDef::FieldByName(const QString& name) const {
    for (const TDBFieldDef& f : Fields)
        if (f.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

IDBFieldSchemaItem::~IDBFieldSchemaItem() = default;

namespace {

QString UnknownField(const QString& field, const QString& schema) {
    return QStringLiteral("Unknown field %1 in schema %2").arg(field, schema);
}

// One schema. Everything but the pick lists is fixed after construction; pick lists live in their
// own map under a read-write lock (Definition() keeps the pick lists as defined at start).
class TDBFieldSchemaItem final : public IDBFieldSchemaItem {
public:
    explicit TDBFieldSchemaItem(TDBSchemaDef def) : FDef(std::move(def)) {
        for (int i = 0; i < FDef.Fields.size(); ++i) {
            FIndex.insert(FDef.Fields[i].Name.toLower(), i);
            FListData.append(FDef.Fields[i].ListData);
        }
    }

    QString SchemaName() const override { return FDef.Name; }
    QString Caption() const override { return FDef.Caption; }
    int FieldCount() const override { return FDef.Fields.size(); }
    TDBFieldDef Field(int index) const override {
        if (index < 0 || index >= FDef.Fields.size())
            throw EQVDatabaseException(
                QStringLiteral("Field index %1 out of range in schema %2").arg(index).arg(FDef.Name));
        TDBFieldDef f = FDef.Fields[index];
        QReadLocker lock(&FLock);
        f.ListData = FListData[index];
        return f;
    }
    int IndexOfField(const QString& name) const override { return FIndex.value(name.toLower(), -1); }
    bool HasField(const QString& name) const override { return IndexOfField(name) >= 0; }
    quint16 GetFieldTypeFlagSet(const QString& name) const override {
        const int i = IndexOfField(name);
        return i < 0 ? 0 : FDef.Fields[i].FlagSet;
    }
    TFieldDataType FieldType(const QString& name) const override { return FDef.Fields[Require(name)].Type; }
    QString FieldListData(const QString& name) const override {
        const int i = IndexOfField(name);
        if (i < 0)
            return {};
        QReadLocker lock(&FLock);
        return FListData[i];
    }
    void SetFieldListData(const QString& name, const QString& listData) override {
        const int i = Require(name);
        QWriteLocker lock(&FLock);
        FListData[i] = listData;
    }
    const TDBSchemaDef& Definition() const override { return FDef; }

private:
    int Require(const QString& name) const {
        const int i = IndexOfField(name);
        if (i < 0)
            throw EQVDatabaseException(UnknownField(name, FDef.Name));
        return i;
    }

    const TDBSchemaDef FDef;
    QHash<QString, int> FIndex;
    mutable QReadWriteLock FLock;
    QStringList FListData;
};

// Identifiers are lower-case letters, digits and underscores, starting with a letter or underscore.
bool IsPlainIdentifier(const QString& s) {
    if (s.isEmpty() || s.size() > 128)
        return false;
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        const bool ok = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || c == QLatin1Char('_') ||
                        (i > 0 && c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

struct TDBFieldSchema::Impl {
    std::vector<std::unique_ptr<TDBFieldSchemaItem>> Items; // definition order
    QHash<QString, TDBFieldSchemaItem*> ByName;             // lower-case name
};

TDBFieldSchema::TDBFieldSchema() : d(std::make_unique<Impl>()) {
    for (const TDBSchemaDef& def : db::SchemaDefinitions()) {
        d->Items.push_back(std::make_unique<TDBFieldSchemaItem>(def));
        d->ByName.insert(def.Name.toLower(), d->Items.back().get());
    }
}

TDBFieldSchema& TDBFieldSchema::Instance() {
    static TDBFieldSchema instance;
    return instance;
}

IDBFieldSchemaItem* TDBFieldSchema::SchemaByName(const QString& name) const {
    return d->ByName.value(name.toLower(), nullptr);
}

IDBFieldSchemaItem& TDBFieldSchema::RequireSchema(const QString& name) const {
    IDBFieldSchemaItem* item = SchemaByName(name);
    if (!item)
        throw EQVDatabaseException(QStringLiteral("Unknown schema: %1").arg(name));
    return *item;
}

QStringList TDBFieldSchema::SchemaNames() const {
    QStringList names;
    for (const auto& item : d->Items)
        names << item->SchemaName();
    return names;
}

QList<QPair<QString, QString>> TDBFieldSchema::SchemaCaptions() const {
    QList<QPair<QString, QString>> out;
    for (const auto& item : d->Items)
        if (!item->Caption().isEmpty())
            out.append({item->SchemaName(), item->Caption()});
    return out;
}

TResolvedField TDBFieldSchema::ResolveField(const QString& baseSchema, const QString& fieldName) const {
    const IDBFieldSchemaItem& base = RequireSchema(baseSchema);
    const QString name = fieldName.toLower();
    const QStringList parts = name.split(QLatin1Char('.'));
    if (parts.size() > 2 || !std::all_of(parts.begin(), parts.end(), IsPlainIdentifier))
        throw EQVDatabaseException(UnknownField(fieldName, base.SchemaName()));

    TResolvedField r;
    if (parts.size() == 1 || parts[0] == base.SchemaName()) {
        const QString& field = parts.last();
        const int i = base.IndexOfField(field);
        if (i < 0)
            throw EQVDatabaseException(UnknownField(fieldName, base.SchemaName()));
        r.Schema = base.SchemaName();
        r.Field = base.Definition().Fields[i].Name;
        r.Type = base.Definition().Fields[i].Type;
        return r;
    }
    for (const TDBRelation& rel : base.Definition().Relations) {
        if (rel.Schema != parts[0])
            continue;
        const IDBFieldSchemaItem* related = SchemaByName(rel.Schema);
        const int i = related ? related->IndexOfField(parts[1]) : -1;
        if (i < 0)
            break;
        r.Schema = related->SchemaName();
        r.Field = related->Definition().Fields[i].Name;
        r.Type = related->Definition().Fields[i].Type;
        r.Related = true;
        r.Relation = rel;
        return r;
    }
    throw EQVDatabaseException(UnknownField(fieldName, base.SchemaName()));
}

} // namespace hostapi
