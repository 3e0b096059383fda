#pragma once

#include "HostApiExport.h"
#include "QVDBTreeModel.h"
#include "VRNLang.h"

#include <QList>
#include <QSet>
#include <QWidget>

#include <functional>

class QMenu;
class QToolButton;
class QTreeView;
class QHBoxLayout;

namespace hostapi {

enum TQVTreeButton : int { tbAdd = 0, tbDelete = 1, tbEdit = 2, tbCopy = 3 };

// The host's database tree: a button bar (add, delete, edit, copy, then the owner's buttons that
// drop down a menu) over a tree of a QVDBTreeModel. The focused row is the model's current record;
// a refresh of the model keeps the focus and the opened folders.
//
// The actions delete (Delete key), edit (F2) and copy (Ctrl+C) on a content row are first offered
// to the owner (OnContentAction), who sets AHandled to suppress the default; after a default that
// ran, OnContentAfterAction is raised. Defaults: delete refuses a folder that still holds rows, asks
// OnCanDelete, confirms and deletes; edit opens the focused cell's editor; copy puts the row on the
// clipboard as tab-separated text. Add asks, through the add dialog, for a folder (inside the
// focused folder) or a content row (in the focused folder, with the content variables) and focuses
// the new row.
class HOSTAPI_EXPORT QVDBTreeView : public QWidget {
    Q_OBJECT
public:
    using TContentActionEvent = std::function<void(int AAction, qint64 AID, bool& AHandled)>;
    using TContentAfterActionEvent = std::function<void(int AAction, qint64 AID)>;
    using TCanDeleteEvent = std::function<bool(const TQVTreeNode& ANode)>;
    using TRecordChangedEvent = std::function<void()>;
    using TBeforeRecordChangedEvent = std::function<void()>;

    explicit QVDBTreeView(QWidget* AParent = nullptr);

    void SetTreeModel(QVDBTreeModel* AModel);
    QVDBTreeModel* TreeModel() const { return FModel; }
    QTreeView* Tree() const { return FTree; }

    // The content kind's name in the add dialog ("E-Mail Vorlage").
    QString MenuCaption() const { return FMenuCaption; }
    void SetMenuCaption(const QString& AValue) { FMenuCaption = AValue; }
    void SetButtonHint(TQVTreeButton AButton, const QString& AHint);
    // A button after the standard ones that drops down AMenu (the caller's) below itself.
    QToolButton* AddUserButton(const QString& ACaption, QMenu* AMenu);

    void SetLanguage(const QString& ALangName);

    TQVTreeNode FocusedNode() const { return FFocused; }
    // The id of the focused content row; -1 when a folder or nothing is focused.
    qint64 ActiveContentID() const { return FFocused.Kind == tnkContent ? FFocused.ID : -1; }
    // Focuses the row with that id, opening its folders; false when the tree does not hold it.
    bool FocusNode(const TQVTreeNode& ANode);
    // Refreshes the model's record sets; the focus and the opened folders stay.
    void Refresh();

    void DoAction(int AAction);
    // The add button: asks for a folder or a content row. AddContent asks for a content row only.
    void DoAdd();
    void AddContent();

    void SetOnContentAction(TContentActionEvent AEvent) { FOnContentAction = std::move(AEvent); }
    void SetOnContentAfterAction(TContentAfterActionEvent AEvent) {
        FOnContentAfterAction = std::move(AEvent);
    }
    void SetOnCanDelete(TCanDeleteEvent AEvent) { FOnCanDelete = std::move(AEvent); }
    // The focused row changed (FocusedNode).
    void SetOnRecordChanged(TRecordChangedEvent AEvent) { FOnRecordChanged = std::move(AEvent); }
    // The focus is about to move to another row: FocusedNode and the record sets' current rows are
    // still the old ones (the owner saves what it edits of that row). Not raised when the focused
    // row was deleted.
    void SetOnBeforeRecordChanged(TBeforeRecordChangedEvent AEvent) {
        FOnBeforeRecordChanged = std::move(AEvent);
    }

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
    void RetranslateUi();
    void CurrentChanged(const QModelIndex& ACurrent);
    void UpdateButtons();
    void SaveState();
    void RestoreState();
    void DefaultAction(int AAction, const TQVTreeNode& ANode);
    void DeleteNode(const TQVTreeNode& ANode);
    void RunAdd(bool AOfferFolder);

    TVRNLang FLang{QStringLiteral("QVDBTreeView")};
    QVDBTreeModel* FModel = nullptr;
    QTreeView* FTree = nullptr;
    QHBoxLayout* FButtonBar = nullptr;
    QList<QToolButton*> FButtons; // by TQVTreeButton
    QString FMenuCaption;
    TQVTreeNode FFocused;
    TQVTreeNode FSavedFocus;
    QList<qint64> FSavedExpanded;
    bool FRestoring = false;
    bool FFocusedGone = false; // the focused row was deleted: no before-change event for it

    TContentActionEvent FOnContentAction;
    TContentAfterActionEvent FOnContentAfterAction;
    TCanDeleteEvent FOnCanDelete;
    TRecordChangedEvent FOnRecordChanged;
    TBeforeRecordChangedEvent FOnBeforeRecordChanged;
};

} // namespace hostapi
