#pragma once

#include "PelmarisPlugin.h"
#include "QVRecordSet.h"
#include "VRNLang.h"

#include <QWidget>

#include <functional>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QToolButton;

namespace hostapi {
class QVDBGrid;
class QVRecordSetModel;
} // namespace hostapi

namespace emailmarketing {

// The send history of the loaded template: its jobs ("emljobs", newest first), the successful and
// the failed recipients of the current job ("emlsentlist_success", "emlsentlist_failed") with their
// numbers, the text of the job's kind, the preview, scheduled-resend and resend actions of both
// lists, and the edit menus of the lists (open the address; "Anmelden"/"Abmelden" of the selected
// rows with the list's register-service filter on). The mailing window places the page on its tab
// "tbsHistory", puts the actions into its menus and carries them out through the job events.
class TMailingHistoryPage : public QWidget {
    Q_OBJECT
public:
    // Sent states of the two lists.
    static constexpr int SuccessState = 1;
    static constexpr int FailedState = 2;
    // Tags of the edit menus: the list they act on.
    static constexpr int SuccessTag = 1;
    static constexpr int FailedTag = 0;

    // A job action on the recipients of history job AJobID with sent state ASentState.
    using TJobActionEvent = std::function<void(qint64 AJobID, qint64 ASentState)>;
    using THoldsJobEvent = std::function<bool()>;

    explicit TMailingHistoryPage(QWidget* AParent = nullptr);

    // The loaded template (-1: none) and its list's register-service filter; clears the edit menus.
    void SetTemplateID(qint64 ATemplateID, bool ARegisterServiceFilterEnabled);
    qint64 TemplateID() const { return FTemplateID; }
    // The history tab became active or inactive; while active the jobs follow the loaded template.
    void SetHistoryActive(bool AValue);
    bool HistoryActive() const { return FHistoryActive; }
    // Reads the jobs again (e.g. after a job of the template ended).
    void RefreshJobs();
    void SetCurrentJob(int ARow);
    qint64 CurrentJobID() const;
    // Enables the actions by the lists' rows and whether the embedded job view holds a job.
    void UpdateActions();

    // Opens the address of the list's current row through the address module (nothing when the
    // address no longer exists).
    void EditAddress(int ATag);
    // Subscribes or unsubscribes the addresses of the list's selected rows, in order, then reads the
    // list again.
    void SetSubscription(int ATag, bool ASubscribed);
    // The list's edit menu, built when empty.
    QMenu* EditMenu(int ATag);

    void SetOnResend(TJobActionEvent AEvent) { FOnResend = std::move(AEvent); }
    void SetOnSchedule(TJobActionEvent AEvent) { FOnSchedule = std::move(AEvent); }
    void SetOnPreview(TJobActionEvent AEvent) { FOnPreview = std::move(AEvent); }
    void SetOnJobViewHoldsJob(THoldsJobEvent AEvent) { FOnJobViewHoldsJob = std::move(AEvent); }

    QAction* actPreviewSuccess() const { return FPreviewSuccess; }
    QAction* actPreviewFailed() const { return FPreviewFailed; }
    QAction* actResendSuccess() const { return FResendSuccess; }
    QAction* actResendFailed() const { return FResendFailed; }
    QAction* actSchedSuccess() const { return FSchedSuccess; }
    QAction* actSchedFailed() const { return FSchedFailed; }

    hostapi::QVDBGrid* JobGrid() const { return FJobGrid; }
    hostapi::QVDBGrid* Grid(int ATag) const { return ATag == SuccessTag ? FSuccessGrid : FFailedGrid; }
    QLabel* JobTypeLabel() const { return FJobType; }

    void SetLanguage(const QString& ALangName);

private:
    struct TSentList {
        hostapi::TQVRecordSet* RecordSet;
        hostapi::QVRecordSetModel* Model;
        hostapi::QVDBGrid* Grid;
        QMenu* Menu;
    };

    hostapi::QVDBGrid* CreateSentGrid(hostapi::TQVRecordSet& ARecordSet, hostapi::QVRecordSetModel*& AModel,
                                      int ATag);
    QAction* CreateAction(const char* AName, int ATag, TJobActionEvent TMailingHistoryPage::*AEvent);
    void RunJobAction(int ATag, const TJobActionEvent& AEvent);
    TSentList List(int ATag);
    void JobChanged();
    void CloseSentLists();
    void ShowCounts();
    void BuildEditMenu(int ATag);
    int RowColor(const hostapi::QVRecordSetModel& AModel, int ARow) const;
    void RetranslateUi();

    hostapi::TVRNLang FLang;
    hostapi::TVRNLang FRulesLang;
    hostapi::TPelmarisPlugin FPelmaris;
    hostapi::TQVRecordSet FJobs;
    hostapi::TQVRecordSet FSentSuccess;
    hostapi::TQVRecordSet FSentFailed;
    qint64 FTemplateID = -1;
    bool FRegisterServiceFilterEnabled = false;
    bool FHistoryActive = false;

    hostapi::QVRecordSetModel* FJobModel = nullptr;
    hostapi::QVRecordSetModel* FSuccessModel = nullptr;
    hostapi::QVRecordSetModel* FFailedModel = nullptr;
    hostapi::QVDBGrid* FJobGrid = nullptr;
    hostapi::QVDBGrid* FSuccessGrid = nullptr;
    hostapi::QVDBGrid* FFailedGrid = nullptr;
    QLabel* FJobType = nullptr;
    QGroupBox* FJobBox = nullptr;
    QGroupBox* FSuccessBox = nullptr;
    QGroupBox* FFailedBox = nullptr;
    QToolButton* FSuccessEdit = nullptr;
    QToolButton* FFailedEdit = nullptr;
    QMenu* FSuccessMenu = nullptr;
    QMenu* FFailedMenu = nullptr;

    QAction* FPreviewSuccess = nullptr;
    QAction* FPreviewFailed = nullptr;
    QAction* FResendSuccess = nullptr;
    QAction* FResendFailed = nullptr;
    QAction* FSchedSuccess = nullptr;
    QAction* FSchedFailed = nullptr;

    TJobActionEvent FOnResend;
    TJobActionEvent FOnSchedule;
    TJobActionEvent FOnPreview;
    THoldsJobEvent FOnJobViewHoldsJob;
};

} // namespace emailmarketing
