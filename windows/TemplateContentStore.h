#pragma once

#include "QVRecordSet.h"
#include "TemplateContent.h"

#include <QString>

#include <memory>
#include <optional>

namespace emailmarketing {

// The two record sets through which the mailing window reads and writes the shown template's
// body: its content row ("id", "subject", "mailbody", "mailbodyhtml" of the template schema) and
// its embedded images ("emlembededcontent"). Both are made on first use and always filter by the
// current template id.
class TTemplateContentStore {
public:
    explicit TTemplateContentStore(const QString& AContentSchema = QStringLiteral("emtemplates"));
    ~TTemplateContentStore();

    qint64 TemplateID() const { return FTemplateID; }
    void SetTemplateID(qint64 AValue) { FTemplateID = AValue; }

    // Reads the content row and the images of the current template again.
    void Refresh();
    bool HasRow() const;
    QString Subject() const;
    QString MailBody() const;
    QString MailBodyHtml() const;
    QList<TEmbeddedImage> Images() const;

    // Writes the given columns of the content row (a column left empty is not written).
    struct TBodies {
        std::optional<QString> Subject;
        std::optional<QString> MailBody;
        std::optional<QString> MailBodyHtml;
    };
    void Save(const TBodies& ABodies);
    // Replaces all images of the template by AImages, in one transaction.
    void ReplaceImages(const QList<TEmbeddedImage>& AImages);
    // Deletes all images of a stored template (id > 0).
    void DeleteImages();

    hostapi::TQVRecordSet& ContentRecordSet();
    hostapi::TQVRecordSet& EmbededDataRecordSet();

private:
    void SetFilters();
    void DeleteImageRows();

    QString FContentSchema;
    qint64 FTemplateID = -1;
    std::unique_ptr<hostapi::TQVRecordSet> FTemplateContentRecordSet;
    std::unique_ptr<hostapi::TQVRecordSet> FTemplateContentEmbededDataRecordSet;
};

} // namespace emailmarketing
