#include "frmPDFFileMacroReplacerConfigForm.h"

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "PDFFileMacroReplacer.h"
#include "PDFFileMacroReplacerConfigModel.h"
#include "QVInfoBlock.h"
#include "frmPDFFileMacroReplacerPDFTKInstaller.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace emailmarketing {

namespace {

using Model = PDFFileMacroReplacerConfigModel;

QLabel* Heading(QWidget* AParent, const char* AName) {
    auto* label = new QLabel(AParent);
    label->setObjectName(QString::fromLatin1(AName));
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QLabel* Caption(QWidget* AParent, const char* AName, QWidget* ABuddy) {
    auto* label = new QLabel(AParent);
    label->setObjectName(QString::fromLatin1(AName));
    label->setBuddy(ABuddy);
    return label;
}

QComboBox* Choice(QWidget* AParent, const char* AName, int ACount) {
    auto* box = new QComboBox(AParent);
    box->setObjectName(QString::fromLatin1(AName));
    box->setEditable(false);
    for (int ordinal = 0; ordinal < ACount; ++ordinal)
        box->addItem(QString(), ordinal);
    return box;
}

QLineEdit* PasswordEdit(QWidget* AParent, const char* AName) {
    auto* edit = new QLineEdit(AParent);
    edit->setObjectName(QString::fromLatin1(AName));
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

} // namespace

TfrmPDFFileMacroReplacerConfigForm::TfrmPDFFileMacroReplacerConfigForm(QWidget* AOwner)
    : TCustomFileMacroReplacerConfigForm(AOwner), FLang(QStringLiteral("frmPDFFileMacroReplacerConfigForm")) {
    setObjectName(QStringLiteral("frmPDFFileMacroReplacerConfigForm"));

    pnlNotAV = new hostapi::TQVInfoBlock(this);
    pnlNotAV->setObjectName(QStringLiteral("pnlNotAV"));
    pnlNotAV->setVisible(false);

    cbFlatten = new QCheckBox(this);
    cbFlatten->setObjectName(QStringLiteral("cbFlatten"));
    Label1 = Heading(this, "Label1");
    cbCompression = Choice(this, "cbCompression", Model::CompressionIds().size());
    Label2 = Caption(this, "Label2", cbCompression);
    cbEncryption = Choice(this, "cbEncryption", Model::EncryptionIds().size());
    Label3 = Caption(this, "Label3", cbEncryption);
    edtOwnerPassword = PasswordEdit(this, "edtOwnerPassword");
    Label4 = Caption(this, "Label4", edtOwnerPassword);
    edtUserPassword = PasswordEdit(this, "edtUserPassword");
    Label5 = Caption(this, "Label5", edtUserPassword);
    edtInputPassword = PasswordEdit(this, "edtInputPassword");
    Label6 = Caption(this, "Label6", edtInputPassword);
    Label7 = Heading(this, "Label7");
    clbPermissions = new QListWidget(this);
    clbPermissions->setObjectName(QStringLiteral("clbPermissions"));
    cbPermissionAll = new QCheckBox(this);
    cbPermissionAll->setObjectName(QStringLiteral("cbPermissionAll"));

    auto* options = new QGridLayout;
    options->addWidget(Label1, 0, 0, 1, 2);
    options->addWidget(cbFlatten, 1, 0, 1, 2);
    options->addWidget(Label2, 2, 0);
    options->addWidget(cbCompression, 2, 1);
    options->addWidget(Label3, 3, 0);
    options->addWidget(cbEncryption, 3, 1);
    options->addWidget(Label4, 4, 0);
    options->addWidget(edtOwnerPassword, 4, 1);
    options->addWidget(Label5, 5, 0);
    options->addWidget(edtUserPassword, 5, 1);
    options->addWidget(Label6, 6, 0);
    options->addWidget(edtInputPassword, 6, 1);
    options->setRowStretch(7, 1);
    options->setColumnStretch(1, 1);

    auto* permissions = new QVBoxLayout;
    permissions->addWidget(Label7);
    permissions->addWidget(clbPermissions, 1);
    permissions->addWidget(cbPermissionAll);

    auto* columns = new QHBoxLayout;
    columns->addLayout(options, 1);
    columns->addSpacing(12);
    columns->addLayout(permissions, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pnlNotAV);
    layout->addLayout(columns, 1);

    setTabOrder(cbFlatten, cbCompression);
    setTabOrder(cbCompression, cbEncryption);
    setTabOrder(cbEncryption, edtOwnerPassword);
    setTabOrder(edtOwnerPassword, edtUserPassword);
    setTabOrder(edtUserPassword, edtInputPassword);
    setTabOrder(edtInputPassword, clbPermissions);
    setTabOrder(clbPermissions, cbPermissionAll);

    // Only the user's own edits write: clicked, activated and textEdited are not raised by code.
    connect(cbFlatten, &QCheckBox::clicked, this, [this] { cbFlattenPropertiesEditValueChanged(); });
    connect(cbCompression, &QComboBox::activated, this,
            [this] { cbCompressionPropertiesEditValueChanged(); });
    connect(cbEncryption, &QComboBox::activated, this, [this] { cbEncryptionPropertiesEditValueChanged(); });
    connect(edtOwnerPassword, &QLineEdit::textEdited, this,
            [this] { edtOwnerPasswordPropertiesEditValueChanged(); });
    connect(edtUserPassword, &QLineEdit::textEdited, this,
            [this] { cxTextEdit1PropertiesEditValueChanged(); });
    connect(edtInputPassword, &QLineEdit::textEdited, this,
            [this] { edtInputPasswordPropertiesEditValueChanged(); });
    connect(cbPermissionAll, &QCheckBox::clicked, this,
            [this] { cbPermissionAllPropertiesEditValueChanged(); });
    connect(clbPermissions, &QListWidget::itemChanged, this, [this] {
        if (!FLoading)
            clbPermissionsClickCheck();
    });
    connect(pnlNotAV, &hostapi::TQVInfoBlock::linkClicked, this,
            [this] { hostapi::TVRNExceptionUtils::Guarded([this] { pnlNotAVLinkClick(); }); });

    FLoading = true;
    for (int ordinal = 0; ordinal < Model::PermissionIds().size(); ++ordinal) {
        auto* item = new QListWidgetItem(clbPermissions);
        item->setData(Qt::UserRole, ordinal);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
    FLoading = false;
    ApplyTexts();
    LoadSetting();
}

TfrmPDFFileMacroReplacerConfigForm::~TfrmPDFFileMacroReplacerConfigForm() = default;

void TfrmPDFFileMacroReplacerConfigForm::SetLanguage(const QString& ALangName) {
    TCustomFileMacroReplacerConfigForm::SetLanguage(ALangName);
    FLang.SetLanguage(ALangName);
    ApplyTexts();
}

void TfrmPDFFileMacroReplacerConfigForm::ApplyTexts() {
    FLoading = true;
    cbFlatten->setText(FLang.Text(QStringLiteral("IDS_Flatten")));
    Label1->setText(FLang.Text(QStringLiteral("IDS_Settings")));
    Label2->setText(FLang.Text(QStringLiteral("IDS_Compression")));
    Label3->setText(FLang.Text(QStringLiteral("IDS_Encryption")));
    Label4->setText(FLang.Text(QStringLiteral("IDS_OwnerPassword")));
    Label5->setText(FLang.Text(QStringLiteral("IDS_UserPassword")));
    Label6->setText(FLang.Text(QStringLiteral("IDS_InputPassword")));
    Label7->setText(FLang.Text(QStringLiteral("IDS_Personalised")));
    cbPermissionAll->setText(FLang.Text(QStringLiteral("IDS_PermissionAll")));
    pnlNotAV->SetText(FLang.Text(QStringLiteral("IDS_NotAV")));
    pnlNotAV->SetLinkText(FLang.Text(QStringLiteral("IDS_Install")));
    for (int i = 0; i < cbCompression->count(); ++i)
        cbCompression->setItemText(
            i, FLang.Text(Model::CompressionIds().at(cbCompression->itemData(i).toInt())));
    for (int i = 0; i < cbEncryption->count(); ++i)
        cbEncryption->setItemText(i,
                                  FLang.Text(Model::EncryptionIds().at(cbEncryption->itemData(i).toInt())));
    for (int i = 0; i < clbPermissions->count(); ++i) {
        QListWidgetItem* item = clbPermissions->item(i);
        item->setText(FLang.Text(Model::PermissionIds().at(item->data(Qt::UserRole).toInt())));
    }
    FLoading = false;
}

void TfrmPDFFileMacroReplacerConfigForm::LoadSetting() {
    TCustomFileMacroReplacerConfigForm::LoadSetting();
    const Model::TChoices choices = Model::Load([this](const QString& AName) { return SettingValue(AName); });
    FLoading = true;
    cbFlatten->setChecked(choices.Flatten);
    cbCompression->setCurrentIndex(cbCompression->findData(choices.Compression));
    cbEncryption->setCurrentIndex(cbEncryption->findData(choices.Encryption));
    edtInputPassword->setText(choices.InputPassword);
    edtOwnerPassword->setText(choices.OwnerPassword);
    edtUserPassword->setText(choices.UserPassword);
    cbPermissionAll->setChecked(choices.PermissionAll);
    for (int i = 0; i < clbPermissions->count(); ++i) {
        QListWidgetItem* item = clbPermissions->item(i);
        const bool checked = choices.Permissions.contains(item->data(Qt::UserRole).toInt());
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
    FLoading = false;
    UpdateControls();
}

void TfrmPDFFileMacroReplacerConfigForm::UpdateControls() {
    const Model::TControlStates states =
        Model::ControlStates(TPDFFileMacroReplacer::IsAvailable(), SelectedOrdinal(*cbEncryption),
                             edtOwnerPassword->text(), edtUserPassword->text(), cbPermissionAll->isChecked());
    cbPermissionAll->setEnabled(states.PermissionAllEnabled);
    clbPermissions->setEnabled(states.PermissionListEnabled);
    for (QWidget* option : std::initializer_list<QWidget*>{edtInputPassword, cbFlatten, cbCompression,
                                                           cbEncryption, edtOwnerPassword, edtUserPassword})
        option->setEnabled(states.OptionsEnabled);
    pnlNotAV->setVisible(states.NotAvailableVisible);
}

int TfrmPDFFileMacroReplacerConfigForm::SelectedOrdinal(const QComboBox& ABox) const {
    return ABox.currentData().toInt();
}

void TfrmPDFFileMacroReplacerConfigForm::cbFlattenPropertiesEditValueChanged() {
    SetSettingValue(QStringLiteral("Flatten"),
                    cbFlatten->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void TfrmPDFFileMacroReplacerConfigForm::cbCompressionPropertiesEditValueChanged() {
    SetSettingValue(QStringLiteral("Compression"), QString::number(SelectedOrdinal(*cbCompression)));
}

void TfrmPDFFileMacroReplacerConfigForm::cbEncryptionPropertiesEditValueChanged() {
    SetSettingValue(QStringLiteral("Encryption"), QString::number(SelectedOrdinal(*cbEncryption)));
    UpdateControls();
}

void TfrmPDFFileMacroReplacerConfigForm::edtOwnerPasswordPropertiesEditValueChanged() {
    SetSettingValue(QStringLiteral("OwnerPassword"), edtOwnerPassword->text());
    UpdateControls();
}

void TfrmPDFFileMacroReplacerConfigForm::cxTextEdit1PropertiesEditValueChanged() {
    SetSettingValue(QStringLiteral("UserPassword"), edtUserPassword->text());
    UpdateControls();
}

void TfrmPDFFileMacroReplacerConfigForm::edtInputPasswordPropertiesEditValueChanged() {
    SetSettingValue(QStringLiteral("InputPassword"), edtInputPassword->text());
}

void TfrmPDFFileMacroReplacerConfigForm::cbPermissionAllPropertiesEditValueChanged() {
    StorePermissions();
}

void TfrmPDFFileMacroReplacerConfigForm::clbPermissionsClickCheck() {
    StorePermissions();
}

void TfrmPDFFileMacroReplacerConfigForm::StorePermissions() {
    QList<int> checked;
    for (int i = 0; i < clbPermissions->count(); ++i) {
        const QListWidgetItem* item = clbPermissions->item(i);
        if (item->checkState() == Qt::Checked)
            checked.append(item->data(Qt::UserRole).toInt());
    }
    SetSettingValue(QStringLiteral("Permissions"),
                    Model::PermissionsValue(cbPermissionAll->isChecked(), checked));
    UpdateControls();
}

void TfrmPDFFileMacroReplacerConfigForm::pnlNotAVLinkClick() {
    TfrmPDFFileMacroReplacerPDFTKInstaller installer(this);
    installer.SetLanguage(FLang.Language());
    hostapi::ExecModal(installer);
    // pdftk may be there now.
    UpdateControls();
}

} // namespace emailmarketing
