#pragma once

#include "CustomMessageSender.h"

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace hostapi {
class ISettingsStore;
}

namespace emailmarketing {

// The rules of the global settings window without its widgets: which controls the chosen transport
// and options enable, the reply field's position, the credit text, the page a show parameter
// opens and the gateways' web pages.
namespace GlobalSettingsRules {

// What the transport radios, the authentication box and the packet box enable or show.
struct TServerPageState {
    bool MailServerEnabled = false; // lblMailServer, edtMailServer
    QString MailServerLabelId;      // translation id of lblMailServer; empty: the literal "Server:"
    bool UseAuthEnabled = false;
    bool UserNameEnabled = false; // edtUserName, lblUserName
    bool PasswordEnabled = false; // edtPassword, lblPassword
    bool MAPIInfoVisible = false;
    bool InternalInfoVisible = false;
    bool UnitCountEnabled = false; // spinUnitCount, spinUnitDelay, cbThrottle
    bool SendThreadsEnabled = false;
};

// ADevice: the checked radio (std::nullopt-like: ANoneChecked when no radio is checked).
TServerPageState ServerPageState(TMessageSenderDevice ADevice, bool ANoneChecked, bool AUseAuthChecked,
                                 bool AUnitSendChecked);

// The position of AField in AFieldNames; -1 when it is not there.
int ReplyFieldIndex(const QStringList& AFieldNames, const QString& AField);
// The field name at AIndex; "" when nothing (or nothing valid) is selected.
QString ReplyFieldAt(const QStringList& AFieldNames, int AIndex);

// ACredits as the gateway answers it (a decimal number with "."), shown with one decimal by
// ALocale (no group separators) in place of "%s" of ATemplate. Raises EQVException when ACredits
// is no number.
QString CreditText(const QString& ATemplate, const QString& ACredits, const QLocale& ALocale);

enum TSettingsPage : int { spNone = -1, spEmailServer = 0, spSMSProvider = 1 };
// The page the show parameters ask for: "EMAILSERVER" before "SMSPROVIDER"; spNone otherwise.
TSettingsPage PageOfShowParams(const QVariant& AParams);

// The gateways' web pages (settings section "EMLMARK"; empty or absent: the default).
enum TGatewayPage : int {
    gpASPSMSRegistration = 0,
    gpASPSMSHome = 1,
    gpLOX24Registration = 2,
    gpLOX24Home = 3
};
QString GatewayPageKey(TGatewayPage APage);
QString GatewayPageDefault(TGatewayPage APage);
QString GatewayPage(hostapi::ISettingsStore& ASettings, TGatewayPage APage);

// The stored state id of a lookup value: its id, -1 for no selection.
qint64 StateIDOf(const QVariant& AValue);

} // namespace GlobalSettingsRules

} // namespace emailmarketing
