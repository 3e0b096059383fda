#include "ListMacrosModel.h"

#include "DBFieldSchema.h"

namespace emailmarketing {

namespace {

QString FieldText(const QString& AName, const hostapi::IDBFieldSchemaItem* ASchema,
                  const QString& AMissingField) {
    const int index = ASchema ? ASchema->IndexOfField(AName) : -1;
    return QStringLiteral("[%1]").arg(index < 0 ? AMissingField : ASchema->Field(index).Caption);
}

} // namespace

QString ListMacrosModel::ConditionText(TMacroCondition ACondition) {
    switch (ACondition) {
    case maNONE:
        return QStringLiteral("-");
    case maEQ:
        return QStringLiteral("=");
    case maNEQ:
        return QStringLiteral("<>");
    case maGT:
        return QStringLiteral(">");
    case maLT:
        return QStringLiteral("<");
    case maEQGT:
        return QStringLiteral(">=");
    case maEQLT:
        return QStringLiteral("<=");
    }
    return {};
}

QStringList ListMacrosModel::ConditionLine(const TMacroConditionItem& ACondition,
                                           const hostapi::IDBFieldSchemaItem* ASchema,
                                           const QString& AMissingField,
                                           const std::function<QString(const QString&)>& AToEditorForm) {
    const auto operand = [&](bool AIsField, const QString& AValue) {
        return AIsField ? FieldText(AValue, ASchema, AMissingField) : AValue;
    };
    return {operand(ACondition.Value1IsField(), ACondition.ConditionValue1()),
            ConditionText(ACondition.Condition()),
            operand(ACondition.Value2IsField(), ACondition.ConditionValue2()),
            ACondition.MacroValueIsField() ? FieldText(ACondition.MacroValue(), ASchema, AMissingField)
                                           : AToEditorForm(ACondition.MacroValue())};
}

ListMacrosModel::TButtons ListMacrosModel::Buttons(const TState& AState) {
    TButtons b;
    if (!AState.MacrosTab)
        return b;
    const bool listPage = AState.Page == mpListMacros;
    b.ListMacroButtons = listPage;
    b.GeneralMacroButtons = !listPage;
    b.ConditionButtons = true;
    b.AddMacro = AState.HasList;
    b.AddTableMacro = AState.HasList && AState.HasSchema;
    b.DeleteMacro = AState.HasMacro && (listPage ? AState.HasList : AState.HasSchema);
    b.AddCondition = AState.HasMacro;
    b.EditCondition = AState.HasMacro && AState.HasCondition;
    b.DeleteCondition = b.EditCondition;
    return b;
}

} // namespace emailmarketing
