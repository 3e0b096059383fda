#pragma once

#include "FDFPDFWriter.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>

namespace emailmarketing {

// opReadFields reads the fields from a copy of the PDF that pdftk writes (PDFFormFieldReader), which
// no field value can confuse, unlike the line-based dump of opDumpDataFields.
enum TPDFOperation : int { opNone = 0, opFillForm = 1, opDumpDataFields = 2, opReadFields = 3 };
enum TPDFEncryption : int { encNone = 0, enc40bit = 1, enc128bit = 2 };
enum TPDFCompression : int { cpmDontChange = 0, cpmCompress = 1, cpmUnCompress = 2 };
enum TPDFPermission : int {
    pmPrinting = 0,
    pmDegradedPrinting = 1,
    pmModifyContents = 2,
    pmAssembly = 3,
    pmCopyContents = 4,
    pmScreenReaders = 5,
    pmModifyAnnotations = 6,
    pmFillIn = 7,
    pmAllFeatures = 8
};

// A set of TPDFPermission held in 16 bits: bit n stands for ordinal n (ordinals 9 to 15 have no
// meaning but are kept).
class TPDFPermissionSet {
public:
    TPDFPermissionSet() = default;
    TPDFPermissionSet(std::initializer_list<TPDFPermission> APermissions);

    // Sets the bit of AOrdinal; ordinals outside 0 to 15 are ignored.
    void Include(int AOrdinal);
    bool Contains(TPDFPermission APermission) const { return (FBits >> APermission) & 1U; }
    bool IsEmpty() const { return FBits == 0; }
    quint16 Bits() const { return FBits; }

    bool operator==(const TPDFPermissionSet&) const = default;

private:
    quint16 FBits = 0;
};

// AText with every non-empty password of APasswords masked, and of a password longer than pdftk
// takes (32 characters) also the part it uses and the part it drops.
QString MaskPasswords(QString AText, const QStringList& APasswords);

// Runs pdftk for two jobs: reading the form fields of a PDF into its FDF writer (from a plain copy,
// or from its line-based dump), and filling a form from the writer (fill), optionally flattening,
// compressing and encrypting the result.
//
// pdftk runs with an argument list (no shell), in its own folder, with a time limit, and can be
// stopped with Cancel. Passwords go to pdftk's standard input when it prompts for them, never on its
// command line. Its standard output is the field dump of opDumpDataFields; an error text carries the call and
// pdftk's standard error (never its standard output), every password masked. The FDF file of a fill and the
// copy of a read are private temporary files (0600), deleted after the run.
//
// One driver serves one thread; only Cancel may be called from another thread.
class TPDFTK {
public:
    TPDFTK();
    ~TPDFTK();
    TPDFTK(const TPDFTK&) = delete;
    TPDFTK& operator=(const TPDFTK&) = delete;

    TFDFWriter& FDF() { return FFDFWriter; }
    const TFDFWriter& FDF() const { return FFDFWriter; }

    // Full path of the pdftk program.
    QString PDFTKPath() const { return FPDFTKPath; }
    void SetPDFTKPath(const QString& Value) { FPDFTKPath = Value; }
    QString InputPassword() const { return FInputPassword; }
    void SetInputPassword(const QString& Value) { FInputPassword = Value; }
    TPDFEncryption Encryption() const { return FEncryption; }
    void SetEncryption(TPDFEncryption Value) { FEncryption = Value; }
    TPDFOperation Operation() const { return FOperation; }
    void SetOperation(TPDFOperation Value) { FOperation = Value; }
    TPDFPermissionSet Permissions() const { return FPermissions; }
    void SetPermissions(TPDFPermissionSet Value) { FPermissions = Value; }
    QString OwnerPassword() const { return FOwnerPassword; }
    void SetOwnerPassword(const QString& Value) { FOwnerPassword = Value; }
    QString UserPassword() const { return FUserPassword; }
    void SetUserPassword(const QString& Value) { FUserPassword = Value; }
    bool Flatten() const { return FFlatten; }
    void SetFlatten(bool Value) { FFlatten = Value; }
    TPDFCompression Compression() const { return FCompression; }
    void SetCompression(TPDFCompression Value) { FCompression = Value; }
    // How long pdftk may run before it is stopped (default 5 minutes).
    std::chrono::milliseconds TimeLimit() const { return FTimeLimit; }
    void SetTimeLimit(std::chrono::milliseconds Value) { FTimeLimit = Value; }

    // Runs Operation on AInFile. AOutFile is the output PDF of a fill (and of opNone, a plain copy);
    // a dump or read ignores it and leaves the fields in FDF(). Throws with the text the user needs when
    // pdftk cannot be started, ends with an exit code other than 0 or reports "No output created",
    // runs past the time limit, is cancelled, or prints an invalid dump.
    void Execute(const QString& AInFile, const QString& AOutFile);

    // Stops a running Execute (its pdftk is killed and it throws) and every later one. Any thread.
    void Cancel();

    // The arguments Execute passes for the current properties; AFDFFile is the FDF file of a fill;
    // AOutFile is the private copy of opReadFields.
    // Each password is the keyword PROMPT.
    QStringList Arguments(const QString& AInFile, const QString& AOutFile, const QString& AFDFFile) const;
    // The call as error texts show it: the program and the arguments, those with a path or a blank
    // between double quotes.
    QString CommandLine(const QStringList& AArguments) const;

private:
    void Run(const QStringList& AArguments);

    TFDFWriter FFDFWriter;
    QString FPDFTKPath;
    QString FInputPassword;
    TPDFEncryption FEncryption = encNone;
    TPDFOperation FOperation = opNone;
    TPDFPermissionSet FPermissions{pmAllFeatures};
    QString FOwnerPassword;
    QString FUserPassword;
    bool FFlatten = false;
    TPDFCompression FCompression = cpmDontChange;
    std::chrono::milliseconds FTimeLimit{std::chrono::minutes(5)};
    std::atomic<bool> FCancelled{false};
};

} // namespace emailmarketing
