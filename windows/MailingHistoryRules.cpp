#include "MailingHistoryRules.h"

#include "PelmarisPlugin.h"
#include "VRNLang.h"

namespace emailmarketing {

QString TMailingHistoryRules::JobTypeDescr(const hostapi::TVRNLang& ALang, qint64 AParentJobID,
                                           int AParentJobState) {
    if (AParentJobID < 1)
        return ALang.Text(QStringLiteral("IDS_STDL"));
    return ALang.Text(QStringLiteral("IDS_PJOBD"))
        .arg(ALang.Text(AParentJobState == 1 ? QStringLiteral("IDS_PJOK") : QStringLiteral("IDS_PJFL")));
}

TMailingHistoryRules::TGridActions TMailingHistoryRules::GridActions(bool AHistoryActive, bool AListOpen,
                                                                     int ARowCount, bool AJobViewHoldsJob) {
    TGridActions actions;
    if (!AHistoryActive || !AListOpen || ARowCount < 1)
        return actions;
    actions.Preview = true;
    actions.Scheduled = true;
    actions.Resend = !AJobViewHoldsJob;
    return actions;
}

void TMailingHistoryRules::SetSubscription(const QList<qint64>& AAddressIDs, bool ASubscribed,
                                           const std::function<void(qint64, bool)>& ASet) {
    for (const qint64 id : AAddressIDs)
        ASet(id, ASubscribed);
}

QColor TMailingHistoryRules::RowColor(bool ARegisterServiceFilterEnabled, bool ASelected,
                                      const QVariant& AIsActive) {
    if (!ARegisterServiceFilterEnabled || ASelected)
        return {};
    return hostapi::TPelmarisPlugin::StateColor(AIsActive);
}

} // namespace emailmarketing
