#include "MailingMacroCatalogue.h"

#include "BaseEmailSender.h"
#include "DBFieldSchema.h"
#include "EmailAttachement.h"
#include "EmailListItem.h"
#include "MacroForms.h"
#include "MacroList.h"
#include "MacroNames.h"
#include "QVException.h"

#include <QSet>

#include <algorithm>

namespace emailmarketing {

namespace {

void SortByCaption(QList<TMailingMacroEntry>& AEntries) {
    std::stable_sort(AEntries.begin(), AEntries.end(),
                     [](const TMailingMacroEntry& a, const TMailingMacroEntry& b) {
                         return a.Caption.compare(b.Caption, Qt::CaseInsensitive) < 0;
                     });
}

void AddMacros(QList<TMailingMacroEntry>& AEntries, const TMacroList& AMacros, int AKind) {
    for (int i = 0; i < AMacros.Count(); ++i) {
        const TMacroItem* macro = AMacros.Items(i);
        AEntries.append({macro->Caption(), StoredMacroForm(macro->MacroName()), AKind});
    }
}

// Groups searched for used macros, in the order their macros are computed.
constexpr TMailingMacroGroup UsedMacroOrder[] = {mgListMacros, mgSchemaMacros, mgSystem, mgFields};

} // namespace

QString TMailingMacroEntry::ShownForm() const {
    if (Kind == mkTextBlock)
        return Stored;
    return QLatin1Char('[') + Caption + QLatin1Char(']');
}

TMailingMacroCatalogue::TMailingMacroCatalogue() {
    QList<TMailingMacroEntry>& system = FGroups[mgSystem];
    for (const auto& [name, caption] : TMacroForms::PredefinedMacros())
        system.append({caption, StoredMacroForm(name), mkPredefined});
    SortByCaption(system);
}

bool TMailingMacroCatalogue::SetList(std::shared_ptr<TEmailListItem> AList,
                                     const hostapi::TDBFieldSchema& AFieldSchema) {
    FList = std::move(AList);
    FFieldSchema = &AFieldSchema;
    FSchemaMissing = false;
    FGroups[mgFields].clear();
    FGroups[mgSchemaMacros].clear();
    FGroups[mgListMacros].clear();
    FUserMacros = TMacroList();
    FSchemaMacros.reset();
    if (!FList)
        return true;
    FUserMacros = FList->UserMacros();
    FSchemaMacros = FList->GlobalTableMacros();
    AddMacros(FGroups[mgListMacros], FUserMacros, mkListMacro);
    if (FSchemaMacros)
        AddMacros(FGroups[mgSchemaMacros], *FSchemaMacros, mkSchemaMacro);
    if (const hostapi::IDBFieldSchemaItem* schema = AFieldSchema.SchemaByName(FList->SectionName())) {
        for (int i = 0; i < schema->FieldCount(); ++i) {
            const hostapi::TDBFieldDef field = schema->Field(i);
            // A field without caption has no shown form.
            if (!field.Caption.isEmpty())
                FGroups[mgFields].append({field.Caption, StoredMacroForm(field.Name), mkField});
        }
    } else {
        FSchemaMissing = true;
    }
    for (const TMailingMacroGroup group : {mgFields, mgSchemaMacros, mgListMacros})
        SortByCaption(FGroups[group]);
    return !FSchemaMissing;
}

void TMailingMacroCatalogue::SetTextBlocks(const QStringList& ADescriptions) {
    QList<TMailingMacroEntry>& blocks = FGroups[mgTextBlocks];
    blocks.clear();
    for (const QString& description : ADescriptions)
        if (!description.isEmpty())
            blocks.append({description, TextBlockTag(description), mkTextBlock});
}

const QList<TMailingMacroEntry>& TMailingMacroCatalogue::Entries(TMailingMacroGroup AGroup) const {
    QV_ASSERT(AGroup >= 0 && AGroup < MailingMacroGroupCount);
    return FGroups[AGroup];
}

QString TMailingMacroCatalogue::ConvertMacroCaptions(const QString& AText, bool AToCaptions) const {
    if (!FList)
        return AText;
    return TMacroForms::ReplaceFieldMacros(AText, AToCaptions, FList.get(), *FFieldSchema);
}

bool TMailingMacroCatalogue::PathHasMacro(const QString& APath) const {
    for (const TMailingMacroGroup group : {mgListMacros, mgSchemaMacros, mgSystem, mgFields})
        for (const TMailingMacroEntry& entry : FGroups[group])
            if (APath.contains(entry.Stored, Qt::CaseInsensitive))
                return true;
    return false;
}

void TMailingMacroCatalogue::AddValueMacros(QList<TUsedMakro>& AUsed, const QString& AValues) const {
    for (const TMailingMacroGroup group : {mgSystem, mgFields})
        for (const TMailingMacroEntry& entry : FGroups[group])
            if (AValues.contains(entry.Stored, Qt::CaseInsensitive))
                AUsed.append({entry.Stored, entry.Kind});
}

QList<TUsedMakro> TMailingMacroCatalogue::CollectUsedMacros(const QStringList& ATexts,
                                                            const TAttachementList& AAttachements) const {
    const auto inTexts = [&ATexts](const QString& AMacro) {
        return std::any_of(ATexts.cbegin(), ATexts.cend(), [&AMacro](const QString& AText) {
            return AText.contains(AMacro, Qt::CaseInsensitive);
        });
    };
    QList<TUsedMakro> used;
    for (const TMailingMacroGroup group : UsedMacroOrder) {
        for (const TMailingMacroEntry& entry : FGroups[group]) {
            if (!inTexts(entry.Stored) && !AAttachements.RequiresMacro(entry.Stored))
                continue;
            used.append({entry.Stored, entry.Kind});
            // The predefined macros and fields in a list or schema macro's values are computed
            // after it, so that a value holding them is filled in too.
            const TMacroList* macros = entry.Kind == mkListMacro     ? &FUserMacros
                                       : entry.Kind == mkSchemaMacro ? FSchemaMacros.get()
                                                                     : nullptr;
            if (!macros)
                continue;
            if (const TMacroItem* macro = macros->ByName(entry.Stored.mid(1, entry.Stored.size() - 2)))
                AddValueMacros(used, macro->GetAllMacroValuesAsBigStr());
        }
    }
    // Replaced in this order: a macro stays at its last place, after every value that holds it.
    QList<TUsedMakro> once;
    QSet<TUsedMakro> seen;
    for (auto it = used.crbegin(); it != used.crend(); ++it)
        if (!seen.contains(*it)) {
            seen.insert(*it);
            once.prepend(*it);
        }
    return once;
}

QList<TUsedMakro> TMailingMacroCatalogue::CollectUsedMacros(const QString& AText,
                                                            const TAttachementList& AAttachements) const {
    return CollectUsedMacros(QStringList{AText}, AAttachements);
}

void TMailingMacroCatalogue::CollectUsedMacros(TBaseEmailSender& AJob) const {
    AJob.UsedMakros() = CollectUsedMacros(
        QStringList{AJob.Content(), AJob.HTMLContent(), AJob.Subject(), AJob.CCList(), AJob.BCCList()},
        AJob.Attachements());
}

} // namespace emailmarketing
