#include "MailingAttachmentsPage.h"

#include "AttachmentPathRules.h"
#include "CustomFileMacroReplacer.h"
#include "DBFieldSchema.h"
#include "ExceptionDisplay.h"
#include "FileOpener.h"
#include "MacroForms.h"
#include "MailingAttachmentRules.h"
#include "QVDBGrid.h"
#include "QVException.h"
#include "QVPickListDelegate.h"
#include "QVRecordSetModel.h"
#include "dmPluginEmailMarketingMain.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSplitter>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace emailmarketing {

namespace {

const QString kSchema = QStringLiteral("emlattachements");
const QString kTemplateID = QStringLiteral("emltemplateid");
const QString kFileName = QStringLiteral("filename");
const QString kFileSource = QStringLiteral("filesource");
const QString kUseMacros = QStringLiteral("usemacros");
const QString kIsInline = QStringLiteral("isinline");
const QString kFileOptions = QStringLiteral("fileoptions");
const QString kSettings = QStringLiteral("filemrsettings");

// Edits the "filesource" cell in a line with an ellipsis button at its end; the other cells as the
// host's grid does.
class TFileSourceDelegate : public hostapi::QVPickListDelegate {
public:
    using TButtonClick = std::function<bool()>;

    TFileSourceDelegate(QObject* AParent, TButtonClick AOnButtonClick)
        : QVPickListDelegate(AParent), FOnButtonClick(std::move(AOnButtonClick)) {}

    QWidget* createEditor(QWidget* AParent, const QStyleOptionViewItem& AOption,
                          const QModelIndex& AIndex) const override {
        if (!IsFileSource(AIndex))
            return QVPickListDelegate::createEditor(AParent, AOption, AIndex);
        auto* editor = new QLineEdit(AParent);
        editor->setObjectName(QStringLiteral("edtFileSource"));
        editor->setFrame(false);
        QAction* button = editor->addAction(editor->style()->standardIcon(QStyle::SP_DirOpenIcon),
                                            QLineEdit::TrailingPosition);
        button->setObjectName(QStringLiteral("btnFileSource"));
        button->setText(QStringLiteral("..."));
        auto* self = const_cast<TFileSourceDelegate*>(this);
        QObject::connect(button, &QAction::triggered, editor, [self, editor] {
            // The chosen path is set on the row itself; the editor closes without writing its text.
            if (self->FOnButtonClick && self->FOnButtonClick())
                emit self->closeEditor(editor, QAbstractItemDelegate::NoHint);
        });
        return editor;
    }
    void setModelData(QWidget* AEditor, QAbstractItemModel* AModel,
                      const QModelIndex& AIndex) const override {
        if (!IsFileSource(AIndex))
            return QVPickListDelegate::setModelData(AEditor, AModel, AIndex);
        const QString text = static_cast<QLineEdit*>(AEditor)->text();
        if (text != AIndex.data(Qt::EditRole).toString())
            AModel->setData(AIndex, text, Qt::EditRole);
    }

private:
    static bool IsFileSource(const QModelIndex& AIndex) {
        const auto* model = qobject_cast<const hostapi::QVRecordSetModel*>(AIndex.model());
        return model && model->FieldNameOf(AIndex.column()).compare(kFileSource, Qt::CaseInsensitive) == 0;
    }

    TButtonClick FOnButtonClick;
};

// Runs AAction as a Qt slot body: a failure is shown, never thrown on.
template <class F> void Guarded(F&& AAction) {
    try {
        AAction();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
}

void SelectKey(QComboBox* ACombo, const QVariant& AValue) {
    ACombo->setCurrentIndex(AValue.isNull() ? -1 : ACombo->findData(AValue.toString()));
}

void FillPickList(QComboBox* ACombo, const QList<QPair<QString, QString>>& AItems) {
    ACombo->clear();
    for (const auto& [key, text] : AItems)
        ACombo->addItem(text, key);
}

} // namespace

TMailingAttachmentsPage::TMailingAttachmentsPage(QWidget* AParent)
    : QWidget(AParent), siLang(QStringLiteral("MailingAttachmentsPage")), qvrsAttachements(kSchema),
      qvrsAttachementsDisplay(hostapi::QVRecordSetModel::CreateMemory(kSchema, this)) {
    setObjectName(QStringLiteral("rbsAttachements"));
    qvrsAttachements.Filters().Add(kTemplateID, -1);
    qvrsAttachements.AddOrder(QStringLiteral("id"));
    qvrsAttachementsDisplay->setObjectName(QStringLiteral("qvrsAttachementsDisplay"));
    qvrsAttachementsDisplay->SetOnFieldChanged(
        [this](int ARow, const QString& AFieldName, const QVariant& AValue) {
            qvrsAttachementsDisplayFieldChanged(ARow, AFieldName, AValue);
        });
    qvrsAttachementsDisplay->SetOnRecordChanged([this](int ARow) {
        qvrsAttachementsDisplayBeforeRecordChange(ARow);
        qvrsAttachementsDisplayAfterRecordChange(ARow);
    });
    CreateControls();
    ApplyTexts();
    ApplyEmailStyle(esRTFText);
}

TMailingAttachmentsPage::~TMailingAttachmentsPage() {
    FreeFilePersonalizer();
}

void TMailingAttachmentsPage::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("splAttachements"));
    layout->addWidget(splitter);

    auto* top = new QWidget(splitter);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    tlbAttachements = new QWidget(top);
    tlbAttachements->setObjectName(QStringLiteral("tlbAttachements"));
    auto* barLayout = new QHBoxLayout(tlbAttachements);
    barLayout->setContentsMargins(0, 0, 0, 0);
    QVButton1 = new QPushButton(tlbAttachements);
    QVButton1->setObjectName(QStringLiteral("QVButton1"));
    QVButton2 = new QPushButton(tlbAttachements);
    QVButton2->setObjectName(QStringLiteral("QVButton2"));
    QVButton3 = new QPushButton(tlbAttachements);
    QVButton3->setObjectName(QStringLiteral("QVButton3"));
    barLayout->addWidget(QVButton1);
    barLayout->addWidget(QVButton2);
    barLayout->addWidget(QVButton3);
    barLayout->addStretch();
    topLayout->addWidget(tlbAttachements);
    connect(QVButton1, &QPushButton::clicked, this, [this] { Guarded([this] { QVButton1Click(); }); });
    connect(QVButton2, &QPushButton::clicked, this, [this] { Guarded([this] { QVButton2Click(); }); });
    connect(QVButton3, &QPushButton::clicked, this, [this] { Guarded([this] { Dateiffnen1Click(); }); });

    cxQVGrid1 = new hostapi::QVDBGrid(top);
    cxQVGrid1->setObjectName(QStringLiteral("cxQVGrid1"));
    cxQVGrid1->setItemDelegate(new TFileSourceDelegate(
        cxQVGrid1, [this] { return cxQVGrid1QVTableView1QVColumn2PropertiesButtonClick(); }));
    cxQVGrid1->SetRecordSetModel(qvrsAttachementsDisplay);
    cxQVGrid1->SetMultiSelect(true);
    cxQVGrid1->SetOnAction([](int AAction, bool& AHandled) {
        // No deleting in the grid itself (it would remove mirror rows only): "Entfernen" deletes.
        if (AAction == hostapi::gaDelete)
            AHandled = true;
    });
    connect(qvrsAttachementsDisplay, &QAbstractItemModel::modelReset, this,
            [this] { ApplyColumnVisibility(); });
    connect(qvrsAttachementsDisplay, &QAbstractItemModel::dataChanged, this, [this] { FillFieldEditors(); });
    topLayout->addWidget(cxQVGrid1, 1);

    pmAttachements = new QMenu(this);
    pmAttachements->setObjectName(QStringLiteral("pmAttachements"));
    Dateiffnen1 = pmAttachements->addAction(QString());
    Dateiffnen1->setObjectName(QStringLiteral("Dateiffnen1"));
    connect(Dateiffnen1, &QAction::triggered, this, [this] { Guarded([this] { Dateiffnen1Click(); }); });
    cxQVGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cxQVGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& APos) { pmAttachements->popup(cxQVGrid1->viewport()->mapToGlobal(APos)); });

    grpAttachementSettings = new QGroupBox(splitter);
    grpAttachementSettings->setObjectName(QStringLiteral("grpAttachementSettings"));
    auto* groupLayout = new QVBoxLayout(grpAttachementSettings);
    auto* form = new QFormLayout();
    lblUseMacros = new QLabel(grpAttachementSettings);
    lblUseMacros->setObjectName(QStringLiteral("lblUseMacros"));
    cxQVFieldEdit1 = new QComboBox(grpAttachementSettings);
    cxQVFieldEdit1->setObjectName(QStringLiteral("cxQVFieldEdit1"));
    lblUseMacros->setBuddy(cxQVFieldEdit1);
    lblFileName = new QLabel(grpAttachementSettings);
    lblFileName->setObjectName(QStringLiteral("lblFileName"));
    cxQVFieldEdit2 = new QLineEdit(grpAttachementSettings);
    cxQVFieldEdit2->setObjectName(QStringLiteral("cxQVFieldEdit2"));
    lblFileName->setBuddy(cxQVFieldEdit2);
    lblFileOptions = new QLabel(grpAttachementSettings);
    lblFileOptions->setObjectName(QStringLiteral("lblFileOptions"));
    cxQVFieldEdit3 = new QComboBox(grpAttachementSettings);
    cxQVFieldEdit3->setObjectName(QStringLiteral("cxQVFieldEdit3"));
    lblFileOptions->setBuddy(cxQVFieldEdit3);
    form->addRow(lblUseMacros, cxQVFieldEdit1);
    form->addRow(lblFileName, cxQVFieldEdit2);
    form->addRow(lblFileOptions, cxQVFieldEdit3);
    groupLayout->addLayout(form);
    connect(cxQVFieldEdit1, &QComboBox::activated, this,
            [this] { Guarded([this] { cxQVFieldEdit1Change(); }); });
    connect(cxQVFieldEdit2, &QLineEdit::editingFinished, this,
            [this] { Guarded([this] { cxQVFieldEdit2Change(); }); });
    connect(cxQVFieldEdit3, &QComboBox::activated, this,
            [this] { Guarded([this] { cxQVFieldEdit3Change(); }); });

    sbFilePersonalizer = new QScrollArea(grpAttachementSettings);
    sbFilePersonalizer->setObjectName(QStringLiteral("sbFilePersonalizer"));
    sbFilePersonalizer->setWidgetResizable(true);
    sbFilePersonalizer->setFrameShape(QFrame::NoFrame);
    auto* host = new QWidget(sbFilePersonalizer);
    host->setObjectName(QStringLiteral("sbFilePersonalizerContent"));
    FPersonalizerLayout = new QVBoxLayout(host);
    FPersonalizerLayout->setContentsMargins(0, 0, 0, 0);
    FPersonalizerLayout->addStretch();
    sbFilePersonalizer->setWidget(host);
    groupLayout->addWidget(sbFilePersonalizer, 1);

    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    FillFieldEditors();
}

QString TMailingAttachmentsPage::Caption() const {
    return siLang.Text(QStringLiteral("rbsAttachements"));
}

void TMailingAttachmentsPage::SetLanguage(const QString& ALangName) {
    siLang.SetLanguage(ALangName);
    ApplyTexts();
    if (FCurrentFilePSConfigForm)
        FCurrentFilePSConfigForm->SetLanguage(ALangName);
}

void TMailingAttachmentsPage::SetPickLists() {
    // The grid's pick lists in the current language: the schema's lists are what the record-set
    // views show.
    hostapi::IDBFieldSchemaItem& schema = hostapi::TDBFieldSchema::Instance().RequireSchema(kSchema);
    schema.SetFieldListData(kUseMacros, QStringLiteral("1=") + siLang.Text(QStringLiteral("IDS_UseMacros1")) +
                                            QStringLiteral("\r\n2=") +
                                            siLang.Text(QStringLiteral("IDS_UseMacros2")));
    schema.SetFieldListData(kIsInline, QStringLiteral("0=") + siLang.Text(QStringLiteral("IDS_IsInline0")) +
                                           QStringLiteral("\r\n1=") +
                                           siLang.Text(QStringLiteral("IDS_IsInline1")));
}

void TMailingAttachmentsPage::ApplyTexts() {
    QVButton1->setText(siLang.Text(QStringLiteral("QVButton1")));
    QVButton2->setText(siLang.Text(QStringLiteral("QVButton2")));
    QVButton3->setText(siLang.Text(QStringLiteral("QVButton3")));
    tlbAttachements->setToolTip(siLang.Text(QStringLiteral("tlbAttachements")));
    Dateiffnen1->setText(siLang.Text(QStringLiteral("Dateiffnen1")));
    grpAttachementSettings->setTitle(siLang.Text(QStringLiteral("grpAttachementSettings")));
    lblUseMacros->setText(siLang.Text(QStringLiteral("lblUseMacros")));
    lblFileName->setText(siLang.Text(QStringLiteral("lblFileName")));
    lblFileOptions->setText(siLang.Text(QStringLiteral("lblFileOptions")));
    OpenDialogAttachement.Filter = siLang.Text(QStringLiteral("OpenDialogAttachement_Filter"));
    SetPickLists();
    const int row = CurrentRow();
    qvrsAttachementsDisplay->SetColumns({
        {kFileName, siLang.Text(QStringLiteral("gvAttachementFileName")), false},
        {kFileSource, siLang.Text(QStringLiteral("gvAttachementFileSource")), false},
        {kUseMacros, siLang.Text(QStringLiteral("gvAttachementUseMacros")), false},
        {kIsInline, siLang.Text(QStringLiteral("gvAttachementIsInline")), false},
    });
    SelectMirrorRow(row);
    cxQVFieldEdit1InitEditPropertiesEvent();
    FillFieldEditors();
}

void TMailingAttachmentsPage::cxQVFieldEdit1InitEditPropertiesEvent() {
    // The "usemacros" editor takes the items of the hidden grid column's pick list.
    FillPickList(cxQVFieldEdit1,
                 qvrsAttachementsDisplay->PickListOf(qvrsAttachementsDisplay->ColumnOfField(kUseMacros)));
}

void TMailingAttachmentsPage::ApplyColumnVisibility() {
    QHeaderView* header = cxQVGrid1->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(qvrsAttachementsDisplay->ColumnOfField(kFileSource), QHeaderView::Stretch);
    header->resizeSection(qvrsAttachementsDisplay->ColumnOfField(kFileName), 220);
    header->resizeSection(qvrsAttachementsDisplay->ColumnOfField(kIsInline), 160);
    cxQVGrid1->setColumnHidden(qvrsAttachementsDisplay->ColumnOfField(kUseMacros), true);
    cxQVGrid1->setColumnHidden(qvrsAttachementsDisplay->ColumnOfField(kIsInline),
                               FEmailStyle != esHTMLSource && FEmailStyle != esHTML);
}

void TMailingAttachmentsPage::ApplyEmailStyle(TEmailStyle AStyle) {
    const bool wasVisible = TabVisible();
    FEmailStyle = AStyle;
    ApplyColumnVisibility();
    NotifyTabVisible(wasVisible);
}

bool TMailingAttachmentsPage::TabVisible() const {
    return FTemplateDBID >= 0 && FEmailStyle != esSMS;
}

void TMailingAttachmentsPage::NotifyTabVisible(bool AWasVisible) {
    if (TabVisible() != AWasVisible)
        emit TabVisibleChanged(TabVisible());
}

void TMailingAttachmentsPage::SetTemplateEditable(bool AEditable) {
    FTemplateEditable = AEditable;
    cxQVGrid1->setEnabled(AEditable);
    tlbAttachements->setEnabled(AEditable);
    grpAttachementSettings->setEnabled(AEditable);
}

void TMailingAttachmentsPage::SaveChanges() {
    // An open cell editor (a direct child of the grid's viewport) writes its text; a file name typed
    // into the field editor but not yet confirmed is written too.
    for (QWidget* editor : cxQVGrid1->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (editor->isVisible()) {
            emit cxQVGrid1->itemDelegate()->commitData(editor);
            emit cxQVGrid1->itemDelegate()->closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    if (CurrentRow() >= 0 && cxQVFieldEdit2->isModified())
        cxQVFieldEdit2Change();
}

void TMailingAttachmentsPage::CloseTemplate() {
    SaveChanges();
    const bool wasVisible = TabVisible();
    FTemplateDBID = -1;
    qvrsAttachements.SetSchemaVariable(kTemplateID, FTemplateDBID);
    qvrsAttachements.Close();
    qvrsAttachementsAfterRefreshed();
    NotifyTabVisible(wasVisible);
}

void TMailingAttachmentsPage::LoadTemplate(qint64 ATemplateDBID, qint32 AListID) {
    if (ATemplateDBID < 0) {
        CloseTemplate();
        return;
    }
    SaveChanges();
    const bool wasVisible = TabVisible();
    FTemplateDBID = ATemplateDBID;
    FListID = AListID;
    qvrsAttachements.SetSchemaVariable(kTemplateID, FTemplateDBID);
    qvrsAttachements.SetFixedField(kTemplateID, FTemplateDBID);
    qvrsAttachementsCustomFilter();
    if (qvrsAttachements.Active())
        qvrsAttachements.Refresh();
    else
        qvrsAttachements.Open();
    qvrsAttachementsAfterRefreshed();
    NotifyTabVisible(wasVisible);
}

void TMailingAttachmentsPage::qvrsAttachementsCustomFilter() {
    qvrsAttachements.Filters()[0].Value = qvrsAttachements.SchemaVariable(kTemplateID);
}

std::shared_ptr<TEmailListItem> TMailingAttachmentsPage::EmailList() const {
    if (FListID < 0)
        return nullptr;
    QV_ASSERT(dmPluginEmailMarketingMain);
    return dmPluginEmailMarketingMain->ByID(FListID);
}

QString TMailingAttachmentsPage::ConvertMacroCaptions(const TEmailListItem* AList, const QString& AText,
                                                      bool AToCaption) {
    return TMacroForms::ReplaceFieldMacros(AText, AToCaption, AList, hostapi::TDBFieldSchema::Instance());
}

int TMailingAttachmentsPage::CurrentRow() const {
    return qvrsAttachementsDisplay->CurrentRow();
}

void TMailingAttachmentsPage::SelectMirrorRow(int ARow) {
    if (ARow < 0 || ARow >= qvrsAttachementsDisplay->rowCount()) {
        cxQVGrid1->selectionModel()->clearCurrentIndex();
        qvrsAttachementsDisplay->SetCurrentRow(-1);
        return;
    }
    int column = 0;
    while (column < qvrsAttachementsDisplay->columnCount() - 1 && cxQVGrid1->isColumnHidden(column))
        ++column;
    cxQVGrid1->setCurrentIndex(qvrsAttachementsDisplay->index(ARow, column));
    qvrsAttachementsDisplay->SetCurrentRow(ARow);
}

void TMailingAttachmentsPage::qvrsAttachementsAfterRefreshed() {
    {
        FAttachementsDisplayUpdate = true;
        const auto clear = qScopeGuard([this] { FAttachementsDisplayUpdate = false; });
        qvrsAttachementsDisplay->ClearMemoryRows();
        if (qvrsAttachements.Active()) {
            const std::shared_ptr<TEmailListItem> list = EmailList();
            const QStringList fields = qvrsAttachements.FieldNames();
            for (int r = 0; r < qvrsAttachements.RecordCount(); ++r) {
                QVariantMap row;
                for (const QString& field : fields) {
                    const QVariant value = qvrsAttachements.FieldValueAt(r, field);
                    if (value.typeId() != QMetaType::QString)
                        row.insert(field, value);
                    else if (field.compare(kFileSource, Qt::CaseInsensitive) == 0)
                        row.insert(field, TAttachmentPathRules::ExpandAppFolder(
                                              ConvertMacroCaptions(list.get(), value.toString(), true),
                                              TAttachmentPathRules::ApplicationFolder()));
                    else if (field.compare(kSettings, Qt::CaseInsensitive) == 0)
                        row.insert(field, value); // name=value lines of the replacer, not template text
                    else
                        row.insert(field, ConvertMacroCaptions(list.get(), value.toString(), true));
                }
                qvrsAttachementsDisplay->AppendMemoryRow(row);
            }
        }
        SelectMirrorRow(
            qvrsAttachements.Active() && qvrsAttachements.RecordCount() > 0 ? qvrsAttachements.RecNo() : -1);
    }
    FillFieldEditors();
    UpdateFilePersonalizer();
}

void TMailingAttachmentsPage::qvrsAttachementsDisplayFieldChanged(int ARow, const QString& AFieldName,
                                                                  const QVariant& AValue) {
    const bool isSource = AFieldName.compare(kFileSource, Qt::CaseInsensitive) == 0;
    if (isSource && qvrsAttachementsDisplay->Value(ARow, kFileName).toString().isEmpty())
        qvrsAttachementsDisplay->SetValue(ARow, kFileName,
                                          TMailingAttachmentRules::FileNamePart(AValue.toString()));
    if (AFieldName.compare(kFileName, Qt::CaseInsensitive) == 0 ||
        AFieldName.compare(kUseMacros, Qt::CaseInsensitive) == 0)
        UpdateFilePersonalizer();
    if (FAttachementsDisplayUpdate || AFieldName.compare(kTemplateID, Qt::CaseInsensitive) == 0)
        return;
    FAttachementsDisplayUpdate = true;
    const auto clear = qScopeGuard([this] { FAttachementsDisplayUpdate = false; });
    QVariant stored = AValue;
    if (AValue.typeId() == QMetaType::QString) {
        const std::shared_ptr<TEmailListItem> list = EmailList();
        if (isSource)
            stored = TAttachmentPathRules::ContractAppFolder(
                ConvertMacroCaptions(list.get(), AValue.toString(), false),
                TAttachmentPathRules::ApplicationFolder());
        else if (AFieldName.compare(kSettings, Qt::CaseInsensitive) != 0)
            stored = ConvertMacroCaptions(list.get(), AValue.toString(), false);
    }
    qvrsAttachements.SetRecNo(ARow);
    qvrsAttachements.Edit();
    try {
        qvrsAttachements.SetFieldValue(AFieldName, stored);
        qvrsAttachements.Post();
    } catch (...) {
        qvrsAttachements.Cancel();
        throw;
    }
}

void TMailingAttachmentsPage::qvrsAttachementsDisplayBeforeRecordChange(int ARow) {
    if (!FAttachementsDisplayUpdate && ARow >= 0 && qvrsAttachements.Active() &&
        ARow < qvrsAttachements.RecordCount() && qvrsAttachements.RecNo() != ARow)
        qvrsAttachements.SetRecNo(ARow);
}

void TMailingAttachmentsPage::qvrsAttachementsDisplayAfterRecordChange(int /*ARow*/) {
    FillFieldEditors();
    Guarded([this] { UpdateFilePersonalizer(); });
}

void TMailingAttachmentsPage::FillFieldEditors() {
    if (FFillingEditors)
        return;
    FFillingEditors = true;
    const auto clear = qScopeGuard([this] { FFillingEditors = false; });
    const int row = CurrentRow();
    FillPickList(cxQVFieldEdit3,
                 hostapi::PickListItems(
                     hostapi::TDBFieldSchema::Instance().RequireSchema(kSchema).FieldListData(kFileOptions)));
    for (QWidget* editor : {static_cast<QWidget*>(cxQVFieldEdit1), static_cast<QWidget*>(cxQVFieldEdit2),
                            static_cast<QWidget*>(cxQVFieldEdit3)})
        editor->setEnabled(row >= 0);
    if (row < 0) {
        cxQVFieldEdit1->setCurrentIndex(-1);
        cxQVFieldEdit2->clear();
        cxQVFieldEdit3->setCurrentIndex(-1);
        return;
    }
    SelectKey(cxQVFieldEdit1, qvrsAttachementsDisplay->Value(row, kUseMacros));
    const QString name = qvrsAttachementsDisplay->Value(row, kFileName).toString();
    if (cxQVFieldEdit2->text() != name)
        cxQVFieldEdit2->setText(name);
    cxQVFieldEdit2->setModified(false);
    SelectKey(cxQVFieldEdit3, qvrsAttachementsDisplay->Value(row, kFileOptions));
}

void TMailingAttachmentsPage::cxQVFieldEdit1Change() {
    const int row = CurrentRow();
    if (row >= 0 && !FFillingEditors)
        qvrsAttachementsDisplay->SetValue(row, kUseMacros, cxQVFieldEdit1->currentData().toLongLong());
}

void TMailingAttachmentsPage::cxQVFieldEdit2Change() {
    const int row = CurrentRow();
    if (row < 0 || FFillingEditors || !cxQVFieldEdit2->isModified())
        return;
    cxQVFieldEdit2->setModified(false);
    if (cxQVFieldEdit2->text() != qvrsAttachementsDisplay->Value(row, kFileName).toString())
        qvrsAttachementsDisplay->SetValue(row, kFileName, cxQVFieldEdit2->text());
}

void TMailingAttachmentsPage::cxQVFieldEdit3Change() {
    const int row = CurrentRow();
    if (row >= 0 && !FFillingEditors)
        qvrsAttachementsDisplay->SetValue(row, kFileOptions, cxQVFieldEdit3->currentData().toLongLong());
}

void TMailingAttachmentsPage::FreeFilePersonalizer() {
    FCurrentFilePSConfigForm.reset();
    FCurrentFilePSConfigFormClass = nullptr;
}

void TMailingAttachmentsPage::UpdateFilePersonalizer() {
    const int row = CurrentRow();
    const TCustomFileMacroReplacerConfigFormClass* cls =
        row < 0 ? nullptr
                : TMailingAttachmentRules::ConfigFormClassFor(
                      qvrsAttachementsDisplay->Value(row, kUseMacros),
                      qvrsAttachementsDisplay->Value(row, kFileName).toString());
    if (!cls) {
        FreeFilePersonalizer();
        return;
    }
    if (FCurrentFilePSConfigForm && FCurrentFilePSConfigFormClass == cls) {
        FCurrentFilePSConfigForm->OnSettingsChanged = nullptr;
    } else {
        FreeFilePersonalizer();
        FCurrentFilePSConfigForm.reset(cls->Create(nullptr));
        FCurrentFilePSConfigFormClass = cls;
        FCurrentFilePSConfigForm->setObjectName(QStringLiteral("FCurrentFilePSConfigForm"));
        FPersonalizerLayout->insertWidget(0, FCurrentFilePSConfigForm.get());
        FCurrentFilePSConfigForm->SetLanguage(siLang.Language());
        FCurrentFilePSConfigForm->setVisible(true);
    }
    FCurrentFilePSConfigForm->SetSettings(
        TMailingAttachmentRules::SettingsFromText(qvrsAttachementsDisplay->Value(row, kSettings).toString()));
    FCurrentFilePSConfigForm->LoadSetting();
    FCurrentFilePSConfigForm->OnSettingsChanged = [this](TCustomFileMacroReplacerConfigForm*) {
        Guarded([this] { FileMacroReplacerSettingsChanged(); });
    };
}

void TMailingAttachmentsPage::FileMacroReplacerSettingsChanged() {
    const int row = CurrentRow();
    if (row < 0 || !FCurrentFilePSConfigForm)
        return;
    qvrsAttachementsDisplay->SetValue(
        row, kSettings, TMailingAttachmentRules::SettingsToText(FCurrentFilePSConfigForm->Settings()));
}

void TMailingAttachmentsPage::QVButton1Click() {
    if (!qvrsAttachements.Active())
        return;
    QString path;
    if (!hostapi::OpenFileDialog(OpenDialogAttachement, path))
        return;
    qvrsAttachements.Append();
    try {
        qvrsAttachements.Post();
    } catch (...) {
        qvrsAttachements.Cancel();
        throw;
    }
    qvrsAttachementsAfterRefreshed();
    qvrsAttachementsDisplay->SetValue(CurrentRow(), kFileSource, path);
}

void TMailingAttachmentsPage::QVButton2Click() {
    if (!qvrsAttachements.Active())
        return;
    QList<int> rows = cxQVGrid1->SelectedRows();
    if (rows.isEmpty())
        return;
    if (hostapi::MessageDlg(siLang.Text(QStringLiteral("IDS_DeleteRecords")).arg(rows.size()),
                            hostapi::mtConfirmation, hostapi::mbYes | hostapi::mbNo) != hostapi::mrYes)
        return;
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    const auto rebuild = qScopeGuard([this] { qvrsAttachementsAfterRefreshed(); });
    for (int row : rows) {
        qvrsAttachements.SetRecNo(row);
        qvrsAttachements.Delete();
    }
}

void TMailingAttachmentsPage::Dateiffnen1Click() {
    const int row = CurrentRow();
    if (row < 0)
        return;
    const QString path = qvrsAttachementsDisplay->Value(row, kFileSource).toString();
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        hostapi::MessageDlg(siLang.Text(QStringLiteral("IDS_NoFile")), hostapi::mtError, hostapi::mbOK);
        return;
    }
    hostapi::OpenFile(path);
}

bool TMailingAttachmentsPage::cxQVGrid1QVTableView1QVColumn2PropertiesButtonClick() {
    bool chosen = false;
    Guarded([&] {
        const int row = CurrentRow();
        if (row < 0)
            return;
        QString path;
        if (!hostapi::OpenFileDialog(OpenDialogAttachement, path))
            return;
        chosen = true;
        qvrsAttachementsDisplay->SetValue(row, kFileSource, path);
    });
    return chosen;
}

} // namespace emailmarketing
