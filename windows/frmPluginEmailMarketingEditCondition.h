#pragma once

#include "ConditionFormModel.h"
#include "VRNLang.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QWidget;

namespace hostapi {
class IDBFieldSchemaItem;
class TDialogHeader;
} // namespace hostapi

namespace emailmarketing {

class TMacroConditionItem;

// Edits one condition of a conditional list macro: two values, their comparison and the macro's
// result, each value a constant or a field of the recipient record. Result 1 (OK): the condition was
// written in place; 2 (Cancel): it is unchanged.
class TfrmPluginEmailMarketingEditCondition : public QDialog {
    Q_OBJECT

public:
    explicit TfrmPluginEmailMarketingEditCondition(QWidget* AParent = nullptr);
    ~TfrmPluginEmailMarketingEditCondition() override;

    // Edits ACondition with the fields of ASchema (nullptr: none) modally through the dialog service;
    // True when it was saved.
    bool Execute(TMacroConditionItem& ACondition);

    TMacroConditionItem* MacroCondition() const { return FMacroCondition; }
    void SetMacroCondition(TMacroConditionItem* ACondition);
    const hostapi::IDBFieldSchemaItem* DBFieldSchemaItem() const { return FDBFieldSchemaItem; }
    void SetDBFieldSchemaItem(const hostapi::IDBFieldSchemaItem* ASchema);
    QString Language() const { return FLang.Language(); }
    void SetLanguage(const QString& ALangName);

private:
    // The widgets of one value: a page control with a value page and a field page, and the check box
    // that switches between them.
    struct TOperandControls {
        QGroupBox* Group;
        QStackedWidget* Pages;
        QWidget* ValuePage;
        QWidget* FieldPage;
        QLabel* ValueLabel;
        QLineEdit* Value;
        QLabel* FieldLabel;
        QComboBox* Fields;
        QCheckBox* IsField;
    };

    TOperandControls CreateOperand(const QString& AGroup, const QString& APages, const QString& AValuePage,
                                   const QString& AValue, const QString& AFieldPage, const QString& AFields,
                                   const QString& AIsField);
    void cbVal1TypeClick();
    void cbVal2TypeClick();
    void cbResultTypeClick();
    void Button1Click();
    void Button2Click();

    void ShowCondition();
    // False (with the reason shown) when the form cannot be stored.
    bool StoreCondition();
    void FieldsChanged();
    void ApplyTexts();
    static void ShowOperandPage(const TOperandControls& AControls);
    static void ShowOperand(const TOperandControls& AControls, const ConditionFormModel::TOperand& AOperand);
    static ConditionFormModel::TOperand OperandOf(const TOperandControls& AControls);

    TMacroConditionItem* FMacroCondition = nullptr;
    QList<ConditionFormModel::TFieldEntry> FFields;
    const hostapi::IDBFieldSchemaItem* FDBFieldSchemaItem = nullptr;
    hostapi::TVRNLang FLang;

    hostapi::TDialogHeader* pnlHeader;
    TOperandControls FVal1;
    TOperandControls FVal2;
    TOperandControls FResult;
    QGroupBox* grpCondition;
    QComboBox* cbCondition;
    QPushButton* Button1;
    QPushButton* Button2;
};

} // namespace emailmarketing
