#include "JobInfoModel.h"

#include "RegionalSettings.h"

#include <QtMath>

#include <cmath>

namespace emailmarketing {

namespace {

QString DateAndTime(const QDateTime& AValue, const QLocale& ALocale) {
    if (!AValue.isValid())
        return {};
    return ALocale.toString(AValue.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           ALocale.toString(AValue.time(), hostapi::RegionalSettings::LongTimeFormatWithoutZone(ALocale));
}

QString MinutesText(const QDateTime& AFrom, const QDateTime& ATo, const QLocale& ALocale) {
    return JobInfoModel::TwoDecimals(JobInfoModel::MinutesBetween(AFrom, ATo), ALocale) + QStringLiteral(" Min.");
}

QString Running(bool AEnded) {
    return AEnded ? QStringLiteral("beendet") : QStringLiteral("läuft");
}

bool IsSending(const TJobStateSet& AState) {
    return AState.ContainsAny({jsSending, jsSent});
}

} // namespace

JobInfoModel::TSnapshot JobInfoModel::Snapshot(const TBaseEmailSender& AJob) {
    TSnapshot s;
    s.EmailStyle = AJob.EmailStyle();
    s.Subject = AJob.Subject();
    s.StartDate = AJob.StartDate();
    s.AutoStart = AJob.AutoStart();
    s.AutoStartDate = AJob.AutoStartDate();
    s.State = AJob.State();
    s.PrepareStarted = AJob.PrepareStarted();
    s.PrepareCount = AJob.PrepareCount();
    s.SendCount = AJob.SendCount();
    s.SendStarted = AJob.SendStarted();
    s.LastSentStatisticUpdate = AJob.LastSentStatisticUpdate();
    s.SentCount = AJob.SentCount();
    s.SentRetryCount = AJob.SentRetryCount();
    s.SentFailedCount = AJob.SentFailedCount();
    s.SentUnits = AJob.SentUnits();
    if (const std::shared_ptr<TEmailListItem> list = AJob.DestinationList()) {
        s.SendThreads = list->SendThreads();
        s.UnitDelay = list->UnitDelay();
        s.SendPerUnits = list->SendPerUnits();
        s.MailsPerUnit = list->MailsPerUnit();
    }
    s.CurrentState = AJob.State();
    s.CurrentDelay = s.CurrentState.Contains(jsDelayd) ? AJob.CurrentDelay() : 0;
    s.Now = AJob.Now();
    return s;
}

QString JobInfoModel::StyleText(TEmailStyle AStyle) {
    switch (AStyle) {
    case esPlainText: return QStringLiteral("TEXT");
    case esRTFText: return QStringLiteral("RTF");
    case esHTMLSource: return QStringLiteral("HTML-Source");
    case esSMS: return QStringLiteral("SMS");
    case esHTML: return QStringLiteral("HTML");
    }
    return QString::number(int(AStyle));
}

QString JobInfoModel::TwoDecimals(double AValue, const QLocale& ALocale) {
    QLocale locale = ALocale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(AValue, 'f', 2);
}

double JobInfoModel::MinutesBetween(const QDateTime& AFrom, const QDateTime& ATo) {
    if (!AFrom.isValid() || !ATo.isValid())
        return 0;
    return std::abs(double(AFrom.msecsTo(ATo))) / 60000.0;
}

QString JobInfoModel::DateTimeText(const QDateTime& AValue) {
    return AValue.toString(QStringLiteral("dd-MM-yyyy HH:mm:ss"));
}

JobInfoModel::TEstimate JobInfoModel::Estimate(const TSnapshot& AJob) {
    TEstimate e;
    const qint64 n = AJob.SentCount;
    const qint64 left = qint64(AJob.PrepareCount) - n;
    const qint64 span = AJob.SendStarted.isValid() && AJob.LastSentStatisticUpdate.isValid()
                            ? AJob.SendStarted.msecsTo(AJob.LastSentStatisticUpdate)
                            : 0;
    double remaining = 0;
    if (n > 0) {
        const double perMail = double(span) / double(n);
        e.TimePerMailMs = qRound64(perMail);
        remaining = double(qRound64(perMail * double(left) / 1000.0));
    }
    // The pauses between the units still to send; a unit size of 0 sends no units.
    if (AJob.UnitDelay > 0 && AJob.SendPerUnits && AJob.MailsPerUnit > 0)
        remaining += double(qRound64(double(left) / double(AJob.MailsPerUnit) * (AJob.UnitDelay * 60.0)));
    e.RemainingSeconds = qint64(remaining);
    return e;
}

QString JobInfoModel::RemainingText(qint64 ASeconds) {
    const qint64 d = ASeconds / 86400;
    const qint64 h = ASeconds / 3600 - 24 * d;
    const qint64 m = ASeconds / 60 - 60 * h - 1440 * d;
    const qint64 s = ASeconds - 3600 * h - 86400 * d - 60 * m;
    return QStringLiteral("%1Tage %2h %3m %4s").arg(d).arg(h).arg(m).arg(s);
}

bool JobInfoModel::Throughput(const TSnapshot& AJob, double& APerMinute) {
    if (AJob.SentCount <= 0 || !AJob.SendStarted.isValid() || !AJob.LastSentStatisticUpdate.isValid())
        return false;
    const double minutes = MinutesBetween(AJob.SendStarted, AJob.LastSentStatisticUpdate);
    if (minutes <= 0)
        return false;
    APerMinute = double(AJob.SentCount) / minutes;
    return true;
}

QList<JobInfoModel::TRow> JobInfoModel::Rows(const TSnapshot& AJob, const QLocale& ALocale) {
    const TJobStateSet s = AJob.State;
    QList<TRow> rows;
    rows.append({QStringLiteral("Format"), StyleText(AJob.EmailStyle)});
    rows.append({QStringLiteral("Betreff"), AJob.Subject});
    rows.append({QStringLiteral("Job-Start"), DateAndTime(AJob.StartDate, ALocale)});
    rows.append({QStringLiteral("Job-Alter"), MinutesText(AJob.StartDate, AJob.Now, ALocale)});
    if (AJob.AutoStart)
        rows.append({QStringLiteral("Auto-Start am"), DateTimeText(AJob.AutoStartDate)});
    if (s.Contains(jsRegisterServiceFetching))
        rows.append({QStringLiteral("Register-Service aktualisierung"), QStringLiteral("läuft")});
    else if (s.Contains(jsRegisterServiceFetched))
        rows.append({QStringLiteral("Register-Service aktualisierung"), QStringLiteral("beendet")});
    if (s.ContainsAny({jsPrepared, jsPreparing})) {
        rows.append({QStringLiteral("Start-Personalisierung"), DateAndTime(AJob.PrepareStarted, ALocale)});
        rows.append({QStringLiteral("Laufzeit-Personalisierung"), MinutesText(AJob.PrepareStarted, AJob.Now, ALocale)});
        rows.append({QStringLiteral("Status-Personalisierung"), Running(s.Contains(jsPrepared))});
        rows.append({QStringLiteral("Empfänger"), QString::number(AJob.PrepareCount)});
        rows.append({QStringLiteral("Personalisiert"), QString::number(AJob.SendCount)});
    }
    if (IsSending(s)) {
        const TEstimate estimate = Estimate(AJob);
        rows.append({QStringLiteral("Sende-Start"), DateAndTime(AJob.SendStarted, ALocale)});
        rows.append({QStringLiteral("Sende-Laufzeit"), MinutesText(AJob.SendStarted, AJob.Now, ALocale)});
        rows.append({QStringLiteral("Sende-Status"), Running(s.Contains(jsSent))});
        rows.append({QStringLiteral("Sende Threads"), QString::number(AJob.SendThreads)});
        rows.append({QStringLiteral("Gesendet"), QString::number(AJob.SentCount)});
        rows.append({QStringLiteral("Neuversuche"), QString::number(AJob.SentRetryCount)});
        rows.append({QStringLiteral("Sendefehler"), QString::number(AJob.SentFailedCount)});
        rows.append({QStringLiteral("Zeit pro Mail avg."), QString::number(estimate.TimePerMailMs) + QStringLiteral(" ms")});
        if (estimate.RemainingSeconds > 0) {
            rows.append({QStringLiteral("Gesch. Rest-Versandzeit"), RemainingText(estimate.RemainingSeconds)});
            rows.append({QStringLiteral("Gesch. Endzeit"),
                         DateTimeText(AJob.LastSentStatisticUpdate.addSecs(estimate.RemainingSeconds))});
        }
        double perMinute = 0;
        if (Throughput(AJob, perMinute))
            rows.append({QStringLiteral("Versand-Durchsatz"), TwoDecimals(perMinute, ALocale) + QStringLiteral(" Stk./Min.")});
        rows.append({QStringLiteral("Gesendete Staffeln"), QString::number(AJob.SentUnits)});
        if (AJob.CurrentState.Contains(jsDelayd))
            rows.append({QStringLiteral("Versand-Pause"), TwoDecimals(AJob.CurrentDelay, ALocale) + QStringLiteral(" Minuten")});
        else if (AJob.CurrentState.Contains(jsThrottling))
            rows.append({QStringLiteral("Throttling"), QStringLiteral("Aktiv")});
    }
    return rows;
}

JobInfoModel::TPanels JobInfoModel::Panels(const TSnapshot& AJob, const QLocale& ALocale) {
    TPanels p;
    p.SendVisible = IsSending(AJob.State);
    p.PrepareVisible = p.SendVisible || AJob.State.ContainsAny({jsPreparing, jsPrepared});
    if (p.SendVisible) {
        if (AJob.CurrentState.Contains(jsDelayd))
            p.Delay = QStringLiteral("Versand-Pause für ") + TwoDecimals(AJob.CurrentDelay, ALocale) +
                      QStringLiteral(" Minuten");
        else if (AJob.CurrentState.Contains(jsThrottling))
            p.Delay = QStringLiteral("Versand pausiert: Throttling aktiv...");
        else
            p.Delay = QStringLiteral("Versand läuft");
        p.SendMaximum = AJob.PrepareCount;
        p.SendPosition = AJob.SentCount;
    }
    if (p.PrepareVisible) {
        p.PrepareMaximum = AJob.PrepareCount;
        p.PreparePosition = AJob.SendCount;
    }
    return p;
}

} // namespace emailmarketing
