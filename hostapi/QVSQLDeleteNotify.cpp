#include "QVSQLDeleteNotify.h"
#include "HostApiLog.h"

#include "DBFieldSchema.h"
#include "Database.h"
#include "QVException.h"

#include <QLoggingCategory>
#include <QSet>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace hostapi {

IQVSQLDeleteNotify::~IQVSQLDeleteNotify() = default;

// One registered listener. Shared between the listener and the threads that are raising an event,
// so that a listener destroyed meanwhile is never called and never freed under a running call.
struct TQVSQLDeleteNotifyListener::Entry {
    std::mutex Lock;
    std::condition_variable Idle;
    TQVSQLDeleteNotifyListener* Owner = nullptr;
    TExecuteEvent OnExecute;
    bool Alive = true;
    int Active = 0; // calls of OnExecute running now, on any thread
};

namespace {

using Entry = TQVSQLDeleteNotifyListener::Entry;

constexpr int kIdChunk = 500;

struct ListenerRegistry {
    std::mutex Lock;
    std::vector<std::shared_ptr<Entry>> Entries;
};

ListenerRegistry& Registry() {
    static ListenerRegistry r;
    return r;
}

// Entries whose OnExecute runs on this thread (nested events included).
thread_local std::vector<const Entry*> tlRunning;

class RunningCall {
public:
    explicit RunningCall(Entry& e) : FEntry(e) { tlRunning.push_back(&e); }
    ~RunningCall() {
        tlRunning.erase(std::find(tlRunning.rbegin(), tlRunning.rend(), &FEntry).base() - 1);
        std::lock_guard lock(FEntry.Lock);
        --FEntry.Active;
        FEntry.Idle.notify_all();
    }
    RunningCall(const RunningCall&) = delete;
    RunningCall& operator=(const RunningCall&) = delete;

private:
    Entry& FEntry;
};

// The event for one batch of rows of one schema.
class DeleteEvent final : public IQVSQLDeleteNotify {
public:
    DeleteEvent(QString schema, bool canAddDependents)
        : FSchema(std::move(schema)), FCanAdd(canAddDependents) {}

    QString SchemaName() const override { return FSchema; }
    bool IsSchema(const QString& schemaName) const override {
        return FSchema.compare(schemaName, Qt::CaseInsensitive) == 0;
    }
    bool CanAddDependents() const override { return FCanAdd; }
    void AddDependent(const QString& schemaName, const QString& keyColumn) override {
        if (!FCanAdd)
            throw EQVDatabaseException(
                QStringLiteral("The delete of %1 was asked without dependents; %2 cannot be added")
                    .arg(FSchema, schemaName));
        FDependents.append({schemaName, keyColumn});
    }
    void DependentsSkipped() override { ++FSkipped; }

    const QList<QPair<QString, QString>>& Dependents() const { return FDependents; }
    int Skipped() const { return FSkipped; }

private:
    QString FSchema;
    bool FCanAdd;
    QList<QPair<QString, QString>> FDependents;
    int FSkipped = 0;
};

QString Placeholders(qsizetype n) {
    QStringList marks;
    marks.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        marks << QStringLiteral("?");
    return marks.join(QStringLiteral(", "));
}

const IDBFieldSchemaItem& DeletableSchema(const QString& name) {
    const IDBFieldSchemaItem& item = TDBFieldSchema::Instance().RequireSchema(name);
    if (item.Definition().IsView())
        throw EQVDatabaseException(QStringLiteral("Cannot delete from the view %1").arg(item.SchemaName()));
    const TDBFieldDef* id = item.Definition().FieldByName(QStringLiteral("id"));
    if (!id || !id->PrimaryKey)
        throw EQVDatabaseException(
            QStringLiteral("Cannot delete from %1: it has no record id").arg(item.SchemaName()));
    return item;
}

QList<qint64> ReadIds(QSqlQuery& q) {
    QList<qint64> ids;
    while (q.next())
        ids << q.value(0).toLongLong();
    return ids;
}

class DeleteRun {
public:
    explicit DeleteRun(bool withDependents) : FWithDependents(withDependents) {}

    // Deletes ids of schema after their dependents; answers the rows deleted in schema.
    qint64 DeleteBatch(const IDBFieldSchemaItem& schema, const QList<qint64>& candidates) {
        const QString name = schema.SchemaName();
        QList<qint64> ids;
        for (qint64 id : candidates) {
            const auto key = qMakePair(name, id);
            if (!FVisited.contains(key)) {
                FVisited.insert(key);
                ids << id;
            }
        }
        if (ids.isEmpty())
            return 0;

        DeleteEvent event(name, FWithDependents);
        DeleteNotifyRegistry::Notify(event);
        if (event.Skipped() > 0) {
            FResult.DependentsSkipped += event.Skipped();
            qCInfo(hostapi::lcHostApi) << "dependents of" << name << "skipped";
        }
        for (const auto& [depName, keyColumn] : event.Dependents()) {
            const IDBFieldSchemaItem& dep = DeletableSchema(depName);
            const TResolvedField key = TDBFieldSchema::Instance().ResolveField(dep.SchemaName(), keyColumn);
            if (key.Related)
                throw EQVDatabaseException(
                    QStringLiteral("The key column %1 of the dependent schema %2 must be "
                                   "one of its own fields")
                        .arg(keyColumn, dep.SchemaName()));
            QList<qint64> childIds;
            for (qsizetype i = 0; i < ids.size(); i += kIdChunk) {
                const QList<qint64> chunk = ids.mid(i, kIdChunk);
                QVariantList binds(chunk.begin(), chunk.end());
                QSqlQuery q = Database::Exec(
                    QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (%4)")
                        .arg(Database::QuoteIdentifier(QStringLiteral("id")),
                             Database::QuoteIdentifier(dep.SchemaName()),
                             Database::QuoteIdentifier(key.Field), Placeholders(chunk.size())),
                    binds, QStringLiteral("find the dependents of %1 in %2").arg(name, dep.SchemaName()));
                childIds += ReadIds(q);
            }
            FResult.DependentRows += DeleteBatch(dep, childIds);
        }
        qint64 deleted = 0;
        for (qsizetype i = 0; i < ids.size(); i += kIdChunk) {
            const QList<qint64> chunk = ids.mid(i, kIdChunk);
            QVariantList binds(chunk.begin(), chunk.end());
            QSqlQuery q = Database::Exec(QStringLiteral("DELETE FROM %1 WHERE %2 IN (%3)")
                                             .arg(Database::QuoteIdentifier(name),
                                                  Database::QuoteIdentifier(QStringLiteral("id")),
                                                  Placeholders(chunk.size())),
                                         binds, QStringLiteral("delete from %1").arg(name));
            deleted += q.numRowsAffected();
        }
        qCDebug(hostapi::lcHostApi) << "deleted" << deleted << "rows of" << name;
        return deleted;
    }

    TDeleteResult& Result() { return FResult; }

private:
    bool FWithDependents;
    QSet<QPair<QString, qint64>> FVisited;
    TDeleteResult FResult;
};

} // namespace

// ---- listener --------------------------------------------------------------------------------

TQVSQLDeleteNotifyListener::TQVSQLDeleteNotifyListener(TExecuteEvent onExecute)
    : FEntry(std::make_shared<Entry>()) {
    FEntry->Owner = this;
    FEntry->OnExecute = std::move(onExecute);
    std::lock_guard lock(Registry().Lock);
    Registry().Entries.push_back(FEntry);
}

TQVSQLDeleteNotifyListener::~TQVSQLDeleteNotifyListener() {
    {
        std::lock_guard lock(Registry().Lock);
        auto& entries = Registry().Entries;
        entries.erase(std::remove(entries.begin(), entries.end(), FEntry), entries.end());
    }
    std::unique_lock lock(FEntry->Lock);
    FEntry->Alive = false;
    // Calls on this very thread (a listener destroyed from inside an event) cannot be waited for.
    const auto own = std::count(tlRunning.begin(), tlRunning.end(), FEntry.get());
    FEntry->Idle.wait(lock, [&] { return FEntry->Active <= own; });
}

TQVSQLDeleteNotifyListener::TExecuteEvent TQVSQLDeleteNotifyListener::OnExecute() const {
    std::lock_guard lock(FEntry->Lock);
    return FEntry->OnExecute;
}

void TQVSQLDeleteNotifyListener::SetOnExecute(TExecuteEvent onExecute) {
    std::lock_guard lock(FEntry->Lock);
    FEntry->OnExecute = std::move(onExecute);
}

// ---- registry --------------------------------------------------------------------------------

int DeleteNotifyRegistry::ListenerCount() {
    std::lock_guard lock(Registry().Lock);
    return int(Registry().Entries.size());
}

void DeleteNotifyRegistry::Notify(IQVSQLDeleteNotify& event) {
    std::vector<std::shared_ptr<Entry>> snapshot;
    {
        std::lock_guard lock(Registry().Lock);
        snapshot = Registry().Entries;
    }
    for (const std::shared_ptr<Entry>& entry : snapshot) {
        TQVSQLDeleteNotifyListener::TExecuteEvent onExecute;
        TQVSQLDeleteNotifyListener* owner = nullptr;
        {
            std::lock_guard lock(entry->Lock);
            if (!entry->Alive || !entry->OnExecute)
                continue;
            onExecute = entry->OnExecute;
            owner = entry->Owner;
            ++entry->Active;
        }
        RunningCall call(*entry);
        onExecute(*owner, event);
    }
}

TDeleteResult DeleteNotifyRegistry::Delete(const QString& schema, const TSqlWhere& where,
                                           bool withDependents) {
    const IDBFieldSchemaItem& item = DeletableSchema(schema);
    Transaction transaction;
    QSqlQuery q = Database::Exec(
        QStringLiteral("SELECT t.%1 FROM %2 t%3%4")
            .arg(Database::QuoteIdentifier(QStringLiteral("id")),
                 Database::QuoteIdentifier(item.SchemaName()), where.JoinText(), where.WhereText()),
        where.Binds, QStringLiteral("select the rows to delete from %1").arg(item.SchemaName()));
    const QList<qint64> ids = ReadIds(q);
    q.finish();
    DeleteRun run(withDependents);
    run.Result().Rows = run.DeleteBatch(item, ids);
    transaction.Commit();
    return run.Result();
}

} // namespace hostapi
