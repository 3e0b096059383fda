#pragma once

// The peers of the sending benchmarks: Postfix's smtp-sink on loopback, Postfix's smtp-source and
// Python's smtplib sending to it.

#include <QProcess>
#include <QString>

namespace bench {

extern const QString From;
extern const QString To;

// A text body of about ASize bytes in lines of 76 characters.
QString Body(int ASize);

// smtp-sink on 127.0.0.1 and a free port (as the user nobody when run as root), stopped by the
// destructor.
class SmtpSink {
public:
    SmtpSink();
    ~SmtpSink();
    // False when it does not listen within 5 s.
    bool Start();
    quint16 Port() const { return FPort; }
    QString Server() const { return QStringLiteral("127.0.0.1:%1").arg(FPort); }

private:
    QProcess FProcess;
    quint16 FPort;
};

// Messages per second of smtp-source -d (each session reuses its connection) with ASessions
// sessions in parallel; 0 on failure.
double SmtpSource(quint16 APort, int AMessages, int ASize, int ASessions = 1);
// Messages per second of Python's smtplib, AProcesses processes with one connection each; 0 on
// failure.
double PythonSmtplib(quint16 APort, int AMessages, const QString& ABody, int AProcesses = 1);

} // namespace bench
