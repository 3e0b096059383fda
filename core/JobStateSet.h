#pragma once

#include <QString>
#include <QtGlobal>

#include <initializer_list>

namespace emailmarketing {

// States of a send job; the ordinal is the bit number in TJobStateSet.
enum TJobState : int {
    jsInitialized = 0,
    jsPrepared = 1,
    jsPreparing = 2,
    jsSent = 3,
    jsSending = 4,
    jsTerminateing = 5,
    jsTerminated = 6,
    jsAutoStarted = 7,
    jsReseting = 8,
    jsPreparingPreview = 9,
    jsPreparedPreview = 10,
    jsDelayd = 11,
    jsRegisterServiceFetching = 12,
    jsRegisterServiceFetched = 13,
    jsThrottling = 14
};

// A set of job states, one bit per state ordinal (16 bits).
class TJobStateSet {
public:
    TJobStateSet() = default;
    TJobStateSet(std::initializer_list<TJobState> AStates);
    static TJobStateSet FromInt(quint16 ABits);

    bool Contains(TJobState AState) const { return FBits & Bit(AState); }
    bool ContainsAny(TJobStateSet ASet) const { return FBits & ASet.FBits; }
    bool IsEmpty() const { return FBits == 0; }
    TJobStateSet& Include(TJobStateSet ASet);
    TJobStateSet& Exclude(TJobStateSet ASet);
    quint16 ToInt() const { return FBits; }
    bool operator==(const TJobStateSet& other) const = default;
    // "{jsInitialized, jsPrepared}"
    QString ToString() const;

private:
    static quint16 Bit(TJobState AState) { return static_cast<quint16>(1u << static_cast<int>(AState)); }
    quint16 FBits = 0;
};

} // namespace emailmarketing
