#pragma once

#include "HostApiExport.h"
#include "QVFilter.h"
#include "VRNLang.h"

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;
class QTableView;

namespace hostapi {

class QVDBGrid;
class QVFilterRowModel;
class QVRecordSetModel;
class TQVRecordSet;
class TQVSchemaFilterSave;

// The list-view search frame: edits the filter rows of one schema (conditions by field caption,
// filter type, link and value, and parentheses) and shows the records they select below them,
// refreshed after every edit (queued, once the edit has ended); when the rows cannot be applied it says why
// instead. The frame keeps a change mark that every edit sets; loading, saving and choosing the schema clear
// it. Its filters are loaded from and saved into the set a TQVSchemaFilterSave names.
class HOSTAPI_EXPORT TfrmDBListViewSearch : public QWidget {
    Q_OBJECT
public:
    explicit TfrmDBListViewSearch(QWidget* AParent = nullptr);
    ~TfrmDBListViewSearch() override;

    void SetLanguage(const QString& ALangName);

    // The schema whose records are filtered; empty detaches the frame (no rows, no records). The rows
    // are emptied and the change mark cleared.
    void SetSchemaName(const QString& ASchemaName);
    QString SchemaName() const;

    // Shows the saved set of the saver (for the frame's schema) as rows; the change mark is cleared.
    void LoadFilters(const TQVSchemaFilterSave& ASaver);
    // Checks the rows and replaces the saved set by them, then clears the change mark. A row the
    // schema cannot take (a field it no longer has, an open parenthesis, a value that does not fit)
    // raises EQVUserMessageException naming it, and nothing is written.
    void SaveFilters(const TQVSchemaFilterSave& ASaver);
    // The checked rows as a filter list (raises as SaveFilters does).
    TQVFilterList Filters() const;

    bool Changed() const;
    void SetChanged(bool AValue);

    QVFilterRowModel& FilterModel() const { return *FFilterModel; }
    // The records the rows select; nullptr while none are shown.
    QVRecordSetModel* RecordModel() const { return FRecordModel.get(); }
    // The line between filters and records: the number of records, or why none are shown.
    QString ResultText() const;

    void btnAddConditionClick();
    void btnAddParenthesesClick();
    void btnDeleteRowClick();

private:
    void CreateControls();
    void RequireSaverOfSchema(const TQVSchemaFilterSave& ASaver) const;
    void ApplyTexts();
    void RefreshRecords();
    void UpdateButtons();
    QList<int> SelectedFilterRows() const;

    TVRNLang FLang;
    QVFilterRowModel* FFilterModel = nullptr;
    std::unique_ptr<TQVRecordSet> FRecordSet;
    std::unique_ptr<QVRecordSetModel> FRecordModel;
    QString FResultId = QStringLiteral("IDS_NoSchema"); // id of the result text, with its argument
    QString FResultArg;
    bool FRefreshPending = false;

    QPushButton* FBtnAddCondition = nullptr;
    QPushButton* FBtnAddParentheses = nullptr;
    QPushButton* FBtnDeleteRow = nullptr;
    QLabel* FLblFilters = nullptr;
    QTableView* FTvFilters = nullptr;
    QLabel* FLblResult = nullptr;
    QVDBGrid* FGrdRecords = nullptr;
};

} // namespace hostapi
