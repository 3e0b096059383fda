#pragma once

#include "CustomFileMacroReplacer.h"
#include "VRNLang.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace hostapi {
class TQVInfoBlock;
}

namespace emailmarketing {

// Settings panel of a PDF attachment: flatten, compression, encryption, the three passwords and the
// permissions of the personalised files. A change the user makes is written at once into Settings;
// loading and switching the language write nothing. Without pdftk the options are disabled and a
// note links to the installer dialog.
class TfrmPDFFileMacroReplacerConfigForm : public TCustomFileMacroReplacerConfigForm {
    Q_OBJECT

public:
    explicit TfrmPDFFileMacroReplacerConfigForm(QWidget* AOwner = nullptr);
    ~TfrmPDFFileMacroReplacerConfigForm() override;

    void SetLanguage(const QString& ALangName) override;
    void LoadSetting() override;
    QString Language() const { return FLang.Language(); }

protected:
    // Enables the controls for pdftk's availability (looked up anew) and the current choices.
    void UpdateControls();

private:
    void cbFlattenPropertiesEditValueChanged();
    void cbCompressionPropertiesEditValueChanged();
    void cbEncryptionPropertiesEditValueChanged();
    void edtOwnerPasswordPropertiesEditValueChanged();
    void cxTextEdit1PropertiesEditValueChanged();
    void edtInputPasswordPropertiesEditValueChanged();
    void cbPermissionAllPropertiesEditValueChanged();
    void clbPermissionsClickCheck();
    void pnlNotAVLinkClick();

    void ApplyTexts();
    void StorePermissions();
    int SelectedOrdinal(const QComboBox& ABox) const;

    // Set while the controls are filled or translated: their signals are not the user's.
    bool FLoading = false;
    hostapi::TVRNLang FLang;

    QCheckBox* cbFlatten;
    QLabel* Label1;
    QLabel* Label2;
    QComboBox* cbCompression;
    QLabel* Label3;
    QComboBox* cbEncryption;
    QLabel* Label4;
    QLineEdit* edtOwnerPassword;
    QLabel* Label5;
    QLineEdit* edtUserPassword;
    QLabel* Label6;
    QLineEdit* edtInputPassword;
    QLabel* Label7;
    QListWidget* clbPermissions;
    QCheckBox* cbPermissionAll;
    hostapi::TQVInfoBlock* pnlNotAV;
};

} // namespace emailmarketing
