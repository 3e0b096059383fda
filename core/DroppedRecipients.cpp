#include "DroppedRecipients.h"

#include "CoreLog.h"

#include <QStringList>

namespace emailmarketing {

void TDroppedRecipients::Reset() {
    FCount = 0;
    FCopyEntriesLeftOut = 0;
    std::lock_guard lock(FLock);
    FFirstFailure.clear();
}

void TDroppedRecipients::Drop(qint64 AAddressID, TDropReason AReason, const QString& AFailure) {
    ++FCount;
    if (!AFailure.isEmpty()) {
        std::lock_guard lock(FLock);
        if (FFirstFailure.isEmpty())
            FFirstFailure = AFailure;
    }
    qCWarning(lcCore).noquote() << "Recipient with address id" << AAddressID
                                << "dropped:" << ReasonText(AReason);
}

QString TDroppedRecipients::Summary(int ARecipientCount) const {
    QStringList parts;
    if (const int count = Count(); count > 0) {
        QString dropped = QStringLiteral("%1 of %2 recipients were dropped").arg(count).arg(ARecipientCount);
        std::lock_guard lock(FLock);
        if (!FFirstFailure.isEmpty())
            dropped += QStringLiteral(". The first failure: ") + FFirstFailure;
        parts << dropped;
    }
    if (const int copies = FCopyEntriesLeftOut.load(); copies > 0)
        parts << QStringLiteral("%1 of %2 recipients were mailed without the CC or BCC entries that "
                                "gave no address")
                     .arg(copies)
                     .arg(ARecipientCount);
    return parts.join(QStringLiteral(". "));
}

QString TDroppedRecipients::ReasonText(TDropReason AReason) {
    switch (AReason) {
    case TDropReason::NoAddress:
        return QStringLiteral("no usable address");
    case TDropReason::MandatoryAttachement:
        return QStringLiteral("a mandatory attachment could not be loaded");
    case TDropReason::PreparationFailed:
        return QStringLiteral("its preparation failed");
    case TDropReason::LeftSelection:
        return QStringLiteral("it was deleted or left the selection while the job was prepared");
    }
    return QStringLiteral("unknown reason %1").arg(static_cast<int>(AReason));
}

} // namespace emailmarketing
