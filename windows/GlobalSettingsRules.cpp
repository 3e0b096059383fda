#include "GlobalSettingsRules.h"

#include "QVException.h"
#include "SettingsStore.h"
#include "StringData.h"

namespace emailmarketing::GlobalSettingsRules {

TServerPageState ServerPageState(TMessageSenderDevice ADevice, bool ANoneChecked, bool AUseAuthChecked,
                                 bool AUnitSendChecked) {
    const bool extSMTP = !ANoneChecked && ADevice == msdExtSMTP;
    const bool mapi = !ANoneChecked && ADevice == msdMAPI;
    const bool relay = !ANoneChecked && ADevice == msdInternal;
    TServerPageState state;
    state.MailServerEnabled = extSMTP || mapi;
    state.MailServerLabelId = extSMTP ? QStringLiteral("IDS_ExtSMTP")
                              : mapi  ? QStringLiteral("IDS_MAPI")
                                      : QString();
    state.UseAuthEnabled = extSMTP;
    state.UserNameEnabled = AUseAuthChecked && state.UseAuthEnabled;
    // The mail program's account may have a password of its own.
    state.PasswordEnabled = state.UserNameEnabled || mapi;
    state.MAPIInfoVisible = mapi;
    state.InternalInfoVisible = relay;
    state.UnitCountEnabled = AUnitSendChecked;
    state.SendThreadsEnabled = AUnitSendChecked && relay;
    return state;
}

int ReplyFieldIndex(const QStringList& AFieldNames, const QString& AField) {
    return AFieldNames.indexOf(AField);
}

QString ReplyFieldAt(const QStringList& AFieldNames, int AIndex) {
    return AIndex >= 0 && AIndex < AFieldNames.size() ? AFieldNames.at(AIndex) : QString();
}

QString CreditText(const QString& ATemplate, const QString& ACredits, const QLocale& ALocale) {
    bool ok = false;
    const double credits = QLocale::c().toDouble(ACredits.trimmed(), &ok);
    if (!ok)
        throw hostapi::EQVException(
            QStringLiteral("The SMS gateway answered no number of credits: \"%1\"").arg(ACredits.left(40)));
    QLocale locale = ALocale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    QString text = ATemplate;
    return text.replace(QStringLiteral("%s"), locale.toString(credits, 'f', 1));
}

TSettingsPage PageOfShowParams(const QVariant& AParams) {
    const QStringList params = AParams.toStringList();
    if (params.contains(QStringLiteral("EMAILSERVER")))
        return spEmailServer;
    if (params.contains(QStringLiteral("SMSPROVIDER")))
        return spSMSProvider;
    return spNone;
}

namespace {

struct TGatewayPageEntry {
    const char* Key;
    const char* Default;
};

// By TGatewayPage.
constexpr TGatewayPageEntry GatewayPages[] = {
    {"ASPSMSREGURL", "https://www.aspsms.com/en/registration/"},
    {"ASPSMSHOMEURL", "https://www.aspsms.com/"},
    {"LOX24REGURL", "https://www.lox24.eu/registrierung/"},
    {"LOX24HOMEURL", "https://www.lox24.eu/"},
};

const TGatewayPageEntry& GatewayPageEntry(TGatewayPage APage) {
    if (APage < gpASPSMSRegistration || APage > gpLOX24Home)
        throw hostapi::EQVException(QStringLiteral("Unknown gateway page %1").arg(int(APage)));
    return GatewayPages[APage];
}

} // namespace

QString GatewayPageKey(TGatewayPage APage) {
    return QString::fromLatin1(GatewayPageEntry(APage).Key);
}

QString GatewayPageDefault(TGatewayPage APage) {
    return QString::fromLatin1(GatewayPageEntry(APage).Default);
}

QString GatewayPage(hostapi::ISettingsStore& ASettings, TGatewayPage APage) {
    const QString stored = hostapi::StringDataToStr(
        ASettings.ReadString(QStringLiteral("EMLMARK"), GatewayPageKey(APage)), true);
    return stored.isEmpty() ? GatewayPageDefault(APage) : stored;
}

qint64 StateIDOf(const QVariant& AValue) {
    if (AValue.isNull() || !AValue.isValid())
        return -1;
    bool ok = false;
    const qint64 id = AValue.toLongLong(&ok);
    if (!ok)
        throw hostapi::EQVException(
            QStringLiteral("A template state id is no number: %1").arg(AValue.toString()));
    return id;
}

} // namespace emailmarketing::GlobalSettingsRules
