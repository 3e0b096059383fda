#include "QVDBGrid.h"

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "QVPickListDelegate.h"
#include "QVRecordSetModel.h"
#include "VRNLang.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>

#include <algorithm>

namespace hostapi {

namespace {

QString Text(const QString& id) {
    static TVRNLang lang(QStringLiteral("QVDBGrid"));
    return lang.TextIn(id, TVRNLang::CurrentLanguage());
}

} // namespace

QVDBGrid::QVDBGrid(QWidget* AParent) : QTableView(AParent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    setItemDelegate(new QVPickListDelegate(this));
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(true);
}

void QVDBGrid::SetRecordSetModel(QVRecordSetModel* AModel) {
    FModel = AModel;
    setModel(AModel);
    if (!AModel)
        return;
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                try {
                    if (FModel)
                        FModel->SetCurrentRow(current.isValid() ? current.row() : -1);
                } catch (const std::exception& e) {
                    TVRNExceptionUtils::Show(e);
                }
            });
}

void QVDBGrid::SetMultiSelect(bool AValue) {
    setSelectionMode(AValue ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

QList<int> QVDBGrid::SelectedRows() const {
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows << index.row();
    if (rows.isEmpty() && currentIndex().isValid())
        rows << currentIndex().row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QList<qint64> QVDBGrid::SelectedIDs() const {
    QList<qint64> ids;
    for (int row : SelectedRows())
        ids << FModel->RecordID(row);
    return ids;
}

QString QVDBGrid::SelectedRowsText() const {
    if (!FModel)
        return {};
    QStringList lines;
    QStringList captions;
    for (int c = 0; c < FModel->columnCount(); ++c)
        if (!isColumnHidden(c))
            captions << FModel->headerData(c, Qt::Horizontal).toString();
    lines << captions.join(QLatin1Char('\t'));
    for (int row : SelectedRows()) {
        QStringList cells;
        for (int c = 0; c < FModel->columnCount(); ++c)
            if (!isColumnHidden(c))
                cells << FModel->index(row, c)
                             .data()
                             .toString()
                             .replace(QLatin1Char('\t'), QLatin1Char(' '))
                             .replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}

void QVDBGrid::DoAction(int AAction) {
    try {
        bool handled = false;
        if (FOnAction)
            FOnAction(AAction, handled);
        if (!handled)
            DefaultAction(AAction);
    } catch (const std::exception& e) {
        TVRNExceptionUtils::Show(e);
    }
}

void QVDBGrid::DefaultAction(int AAction) {
    if (!FModel)
        return;
    switch (AAction) {
    case gaDelete: {
        const QList<int> rows = SelectedRows();
        if (rows.isEmpty())
            return;
        if (MessageDlg(Text(QStringLiteral("IDS_DeleteRecords")).arg(rows.size()), mtConfirmation,
                       mbYes | mbNo, 0) != mrYes)
            return;
        FModel->DeleteRows(rows);
        break;
    }
    case gaEdit:
        if (currentIndex().isValid())
            edit(currentIndex());
        break;
    case gaCopy:
        QApplication::clipboard()->setText(SelectedRowsText());
        break;
    default:
        break;
    }
}

void QVDBGrid::keyPressEvent(QKeyEvent* AEvent) {
    if (state() != QAbstractItemView::EditingState) {
        if (AEvent->key() == Qt::Key_Delete && AEvent->modifiers() == Qt::NoModifier) {
            DoAction(gaDelete);
            return;
        }
        if (AEvent->key() == Qt::Key_F2 && AEvent->modifiers() == Qt::NoModifier) {
            DoAction(gaEdit);
            return;
        }
        if (AEvent->matches(QKeySequence::Copy)) {
            DoAction(gaCopy);
            return;
        }
    }
    QTableView::keyPressEvent(AEvent);
}

} // namespace hostapi
