#include "PDFTK.h"

#include "FileUtils.h"
#include "PDFFormFieldReader.h"
#include "PDFTKDumpParser.h"
#include "PDFTKPasswordPrompts.h"
#include "PdfLog.h"
#include "ProcessRunner.h"
#include "QVException.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

namespace emailmarketing {

namespace {

const QString CRLF = QStringLiteral("\r\n");
const QString Prompt = QStringLiteral("PROMPT");

QString AbsolutePath(const QString& APath) {
    return APath.isEmpty() ? APath : QFileInfo(APath).absoluteFilePath();
}

void CheckPassword(const QString& APassword) {
    if (APassword.contains(QLatin1Char('\n')) || APassword.contains(QLatin1Char('\r')))
        throw hostapi::EQVException(QStringLiteral("A PDF password must not contain a line break."));
}

QString Quoted(const QString& AText) {
    return QLatin1Char('"') + AText + QLatin1Char('"');
}

// pdftk takes at most this many characters of a password and drops the rest.
constexpr qsizetype PasswordLimit = 32;

} // namespace

QString MaskPasswords(QString AText, const QStringList& APasswords) {
    static const QString Mask = QStringLiteral("********");
    // Whole passwords first, then the part pdftk uses and the part it drops of a long one.
    QStringList parts;
    for (const QString& password : APasswords)
        if (!password.isEmpty())
            parts << password;
    for (const QString& password : APasswords)
        if (password.size() > PasswordLimit)
            parts << password.left(PasswordLimit) << password.mid(PasswordLimit);
    for (const QString& part : std::as_const(parts))
        AText.replace(part, Mask);
    return AText;
}

TPDFPermissionSet::TPDFPermissionSet(std::initializer_list<TPDFPermission> APermissions) {
    for (const TPDFPermission permission : APermissions)
        Include(permission);
}

void TPDFPermissionSet::Include(int AOrdinal) {
    if (AOrdinal >= 0 && AOrdinal <= 15)
        FBits |= static_cast<quint16>(1U << AOrdinal);
}

TPDFTK::TPDFTK() = default;

TPDFTK::~TPDFTK() = default;

QStringList TPDFTK::Arguments(const QString& AInFile, const QString& AOutFile,
                              const QString& AFDFFile) const {
    // Paths are absolute, so none can be taken for one of pdftk's keywords or handles.
    QStringList args{AbsolutePath(AInFile)};
    if (!FInputPassword.isEmpty())
        args << QStringLiteral("input_pw") << Prompt;
    if (FOperation == opFillForm)
        args << QStringLiteral("fill_form") << AbsolutePath(AFDFFile);
    else if (FOperation == opDumpDataFields)
        args << QStringLiteral("dump_data_fields");
    args << QStringLiteral("output");
    args << (FOperation == opDumpDataFields ? QStringLiteral("-") : AbsolutePath(AOutFile));
    if (FOperation == opReadFields)
        return args << QStringLiteral("dont_ask"); // a plain copy to read
    if (FEncryption == enc40bit)
        args << QStringLiteral("encrypt_40bit");
    else if (FEncryption == enc128bit)
        args << QStringLiteral("encrypt_128bit");
    if (FCompression == cpmCompress)
        args << QStringLiteral("compress");
    else if (FCompression == cpmUnCompress)
        args << QStringLiteral("uncompress");
    if (FFlatten)
        args << QStringLiteral("flatten");
    args << QStringLiteral("dont_ask");
    if (!FOwnerPassword.isEmpty())
        args << QStringLiteral("owner_pw") << Prompt;
    if (!FUserPassword.isEmpty())
        args << QStringLiteral("user_pw") << Prompt;
    if (FEncryption != encNone || !FOwnerPassword.isEmpty() || !FUserPassword.isEmpty()) {
        if (FPermissions.Contains(pmAllFeatures)) {
            args << QStringLiteral("allow") << QStringLiteral("AllFeatures");
        } else if (!FPermissions.IsEmpty()) {
            static const char* const Words[] = {
                "Printing",     "DegradedPrinting", "ModifyContents",    "Assembly",
                "CopyContents", "ScreenReaders",    "ModifyAnnotations", "FillIn"};
            args << QStringLiteral("allow");
            for (int ordinal = pmPrinting; ordinal <= pmFillIn; ++ordinal)
                if (FPermissions.Contains(static_cast<TPDFPermission>(ordinal)))
                    args << QLatin1String(Words[ordinal]);
        }
    }
    return args;
}

QString TPDFTK::CommandLine(const QStringList& AArguments) const {
    QString line = Quoted(FPDFTKPath);
    for (const QString& arg : AArguments) {
        const bool quote = arg.isEmpty() || arg.contains(QLatin1Char('/')) || arg.contains(QLatin1Char(' '));
        line += QLatin1Char(' ') + (quote ? Quoted(arg) : arg);
    }
    return line;
}

void TPDFTK::Cancel() {
    FCancelled.store(true);
}

void TPDFTK::Execute(const QString& AInFile, const QString& AOutFile) {
    CheckPassword(FInputPassword);
    CheckPassword(FOwnerPassword);
    CheckPassword(FUserPassword);
    QString fdfFile;
    QString copyFile;
    const auto removeTemporary = qScopeGuard([&fdfFile, &copyFile] {
        for (const QString& file : {fdfFile, copyFile})
            if (!file.isEmpty() && !QFile::remove(file) && QFile::exists(file))
                qCWarning(lcPdf).noquote() << "Cannot delete the temporary file" << file;
    });
    if (FOperation == opFillForm) {
        fdfFile = hostapi::GetTempFileName(QString(), QStringLiteral("qvfdf"), QStringLiteral(".fdf"));
        FFDFWriter.SetRefrencedPDFFile(AbsolutePath(AInFile));
        FFDFWriter.SaveToFile(fdfFile);
    }
    if (FOperation == opReadFields) {
        copyFile = hostapi::GetTempFileName(QString(), QStringLiteral("qvpdf"), QStringLiteral(".pdf"));
        Run(Arguments(AInFile, copyFile, fdfFile));
        ReadPDFFormFields(hostapi::LoadBinaryFile(copyFile), FFDFWriter);
        return;
    }
    Run(Arguments(AInFile, AOutFile, fdfFile));
}

void TPDFTK::Run(const QStringList& AArguments) {
    TProcessRequest request;
    request.Program = FPDFTKPath;
    request.Arguments = AArguments;
    request.WorkingDirectory = FPDFTKPath.isEmpty() ? QString() : QFileInfo(FPDFTKPath).absolutePath();
    // pdftk (Java) reads and writes file names in the locale's encoding: UTF-8, whatever the host's.
    request.Environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    request.TimeLimit = FTimeLimit;
    TPDFTKPasswordPrompts prompts(FInputPassword, FOwnerPassword, FUserPassword);
    if (prompts.ExpectsPrompts())
        request.InputFeeder = [&prompts](const QByteArray& AOutput, bool& ACloseInput) {
            return prompts.Answer(AOutput, ACloseInput);
        };

    const TProcessResult result = RunProcess(request, FCancelled);
    const QString call = CommandLine(AArguments);
    // Standard output holds the password prompts (and the part pdftk drops of a long password) and
    // field values; errors carry standard error only, passwords masked.
    const QString output = MaskPasswords(QString::fromUtf8(result.StandardError),
                                         {FInputPassword, FOwnerPassword, FUserPassword});
    if (result.Cancelled)
        throw hostapi::EQVException(QStringLiteral("PDFTK.EXE was stopped: the run was cancelled.") + CRLF +
                                    QStringLiteral("Call: ") + call);
    if (!result.Started)
        throw hostapi::EQVException(QStringLiteral("Can't execute PDFTK.EXE in '%1'!").arg(FPDFTKPath));
    if (result.TimedOut)
        throw hostapi::EQVException(
            QStringLiteral("PDFTK.EXE has not ended within %1 seconds and was stopped!")
                .arg(static_cast<double>(FTimeLimit.count()) / 1000.0) +
            CRLF + QStringLiteral("Call: ") + call + CRLF + output);
    // pdftk writes its notices to standard error; standard output may hold field values.
    if (result.Crashed || result.ExitCode != 0 || output.contains(QLatin1String("No output created")))
        throw hostapi::EQVException(QStringLiteral("PDFTK.EXE has terminated with ExitCode '%1'!")
                                        .arg(result.Crashed ? -1 : result.ExitCode) +
                                    CRLF + QStringLiteral("Call: ") + call + CRLF + output);
    if (FOperation == opDumpDataFields)
        ParseDumpDataFields(result.StandardOutput, FFDFWriter);
}

} // namespace emailmarketing
