#pragma once

#include "MAPIMailSender.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// A mail-program transport on AProgram. Throws std::runtime_error when AProgram is empty or the
// system's default program, so that no test hands mail to the machine's real MTA.
std::unique_ptr<emailmarketing::TMAPIMailSender> NewMailSender(const QString& AProgram);
// Throws std::runtime_error when ASender would run the system's default program.
void RequireOwnMailProgram(const emailmarketing::TMAPIMailSender& ASender);

// The recording sendmail stand-in tests/peers/fake-sendmail, copied into a temporary folder of
// its own (see that script for what it records and how it behaves).
class FakeSendmail {
public:
    FakeSendmail();
    QString Program() const;
    // Writes behaviour.json for the following runs.
    void SetBehaviour(const QJsonObject& ABehaviour);
    // The recorded runs, in order: {"argv": [...], "stdin": text}.
    QList<QJsonObject> Calls() const;
    // Waits until at least ACount runs have read their input; false when the deadline passes first.
    bool WaitForCalls(int ACount, int ADeadlineMs = 10000) const;

private:
    QTemporaryDir FDir;
};

} // namespace testsupport
