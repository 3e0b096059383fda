#include "PelmarisPlugin.h"

#include "AddressEditWindow.h"
#include "DBFieldSchema.h"
#include "DialogService.h"
#include "Database.h"
#include "QVException.h"
#include "QVMainInterface.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "VRNLang.h"

#include <QCoreApplication>
#include <QThread>

namespace hostapi {

namespace {

const QString AddressSchema = QStringLiteral("pelm_addresses_ass");

QString AddressNotFound(qint64 id) {
    static TVRNLang lang(QStringLiteral("AddressEditWindow"));
    return lang.TextIn(QStringLiteral("IDS_AddressNotFound"), TVRNLang::CurrentLanguage()).arg(id);
}

} // namespace

TPelmarisPlugin::TPelmarisPlugin(QObject* AOwner) : QObject(AOwner) {}
TPelmarisPlugin::~TPelmarisPlugin() = default;

QString TPelmarisPlugin::SettingsSection() {
    return QStringLiteral("Pelm");
}
QString TPelmarisPlugin::CompanyAddressKey() {
    return QStringLiteral("COMPANYADDRESSID");
}

QString TPelmarisPlugin::RegisterServiceActiveKey() {
    return QStringLiteral("RSSPS");
}

bool TPelmarisPlugin::Available() const {
    return Database::IsOpen() && TDBFieldSchema::Instance().SchemaByName(AddressSchema) != nullptr;
}

qint64 TPelmarisPlugin::GetCompanyAddressID() const {
    const QString stored =
        StringDataToStr(
            TQVMainInterface::GetSaveSettings().ReadString(SettingsSection(), CompanyAddressKey()), true)
            .trimmed();
    if (stored.isEmpty())
        return -1;
    bool ok = false;
    const qint64 id = stored.toLongLong(&ok);
    if (!ok || id < -1)
        throw EQVException(QStringLiteral("The company address id \"%1\" in the settings (%2, %3) is no id")
                               .arg(stored, SettingsSection(), CompanyAddressKey()));
    return id;
}

void TPelmarisPlugin::SetCompanyAddressID(qint64 AAddressID) {
    QV_ASSERT(AAddressID >= -1);
    TQVMainInterface::GetSaveSettings().WriteString(
        SettingsSection(), CompanyAddressKey(),
        AAddressID < 0 ? QString() : StrToStringData(QString::number(AAddressID)));
}

int TPelmarisPlugin::GetRegisterServiceActiveState() const {
    const QString stored = TQVMainInterface::GetSaveSettings()
                               .ReadString(SettingsSection(), RegisterServiceActiveKey())
                               .trimmed();
    if (stored.isEmpty())
        return DefaultRegisterServiceActiveState;
    bool ok = false;
    const int state = stored.toInt(&ok);
    if (!ok)
        throw EQVException(
            QStringLiteral("The active state \"%1\" in the settings (%2, %3) is no whole number")
                .arg(stored, SettingsSection(), RegisterServiceActiveKey()));
    return state;
}

void TPelmarisPlugin::SetRegisterServiceActiveState(int AState) {
    TQVMainInterface::GetSaveSettings().WriteInteger(SettingsSection(), RegisterServiceActiveKey(), AState);
}

void TPelmarisPlugin::WriteDefaultSettings() {
    ISettingsStore& store = TQVMainInterface::GetSaveSettings();
    if (store.ReadString(SettingsSection(), RegisterServiceActiveKey()).trimmed().isEmpty())
        store.WriteInteger(SettingsSection(), RegisterServiceActiveKey(), DefaultRegisterServiceActiveState);
}

QString TPelmarisPlugin::GetAddressSchema() const {
    return AddressSchema;
}

bool TPelmarisPlugin::AddressExists(qint64 AAddressID) const {
    QSqlQuery q = Database::Exec(QStringLiteral("SELECT 1 FROM \"pelm_addresses_ass\" WHERE \"id\" = ?"),
                                 {AAddressID}, QStringLiteral("find address"));
    return q.next();
}

void TPelmarisPlugin::SetSubscriptionState(qint64 AAddressID, bool ASubscribed) {
    const int state = ASubscribed ? SubscribedState : UnsubscribedState;
    Transaction transaction;
    if (!AddressExists(AAddressID))
        throw EQVUserMessageException(AddressNotFound(AAddressID));
    QSqlQuery update =
        Database::Exec(QStringLiteral("UPDATE \"pelm_addresses_det\" SET \"isactive\" = ? WHERE \"id\" = ?"),
                       {state, AAddressID}, QStringLiteral("change subscription"));
    if (update.numRowsAffected() == 0)
        Database::Exec(
            QStringLiteral("INSERT INTO \"pelm_addresses_det\" (\"id\", \"isactive\") VALUES (?, ?)"),
            {AAddressID, state}, QStringLiteral("change subscription"));
    transaction.Commit();
}

QColor TPelmarisPlugin::StateColor(const QVariant& AIsActive) {
    if (AIsActive.isNull() || !AIsActive.isValid())
        return {};
    bool ok = false;
    const qint64 state = AIsActive.toLongLong(&ok);
    if (!ok)
        return {};
    if (state == SubscribedState)
        return QColor(0xC6, 0xEF, 0xCE);
    if (state == UnsubscribedState)
        return QColor(0xFF, 0xC7, 0xCE);
    return {};
}

bool TPelmarisPlugin::EditAddress(qint64 AAddressID, QWidget* AParent) {
    QV_ASSERT(QCoreApplication::instance() &&
              QThread::currentThread() == QCoreApplication::instance()->thread());
    if (!AddressExists(AAddressID))
        throw EQVUserMessageException(AddressNotFound(AAddressID));
    AddressEditWindow window(AAddressID, AParent);
    return ExecModal(window) == QDialog::Accepted;
}

} // namespace hostapi
