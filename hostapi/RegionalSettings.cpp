#include "RegionalSettings.h"

#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>

#include <optional>

namespace hostapi {

namespace {

QMutex GLock;
std::optional<QLocale> GLocale;

} // namespace

QLocale RegionalSettings::Locale() {
    QMutexLocker lock(&GLock);
    if (!GLocale)
        GLocale = QLocale::system();
    return *GLocale;
}

void RegionalSettings::SetLocale(const QLocale& ALocale) {
    QMutexLocker lock(&GLock);
    GLocale = ALocale;
}

void RegionalSettings::CaptureSystem() {
    SetLocale(QLocale::system());
}

QString RegionalSettings::ValueAsText(const QVariant& AValue, const QLocale& ALocale) {
    if (!AValue.isValid() || AValue.isNull())
        return {};
    switch (AValue.metaType().id()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = AValue.toDateTime();
        if (dt.time() == QTime(0, 0))
            return ALocale.toString(dt.date(), QLocale::ShortFormat);
        return ALocale.toString(dt, QLocale::ShortFormat);
    }
    case QMetaType::QDate:
        return ALocale.toString(AValue.toDate(), QLocale::ShortFormat);
    case QMetaType::Double:
    case QMetaType::Float: {
        QLocale locale = ALocale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale.toString(AValue.toDouble(), 'g', QLocale::FloatingPointShortest);
    }
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return AValue.toString();
    default:
        return AValue.toString();
    }
}

QString RegionalSettings::LongTimeFormatWithoutZone(const QLocale& ALocale) {
    const QString format = ALocale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result += c;
    }
    return result.trimmed();
}

} // namespace hostapi
