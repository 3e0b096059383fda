#include "ImageResource.h"

#include <QBuffer>
#include <QImage>
#include <QPixmap>

#include <cstring>

namespace hostapi {

namespace {

bool StartsWith(const QByteArray& ABytes, const char* APrefix, int ALength) {
    return ABytes.size() >= ALength && memcmp(ABytes.constData(), APrefix, size_t(ALength)) == 0;
}

} // namespace

ImageFile ImageFileOf(const QVariant& AResource) {
    QImage image;
    if (AResource.userType() == QMetaType::QByteArray) {
        const QByteArray bytes = AResource.toByteArray();
        if (StartsWith(bytes, "\x89PNG\r\n\x1a\n", 8))
            return {bytes, QStringLiteral("png")};
        if (StartsWith(bytes, "\xFF\xD8\xFF", 3))
            return {bytes, QStringLiteral("jpg")};
        image = QImage::fromData(bytes);
    } else if (AResource.userType() == QMetaType::QImage) {
        image = AResource.value<QImage>();
    } else if (AResource.userType() == QMetaType::QPixmap) {
        image = AResource.value<QPixmap>().toImage();
    }
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {png, QStringLiteral("png")};
}

} // namespace hostapi
