#include "JobStateSet.h"

#include <QStringList>

namespace emailmarketing {

namespace {

const char* const StateNames[] = {"jsInitialized",      "jsPrepared",         "jsPreparing",
                                  "jsSent",             "jsSending",          "jsTerminateing",
                                  "jsTerminated",       "jsAutoStarted",      "jsReseting",
                                  "jsPreparingPreview", "jsPreparedPreview",  "jsDelayd",
                                  "jsRegisterServiceFetching", "jsRegisterServiceFetched", "jsThrottling"};

} // namespace

TJobStateSet::TJobStateSet(std::initializer_list<TJobState> AStates) {
    for (TJobState state : AStates)
        FBits |= Bit(state);
}

TJobStateSet TJobStateSet::FromInt(quint16 ABits) {
    TJobStateSet result;
    result.FBits = ABits;
    return result;
}

TJobStateSet& TJobStateSet::Include(TJobStateSet ASet) {
    FBits |= ASet.FBits;
    return *this;
}

TJobStateSet& TJobStateSet::Exclude(TJobStateSet ASet) {
    FBits &= static_cast<quint16>(~ASet.FBits);
    return *this;
}

QString TJobStateSet::ToString() const {
    QStringList names;
    for (int i = 0; i <= jsThrottling; ++i)
        if (Contains(static_cast<TJobState>(i)))
            names << QString::fromLatin1(StateNames[i]);
    return QLatin1Char('{') + names.join(QStringLiteral(", ")) + QLatin1Char('}');
}

} // namespace emailmarketing
