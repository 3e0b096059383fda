#pragma once

#include "HostApiExport.h"

#include <QImage>
#include <QStringList>
#include <QTextDocument>

namespace hostapi {

// A text document that loads no resource by itself: images and style sheets are only those added
// with addResource (the RTF reader adds its pictures, the HTML import the files of its image
// folder). Neither a URL nor a local path named in imported text is ever opened. Its default font
// is Arial 12 pt, whatever the machine's.
//
// A document that is drawn answers MissingImage() for a picture it does not hold
// (SetDrawnWithPlaceholders): Qt's image handler would otherwise read an image that nothing
// answers straight from the path its name gives.
class HOSTAPI_EXPORT RichTextDocument : public QTextDocument {
    Q_OBJECT

public:
    explicit RichTextDocument(QObject* AParent = nullptr);
    ~RichTextDocument() override;

    // The names of the document's images in text order (a name as often as it is used).
    static QStringList ImageNames(const QTextDocument& ADocument);

    // The grey picture drawn in place of one the document does not hold.
    static QImage MissingImage();
    bool DrawnWithPlaceholders() const { return FPlaceholders; }
    void SetDrawnWithPlaceholders(bool AOn) { FPlaceholders = AOn; }

protected:
    QVariant loadResource(int AType, const QUrl& AName) override;

private:
    bool FPlaceholders = false;
};

} // namespace hostapi
