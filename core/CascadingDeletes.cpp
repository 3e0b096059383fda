#include "CascadingDeletes.h"

#include "QVSQLDeleteNotify.h"

#include <QList>
#include <QString>

namespace emailmarketing {

namespace {

struct TDependent {
    const char* Schema;
    const char* KeyColumn;
};

struct TDeletedSchema {
    const char* Schema;
    QList<TDependent> Dependents;
};

const QList<TDeletedSchema>& DependentTable() {
    static const QList<TDeletedSchema> table{
        {"emtemplates",
         {{"emlembededcontent", "emltemplateid"},
          {"emlattachements", "emltemplateid"},
          {"emltextblocks", "emtemplateid"},
          {"emljobs", "emltemplates_id"}}},
        {"emljobs", {{"emlsentlist", "emljobs_id"}}},
        {"emlists", {{"emlmacros", "emlists_id"}, {"emllists_filters", "emllists_id"}}},
        {"emlmacros", {{"emlconditions", "emlmacros_id"}}},
    };
    return table;
}

} // namespace

void AddDependentDeletes(hostapi::IQVSQLDeleteNotify& AEvent) {
    for (const TDeletedSchema& deleted : DependentTable()) {
        if (!AEvent.IsSchema(QLatin1String(deleted.Schema)))
            continue;
        if (!AEvent.CanAddDependents()) {
            AEvent.DependentsSkipped();
            return;
        }
        for (const TDependent& dependent : deleted.Dependents)
            AEvent.AddDependent(QLatin1String(dependent.Schema), QLatin1String(dependent.KeyColumn));
        return;
    }
}

} // namespace emailmarketing
