#pragma once

#include "HostApiExport.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace hostapi {

// The picture of a text document's image resource (bytes, an image or a pixmap) as file bytes:
// PNG and JPEG bytes as they are ("png", "jpg"), anything else encoded as PNG. Empty when the
// resource holds no picture.
struct ImageFile {
    QByteArray Bytes;
    QString Extension;
};

HOSTAPI_EXPORT ImageFile ImageFileOf(const QVariant& AResource);

} // namespace hostapi
