#include "LocalSettingsStorage.h"

#include "QVException.h"
#include "SettingsStore.h"
#include "StringData.h"
#include "VRNLang.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include <algorithm>

namespace hostapi {

ILocalSettingsStorage::~ILocalSettingsStorage() = default;

LocalSettingsStorage::LocalSettingsStorage(ISettingsStore& AStore) : FStore(AStore) {}

QString LocalSettingsStorage::Section() {
    return QStringLiteral("WINDOWSTATE");
}

static QString KeyOf(const QWidget& window) {
    return QString::fromLatin1(window.metaObject()->className());
}

void LocalSettingsStorage::SaveWindowState(const QWidget& AWindow) {
    const bool maximized = AWindow.isMaximized();
    const QRect geometry = maximized ? AWindow.normalGeometry() : AWindow.geometry();
    const QString value = QStringLiteral("%1,%2,%3,%4,%5")
                              .arg(geometry.x())
                              .arg(geometry.y())
                              .arg(geometry.width())
                              .arg(geometry.height())
                              .arg(maximized ? 1 : 0);
    FStore.WriteString(Section(), KeyOf(AWindow), StrToStringData(value));
}

bool LocalSettingsStorage::RestoreWindowState(QWidget& AWindow) {
    const QString key = KeyOf(AWindow);
    const QString value = StringDataToStr(FStore.ReadString(Section(), key), true);
    if (value.isEmpty())
        return false;
    const QStringList parts = value.split(QLatin1Char(','));
    int numbers[5] = {};
    bool valid = parts.size() == 5;
    for (int i = 0; valid && i < 5; ++i)
        numbers[i] = parts.at(i).toInt(&valid);
    if (!valid || numbers[2] <= 0 || numbers[3] <= 0 || (numbers[4] != 0 && numbers[4] != 1))
        throw EQVException(
            QStringLiteral("The stored window state of %1 cannot be read: \"%2\"").arg(key, value));

    QRect geometry(numbers[0], numbers[1], numbers[2], numbers[3]);
    QScreen* screen = QGuiApplication::screenAt(geometry.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        throw EQVException(QStringLiteral("No screen to restore the window %1 on").arg(key));
    geometry = FitIntoArea(geometry, screen->availableGeometry());
    AWindow.setGeometry(geometry);
    if (numbers[4] == 1)
        AWindow.setWindowState(AWindow.windowState() | Qt::WindowMaximized);
    return true;
}

void LocalSettingsStorage::SaveSplitterSizes(const QWidget& AWindow, const QString& ASplitter,
                                             const QList<int>& ASizes) {
    QStringList parts;
    for (int size : ASizes)
        parts.append(QString::number(size));
    FStore.WriteString(Section(), KeyOf(AWindow) + QLatin1Char('.') + ASplitter,
                       StrToStringData(parts.join(QLatin1Char(','))));
}

QList<int> LocalSettingsStorage::RestoreSplitterSizes(const QWidget& AWindow, const QString& ASplitter) {
    const QString key = KeyOf(AWindow) + QLatin1Char('.') + ASplitter;
    const QString value = StringDataToStr(FStore.ReadString(Section(), key), true);
    QList<int> sizes;
    if (value.isEmpty())
        return sizes;
    for (const QString& part : value.split(QLatin1Char(','))) {
        bool valid = false;
        const int size = part.toInt(&valid);
        if (!valid || size < 0)
            throw EQVException(
                QStringLiteral("The stored splitter state of %1 cannot be read: \"%2\"").arg(key, value));
        sizes.append(size);
    }
    return sizes;
}

namespace {

const QString LanguageSection = QStringLiteral("LOCALSETTINGS");
const QString LanguageKey = QStringLiteral("LANGUAGE");

// The language name as TVRNLang spells it; empty when ALangName is none of them.
QString KnownLanguage(const QString& ALangName) {
    for (const QString& name : TVRNLang::LanguageNames())
        if (name.compare(ALangName, Qt::CaseInsensitive) == 0)
            return name;
    return {};
}

} // namespace

void LocalSettingsStorage::SaveLanguage(const QString& ALangName) {
    const QString language = KnownLanguage(ALangName);
    if (language.isEmpty())
        throw EQVException(QStringLiteral("Unknown language \"%1\" cannot be kept").arg(ALangName));
    FStore.WriteString(LanguageSection, LanguageKey, StrToStringData(language));
}

QString LocalSettingsStorage::RestoreLanguage() {
    const QString stored = StringDataToStr(FStore.ReadString(LanguageSection, LanguageKey), true);
    if (stored.isEmpty())
        return {};
    const QString language = KnownLanguage(stored);
    if (language.isEmpty())
        throw EQVException(QStringLiteral("The stored language \"%1\" is unknown").arg(stored));
    return language;
}

QRect LocalSettingsStorage::FitIntoArea(const QRect& AGeometry, const QRect& AAvailable) {
    const int width = std::min(AGeometry.width(), AAvailable.width());
    const int height = std::min(AGeometry.height(), AAvailable.height());
    const int x =
        std::clamp(AGeometry.x(), AAvailable.left(), AAvailable.left() + AAvailable.width() - width);
    const int y =
        std::clamp(AGeometry.y(), AAvailable.top(), AAvailable.top() + AAvailable.height() - height);
    return QRect(x, y, width, height);
}

} // namespace hostapi
