#pragma once

#include "MacroList.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace hostapi {
class TQVRecordSet;
}

namespace emailmarketing {

// A used macro in the stored form ("%NAME%") and its kind: 0 predefined, 1 list macro,
// 2 recipient field, 3 schema macro.
using TUsedMakro = QPair<QString, int>;

enum TMacroKind : int { mkPredefined = 0, mkListMacro = 1, mkField = 2, mkSchemaMacro = 3 };

// Receives every macro that has a value for the current recipient: the stored macro text, its
// value, and whether the value is recipient data (a field's value) rather than text of the
// template's author (a list macro's literal, a predefined value).
using TMacroSink = std::function<void(const QString& AMacro, const QString& AValue, bool AFromField)>;

// What the predefined macros answer for one job at one moment.
struct TPredefinedMacroContext {
    QDateTime Now;
    QLocale Locale;
    qint64 UserNumber = -1;
    QString SenderName;
    QString SenderEmail;
    QString ReplyToEmail;
    QString ListName;
    int MailCount = 0;
};

// The value of predefined macro AName (without the "%"); no value for an unknown name. Date
// patterns follow the regional settings: PRE_DATE the short date, PRE_TIME the long time without
// time zone, PRE_MONTH1..4 "M", "MM", "MMM", "MMMM", PRE_DAY1..4 "d", "dd", "ddd", "dddd".
std::optional<QString> PredefinedMacroValue(const QString& AName, const TPredefinedMacroContext& AContext);

// The macro engine of a job: computes, for one record of the recipient record set, the value of
// every used macro, in the order of UsedMakros. Holds no thread, widget or database: the record set
// is read from memory.
class TMacroEngine {
public:
    // AListMacros and ASchemaMacros may be null (no such macros).
    TMacroEngine(QList<TUsedMakro> AUsedMakros, std::shared_ptr<const TMacroList> AListMacros,
                 std::shared_ptr<const TMacroList> ASchemaMacros);

    // For each used macro, in order: a field's value as text by the context's locale (kind 2), the
    // list's or the schema's macro of that name (ignoring case; kinds 1 and 3; none: no value), or
    // the predefined value (kind 0). Unknown kinds have no value. A field that the record set does
    // not hold raises.
    void ReplaceTemplateMacros(const TMacroSink& ASink, int RecNo, const hostapi::TQVRecordSet& ARecords,
                               const TPredefinedMacroContext& AContext) const;

    const QList<TUsedMakro>& UsedMakros() const { return FUsedMakros; }

private:
    // A used macro as resolved once: its name, the list's or schema's macro of that name, the
    // predefined formatter of that name.
    struct TResolvedMacro {
        QString Name;
        const TMacroItem* Macro = nullptr;
        QString (*Predefined)(const TPredefinedMacroContext&) = nullptr;
    };

    QList<TUsedMakro> FUsedMakros;
    std::shared_ptr<const TMacroList> FListMacros;
    std::shared_ptr<const TMacroList> FSchemaMacros;
    QList<TResolvedMacro> FResolved; // parallel to FUsedMakros
};

// Replaces every occurrence of AMacro in AText by AValue, ignoring letter case, left to right; the
// inserted value is not searched again. Linear in the length of AText.
QString ReplaceMacroText(const QString& AText, const QString& AMacro, const QString& AValue);

// One macro and the value it is replaced by. A literal value (one read from a recipient's record)
// is inserted as it is and never searched for macros.
struct TMacroReplacement {
    QString Macro;
    QString Value;
    bool Literal = false;
};

// The same as ReplaceMacroText for each replacement in turn (a value that is not literal is not
// searched for its own macro or earlier ones, but for the later ones), in one pass over AText when
// every macro is "%NAME%" with no "%" inside the name; otherwise one pass per macro over the text
// outside the literal values inserted so far. The single pass does not find a macro that shares
// its "%" with a neighbouring macro or that only forms across the edge of an inserted value.
QString ReplaceMacros(const QString& AText, const QList<TMacroReplacement>& AReplacements);

// "&", "<", ">", '"' and "'" as HTML character references.
QString HtmlEscaped(const QString& AText);

// AValue without carriage returns and line feeds.
QString WithoutLineBreaks(const QString& AValue);

} // namespace emailmarketing
