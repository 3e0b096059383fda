#include "frmDBListViewSearch.h"

#include "ExceptionDisplay.h"
#include "QVDBGrid.h"
#include "QVException.h"
#include "QVFilterRowDelegate.h"
#include "QVFilterRowModel.h"
#include "QVRecordSet.h"
#include "QVRecordSetModel.h"
#include "QVSchemaFilterSave.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace hostapi {

TfrmDBListViewSearch::TfrmDBListViewSearch(QWidget* AParent)
    : QWidget(AParent), FLang(QStringLiteral("frmDBListViewSearch")) {
    setObjectName(QStringLiteral("frmDBListViewSearch"));
    FFilterModel = new QVFilterRowModel(this);
    CreateControls();
    // The records follow an edit once its editor has closed (a refresh inside the editor's commit
    // would take the focus from the editor while it is still open).
    connect(FFilterModel, &QVFilterRowModel::FiltersChanged, this, [this] {
        FRefreshPending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (FRefreshPending)
                    TVRNExceptionUtils::Guarded([this] { RefreshRecords(); });
            },
            Qt::QueuedConnection);
    });
    connect(FFilterModel, &QAbstractItemModel::modelReset, this, [this] { UpdateButtons(); });
    SetLanguage(TVRNLang::CurrentLanguage());
    RefreshRecords();
    UpdateButtons();
}

TfrmDBListViewSearch::~TfrmDBListViewSearch() {
    FGrdRecords->SetRecordSetModel(nullptr);
}

void TfrmDBListViewSearch::CreateControls() {
    FBtnAddCondition = new QPushButton(this);
    FBtnAddCondition->setObjectName(QStringLiteral("btnAddCondition"));
    FBtnAddParentheses = new QPushButton(this);
    FBtnAddParentheses->setObjectName(QStringLiteral("btnAddParentheses"));
    FBtnDeleteRow = new QPushButton(this);
    FBtnDeleteRow->setObjectName(QStringLiteral("btnDeleteRow"));
    auto guard = [this](void (TfrmDBListViewSearch::*AHandler)()) {
        return [this, AHandler] { TVRNExceptionUtils::Guarded([this, AHandler] { (this->*AHandler)(); }); };
    };
    connect(FBtnAddCondition, &QPushButton::clicked, this,
            guard(&TfrmDBListViewSearch::btnAddConditionClick));
    connect(FBtnAddParentheses, &QPushButton::clicked, this,
            guard(&TfrmDBListViewSearch::btnAddParenthesesClick));
    connect(FBtnDeleteRow, &QPushButton::clicked, this, guard(&TfrmDBListViewSearch::btnDeleteRowClick));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(FBtnAddCondition);
    buttons->addWidget(FBtnAddParentheses);
    buttons->addWidget(FBtnDeleteRow);
    buttons->addStretch();

    FLblFilters = new QLabel(this);
    FLblFilters->setObjectName(QStringLiteral("lblFilters"));
    FTvFilters = new QTableView(this);
    FTvFilters->setObjectName(QStringLiteral("tvFilters"));
    FTvFilters->setModel(FFilterModel);
    FTvFilters->setItemDelegate(new QVFilterRowDelegate(FTvFilters));
    FTvFilters->setSelectionBehavior(QAbstractItemView::SelectRows);
    FTvFilters->setSelectionMode(QAbstractItemView::ContiguousSelection);
    FTvFilters->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::SelectedClicked);
    FTvFilters->horizontalHeader()->setStretchLastSection(true);
    FTvFilters->setColumnWidth(QVFilterRowModel::colLink, 110);
    FTvFilters->setColumnWidth(QVFilterRowModel::colField, 200);
    FTvFilters->setColumnWidth(QVFilterRowModel::colFilterType, 200);
    FTvFilters->verticalHeader()->setVisible(false);
    FTvFilters->verticalHeader()->setDefaultSectionSize(FTvFilters->fontMetrics().height() + 8);
    FLblFilters->setBuddy(FTvFilters);
    connect(FTvFilters->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateButtons(); });

    auto* filterPane = new QWidget(this);
    auto* filterLayout = new QVBoxLayout(filterPane);
    filterLayout->setContentsMargins(0, 0, 0, 0);
    filterLayout->addLayout(buttons);
    filterLayout->addWidget(FLblFilters);
    filterLayout->addWidget(FTvFilters);

    FLblResult = new QLabel(this);
    FLblResult->setObjectName(QStringLiteral("lblResult"));
    FLblResult->setWordWrap(true);
    FGrdRecords = new QVDBGrid(this);
    FGrdRecords->setObjectName(QStringLiteral("grdRecords"));
    FGrdRecords->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* recordPane = new QWidget(this);
    auto* recordLayout = new QVBoxLayout(recordPane);
    recordLayout->setContentsMargins(0, 0, 0, 0);
    recordLayout->addWidget(FLblResult);
    recordLayout->addWidget(FGrdRecords);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("splFilters"));
    splitter->addWidget(filterPane);
    splitter->addWidget(recordPane);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    setTabOrder(FBtnAddCondition, FBtnAddParentheses);
    setTabOrder(FBtnAddParentheses, FBtnDeleteRow);
    setTabOrder(FBtnDeleteRow, FTvFilters);
    setTabOrder(FTvFilters, FGrdRecords);
}

void TfrmDBListViewSearch::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    FFilterModel->SetLanguage(ALangName);
    ApplyTexts();
}

void TfrmDBListViewSearch::ApplyTexts() {
    FBtnAddCondition->setText(FLang.Text(QStringLiteral("IDS_AddCondition")));
    FBtnAddParentheses->setText(FLang.Text(QStringLiteral("IDS_AddParentheses")));
    FBtnDeleteRow->setText(FLang.Text(QStringLiteral("IDS_DeleteRow")));
    FLblFilters->setText(FLang.Text(QStringLiteral("IDS_Filters")));
    FLblResult->setText(FResultArg.isNull() ? FLang.Text(FResultId) : FLang.Text(FResultId).arg(FResultArg));
}

void TfrmDBListViewSearch::SetSchemaName(const QString& ASchemaName) {
    FFilterModel->SetSchemaName(ASchemaName);
    RefreshRecords();
}

QString TfrmDBListViewSearch::SchemaName() const {
    return FFilterModel->Rows().SchemaName();
}

void TfrmDBListViewSearch::RequireSaverOfSchema(const TQVSchemaFilterSave& ASaver) const {
    if (ASaver.SchemaName().compare(SchemaName(), Qt::CaseInsensitive) != 0 || SchemaName().isEmpty())
        throw EQVException(
            QStringLiteral("The saved filters of \"%1\" do not belong to the filters of \"%2\"")
                .arg(ASaver.SchemaName(), SchemaName()));
}

void TfrmDBListViewSearch::LoadFilters(const TQVSchemaFilterSave& ASaver) {
    RequireSaverOfSchema(ASaver);
    FFilterModel->Load(ASaver.LoadFilters());
    RefreshRecords();
}

TQVFilterList TfrmDBListViewSearch::Filters() const {
    return FFilterModel->Rows().ToFilterList();
}

void TfrmDBListViewSearch::SaveFilters(const TQVSchemaFilterSave& ASaver) {
    RequireSaverOfSchema(ASaver);
    ASaver.SaveFilters(Filters());
    FFilterModel->SetChanged(false);
}

bool TfrmDBListViewSearch::Changed() const {
    return FFilterModel->Rows().Changed();
}

void TfrmDBListViewSearch::SetChanged(bool AValue) {
    FFilterModel->SetChanged(AValue);
}

QString TfrmDBListViewSearch::ResultText() const {
    return FLblResult->text();
}

void TfrmDBListViewSearch::RefreshRecords() {
    FRefreshPending = false;
    FGrdRecords->SetRecordSetModel(nullptr);
    FRecordModel.reset();
    FRecordSet.reset();
    FResultArg = QString();
    FResultId = QStringLiteral("IDS_NoSchema");
    if (!SchemaName().isEmpty()) {
        try {
            auto records = std::make_unique<TQVRecordSet>(SchemaName());
            records->SetOptions(rsoReadOnly);
            records->Filters() = Filters();
            auto model = std::make_unique<QVRecordSetModel>(records.get());
            model->Refresh();
            FRecordSet = std::move(records);
            FRecordModel = std::move(model);
            FGrdRecords->SetRecordSetModel(FRecordModel.get());
            FResultId = QStringLiteral("IDS_RecordCount");
            FResultArg = QString::number(FRecordSet->RecordCount());
        } catch (const EQVException& e) {
            // Shown where the records would be: the rows say what to mend.
            FResultId = QStringLiteral("IDS_NotApplied");
            FResultArg = e.Message();
        }
    }
    ApplyTexts();
}

void TfrmDBListViewSearch::UpdateButtons() {
    const bool attached = !SchemaName().isEmpty();
    const bool selected = !SelectedFilterRows().isEmpty();
    FBtnAddCondition->setEnabled(attached && !FFilterModel->Rows().Fields().isEmpty());
    FBtnAddParentheses->setEnabled(attached && selected);
    FBtnDeleteRow->setEnabled(attached && selected);
}

QList<int> TfrmDBListViewSearch::SelectedFilterRows() const {
    QList<int> rows;
    for (const QModelIndex& index : FTvFilters->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TfrmDBListViewSearch::btnAddConditionClick() {
    const auto& fields = FFilterModel->Rows().Fields();
    if (fields.isEmpty())
        return;
    const int row = FFilterModel->AddCondition(fields.first().first, ftEqual, QString());
    FTvFilters->setCurrentIndex(FFilterModel->index(row, QVFilterRowModel::colField));
    RefreshRecords();
}

void TfrmDBListViewSearch::btnAddParenthesesClick() {
    const QList<int> rows = SelectedFilterRows();
    if (rows.isEmpty())
        return;
    FFilterModel->AddParentheses(rows.first(), rows.last());
    RefreshRecords();
}

void TfrmDBListViewSearch::btnDeleteRowClick() {
    const QList<int> rows = SelectedFilterRows();
    if (rows.isEmpty())
        return;
    FFilterModel->RemoveRows(rows);
    RefreshRecords();
}

} // namespace hostapi
