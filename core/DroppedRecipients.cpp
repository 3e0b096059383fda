#include "DroppedRecipients.h"

#include "CoreLog.h"

namespace emailmarketing {

void TDroppedRecipients::Reset() {
    FCount = 0;
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
    const int count = Count();
    if (count == 0)
        return {};
    QString summary = QStringLiteral("%1 of %2 recipients were dropped").arg(count).arg(ARecipientCount);
    std::lock_guard lock(FLock);
    if (!FFirstFailure.isEmpty())
        summary += QStringLiteral(". The first failure: ") + FFirstFailure;
    return summary;
}

QString TDroppedRecipients::ReasonText(TDropReason AReason) {
    switch (AReason) {
    case TDropReason::NoAddress:
        return QStringLiteral("no usable address");
    case TDropReason::MandatoryAttachement:
        return QStringLiteral("a mandatory attachment could not be loaded");
    case TDropReason::PreparationFailed:
        return QStringLiteral("its preparation failed");
    }
    return QStringLiteral("unknown reason %1").arg(static_cast<int>(AReason));
}

} // namespace emailmarketing
