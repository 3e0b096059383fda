#include "QVDBTreeModel.h"

#include "DBFieldSchema.h"
#include "Database.h"
#include "ExceptionDisplay.h"
#include "QVException.h"
#include "QVRecordSetModel.h"
#include "VRNLang.h"

#include <QApplication>
#include <QHash>
#include <QIcon>
#include <QSet>
#include <QSqlQuery>
#include <QStyle>

namespace hostapi {

namespace {

const QString kId = QStringLiteral("id");

[[noreturn]] void Fail(const QString& message) {
    throw EQVException(message);
}

// The tree's user texts share the view's table.
QString Tr(const char* AId) {
    static const TVRNLang lang(QStringLiteral("QVDBTreeView"));
    return lang.TextIn(QString::fromLatin1(AId), TVRNLang::CurrentLanguage());
}

} // namespace

QVDBTreeModel::QVDBTreeModel(TQVRecordSet* AFolders, const QString& AParentField, QObject* AParent)
    : QAbstractItemModel(AParent), FFolders(AFolders), FParentField(AParentField.toLower()) {
    if (!AFolders)
        Fail(QStringLiteral("A database tree needs a folder record set"));
    TDBFieldSchema::Instance().RequireSchema(AFolders->SchemaName());
    if (!FParentField.isEmpty())
        TDBFieldSchema::Instance().ResolveField(AFolders->SchemaName(), FParentField);
}

QVDBTreeModel::~QVDBTreeModel() = default;

void QVDBTreeModel::SetContentSchema(const QString& ASchemaName, const QString& AFolderField) {
    TDBFieldSchema::Instance().RequireSchema(ASchemaName);
    TDBFieldSchema::Instance().ResolveField(ASchemaName, AFolderField);
    beginResetModel();
    FContents = std::make_unique<TQVRecordSet>(ASchemaName);
    FFolderField = AFolderField.toLower();
    FContentVariables.clear();
    FNodes.clear();
    FRoot.Children.clear();
    endResetModel();
}

void QVDBTreeModel::SetContentVariable(const QString& AFieldName, const QVariant& AValue) {
    if (!FContents)
        Fail(QStringLiteral("The tree has no content schema for the variable %1").arg(AFieldName));
    TDBFieldSchema::Instance().ResolveField(FContents->SchemaName(), AFieldName);
    if (!FContentVariables.contains(AFieldName, Qt::CaseInsensitive))
        FContentVariables << AFieldName.toLower();
    FContents->SetSchemaVariable(AFieldName, AValue);
}

QVariant QVDBTreeModel::ContentVariable(const QString& AFieldName) const {
    return FContents ? FContents->SchemaVariable(AFieldName) : QVariant();
}

TQVRecordSet* QVDBTreeModel::RecordSetOf(TQVTreeNodeKind AKind) const {
    return AKind == tnkFolder ? FFolders : AKind == tnkContent ? FContents.get() : nullptr;
}

QString QVDBTreeModel::SchemaOf(TQVTreeNodeKind AKind) const {
    const TQVRecordSet* rs = RecordSetOf(AKind);
    return rs ? rs->SchemaName() : QString();
}

QString QVDBTreeModel::FieldOf(TQVTreeNodeKind AKind, int AColumn) const {
    if (AColumn < 0 || AColumn >= FColumns.size())
        return {};
    return AKind == tnkFolder ? FColumns[AColumn].FolderField
                              : (AKind == tnkContent ? FColumns[AColumn].ContentField : QString());
}

QVDBTreeModel::TCellInfo QVDBTreeModel::DescribeCell(TQVTreeNodeKind AKind, const QString& AFieldName,
                                                     bool AReadOnly) const {
    TCellInfo info;
    if (AFieldName.isEmpty())
        return info;
    const TQVRecordSet* rs = RecordSetOf(AKind);
    if (!rs)
        Fail(QStringLiteral("The column field %1 needs a content schema").arg(AFieldName));
    const TResolvedField field = TDBFieldSchema::Instance().ResolveField(rs->SchemaName(), AFieldName);
    const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(field.Schema);
    const TDBFieldDef def = schema.Field(schema.IndexOfField(field.Field));
    info.Editable = !AReadOnly && !field.Related && !def.PrimaryKey && !rs->Options().testFlag(rsoReadOnly);
    info.PickList = PickListItems(schema.FieldListData(field.Field));
    return info;
}

void QVDBTreeModel::DescribeColumns() {
    QList<TCellInfo> folders;
    QList<TCellInfo> contents;
    QStringList captions;
    for (const TQVDBTreeColumn& column : FColumns) {
        folders << DescribeCell(tnkFolder, column.FolderField, column.ReadOnly);
        contents << DescribeCell(tnkContent, column.ContentField, column.ReadOnly);
        QString caption = column.Caption;
        for (const auto& [kind, name] : {QPair<TQVTreeNodeKind, QString>(tnkContent, column.ContentField),
                                         {tnkFolder, column.FolderField}}) {
            if (!caption.isEmpty() || name.isEmpty())
                continue;
            const TResolvedField field = TDBFieldSchema::Instance().ResolveField(SchemaOf(kind), name);
            const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(field.Schema);
            const TDBFieldDef def = schema.Field(schema.IndexOfField(field.Field));
            caption = def.Caption.isEmpty() ? def.Name : def.Caption;
        }
        captions << caption;
    }
    FFolderInfo = folders;
    FContentInfo = contents;
    FCaptions = captions;
}

void QVDBTreeModel::SetColumns(const QList<TQVDBTreeColumn>& AColumns) {
    const QList<TQVDBTreeColumn> previous = FColumns;
    beginResetModel();
    FColumns = AColumns;
    try {
        DescribeColumns();
    } catch (...) {
        FColumns = previous;
        endResetModel();
        throw;
    }
    endResetModel();
}

QList<QPair<QString, QString>> QVDBTreeModel::PickListOf(const QModelIndex& AIndex) const {
    const TNode* node = NodeAt(AIndex);
    if (!node || AIndex.column() >= FColumns.size())
        return {};
    return (node->Kind == tnkFolder ? FFolderInfo : FContentInfo)[AIndex.column()].PickList;
}

void QVDBTreeModel::Refresh() {
    beginResetModel();
    try {
        for (TQVRecordSet* rs : {FFolders, FContents.get()})
            if (rs)
                rs->Active() ? rs->Refresh() : rs->Open();
        DescribeColumns();
        Rebuild();
    } catch (...) {
        FNodes.clear();
        FRoot.Children.clear();
        endResetModel();
        throw;
    }
    endResetModel();
}

void QVDBTreeModel::Rebuild() {
    FNodes.clear();
    FRoot.Children.clear();
    QHash<qint64, TNode*> folders;
    QList<TNode*> folderNodes;
    for (int r = 0; FFolders->Active() && r < FFolders->RecordCount(); ++r) {
        FNodes.push_back(std::make_unique<TNode>(TNode{tnkFolder, r, nullptr, {}}));
        folders.insert(FFolders->FieldValueAt(r, kId).toLongLong(), FNodes.back().get());
        folderNodes << FNodes.back().get();
    }
    // The parent each folder names, when that folder is loaded.
    QHash<TNode*, TNode*> named;
    if (!FParentField.isEmpty())
        for (TNode* node : folderNodes) {
            const QVariant parentId = FFolders->FieldValueAt(node->RecNo, FParentField);
            if (!parentId.isNull())
                named.insert(node, folders.value(parentId.toLongLong(), nullptr));
        }
    for (TNode* node : folderNodes) {
        TNode* parent = named.value(node, nullptr);
        // A folder on a cycle of parents stays at the top.
        QSet<TNode*> seen;
        for (TNode* up = parent; up && !seen.contains(up); up = named.value(up, nullptr)) {
            if (up == node) {
                parent = nullptr;
                break;
            }
            seen.insert(up);
        }
        node->Parent = parent ? parent : &FRoot;
        node->Parent->Children << node;
    }
    for (int r = 0; FContents && FContents->Active() && r < FContents->RecordCount(); ++r) {
        FNodes.push_back(std::make_unique<TNode>(TNode{tnkContent, r, nullptr, {}}));
        TNode* node = FNodes.back().get();
        const QVariant folderId = FContents->FieldValueAt(r, FFolderField);
        TNode* folder = folderId.isNull() ? nullptr : folders.value(folderId.toLongLong(), nullptr);
        node->Parent = folder ? folder : &FRoot;
        node->Parent->Children << node;
    }
}

QVDBTreeModel::TNode* QVDBTreeModel::NodeAt(const QModelIndex& AIndex) const {
    return AIndex.isValid() && AIndex.model() == this ? static_cast<TNode*>(AIndex.internalPointer())
                                                      : nullptr;
}

TQVTreeNode QVDBTreeModel::Describe(const TNode* ANode) const {
    if (!ANode || ANode->RecNo < 0)
        return {};
    return {ANode->Kind, RecordSetOf(ANode->Kind)->FieldValueAt(ANode->RecNo, kId).toLongLong()};
}

TQVTreeNode QVDBTreeModel::NodeOf(const QModelIndex& AIndex) const {
    return Describe(NodeAt(AIndex));
}

QVDBTreeModel::TNode* QVDBTreeModel::FindNode(const TQVTreeNode& ANode) const {
    for (const auto& node : FNodes)
        if (node->Kind == ANode.Kind && node->RecNo >= 0 && Describe(node.get()).ID == ANode.ID)
            return node.get();
    return nullptr;
}

QModelIndex QVDBTreeModel::IndexOfNode(const TNode* ANode, int AColumn) const {
    if (!ANode || ANode == &FRoot)
        return {};
    return createIndex(int(ANode->Parent->Children.indexOf(const_cast<TNode*>(ANode))), AColumn, ANode);
}

QModelIndex QVDBTreeModel::IndexOf(const TQVTreeNode& ANode, int AColumn) const {
    return IndexOfNode(FindNode(ANode), AColumn);
}

void QVDBTreeModel::MakeCurrent(const TQVTreeNode& ANode) {
    if (const TNode* node = FindNode(ANode))
        RecordSetOf(node->Kind)->SetRecNo(node->RecNo);
}

QVariant QVDBTreeModel::Value(const TQVTreeNode& ANode, const QString& AFieldName) const {
    const TNode* node = FindNode(ANode);
    if (!node)
        Fail(QStringLiteral("The tree holds no row %1").arg(ANode.ID));
    return RecordSetOf(node->Kind)->FieldValueAt(node->RecNo, AFieldName);
}

void QVDBTreeModel::SetValue(const TQVTreeNode& ANode, const QString& AFieldName, const QVariant& AValue) {
    TNode* node = FindNode(ANode);
    if (!node)
        Fail(QStringLiteral("The tree holds no row %1").arg(ANode.ID));
    TQVRecordSet* rs = RecordSetOf(node->Kind);
    rs->SetRecNo(node->RecNo);
    rs->Edit();
    try {
        rs->SetFieldValue(AFieldName, AValue);
        rs->Post();
    } catch (...) {
        rs->Cancel();
        throw;
    }
    const QString field = AFieldName.toLower();
    if ((node->Kind == tnkFolder && !FParentField.isEmpty() && field == FParentField) ||
        (node->Kind == tnkContent && field == FFolderField)) {
        beginResetModel();
        Rebuild();
        endResetModel();
    } else {
        emit dataChanged(IndexOfNode(node, 0), IndexOfNode(node, qMax(0, columnCount() - 1)));
    }
    if (ANode.Kind == tnkContent && FOnContentFieldChanged)
        FOnContentFieldChanged(ANode.ID, AFieldName, Value(ANode, AFieldName));
}

TQVTreeNode QVDBTreeModel::Insert(TQVTreeNodeKind AKind, const QVariantList& AValues,
                                  const QStringList& AFields) {
    TQVRecordSet* rs = RecordSetOf(AKind);
    if (!rs->Active())
        rs->Open();
    rs->Append();
    qint64 id = -1;
    try {
        for (int i = 0; i < AFields.size(); ++i)
            rs->SetFieldValue(AFields[i], AValues[i]);
        rs->Post();
        id = rs->RecordID();
    } catch (...) {
        rs->Cancel();
        throw;
    }
    // Read again so that the new row takes its place in the record set's order.
    beginResetModel();
    try {
        rs->Refresh();
        Rebuild();
    } catch (...) {
        Rebuild();
        endResetModel();
        throw;
    }
    endResetModel();
    return {AKind, id};
}

TQVTreeNode QVDBTreeModel::AddFolder(const QString& AName, qint64 AParentFolderID) {
    if (FColumns.isEmpty() || FColumns.first().FolderField.isEmpty())
        Fail(QStringLiteral("The tree has no name field for folders"));
    QStringList fields{FColumns.first().FolderField};
    QVariantList values{AName};
    if (AParentFolderID >= 0) {
        if (FParentField.isEmpty())
            Fail(QStringLiteral("The tree's folders do not nest"));
        fields << FParentField;
        values << AParentFolderID;
    }
    return Insert(tnkFolder, values, fields);
}

TQVTreeNode QVDBTreeModel::AddContent(const QString& AName, qint64 AFolderID) {
    if (!FContents)
        Fail(QStringLiteral("The tree has no content schema"));
    if (FColumns.isEmpty() || FColumns.first().ContentField.isEmpty())
        Fail(QStringLiteral("The tree has no name field for contents"));
    QStringList fields{FColumns.first().ContentField};
    QVariantList values{AName};
    if (AFolderID >= 0) {
        fields << FFolderField;
        values << AFolderID;
    }
    for (const QString& variable : FContentVariables) {
        const QVariant value = FContents->SchemaVariable(variable);
        if (!value.isNull()) {
            fields << variable;
            values << value;
        }
    }
    return Insert(tnkContent, values, fields);
}

qint64 QVDBTreeModel::FolderItemCount(qint64 AFolderID) const {
    QList<QPair<QString, QString>> holders;
    if (!FParentField.isEmpty())
        holders.append({FFolders->SchemaName(), FParentField});
    if (FContents)
        holders.append({FContents->SchemaName(), FFolderField});
    qint64 count = 0;
    for (const auto& [schema, field] : holders) {
        QSqlQuery q =
            Database::Exec(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = ?")
                               .arg(Database::QuoteIdentifier(schema), Database::QuoteIdentifier(field)),
                           {AFolderID}, QStringLiteral("count the rows of folder %1").arg(AFolderID));
        if (!q.next())
            Fail(QStringLiteral("The rows of folder %1 in %2 could not be counted")
                     .arg(AFolderID)
                     .arg(schema));
        count += q.value(0).toLongLong();
    }
    return count;
}

void QVDBTreeModel::DeleteNode(const TQVTreeNode& ANode) {
    TNode* node = FindNode(ANode);
    if (!node)
        Fail(QStringLiteral("The tree holds no row %1").arg(ANode.ID));
    if (node->Kind == tnkFolder) {
        const qint64 items = FolderItemCount(ANode.ID);
        if (items > 0 || !node->Children.isEmpty())
            throw EQVUserMessageException(
                Tr("IDS_FolderNotEmpty").arg(IndexOfNode(node, 0).data().toString()));
    }
    TQVRecordSet* rs = RecordSetOf(node->Kind);
    rs->SetRecNo(node->RecNo);
    rs->Delete();
    // The record set has dropped the row: the later rows of its kind moved up by one.
    const int deleted = node->RecNo;
    node->RecNo = -1;
    for (const auto& other : FNodes)
        if (other->Kind == node->Kind && other->RecNo > deleted)
            --other->RecNo;
    const QModelIndex parentIndex = IndexOfNode(node->Parent, 0);
    const int row = int(node->Parent->Children.indexOf(node));
    beginRemoveRows(parentIndex, row, row);
    node->Parent->Children.removeAt(row);
    for (auto it = FNodes.begin(); it != FNodes.end(); ++it)
        if (it->get() == node) {
            FNodes.erase(it);
            break;
        }
    endRemoveRows();
}

qint64 QVDBTreeModel::FolderOfNode(const TQVTreeNode& ANode) const {
    const TNode* node = FindNode(ANode);
    if (!node)
        return -1;
    if (node->Kind == tnkFolder)
        return ANode.ID;
    return node->Parent == &FRoot ? -1 : Describe(node->Parent).ID;
}

QStringList QVDBTreeModel::RowTexts(const TQVTreeNode& ANode) const {
    QStringList texts;
    const QModelIndex first = IndexOf(ANode, 0);
    for (int c = 0; first.isValid() && c < columnCount(); ++c)
        texts << first.siblingAtColumn(c).data().toString();
    return texts;
}

QModelIndex QVDBTreeModel::index(int ARow, int AColumn, const QModelIndex& AParent) const {
    if (AColumn < 0 || AColumn >= columnCount() || ARow < 0)
        return {};
    const TNode* parent = AParent.isValid() ? NodeAt(AParent) : &FRoot;
    if (!parent || (AParent.isValid() && AParent.column() != 0) || ARow >= parent->Children.size())
        return {};
    return createIndex(ARow, AColumn, parent->Children[ARow]);
}

QModelIndex QVDBTreeModel::parent(const QModelIndex& AChild) const {
    const TNode* node = NodeAt(AChild);
    return node ? IndexOfNode(node->Parent, 0) : QModelIndex();
}

int QVDBTreeModel::rowCount(const QModelIndex& AParent) const {
    if (!AParent.isValid())
        return FRoot.Children.size();
    const TNode* node = NodeAt(AParent);
    return node && AParent.column() == 0 ? node->Children.size() : 0;
}

int QVDBTreeModel::columnCount(const QModelIndex&) const {
    return FColumns.size();
}

QVariant QVDBTreeModel::data(const QModelIndex& AIndex, int ARole) const {
    if (!AIndex.isValid() || !checkIndex(AIndex))
        return {};
    const TNode* node = NodeAt(AIndex);
    if (node->RecNo < 0)
        return {};
    const int column = AIndex.column();
    const QString field = FieldOf(node->Kind, column);
    try {
        const TQVTreeNode described = Describe(node);
        auto imageIndex = [&](bool selected) {
            const int fallback = column == 0 ? (node->Kind == tnkFolder ? FFolderImage : FContentImage) : -1;
            return FOnGetImageIndex ? FOnGetImageIndex(described, column, selected, fallback) : fallback;
        };
        switch (ARole) {
        case Qt::DisplayRole:
            return field.isEmpty()
                       ? QVariant()
                       : ValueDisplayText(RecordSetOf(node->Kind)->FieldValueAt(node->RecNo, field),
                                          PickListOf(AIndex));
        case Qt::EditRole:
        case RawValueRole:
            return field.isEmpty() ? QVariant() : RecordSetOf(node->Kind)->FieldValueAt(node->RecNo, field);
        case RecordIDRole:
            return described.ID;
        case NodeKindRole:
            return int(node->Kind);
        case ImageIndexRole:
            return imageIndex(false);
        case SelectedImageIndexRole:
            return imageIndex(true);
        case Qt::DecorationRole:
        case SelectedDecorationRole: {
            const int image = imageIndex(ARole == SelectedDecorationRole);
            if (FImageList)
                return image >= 0 ? QVariant(FImageList(image)) : QVariant();
            auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
            if (column != 0 || !app)
                return {};
            return app->style()->standardIcon(node->Kind == tnkFolder ? QStyle::SP_DirIcon
                                                                      : QStyle::SP_FileIcon);
        }
        case Qt::BackgroundRole:
            if (FOnGetCellColor) {
                const QColor color = ColorFromTColor(FOnGetCellColor(described, column));
                if (color.isValid())
                    return color;
            }
            return {};
        default:
            return {};
        }
    } catch (const std::exception& e) {
        TVRNExceptionUtils::Show(e);
        return {};
    }
}

QVariant QVDBTreeModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
    if (AOrientation == Qt::Horizontal && ARole == Qt::DisplayRole && ASection >= 0 &&
        ASection < FCaptions.size())
        return FCaptions[ASection];
    return QAbstractItemModel::headerData(ASection, AOrientation, ARole);
}

Qt::ItemFlags QVDBTreeModel::flags(const QModelIndex& AIndex) const {
    if (!AIndex.isValid() || !checkIndex(AIndex))
        return Qt::NoItemFlags;
    const TNode* node = NodeAt(AIndex);
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (node->Kind == tnkContent)
        f |= Qt::ItemNeverHasChildren;
    if ((node->Kind == tnkFolder ? FFolderInfo : FContentInfo).value(AIndex.column()).Editable)
        f |= Qt::ItemIsEditable;
    return f;
}

bool QVDBTreeModel::setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole) {
    if (ARole != Qt::EditRole || !AIndex.isValid() || !checkIndex(AIndex) ||
        !flags(AIndex).testFlag(Qt::ItemIsEditable))
        return false;
    const TNode* node = NodeAt(AIndex);
    try {
        SetValue(Describe(node), FieldOf(node->Kind, AIndex.column()), AValue);
        return true;
    } catch (const std::exception& e) {
        TVRNExceptionUtils::Show(e);
        return false;
    }
}

} // namespace hostapi
