#pragma once

// The pieces of a mailing to the host's addresses that the mailing tests and their child process
// share.

#include "EngineJob.h"

#include "Database.h"
#include "EmailListItem.h"
#include "MailPeers.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

#include <memory>

namespace testsupport {

using namespace emailmarketing;

// A list on the host's addresses, sending to their "email1".
inline std::shared_ptr<TEmailListItem> MailingList(TMessageSenderDevice ADevice, const QString& AServer,
                                                   int AThreads) {
    auto list = std::make_shared<TEmailListItem>();
    list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
    list->SetName(QStringLiteral("Kunden"));
    list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email1")});
    list->SetUseGlobalRegisterService(false);
    list->SetUseGlobalAddress(false);
    list->SetSenderName(QStringLiteral("Shop"));
    list->SetSenderEmail(QStringLiteral("shop@sender.test"));
    list->SetUseGlobalMailServer(false);
    list->SetMessageSenderDevice(ADevice);
    list->SetMailServer(AServer);
    list->SetUseGlobalSendSettings(false);
    list->SetSendPerUnits(true);
    list->SetMailsPerUnit(20);
    list->SetSendThreads(AThreads);
    list->SetUnitDelay(0);
    return list;
}

inline QString Address(int AIndex) {
    return QStringLiteral("r%1@d%2.test").arg(AIndex, 3, 10, QLatin1Char('0')).arg(AIndex % 4);
}

// The recipients as address rows; answers address -> address id.
inline QHash<QString, qint64> AddRecipients(int ACount) {
    QHash<QString, qint64> ids;
    hostapi::Transaction transaction;
    for (int i = 0; i < ACount; ++i)
        ids.insert(Address(i),
                   hostapi::Database::InsertRow(QStringLiteral("pelm_addresses_ass"),
                                                {QStringLiteral("name"), QStringLiteral("email1")},
                                                {QStringLiteral("Name%1").arg(i), Address(i)}));
    transaction.Commit();
    return ids;
}

// A job of the template on the list, content set, not yet prepared.
inline EngineJob* NewJob(qint64 ATemplate, std::shared_ptr<TEmailListItem> AList) {
    auto* job = new EngineJob(nullptr, qint32(ATemplate), std::move(AList), esPlainText);
    job->SetSubject(QStringLiteral("Angebot"));
    job->SetContent(QStringLiteral("Guten Tag"));
    return job;
}

// Recipient address -> how often the server received a message for it.
inline QHash<QString, int> Received(const SmtpPeer& APeer) {
    QHash<QString, int> received;
    for (const QString& message : APeer.Messages())
        for (const QJsonValue& rcpt : APeer.Envelope(message).value(QStringLiteral("rcpt_tos")).toArray())
            ++received[rcpt.toString()];
    return received;
}

} // namespace testsupport
