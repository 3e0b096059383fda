#pragma once

#include "CustomFileMacroReplacer.h"

#include <memory>

namespace emailmarketing {

class TPDFTK;

// Personalises PDF forms: the fields are the form fields of the source PDF, read from a copy pdftk
// writes (opReadFields); macros are replaced in the field values only; SaveToFile writes a filled copy
// through pdftk, with the flatten, compression, encryption, password and permission options of the
// attachment's settings, as they are at each run of pdftk:
//   Flatten=1, Compression=<0..2>, Encryption=<0..2>, InputPassword=, OwnerPassword=, UserPassword=,
//   Permissions=<comma-separated ordinals; 8 = all>.
// Compression and encryption values outside 0 to 2 count as 0.
class TPDFFileMacroReplacer : public TCustomFileMacroReplacer {
public:
    TPDFFileMacroReplacer();
    ~TPDFFileMacroReplacer() override;

    // Field Index's value; reads nothing by itself (an unread replacer has no fields).
    QString GetFieldValue(int Index) override;
    void SetFieldValue(int Index, const QString& Value) override;
    int FieldCount() override;
    // Fills the form with the current field values into AFileName (the fields are read first when
    // they are not). A PDF without fields is copied as it is, or, with any output option or password
    // set, rewritten by pdftk with those options.
    void SaveToFile(const QString& AFileName) override;
    // Replaces AName by AValue in every field value, ignoring letter case; names stay.
    void ReplaceMacroValue(const QString& AName, const QString& AValue) override;
    void ReplaceMacroValues(const QList<TMacroReplacement>& AReplacements) override;
    // Also copies the fields of a PDF replacer.
    void Assign(const TCustomFileMacroReplacer& Source) override;

    // ".pdf" in any letter case.
    static bool IsFileExtSupported(const QString& AFileExt);
    // Whether pdftk is found (see PDFTKProgram).
    static bool IsAvailable();
    // Said once by a job that sends PDF attachments with macros without pdftk.
    static QString UnavailableNotice();
    // TfrmPDFFileMacroReplacerConfigForm.
    static const TCustomFileMacroReplacerConfigFormClass* GetConfigFormClass();

    // The pdftk program: "pdftk" in the folder of the host program, else "pdftk" on PATH (the
    // system package); empty when neither is an executable file.
    static QString PDFTKProgram();

    // Stops the running pdftk and every later run of this replacer.
    void Cancel() override;

protected:
    void RetrieveFields() override;
    // The driver, created on first use with the program found and the settings applied.
    TPDFTK& GetPDFTK();

private:
    // The driver with the program and the settings as they are now (pdftk may have been installed,
    // the settings edited, since it was created).
    TPDFTK& PreparedPDFTK();
    void ApplySettings(TPDFTK& ADriver) const;

    std::unique_ptr<TPDFTK> FPDFTK;
};

// Registers the PDF replacer class for ".pdf" in the replacer registry; calling it again before
// UnRegisterPDFFileMacroReplacer changes nothing. The module's entry registers it on the main thread
// when the host loads the module (the registry goes with the module); tests that need the class
// register it the same way.
void RegisterPDFFileMacroReplacer();
void UnRegisterPDFFileMacroReplacer();

} // namespace emailmarketing
