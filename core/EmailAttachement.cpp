#include "EmailAttachement.h"

#include "CoreLog.h"
#include "FileUtils.h"
#include "MacroEngine.h"
#include "QVException.h"
#include "TextUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace emailmarketing {

namespace {

bool IsPathDelimiter(QChar c) {
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

// The name without its extension ("b.txt" -> "b").
QString WithoutFileExt(const QString& AName) {
    return AName.left(AName.size() - ExtractFileExt(AName).size());
}

bool HasDotDotSegment(const QString& AValue) {
    qsizetype start = 0;
    for (qsizetype i = 0; i <= AValue.size(); ++i) {
        if (i == AValue.size() || IsPathDelimiter(AValue[i])) {
            if (AValue.mid(start, i - start) == QLatin1String(".."))
                return true;
            start = i + 1;
        }
    }
    return false;
}

// The macro-free absolute folder that a path with macros begins with: the folder part of the text
// before the first "%"; "" when that is not an absolute folder.
QString MacroFreeFolder(const QString& APath) {
    const qsizetype macroAt = APath.indexOf(QLatin1Char('%'));
    const QString prefix = macroAt < 0 ? APath : APath.left(macroAt);
    const qsizetype slash = prefix.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return {};
    const QString folder = slash == 0 ? QStringLiteral("/") : prefix.left(slash);
    return QDir::isAbsolutePath(folder) ? folder : QString();
}

} // namespace

QString ExtractFileExt(const QString& AName) {
    for (qsizetype i = AName.size() - 1; i >= 0; --i) {
        if (AName[i] == QLatin1Char('.'))
            return AName.mid(i);
        if (IsPathDelimiter(AName[i]))
            break;
    }
    return {};
}

// TAttachement

TAttachement::TAttachement() = default;

TAttachement::~TAttachement() {
    FFileMacroReplacer.reset();
    if (FIsTempFile && !FLocalFile.isEmpty() && QFileInfo::exists(FLocalFile)) {
        QFile file(FLocalFile);
        if (!file.remove())
            qCWarning(lcCore) << "Cannot delete the temporary attachment file" << FLocalFile << ":"
                              << file.errorString();
    }
}

void TAttachement::SetFileName(const QString& Value) {
    const TCustomFileMacroReplacerClass* cls =
        TCustomFileMacroReplacer::ClassByFileExt(ExtractFileExt(Value));
    SetFileName(Value, cls && cls->IsAvailable());
}

void TAttachement::SetFileName(const QString& Value, bool AReplacersAvailable) {
    FFileMacroReplacer.reset();
    FFileName = Value;
    if (!AReplacersAvailable)
        return;
    if (const TCustomFileMacroReplacerClass* cls =
            TCustomFileMacroReplacer::ClassByFileExt(ExtractFileExt(Value)))
        FFileMacroReplacer = cls->Create();
}

void TAttachement::SetLocalFile(const QString& Value) {
    FFixedFolder.clear();
    FLocalFileRejected = false;
    FLocalFileReplaced = false;
    AssignLocalFile(Value);
}

void TAttachement::AssignLocalFile(const QString& Value) {
    if (FUseMacros) {
        if (FFileMacroReplacer)
            FFileMacroReplacer->SetSourceFile(Value);
        else
            SetPreparedData(hostapi::LoadBinaryFile(Value));
    }
    RemoveTempFile();
    FLocalFile = Value;
    FLocalMacroFileName.clear();
    FHasMacrosInLocalFileName = false;
}

void TAttachement::SetPreparedData(const QByteArray& Value) {
    FContentFormat = TAttachementContentFormat::Detect(Value, FFileName);
    FPreparedData = Value;
}

QString TAttachement::ContentAsText() const {
    return FContentFormat.Decode(FPreparedData);
}

void TAttachement::ReplaceMacrosInContent(const QList<TMacroReplacement>& AReplacements) {
    const QString text = ContentAsText();
    QList<TMacroReplacement> inFile = AReplacements;
    for (TMacroReplacement& replacement : inFile)
        replacement.Value = FContentFormat.ValueInFile(replacement.Value);
    const QString replaced = ReplaceMacros(text, inFile);
    if (replaced != text)
        FPreparedData = FContentFormat.Encode(replaced);
}

void TAttachement::SetLocalFileRef(const QString& ALocalFile, bool AHasMacrosInFileName) {
    if (!AHasMacrosInFileName) {
        SetLocalFile(ALocalFile);
        return;
    }
    RemoveTempFile();
    FHasMacrosInLocalFileName = true;
    FLocalMacroFileName = ALocalFile;
    FLocalFile.clear();
    FFixedFolder = MacroFreeFolder(ALocalFile);
    FLocalFileRejected = false;
    FLocalFileReplaced = false;
}

bool TAttachement::LoadFromMacroFile() {
    if (!FHasMacrosInLocalFileName || FLocalMacroFileName.isEmpty() || FLocalFileRejected)
        return false;
    if (!IsInsideFixedFolder(FLocalMacroFileName))
        return false;
    AssignLocalFile(FLocalMacroFileName);
    return true;
}

bool TAttachement::IsInsideFixedFolder(const QString& APath) const {
    if (FFixedFolder.isEmpty())
        return false;
    const QString folder = QFileInfo(FFixedFolder).canonicalFilePath();
    const QFileInfo file(APath);
    const QString path = file.canonicalFilePath();
    if (folder.isEmpty() || path.isEmpty() || !file.isFile())
        return false;
    const QString inside = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path.startsWith(inside);
}

bool TAttachement::LocalFileRejected() const {
    return FLocalFileRejected || (FLocalFileReplaced && !IsInsideFixedFolder(FLocalFile));
}

bool TAttachement::MacroInFileUsed(const QString& AName) const {
    if (!FUseMacros || AName.isEmpty())
        return false;
    if (FFileMacroReplacer)
        return FFileMacroReplacer->RequiresMacro(AName);
    return ContentAsText().contains(AName, Qt::CaseInsensitive);
}

void TAttachement::ReplaceLocalFileNameMacroInFile() {
    // Both macros open with a '['; a name without one keeps its text.
    if (!FFileName.isEmpty() && !FFileName.contains(QLatin1Char('[')))
        return;
    const QString name = WithoutLineBreaks(QFileInfo(FLocalFile).fileName());
    FFileName = hostapi::FastReplace(FFileName, QStringLiteral("[localfilename]"), name, false);
    FFileName =
        hostapi::FastReplace(FFileName, QStringLiteral("[localfilename_noext]"), WithoutFileExt(name), false);
    if (FFileName.isEmpty())
        FFileName = name;
}

void TAttachement::FinalizePrepare(const QString& ATempFolder) {
    if (LocalFileRejected())
        throw hostapi::EQVException(
            QStringLiteral("The attachment file \"%1\" was not found.").arg(FFileName));
    if (!FUseMacros)
        return;
    QV_ASSERT(!ATempFolder.isEmpty());
    RemoveTempFile();
    const QString path =
        hostapi::GetTempFileName(ATempFolder, QStringLiteral("att"), ExtractFileExt(FFileName));
    FLocalFile = path;
    FIsTempFile = true;
    if (FFileMacroReplacer) {
        FFileMacroReplacer->SaveToFile(path);
    } else {
        hostapi::SaveBinaryFile(path, FPreparedData);
        FPreparedData.clear();
    }
    // A replacer's writer may have replaced the file; the personalised copy stays private.
    if (!QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner))
        throw hostapi::EQVException(
            QStringLiteral("Cannot make the temporary attachment file \"%1\" private.").arg(path));
}

void TAttachement::RemoveTempFile() {
    if (!FIsTempFile)
        return;
    FIsTempFile = false;
    if (FLocalFile.isEmpty() || !QFileInfo::exists(FLocalFile))
        return;
    QFile file(FLocalFile);
    if (!file.remove())
        throw hostapi::EQVException(QStringLiteral("Cannot delete the temporary attachment file \"%1\": %2")
                                        .arg(FLocalFile, file.errorString()));
}

void TAttachement::ReplaceMacrosInName(const QList<TMacroReplacement>& AReplacements) {
    // A name without any of the macros stays as it is (a value only takes effect where its macro was).
    if (!AnyMacroIn(FFileName, AReplacements))
        return;
    QList<TMacroReplacement> oneLine = AReplacements;
    for (TMacroReplacement& replacement : oneLine)
        replacement.Value = WithoutLineBreaks(replacement.Value);
    FFileName = ReplaceMacros(FFileName, oneLine);
}

bool TAttachement::AnyMacroIn(const QString& AText, const QList<TMacroReplacement>& AReplacements) {
    // A "%name%" macro needs a '%' in the text: without one only the others are searched for.
    const bool percent = AText.contains(QLatin1Char('%'));
    for (const TMacroReplacement& replacement : AReplacements)
        if (!replacement.Macro.isEmpty() && (percent || replacement.Macro.front() != QLatin1Char('%')) &&
            AText.contains(replacement.Macro, Qt::CaseInsensitive))
            return true;
    return false;
}

bool TAttachement::BringsDotDot(const QString& AText, const QList<TMacroReplacement>& AReplacements) {
    // A macro takes effect when it occurs in the text or in a value searched for it.
    const auto occurs = [&](const QString& AMacro) {
        if (AText.contains(AMacro, Qt::CaseInsensitive))
            return true;
        for (const TMacroReplacement& other : AReplacements)
            if (!other.Literal && other.Value.contains(AMacro, Qt::CaseInsensitive))
                return true;
        return false;
    };
    for (const TMacroReplacement& replacement : AReplacements)
        if (!replacement.Macro.isEmpty() && HasDotDotSegment(replacement.Value) && occurs(replacement.Macro))
            return true;
    return false;
}

void TAttachement::ReplaceMacrosInLocalFile(const QList<TMacroReplacement>& AReplacements) {
    if (!AnyMacroIn(FLocalFile, AReplacements))
        return;
    if (!FLocalFileReplaced && FFixedFolder.isEmpty())
        FFixedFolder = MacroFreeFolder(FLocalFile);
    FLocalFileReplaced = true;
    if (BringsDotDot(FLocalFile, AReplacements))
        FLocalFileRejected = true;
    FLocalFile = ReplaceMacros(FLocalFile, AReplacements);
}

void TAttachement::ReplaceLocalFileMacros(const QList<TMacroReplacement>& AReplacements) {
    if (!FHasMacrosInLocalFileName || !AnyMacroIn(FLocalMacroFileName, AReplacements))
        return;
    if (BringsDotDot(FLocalMacroFileName, AReplacements))
        FLocalFileRejected = true;
    FLocalMacroFileName = ReplaceMacros(FLocalMacroFileName, AReplacements);
}

// TAttachementList

TAttachementList::TAttachementList() = default;

TAttachementList::~TAttachementList() = default;

TAttachement* TAttachementList::Add() {
    FItems.push_back(std::make_unique<TAttachement>());
    return FItems.back().get();
}

TAttachement* TAttachementList::Items(int Index) const {
    QV_ASSERT(Index >= 0 && Index < Count());
    return FItems[static_cast<size_t>(Index)].get();
}

void TAttachementList::Delete(int Index) {
    QV_ASSERT(Index >= 0 && Index < Count());
    FItems.erase(FItems.begin() + Index);
}

void TAttachementList::Clear() {
    FItems.clear();
}

const QStringList& TAttachementList::GetAsList() {
    FList.clear();
    for (const auto& item : FItems)
        FList.append(item->FileName() + QLatin1Char('=') + item->LocalFile());
    return FList;
}

QList<TAttachementFile> TAttachementList::GetFileList() const {
    QList<TAttachementFile> files;
    files.reserve(Count());
    for (const auto& item : FItems)
        files.append({item->FileName(), item->LocalFile()});
    return files;
}

void TAttachementList::ReplaceMacros(const QString& AName, const QString& AValue) {
    ReplaceMacros(QList<TMacroReplacement>{{AName, AValue}});
}

void TAttachementList::ReplaceMacros(const QList<TMacroReplacement>& AReplacements) {
    for (const auto& item : FItems) {
        item->ReplaceMacrosInName(AReplacements);
        item->ReplaceMacrosInLocalFile(AReplacements);
        if (!item->UseMacros())
            continue;
        if (item->FileMacroReplacer())
            item->FileMacroReplacer()->ReplaceMacroValues(AReplacements);
        else
            item->ReplaceMacrosInContent(AReplacements);
    }
}

void TAttachementList::ReplaceLocalFileMacros(const QString& AName, const QString& AValue) {
    ReplaceLocalFileMacros(QList<TMacroReplacement>{{AName, AValue}});
}

void TAttachementList::ReplaceLocalFileMacros(const QList<TMacroReplacement>& AReplacements) {
    for (const auto& item : FItems)
        item->ReplaceLocalFileMacros(AReplacements);
}

bool TAttachementList::RequiresMacro(const QString& AName) const {
    // An empty name is no macro.
    if (AName.isEmpty())
        return false;
    for (const auto& item : FItems) {
        if (item->HasMacrosInLocalFileName())
            return true;
        if (item->FileName().contains(AName, Qt::CaseInsensitive) ||
            item->LocalMacroFileName().contains(AName, Qt::CaseInsensitive))
            return true;
    }
    for (const auto& item : FItems)
        if (item->UseMacros() && item->MacroInFileUsed(AName))
            return true;
    return false;
}

bool HasWildcards(const QString& AText) {
    return AText.contains(QLatin1Char('*')) || AText.contains(QLatin1Char('?'));
}

} // namespace emailmarketing
