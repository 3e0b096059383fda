#include "PDFFileMacroReplacer.h"

#include "FileUtils.h"
#include "MacroEngine.h"
#include "PDFTK.h"
#include "frmPDFFileMacroReplacerConfigForm.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

namespace emailmarketing {

namespace {

const QString ProgramName = QStringLiteral("pdftk");

bool IsProgram(const QString& APath) {
    const QFileInfo info(APath);
    return info.isFile() && info.isExecutable();
}

// The value of setting AName ("" when missing); names compare ignoring letter case.
QString SettingValue(const QStringList& ASettings, const QString& AName) {
    const QString prefix = AName + QLatin1Char('=');
    for (const QString& line : ASettings)
        if (line.startsWith(prefix, Qt::CaseInsensitive))
            return line.mid(prefix.size());
    return {};
}

int IntSetting(const QStringList& ASettings, const QString& AName, int ADefault) {
    bool ok = false;
    const int value = SettingValue(ASettings, AName).trimmed().toInt(&ok);
    return ok ? value : ADefault;
}

// An ordinal 0 to 2, else 0.
int Ordinal012(const QStringList& ASettings, const QString& AName) {
    const int value = IntSetting(ASettings, AName, 0);
    return value >= 0 && value <= 2 ? value : 0;
}

bool Registered = false;

// Whether the output differs from the source in more than the field values.
bool HasOutputOptions(const TPDFTK& ADriver) {
    return ADriver.Flatten() || ADriver.Compression() != cpmDontChange || ADriver.Encryption() != encNone ||
           !ADriver.InputPassword().isEmpty() || !ADriver.OwnerPassword().isEmpty() ||
           !ADriver.UserPassword().isEmpty() || !ADriver.Permissions().IsEmpty();
}

} // namespace

TPDFFileMacroReplacer::TPDFFileMacroReplacer() = default;

TPDFFileMacroReplacer::~TPDFFileMacroReplacer() = default;

QString TPDFFileMacroReplacer::GetFieldValue(int Index) {
    return GetPDFTK().FDF().GetField(Index)->Value();
}

void TPDFFileMacroReplacer::SetFieldValue(int Index, const QString& Value) {
    GetPDFTK().FDF().GetField(Index)->SetValue(Value);
}

int TPDFFileMacroReplacer::FieldCount() {
    TCustomFileMacroReplacer::FieldCount();
    return GetPDFTK().FDF().Count();
}

void TPDFFileMacroReplacer::RetrieveFields() {
    TCustomFileMacroReplacer::RetrieveFields();
    TPDFTK& driver = PreparedPDFTK();
    driver.SetOperation(opReadFields);
    const TBlockingWork work(*this);
    driver.Execute(SourceFile(), QString());
}

void TPDFFileMacroReplacer::SaveToFile(const QString& AFileName) {
    TCustomFileMacroReplacer::SaveToFile(AFileName);
    // pdftk refuses to fill a PDF without form fields (exit code 3, "not an acroform"), so whether
    // the form has fields must be known.
    CheckFieldsRetrieved();
    TPDFTK& driver = PreparedPDFTK();
    if (driver.FDF().Count() > 0) {
        driver.SetOperation(opFillForm);
    } else if (HasOutputOptions(driver)) {
        // Nothing to fill; the output options (encryption above all) still apply.
        driver.SetOperation(opNone);
    } else {
        hostapi::SaveBinaryFile(AFileName, hostapi::LoadBinaryFile(SourceFile()));
        return;
    }
    const TBlockingWork work(*this);
    driver.Execute(SourceFile(), AFileName);
}

void TPDFFileMacroReplacer::Cancel() {
    // Inside a TBlockingWork the driver exists and stays: it was made before the work began.
    if (FPDFTK)
        FPDFTK->Cancel();
}

void TPDFFileMacroReplacer::ReplaceMacroValue(const QString& AName, const QString& AValue) {
    ReplaceMacroValues({TMacroReplacement{AName, AValue}});
}

void TPDFFileMacroReplacer::ReplaceMacroValues(const QList<TMacroReplacement>& AReplacements) {
    CheckFieldsRetrieved();
    TFDFWriter& fdf = GetPDFTK().FDF();
    for (int i = 0; i < fdf.Count(); ++i) {
        TFDFField* field = fdf.GetField(i);
        field->SetValue(ReplaceMacros(field->Value(), AReplacements));
    }
}

void TPDFFileMacroReplacer::Assign(const TCustomFileMacroReplacer& Source) {
    if (&Source == this)
        return;
    TCustomFileMacroReplacer::Assign(Source);
    if (const auto* pdfSource = dynamic_cast<const TPDFFileMacroReplacer*>(&Source)) {
        const TFDFWriter* sourceFields = pdfSource->FPDFTK ? &pdfSource->FPDFTK->FDF() : nullptr;
        if (sourceFields)
            GetPDFTK().FDF().Assign(*sourceFields);
        else
            GetPDFTK().FDF().Assign(TFDFWriter());
    }
}

bool TPDFFileMacroReplacer::IsFileExtSupported(const QString& AFileExt) {
    return AFileExt.toLower() == QLatin1String(".pdf");
}

bool TPDFFileMacroReplacer::IsAvailable() {
    return !PDFTKProgram().isEmpty();
}

QString TPDFFileMacroReplacer::UnavailableNotice() {
    return QStringLiteral("PDF forms were not personalised because pdftk is missing: PDF attachments are "
                          "sent as they are (pdftk comes with the package pdftk-java).");
}

const TCustomFileMacroReplacerConfigFormClass* TPDFFileMacroReplacer::GetConfigFormClass() {
    return &TCustomFileMacroReplacerConfigFormClass::Of<TfrmPDFFileMacroReplacerConfigForm>();
}

QString TPDFFileMacroReplacer::PDFTKProgram() {
    if (QCoreApplication::instance() != nullptr) {
        const QString besideHost = hostapi::ApplicationFolder() + ProgramName;
        if (IsProgram(besideHost))
            return besideHost;
    }
    const QString onPath = QStandardPaths::findExecutable(ProgramName);
    return onPath.isEmpty() || !IsProgram(onPath) ? QString() : onPath;
}

TPDFTK& TPDFFileMacroReplacer::GetPDFTK() {
    if (!FPDFTK) {
        auto driver = std::make_unique<TPDFTK>();
        ApplySettings(*driver);
        FPDFTK = std::move(driver);
    }
    return *FPDFTK;
}

TPDFTK& TPDFFileMacroReplacer::PreparedPDFTK() {
    TPDFTK& driver = GetPDFTK();
    ApplySettings(driver);
    return driver;
}

void TPDFFileMacroReplacer::ApplySettings(TPDFTK& ADriver) const {
    QString program = PDFTKProgram();
    // Not found: the error names where pdftk was looked for first.
    if (program.isEmpty())
        program = QCoreApplication::instance() != nullptr ? hostapi::ApplicationFolder() + ProgramName
                                                          : ProgramName;
    ADriver.SetPDFTKPath(program);
    const QStringList& settings = Settings();
    ADriver.SetFlatten(SettingValue(settings, QStringLiteral("Flatten")) == QLatin1String("1"));
    ADriver.SetCompression(static_cast<TPDFCompression>(Ordinal012(settings, QStringLiteral("Compression"))));
    ADriver.SetEncryption(static_cast<TPDFEncryption>(Ordinal012(settings, QStringLiteral("Encryption"))));
    ADriver.SetInputPassword(SettingValue(settings, QStringLiteral("InputPassword")));
    ADriver.SetOwnerPassword(SettingValue(settings, QStringLiteral("OwnerPassword")));
    ADriver.SetUserPassword(SettingValue(settings, QStringLiteral("UserPassword")));
    TPDFPermissionSet permissions;
    const QString items = SettingValue(settings, QStringLiteral("Permissions"));
    if (!items.isEmpty()) {
        for (const QString& item : items.split(QLatin1Char(','))) {
            bool ok = false;
            const int ordinal = item.trimmed().toInt(&ok);
            permissions.Include(ok ? ordinal : static_cast<int>(pmAllFeatures));
        }
    }
    ADriver.SetPermissions(permissions);
}

void RegisterPDFFileMacroReplacer() {
    if (Registered)
        return;
    TCustomFileMacroReplacer::RegisterFileMacroReplacer(
        TCustomFileMacroReplacerClass::Of<TPDFFileMacroReplacer>());
    Registered = true;
}

void UnRegisterPDFFileMacroReplacer() {
    if (!Registered)
        return;
    TCustomFileMacroReplacer::UnRegisterFileMacroReplacer(
        TCustomFileMacroReplacerClass::Of<TPDFFileMacroReplacer>());
    Registered = false;
}

} // namespace emailmarketing
