#pragma once

#include "HostApiExport.h"

#include <QTextDocument>

namespace hostapi {

// A text document that loads no resource by itself: images and style sheets are only those added
// with addResource (the RTF reader adds its pictures, the HTML import the files of its image
// folder). Neither a URL nor a local path named in imported text is ever opened. Its default font
// is Arial 12 pt, whatever the machine's.
class HOSTAPI_EXPORT RichTextDocument : public QTextDocument {
    Q_OBJECT

public:
    explicit RichTextDocument(QObject* AParent = nullptr);
    ~RichTextDocument() override;

protected:
    QVariant loadResource(int AType, const QUrl& AName) override;
};

} // namespace hostapi
