#include "frmPluginEmailMarketingEditCondition.h"

#include "DBFieldSchema.h"
#include "DialogHeader.h"
#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "MacroList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace emailmarketing {

namespace {

// The texts of cbCondition; the item index is the TMacroCondition ordinal.
const char* const ComparisonTexts[] = {"-", "=", "<>", ">", "<", ">=", "<="};

QWidget* LabelledPage(QStackedWidget* APages, const QString& AName, QLabel*& ALabel, QWidget* AEdit) {
    auto* page = new QWidget(APages);
    page->setObjectName(AName);
    ALabel = new QLabel(page);
    ALabel->setBuddy(AEdit);
    AEdit->setParent(page);
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ALabel);
    layout->addWidget(AEdit, 1);
    APages->addWidget(page);
    return page;
}

} // namespace

TfrmPluginEmailMarketingEditCondition::TfrmPluginEmailMarketingEditCondition(QWidget* AParent)
    : QDialog(AParent), FLang(QStringLiteral("frmPluginEmailMarketingEditCondition")) {
    setObjectName(QStringLiteral("frmPluginEmailMarketingEditCondition"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    pnlHeader = new hostapi::TDialogHeader(this);

    FVal1 = CreateOperand(QStringLiteral("grpVal1"), QStringLiteral("pgVal1"), QStringLiteral("tbsVal1"),
                          QStringLiteral("edtVal1"), QStringLiteral("tbsField1"), QStringLiteral("cbFields1"),
                          QStringLiteral("cbVal1Type"));
    FVal2 = CreateOperand(QStringLiteral("grpVal2"), QStringLiteral("pgVal2"), QStringLiteral("tbsVal2"),
                          QStringLiteral("edtVal2"), QStringLiteral("tbsField2"), QStringLiteral("cbFields2"),
                          QStringLiteral("cbVal2Type"));
    grpCondition = new QGroupBox(this);
    grpCondition->setObjectName(QStringLiteral("grpCondition"));
    cbCondition = new QComboBox(grpCondition);
    cbCondition->setObjectName(QStringLiteral("cbCondition"));
    cbCondition->setMinimumWidth(90);
    for (const char* text : ComparisonTexts)
        cbCondition->addItem(QString::fromLatin1(text));
    auto* conditionLayout = new QHBoxLayout(grpCondition);
    conditionLayout->addWidget(cbCondition);
    conditionLayout->addStretch();
    FResult =
        CreateOperand(QStringLiteral("grpResult"), QStringLiteral("pgResult"), QStringLiteral("tbsResultVal"),
                      QStringLiteral("edtResultVal"), QStringLiteral("tbsResultField"),
                      QStringLiteral("cbResultFields"), QStringLiteral("cbResultType"));

    Button1 = new QPushButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);
    auto* footerLayout = new QHBoxLayout;
    footerLayout->addStretch();
    footerLayout->addWidget(Button1);
    footerLayout->addWidget(Button2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pnlHeader);
    layout->addWidget(FVal1.Group);
    layout->addWidget(FVal2.Group);
    layout->addWidget(grpCondition);
    layout->addWidget(FResult.Group);
    layout->addStretch();
    layout->addLayout(footerLayout);

    QWidget* order[] = {FVal1.Value,    FVal1.Fields,    FVal1.IsField, FVal2.Value,
                        FVal2.Fields,   FVal2.IsField,   cbCondition,   FResult.Value,
                        FResult.Fields, FResult.IsField, Button1,       Button2};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    using hostapi::TVRNExceptionUtils;
    connect(FVal1.IsField, &QCheckBox::toggled, this, [this] { cbVal1TypeClick(); });
    connect(FVal2.IsField, &QCheckBox::toggled, this, [this] { cbVal2TypeClick(); });
    connect(FResult.IsField, &QCheckBox::toggled, this, [this] { cbResultTypeClick(); });
    connect(Button1, &QPushButton::clicked, this,
            [this] { TVRNExceptionUtils::Guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

    ApplyTexts();
    cbCondition->setCurrentIndex(-1);
    resize(QSize(376, 0).expandedTo(sizeHint()));
}

TfrmPluginEmailMarketingEditCondition::~TfrmPluginEmailMarketingEditCondition() = default;

TfrmPluginEmailMarketingEditCondition::TOperandControls TfrmPluginEmailMarketingEditCondition::CreateOperand(
    const QString& AGroup, const QString& APages, const QString& AValuePage, const QString& AValue,
    const QString& AFieldPage, const QString& AFields, const QString& AIsField) {
    TOperandControls c;
    c.Group = new QGroupBox(this);
    c.Group->setObjectName(AGroup);
    c.Pages = new QStackedWidget(c.Group);
    c.Pages->setObjectName(APages);
    c.Value = new QLineEdit;
    c.Value->setObjectName(AValue);
    c.ValuePage = LabelledPage(c.Pages, AValuePage, c.ValueLabel, c.Value);
    c.Fields = new QComboBox;
    c.Fields->setObjectName(AFields);
    c.FieldPage = LabelledPage(c.Pages, AFieldPage, c.FieldLabel, c.Fields);
    c.IsField = new QCheckBox(c.Group);
    c.IsField->setObjectName(AIsField);
    auto* layout = new QVBoxLayout(c.Group);
    layout->addWidget(c.Pages);
    layout->addWidget(c.IsField);
    // The labels line up on both pages.
    c.Pages->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return c;
}

void TfrmPluginEmailMarketingEditCondition::ApplyTexts() {
    setWindowTitle(FLang.Text(QStringLiteral("IDS_Caption")));
    pnlHeader->SetTitle(FLang.Text(QStringLiteral("IDS_Caption")));
    const std::pair<TOperandControls*, const char*> groups[] = {
        {&FVal1, "IDS_GroupValue1"}, {&FVal2, "IDS_GroupValue2"}, {&FResult, "IDS_GroupResult"}};
    for (const auto& [controls, group] : groups) {
        controls->Group->setTitle(FLang.Text(QString::fromLatin1(group)));
        controls->ValueLabel->setText(FLang.Text(QStringLiteral("IDS_Value")));
        controls->FieldLabel->setText(FLang.Text(QStringLiteral("IDS_Field")));
        controls->IsField->setText(FLang.Text(QStringLiteral("IDS_IsField")));
        const int width =
            std::max(controls->ValueLabel->sizeHint().width(), controls->FieldLabel->sizeHint().width());
        controls->ValueLabel->setMinimumWidth(width);
        controls->FieldLabel->setMinimumWidth(width);
    }
    grpCondition->setTitle(FLang.Text(QStringLiteral("IDS_GroupCondition")));
    Button1->setText(FLang.Text(QStringLiteral("IDS_Save")));
    Button2->setText(FLang.Text(QStringLiteral("IDS_Cancel")));
}

bool TfrmPluginEmailMarketingEditCondition::Execute(TMacroConditionItem& ACondition) {
    SetMacroCondition(&ACondition);
    return hostapi::ExecModal(*this) == hostapi::mrOk;
}

void TfrmPluginEmailMarketingEditCondition::SetMacroCondition(TMacroConditionItem* ACondition) {
    FMacroCondition = ACondition;
    if (FMacroCondition)
        ShowCondition();
}

void TfrmPluginEmailMarketingEditCondition::SetDBFieldSchemaItem(const hostapi::IDBFieldSchemaItem* ASchema) {
    FDBFieldSchemaItem = ASchema;
    FFields = ConditionFormModel::SortedFields(ASchema);
    FieldsChanged();
}

void TfrmPluginEmailMarketingEditCondition::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    ApplyTexts();
}

void TfrmPluginEmailMarketingEditCondition::FieldsChanged() {
    for (QComboBox* combo : {FVal1.Fields, FVal2.Fields, FResult.Fields}) {
        combo->clear();
        for (const ConditionFormModel::TFieldEntry& field : FFields)
            combo->addItem(field.Caption, field.Index);
        combo->setCurrentIndex(-1);
    }
}

void TfrmPluginEmailMarketingEditCondition::ShowOperandPage(const TOperandControls& AControls) {
    AControls.Pages->setCurrentWidget(AControls.IsField->isChecked() ? AControls.FieldPage
                                                                     : AControls.ValuePage);
}

void TfrmPluginEmailMarketingEditCondition::ShowOperand(const TOperandControls& AControls,
                                                        const ConditionFormModel::TOperand& AOperand) {
    AControls.IsField->setChecked(AOperand.IsField);
    ShowOperandPage(AControls);
    AControls.Value->setText(AOperand.Text);
    AControls.Fields->setCurrentIndex(AControls.Fields->findData(AOperand.FieldIndex));
}

ConditionFormModel::TOperand
TfrmPluginEmailMarketingEditCondition::OperandOf(const TOperandControls& AControls) {
    const QVariant index = AControls.Fields->currentData();
    return {AControls.IsField->isChecked(), AControls.Value->text(), index.isValid() ? index.toInt() : -1};
}

void TfrmPluginEmailMarketingEditCondition::ShowCondition() {
    const ConditionFormModel::TForm form = ConditionFormModel::FromCondition(
        *FMacroCondition, FDBFieldSchemaItem, hostapi::TDBFieldSchema::Instance());
    ShowOperand(FVal1, form.Value1);
    ShowOperand(FVal2, form.Value2);
    ShowOperand(FResult, form.Result);
    cbCondition->setCurrentIndex(form.Comparison);
}

bool TfrmPluginEmailMarketingEditCondition::StoreCondition() {
    if (!FMacroCondition)
        return true;
    const ConditionFormModel::TForm form{OperandOf(FVal1), OperandOf(FVal2), OperandOf(FResult),
                                         cbCondition->currentIndex()};
    ConditionFormModel::TOperandKind missing;
    if (ConditionFormModel::FindMissingField(form, missing)) {
        const QGroupBox* group = missing == ConditionFormModel::okValue1   ? FVal1.Group
                                 : missing == ConditionFormModel::okValue2 ? FVal2.Group
                                                                           : FResult.Group;
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_NoField")).arg(group->title()), hostapi::mtError,
                            hostapi::mbOK);
        return false;
    }
    ConditionFormModel::ToCondition(form, *FMacroCondition, FDBFieldSchemaItem,
                                    hostapi::TDBFieldSchema::Instance());
    return true;
}

void TfrmPluginEmailMarketingEditCondition::cbVal1TypeClick() {
    ShowOperandPage(FVal1);
}

void TfrmPluginEmailMarketingEditCondition::cbVal2TypeClick() {
    ShowOperandPage(FVal2);
}

void TfrmPluginEmailMarketingEditCondition::cbResultTypeClick() {
    ShowOperandPage(FResult);
}

void TfrmPluginEmailMarketingEditCondition::Button1Click() {
    if (StoreCondition())
        done(hostapi::mrOk);
}

void TfrmPluginEmailMarketingEditCondition::Button2Click() {
    done(hostapi::mrCancel);
}

} // namespace emailmarketing
