#pragma once

#include <QtGlobal>

namespace emailmarketing {

// What a sender thread makes of a connect that failed (greeting, EHLO, STARTTLS or AUTH).
enum class TConnectVerdict {
    // A temporary refusal while another sender of the job delivers: the documents go back to the
    // send stack untouched and this sender waits.
    Wait,
    // The documents take the result step with AResultCode (a 421 is retried, other codes are final).
    Result,
};

// The rule for a refused connect and the wait of a refused sender: 30 s after the first refusal in a
// row, doubling with each further one, at most 5 minutes.
class TConnectRefusal {
public:
    static constexpr qint64 FirstWaitMs = 30 * 1000;
    static constexpr qint64 LongestWaitMs = 5 * 60 * 1000;

    // A 4xx reply: the server may accept later.
    static bool IsTemporary(qint32 AReplyCode) { return AReplyCode >= 400 && AReplyCode <= 499; }
    static TConnectVerdict Verdict(qint32 AReplyCode, bool AOtherSenderDelivering);
    // The code a refused group's documents take into the result step: a 4xx keeps its code, anything
    // else (a 5xx, no reply) is 0.
    static qint32 GroupResultCode(qint32 AReplyCode);
    // The wait after ARefusals refusals in a row (1 or more).
    static qint64 WaitMs(int ARefusals);
};

// The refusals of one sender thread in a row: each answers its wait; a connect ends the row.
class TConnectBackoff {
public:
    qint64 Refused() { return TConnectRefusal::WaitMs(++FRefusals); }
    void Connected() { FRefusals = 0; }
    int Refusals() const { return FRefusals; }

private:
    int FRefusals = 0;
};

} // namespace emailmarketing
