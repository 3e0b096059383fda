#pragma once

// The send path alone, shared by the sending benchmarks: each message composed (GMime) and sent by
// TDNSEmailSender over already open connections, without a job, its database or its threads.

#include <QString>

namespace bench {

// The texts of every message of a send-path run.
struct SendPathTexts {
    QString Subject; // "%1" becomes the message's number
    QString PlainBody;
    QString HtmlBody; // empty: a plain-text message
};

// Messages per second of AMessages sent to AServer (host:port) over AConnections connections, one
// thread each, timed from the moment all are connected until the last message is accepted; 0 on
// failure (the error on stderr).
double SendPathRate(const QString& AServer, int AMessages, const SendPathTexts& ATexts, int AConnections = 1);

} // namespace bench
