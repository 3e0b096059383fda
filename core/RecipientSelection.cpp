#include "RecipientSelection.h"

#include "EmailListItem.h"
#include "PelmarisPlugin.h"
#include "QVRecordSet.h"
#include "QVSchemaFilterSave.h"

namespace emailmarketing {

namespace {

const QString ListFiltersSchema = QStringLiteral("emllists_filters");
const QString ListIdField = QStringLiteral("emllists_id");

} // namespace

QString TRecipientSelection::SchemaName(const TRecipientQuery& AQuery) {
    return AQuery.SectionName;
}

hostapi::TQVFilterList TRecipientSelection::ResultsOf(qint64 AJobID, qint64 AState) {
    // The ids only tie the sub-select's conditions to it within this list.
    constexpr qint64 SubSelectID = 1;
    hostapi::TQVFilterList result;
    hostapi::TQVFilter& ids = result.Add(QStringLiteral("id"), QVariant());
    ids.ID = SubSelectID;
    ids.SubSelSchema = QString::fromLatin1(ResendRecordsSchema);
    result.Add(QStringLiteral("emljobs_id"), AJobID).ParentFilterID = SubSelectID;
    result.Add(QStringLiteral("sentstate"), AState).ParentFilterID = SubSelectID;
    return result;
}

hostapi::TQVFilterList TRecipientSelection::AddressCondition(const QStringList& AFields) {
    hostapi::TQVFilterList result;
    const bool several = AFields.size() > 1;
    if (several)
        result.AddParenthesis(hostapi::fpOpen);
    for (const QString& field : AFields)
        result.Add(field, QString(), hostapi::ftNotEqual, several ? hostapi::flOr : hostapi::flAnd);
    if (several)
        result.AddParenthesis(hostapi::fpClose);
    return result;
}

hostapi::TQVFilterList TRecipientSelection::Filters(const TRecipientQuery& AQuery) {
    hostapi::TQVFilterList result;
    if (AQuery.IsResend()) {
        result.AddGroup(ResultsOf(AQuery.ReSendJobID, AQuery.ReSendJobState));
    } else {
        result.AddGroup(AQuery.OwnFilters);
    }
    result.AddGroup(AddressCondition(AQuery.AddressFields));
    if (AQuery.RegisterServiceFilter) {
        hostapi::TQVFilterList active;
        active.Add(QString::fromLatin1(ActiveField), AQuery.ActiveState);
        result.AddGroup(active);
    }
    if (!AQuery.IsResend())
        result.AddGroup(AQuery.SavedFilters);
    return result;
}

bool TRecipientSelection::FieldIsSelected(const QStringList& AFieldsToIgnore, const QString& AFieldName) {
    if (!AFieldsToIgnore.isEmpty())
        return !AFieldsToIgnore.contains(AFieldName, Qt::CaseInsensitive);
    return AFieldName.compare(QStringLiteral("ptypeid"), Qt::CaseInsensitive) != 0;
}

void TRecipientSelection::Apply(const TRecipientQuery& AQuery, hostapi::TQVRecordSet& ARecords) {
    ARecords.SetSchemaName(SchemaName(AQuery));
    ARecords.SetOptions(hostapi::rsoReadOnly);
    ARecords.SetOnGetFieldIsRequired([ignore = AQuery.FieldsToIgnore](const QString& AFieldName) {
        return FieldIsSelected(ignore, AFieldName);
    });
    ARecords.Filters() = Filters(AQuery);
}

hostapi::TQVSchemaFilterSave TRecipientSelection::ListFilterSave(const QString& ASectionName,
                                                                 qint64 AListID) {
    hostapi::TQVSchemaFilterSave saver(ListFiltersSchema);
    saver.SetSchemaName(ASectionName);
    saver.Filters().Add(ListIdField, AListID);
    saver.SetAdditionalField(ListIdField, AListID);
    return saver;
}

TRecipientQuery TRecipientSelection::LoadQuery(const TEmailListItem& AList, int AFieldFlag,
                                               qint64 AReSendJobID, qint64 AReSendJobState) {
    TRecipientQuery query;
    query.SectionName = AList.SectionName();
    query.AddressFields = AList.GetEmailFields(AFieldFlag);
    query.FieldsToIgnore = AList.FieldsToIgnoreInSelection();
    query.ReSendJobID = AReSendJobID;
    query.ReSendJobState = AReSendJobState;
    query.RegisterServiceFilter = AList.RegisterServiceFilterEnabled();
    if (query.RegisterServiceFilter)
        query.ActiveState = hostapi::TPelmarisPlugin().GetRegisterServiceActiveState();
    if (!query.IsResend()) {
        query.OwnFilters = AList.AdvFilters();
        query.SavedFilters = ListFilterSave(AList.SectionName(), AList.IDValue()).LoadFilters();
    }
    return query;
}

} // namespace emailmarketing
