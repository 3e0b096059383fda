#pragma once

#include "ClientListProviders.h"
#include "EmailListItem.h"
#include "MacroList.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>

namespace hostapi {
class TQVRecordSet;
}

namespace emailmarketing {

// The module's distribution lists: an in-memory cache of every list (the user's lists and those of
// the client list providers) loaded from and saved to "emlists", "emlmacros" and "emlconditions",
// and the macros of data schemas (schema macros, stored with list id -2).
//
// The cache is used on the main thread. Lists and schema macro lists are shared: a job keeps its
// list alive, and a rebuild of the cache (Load, Clear) never frees an object a job uses. The schema
// macro map is guarded by a lock; list callbacks read it from prepare threads. A load, an edit and a
// save each build a schema macro list aside and publish it at once, so a reader sees complete lists
// only.
class TEmailListStore {
public:
    // AConnectGlobalCallbacks installs the six global-value callbacks into a new list; the store
    // adds OnGetSchemaMacros itself.
    explicit TEmailListStore(std::function<void(TEmailListItem&)> AConnectGlobalCallbacks);
    ~TEmailListStore();
    TEmailListStore(const TEmailListStore&) = delete;
    TEmailListStore& operator=(const TEmailListStore&) = delete;

    // Source of the identities of the lists that living jobs use; asked after every rebuild.
    void SetOnGetUsedLists(std::function<QList<TEmailListIdentity>()> value) {
        FOnGetUsedLists = std::move(value);
    }
    // Sets IsInUseByJob of every cached list from OnGetUsedLists.
    void UpdateInUse();

    TClientListProviders& Providers() { return FProviders; }

    // Loads the cache when it is empty and no load runs.
    void CheckLists();
    int Count();
    std::shared_ptr<TEmailListItem> GetEMailList(int Index);
    std::shared_ptr<TEmailListItem> ByID(qint32 DBID);
    // Exact text comparison of both identifiers.
    std::shared_ptr<TEmailListItem> ByClient(const QString& AClientIdent, const QString& AClientListIdent);
    // A new, unsaved list (IDValue -1) in the cache, with every callback installed.
    std::shared_ptr<TEmailListItem> Add();
    // Deletes the list's "emlists" row (its dependents through the host's delete) and takes it out
    // of the cache. A list that a job uses is refused with a user message.
    void Delete(const std::shared_ptr<TEmailListItem>& AItem);
    // Rebuilds the cache from the database and the providers. A failure empties the cache and
    // raises, so that the next access loads again.
    void Load();
    // Writes every changed list and every changed macro and condition; nothing with an empty cache.
    void Save();
    // Empties the cache; the next access loads.
    void Clear();
    QDateTime LastLoaded();

    // The published macro list of a data schema (names compared ignoring case); made empty when
    // missing. A published list is never changed: readers on other threads copy it. To edit, copy
    // it and publish the copy with ReplaceSchemaMacros.
    std::shared_ptr<TMacroList> GetSchemaMacroList(const QString& SchemaName);
    // Publishes AMacros as the macro list of SchemaName in one step; a reader holding the previous
    // list keeps it. The next Save writes the differences (its deleted ids included).
    void ReplaceSchemaMacros(const QString& SchemaName, const TMacroList& AMacros);

    // Comma-separated names of the fields of SchemaName that carry field flag AFlag (0..15), in
    // schema order; empty for an unknown schema.
    static QString GetEmailFieldsFromSchema(const QString& SchemaName, int AFlag);

private:
    std::shared_ptr<TEmailListItem> NewList();
    std::shared_ptr<TEmailListItem> FindClient(const QString& AClientIdent,
                                               const QString& AClientListIdent) const;
    void LoadRows();
    void ReadRow(const hostapi::TQVRecordSet& ARows, TEmailListItem& AList) const;
    void LoadMacros(TEmailListItem* AList);
    void LoadConditions(TMacroItem& AMacro, QStringList& ABadConditions);
    void SaveList(TEmailListItem& AList);
    // The lists and their own macros (not the schema macros).
    void SaveLists();
    // Writes AMacroList's changes; answers whether anything was written.
    static bool SaveMacros(TMacroList& AMacroList, qint32 AListID, const QString& ASchemaName);
    using TSchemaMacroLists = QList<QPair<QString, std::shared_ptr<TMacroList>>>;
    void ClearSchemaMacros();
    TSchemaMacroLists SchemaMacroLists() const;

    std::function<void(TEmailListItem&)> FConnectGlobalCallbacks;
    std::function<QList<TEmailListIdentity>()> FOnGetUsedLists;
    TClientListProviders FProviders;
    QList<std::shared_ptr<TEmailListItem>> FEMailLists;
    mutable QMutex FSchemaMacrosLock;
    TSchemaMacroLists FSchemaMacros;
    bool FInLoadLists = false;
    QDateTime FLastLoaded;
};

} // namespace emailmarketing
