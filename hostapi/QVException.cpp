#include "QVException.h"

namespace hostapi {

EQVException::EQVException(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toUtf8()) {}
EQVException::~EQVException() = default;

const char* EQVException::what() const noexcept { return FUtf8.constData(); }

EQVUserMessageException::~EQVUserMessageException() = default;
EQVDatabaseException::~EQVDatabaseException() = default;

EQVAssertion::EQVAssertion(const QString& condition, const char* file, int line)
    : EQVException(QStringLiteral("Assertion failed: %1 (%2, line %3)")
                       .arg(condition, QString::fromUtf8(file), QString::number(line))) {}
EQVAssertion::~EQVAssertion() = default;

} // namespace hostapi
