#include "MailingMacroPanel.h"

#include "DBFieldSchema.h"
#include "DialogService.h"
#include "MailingEditorDrop.h"

#include <QHeaderView>
#include <QToolBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace emailmarketing {

namespace {

// Design names, group captions and hints of the five lists, in group order.
struct TGroupDef {
    const char* Name;
    const char* Caption;
    const char* Hint; // empty: none
};
constexpr TGroupDef GroupDefs[MailingMacroGroupCount] = {
    {"lvFieldMakros", "IDS_GroupFields", "IDS_HintFields"},
    {"lvSchemaMakros", "IDS_GroupSchema", "IDS_HintSchema"},
    {"lvUserMacros", "IDS_GroupList", "IDS_HintList"},
    {"cxLVPredefinedMacros", "IDS_GroupSystem", "IDS_HintSystem"},
    {"dblvTextBlockMacros", "IDS_GroupTextBlocks", ""},
};

constexpr int StoredRole = Qt::UserRole;
constexpr int ShownRole = Qt::UserRole + 1;

// A list whose entries are dragged with their shown form.
class TMacroTreeWidget : public QTreeWidget {
public:
    TMacroTreeWidget(bool ATextBlocks, QWidget* AParent) : QTreeWidget(AParent), FTextBlocks(ATextBlocks) {
        setColumnCount(1);
        header()->hide();
        setRootIsDecorated(false);
        setSelectionMode(QAbstractItemView::SingleSelection);
        setDragEnabled(true);
        setDragDropMode(QAbstractItemView::DragOnly);
        setDefaultDropAction(Qt::CopyAction);
    }

protected:
    QStringList mimeTypes() const override {
        return {MacroMimeType, TextBlockMimeType, QStringLiteral("text/plain")};
    }
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& AItems) const override {
        if (AItems.isEmpty())
            return nullptr;
        return MacroMimeData(AItems.first()->data(0, ShownRole).toString(), FTextBlocks);
    }

private:
    bool FTextBlocks;
};

} // namespace

TMailingMacroPanel::TMailingMacroPanel(QWidget* AParent)
    : QWidget(AParent), FLang(QStringLiteral("MailingMacroPanel")), dxNavBarMacros(new QToolBox(this)) {
    setObjectName(QStringLiteral("pnlMacros"));
    dxNavBarMacros->setObjectName(QStringLiteral("dxNavBarMacros"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(dxNavBarMacros);
    for (int group = 0; group < MailingMacroGroupCount; ++group) {
        auto* list = new TMacroTreeWidget(group == mgTextBlocks, dxNavBarMacros);
        list->setObjectName(QString::fromLatin1(GroupDefs[group].Name));
        connect(list, &QTreeWidget::itemDoubleClicked, this, [this, list](QTreeWidgetItem*, int) {
            const QString text = GetDragMacroText(list);
            if (!text.isEmpty())
                emit MacroChosen(text);
        });
        dxNavBarMacros->addItem(list, QString());
        FLists[group] = list;
    }
    ApplyLanguage();
    FillPredefinedMacros();
}

TMailingMacroPanel::~TMailingMacroPanel() = default;

void TMailingMacroPanel::FillList(TMailingMacroGroup AGroup) {
    QTreeWidget* list = FLists[AGroup];
    list->clear();
    for (const TMailingMacroEntry& entry : FCatalogue.Entries(AGroup)) {
        auto* item = new QTreeWidgetItem(list, {entry.Caption});
        item->setData(0, StoredRole, entry.Stored);
        item->setData(0, ShownRole, entry.ShownForm());
    }
}

void TMailingMacroPanel::RefreshMacroLists(std::shared_ptr<TEmailListItem> AList,
                                           const hostapi::TDBFieldSchema& AFieldSchema) {
    const bool schemaFound = FCatalogue.SetList(std::move(AList), AFieldSchema);
    for (const TMailingMacroGroup group : {mgFields, mgSchemaMacros, mgListMacros})
        FillList(group);
    if (!schemaFound)
        hostapi::MessageDlg(FLang.Text(QStringLiteral("IDS_NoListConf")), hostapi::mtError, hostapi::mbOK);
}

void TMailingMacroPanel::ClearMacroLists() {
    FCatalogue.SetList(nullptr, hostapi::TDBFieldSchema::Instance());
    for (const TMailingMacroGroup group : {mgFields, mgSchemaMacros, mgListMacros})
        FillList(group);
}

void TMailingMacroPanel::FillPredefinedMacros() {
    FillList(mgSystem);
}

void TMailingMacroPanel::SetTextBlocks(const QStringList& ADescriptions) {
    FCatalogue.SetTextBlocks(ADescriptions);
    FillList(mgTextBlocks);
}

void TMailingMacroPanel::SetMacrosEnabled(bool AEnabled) {
    for (QTreeWidget* list : FLists)
        list->setEnabled(AEnabled);
}

int TMailingMacroPanel::GroupOf(const QObject* ASource) const {
    for (int group = 0; group < MailingMacroGroupCount; ++group)
        if (ASource && (ASource == FLists[group] || ASource == FLists[group]->viewport()))
            return group;
    return -1;
}

bool TMailingMacroPanel::IsMacroSource(const QObject* ASource, bool ATextBlocksAllowed) const {
    const int group = GroupOf(ASource);
    if (group < 0 || (group == mgTextBlocks && !ATextBlocksAllowed))
        return false;
    return FLists[group]->currentItem() && FLists[group]->currentItem()->isSelected();
}

QString TMailingMacroPanel::GetDragMacroText(const QObject* ASource) const {
    if (!IsMacroSource(ASource, true))
        return {};
    return FLists[GroupOf(ASource)]->currentItem()->data(0, ShownRole).toString();
}

void TMailingMacroPanel::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    ApplyLanguage();
    FillPredefinedMacros();
}

void TMailingMacroPanel::ApplyLanguage() {
    for (int group = 0; group < MailingMacroGroupCount; ++group) {
        dxNavBarMacros->setItemText(group, FLang.Text(QString::fromLatin1(GroupDefs[group].Caption)));
        const QString hint = QString::fromLatin1(GroupDefs[group].Hint);
        if (hint.isEmpty())
            continue;
        // "short text|long text": the short one is the tooltip, the long one the status tip.
        const QStringList parts = FLang.Text(hint).split(QLatin1Char('|'));
        FLists[group]->setToolTip(parts.value(0));
        FLists[group]->setStatusTip(parts.value(1, parts.value(0)));
    }
}

} // namespace emailmarketing
