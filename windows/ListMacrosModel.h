#pragma once

#include "MacroList.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace hostapi {
class IDBFieldSchemaItem;
}

namespace emailmarketing {

// What the macros tab of the distribution-lists window shows, without widgets: the columns of a
// condition line and which macro and condition buttons are offered.
class ListMacrosModel {
public:
    // The pages of the macro page control.
    enum TMacroPage { mpListMacros = 0, mpGeneralMacros = 1 };

    // The comparison's column text: "-", "=", "<>", ">", "<", ">=", "<="; empty for an unknown code.
    static QString ConditionText(TMacroCondition ACondition);

    // The four columns of ACondition: value 1, comparison, value 2, result. A field operand shows
    // the field's caption of ASchema in brackets, or AMissingField in brackets when ASchema (or no
    // schema) has no such field; a constant result goes through AToEditorForm (field macros with
    // captions), other constants show as stored.
    static QStringList ConditionLine(const TMacroConditionItem& ACondition,
                                     const hostapi::IDBFieldSchemaItem* ASchema, const QString& AMissingField,
                                     const std::function<QString(const QString&)>& AToEditorForm);

    // Visibility and enabling of the macro and condition buttons.
    struct TButtons {
        bool ListMacroButtons = false;    // btnAddMacro, btnDeleteMacro shown
        bool GeneralMacroButtons = false; // btnAddTableMacro, btnDeleteTableMacro shown
        bool ConditionButtons = false;    // the three condition buttons shown
        bool AddMacro = false;            // a list is shown
        bool AddTableMacro = false;       // a schema is chosen
        bool DeleteMacro = false;         // a macro of the active page is current
        bool AddCondition = false;
        bool EditCondition = false; // ... and a condition is selected
        bool DeleteCondition = false;

        bool operator==(const TButtons&) const = default;
    };
    struct TState {
        bool MacrosTab = false; // the tab "Makros" is active
        int Page = mpListMacros;
        bool HasList = false;
        bool HasSchema = false;
        bool HasMacro = false;
        bool HasCondition = false;
    };
    static TButtons Buttons(const TState& AState);
};

} // namespace emailmarketing
