#include "SendmailFixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <stdexcept>

namespace testsupport {

void RequireOwnMailProgram(const emailmarketing::TMAPIMailSender& ASender) {
    const QString program = ASender.MailProgram();
    if (program.isEmpty() || program == emailmarketing::TRwMAPISession::DefaultProgram())
        throw std::runtime_error("a test must set its own mail program, never the system's");
}

std::unique_ptr<emailmarketing::TMAPIMailSender> NewMailSender(const QString& AProgram) {
    auto sender = std::make_unique<emailmarketing::TMAPIMailSender>();
    sender->SetMailProgram(AProgram);
    RequireOwnMailProgram(*sender);
    return sender;
}

FakeSendmail::FakeSendmail() {
    if (!FDir.isValid() ||
        !QFile::copy(QStringLiteral(QV_SOURCE_DIR "/tests/peers/fake-sendmail"), Program()))
        throw std::runtime_error("the fake sendmail cannot be set up");
    QFile::setPermissions(Program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString FakeSendmail::Program() const {
    return FDir.filePath(QStringLiteral("sendmail"));
}

void FakeSendmail::SetBehaviour(const QJsonObject& ABehaviour) {
    QFile file(FDir.filePath(QStringLiteral("behaviour.json")));
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(ABehaviour).toJson()) < 0)
        throw std::runtime_error("the fake sendmail's behaviour cannot be written");
}

QList<QJsonObject> FakeSendmail::Calls() const {
    QList<QJsonObject> result;
    for (int index = 1;; ++index) {
        QFile file(FDir.filePath(QStringLiteral("calls/%1.json").arg(index)));
        if (!file.open(QIODevice::ReadOnly))
            return result;
        result.append(QJsonDocument::fromJson(file.readAll()).object());
    }
}

bool FakeSendmail::WaitForCalls(int ACount, int ADeadlineMs) const {
    const QDeadlineTimer deadline(ADeadlineMs);
    while (Calls().size() < ACount) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace testsupport
