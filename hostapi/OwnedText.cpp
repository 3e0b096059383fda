#include "OwnedText.h"

namespace hostapi {

QString OwnedCopy(const QString& AText) {
    if (AText.isNull())
        return {};
    return QString(AText.constData(), AText.size());
}

} // namespace hostapi
