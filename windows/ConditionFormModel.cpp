#include "ConditionFormModel.h"

#include "BaseEmailSender.h"
#include "DBFieldSchema.h"

#include <algorithm>

namespace emailmarketing {

namespace {

ConditionFormModel::TOperand OperandOf(bool AIsField, const QString& AValue,
                                       const hostapi::IDBFieldSchemaItem* ASchema) {
    return {AIsField, AValue, ASchema ? ASchema->IndexOfField(AValue) : -1};
}

QString ResultText(const QString& AText, bool AFieldsToCaption, const hostapi::IDBFieldSchemaItem* ASchema,
                   const hostapi::TDBFieldSchema& AFieldSchema) {
    if (!ASchema)
        return AText;
    return TBaseEmailSender::ReplaceFieldMacros(ASchema->SchemaName(), AText, AFieldsToCaption, AFieldSchema);
}

} // namespace

QList<ConditionFormModel::TFieldEntry>
ConditionFormModel::SortedFields(const hostapi::IDBFieldSchemaItem* ASchema) {
    QList<TFieldEntry> fields;
    if (!ASchema)
        return fields;
    for (int i = 0; i < ASchema->FieldCount(); ++i)
        fields.append({ASchema->Field(i).Caption, i});
    std::stable_sort(fields.begin(), fields.end(), [](const TFieldEntry& a, const TFieldEntry& b) {
        return a.Caption.compare(b.Caption, Qt::CaseInsensitive) < 0;
    });
    return fields;
}

ConditionFormModel::TForm ConditionFormModel::FromCondition(const TMacroConditionItem& ACondition,
                                                            const hostapi::IDBFieldSchemaItem* ASchema,
                                                            const hostapi::TDBFieldSchema& AFieldSchema) {
    TForm form;
    form.Value1 = OperandOf(ACondition.Value1IsField(), ACondition.ConditionValue1(), ASchema);
    form.Value2 = OperandOf(ACondition.Value2IsField(), ACondition.ConditionValue2(), ASchema);
    form.Result = OperandOf(ACondition.MacroValueIsField(), ACondition.MacroValue(), ASchema);
    form.Result.Text = ResultText(ACondition.MacroValue(), true, ASchema, AFieldSchema);
    form.Comparison = int(ACondition.Condition());
    return form;
}

bool ConditionFormModel::FindMissingField(const TForm& AForm, TOperandKind& AKind) {
    const std::pair<const TOperand*, TOperandKind> operands[] = {
        {&AForm.Value1, okValue1}, {&AForm.Value2, okValue2}, {&AForm.Result, okResult}};
    for (const auto& [operand, kind] : operands) {
        if (operand->IsField && operand->FieldIndex < 0) {
            AKind = kind;
            return true;
        }
    }
    return false;
}

void ConditionFormModel::ToCondition(const TForm& AForm, TMacroConditionItem& ACondition,
                                     const hostapi::IDBFieldSchemaItem* ASchema,
                                     const hostapi::TDBFieldSchema& AFieldSchema) {
    ACondition.SetValue1IsField(AForm.Value1.IsField);
    ACondition.SetValue2IsField(AForm.Value2.IsField);
    ACondition.SetMacroValueIsField(AForm.Result.IsField);
    ACondition.SetConditionValue1(AForm.Value1.IsField ? FieldName(ASchema, AForm.Value1.FieldIndex)
                                                       : AForm.Value1.Text);
    ACondition.SetConditionValue2(AForm.Value2.IsField ? FieldName(ASchema, AForm.Value2.FieldIndex)
                                                       : AForm.Value2.Text);
    ACondition.SetMacroValue(AForm.Result.IsField
                                 ? FieldName(ASchema, AForm.Result.FieldIndex)
                                 : ResultText(AForm.Result.Text, false, ASchema, AFieldSchema));
    const bool known = AForm.Comparison >= int(maNONE) && AForm.Comparison <= int(maEQLT);
    ACondition.SetCondition(known ? TMacroCondition(AForm.Comparison) : maNONE);
}

QString ConditionFormModel::FieldName(const hostapi::IDBFieldSchemaItem* ASchema, int AIndex) {
    if (!ASchema || AIndex < 0 || AIndex >= ASchema->FieldCount())
        return {};
    return ASchema->Field(AIndex).Name;
}

} // namespace emailmarketing
