#include "MessageAttachmentList.h"

#include <QUrl>

namespace emailmarketing {

void TMessageAttachmentItem::SetContentID(const QString& AValue) {
    QString id = QUrl::fromPercentEncoding(AValue.toUtf8());
    if (!id.isEmpty()) {
        if (!id.startsWith(QLatin1Char('<')))
            id.prepend(QLatin1Char('<'));
        if (!id.endsWith(QLatin1Char('>')))
            id.append(QLatin1Char('>'));
    }
    FContentID = id;
}

TMessageAttachmentItem& TMessageAttachmentList::Append(bool AIsInline) {
    auto item = std::make_unique<TMessageAttachmentItem>();
    TMessageAttachmentItem& result = *item;
    if (AIsInline) {
        item->SetContentDisposition(QStringLiteral("inline"));
        FItems.insert(FItems.begin(), std::move(item));
    } else {
        item->SetContentDisposition(QStringLiteral("attachment"));
        FItems.push_back(std::move(item));
    }
    return result;
}

} // namespace emailmarketing
