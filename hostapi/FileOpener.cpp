#include "FileOpener.h"

#include "QVException.h"
#include "VRNLang.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include <atomic>

namespace hostapi {

namespace {

std::atomic<IFileOpener*> GInstalled{nullptr};

QString Tr(const char* AId) {
    static const TVRNLang lang(QStringLiteral("FileOpener"));
    return lang.TextIn(QString::fromLatin1(AId), TVRNLang::CurrentLanguage());
}

} // namespace

IFileOpener::~IFileOpener() = default;

QString DesktopFileOpener::RequireOpenableFile(const QString& AFileName) {
    const QFileInfo file(AFileName);
    if (AFileName.isEmpty() || !file.exists())
        throw EQVUserMessageException(Tr("IDS_FileNotFound").arg(AFileName));
    const QFileInfo target(file.canonicalFilePath());
    if (!target.isFile())
        throw EQVUserMessageException(Tr("IDS_NotAFile").arg(AFileName));
    if (target.isExecutable() || target.suffix().compare(QLatin1String("desktop"), Qt::CaseInsensitive) == 0)
        throw EQVUserMessageException(Tr("IDS_FileRefused").arg(AFileName));
    return target.absoluteFilePath();
}

void DesktopFileOpener::OpenFile(const QString& AFileName) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(RequireOpenableFile(AFileName))))
        throw EQVException(Tr("IDS_FileNotOpened").arg(AFileName));
}

IFileOpener& DesktopFileOpener::Current() {
    if (IFileOpener* installed = GInstalled.load())
        return *installed;
    static DesktopFileOpener desktop;
    return desktop;
}

void DesktopFileOpener::SetCurrent(IFileOpener* AOpener) {
    GInstalled.store(AOpener);
}

IFileOpener* DesktopFileOpener::Installed() {
    return GInstalled.load();
}

void OpenFile(const QString& AFileName) {
    DesktopFileOpener::Current().OpenFile(DesktopFileOpener::RequireOpenableFile(AFileName));
}

} // namespace hostapi
