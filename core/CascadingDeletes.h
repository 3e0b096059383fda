#pragma once

namespace hostapi {
class IQVSQLDeleteNotify;
}

namespace emailmarketing {

// Answers a deletion event of the host: for a deletion of templates, jobs, distribution lists or
// list macros (tested in this order, the first match handled), names the dependent rows that go
// with them (schema and key column), when the event allows dependents; otherwise reports the
// dependents as skipped, once. Deletions of any other schema are left alone.
//
//   "emtemplates" -> "emlembededcontent"."emltemplateid", "emlattachements"."emltemplateid",
//                    "emltextblocks"."emtemplateid", "emljobs"."emltemplates_id"
//   "emljobs"     -> "emlsentlist"."emljobs_id"
//   "emlists"     -> "emlmacros"."emlists_id", "emllists_filters"."emllists_id"
//   "emlmacros"   -> "emlconditions"."emlmacros_id"
void AddDependentDeletes(hostapi::IQVSQLDeleteNotify& AEvent);

} // namespace emailmarketing
