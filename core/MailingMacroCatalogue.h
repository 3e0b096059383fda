#pragma once

#include "MacroEngine.h"
#include "MacroList.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

namespace hostapi {
class TDBFieldSchema;
}

namespace emailmarketing {

class TAttachementList;
class TBaseEmailSender;
class TEmailListItem;

// The groups of the mailing window's macro panel, in the order it shows them.
enum TMailingMacroGroup : int {
    mgFields = 0,       // "Empfänger": fields of the list's data-source schema (kind 2)
    mgSchemaMacros = 1, // "Allgemein": macros of the list's schema (kind 3)
    mgListMacros = 2,   // "Verteilerliste": the list's own macros (kind 1)
    mgSystem = 3,       // "System": the predefined macros (kind 0)
    mgTextBlocks = 4,   // "Textbausteine": the template's text blocks
};
inline constexpr int MailingMacroGroupCount = 5;

// Kind of a text-block entry: no macro, never in a job's used macros.
inline constexpr int mkTextBlock = -1;

struct TMailingMacroEntry {
    QString Caption; // shown in the panel
    QString Stored;  // "%NAME%" with the name upper-cased; "[TEXTBLOCK:DESCR]" for a text block
    int Kind = mkPredefined;

    // What an editor receives: "[" + caption + "]"; a text block's tag, which has one form only.
    QString ShownForm() const;
};

// Every macro a template may use, by group, and the services built on them: the conversion
// between the shown and the stored form, the macros in an attachment path, a job's used macros.
// The macro groups sort by caption (ignoring case); text blocks keep the order they are given in.
// Holds no widget and no database.
class TMailingMacroCatalogue {
public:
    // The System group filled, the others empty.
    TMailingMacroCatalogue();

    // Rebuilds the field, schema-macro and list-macro groups for AList; without a list the three
    // stay empty. False when the list's data-source schema is missing: its field group stays
    // empty and the other groups are filled.
    bool SetList(std::shared_ptr<TEmailListItem> AList, const hostapi::TDBFieldSchema& AFieldSchema);
    std::shared_ptr<TEmailListItem> List() const { return FList; }
    bool SchemaMissing() const { return FSchemaMissing; }

    // The template's text blocks by their description ("descr"); empty ones are left out.
    void SetTextBlocks(const QStringList& ADescriptions);

    const QList<TMailingMacroEntry>& Entries(TMailingMacroGroup AGroup) const;

    // Shown form -> stored form (AToCaptions False) or back, for the list's fields, its own and
    // its schema's macros and the predefined macros; a caption the list does not know stays as
    // typed. Unchanged without a list.
    QString ConvertMacroCaptions(const QString& AText, bool AToCaptions) const;

    // Whether APath holds the stored form of a macro of the list, the schema, the system or the
    // fields (ignoring case).
    bool PathHasMacro(const QString& APath) const;

    // The stored-form macros that one of ATexts (each searched on its own) or the attachments need,
    // with their kind: list macros (1), schema macros (3), predefined (0), fields (2), in that
    // order. The predefined macros and fields that a list or schema macro's literal values hold
    // follow that macro. Each macro is listed once, at its last place, so that it comes after
    // every macro whose value holds it.
    QList<TUsedMakro> CollectUsedMacros(const QStringList& ATexts,
                                        const TAttachementList& AAttachements) const;
    QList<TUsedMakro> CollectUsedMacros(const QString& AText, const TAttachementList& AAttachements) const;
    // The same for a job: its text, HTML, subject, CC and BCC, and its attachments; replaces the
    // job's UsedMakros.
    void CollectUsedMacros(TBaseEmailSender& AJob) const;

private:
    void AddValueMacros(QList<TUsedMakro>& AUsed, const QString& AValues) const;

    std::array<QList<TMailingMacroEntry>, MailingMacroGroupCount> FGroups;
    std::shared_ptr<TEmailListItem> FList;
    // The list's macros as the groups show them.
    TMacroList FUserMacros;
    std::shared_ptr<TMacroList> FSchemaMacros;
    const hostapi::TDBFieldSchema* FFieldSchema = nullptr;
    bool FSchemaMissing = false;
};

} // namespace emailmarketing
