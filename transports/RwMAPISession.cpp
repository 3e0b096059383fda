#include "RwMAPISession.h"

#include "TransportsLog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace emailmarketing {

namespace {

// Slice of the wait for the program, so that Cancel is noticed soon.
constexpr int WaitSliceMs = 100;
// Error output kept for the error text.
constexpr qsizetype MaxErrorText = 2000;

} // namespace

QString TRwMAPISession::DefaultProgram() {
    return QStringLiteral("/usr/sbin/sendmail");
}

bool TRwMAPISession::Available() const {
    const QFileInfo info(FProgram);
    return !FProgram.isEmpty() && info.isAbsolute() && info.isFile() && info.isExecutable();
}

bool TRwMAPISession::Logon() {
    FActive = Available();
    return FActive;
}

bool TRwMAPISession::IsMsmtp() const {
    const QFileInfo info(FProgram);
    if (info.fileName() == QLatin1String("msmtp"))
        return true;
    const QString target = info.canonicalFilePath();
    return !target.isEmpty() && QFileInfo(target).fileName() == QLatin1String("msmtp");
}

QStringList TRwMAPISession::ParseMsmtpAccounts(const QString& AConfigText) {
    static const QRegularExpression accountLine(QStringLiteral("^\\s*account\\s+([^\\s:]+)"));
    QStringList result;
    for (const QString& line : AConfigText.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = accountLine.match(line);
        if (match.hasMatch() && !result.contains(match.captured(1)))
            result.append(match.captured(1));
    }
    return result;
}

QStringList TRwMAPISession::MsmtpConfigFiles() {
    QStringList result{QStringLiteral("/etc/msmtprc")};
    const QString home = QDir::homePath();
    const QString legacy = home + QStringLiteral("/.msmtprc");
    QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (xdg.isEmpty())
        xdg = home + QStringLiteral("/.config");
    const QString xdgFile = xdg + QStringLiteral("/msmtp/config");
    if (QFileInfo::exists(legacy))
        result.append(legacy);
    else if (QFileInfo::exists(xdgFile))
        result.append(xdgFile);
    return result;
}

QStringList TRwMAPISession::ProfileNames() const {
    if (!IsMsmtp())
        return {};
    QStringList result;
    for (const QString& path : MsmtpConfigFiles()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QString& name : ParseMsmtpAccounts(QString::fromUtf8(file.readAll())))
            if (!result.contains(name))
                result.append(name);
    }
    return result;
}

TRwMAPISubmitResult TRwMAPISession::Submit(const QStringList& AArguments, const QByteArray& AMessage) {
    TRwMAPISubmitResult result;
    if (FCancelled) {
        result.ErrorText = QStringLiteral("The mail program was not started: sending was cancelled.");
        return result;
    }
    QProcess process;
    process.setProgram(FProgram);
    process.setArguments(AArguments);
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted()) {
        result.ErrorText = QStringLiteral("The mail program %1 could not be started: %2")
                               .arg(FProgram, process.errorString());
        return result;
    }
    process.write(AMessage);
    process.closeWriteChannel();
    QElapsedTimer elapsed;
    elapsed.start();
    while (process.state() != QProcess::NotRunning) {
        if (FCancelled || elapsed.elapsed() >= FTimeoutMs) {
            process.kill();
            process.waitForFinished(-1);
            result.ErrorText = FCancelled
                                   ? QStringLiteral("The mail program was stopped: sending was cancelled.")
                                   : QStringLiteral("The mail program %1 did not finish within %2 s.")
                                         .arg(FProgram)
                                         .arg(FTimeoutMs / 1000.0);
            return result;
        }
        process.waitForFinished(WaitSliceMs);
    }
    if (process.exitStatus() != QProcess::NormalExit) {
        result.ErrorText = QStringLiteral("The mail program %1 ended abnormally.").arg(FProgram);
        return result;
    }
    if (process.exitCode() == 0) {
        result.Success = true;
        return result;
    }
    const QString errorOutput = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    result.ErrorText = errorOutput.isEmpty() ? QStringLiteral("The mail program %1 ended with exit code %2.")
                                                   .arg(FProgram)
                                                   .arg(process.exitCode())
                                             : errorOutput.left(MaxErrorText);
    qCWarning(lcTransports) << "the mail program" << FProgram << "ended with exit code" << process.exitCode();
    return result;
}

} // namespace emailmarketing
