#include "RtfWriter.h"

#include "HostApiLog.h"
#include "ImageResource.h"

#include <QBuffer>
#include <QColor>
#include <QImageReader>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include <cmath>
#include <vector>

namespace hostapi {

namespace {

constexpr double kTwipsPerPixel = 15.0;
// Width of a table whose columns carry no width of their own, in twips (6.5 inches).
constexpr int kTableWidthTwips = 9360;

QStringList FamiliesOf(const QTextCharFormat& AFormat) {
    if (AFormat.hasProperty(QTextFormat::FontFamilies)) {
        const QStringList families = AFormat.fontFamilies().toStringList();
        if (!families.isEmpty() && !families.first().isEmpty())
            return families;
    }
    return {};
}

QColor BrushColor(const QTextFormat& AFormat, int AProperty) {
    if (!AFormat.hasProperty(AProperty))
        return {};
    const QBrush brush = AFormat.brushProperty(AProperty);
    if (brush.style() == Qt::NoBrush)
        return {};
    QColor color = brush.color();
    color.setAlpha(255);
    return color;
}

class Writer {
public:
    explicit Writer(const QTextDocument& ADocument) : FDocument(ADocument) {}

    QString Run();

private:
    int FontIndex(const QString& AFamily);
    int ColorIndex(const QColor& AColor);
    void WriteFrameItems(QTextFrame::iterator ABegin, QTextFrame::iterator AEnd, bool AInTable,
                         bool ALastEndsCell);
    void WriteTable(QTextTable* ATable);
    void WriteBlock(const QTextBlock& ABlock, bool AInTable);
    void WriteText(const QString& AText);
    void WriteImage(const QTextImageFormat& AFormat);
    QString CharProperties(const QTextCharFormat& AFormat);

    const QTextDocument& FDocument;
    QStringList FFonts;
    std::vector<QColor> FColors;
    QString FBody;
};

int Writer::FontIndex(const QString& AFamily) {
    const qsizetype index = FFonts.indexOf(AFamily);
    if (index >= 0)
        return int(index);
    FFonts.append(AFamily);
    return int(FFonts.size() - 1);
}

int Writer::ColorIndex(const QColor& AColor) {
    for (size_t i = 0; i < FColors.size(); ++i) {
        if (FColors[i] == AColor)
            return int(i) + 1;
    }
    FColors.push_back(AColor);
    return int(FColors.size());
}

QString Writer::Run() {
    FFonts.append(FDocument.defaultFont().family().isEmpty() ? QStringLiteral("Arial")
                                                             : FDocument.defaultFont().family());
    QTextFrame* root = FDocument.rootFrame();
    WriteFrameItems(root->begin(), root->end(), false, false);

    QString rtf = QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl");
    for (qsizetype i = 0; i < FFonts.size(); ++i) {
        QString name = FFonts.at(i);
        name.remove(QLatin1Char(';'));
        rtf += QStringLiteral("{\\f%1\\fnil ").arg(i);
        const QString body = std::exchange(FBody, QString());
        WriteText(name);
        rtf += std::exchange(FBody, body) + QStringLiteral(";}");
    }
    rtf += QStringLiteral("}\n");
    if (!FColors.empty()) {
        rtf += QStringLiteral("{\\colortbl ;");
        for (const QColor& color : FColors)
            rtf += QStringLiteral("\\red%1\\green%2\\blue%3;")
                       .arg(color.red())
                       .arg(color.green())
                       .arg(color.blue());
        rtf += QStringLiteral("}\n");
    }
    rtf += FBody;
    rtf += QStringLiteral("}\n");
    return rtf;
}

// Writes the blocks and frames of one frame in order; paragraphs are separated by "\par", and the
// last one of a table cell ends with the cell.
void Writer::WriteFrameItems(QTextFrame::iterator ABegin, QTextFrame::iterator AEnd, bool AInTable,
                             bool ALastEndsCell) {
    bool pendingPar = false;
    for (QTextFrame::iterator it = ABegin; it != AEnd; ++it) {
        if (QTextFrame* frame = it.currentFrame()) {
            if (pendingPar)
                FBody += QStringLiteral("\\par\n");
            pendingPar = false;
            auto* table = qobject_cast<QTextTable*>(frame);
            if (table != nullptr && !AInTable) {
                WriteTable(table);
            } else if (table != nullptr) {
                // A table inside a cell: its cells become paragraphs of the cell.
                for (int r = 0; r < table->rows(); ++r) {
                    for (int c = 0; c < table->columns(); ++c) {
                        const QTextTableCell cell = table->cellAt(r, c);
                        if (cell.row() != r || cell.column() != c)
                            continue;
                        if (pendingPar)
                            FBody += QStringLiteral("\\par\n");
                        WriteFrameItems(cell.begin(), cell.end(), true, false);
                        pendingPar = true;
                    }
                }
            } else {
                WriteFrameItems(frame->begin(), frame->end(), AInTable, false);
                pendingPar = true;
            }
            continue;
        }
        if (pendingPar)
            FBody += QStringLiteral("\\par\n");
        WriteBlock(it.currentBlock(), AInTable);
        pendingPar = true;
    }
    if (ALastEndsCell)
        FBody += QStringLiteral("\\cell ");
}

void Writer::WriteTable(QTextTable* ATable) {
    const int columns = ATable->columns();
    const QList<QTextLength> widths = ATable->format().columnWidthConstraints();
    std::vector<int> edges;
    int edge = 0;
    for (int c = 0; c < columns; ++c) {
        int width = kTableWidthTwips / columns;
        if (c < widths.size() && widths.at(c).type() == QTextLength::FixedLength)
            width = int(std::lround(widths.at(c).rawValue() * kTwipsPerPixel));
        else if (c < widths.size() && widths.at(c).type() == QTextLength::PercentageLength)
            width = int(std::lround(widths.at(c).rawValue() * kTableWidthTwips / 100.0));
        edge += std::max(width, 1);
        edges.push_back(edge);
    }
    for (int r = 0; r < ATable->rows(); ++r) {
        FBody += QStringLiteral("\\trowd\\trgaph108");
        for (const int e : edges)
            FBody += QStringLiteral("\\cellx%1").arg(e);
        FBody += QLatin1Char('\n');
        for (int c = 0; c < columns; ++c) {
            const QTextTableCell cell = ATable->cellAt(r, c);
            if (cell.row() != r || cell.column() != c) {
                FBody += QStringLiteral("\\pard\\intbl\\cell ");
                continue;
            }
            WriteFrameItems(cell.begin(), cell.end(), true, true);
        }
        FBody += QStringLiteral("\\row\n");
    }
    FBody += QStringLiteral("\\pard\n");
}

void Writer::WriteBlock(const QTextBlock& ABlock, bool AInTable) {
    const QTextBlockFormat format = ABlock.blockFormat();
    FBody += QStringLiteral("\\pard");
    if (AInTable)
        FBody += QStringLiteral("\\intbl");
    const Qt::Alignment align = format.alignment() & Qt::AlignHorizontal_Mask;
    if (align & Qt::AlignHCenter)
        FBody += QStringLiteral("\\qc");
    else if (align & Qt::AlignJustify)
        FBody += QStringLiteral("\\qj");
    else if (align & (Qt::AlignRight | Qt::AlignTrailing))
        FBody += QStringLiteral("\\qr");
    const double left = format.leftMargin() + format.indent() * FDocument.indentWidth();
    if (left != 0)
        FBody += QStringLiteral("\\li%1").arg(std::lround(left * kTwipsPerPixel));
    if (format.rightMargin() != 0)
        FBody += QStringLiteral("\\ri%1").arg(std::lround(format.rightMargin() * kTwipsPerPixel));
    if (format.textIndent() != 0)
        FBody += QStringLiteral("\\fi%1").arg(std::lround(format.textIndent() * kTwipsPerPixel));
    FBody += QLatin1Char(' ');

    QString openHref;
    for (QTextBlock::iterator it = ABlock.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const QTextCharFormat charFormat = fragment.charFormat();
        const QString href = charFormat.isAnchor() ? charFormat.anchorHref() : QString();
        if (href != openHref) {
            if (!openHref.isEmpty())
                FBody += QStringLiteral("}}}");
            if (!href.isEmpty()) {
                QString url = href;
                url.replace(QLatin1Char('"'), QLatin1String("%22"));
                FBody += QStringLiteral("{\\field{\\*\\fldinst{HYPERLINK \"");
                WriteText(url);
                FBody += QStringLiteral("\"}}{\\fldrslt{");
            }
            openHref = href;
        }
        if (charFormat.isImageFormat()) {
            for (int i = 0; i < fragment.length(); ++i)
                WriteImage(charFormat.toImageFormat());
            continue;
        }
        QString text = fragment.text();
        text.remove(QChar::ObjectReplacementCharacter);
        if (text.isEmpty())
            continue;
        const QString props = CharProperties(charFormat);
        if (props.isEmpty()) {
            WriteText(text);
        } else {
            FBody += QLatin1Char('{') + props + QLatin1Char(' ');
            WriteText(text);
            FBody += QLatin1Char('}');
        }
    }
    if (!openHref.isEmpty())
        FBody += QStringLiteral("}}}");
}

QString Writer::CharProperties(const QTextCharFormat& AFormat) {
    QString props;
    if (const QStringList families = FamiliesOf(AFormat); !families.isEmpty())
        props += QStringLiteral("\\f%1").arg(FontIndex(families.first()));
    double points = 0;
    if (AFormat.hasProperty(QTextFormat::FontPointSize))
        points = AFormat.fontPointSize();
    else if (AFormat.hasProperty(QTextFormat::FontPixelSize))
        points = AFormat.intProperty(QTextFormat::FontPixelSize) * 0.75;
    if (points > 0)
        props += QStringLiteral("\\fs%1").arg(std::lround(points * 2));
    if (AFormat.hasProperty(QTextFormat::FontWeight) && AFormat.fontWeight() >= QFont::DemiBold)
        props += QStringLiteral("\\b");
    if (AFormat.fontItalic())
        props += QStringLiteral("\\i");
    if (AFormat.fontUnderline())
        props += QStringLiteral("\\ul");
    if (AFormat.fontStrikeOut())
        props += QStringLiteral("\\strike");
    if (const QColor color = BrushColor(AFormat, QTextFormat::ForegroundBrush); color.isValid())
        props += QStringLiteral("\\cf%1").arg(ColorIndex(color));
    if (const QColor color = BrushColor(AFormat, QTextFormat::BackgroundBrush); color.isValid())
        props += QStringLiteral("\\highlight%1").arg(ColorIndex(color));
    return props;
}

void Writer::WriteText(const QString& AText) {
    for (const QChar c : AText) {
        switch (c.unicode()) {
        case '\\':
        case '{':
        case '}':
            FBody += QLatin1Char('\\');
            FBody += c;
            break;
        case '\t':
            FBody += QStringLiteral("\\tab ");
            break;
        case '\n':
        case 0x2028:
        case 0x2029:
            FBody += QStringLiteral("\\line ");
            break;
        case 0x00A0:
            FBody += QStringLiteral("\\~");
            break;
        case 0x00AD:
            FBody += QStringLiteral("\\-");
            break;
        case 0x2011:
            FBody += QStringLiteral("\\_");
            break;
        case QChar::ObjectReplacementCharacter:
            break;
        default:
            if (c.unicode() >= 0x20)
                FBody += c;
            break;
        }
    }
}

void Writer::WriteImage(const QTextImageFormat& AFormat) {
    const QVariant resource = FDocument.resource(QTextDocument::ImageResource, QUrl(AFormat.name()));
    const ImageFile picture = ImageFileOf(resource);
    if (picture.Bytes.isEmpty()) {
        qCWarning(lcHostApi, "A picture of the rich text has no image data and is left out");
        return;
    }
    QSizeF goal(AFormat.width(), AFormat.height());
    QByteArray bytes = picture.Bytes;
    QBuffer buffer(&bytes);
    const QSize size = QImageReader(&buffer).size();
    const QSizeF pixels = size.isValid() ? QSizeF(size) : QSizeF(100, 100);
    if (goal.width() <= 0 && goal.height() <= 0)
        goal = pixels;
    else if (goal.width() <= 0)
        goal.setWidth(goal.height() * pixels.width() / std::max(1.0, pixels.height()));
    else if (goal.height() <= 0)
        goal.setHeight(goal.width() * pixels.height() / std::max(1.0, pixels.width()));
    FBody += QStringLiteral("{\\pict\\%1\\picw%2\\pich%3\\picwgoal%4\\pichgoal%5\n")
                 .arg(picture.Extension == QLatin1String("jpg") ? QLatin1String("jpegblip")
                                                                : QLatin1String("pngblip"))
                 .arg(qRound(pixels.width()))
                 .arg(qRound(pixels.height()))
                 .arg(std::lround(goal.width() * kTwipsPerPixel))
                 .arg(std::lround(goal.height() * kTwipsPerPixel));
    const QByteArray hex = picture.Bytes.toHex();
    for (qsizetype i = 0; i < hex.size(); i += 128) {
        FBody += QLatin1String(hex.mid(i, 128));
        FBody += QLatin1Char('\n');
    }
    FBody += QLatin1Char('}');
}

} // namespace

QString RtfWriter::Write(const QTextDocument& ADocument) {
    Writer writer(ADocument);
    return writer.Run();
}

} // namespace hostapi
