#pragma once

#include "EmailAttachement.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace emailmarketing {

// One message as a transport receives it: who sends it to whom, its content and its copies.
struct TOutgoingMessage {
    QString ReceiverName;
    QString ReceiverEmail;
    QString SenderName;
    QString SenderEmail;
    QString Subject;
    QString PlainBody;
    QString HTMLBody;
    bool IsHTML = false;
    QStringList InLineAttachments;
    // (name in the message, local file) of each attachment.
    QList<TAttachementFile> NormalAttachments;
    QString ReplyEmail;
    QString CCList;
    QString BCCList;
    // Address of the read receipt ("Disposition-Notification-To"); empty: none.
    QString ReceiptRecipientAddress;
};

} // namespace emailmarketing
