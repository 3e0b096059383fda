#include "MacroForms.h"

#include "DBFieldSchema.h"
#include "EmailListItem.h"
#include "MacroList.h"
#include "MacroNames.h"
#include "TextUtils.h"

namespace emailmarketing {

namespace {

QString ReplaceMacroPair(const QString& AText, const QString& AName, const QString& ACaption,
                         bool FieldsToCaption) {
    // An empty name or caption would turn "%%" or "[]" into a macro.
    if (AName.isEmpty() || ACaption.isEmpty())
        return AText;
    const QString stored = QLatin1Char('%') + AName + QLatin1Char('%');
    const QString shown = QLatin1Char('[') + ACaption + QLatin1Char(']');
    return FieldsToCaption ? hostapi::FastReplace(AText, stored, shown, false)
                           : hostapi::FastReplace(AText, shown, stored, false);
}

QString ReplaceMacroList(QString AText, const TMacroList& AMacros, bool FieldsToCaption) {
    for (int i = 0; i < AMacros.Count(); ++i) {
        const TMacroItem* macro = AMacros.Items(i);
        AText =
            ReplaceMacroPair(AText, MacroUpperCase(macro->MacroName()), macro->Caption(), FieldsToCaption);
    }
    return AText;
}

} // namespace

const QList<QPair<QString, QString>>& TMacroForms::PredefinedMacros() {
    static const QList<QPair<QString, QString>> macros = {
        {QStringLiteral("PRE_DATE"), QStringLiteral("Aktuelles Datum")},
        {QStringLiteral("PRE_TIME"), QStringLiteral("Aktuelle Uhrzeit")},
        {QStringLiteral("PRE_YEAR2"), QStringLiteral("Aktuelles Jahr - zwei stellig")},
        {QStringLiteral("PRE_YEAR4"), QStringLiteral("Aktuelles Jahr - vier stellig")},
        {QStringLiteral("PRE_MONTH1"), QStringLiteral("Aktueller Monat - ein stellig")},
        {QStringLiteral("PRE_MONTH2"), QStringLiteral("Aktueller Monat - zwei stellig")},
        {QStringLiteral("PRE_MONTH3"), QStringLiteral("Aktueller Monat - kurz")},
        {QStringLiteral("PRE_MONTH4"), QStringLiteral("Aktueller Monat - lang")},
        {QStringLiteral("PRE_DAY1"), QStringLiteral("Aktueller Tag - ein stellig")},
        {QStringLiteral("PRE_DAY2"), QStringLiteral("Aktueller Tag - zwei stellig")},
        {QStringLiteral("PRE_DAY3"), QStringLiteral("Aktueller Tag - kurz")},
        {QStringLiteral("PRE_DAY4"), QStringLiteral("Aktueller Tag - lang")},
        {QStringLiteral("PRE_USER"), QStringLiteral("Angemeldeter Benutzer")},
        {QStringLiteral("PRE_SENDERNAME"), QStringLiteral("Absender Name")},
        {QStringLiteral("PRE_SENDEREMAIL"), QStringLiteral("Absender EMailadresse")},
        {QStringLiteral("PRE_MAILCOUNT"), QStringLiteral("Anzahl Empfänger")},
        {QStringLiteral("PRE_DISTRIBUTORLIST"), QStringLiteral("Verteilerliste")},
    };
    return macros;
}

QString TMacroForms::ReplaceFieldMacros(const QString& SchemaName, const QString& AText, bool FieldsToCaption,
                                        const hostapi::TDBFieldSchema& ADBFieldSchema) {
    const hostapi::IDBFieldSchemaItem& schema = ADBFieldSchema.RequireSchema(SchemaName);
    QString result = AText;
    for (int i = 0; i < schema.FieldCount(); ++i) {
        const hostapi::TDBFieldDef field = schema.Field(i);
        result = ReplaceMacroPair(result, MacroUpperCase(field.Name), field.Caption, FieldsToCaption);
    }
    return result;
}

QString TMacroForms::ReplaceFieldMacros(const QString& AText, bool FieldsToCaption,
                                        const TEmailListItem* AEmailList,
                                        const hostapi::TDBFieldSchema& ADBFieldSchema) {
    if (!AEmailList)
        return AText;
    // A list whose data-source schema is missing has no field macros; its own, its schema's and
    // the predefined macros still convert, so a template of it can be saved.
    QString result = AText;
    if (ADBFieldSchema.SchemaByName(AEmailList->SectionName()))
        result = ReplaceFieldMacros(AEmailList->SectionName(), AText, FieldsToCaption, ADBFieldSchema);
    result = ReplaceMacroList(result, AEmailList->UserMacros(), FieldsToCaption);
    if (const std::shared_ptr<TMacroList> schemaMacros = AEmailList->GlobalTableMacros())
        result = ReplaceMacroList(result, *schemaMacros, FieldsToCaption);
    for (const auto& [name, caption] : PredefinedMacros())
        result = ReplaceMacroPair(result, name, caption, FieldsToCaption);
    return result;
}

} // namespace emailmarketing
