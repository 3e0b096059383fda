#include "VRNHtmlEditor.h"

#include "FileUtils.h"
#include "HostApiLog.h"
#include "HtmlFileDecoder.h"
#include "QVException.h"
#include "RichTextDocument.h"
#include "WPRichTextReportHelper.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFragment>
#include <QUrl>

#include <functional>
#include <memory>

namespace hostapi {

namespace {

const QString ImagePathMacro = QStringLiteral("%IMAGEPATH%");

// The file of AFolder that the image source AName names: a plain file name of a file (not a link)
// directly in the folder. Empty for anything else (a path, a URL, a missing file).
QString FolderFile(const QString& AFolder, const QString& AName) {
    if (!IsPlainFileName(AName) || AName.contains(QLatin1Char(':')))
        return {};
    const QFileInfo file(AFolder + AName);
    if (!file.isFile() || file.isSymLink() || file.canonicalPath() != QFileInfo(AFolder).canonicalFilePath())
        return {};
    return file.filePath();
}

// Sets the name of every image of ADocument to AMap(name); an empty answer keeps the name.
void RenameImages(QTextDocument& ADocument, const std::function<QString(const QString&)>& AMap) {
    struct Rename {
        int Position;
        int Length;
        QTextImageFormat Format;
    };
    std::vector<Rename> renames;
    for (QTextBlock block = ADocument.begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QString name = AMap(format.name());
            if (name.isEmpty() || name == format.name())
                continue;
            format.setName(name);
            renames.push_back(Rename{fragment.position(), fragment.length(), format});
        }
    }
    for (const Rename& rename : renames) {
        QTextCursor cursor(&ADocument);
        cursor.setPosition(rename.Position);
        cursor.setPosition(rename.Position + rename.Length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(rename.Format);
    }
}

} // namespace

// Answers images from the editor's folder only, read once per load.
class TVRNHtmlEditor::ImageFolderDocument : public RichTextDocument {
public:
    ImageFolderDocument(const QString& AFolder, QObject* AParent)
        : RichTextDocument(AParent), FFolder(AFolder) {}

    void ForgetImages() { FCache.clear(); }

protected:
    QVariant loadResource(int AType, const QUrl& AName) override {
        if (AType != QTextDocument::ImageResource || !AName.scheme().isEmpty() || !AName.host().isEmpty())
            return {};
        const QString name = AName.path(QUrl::FullyDecoded);
        const auto cached = FCache.constFind(name);
        if (cached != FCache.constEnd())
            return *cached;
        const QString file = FolderFile(FFolder, name);
        // A picture is always answered: an image without one would be read from its path by Qt.
        if (file.isEmpty())
            return MissingImage();
        const QByteArray bytes = LoadBinaryFile(file);
        FCache.insert(name, bytes);
        return bytes;
    }

private:
    QString FFolder;
    QHash<QString, QByteArray> FCache;
};

TVRNHtmlEditor::TVRNHtmlEditor(QWidget* AParent)
    : QTextEdit(AParent), FDocument(nullptr),
      FImagePath(CreateTempFolder(QString(), QStringLiteral("qvhtml"))) {
    FDocument = new ImageFolderDocument(FImagePath, this);
    setDocument(FDocument);
    connect(FDocument, &QTextDocument::contentsChanged, this, [this] {
        if (FSilent == 0)
            emit changed();
    });
}

TVRNHtmlEditor::~TVRNHtmlEditor() {
    try {
        ClearFolder(FImagePath, true);
    } catch (const EQVException& e) {
        qCWarning(lcHostApi).noquote()
            << "The image folder of the HTML editor could not be removed:" << e.Message();
    }
}

QStringList TVRNHtmlEditor::ImageList() const {
    QStringList names;
    for (const QString& name : RichTextDocument::ImageNames(*FDocument)) {
        if (!FolderFile(FImagePath, name).isEmpty())
            names.append(name);
    }
    names.sort();
    names.removeDuplicates();
    return names;
}

void TVRNHtmlEditor::BeginLoad() {
    if (FLoadCount++ == 0) {
        ClearFolder(FImagePath, false);
        FDocument->ForgetImages();
    }
}

void TVRNHtmlEditor::EndLoad() {
    if (FLoadCount == 0)
        throw EQVAssertion(QStringLiteral("TVRNHtmlEditor::EndLoad without BeginLoad"), __FILE__, __LINE__);
    if (--FLoadCount == 0) {
        // Images written during the load are shown now.
        FDocument->ForgetImages();
        ++FSilent;
        FDocument->markContentsDirty(0, FDocument->characterCount());
        --FSilent;
    }
}

QString TVRNHtmlEditor::HtmlText() const {
    std::unique_ptr<QTextDocument> copy(FDocument->clone());
    RenameImages(*copy, [this](const QString& AName) {
        return FolderFile(FImagePath, AName).isEmpty() ? QString() : ImagePathMacro + AName;
    });
    return copy->toHtml();
}

void TVRNHtmlEditor::SetHtmlText(const QString& AHtml) {
    BeginLoad();
    auto endLoad = qScopeGuard([this] { EndLoad(); });
    SetBody(AHtml);
    endLoad.dismiss();
    EndLoad();
    emit loaded();
}

void TVRNHtmlEditor::SetBody(const QString& AHtml) {
    ++FSilent;
    const auto loud = qScopeGuard([this] { --FSilent; });
    FDocument->clear();
    QString html = AHtml;
    html.remove(ImagePathMacro);
    FDocument->setHtml(html);
    FForeignStyling = IsForeignStyledHtml(AHtml);
    FDocument->setModified(false);
}

void TVRNHtmlEditor::LoadFromFile(const QString& APath, bool AImportImages) {
    const QString html = LoadHtmlFile(APath);
    const QString folder = QFileInfo(APath).absolutePath();
    BeginLoad();
    auto endLoad = qScopeGuard([this] { EndLoad(); });
    SetBody(html);
    if (AImportImages)
        ImportImages(folder);
    endLoad.dismiss();
    EndLoad();
    emit loaded();
}

void TVRNHtmlEditor::ImportImages(const QString& AFolder) {
    QHash<QString, QString> imported; // source -> file name in the image folder
    ++FSilent;
    const auto loud = qScopeGuard([this] { --FSilent; });
    RenameImages(*FDocument, [&](const QString& ASource) {
        if (imported.contains(ASource))
            return imported.value(ASource);
        const QString file = LocalHtmlImage(AFolder, ASource);
        if (file.isEmpty())
            return QString();
        const QString name = FreeImageName(QFileInfo(file).fileName());
        SaveBinaryFile(FImagePath + name, LoadBinaryFile(file));
        imported.insert(ASource, name);
        return name;
    });
    FDocument->setModified(false);
}

void TVRNHtmlEditor::AddString(const QString& AText) {
    if (isReadOnly())
        throw EQVException(QStringLiteral("The text cannot be changed: the editor is read-only."));
    QTextCursor cursor(FDocument);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(AText);
    setTextCursor(cursor);
    ensureCursorVisible();
    viewport()->update();
}

void TVRNHtmlEditor::InsertImageFile(const QString& AFile) {
    if (isReadOnly())
        throw EQVException(QStringLiteral("The text cannot be changed: the editor is read-only."));
    QImageReader reader(AFile);
    const QImage image = reader.read();
    if (image.isNull())
        throw EQVException(
            QStringLiteral("The file \"%1\" is no picture: %2").arg(AFile, reader.errorString()));
    const QString name = FreeImageName(QFileInfo(AFile).fileName());
    SaveBinaryFile(FImagePath + name, LoadBinaryFile(AFile));
    QTextImageFormat format;
    format.setName(name);
    format.setWidth(image.width());
    format.setHeight(image.height());
    textCursor().insertImage(format);
}

QString TVRNHtmlEditor::FreeImageName(const QString& AName) const {
    const QFileInfo info(AName);
    const QString suffix = SanitizedFileBaseName(info.suffix(), 20);
    const QString base = SanitizedFileBaseName(info.completeBaseName());
    const QString extension = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + suffix;
    QString name = base + extension;
    for (int n = 2; QFileInfo::exists(FImagePath + name); ++n)
        name = QStringLiteral("%1_%2%3").arg(base).arg(n).arg(extension);
    return name;
}

bool TVRNHtmlEditor::Modified() const {
    return FDocument->isModified();
}

void TVRNHtmlEditor::SetModified(bool AModified) {
    FDocument->setModified(AModified);
}

bool TVRNHtmlEditor::IsForeignStyledHtml(const QString& AHtml) {
    // The editor's own text says so in a meta tag; it keeps what it wrote itself.
    static const QRegularExpression own(QStringLiteral(R"(<meta\s+name\s*=\s*["']?qrichtext)"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression styling(
        QStringLiteral(R"(<style[\s>]|<link\b[^>]*stylesheet|<!--\[if|<!\[endif\]|\sstyle\s*=|\sclass\s*=)"),
        QRegularExpression::CaseInsensitiveOption);
    return !own.match(AHtml).hasMatch() && styling.match(AHtml).hasMatch();
}

} // namespace hostapi
