#pragma once

#include "HostApiExport.h"

#include <QList>
#include <QTableView>

#include <functional>

namespace hostapi {

class QVRecordSetModel;

// The host's grid actions raised to the owner.
enum TQVGridAction : int { gaDelete = 4, gaEdit = 5, gaCopy = 6 };

// Grid over a record-set model: whole rows are selected, optionally several; the current row is
// the model's current record. The actions delete (Delete key), edit (F2) and copy (Ctrl+C) are first
// offered to the owner, who sets AHandled to suppress the default: delete removes the selected rows
// after a confirmation, edit opens the current cell's editor, copy puts the selected rows on the
// clipboard as tab-separated text.
class HOSTAPI_EXPORT QVDBGrid : public QTableView {
    Q_OBJECT
public:
    using TActionEvent = std::function<void(int AAction, bool& AHandled)>;

    explicit QVDBGrid(QWidget* AParent = nullptr);

    void SetRecordSetModel(QVRecordSetModel* AModel);
    QVRecordSetModel* RecordSetModel() const { return FModel; }

    bool MultiSelect() const { return selectionMode() == QAbstractItemView::ExtendedSelection; }
    void SetMultiSelect(bool AValue);

    // Selected rows in ascending order (the current row when none is selected), and their record ids.
    QList<int> SelectedRows() const;
    QList<qint64> SelectedIDs() const;

    void SetOnAction(TActionEvent AEvent) { FOnAction = std::move(AEvent); }
    // Offers the action to the owner, then runs the default unless handled. Errors are shown.
    void DoAction(int AAction);

    // The selected rows as tab-separated display texts, one line each, captions first.
    QString SelectedRowsText() const;

protected:
    void keyPressEvent(QKeyEvent* AEvent) override;

private:
    void DefaultAction(int AAction);

    QVRecordSetModel* FModel = nullptr;
    TActionEvent FOnAction;
};

} // namespace hostapi
