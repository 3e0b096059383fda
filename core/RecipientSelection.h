#pragma once

#include "QVFilter.h"

#include <QString>
#include <QStringList>

namespace hostapi {
class TQVRecordSet;
class TQVSchemaFilterSave;
} // namespace hostapi

namespace emailmarketing {

class TEmailListItem;

// What a job selects its recipients by: the records of the list's schema, filtered by the list's own
// and saved filters, or for a resend by a parent job's results; in both cases at least one address
// field set and, with the register-service filter, only active addresses.
struct TRecipientQuery {
    QString SectionName;                 // the list's schema
    hostapi::TQVFilterList OwnFilters;   // the list's own filters
    hostapi::TQVFilterList SavedFilters; // the list's saved filters ("emllists_filters")
    QStringList AddressFields;           // the style's address fields, in order
    QStringList FieldsToIgnore;          // fields left out of the selection
    bool RegisterServiceFilter = false;
    int ActiveState = 1;     // the "isactive" value that means active
    qint64 ReSendJobID = -1; // parent job of a resend; -1: no resend
    qint64 ReSendJobState = -1;

    bool IsResend() const { return ReSendJobID >= 0; }
};

// Turns a recipient query into the schema, filters and selected fields of a record set. Pure: it
// touches no database; the filters mean what they say on both backends (every part is ANDed as a
// whole, so an OR inside a saved filter never widens the list).
class TRecipientSelection {
public:
    // The sent-list rows by recipient record id, job and result.
    static constexpr const char* ResendRecordsSchema = "emlresendrecords";
    static constexpr const char* ActiveField = "pelm_addresses_det.isactive";

    // The list's schema, also for a resend: it reads the parent job's rows joined to the list's own
    // records, whatever the schema.
    static QString SchemaName(const TRecipientQuery& AQuery);
    // The records whose id has a row of job AJobID with sent state AState (a sub-select by id).
    static hostapi::TQVFilterList ResultsOf(qint64 AJobID, qint64 AState);
    // "some address field is not empty": one field alone, several as an OR in parentheses.
    static hostapi::TQVFilterList AddressCondition(const QStringList& AFields);
    // Every condition of the query, each part enclosed as a whole: a normal job its own filters, the
    // address condition, the active state and its saved filters; a resend job the parent job's
    // results, the address condition and the active state.
    static hostapi::TQVFilterList Filters(const TRecipientQuery& AQuery);
    // Whether a field is loaded: not one of the fields to ignore (compared without regard to case);
    // without fields to ignore every field but "ptypeid".
    static bool FieldIsSelected(const QStringList& AFieldsToIgnore, const QString& AFieldName);
    // Sets schema, read-only option, field selection and filters on a closed record set.
    static void Apply(const TRecipientQuery& AQuery, hostapi::TQVRecordSet& ARecords);

    // The saver of a list's saved filters on its schema: the rows of "emllists_filters" whose
    // "emllists_id" is the list's id. Jobs read through it and the list's filter editor writes
    // through it, so both mean the same rows.
    static hostapi::TQVSchemaFilterSave ListFilterSave(const QString& ASectionName, qint64 AListID);

    // The query of a job: the list's data for the style and the resend target. Reads the list's
    // saved filters from the database and, with the register-service filter, the active state from
    // the address module's settings (the calling thread's connection).
    static TRecipientQuery LoadQuery(const TEmailListItem& AList, int AFieldFlag, qint64 AReSendJobID,
                                     qint64 AReSendJobState);
};

} // namespace emailmarketing
