#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

namespace hostapi {
class TVRNLang;
}

namespace emailmarketing {

// The rules of the mailing window's send history: the text above the history for the current job,
// the states of the preview, scheduled-resend and resend actions of the two recipient grids, the
// subscription change of the selected rows and the rows' colour by address state.
class TMailingHistoryRules {
public:
    // Texts of the table "MailingHistoryRules".
    // A job with no parent (id below 1): "Versand an Verteilerliste"; a resend: "Erneuter Versand an
    // alle " with the parent's sent state (1: successful, else failed recipients).
    static QString JobTypeDescr(const hostapi::TVRNLang& ALang, qint64 AParentJobID, int AParentJobState);

    struct TGridActions {
        bool Preview = false;
        bool Scheduled = false;
        bool Resend = false;
        bool operator==(const TGridActions&) const = default;
    };
    // The actions of one grid: preview and scheduled resend with the history tab active and the
    // grid's list open and holding rows; the direct resend only while the embedded job view holds
    // no job as well.
    static TGridActions GridActions(bool AHistoryActive, bool AListOpen, int ARowCount,
                                    bool AJobViewHoldsJob);

    // Sets the subscription of every address in order ("Anmelden": true, "Abmelden": false) through
    // ASet; the first failure stops and is raised (the rows before it keep their new state).
    static void SetSubscription(const QList<qint64>& AAddressIDs, bool ASubscribed,
                                const std::function<void(qint64 AAddressID, bool ASubscribed)>& ASet);

    // The background of an unselected row with the register-service filter on: the address module's
    // colour for its "isactive" value; an invalid colour keeps the grid's own.
    static QColor RowColor(bool ARegisterServiceFilterEnabled, bool ASelected, const QVariant& AIsActive);
};

} // namespace emailmarketing
