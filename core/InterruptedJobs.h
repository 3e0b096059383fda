#pragma once

#include <QDateTime>
#include <QString>

namespace emailmarketing {

// The clean-up of mailings that a crash (or a killed process) left unfinished, run at every start of
// the module: a job whose lock (TJobProcessLock) can be taken runs nowhere any more. Its open
// "emljobs" row is closed with an end date (jobstate stays 1), and its pending "emlsentlist" rows,
// like those of no job, become failures with InterruptedText, so that "resend to the failed"
// reaches them. A job running in another process on the same database is not touched.
class TInterruptedJobs {
public:
    struct TResult {
        int Jobs = 0; // job rows closed
        int Rows = 0; // pending rows turned into failures
    };

    static TResult Recover(const QDateTime& ANow);
    static QString InterruptedText();
    // The line for the host's log; empty when nothing was recovered.
    static QString Summary(const TResult& AResult);
};

} // namespace emailmarketing
