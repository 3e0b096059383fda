#pragma once

// Drives the list-view search frame as a user does: conditions added with its button and set through
// the cell editors (combo boxes chosen by their text, values typed), rows selected, parentheses set.

#include "QVFilterRowModel.h"
#include "frmDBListViewSearch.h"
#include "support/WindowTestHelpers.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

namespace testsupport {

// Shows the frame as a user sees it.
inline void ShowFrame(hostapi::TfrmDBListViewSearch& AFrame) {
    AFrame.resize(800, 500);
    AFrame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&AFrame));
}

// The editor commits its value queued after Enter, and the records follow the commit queued.
inline void CommitEdit() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
}

// Opens the cell's editor in the filter view, as a double click does.
inline QWidget* OpenEditor(hostapi::TfrmDBListViewSearch& AFrame, int ARow, int AColumn) {
    auto* view = Find<QTableView>(AFrame, "tvFilters");
    const QModelIndex index = view->model()->index(ARow, AColumn);
    view->setCurrentIndex(index);
    view->edit(index);
    return view->indexWidget(index);
}

// Chooses the item with this text in the cell's combo box and commits it with Enter.
inline void Choose(hostapi::TfrmDBListViewSearch& AFrame, int ARow, int AColumn, const QString& AText) {
    auto* combo = qobject_cast<QComboBox*>(OpenEditor(AFrame, ARow, AColumn));
    QVERIFY2(combo, "no combo box editor");
    const int item = combo->findText(AText);
    QVERIFY2(item >= 0, qPrintable(AText));
    combo->setCurrentIndex(item);
    QTest::keyClick(combo, Qt::Key_Return);
    CommitEdit();
}

// Types the value into the cell's line edit, one character after the other, and commits it with Enter.
inline void Type(hostapi::TfrmDBListViewSearch& AFrame, int ARow, const QString& AText) {
    auto* edit = qobject_cast<QLineEdit*>(OpenEditor(AFrame, ARow, hostapi::QVFilterRowModel::colValue));
    QVERIFY2(edit, "no line edit editor");
    edit->selectAll();
    for (const QChar c : AText)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    QTest::keyClick(edit, Qt::Key_Return);
    CommitEdit();
}

// Adds a condition with the button and sets it through the cell editors (no link: the row's link
// takes no part).
inline void AddCondition(hostapi::TfrmDBListViewSearch& AFrame, const QString& ALink, const QString& AField,
                         const QString& AType, const QString& AValue) {
    Click(AFrame, "btnAddCondition");
    const int row = AFrame.FilterModel().rowCount() - 1;
    if (!ALink.isEmpty())
        Choose(AFrame, row, hostapi::QVFilterRowModel::colLink, ALink);
    Choose(AFrame, row, hostapi::QVFilterRowModel::colField, AField);
    Choose(AFrame, row, hostapi::QVFilterRowModel::colFilterType, AType);
    Type(AFrame, row, AValue);
}

inline void SelectFilterRows(hostapi::TfrmDBListViewSearch& AFrame, int AFirst, int ALast) {
    auto* view = Find<QTableView>(AFrame, "tvFilters");
    view->clearSelection();
    view->selectionModel()->select(
        QItemSelection(view->model()->index(AFirst, 0), view->model()->index(ALast, 0)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// Encloses the rows in parentheses with the frame's button.
inline void Parenthesize(hostapi::TfrmDBListViewSearch& AFrame, int AFirst, int ALast) {
    SelectFilterRows(AFrame, AFirst, ALast);
    Click(AFrame, "btnAddParentheses");
}

} // namespace testsupport
