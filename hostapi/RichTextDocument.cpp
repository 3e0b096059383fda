#include "RichTextDocument.h"

namespace hostapi {

RichTextDocument::RichTextDocument(QObject* AParent) : QTextDocument(AParent) {}

RichTextDocument::~RichTextDocument() = default;

QVariant RichTextDocument::loadResource(int /*AType*/, const QUrl& /*AName*/) {
    return {};
}

} // namespace hostapi
