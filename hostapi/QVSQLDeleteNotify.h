#pragma once

#include "HostApiExport.h"
#include "QVFilter.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace hostapi {

// The deletion event: raised once for each schema whose rows a delete through the host layer
// removes (TClientSQL, TQVRecordSet, TQVSchemaFilterSave), and again for every dependent schema
// whose rows go with them. Listeners answer it by naming dependent rows.
class HOSTAPI_EXPORT IQVSQLDeleteNotify {
public:
    virtual ~IQVSQLDeleteNotify();

    // Name of the schema whose rows are being deleted.
    virtual QString SchemaName() const = 0;
    // True when the rows are those of schemaName (without regard to case).
    virtual bool IsSchema(const QString& schemaName) const = 0;
    // True unless the delete was asked without dependents.
    virtual bool CanAddDependents() const = 0;
    // The rows of schemaName whose keyColumn holds the id of a deleted row go too. Raises when
    // CanAddDependents() is False.
    virtual void AddDependent(const QString& schemaName, const QString& keyColumn) = 0;
    // Called instead of AddDependent when CanAddDependents() answers False; the delete records it.
    virtual void DependentsSkipped() = 0;
};

// A listener of deletion events. Registered in the process-wide listener registry while it lives;
// OnExecute is called on the thread that deletes, inside the delete's transaction. An exception
// from OnExecute rolls the whole delete back. Destroying a listener waits until no other thread
// runs its OnExecute any more.
class HOSTAPI_EXPORT TQVSQLDeleteNotifyListener {
public:
    using TExecuteEvent = std::function<void(TQVSQLDeleteNotifyListener& Sender, IQVSQLDeleteNotify& AEvent)>;

    explicit TQVSQLDeleteNotifyListener(TExecuteEvent onExecute = {});
    ~TQVSQLDeleteNotifyListener();
    TQVSQLDeleteNotifyListener(const TQVSQLDeleteNotifyListener&) = delete;
    TQVSQLDeleteNotifyListener& operator=(const TQVSQLDeleteNotifyListener&) = delete;

    TExecuteEvent OnExecute() const;
    void SetOnExecute(TExecuteEvent onExecute);

    struct Entry;

private:
    std::shared_ptr<Entry> FEntry;
};

// Outcome of a delete through the host layer.
struct HOSTAPI_EXPORT TDeleteResult {
    qint64 Rows = 0;           // rows of the schema asked for
    qint64 DependentRows = 0;  // rows of dependent schemas, transitively
    int DependentsSkipped = 0; // how often a listener reported skipped dependents
};

// The process-wide listener registry and the delete that raises its event. Thread-safe.
class HOSTAPI_EXPORT DeleteNotifyRegistry {
public:
    static int ListenerCount();

    // Raises event to every registered listener, in registration order.
    static void Notify(IQVSQLDeleteNotify& event);

    // Deletes the rows of schema that match where (built by BuildWhere, alias "t") and, when
    // withDependents, the dependents that listeners name, transitively, all in one transaction
    // (joined to the caller's). A (schema, id) is deleted and announced once, so cycles end.
    // Dependents go before the rows they depend on. Any failure rolls everything back and raises.
    static TDeleteResult Delete(const QString& schema, const TSqlWhere& where, bool withDependents);
};

} // namespace hostapi
