#include "MailingHistoryPage.h"

#include "ExceptionDisplay.h"
#include "MailingHistoryRules.h"
#include "QVDBGrid.h"
#include "QVRecordSetModel.h"

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace emailmarketing {

namespace {
const QString JobID = QStringLiteral("emljobs_id");
const QString SentState = QStringLiteral("sentstate");
const QString AddressID = QStringLiteral("emladdresses.id");
const QString AddressActive = QStringLiteral("emladdresses.isactive");

// Empties a grid whose record set was closed (the model answers no rows for a closed record set).
void ResetModel(hostapi::QVRecordSetModel& AModel) {
    AModel.SetColumns(AModel.Columns());
}

int TColorOf(const QColor& AColor) {
    if (!AColor.isValid())
        return hostapi::clNone;
    return AColor.red() | (AColor.green() << 8) | (AColor.blue() << 16);
}
} // namespace

TMailingHistoryPage::TMailingHistoryPage(QWidget* AParent)
    : QWidget(AParent), FLang(QStringLiteral("MailingHistoryPage")),
      FRulesLang(QStringLiteral("MailingHistoryRules")), FJobs(QStringLiteral("emljobs")),
      FSentSuccess(QStringLiteral("emlsentlist_success")), FSentFailed(QStringLiteral("emlsentlist_failed")) {
    setObjectName(QStringLiteral("MailingHistoryPage"));
    FJobs.SetOptions(FJobs.Options() | hostapi::rsoReadOnly);
    FJobs.AddOrder(QStringLiteral("startdate"), true);
    FJobModel = new hostapi::QVRecordSetModel(&FJobs, this);
    FJobModel->SetOnBeforeLoad([this](hostapi::TQVRecordSet& ARecordSet) {
        ARecordSet.Filters().Clear();
        ARecordSet.Filters().Add(QStringLiteral("emltemplates_id"), FTemplateID);
    });
    FJobModel->SetOnRecordChanged([this](int) { JobChanged(); });
    FJobGrid = new hostapi::QVDBGrid(this);
    FJobGrid->setObjectName(QStringLiteral("gvJobs"));
    FJobGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FJobGrid->SetRecordSetModel(FJobModel);
    FJobGrid->SetOnAction([](int AAction, bool& AHandled) { AHandled = AAction != hostapi::gaCopy; });

    FSuccessGrid = CreateSentGrid(FSentSuccess, FSuccessModel, SuccessTag);
    FFailedGrid = CreateSentGrid(FSentFailed, FFailedModel, FailedTag);
    FSuccessGrid->setObjectName(QStringLiteral("gvSuccessedList"));
    FFailedGrid->setObjectName(QStringLiteral("gvFailedList"));
    FSuccessMenu = new QMenu(this);
    FSuccessMenu->setObjectName(QStringLiteral("pmnuEditSuccessHistroy"));
    FFailedMenu = new QMenu(this);
    FFailedMenu->setObjectName(QStringLiteral("pmnuEditFailedHistroy"));
    connect(FSuccessMenu, &QMenu::aboutToShow, this, [this] { BuildEditMenu(SuccessTag); });
    connect(FFailedMenu, &QMenu::aboutToShow, this, [this] { BuildEditMenu(FailedTag); });

    FJobType = new QLabel(this);
    FJobType->setObjectName(QStringLiteral("lblJobTypeDescr"));
    QFont bold = FJobType->font();
    bold.setBold(true);
    FJobType->setFont(bold);

    const auto sentBox = [this](QGroupBox*& ABox, QToolButton*& AEdit, QMenu* AMenu,
                                hostapi::QVDBGrid* AGrid) {
        ABox = new QGroupBox(this);
        AEdit = new QToolButton(ABox);
        AEdit->setPopupMode(QToolButton::InstantPopup);
        AEdit->setMenu(AMenu);
        auto* layout = new QVBoxLayout(ABox);
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(AEdit);
        buttons->addStretch();
        layout->addLayout(buttons);
        layout->addWidget(AGrid);
    };
    sentBox(FSuccessBox, FSuccessEdit, FSuccessMenu, FSuccessGrid);
    sentBox(FFailedBox, FFailedEdit, FFailedMenu, FFailedGrid);
    FSuccessEdit->setObjectName(QStringLiteral("btnEditSuccessHistroy"));
    FFailedEdit->setObjectName(QStringLiteral("btnEditFailedHistroy"));
    FJobBox = new QGroupBox(this);
    auto* jobLayout = new QVBoxLayout(FJobBox);
    jobLayout->addWidget(FJobGrid);

    auto* lists = new QWidget(this);
    auto* listLayout = new QVBoxLayout(lists);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(FJobType);
    auto* sentSplitter = new QSplitter(Qt::Horizontal, lists);
    sentSplitter->addWidget(FSuccessBox);
    sentSplitter->addWidget(FFailedBox);
    listLayout->addWidget(sentSplitter, 1);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("splHistory"));
    splitter->addWidget(FJobBox);
    splitter->addWidget(lists);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({300, 900});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    FPreviewSuccess = CreateAction("actPreviewSuccess", SuccessTag, &TMailingHistoryPage::FOnPreview);
    FPreviewFailed = CreateAction("actPreviewFailed", FailedTag, &TMailingHistoryPage::FOnPreview);
    FResendSuccess = CreateAction("actResendSuccess", SuccessTag, &TMailingHistoryPage::FOnResend);
    FResendFailed = CreateAction("actResendFailed", FailedTag, &TMailingHistoryPage::FOnResend);
    FSchedSuccess = CreateAction("actSchedSuccess", SuccessTag, &TMailingHistoryPage::FOnSchedule);
    FSchedFailed = CreateAction("actSchedFailed", FailedTag, &TMailingHistoryPage::FOnSchedule);

    RetranslateUi();
    UpdateActions();
}

hostapi::QVDBGrid* TMailingHistoryPage::CreateSentGrid(hostapi::TQVRecordSet& ARecordSet,
                                                       hostapi::QVRecordSetModel*& AModel, int ATag) {
    ARecordSet.SetOptions(ARecordSet.Options() | hostapi::rsoReadOnly);
    ARecordSet.AddRelatedField(AddressID);
    ARecordSet.AddRelatedField(AddressActive);
    ARecordSet.AddOrder(QStringLiteral("id"));
    // The sent state is fixed per list; the resend and preview actions read it from here.
    ARecordSet.Filters().Add(SentState, ATag == SuccessTag ? SuccessState : FailedState);
    ARecordSet.Filters().Add(JobID, qint64(-1));
    AModel = new hostapi::QVRecordSetModel(&ARecordSet, this);
    AModel->SetOnBeforeLoad(
        [this](hostapi::TQVRecordSet& ARecordSet) { ARecordSet.Filters().SetValue(JobID, CurrentJobID()); });
    hostapi::QVRecordSetModel* model = AModel;
    AModel->SetOnGetRowColor([this, model](int ARow) { return RowColor(*model, ARow); });
    auto* grid = new hostapi::QVDBGrid(this);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->SetMultiSelect(true);
    grid->SetRecordSetModel(AModel);
    grid->SetOnAction([this, ATag](int AAction, bool& AHandled) {
        // Read only: the edit action opens the address, nothing is deleted.
        if (AAction == hostapi::gaEdit)
            EditAddress(ATag);
        AHandled = AAction != hostapi::gaCopy;
    });
    connect(grid, &QAbstractItemView::doubleClicked, this,
            [this, ATag] { hostapi::TVRNExceptionUtils::Guarded([this, ATag] { EditAddress(ATag); }); });
    return grid;
}

QAction* TMailingHistoryPage::CreateAction(const char* AName, int ATag,
                                           TJobActionEvent TMailingHistoryPage::*AEvent) {
    auto* action = new QAction(this);
    action->setObjectName(QString::fromLatin1(AName));
    connect(action, &QAction::triggered, this, [this, ATag, AEvent] {
        hostapi::TVRNExceptionUtils::Guarded([this, ATag, AEvent] { RunJobAction(ATag, this->*AEvent); });
    });
    return action;
}

void TMailingHistoryPage::RunJobAction(int ATag, const TJobActionEvent& AEvent) {
    const TSentList list = List(ATag);
    if (!AEvent || CurrentJobID() < 1 || !list.RecordSet->Active())
        return;
    AEvent(CurrentJobID(), list.RecordSet->Filters().ByName(SentState)->Value.toLongLong());
}

TMailingHistoryPage::TSentList TMailingHistoryPage::List(int ATag) {
    if (ATag == SuccessTag)
        return {&FSentSuccess, FSuccessModel, FSuccessGrid, FSuccessMenu};
    return {&FSentFailed, FFailedModel, FFailedGrid, FFailedMenu};
}

void TMailingHistoryPage::SetTemplateID(qint64 ATemplateID, bool ARegisterServiceFilterEnabled) {
    FTemplateID = ATemplateID;
    FRegisterServiceFilterEnabled = ARegisterServiceFilterEnabled;
    FSuccessMenu->clear();
    FFailedMenu->clear();
    if (FHistoryActive)
        RefreshJobs();
    else
        UpdateActions();
}

void TMailingHistoryPage::SetHistoryActive(bool AValue) {
    FHistoryActive = AValue;
    if (FHistoryActive)
        RefreshJobs();
    else
        UpdateActions();
}

void TMailingHistoryPage::RefreshJobs() {
    if (FTemplateID < 1) {
        FJobs.Close();
        ResetModel(*FJobModel);
        FJobModel->SetCurrentRow(-1);
        JobChanged();
        return;
    }
    const qint64 current = CurrentJobID();
    FJobModel->Refresh();
    FJobGrid->resizeColumnsToContents();
    int row = 0;
    for (int i = 0; i < FJobs.RecordCount(); ++i)
        if (FJobs.FieldValueAt(i, QStringLiteral("id")).toLongLong() == current)
            row = i;
    SetCurrentJob(FJobs.RecordCount() > 0 ? row : -1);
    JobChanged();
}

void TMailingHistoryPage::SetCurrentJob(int ARow) {
    if (ARow >= 0)
        FJobGrid->setCurrentIndex(FJobModel->index(ARow, 0));
    else
        FJobModel->SetCurrentRow(-1);
}

qint64 TMailingHistoryPage::CurrentJobID() const {
    if (!FJobs.Active() || FJobModel->CurrentRow() < 0)
        return -1;
    return FJobModel->RecordID(FJobModel->CurrentRow());
}

void TMailingHistoryPage::JobChanged() {
    if (CurrentJobID() < 1) {
        CloseSentLists();
        FJobType->clear();
    } else {
        FSuccessModel->Refresh();
        FFailedModel->Refresh();
        FSuccessGrid->resizeColumnsToContents();
        FFailedGrid->resizeColumnsToContents();
        const int row = FJobModel->CurrentRow();
        FJobType->setText(TMailingHistoryRules::JobTypeDescr(
            FRulesLang, FJobModel->Value(row, QStringLiteral("parentjobid")).toLongLong(),
            FJobModel->Value(row, QStringLiteral("parentjobstate")).toInt()));
    }
    ShowCounts();
    UpdateActions();
}

void TMailingHistoryPage::CloseSentLists() {
    for (const int tag : {SuccessTag, FailedTag}) {
        const TSentList list = List(tag);
        list.RecordSet->Close();
        ResetModel(*list.Model);
    }
}

void TMailingHistoryPage::ShowCounts() {
    FJobBox->setTitle(FLang.Text(QStringLiteral("IDS_Jobs")).arg(FJobs.Active() ? FJobs.RecordCount() : 0));
    FSuccessBox->setTitle(FLang.Text(QStringLiteral("IDS_SuccessList"))
                              .arg(FSentSuccess.Active() ? FSentSuccess.RecordCount() : 0));
    FFailedBox->setTitle(FLang.Text(QStringLiteral("IDS_FailedList"))
                             .arg(FSentFailed.Active() ? FSentFailed.RecordCount() : 0));
}

void TMailingHistoryPage::UpdateActions() {
    const bool holdsJob = FOnJobViewHoldsJob && FOnJobViewHoldsJob();
    const auto apply = [&](const hostapi::TQVRecordSet& ARecordSet, QAction* APreview, QAction* ASched,
                           QAction* AResend) {
        const TMailingHistoryRules::TGridActions actions =
            TMailingHistoryRules::GridActions(FHistoryActive, ARecordSet.Active(),
                                              ARecordSet.Active() ? ARecordSet.RecordCount() : 0, holdsJob);
        APreview->setEnabled(actions.Preview);
        ASched->setEnabled(actions.Scheduled);
        AResend->setEnabled(actions.Resend);
    };
    apply(FSentFailed, FPreviewFailed, FSchedFailed, FResendFailed);
    apply(FSentSuccess, FPreviewSuccess, FSchedSuccess, FResendSuccess);
}

void TMailingHistoryPage::EditAddress(int ATag) {
    const TSentList list = List(ATag);
    const int row = list.Model->CurrentRow();
    if (row < 0)
        return;
    const qint64 id = list.Model->Value(row, AddressID).toLongLong();
    if (id < 1 || !FPelmaris.AddressExists(id))
        return;
    if (FPelmaris.EditAddress(id, this))
        list.Model->Refresh();
}

void TMailingHistoryPage::SetSubscription(int ATag, bool ASubscribed) {
    const TSentList list = List(ATag);
    QList<qint64> ids;
    for (const int row : list.Grid->SelectedRows())
        ids << list.Model->Value(row, AddressID).toLongLong();
    const auto refresh = [&] {
        const QList<int> rows = list.Grid->SelectedRows();
        list.Model->Refresh();
        for (const int row : rows)
            if (row < list.Model->rowCount())
                list.Grid->selectionModel()->select(list.Model->index(row, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    try {
        TMailingHistoryRules::SetSubscription(
            ids, ASubscribed, [this](qint64 AID, bool AOn) { FPelmaris.SetSubscriptionState(AID, AOn); });
    } catch (...) {
        refresh(); // the rows before the failure have their new state
        throw;
    }
    refresh();
}

QMenu* TMailingHistoryPage::EditMenu(int ATag) {
    BuildEditMenu(ATag);
    return List(ATag).Menu;
}

void TMailingHistoryPage::BuildEditMenu(int ATag) {
    QMenu* menu = List(ATag).Menu;
    if (!menu->isEmpty())
        return;
    const auto guarded = [this](std::function<void()> AHandler) {
        return [AHandler = std::move(AHandler)] { hostapi::TVRNExceptionUtils::Guarded(AHandler); };
    };
    QAction* edit = menu->addAction(FLang.Text(QStringLiteral("IDS_EditHistroyItem")));
    edit->setObjectName(QStringLiteral("mnuEditAddress"));
    connect(edit, &QAction::triggered, this, guarded([this, ATag] { EditAddress(ATag); }));
    if (!FRegisterServiceFilterEnabled)
        return;
    QMenu* sub = menu->addMenu(FLang.Text(QStringLiteral("IDS_HISUBCH")));
    sub->setObjectName(QStringLiteral("mnuSubscription"));
    QAction* on = sub->addAction(FLang.Text(QStringLiteral("IDS_SUBSCHI")));
    on->setObjectName(QStringLiteral("mnuSubscribe"));
    connect(on, &QAction::triggered, this, guarded([this, ATag] { SetSubscription(ATag, true); }));
    QAction* off = sub->addAction(FLang.Text(QStringLiteral("IDS_USUBSCHI")));
    off->setObjectName(QStringLiteral("mnuUnsubscribe"));
    connect(off, &QAction::triggered, this, guarded([this, ATag] { SetSubscription(ATag, false); }));
}

int TMailingHistoryPage::RowColor(const hostapi::QVRecordSetModel& AModel, int ARow) const {
    // Selected rows are drawn in the selection's colour by the grid.
    return TColorOf(TMailingHistoryRules::RowColor(FRegisterServiceFilterEnabled, false,
                                                   AModel.Value(ARow, AddressActive)));
}

void TMailingHistoryPage::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    FRulesLang.SetLanguage(ALangName);
    FSuccessMenu->clear();
    FFailedMenu->clear();
    RetranslateUi();
    if (CurrentJobID() > 0)
        JobChanged();
}

void TMailingHistoryPage::RetranslateUi() {
    const auto column = [this](const char* AField, const char* AID) {
        return hostapi::TQVGridColumn{QString::fromLatin1(AField), FLang.Text(QString::fromLatin1(AID)),
                                      true};
    };
    FJobModel->SetColumns({column("startdate", "IDS_ColStart"), column("enddate", "IDS_ColEnd"),
                           column("jobstate", "IDS_ColState")});
    QList<hostapi::TQVGridColumn> sent{column("email", "IDS_ColEmail"), column("name", "IDS_ColName"),
                                       column("sentdate", "IDS_ColSent")};
    FSuccessModel->SetColumns(sent);
    FFailedModel->SetColumns(sent << column("errormessage", "IDS_ColError"));
    FSuccessEdit->setText(FLang.Text(QStringLiteral("IDS_EditButton")));
    FFailedEdit->setText(FLang.Text(QStringLiteral("IDS_EditButton")));
    FPreviewSuccess->setText(FLang.Text(QStringLiteral("IDS_PreviewSuccess")));
    FPreviewFailed->setText(FLang.Text(QStringLiteral("IDS_PreviewFailed")));
    FResendSuccess->setText(FLang.Text(QStringLiteral("IDS_ResendSuccess")));
    FResendFailed->setText(FLang.Text(QStringLiteral("IDS_ResendFailed")));
    FSchedSuccess->setText(FLang.Text(QStringLiteral("IDS_SchedSuccess")));
    FSchedFailed->setText(FLang.Text(QStringLiteral("IDS_SchedFailed")));
    ShowCounts();
}

} // namespace emailmarketing
