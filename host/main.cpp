#include "DemoData.h"
#include "HostMainWindow.h"

#include "Database.h"
#include "ExceptionDisplay.h"

#include <QApplication>
#include <QLoggingCategory>

#include <exception>

Q_LOGGING_CATEGORY(lcHost, "qv.host")

namespace {

// A failed start is logged and shown through the host's exception display; the host then exits with 1.
int FailStart(const std::exception& e) {
    qCCritical(lcHost).noquote() << "Start failed:" << QString::fromUtf8(e.what());
    hostapi::TVRNExceptionUtils::Show(e, QStringLiteral("Die Datenbank konnte nicht geöffnet werden."));
    if (hostapi::Database::IsOpen())
        hostapi::Database::Close();
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);

    try {
        hostapi::Database::Open(hostapi::DatabaseConfig::FromArguments(QApplication::arguments()));
        const int seeded = qvhost::SeedDemoAddresses();
        if (seeded > 0)
            qCInfo(lcHost) << "Seeded" << seeded << "demo addresses";
    } catch (const std::exception& e) {
        return FailStart(e);
    }

    int status = 0;
    {
        qvhost::HostMainWindow window;
        window.show();
        status = QApplication::exec();
    }
    hostapi::Database::Close();
    return status;
}
