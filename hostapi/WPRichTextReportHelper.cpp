#include "WPRichTextReportHelper.h"

#include "FileUtils.h"
#include "ImageResource.h"
#include "QVException.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include <memory>
#include <vector>

namespace hostapi {

namespace {

enum class Format { Rtf, Html, Txt };

Format FormatOf(const QString& AFormat) {
    if (AFormat.compare(QLatin1String("RTF"), Qt::CaseInsensitive) == 0)
        return Format::Rtf;
    if (AFormat.compare(QLatin1String("HTML"), Qt::CaseInsensitive) == 0)
        return Format::Html;
    if (AFormat.compare(QLatin1String("TXT"), Qt::CaseInsensitive) == 0)
        return Format::Txt;
    throw EQVException(QStringLiteral("Unknown rich-text format \"%1\".").arg(AFormat));
}

QString BlockText(const QTextBlock& ABlock) {
    QString text = ABlock.text();
    text.remove(QChar::ObjectReplacementCharacter);
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QChar::Nbsp, QLatin1Char(' '));
    return text;
}

void AppendFrameText(QTextFrame::iterator ABegin, QTextFrame::iterator AEnd, QStringList& ALines) {
    for (QTextFrame::iterator it = ABegin; it != AEnd; ++it) {
        QTextFrame* frame = it.currentFrame();
        if (frame == nullptr) {
            ALines += BlockText(it.currentBlock()).split(QLatin1Char('\n'));
            continue;
        }
        auto* table = qobject_cast<QTextTable*>(frame);
        if (table == nullptr) {
            AppendFrameText(frame->begin(), frame->end(), ALines);
            continue;
        }
        for (int r = 0; r < table->rows(); ++r) {
            QStringList cells;
            for (int c = 0; c < table->columns(); ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                if (cell.row() != r || cell.column() != c)
                    continue;
                QStringList cellLines;
                AppendFrameText(cell.begin(), cell.end(), cellLines);
                cells += cellLines.join(QLatin1Char(' ')).trimmed();
            }
            ALines += cells.join(QLatin1Char('\t'));
        }
    }
}

// "<base>_<n>.<ext>" that names no file of the folder yet, at most 255 bytes long.
QString FreeFileName(const QString& AFolder, const QString& ABase, const QString& AExtension) {
    for (int n = 1;; ++n) {
        const QString suffix = QStringLiteral("_%1.%2").arg(n).arg(AExtension);
        const QString name = SanitizedFileBaseName(ABase, 255 - int(suffix.size())) + suffix;
        if (!QFileInfo::exists(AFolder + name))
            return name;
    }
}

void WriteUtf8(QIODevice& AStream, const QString& AText) {
    const QByteArray bytes = AText.toUtf8();
    if (AStream.write(bytes) != bytes.size())
        throw EQVException(
            QStringLiteral("The rich text could not be written: %1").arg(AStream.errorString()));
}

} // namespace

QString SanitizedFileBaseName(const QString& AName, int AMaxBytes) {
    QString name;
    for (const QChar c : AName) {
        const char16_t u = c.unicode();
        const bool keep = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                          u == '-' || u == '_' || u == '.';
        if (u == '.' && (name.isEmpty() || name.endsWith(QLatin1Char('.'))))
            continue;
        name += keep ? c : QLatin1Char('_');
    }
    // Only ASCII is left: one byte per character.
    name.truncate(std::max(AMaxBytes, 1));
    while (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return name.isEmpty() ? QStringLiteral("image").left(std::max(AMaxBytes, 1)) : name;
}

TWPRichTextReportHelper::TWPRichTextReportHelper() = default;

TWPRichTextReportHelper::~TWPRichTextReportHelper() = default;

void TWPRichTextReportHelper::Clear() {
    FDocument.clear();
}

void TWPRichTextReportHelper::LoadFromString(const QString& AText, const QString& AFormat,
                                             const QString& AImageFolder) {
    switch (FormatOf(AFormat)) {
    case Format::Rtf:
        RtfReader::Read(AText, FDocument);
        return;
    case Format::Txt:
        FDocument.clear();
        FDocument.setPlainText(AText);
        return;
    case Format::Html:
        break;
    }
    FDocument.clear();
    QString html = AText;
    html.remove(QLatin1String("%IMAGEPATH%"));
    FDocument.setHtml(html);
    if (AImageFolder.isEmpty())
        return;
    const QDir folder(AImageFolder);
    const QString canonicalFolder = QFileInfo(AImageFolder).canonicalFilePath();
    for (QTextBlock block = FDocument.begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            const QString name = format.toImageFormat().name();
            if (!IsPlainFileName(name) || name.contains(QLatin1Char(':')))
                continue;
            const QFileInfo file(folder.filePath(name));
            if (!file.isFile() || file.isSymLink() || file.canonicalPath() != canonicalFolder)
                continue;
            FDocument.addResource(QTextDocument::ImageResource, QUrl(name), LoadBinaryFile(file.filePath()));
        }
    }
}

QString TWPRichTextReportHelper::SaveToString(const QString& AFormat) const {
    switch (FormatOf(AFormat)) {
    case Format::Rtf:
        return RtfWriter::Write(FDocument);
    case Format::Txt:
        return PlainText();
    case Format::Html:
        return FDocument.toHtml();
    }
    return {};
}

void TWPRichTextReportHelper::SaveToStream(QIODevice& AStream, const QString& AFormat) const {
    WriteUtf8(AStream, SaveToString(AFormat));
}

QString TWPRichTextReportHelper::SaveToHTML(const QString& AImageFolder, const QString& ABaseName,
                                            const QString& ATitle) const {
    std::unique_ptr<QTextDocument> copy(FDocument.clone());
    copy->setMetaInformation(QTextDocument::DocumentTitle, ATitle);

    struct Rename {
        int Position;
        int Length;
        QTextImageFormat Format;
    };
    std::vector<Rename> renames;
    QHash<QString, QString> fileOf;
    QString folder = AImageFolder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    for (QTextBlock block = copy->begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QString name = format.name();
            if (!fileOf.contains(name)) {
                const ImageFile image =
                    ImageFileOf(FDocument.resource(QTextDocument::ImageResource, QUrl(name)));
                if (image.Bytes.isEmpty())
                    continue; // a reference the document holds no picture for stays as it is
                if (folder.isEmpty())
                    throw EQVException(
                        QStringLiteral("No folder is given for the pictures of the HTML text."));
                if (!QDir().mkpath(folder))
                    throw EQVException(QStringLiteral("The folder \"%1\" could not be created.").arg(folder));
                const QString fileName = FreeFileName(folder, ABaseName, image.Extension);
                SaveBinaryFile(folder + fileName, image.Bytes);
                fileOf.insert(name, fileName);
            }
            format.setName(fileOf.value(name));
            renames.push_back(Rename{fragment.position(), fragment.length(), format});
        }
    }
    for (const Rename& rename : renames) {
        QTextCursor cursor(copy.get());
        cursor.setPosition(rename.Position);
        cursor.setPosition(rename.Position + rename.Length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(rename.Format);
    }
    return copy->toHtml();
}

void TWPRichTextReportHelper::SaveToHTMLStream(QIODevice& AStream, const QString& AImageFolder,
                                               const QString& ABaseName, const QString& ATitle) const {
    WriteUtf8(AStream, SaveToHTML(AImageFolder, ABaseName, ATitle));
}

QString TWPRichTextReportHelper::PlainText() const {
    QStringList lines;
    AppendFrameText(FDocument.rootFrame()->begin(), FDocument.rootFrame()->end(), lines);
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    return lines.join(QLatin1Char('\n'));
}

} // namespace hostapi
