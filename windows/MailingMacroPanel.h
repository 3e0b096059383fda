#pragma once

#include "MailingMacroCatalogue.h"
#include "VRNLang.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>

class QToolBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace hostapi {
class TDBFieldSchema;
}

namespace emailmarketing {

class TEmailListItem;

// The mailing window's macro side panel `dxNavBarMacros`: five groups, one open at a time,
// "Empfänger" (`lvFieldMakros`), "Allgemein" (`lvSchemaMakros`), "Verteilerliste"
// (`lvUserMacros`), "System" (`cxLVPredefinedMacros`) and "Textbausteine" (`dblvTextBlockMacros`).
// An entry shows its caption and holds its stored form. A double click emits the entry's shown
// form for the window to insert; a drag carries it (MacroMimeData), a text block as
// "[TEXTBLOCK:" + upper-cased description + "]".
class TMailingMacroPanel : public QWidget {
    Q_OBJECT
public:
    explicit TMailingMacroPanel(QWidget* AParent = nullptr);
    ~TMailingMacroPanel() override;

    const TMailingMacroCatalogue& Catalogue() const { return FCatalogue; }

    // Refills the field, schema and list macro lists for the template's list (none: they stay
    // empty). A list whose data-source schema is missing shows the error IDS_NoListConf; its
    // field list stays empty and the other lists are filled.
    void RefreshMacroLists(std::shared_ptr<TEmailListItem> AList,
                           const hostapi::TDBFieldSchema& AFieldSchema);
    // Empties the field, schema and list macro lists (no template shown).
    void ClearMacroLists();
    // Refills the System list.
    void FillPredefinedMacros();
    // The template's text blocks by description, in their order.
    void SetTextBlocks(const QStringList& ADescriptions);

    // The lists are disabled while the template cannot be edited, so nothing can be inserted.
    void SetMacrosEnabled(bool AEnabled);

    // True when ASource is one of the macro lists with a selected entry or, with text blocks
    // allowed, the text-block list with a selected text block.
    bool IsMacroSource(const QObject* ASource, bool ATextBlocksAllowed) const;
    // The shown form of ASource's selected entry; empty when IsMacroSource (text blocks allowed)
    // fails.
    QString GetDragMacroText(const QObject* ASource) const;

    QString Language() const { return FLang.Language(); }
    // Group captions and hints in ALangName; the System list is filled again.
    void SetLanguage(const QString& ALangName);

signals:
    // A double click on an entry: its shown form, to be inserted into the active editor.
    void MacroChosen(const QString& AText);

private:
    void FillList(TMailingMacroGroup AGroup);
    int GroupOf(const QObject* ASource) const;
    void ApplyLanguage();

    hostapi::TVRNLang FLang;
    TMailingMacroCatalogue FCatalogue;
    QToolBox* dxNavBarMacros;
    std::array<QTreeWidget*, MailingMacroGroupCount> FLists{};
};

} // namespace emailmarketing
