#include "EmailListFormModel.h"

#include "DBFieldSchema.h"
#include "EmailListItem.h"

#include <QSet>

namespace emailmarketing {

namespace {

QThread::Priority PriorityOf(int AValue) {
    return static_cast<QThread::Priority>(AValue < 0 ? 3 : AValue);
}

QList<QPair<QString, QString>> FieldsOf(const hostapi::IDBFieldSchemaItem& ASchema, bool AMobile) {
    QList<QPair<QString, QString>> result;
    for (int i = 0; i < ASchema.FieldCount(); ++i) {
        const hostapi::TDBFieldDef field = ASchema.Field(i);
        const bool email = field.HasFlag(hostapi::fftEmail);
        if (AMobile ? (!email && field.HasFlag(hostapi::fftMobile)) : email)
            result.append({field.Name, field.Caption});
    }
    return result;
}

// Every field carrying AFlag, as the list store derives a list's address fields.
QStringList NamesWithFlag(const hostapi::IDBFieldSchemaItem& ASchema, int AFlag) {
    QStringList names;
    for (int i = 0; i < ASchema.FieldCount(); ++i) {
        const hostapi::TDBFieldDef field = ASchema.Field(i);
        if (field.HasFlag(AFlag))
            names.append(field.Name);
    }
    return names;
}

} // namespace

EmailListFormModel::TForm EmailListFormModel::Empty() {
    return TForm{};
}

EmailListFormModel::TForm EmailListFormModel::Load(const TEmailListItem& AList) {
    TForm form;
    form.SectionName = AList.SectionName();
    form.EmailFields = AList.GetEmailFields(hostapi::fftEmail);
    form.MobileFields = AList.GetEmailFields(hostapi::fftMobile);
    form.UseGlobalRegisterService = AList.UseGlobalRegisterService();
    form.RegisterServiceFilterEnabled = AList.RegisterServiceFilterEnabled();
    form.FetchRegisterServiceBeforeSending = AList.FetchRegisterServiceBeforeSending();
    form.UseGlobalAddress = AList.UseGlobalAddress();
    form.SenderName = AList.SenderName();
    form.SenderEmail = AList.SenderEmail();
    form.ReplyToEmail = AList.ReplyToEmail();
    form.UseGlobalMailServer = AList.UseGlobalMailServer();
    form.Device = AList.MessageSenderDevice();
    form.MailServer = AList.MailServer();
    form.SendAuthentication = AList.SendAuthentication();
    form.SendUserName = AList.SendUserName();
    form.SendPassword = AList.SendPassword();
    form.UseGlobalSMSProvider = AList.UseGlobalSMSProvider();
    form.SMSDevice = AList.SMSMessageSenderDevice();
    form.UseGlobalSendSettings = AList.UseGlobalSendSettings();
    form.SendPerUnits = AList.SendPerUnits();
    form.MailsPerUnit = AList.MailsPerUnit();
    form.SendThreads = AList.SendThreads();
    form.UnitDelay = AList.UnitDelay();
    form.Throttle = AList.Throttle();
    form.Chaotic = AList.Chaotic();
    form.SendPriority = AList.SendPriority();
    form.PreparePriority = AList.PreparePriority();
    return form;
}

void EmailListFormModel::Store(const TForm& AForm, TEmailListItem& AList) {
    AList.SetChanged(true);
    AList.SetUseGlobalMailServer(AForm.UseGlobalMailServer);
    AList.SetUseGlobalAddress(AForm.UseGlobalAddress);
    if (!AForm.UseGlobalAddress) {
        AList.SetSenderName(AForm.SenderName);
        AList.SetSenderEmail(AForm.SenderEmail);
        AList.SetReplyToEmail(AForm.ReplyToEmail);
    }
    if (!AForm.UseGlobalMailServer) {
        AList.SetMessageSenderDevice(AForm.Device < 0 ? msdInternal
                                                      : static_cast<TMessageSenderDevice>(AForm.Device));
        AList.SetMailServer(AForm.MailServer);
        AList.SetSendUserName(AForm.SendUserName);
        AList.SetSendPassword(AForm.SendPassword);
        AList.SetSendAuthentication(AForm.SendAuthentication);
    }
    AList.SetUseGlobalSMSProvider(AForm.UseGlobalSMSProvider);
    if (!AForm.UseGlobalSMSProvider)
        AList.SetSMSMessageSenderDevice(AForm.SMSDevice == smsdLOX24 ? smsdLOX24 : smsdASPSMS);
    AList.SetUseGlobalRegisterService(AForm.UseGlobalRegisterService);
    if (!AForm.UseGlobalRegisterService) {
        AList.SetRegisterServiceFilterEnabled(AForm.RegisterServiceFilterEnabled);
        AList.SetFetchRegisterServiceBeforeSending(AForm.FetchRegisterServiceBeforeSending);
    }
    AList.SetUseGlobalSendSettings(AForm.UseGlobalSendSettings);
    if (!AForm.UseGlobalSendSettings) {
        AList.SetSendPerUnits(AForm.SendPerUnits);
        AList.SetMailsPerUnit(AForm.MailsPerUnit);
        AList.SetUnitDelay(AForm.UnitDelay);
        const bool direct = AForm.Device < 0 || AForm.Device == msdInternal;
        AList.SetSendThreads(direct ? AForm.SendThreads : 1);
        AList.SetThrottle(AForm.Throttle);
        AList.SetChaotic(AForm.Chaotic);
    }
    AList.SetSendPriority(PriorityOf(AForm.SendPriority));
    AList.SetPreparePriority(PriorityOf(AForm.PreparePriority));
    if (AForm.SectionName.isEmpty()) {
        AList.SetEmailFields(hostapi::fftEmail, {});
        AList.SetEmailFields(hostapi::fftMobile, {});
    } else {
        AList.SetSectionName(AForm.SectionName);
        AList.SetEmailFields(hostapi::fftEmail, AForm.EmailFields);
        AList.SetEmailFields(hostapi::fftMobile, AForm.MobileFields);
    }
}

EmailListFormModel::TEnabling EmailListFormModel::Enabling(const TForm& AForm) {
    TEnabling e;
    e.SenderEdits = !AForm.UseGlobalAddress;
    e.SMSDevices = !AForm.UseGlobalSMSProvider;
    e.RegisterServiceOptions = !AForm.UseGlobalRegisterService;
    const bool ownServer = !AForm.UseGlobalMailServer;
    e.DeviceButtons = ownServer;
    const bool external = AForm.Device == msdExtSMTP;
    const bool mapi = AForm.Device == msdMAPI;
    e.MailServer = ownServer && (external || mapi);
    e.Authentication = ownServer && external;
    e.UserName = ownServer && e.Authentication && AForm.SendAuthentication;
    e.Password = ownServer && (e.UserName || mapi);
    const bool ownSend = !AForm.UseGlobalSendSettings;
    e.SendPerUnits = ownSend;
    e.UnitOptions = ownSend && AForm.SendPerUnits;
    e.SendThreads = e.UnitOptions && AForm.Device == msdInternal;
    e.Chaotic = ownSend;
    return e;
}

QString EmailListFormModel::MailServerLabelId(int ADevice) {
    if (ADevice == msdExtSMTP)
        return QStringLiteral("IDS_ExtSMTP");
    if (ADevice == msdMAPI)
        return QStringLiteral("IDS_MAPI");
    return {};
}

QList<EmailListFormModel::TTableChoice>
EmailListFormModel::TableChoices(const QList<const hostapi::IDBFieldSchemaItem*>& ASchemas) {
    QList<TTableChoice> result;
    QSet<QString> captions;
    for (const hostapi::IDBFieldSchemaItem* schema : ASchemas) {
        if (schema->SchemaName().compare(QStringLiteral("pelm_addresses_det"), Qt::CaseInsensitive) == 0)
            continue;
        if (EmailFieldsOf(*schema).isEmpty() && MobileFieldsOf(*schema).isEmpty())
            continue;
        if (captions.contains(schema->Caption()))
            continue;
        captions.insert(schema->Caption());
        result.append({schema->Caption(), schema->SchemaName()});
    }
    return result;
}

QList<QPair<QString, QString>> EmailListFormModel::EmailFieldsOf(const hostapi::IDBFieldSchemaItem& ASchema) {
    return FieldsOf(ASchema, false);
}

QList<QPair<QString, QString>>
EmailListFormModel::MobileFieldsOf(const hostapi::IDBFieldSchemaItem& ASchema) {
    return FieldsOf(ASchema, true);
}

void EmailListFormModel::ApplyNewListDefaults(TEmailListItem& AList, const QString& AName,
                                              const hostapi::IDBFieldSchemaItem* ASchema) {
    AList.SetName(AName);
    AList.SetSendPerUnits(true);
    AList.SetSendPriority(QThread::NormalPriority);
    AList.SetPreparePriority(QThread::NormalPriority);
    AList.SetMessageSenderDevice(msdInternal);
    AList.SetSMSMessageSenderDevice(smsdASPSMS);
    AList.SetUseGlobalSMSProvider(true);
    if (ASchema) {
        AList.SetSectionName(ASchema->SchemaName());
        AList.SetEmailFields(hostapi::fftEmail, NamesWithFlag(*ASchema, hostapi::fftEmail));
        AList.SetEmailFields(hostapi::fftMobile, NamesWithFlag(*ASchema, hostapi::fftMobile));
    }
    AList.SetChanged(true);
}

QString EmailListFormModel::DomainOf(const QString& AAddress) {
    const qsizetype at = AAddress.indexOf(QLatin1Char('@'));
    return at < 0 ? QString() : AAddress.mid(at + 1).trimmed().toLower();
}

bool EmailListFormModel::IsTestAddressValid(const QString& AAddress) {
    const QString address = AAddress.trimmed();
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    return at > 0 && !DomainOf(address).isEmpty();
}

bool EmailListFormModel::AsksSameDomain(int ADevice, const QString& ATestAddress,
                                        const QString& ASenderEmail) {
    return ADevice == msdExtSMTP && DomainOf(ATestAddress) == DomainOf(ASenderEmail);
}

TMessageSenderDevice EmailListFormModel::TestDevice(const TForm& AForm) {
    return AForm.Device < 0 ? msdInternal : static_cast<TMessageSenderDevice>(AForm.Device);
}

TMessageSenderSettings EmailListFormModel::TestSettings(const TForm& AForm, const QString& ADNSServer) {
    TMessageSenderSettings settings;
    settings.DNSServer = ADNSServer;
    settings.MailServer = AForm.MailServer;
    settings.SendAuthentication = AForm.SendAuthentication;
    settings.SendUserName = AForm.SendUserName;
    settings.SendPassword = AForm.SendPassword;
    return settings;
}

TOutgoingMessage EmailListFormModel::TestMessage(const TForm& AForm, const QString& AAddress,
                                                 const QString& ASubject, const QString& APlainBody,
                                                 const QString& AHTMLBody) {
    TOutgoingMessage message;
    message.ReceiverEmail = AAddress.trimmed();
    message.SenderName = AForm.SenderName;
    message.SenderEmail = AForm.SenderEmail;
    message.Subject = ASubject;
    message.PlainBody = APlainBody;
    message.HTMLBody = AHTMLBody;
    message.IsHTML = true;
    return message;
}

QString EmailListFormModel::TestSuccessId(TMessageSenderDevice ADevice) {
    return ADevice == msdMAPI ? QStringLiteral("IDS_TESTMAPISUCC") : QStringLiteral("IDS_TESTSUCC");
}

} // namespace emailmarketing
