#include "QVRegistrationPartHandler.h"

#include "QVException.h"
#include "QVRegisterServiceContainer.h"

#include <memory>
#include <mutex>

namespace hostapi {

namespace {

// The processor of the import that runs on this thread (imports on other threads have their own).
thread_local TQVXMLImportProcessor* CurrentProcessor = nullptr;

} // namespace

QString TQVRegistrationPartHandler::PartName() const {
    return QStringLiteral("qv_registration");
}

TQVXMLRecordTarget TQVRegistrationPartHandler::Target() {
    return {QStringLiteral("qv_registration"), QStringLiteral("qvregistrations"), QStringLiteral("source"),
            QStringLiteral("ident"), QStringLiteral("email")};
}

void TQVRegistrationPartHandler::BeginImport(TQVXMLImportProcessor& AProcessor, const TQVXMLElement&) {
    AProcessor.RegisterTarget(Target());
    CurrentProcessor = &AProcessor;
}

void TQVRegistrationPartHandler::ImportItem(const QString& AName, const TQVXMLElement& AData) {
    QV_ASSERT(CurrentProcessor);
    QV_ASSERT(AName == PartName());
    CurrentProcessor->ImportRecord(AData, Target());
}

void TQVRegistrationPartHandler::EndImport() {
    CurrentProcessor = nullptr;
}

IRegisterServiceConfigForm* TQVRegistrationPartHandler::CreateConfigForm(QWidget*) {
    return nullptr;
}

QString TQVRegistrationPartHandler::LogCaption() const {
    return QStringLiteral("Anmeldungen");
}

QString TQVRegistrationPartHandler::LogSchema() const {
    return QStringLiteral("qvregistrations");
}

void TQVRegistrationPartHandler::RegisterWithHost() {
    static std::once_flag once;
    std::call_once(once, [] {
        TQVRegisterServiceContainer::RegisterHandler(std::make_shared<TQVRegistrationPartHandler>());
    });
}

} // namespace hostapi
