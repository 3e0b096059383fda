#pragma once

#include <QString>
#include <QUrl>

namespace registerservice {

// The request of one fetch: ABaseURL, "/" unless it ends with one, then "fetch.php?action=all" for
// an empty stamp, else "fetch.php?action=last&last=" and the stamp percent-encoded (a blank or "&"
// in it would otherwise break the query; a standard server reads the same value). EQVException for
// a base URL that is not an http or https URL.
QUrl FetchUrl(const QString& ABaseURL, const QString& ALastFetchStamp);

} // namespace registerservice
