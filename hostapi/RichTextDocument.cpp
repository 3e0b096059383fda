#include "RichTextDocument.h"

#include <QColor>
#include <QFont>
#include <QTextBlock>

namespace hostapi {

RichTextDocument::RichTextDocument(QObject* AParent) : QTextDocument(AParent) {
    // Text without a font of its own reads the same on every machine: RTF's default size.
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(12);
    setDefaultFont(font);
}

RichTextDocument::~RichTextDocument() = default;

QStringList RichTextDocument::ImageNames(const QTextDocument& ADocument) {
    QStringList names;
    for (QTextBlock block = ADocument.begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat())
                names.append(format.toImageFormat().name());
        }
    }
    return names;
}

QImage RichTextDocument::MissingImage() {
    static const QImage image = [] {
        QImage placeholder(16, 16, QImage::Format_RGB32);
        placeholder.fill(QColor(0xE0, 0xE0, 0xE0));
        return placeholder;
    }();
    return image;
}

QVariant RichTextDocument::loadResource(int AType, const QUrl& /*AName*/) {
    if (FPlaceholders && AType == QTextDocument::ImageResource)
        return MissingImage();
    return {};
}

} // namespace hostapi
