#pragma once

#include "HostApiExport.h"
#include "QVRecordSet.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace hostapi {

enum TQVTreeNodeKind : int { tnkNone = -1, tnkFolder = 0, tnkContent = 1 };

// One node of a database tree: a row of the folder record set or of the content record set.
struct HOSTAPI_EXPORT TQVTreeNode {
    TQVTreeNodeKind Kind = tnkNone;
    qint64 ID = -1;
    bool operator==(const TQVTreeNode&) const = default;
};

// One column of a database tree: the field a folder row shows in it and the field a content row
// shows in it (either may be empty: that kind of row shows nothing there).
struct HOSTAPI_EXPORT TQVDBTreeColumn {
    QString FolderField;
    QString ContentField;
    QString Caption;       // empty: the content field's caption, else the folder field's
    bool ReadOnly = false; // the id and related fields are always read-only
};

// Tree model over a folder record set, whose rows nest by a parent field, and an optional content
// record set, whose rows hang in the folder their folder field names. Without a parent field every
// folder row is a top-level row (a flat list). Under each folder the subfolders come first, then
// the contents, each in the order of their record set; rows whose parent or folder is not loaded,
// and folders whose parents form a cycle, are top-level rows.
//
// Cells show plain text (pick-list texts for coded fields); edits are posted at once. The raw
// value, the node's id and kind and its image index are answered by the roles below.
class HOSTAPI_EXPORT QVDBTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int RawValueRole = Qt::UserRole;
    static constexpr int RecordIDRole = Qt::UserRole + 1;
    static constexpr int NodeKindRole = Qt::UserRole + 2;
    static constexpr int ImageIndexRole = Qt::UserRole + 3;
    static constexpr int SelectedImageIndexRole = Qt::UserRole + 4;
    // The icon of a selected cell (Qt::DecorationRole answers the normal one).
    static constexpr int SelectedDecorationRole = Qt::UserRole + 5;

    // Background of a cell as TColor; clNone keeps the view's colour.
    using TGetCellColorEvent = std::function<int(const TQVTreeNode& ANode, int AColumn)>;
    // Image of a cell: ADefault is the kind's image for column 0 and -1 elsewhere; the answer
    // replaces it (-1: no image).
    using TGetImageIndexEvent =
        std::function<int(const TQVTreeNode& ANode, int AColumn, bool ASelected, int ADefault)>;
    // A field of a content row was changed through the model (already posted).
    using TContentFieldChangedEvent =
        std::function<void(qint64 AID, const QString& AFieldName, const QVariant& AValue)>;
    // Images are drawn by index from this list; without it column 0 shows the style's folder
    // and file icons.
    using TImageListEvent = std::function<QIcon(int AImageIndex)>;

    // The folder record set is the caller's and outlives the model. AParentField empty: flat.
    QVDBTreeModel(TQVRecordSet* AFolders, const QString& AParentField, QObject* AParent = nullptr);
    ~QVDBTreeModel() override;

    TQVRecordSet* FolderRecordSet() const { return FFolders; }
    QString ParentField() const { return FParentField; }

    // Contents from a record set of its own on the schema; AFolderField holds the folder's id.
    void SetContentSchema(const QString& ASchemaName, const QString& AFolderField);
    TQVRecordSet* ContentRecordSet() const { return FContents.get(); }
    QString FolderField() const { return FFolderField; }

    // Content variables: schema variables of the content record set whose values every new
    // content row gets in the field of the same name.
    void SetContentVariable(const QString& AFieldName, const QVariant& AValue);
    QVariant ContentVariable(const QString& AFieldName) const;

    // Columns; unknown fields throw.
    void SetColumns(const QList<TQVDBTreeColumn>& AColumns);
    const QList<TQVDBTreeColumn>& Columns() const { return FColumns; }
    QString FieldOf(TQVTreeNodeKind AKind, int AColumn) const;
    QList<QPair<QString, QString>> PickListOf(const QModelIndex& AIndex) const;

    int FolderImageIndex() const { return FFolderImage; }
    void SetFolderImageIndex(int AValue) { FFolderImage = AValue; }
    int ContentImageIndex() const { return FContentImage; }
    void SetContentImageIndex(int AValue) { FContentImage = AValue; }

    // Opens or refreshes both record sets and rebuilds the tree.
    void Refresh();

    TQVTreeNode NodeOf(const QModelIndex& AIndex) const;
    QModelIndex IndexOf(const TQVTreeNode& ANode, int AColumn = 0) const; // invalid when not loaded
    // Moves the node's record set to its row.
    void MakeCurrent(const TQVTreeNode& ANode);
    // A loaded field of the node's row.
    QVariant Value(const TQVTreeNode& ANode, const QString& AFieldName) const;
    // Posts a field of the node's row; throws on failure.
    void SetValue(const TQVTreeNode& ANode, const QString& AFieldName, const QVariant& AValue);

    // Inserts a folder (parent -1: top level) or a content row (folder -1: none) named so (the
    // first column's field of its kind) and rebuilds the tree; answers the new node.
    TQVTreeNode AddFolder(const QString& AName, qint64 AParentFolderID);
    TQVTreeNode AddContent(const QString& AName, qint64 AFolderID);
    // Rows in the database that hang in the folder (subfolders and contents, loaded or not).
    qint64 FolderItemCount(qint64 AFolderID) const;
    // Deletes the node's row (through the delete notification); a folder must be empty. Throws on
    // failure.
    void DeleteNode(const TQVTreeNode& ANode);

    // The folder that holds the node (a folder holds itself); -1 for none.
    qint64 FolderOfNode(const TQVTreeNode& ANode) const;
    // The display texts of the node's row, one per column.
    QStringList RowTexts(const TQVTreeNode& ANode) const;

    void SetOnGetCellColor(TGetCellColorEvent AEvent) { FOnGetCellColor = std::move(AEvent); }
    void SetOnGetImageIndex(TGetImageIndexEvent AEvent) { FOnGetImageIndex = std::move(AEvent); }
    void SetOnContentFieldChanged(TContentFieldChangedEvent AEvent) {
        FOnContentFieldChanged = std::move(AEvent);
    }
    void SetImageList(TImageListEvent AEvent) { FImageList = std::move(AEvent); }

    QModelIndex index(int ARow, int AColumn, const QModelIndex& AParent = {}) const override;
    QModelIndex parent(const QModelIndex& AChild) const override;
    int rowCount(const QModelIndex& AParent = {}) const override;
    int columnCount(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation,
                        int ARole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& AIndex) const override;
    bool setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole = Qt::EditRole) override;

private:
    struct TNode {
        TQVTreeNodeKind Kind = tnkNone;
        int RecNo = -1;
        TNode* Parent = nullptr;
        QList<TNode*> Children;
    };
    struct TCellInfo {
        bool Editable = false;
        QList<QPair<QString, QString>> PickList;
    };

    TQVRecordSet* RecordSetOf(TQVTreeNodeKind AKind) const;
    QString SchemaOf(TQVTreeNodeKind AKind) const;
    TCellInfo DescribeCell(TQVTreeNodeKind AKind, const QString& AFieldName, bool AReadOnly) const;
    void DescribeColumns();
    void Rebuild();
    TNode* NodeAt(const QModelIndex& AIndex) const;
    TNode* FindNode(const TQVTreeNode& ANode) const;
    TQVTreeNode Describe(const TNode* ANode) const;
    QModelIndex IndexOfNode(const TNode* ANode, int AColumn) const;
    TQVTreeNode Insert(TQVTreeNodeKind AKind, const QVariantList& AValues, const QStringList& AFields);

    TQVRecordSet* FFolders = nullptr;
    QString FParentField;
    std::unique_ptr<TQVRecordSet> FContents;
    QString FFolderField;
    QStringList FContentVariables;
    QList<TQVDBTreeColumn> FColumns;
    QList<TCellInfo> FFolderInfo;
    QList<TCellInfo> FContentInfo;
    QStringList FCaptions;
    int FFolderImage = -1;
    int FContentImage = -1;

    TNode FRoot;
    std::vector<std::unique_ptr<TNode>> FNodes;

    TGetCellColorEvent FOnGetCellColor;
    TGetImageIndexEvent FOnGetImageIndex;
    TContentFieldChangedEvent FOnContentFieldChanged;
    TImageListEvent FImageList;
};

} // namespace hostapi
