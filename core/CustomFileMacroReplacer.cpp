#include "CustomFileMacroReplacer.h"

#include "MacroEngine.h"

#include "ReplacerCancellation.h"

#include <vector>

namespace emailmarketing {

namespace {

// Registered replacer classes in registration order (see the class comment on its thread rule).
std::vector<const TCustomFileMacroReplacerClass*>& Registry() {
    static std::vector<const TCustomFileMacroReplacerClass*> classes;
    return classes;
}

} // namespace

TCustomFileMacroReplacer::TCustomFileMacroReplacer() = default;

TCustomFileMacroReplacer::~TCustomFileMacroReplacer() = default;

QString TCustomFileMacroReplacer::GetFieldValue(int /*Index*/) {
    return {};
}

void TCustomFileMacroReplacer::SetFieldValue(int /*Index*/, const QString& /*Value*/) {}

void TCustomFileMacroReplacer::InvalidateFields() {
    FFieldsRetreived = false;
}

void TCustomFileMacroReplacer::RetrieveFields() {}

int TCustomFileMacroReplacer::FieldCount() {
    CheckFieldsRetrieved();
    return 0;
}

void TCustomFileMacroReplacer::SaveToFile(const QString& /*AFileName*/) {}

bool TCustomFileMacroReplacer::RequiresMacro(const QString& AName) {
    // An empty name occurs nowhere.
    if (AName.isEmpty())
        return false;
    CheckFieldsRetrieved();
    const int count = FieldCount();
    for (int i = 0; i < count; ++i)
        if (GetFieldValue(i).contains(AName, Qt::CaseInsensitive))
            return true;
    return false;
}

void TCustomFileMacroReplacer::ReplaceMacroValue(const QString& /*AName*/, const QString& /*AValue*/) {
    CheckFieldsRetrieved();
}

void TCustomFileMacroReplacer::ReplaceMacroValues(const QList<TMacroReplacement>& AReplacements) {
    for (const TMacroReplacement& replacement : AReplacements)
        ReplaceMacroValue(replacement.Macro, replacement.Value);
}

void TCustomFileMacroReplacer::Cancel() {}

TCustomFileMacroReplacer::TBlockingWork::TBlockingWork(TCustomFileMacroReplacer& AReplacer)
    : FReplacer(AReplacer), FCancellation(TReplacerCancellation::Current()) {
    if (FCancellation)
        FCancellation->Add(&FReplacer);
}

TCustomFileMacroReplacer::TBlockingWork::~TBlockingWork() {
    if (FCancellation)
        FCancellation->Remove(&FReplacer);
}

void TCustomFileMacroReplacer::Assign(const TCustomFileMacroReplacer& Source) {
    if (&Source == this)
        return;
    SetSettings(Source.FSettings);
    SetSourceFile(Source.FSourceFile);
    FFieldsRetreived = Source.FFieldsRetreived;
}

bool TCustomFileMacroReplacer::IsFileExtSupported(const QString& /*AFileExt*/) {
    return false;
}

bool TCustomFileMacroReplacer::IsAvailable() {
    return false;
}

const TCustomFileMacroReplacerConfigFormClass* TCustomFileMacroReplacer::GetConfigFormClass() {
    return nullptr;
}

QString TCustomFileMacroReplacer::UnavailableNotice() {
    return QStringLiteral("Attachments with macros were sent as they are: their file macro replacer is not "
                          "available on this installation.");
}

void TCustomFileMacroReplacer::SetSourceFile(const QString& Value) {
    FSourceFile = Value;
    InvalidateFields();
}

void TCustomFileMacroReplacer::SetSettings(const QStringList& Value) {
    FSettings = Value;
}

void TCustomFileMacroReplacer::CheckFieldsRetrieved() {
    if (FFieldsRetreived)
        return;
    RetrieveFields();
    FFieldsRetreived = true;
}

void TCustomFileMacroReplacer::RegisterFileMacroReplacer(const TCustomFileMacroReplacerClass& AClass) {
    Registry().push_back(&AClass);
}

void TCustomFileMacroReplacer::UnRegisterFileMacroReplacer(const TCustomFileMacroReplacerClass& AClass) {
    auto& classes = Registry();
    for (auto it = classes.begin(); it != classes.end(); ++it) {
        if (*it == &AClass) {
            classes.erase(it);
            return;
        }
    }
}

const TCustomFileMacroReplacerClass* TCustomFileMacroReplacer::ClassByFileExt(const QString& AFileExt) {
    for (const TCustomFileMacroReplacerClass* cls : Registry())
        if (cls->IsFileExtSupported(AFileExt))
            return cls;
    return nullptr;
}

TCustomFileMacroReplacerConfigForm::TCustomFileMacroReplacerConfigForm(QWidget* AOwner) : QWidget(AOwner) {}

TCustomFileMacroReplacerConfigForm::~TCustomFileMacroReplacerConfigForm() = default;

void TCustomFileMacroReplacerConfigForm::SetSettings(const QStringList& Value) {
    if (Value == FSettings)
        return;
    FSettings = Value;
    SettingsChanged();
}

QString TCustomFileMacroReplacerConfigForm::SettingValue(const QString& AName) const {
    const QString prefix = AName + QLatin1Char('=');
    for (const QString& line : FSettings)
        if (line.startsWith(prefix, Qt::CaseInsensitive))
            return line.mid(prefix.size());
    return {};
}

void TCustomFileMacroReplacerConfigForm::SetSettingValue(const QString& AName, const QString& AValue) {
    const QString prefix = AName + QLatin1Char('=');
    const QString line = prefix + AValue;
    for (QString& existing : FSettings) {
        if (existing.startsWith(prefix, Qt::CaseInsensitive)) {
            if (existing == line)
                return;
            existing = line;
            SettingsChanged();
            return;
        }
    }
    FSettings.append(line);
    SettingsChanged();
}

void TCustomFileMacroReplacerConfigForm::SetLanguage(const QString& /*ALangName*/) {}

void TCustomFileMacroReplacerConfigForm::LoadSetting() {}

void TCustomFileMacroReplacerConfigForm::SettingsChanged() {
    if (OnSettingsChanged)
        OnSettingsChanged(this);
}

} // namespace emailmarketing
