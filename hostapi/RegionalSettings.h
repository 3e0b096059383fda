#pragma once

#include "HostApiExport.h"

#include <QLocale>
#include <QString>
#include <QVariant>

namespace hostapi {

// The host's regional settings: the locale by which dates, times and numbers are shown as text.
// The host captures QLocale::system() at start (CaptureSystem); until then the first use captures
// it. Tests set a locale explicitly. Safe from any thread.
class HOSTAPI_EXPORT RegionalSettings {
public:
    static QLocale Locale();
    static void SetLocale(const QLocale& ALocale);
    static void CaptureSystem();

    // A value read from a field, as text by the regional settings: a date-time without time of day
    // as the short date, any other date-time as short date and time, a floating-point number with
    // the locale's decimal separator (no group separators), an integer in decimal; null is "".
    // Other values (text, bytes) as their text.
    static QString ValueAsText(const QVariant& AValue, const QLocale& ALocale);
    static QString ValueAsText(const QVariant& AValue) { return ValueAsText(AValue, Locale()); }

    // The locale's long time format without its time-zone part.
    static QString LongTimeFormatWithoutZone(const QLocale& ALocale);
};

} // namespace hostapi
