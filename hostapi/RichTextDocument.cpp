#include "RichTextDocument.h"

#include <QFont>

namespace hostapi {

RichTextDocument::RichTextDocument(QObject* AParent) : QTextDocument(AParent) {
    // Text without a font of its own reads the same on every machine: RTF's default size.
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(12);
    setDefaultFont(font);
}

RichTextDocument::~RichTextDocument() = default;

QVariant RichTextDocument::loadResource(int /*AType*/, const QUrl& /*AName*/) {
    return {};
}

} // namespace hostapi
