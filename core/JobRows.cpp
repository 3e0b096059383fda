#include "JobRows.h"

#include "ClientSQL.h"

namespace emailmarketing {

qint32 TJobRows::Insert(const TNewJob& AJob) {
    hostapi::TClientSQL sql(QStringLiteral("emljobs"), hostapi::ckInsert);
    for (const char* field :
         {"emltemplates_id", "startdate", "jobstate", "enddate", "parentjobid", "parentjobstate"})
        sql.AddField(QString::fromLatin1(field));
    sql.SetFieldValue(QStringLiteral("emltemplates_id"), AJob.TemplateID);
    sql.SetFieldValue(QStringLiteral("startdate"), AJob.StartDate);
    sql.SetFieldValue(QStringLiteral("jobstate"), AJob.JobState);
    sql.SetFieldValue(QStringLiteral("enddate"), QDateTime());
    sql.SetFieldValue(QStringLiteral("parentjobid"), AJob.ParentJobID);
    sql.SetFieldValue(QStringLiteral("parentjobstate"), AJob.ParentJobState);
    return static_cast<qint32>(sql.Execute());
}

void TJobRows::Close(qint32 AJobID, int AJobState, const QDateTime& AEndDate) {
    hostapi::TClientSQL sql(QStringLiteral("emljobs"), hostapi::ckUpdate);
    sql.AddField(QStringLiteral("jobstate"));
    sql.AddField(QStringLiteral("enddate"));
    sql.SetFieldValue(QStringLiteral("jobstate"), AJobState);
    sql.SetFieldValue(QStringLiteral("enddate"), AEndDate);
    sql.Filters().Add(QStringLiteral("id"), AJobID);
    sql.Execute();
}

void TJobRows::MarkTemplateSent(qint32 ATemplateID, qint64 AStateID, const QDateTime& ASentDate) {
    hostapi::TClientSQL sql(QStringLiteral("emtemplates"), hostapi::ckUpdate);
    sql.AddField(QStringLiteral("templstateid"));
    sql.AddField(QStringLiteral("lastsent"));
    sql.SetFieldValue(QStringLiteral("templstateid"), AStateID);
    sql.SetFieldValue(QStringLiteral("lastsent"), ASentDate);
    sql.Filters().Add(QStringLiteral("id"), ATemplateID);
    sql.Execute();
}

} // namespace emailmarketing
