#pragma once

#include "CustomMessageSender.h"
#include "OutgoingMessage.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace hostapi {
class IDBFieldSchemaItem;
}

namespace emailmarketing {

class TEmailListItem;

// What the distribution-lists window shows of one list and writes back, without widgets: the list
// to the form and back, the enabling rules, the data-source choices, the defaults of a new list and
// the checks of the test send.
class EmailListFormModel {
public:
    // The values of the window's controls.
    struct TForm {
        QString SectionName; // chosen schema; empty = none
        QStringList EmailFields;
        QStringList MobileFields;
        bool UseGlobalRegisterService = true;
        bool RegisterServiceFilterEnabled = false;
        bool FetchRegisterServiceBeforeSending = false;
        bool UseGlobalAddress = true;
        QString SenderName;
        QString SenderEmail;
        QString ReplyToEmail;
        bool UseGlobalMailServer = true;
        int Device = -1; // TMessageSenderDevice; -1 = no radio button checked
        QString MailServer;
        bool SendAuthentication = false;
        QString SendUserName;
        QString SendPassword;
        bool UseGlobalSMSProvider = true;
        int SMSDevice = -1; // TSMSMessageSenderDevice; -1 = none checked
        bool UseGlobalSendSettings = true;
        bool SendPerUnits = false;
        int MailsPerUnit = 0;
        int SendThreads = 1;
        int UnitDelay = 0;
        bool Throttle = false;
        bool Chaotic = false;
        int SendPriority = 3;    // -1 = none chosen
        int PreparePriority = 3; // -1 = none chosen

        bool operator==(const TForm&) const = default;
    };

    // Which controls take input.
    struct TEnabling {
        bool SenderEdits = false;
        bool SMSDevices = false;
        bool RegisterServiceOptions = false;
        bool DeviceButtons = false;
        bool MailServer = false; // the server combo and its label
        bool Authentication = false;
        bool UserName = false;
        bool Password = false;
        bool SendPerUnits = false;
        bool UnitOptions = false; // messages per unit, unit delay, throttle
        bool SendThreads = false;
        bool Chaotic = false;

        bool operator==(const TEnabling&) const = default;
    };

    // A schema offered as data source.
    struct TTableChoice {
        QString Caption;
        QString SchemaName;
    };

    // The form with no list shown.
    static TForm Empty();
    // The form of AList: its effective values (the global ones where a use-global flag is set).
    static TForm Load(const TEmailListItem& AList);
    // Writes AForm into AList: the use-global flags, and each group's values only while its flag is
    // off (a group that follows the global settings keeps the list's own values). The thread count
    // is the form's only with direct delivery, else 1; a missing priority is 3 (normal). Without a
    // schema both field lists are emptied. Marks the list changed.
    static void Store(const TForm& AForm, TEmailListItem& AList);

    static TEnabling Enabling(const TForm& AForm);
    // Identifier of the server label's text for a device; empty for "Server:".
    static QString MailServerLabelId(int ADevice);

    // The data-source choices among ASchemas, in their order: every schema except
    // "pelm_addresses_det" with at least one e-mail (2) or mobile (11) field, one per caption.
    static QList<TTableChoice> TableChoices(const QList<const hostapi::IDBFieldSchemaItem*>& ASchemas);
    // The e-mail fields (flag 2) of ASchema, and the mobile fields (flag 11) that are not e-mail
    // fields, each as (name, caption).
    static QList<QPair<QString, QString>> EmailFieldsOf(const hostapi::IDBFieldSchemaItem& ASchema);
    static QList<QPair<QString, QString>> MobileFieldsOf(const hostapi::IDBFieldSchemaItem& ASchema);

    // The schema a new list takes when the field schema has it.
    static QString DefaultSchemaName() { return QStringLiteral("pelm_addresses_ass"); }
    // A new list's settings: name, packets on, priorities normal, direct delivery, ASPSMS through
    // the global provider; with ASchema its name and its e-mail and mobile fields.
    static void ApplyNewListDefaults(TEmailListItem& AList, const QString& AName,
                                     const hostapi::IDBFieldSchemaItem* ASchema);

    // The text after the first at sign, lower case; empty without one.
    static QString DomainOf(const QString& AAddress);
    // A test address is sent to only when it has a name and a domain.
    static bool IsTestAddressValid(const QString& AAddress);
    // With the external SMTP server, a test address in the sender's own domain is asked about.
    static bool AsksSameDomain(int ADevice, const QString& ATestAddress, const QString& ASenderEmail);
    // The transport a test send uses: the chosen device, direct delivery when none is chosen.
    static TMessageSenderDevice TestDevice(const TForm& AForm);
    // The transport settings of a test send from the values on the screen.
    static TMessageSenderSettings TestSettings(const TForm& AForm, const QString& ADNSServer);
    // The test message to AAddress from the sender on the screen: HTML with its plain part, nothing
    // else (no reply address, copies, attachments or receipt).
    static TOutgoingMessage TestMessage(const TForm& AForm, const QString& AAddress, const QString& ASubject,
                                        const QString& APlainBody, const QString& AHTMLBody);
    // Identifier of the success text of a test send through ADevice.
    static QString TestSuccessId(TMessageSenderDevice ADevice);
};

} // namespace emailmarketing
