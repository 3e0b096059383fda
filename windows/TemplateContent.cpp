#include "TemplateContent.h"

#include "FileUtils.h"
#include "QVException.h"
#include "RichTextConverter.h"
#include "WindowsLog.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

namespace emailmarketing::TemplateContent {

namespace {

QString WithSeparator(const QString& AFolder) {
    return AFolder.endsWith(QLatin1Char('/')) ? AFolder : AFolder + QLatin1Char('/');
}

// A new temporary folder that is removed with its contents when the guard ends.
struct TTempFolder {
    QString Path = hostapi::CreateTempFolder();
    ~TTempFolder() {
        try {
            hostapi::ClearFolder(Path, true);
        } catch (const hostapi::EQVException& e) {
            qCWarning(lcWindows) << "a temporary folder could not be removed:" << e.Message();
        }
    }
};

} // namespace

bool IsRtfBody(const QString& ABody) {
    qsizetype i = 0;
    while (i < ABody.size() && (ABody.at(i).isSpace() || ABody.at(i) == QChar(0xFEFF)))
        ++i;
    return QStringView(ABody).mid(i).startsWith(QLatin1String("{\\rtf"));
}

QString SafeImageName(const QString& AName) {
    QString name = AName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1).trimmed();
    return hostapi::IsPlainFileName(name) ? name : QString();
}

void WriteImages(const QList<TEmbeddedImage>& AImages, const QString& AFolder) {
    if (AFolder.isEmpty())
        return;
    const QString folder = WithSeparator(AFolder);
    for (const TEmbeddedImage& image : AImages) {
        const QString name = SafeImageName(image.FileName);
        if (name.isEmpty()) {
            qCWarning(lcWindows) << "an embedded image without a usable file name is left out";
            continue;
        }
        hostapi::SaveBinaryFile(folder + name, image.Data);
    }
}

QList<TEmbeddedImage> ReadImages(const QString& AFolder, const QStringList& ANames) {
    const QString folder = WithSeparator(AFolder);
    QList<TEmbeddedImage> images;
    for (const QString& name : ANames)
        if (hostapi::IsPlainFileName(name))
            images.append({name, hostapi::LoadBinaryFile(folder + name)});
    return images;
}

QString ReferenceImages(const QString& AHtml, const QStringList& ANames) {
    static const QRegularExpression src(QStringLiteral("(\\bsrc\\s*=\\s*)([\"'])([^\"']*)\\2"),
                                        QRegularExpression::CaseInsensitiveOption);
    QString result;
    qsizetype last = 0;
    QRegularExpressionMatchIterator it = src.globalMatch(AHtml);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (!ANames.contains(m.captured(3)))
            continue;
        result += QStringView(AHtml).mid(last, m.capturedStart(3) - last);
        result += ImagePathMacro + m.captured(3);
        last = m.capturedEnd(3);
    }
    result += QStringView(AHtml).mid(last);
    return result;
}

THtmlBody RtfToHtml(const QString& ARtf, bool AKeepImages) {
    const TTempFolder folder;
    THtmlBody body;
    body.Html = hostapi::RichTextConverter::RtfToHtmlFolder(ARtf, folder.Path);
    QStringList names;
    for (const QString& path : hostapi::ListFiles(folder.Path)) {
        const QString name = QFileInfo(path).fileName();
        if (name != hostapi::RichTextConverter::IndexHtmlFileName)
            names << name;
    }
    body.HadImages = !names.isEmpty();
    if (AKeepImages) {
        body.Images = ReadImages(folder.Path, names);
        body.Html = ReferenceImages(body.Html, names);
    }
    return body;
}

QString HtmlToRtf(const QString& AHtml, const QList<TEmbeddedImage>& AImages) {
    const TTempFolder folder;
    WriteImages(AImages, folder.Path);
    return hostapi::RichTextConverter::HtmlToRtf(AHtml, folder.Path);
}

} // namespace emailmarketing::TemplateContent
