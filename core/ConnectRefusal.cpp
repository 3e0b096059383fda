#include "ConnectRefusal.h"

namespace emailmarketing {

TConnectVerdict TConnectRefusal::Verdict(qint32 AReplyCode, bool AOtherSenderDelivering) {
    return IsTemporary(AReplyCode) && AOtherSenderDelivering ? TConnectVerdict::Wait
                                                             : TConnectVerdict::Result;
}

qint32 TConnectRefusal::GroupResultCode(qint32 AReplyCode) {
    return IsTemporary(AReplyCode) ? AReplyCode : 0;
}

qint64 TConnectRefusal::WaitMs(int ARefusals) {
    qint64 wait = FirstWaitMs;
    for (int i = 1; i < ARefusals && wait < LongestWaitMs; ++i)
        wait *= 2;
    return qMin(wait, LongestWaitMs);
}

} // namespace emailmarketing
