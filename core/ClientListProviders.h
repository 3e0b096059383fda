#pragma once

#include "ClientListProvider.h"
#include "EmailListItem.h"

#include <QList>

#include <functional>
#include <memory>

namespace emailmarketing {

// The client list providers that other modules registered, in registration order, each once (by
// object identity), and the distribution lists built from them. Used on the main thread.
class TClientListProviders {
public:
    using TProvider = std::shared_ptr<hostapi::IClientListProvider>;

    // False when AProvider is registered already (nothing changes).
    bool Register(const TProvider& AProvider);
    // False when AProvider is not registered.
    bool UnRegister(const TProvider& AProvider);
    void Clear() { FClients.clear(); }
    int Count() const { return FClients.size(); }
    bool Contains(const TProvider& AProvider) const { return FClients.contains(AProvider); }

    // For every provider in registration order and each of its lists: a list made by AAdd, filled
    // from the provider (name, schema, identifiers, fields to ignore, filters; every text copied, so
    // nothing refers to the provider's module afterwards), with the client-list defaults (packets
    // on, normal priorities, direct delivery, ASPSMS, global SMS provider and mail server), and
    // marked changed.
    void LoadClientLists(const std::function<std::shared_ptr<TEmailListItem>()>& AAdd) const;

    // Copies of the provider's client identifier and of the identifier of its list at AListIndex.
    static QString ClientIdentOf(const hostapi::IClientListProvider& AProvider);
    static QString ListIdentOf(const hostapi::IClientListProvider& AProvider, int AListIndex);

private:
    QList<TProvider> FClients;
};

} // namespace emailmarketing
