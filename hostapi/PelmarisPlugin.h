#pragma once

#include "HostApiExport.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QVariant>

class QWidget;

namespace hostapi {

// The host's address module as the modules see it: its address schema "pelm_addresses_ass", the
// company's own address, the subscription state of an address ("pelm_addresses_det"."isactive":
// 1 subscribed, 0 unsubscribed; no row or NULL: never decided) and an address window.
//
// The company address id is a host setting (TQVMainInterface::GetSaveSettings): section "Pelm", key
// "COMPANYADDRESSID" (decimal id; absent or empty: none), written by the host's settings window
// through SetCompanyAddressID.
//
// The "isactive" value that counts as active for the register-service filter of the distribution
// lists is a host setting too: section "Pelm", key "RSSPS" (decimal). WriteDefaultSettings writes its
// default (1) when it is absent, at the host's start; the host's settings window edits it.
//
// Everything but EditAddress may be called from any thread (a job's threads included): it touches no
// widget and reaches the database through the calling thread's connection.
class HOSTAPI_EXPORT TPelmarisPlugin : public QObject {
    Q_OBJECT
public:
    // "isactive" values of a decided subscription.
    static constexpr int SubscribedState = 1;
    static constexpr int UnsubscribedState = 0;

    explicit TPelmarisPlugin(QObject* AOwner = nullptr);
    ~TPelmarisPlugin() override;

    // True while the host database is open and holds the address schema.
    bool Available() const;
    // The company's address id; -1 when none is set. A stored value that is no id raises EQVException.
    qint64 GetCompanyAddressID() const;
    // -1 removes the setting.
    void SetCompanyAddressID(qint64 AAddressID);
    // The "isactive" value that counts as active. An absent key answers the default (1); a stored
    // value that is no whole number raises EQVException (never read as 0).
    int GetRegisterServiceActiveState() const;
    void SetRegisterServiceActiveState(int AState);
    // Writes every setting of the address module that is absent with its default.
    void WriteDefaultSettings();
    QString GetAddressSchema() const;

    // Subscribes (isactive 1) or unsubscribes (isactive 0) an address. Raises EQVUserMessageException
    // when the address does not exist.
    void SetSubscriptionState(qint64 AAddressID, bool ASubscribed);
    // Background colour for an address's "isactive" value: green subscribed, red unsubscribed, an
    // invalid QColor (no colour of its own) for anything else.
    static QColor StateColor(const QVariant& AIsActive);

    bool AddressExists(qint64 AAddressID) const;
    // Opens the address in a modal address window (GUI thread only). True when the user saved it.
    // Raises EQVUserMessageException when the address does not exist.
    bool EditAddress(qint64 AAddressID, QWidget* AParent = nullptr);

    static QString SettingsSection();
    static QString CompanyAddressKey();
    static QString RegisterServiceActiveKey();
    static constexpr int DefaultRegisterServiceActiveState = 1;
};

} // namespace hostapi
