#include "TemplateContentStore.h"

#include "ClientSQL.h"
#include "Database.h"
#include "QVException.h"

namespace emailmarketing {

namespace {

const QString EmbeddedSchema = QStringLiteral("emlembededcontent");
const QString EmbeddedTemplateField = QStringLiteral("emltemplateid");

} // namespace

TTemplateContentStore::TTemplateContentStore(const QString& AContentSchema)
    : FContentSchema(AContentSchema) {}

TTemplateContentStore::~TTemplateContentStore() = default;

hostapi::TQVRecordSet& TTemplateContentStore::ContentRecordSet() {
    if (!FTemplateContentRecordSet) {
        FTemplateContentRecordSet = std::make_unique<hostapi::TQVRecordSet>(FContentSchema);
        FTemplateContentRecordSet->SetOnGetFieldIsRequired([](const QString& AFieldName) {
            return AFieldName == QLatin1String("mailbody") || AFieldName == QLatin1String("mailbodyhtml") ||
                   AFieldName == QLatin1String("subject");
        });
    }
    return *FTemplateContentRecordSet;
}

hostapi::TQVRecordSet& TTemplateContentStore::EmbededDataRecordSet() {
    if (!FTemplateContentEmbededDataRecordSet)
        FTemplateContentEmbededDataRecordSet = std::make_unique<hostapi::TQVRecordSet>(EmbeddedSchema);
    return *FTemplateContentEmbededDataRecordSet;
}

void TTemplateContentStore::SetFilters() {
    hostapi::TQVRecordSet& content = ContentRecordSet();
    content.Filters().Clear();
    content.Filters().Add(QStringLiteral("id"), FTemplateID);
    hostapi::TQVRecordSet& embedded = EmbededDataRecordSet();
    embedded.Filters().Clear();
    embedded.Filters().Add(EmbeddedTemplateField, FTemplateID);
    embedded.SetSchemaVariable(EmbeddedTemplateField, FTemplateID);
    embedded.SetFixedField(EmbeddedTemplateField, FTemplateID);
}

void TTemplateContentStore::Refresh() {
    SetFilters();
    hostapi::TQVRecordSet& content = ContentRecordSet();
    hostapi::TQVRecordSet& embedded = EmbededDataRecordSet();
    content.Close();
    content.Open();
    embedded.Close();
    embedded.Open();
}

bool TTemplateContentStore::HasRow() const {
    return FTemplateContentRecordSet && FTemplateContentRecordSet->Active() &&
           FTemplateContentRecordSet->RecordCount() > 0;
}

QString TTemplateContentStore::Subject() const {
    return HasRow() ? FTemplateContentRecordSet->FieldValueAt(0, QStringLiteral("subject")).toString()
                    : QString();
}

QString TTemplateContentStore::MailBody() const {
    return HasRow() ? FTemplateContentRecordSet->FieldValueAt(0, QStringLiteral("mailbody")).toString()
                    : QString();
}

QString TTemplateContentStore::MailBodyHtml() const {
    return HasRow() ? FTemplateContentRecordSet->FieldValueAt(0, QStringLiteral("mailbodyhtml")).toString()
                    : QString();
}

QList<TEmbeddedImage> TTemplateContentStore::Images() const {
    QList<TEmbeddedImage> images;
    const hostapi::TQVRecordSet* embedded = FTemplateContentEmbededDataRecordSet.get();
    if (!embedded || !embedded->Active())
        return images;
    for (int i = 0; i < embedded->RecordCount(); ++i)
        images.append({embedded->FieldValueAt(i, QStringLiteral("contentfilename")).toString(),
                       embedded->FieldValueAt(i, QStringLiteral("contentdata")).toByteArray()});
    return images;
}

void TTemplateContentStore::Save(const TBodies& ABodies) {
    if (!HasRow())
        throw hostapi::EQVException(
            QStringLiteral("The template %1 is not stored and cannot be saved.").arg(FTemplateID));
    hostapi::TQVRecordSet& content = ContentRecordSet();
    content.SetRecNo(0);
    content.Edit();
    try {
        if (ABodies.Subject)
            content.SetFieldValue(QStringLiteral("subject"), *ABodies.Subject);
        if (ABodies.MailBody)
            content.SetFieldValue(QStringLiteral("mailbody"), *ABodies.MailBody);
        if (ABodies.MailBodyHtml)
            content.SetFieldValue(QStringLiteral("mailbodyhtml"), *ABodies.MailBodyHtml);
        content.Post();
    } catch (...) {
        content.Cancel();
        throw;
    }
}

void TTemplateContentStore::DeleteImageRows() {
    hostapi::TClientSQL sql(EmbeddedSchema, hostapi::ckDelete);
    sql.Filters().Add(EmbeddedTemplateField, FTemplateID);
    sql.Execute();
}

void TTemplateContentStore::DeleteImages() {
    if (FTemplateID <= 0)
        return;
    SetFilters();
    DeleteImageRows();
    EmbededDataRecordSet().Close();
    EmbededDataRecordSet().Open();
}

void TTemplateContentStore::ReplaceImages(const QList<TEmbeddedImage>& AImages) {
    if (FTemplateID <= 0)
        return;
    SetFilters();
    hostapi::TQVRecordSet& embedded = EmbededDataRecordSet();
    embedded.Close();
    {
        hostapi::Transaction transaction;
        DeleteImageRows();
        for (const TEmbeddedImage& image : AImages) {
            const QString name = TemplateContent::SafeImageName(image.FileName);
            if (name.isEmpty())
                continue;
            hostapi::TClientSQL sql(EmbeddedSchema, hostapi::ckInsert);
            sql.AddField(EmbeddedTemplateField);
            sql.SetFieldValue(EmbeddedTemplateField, FTemplateID);
            sql.AddField(QStringLiteral("contentfilename"));
            sql.SetFieldValue(QStringLiteral("contentfilename"), name);
            sql.AddField(QStringLiteral("contentdata"));
            sql.SetFieldValue(QStringLiteral("contentdata"), image.Data);
            sql.Execute();
        }
        transaction.Commit();
    }
    embedded.Open();
}

} // namespace emailmarketing
