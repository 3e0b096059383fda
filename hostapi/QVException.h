#pragma once

#include "HostApiExport.h"

#include <QString>

#include <exception>

namespace hostapi {

// Base of every exception of the platform and the modules. Carries the text the user needs.
class HOSTAPI_EXPORT EQVException : public std::exception {
public:
    explicit EQVException(QString message);
    ~EQVException() override;

    const QString& Message() const { return FMessage; }
    const char* what() const noexcept override;

private:
    QString FMessage;
    QByteArray FUtf8;
};

// Shown by the host as a plain message, without error decoration.
class HOSTAPI_EXPORT EQVUserMessageException : public EQVException {
public:
    using EQVException::EQVException;
    ~EQVUserMessageException() override;
};

// A database statement or connection failed; the message names the statement's purpose and the driver text.
class HOSTAPI_EXPORT EQVDatabaseException : public EQVException {
public:
    using EQVException::EQVException;
    ~EQVDatabaseException() override;
};

// A programming error (a broken precondition). Names file and line; never aborts the host.
class HOSTAPI_EXPORT EQVAssertion : public EQVException {
public:
    EQVAssertion(const QString& condition, const char* file, int line);
    ~EQVAssertion() override;
};

} // namespace hostapi

#define QV_ASSERT(cond)                                                                                 \
    do {                                                                                                \
        if (!(cond))                                                                                    \
            throw ::hostapi::EQVAssertion(QStringLiteral(#cond), __FILE__, __LINE__);                   \
    } while (false)
