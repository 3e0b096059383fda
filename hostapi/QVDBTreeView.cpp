#include "QVDBTreeView.h"

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "QVDBGrid.h"
#include "QVDBTreeAddDialog.h"
#include "QVDBTreeDelegate.h"
#include "QVException.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace hostapi {

namespace {

const char* const kButtonNames[] = {"btnAdd", "btnDelete", "btnEdit", "btnCopy"};
const char* const kButtonTexts[] = {"IDS_Add", "IDS_Delete", "IDS_Edit", "IDS_Copy"};

// Tells whether a cell editor is open.
class TreeWidget : public QTreeView {
public:
    using QTreeView::QTreeView;
    bool Editing() const { return state() == QAbstractItemView::EditingState; }
};

} // namespace

QVDBTreeView::QVDBTreeView(QWidget* AParent) : QWidget(AParent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    FButtonBar = new QHBoxLayout;
    FButtonBar->setSpacing(2);
    for (int b = tbAdd; b <= tbCopy; ++b) {
        auto* button = new QToolButton(this);
        button->setObjectName(QLatin1String(kButtonNames[b]));
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        FButtonBar->addWidget(button);
        FButtons << button;
    }
    FButtonBar->addStretch(1);
    layout->addLayout(FButtonBar);
    connect(FButtons[tbAdd], &QToolButton::clicked, this, &QVDBTreeView::DoAdd);
    connect(FButtons[tbDelete], &QToolButton::clicked, this, [this] { DoAction(gaDelete); });
    connect(FButtons[tbEdit], &QToolButton::clicked, this, [this] { DoAction(gaEdit); });
    connect(FButtons[tbCopy], &QToolButton::clicked, this, [this] { DoAction(gaCopy); });

    FTree = new TreeWidget(this);
    FTree->setObjectName(QStringLiteral("Tree"));
    FTree->setSelectionBehavior(QAbstractItemView::SelectRows);
    FTree->setSelectionMode(QAbstractItemView::SingleSelection);
    FTree->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    FTree->setItemDelegate(new QVDBTreeDelegate(FTree));
    FTree->setUniformRowHeights(true);
    FTree->setAllColumnsShowFocus(true);
    FTree->header()->setStretchLastSection(true);
    FTree->installEventFilter(this);
    layout->addWidget(FTree, 1);
    setFocusProxy(FTree);
    RetranslateUi();
    UpdateButtons();
}

void QVDBTreeView::RetranslateUi() {
    for (int b = tbAdd; b <= tbCopy; ++b)
        FButtons[b]->setText(FLang.Text(QLatin1String(kButtonTexts[b])));
}

void QVDBTreeView::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    RetranslateUi();
}

void QVDBTreeView::SetButtonHint(TQVTreeButton AButton, const QString& AHint) {
    FButtons.at(AButton)->setToolTip(AHint);
}

QToolButton* QVDBTreeView::AddUserButton(const QString& ACaption, QMenu* AMenu) {
    if (!AMenu)
        throw EQVException(QStringLiteral("The button %1 needs a menu").arg(ACaption));
    auto* button = new QToolButton(this);
    button->setObjectName(QStringLiteral("btnUser%1").arg(FButtons.size() - tbCopy));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setArrowType(Qt::DownArrow);
    button->setText(ACaption);
    FButtonBar->insertWidget(FButtons.size(), button);
    FButtons << button;
    // Not QToolButton's own menu: that one runs the menu in a nested event loop.
    connect(button, &QToolButton::clicked, this,
            [button, AMenu] { AMenu->popup(button->mapToGlobal(QPoint(0, button->height()))); });
    return button;
}

void QVDBTreeView::SetTreeModel(QVDBTreeModel* AModel) {
    if (FModel)
        disconnect(FModel, nullptr, this, nullptr);
    FModel = AModel;
    FTree->setModel(AModel);
    FFocused = {};
    if (AModel) {
        connect(FTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex& current, const QModelIndex&) { CurrentChanged(current); });
        connect(AModel, &QAbstractItemModel::modelAboutToBeReset, this, &QVDBTreeView::SaveState);
        connect(AModel, &QAbstractItemModel::modelReset, this, &QVDBTreeView::RestoreState);
    }
    UpdateButtons();
}

void QVDBTreeView::CurrentChanged(const QModelIndex& ACurrent) {
    if (FRestoring || !FModel)
        return;
    try {
        const TQVTreeNode node = FModel->NodeOf(ACurrent);
        if (node != FFocused && !FFocusedGone && FOnBeforeRecordChanged)
            FOnBeforeRecordChanged();
        if (node.Kind != tnkNone)
            FModel->MakeCurrent(node);
        if (node == FFocused)
            return;
        FFocused = node;
        UpdateButtons();
        if (FOnRecordChanged)
            FOnRecordChanged();
    } catch (const std::exception& e) {
        TVRNExceptionUtils::Show(e);
    }
}

void QVDBTreeView::UpdateButtons() {
    const bool focused = FFocused.Kind != tnkNone;
    FButtons[tbAdd]->setEnabled(FModel != nullptr);
    for (int b : {tbDelete, tbEdit, tbCopy})
        FButtons[b]->setEnabled(focused);
}

void QVDBTreeView::SaveState() {
    FSavedFocus = FFocused;
    FSavedExpanded.clear();
    if (!FModel)
        return;
    QList<QModelIndex> pending{QModelIndex()};
    while (!pending.isEmpty()) {
        const QModelIndex parent = pending.takeLast();
        for (int r = 0; r < FModel->rowCount(parent); ++r) {
            const QModelIndex child = FModel->index(r, 0, parent);
            if (FTree->isExpanded(child)) {
                FSavedExpanded << FModel->NodeOf(child).ID;
                pending << child;
            }
        }
    }
}

void QVDBTreeView::RestoreState() {
    FRestoring = true;
    for (qint64 id : FSavedExpanded) {
        const QModelIndex index = FModel->IndexOf({tnkFolder, id});
        if (index.isValid())
            FTree->expand(index);
    }
    const QModelIndex focus = FModel->IndexOf(FSavedFocus);
    if (focus.isValid()) {
        for (QModelIndex up = focus.parent(); up.isValid(); up = up.parent())
            FTree->expand(up);
        FTree->setCurrentIndex(focus);
    }
    FRestoring = false;
    // The focused row is gone: nothing is focused now.
    FFocusedGone = !focus.isValid();
    CurrentChanged(FTree->currentIndex());
    FFocusedGone = false;
}

bool QVDBTreeView::FocusNode(const TQVTreeNode& ANode) {
    if (!FModel)
        return false;
    const QModelIndex index = FModel->IndexOf(ANode);
    if (!index.isValid())
        return false;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        FTree->expand(up);
    FTree->setCurrentIndex(index);
    FTree->scrollTo(index);
    return true;
}

void QVDBTreeView::Refresh() {
    if (FModel)
        FModel->Refresh();
}

void QVDBTreeView::DoAction(int AAction) {
    try {
        const TQVTreeNode node = FFocused;
        if (!FModel || node.Kind == tnkNone)
            return;
        bool handled = false;
        if (node.Kind == tnkContent && FOnContentAction)
            FOnContentAction(AAction, node.ID, handled);
        if (!handled)
            DefaultAction(AAction, node);
    } catch (const std::exception& e) {
        TVRNExceptionUtils::Show(e);
    }
}

void QVDBTreeView::DefaultAction(int AAction, const TQVTreeNode& ANode) {
    switch (AAction) {
    case gaDelete:
        DeleteNode(ANode);
        return;
    case gaEdit:
        FTree->edit(FTree->currentIndex());
        break;
    case gaCopy:
        QApplication::clipboard()->setText(FModel->RowTexts(ANode).join(QLatin1Char('\t')));
        break;
    default:
        return;
    }
    if (ANode.Kind == tnkContent && FOnContentAfterAction)
        FOnContentAfterAction(AAction, ANode.ID);
}

void QVDBTreeView::DeleteNode(const TQVTreeNode& ANode) {
    const QString name = FModel->IndexOf(ANode, 0).data().toString();
    if (ANode.Kind == tnkFolder && FModel->FolderItemCount(ANode.ID) > 0) {
        MessageDlg(FLang.Text(QStringLiteral("IDS_FolderNotEmpty")).arg(name), mtError, mbOK);
        return;
    }
    if (FOnCanDelete && !FOnCanDelete(ANode))
        return;
    const QString question = FLang
                                 .Text(ANode.Kind == tnkFolder ? QStringLiteral("IDS_DeleteFolder")
                                                               : QStringLiteral("IDS_DeleteContent"))
                                 .arg(name);
    if (MessageDlg(question, mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    // The tree moves the focus to a neighbour once the row is gone.
    FFocusedGone = true;
    try {
        FModel->DeleteNode(ANode);
    } catch (...) {
        FFocusedGone = false;
        throw;
    }
    FFocusedGone = false;
    if (ANode.Kind == tnkContent && FOnContentAfterAction)
        FOnContentAfterAction(gaDelete, ANode.ID);
}

void QVDBTreeView::DoAdd() {
    try {
        RunAdd(true);
    } catch (const std::exception& e) {
        TVRNExceptionUtils::Show(e);
    }
}

void QVDBTreeView::AddContent() {
    try {
        RunAdd(false);
    } catch (const std::exception& e) {
        TVRNExceptionUtils::Show(e);
    }
}

void QVDBTreeView::RunAdd(bool AOfferFolder) {
    if (!FModel)
        return;
    const bool offerContent = FModel->ContentRecordSet() != nullptr;
    if (!offerContent && !AOfferFolder)
        throw EQVException(QStringLiteral("The tree has no content schema to add to"));
    QVDBTreeAddDialog dialog(FLang, AOfferFolder, offerContent, FMenuCaption, this);
    if (ExecModal(dialog) != QDialog::Accepted || dialog.Name().isEmpty())
        return;
    const qint64 folder = FFocused.Kind == tnkNone ? -1 : FModel->FolderOfNode(FFocused);
    // A flat tree's rows do not nest.
    const qint64 parent = FModel->ParentField().isEmpty() ? -1 : folder;
    const TQVTreeNode added = dialog.Kind() == tnkFolder ? FModel->AddFolder(dialog.Name(), parent)
                                                         : FModel->AddContent(dialog.Name(), folder);
    FocusNode(added);
}

bool QVDBTreeView::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AWatched == FTree && AEvent->type() == QEvent::KeyPress &&
        !static_cast<TreeWidget*>(FTree)->Editing()) {
        auto* key = static_cast<QKeyEvent*>(AEvent);
        int action = -1;
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier)
            action = gaDelete;
        else if (key->key() == Qt::Key_F2 && key->modifiers() == Qt::NoModifier)
            action = gaEdit;
        else if (key->matches(QKeySequence::Copy))
            action = gaCopy;
        if (action >= 0) {
            DoAction(action);
            return true;
        }
    }
    return QWidget::eventFilter(AWatched, AEvent);
}

} // namespace hostapi
