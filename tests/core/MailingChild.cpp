// A mailing in a process of its own, for the tests that kill it: runs one job of a template to the
// host's addresses on the given database and SMTP server, and prints "job <id>" once it sends.
//   mailing_child (--database PATH | --database-url URL) --server HOST:PORT --template ID --threads N

#include "DNSEmailSender.h"
#include "HostLibraries.h"
#include "MailingFixture.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

using namespace testsupport;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto value = [&](const QString& AName) {
        const qsizetype at = args.indexOf(AName);
        return at >= 0 && at + 1 < args.size() ? args[at + 1] : QString();
    };
    try {
        hostapi::DatabaseConfig config;
        config.SqlitePath = value(QStringLiteral("--database"));
        config.PostgresUrl = value(QStringLiteral("--database-url"));
        hostapi::Database::Open(config);
        hostapi::HostLibraries::Initialize();
        RegisterDNSEmailSenderClasses();
        EngineJob* job = NewJob(value(QStringLiteral("--template")).toLongLong(),
                                MailingList(msdExtSMTP, value(QStringLiteral("--server")),
                                            value(QStringLiteral("--threads")).toInt()));
        job->Prepare();
        job->Send();
        std::printf("job %lld\n", static_cast<long long>(job->JobDBID()));
        std::fflush(stdout);
        job->WaitForThreads();
        TBaseEmailSender::FreeJob(job);
        UnRegisterDNSEmailSenderClasses();
        hostapi::Database::Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mailing_child: %s\n", e.what());
        return 1;
    }
    return 0;
}
