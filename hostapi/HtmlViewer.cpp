#include "HtmlViewer.h"

#include "ExceptionDisplay.h"
#include "HostApiLog.h"
#include "QVException.h"
#include "RichTextDocument.h"
#include "UrlOpener.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace hostapi {

IHtmlView::~IHtmlView() = default;

THtmlViewer::THtmlViewer(QWidget* AParent) : QTextBrowser(AParent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& AUrl) { LinkClicked(AUrl); });
}

bool THtmlViewer::IsInsideFolder(const QString& AFile, const QString& AFolder) {
    const QString folder = QFileInfo(AFolder).canonicalFilePath();
    const QFileInfo file(AFile);
    const QString path = file.canonicalFilePath();
    if (folder.isEmpty() || path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    return path.startsWith(folder + QLatin1Char('/'));
}

void THtmlViewer::ShowFile(const QString& AFileName, const QString& AFolder) {
    if (!IsInsideFolder(AFileName, AFolder))
        throw EQVException(QStringLiteral("The file \"%1\" is not a file in \"%2\".").arg(AFileName, AFolder));
    FFolder = AFolder;
    FRefused.clear();
    FLoaded.clear();
    FSource = QUrl::fromLocalFile(QFileInfo(AFileName).absoluteFilePath());
    // A fresh document each time: a changed file under the same name is read again.
    document()->clear();
    if (source() == FSource)
        reload();
    else
        setSource(FSource, QTextDocument::HtmlResource);
}

void THtmlViewer::ShowBlank() {
    FFolder.clear();
    FSource.clear();
    FRefused.clear();
    FLoaded.clear();
    setSource(QUrl());
    clear();
}

QString THtmlViewer::ShownFile() const {
    return FSource.isEmpty() ? QString() : FSource.toLocalFile();
}

QVariant THtmlViewer::Refused(int AType) {
    // Qt's image handler reads a picture by its name itself when it gets none: it gets a stand-in.
    if (AType == QTextDocument::ImageResource)
        return RichTextDocument::MissingImage();
    return {};
}

QVariant THtmlViewer::loadResource(int AType, const QUrl& AName) {
    const QUrl url = FSource.isEmpty() ? AName : FSource.resolved(AName);
    if (FFolder.isEmpty() || !url.isLocalFile() || !IsInsideFolder(url.toLocalFile(), FFolder)) {
        if (!FRefused.contains(url.toString())) {
            FRefused.append(url.toString());
            qCInfo(lcHostApi) << "HTML view: resource not loaded:" << url.scheme() << "reference";
        }
        return Refused(AType);
    }
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly)) {
        if (!FRefused.contains(url.toString()))
            FRefused.append(url.toString());
        return Refused(AType);
    }
    const QByteArray data = file.readAll();
    FLoaded.append(url.toLocalFile());
    if (AType == QTextDocument::HtmlResource) {
        QStringDecoder decoder = QStringDecoder::decoderForHtml(data);
        if (!decoder.isValid())
            decoder = QStringDecoder(QStringDecoder::Utf8);
        return QString(decoder(data));
    }
    return data;
}

void THtmlViewer::LinkClicked(const QUrl& AUrl) {
    const QUrl url = FSource.isEmpty() ? AUrl : FSource.resolved(AUrl);
    if (!DesktopUrlOpener::IsAllowedUrl(url)) {
        qCInfo(lcHostApi) << "HTML view: link not followed:" << url.scheme() << "link";
        return;
    }
    TVRNExceptionUtils::Guarded([&] { OpenUrl(url.toString(QUrl::FullyEncoded)); });
}

} // namespace hostapi
