#pragma once

#include "AttachementContentFormat.h"
#include "CustomFileMacroReplacer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace emailmarketing {

struct TMacroReplacement;

// One attachment as a transport takes it: the name shown in the message and the file sent.
struct TAttachementFile {
    QString FileName;
    QString LocalFile;

    bool operator==(const TAttachementFile&) const = default;
};

// One attachment of a template or of a prepared message: a local file sent as it is, a file whose
// content carries macros (personalised per recipient, in memory or by a file macro replacer), or a
// file whose path is a pattern with macros (found per recipient).
//
// Recipient values never choose a file outside the folder the template names: a path with macros
// must begin with a macro-free absolute folder (its fixed folder), and once values are replaced the
// file, links resolved, must lie inside that folder, and no replaced value may hold a ".."
// segment. Otherwise the file counts as not found (LoadFromMacroFile answers False; a LocalFile
// changed by ReplaceMacros marks the attachment LocalFileRejected).
//
// Content with macros keeps the form its format declares, and replaced values are written in that
// form (TAttachementContentFormat).
class TAttachement {
public:
    TAttachement();
    ~TAttachement();
    TAttachement(const TAttachement&) = delete;
    TAttachement& operator=(const TAttachement&) = delete;

    // The name in the message. Setting it creates the file macro replacer of the name's extension
    // when a registered class supports it and is available, and frees the previous one.
    QString FileName() const { return FFileName; }
    void SetFileName(const QString& Value);
    // The same when the caller knows already whether replacers are available (AReplacersAvailable:
    // the registered class for the name's extension answered IsAvailable). A preparation asks once
    // per extension instead of once per recipient.
    void SetFileName(const QString& Value, bool AReplacersAvailable);

    // The file sent. Setting it with UseMacros on takes the content in (the whole file into
    // PreparedData, or the replacer's SourceFile), so UseMacros must be set first; it clears
    // LocalMacroFileName and HasMacrosInLocalFileName.
    QString LocalFile() const { return FLocalFile; }
    void SetLocalFile(const QString& Value);

    bool UseMacros() const { return FUseMacros; }
    void SetUseMacros(bool Value) { FUseMacros = Value; }

    // In-memory content of a macro file without replacer (the file's bytes).
    QByteArray PreparedData() const { return FPreparedData; }
    void SetPreparedData(const QByteArray& Value);

    TCustomFileMacroReplacer* FileMacroReplacer() const { return FFileMacroReplacer.get(); }

    bool IsOptionalFile() const { return FIsOptionalFile; }
    void SetIsOptionalFile(bool Value) { FIsOptionalFile = Value; }

    bool HasMacrosInLocalFileName() const { return FHasMacrosInLocalFileName; }
    // The path pattern; after macro replacement the recipient's path. Writing it (as the wildcard
    // search does) keeps the fixed folder that SetLocalFileRef took from the pattern.
    QString LocalMacroFileName() const { return FLocalMacroFileName; }
    void SetLocalMacroFileName(const QString& Value) { FLocalMacroFileName = Value; }

    // True when a replaced value took the file out of its fixed folder, put a ".." segment into its
    // path, or named a file that does not exist: the attachment is not found.
    bool LocalFileRejected() const;

    // With AHasMacrosInFileName the path is kept as pattern (nothing read yet) and its fixed folder
    // is taken from it; otherwise it is assigned as LocalFile.
    void SetLocalFileRef(const QString& ALocalFile, bool AHasMacrosInFileName);
    // Assigns the recipient's path as LocalFile (reading the content) when the attachment has a
    // path pattern, no value was rejected, and the path names an existing file inside the fixed
    // folder; answers whether it did.
    bool LoadFromMacroFile();
    // Whether the content uses AName (ignoring letter case); False without UseMacros.
    bool MacroInFileUsed(const QString& AName) const;
    // Replaces "[localfilename]" and "[localfilename_noext]" in FileName (ignoring letter case) by
    // the name of LocalFile with and without extension; an empty FileName becomes that name.
    void ReplaceLocalFileNameMacroInFile();
    // With UseMacros: writes the personalised content to a new private (0600) file in ATempFolder
    // (the job's folder) that carries the extension of FileName, and makes it LocalFile; the file is
    // deleted with the attachment. Throws when the attachment's file was rejected.
    void FinalizePrepare(const QString& ATempFolder);

private:
    friend class TAttachementList;

    void AssignLocalFile(const QString& Value);
    void RemoveTempFile();
    void ReplaceMacrosInName(const QList<TMacroReplacement>& AReplacements);
    void ReplaceMacrosInLocalFile(const QList<TMacroReplacement>& AReplacements);
    void ReplaceMacrosInContent(const QList<TMacroReplacement>& AReplacements);
    void ReplaceLocalFileMacros(const QList<TMacroReplacement>& AReplacements);
    // Whether any macro of AReplacements occurs in AText (letter case ignored).
    static bool AnyMacroIn(const QString& AText, const QList<TMacroReplacement>& AReplacements);
    // Whether a replacement that takes effect in AText brings a ".." path segment.
    static bool BringsDotDot(const QString& AText, const QList<TMacroReplacement>& AReplacements);
    QString ContentAsText() const;
    bool IsInsideFixedFolder(const QString& APath) const;

    QString FFileName;
    QString FLocalFile;
    bool FUseMacros = false;
    QByteArray FPreparedData;
    TAttachementContentFormat FContentFormat;
    bool FIsTempFile = false;
    std::unique_ptr<TCustomFileMacroReplacer> FFileMacroReplacer;
    bool FIsOptionalFile = false;
    bool FHasMacrosInLocalFileName = false;
    QString FLocalMacroFileName;
    // Folder that replaced values must not leave; "" until known.
    QString FFixedFolder;
    // A value was replaced into LocalFile, so it must lie inside the fixed folder.
    bool FLocalFileReplaced = false;
    bool FLocalFileRejected = false;
};

// The attachments of a job or of one prepared message; owns them.
class TAttachementList {
public:
    TAttachementList();
    ~TAttachementList();
    TAttachementList(const TAttachementList&) = delete;
    TAttachementList& operator=(const TAttachementList&) = delete;

    // Creates an attachment, appends it and answers it.
    TAttachement* Add();
    int Count() const { return static_cast<int>(FItems.size()); }
    TAttachement* Items(int Index) const;
    // Frees the attachment at Index.
    void Delete(int Index);
    void Clear();

    // One line FileName=LocalFile per attachment, for display; valid until the next call.
    const QStringList& GetAsList();
    // (FileName, LocalFile) of every attachment, in order, as SendMessage takes them.
    QList<TAttachementFile> GetFileList() const;

    // In every attachment replaces AName by AValue (ignoring letter case) in FileName (line breaks
    // of the value dropped) and LocalFile (confined as the class comment says), and with UseMacros
    // in the content: through the replacer, or in the in-memory content in its own encoding.
    void ReplaceMacros(const QString& AName, const QString& AValue);
    // The same for every replacement at once, as the text replacement of the bodies does: a literal
    // value (a recipient's) is inserted as it is and never searched for the later macros.
    void ReplaceMacros(const QList<TMacroReplacement>& AReplacements);
    // Replaces AName by AValue in the path pattern of every attachment that has one.
    void ReplaceLocalFileMacros(const QString& AName, const QString& AValue);
    void ReplaceLocalFileMacros(const QList<TMacroReplacement>& AReplacements);
    // Whether the job must compute macro AName for these attachments: always when one has a path
    // pattern; else when AName occurs in a FileName or path pattern, or in macro content.
    bool RequiresMacro(const QString& AName) const;

private:
    std::vector<std::unique_ptr<TAttachement>> FItems;
    QStringList FList;
};

// True when AText contains "*" or "?".
bool HasWildcards(const QString& AText);

// Extension of a name with its dot ("x.pdf" -> ".pdf"), "" when the last part of the name has none.
QString ExtractFileExt(const QString& AName);

} // namespace emailmarketing
