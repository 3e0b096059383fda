#pragma once

#include "MacroList.h"

#include <QList>
#include <QString>

namespace hostapi {
class IDBFieldSchemaItem;
class TDBFieldSchema;
} // namespace hostapi

namespace emailmarketing {

// The condition editor's content without widgets: a condition's values as the form shows them and
// back, and the field lists of the recipient schema.
class ConditionFormModel {
public:
    // One entry of the field lists: the caption shown and the field's index in the schema.
    struct TFieldEntry {
        QString Caption;
        int Index = -1;
        bool operator==(const TFieldEntry&) const = default;
    };

    // One of the three values: a constant text or a field of the recipient record.
    struct TOperand {
        bool IsField = false;
        QString Text;        // the constant (for a field: what the condition held, shown on the hidden page)
        int FieldIndex = -1; // the field chosen; -1: none
    };

    struct TForm {
        TOperand Value1;
        TOperand Value2;
        TOperand Result;
        int Comparison = -1; // TMacroCondition ordinal; -1: none chosen
    };

    // Which operand a refusal names.
    enum TOperandKind { okValue1, okValue2, okResult };

    // The fields of ASchema (nullptr: none), sorted by caption (case-insensitive; equal captions keep
    // the schema order).
    static QList<TFieldEntry> SortedFields(const hostapi::IDBFieldSchemaItem* ASchema);

    // The condition as the form shows it. Field macros in a constant result are shown with the
    // fields' captions ("%NAME%" as "[Name]").
    static TForm FromCondition(const TMacroConditionItem& ACondition,
                               const hostapi::IDBFieldSchemaItem* ASchema,
                               const hostapi::TDBFieldSchema& AFieldSchema);

    // The first field operand without a chosen field, if any: such a condition is refused (every
    // recipient would fail its preparation).
    static bool FindMissingField(const TForm& AForm, TOperandKind& AKind);

    // Writes the form into ACondition (its setters mark it changed). A constant result's captions in
    // field macros go back to field names; no comparison stores maNONE. The caller has checked
    // FindMissingField.
    static void ToCondition(const TForm& AForm, TMacroConditionItem& ACondition,
                            const hostapi::IDBFieldSchemaItem* ASchema,
                            const hostapi::TDBFieldSchema& AFieldSchema);

    // The name of field AIndex of ASchema; empty for -1 or without a schema.
    static QString FieldName(const hostapi::IDBFieldSchemaItem* ASchema, int AIndex);
};

} // namespace emailmarketing
