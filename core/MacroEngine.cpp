#include "MacroEngine.h"

#include "MacroNames.h"
#include "QVRecordSet.h"
#include "RegionalSettings.h"
#include "TextUtils.h"

#include <QHash>
#include <QMultiHash>
#include <QVarLengthArray>

#include <algorithm>

namespace emailmarketing {

namespace {

using TPredefinedFormatter = QString (*)(const TPredefinedMacroContext&);

QString DatePattern(const TPredefinedMacroContext& c, const char* pattern) {
    return c.Locale.toString(c.Now.date(), QLatin1String(pattern));
}

const QHash<QString, TPredefinedFormatter>& PredefinedFormatters() {
    static const QHash<QString, TPredefinedFormatter> formatters{
        {QStringLiteral("PRE_DATE"),
         [](const TPredefinedMacroContext& c) {
             return c.Locale.toString(c.Now.date(), QLocale::ShortFormat);
         }},
        {QStringLiteral("PRE_TIME"),
         [](const TPredefinedMacroContext& c) {
             return c.Locale.toString(c.Now.time(),
                                      hostapi::RegionalSettings::LongTimeFormatWithoutZone(c.Locale));
         }},
        {QStringLiteral("PRE_YEAR2"), [](const TPredefinedMacroContext& c) { return DatePattern(c, "yy"); }},
        {QStringLiteral("PRE_YEAR4"),
         [](const TPredefinedMacroContext& c) { return DatePattern(c, "yyyy"); }},
        {QStringLiteral("PRE_MONTH1"), [](const TPredefinedMacroContext& c) { return DatePattern(c, "M"); }},
        {QStringLiteral("PRE_MONTH2"), [](const TPredefinedMacroContext& c) { return DatePattern(c, "MM"); }},
        {QStringLiteral("PRE_MONTH3"),
         [](const TPredefinedMacroContext& c) { return DatePattern(c, "MMM"); }},
        {QStringLiteral("PRE_MONTH4"),
         [](const TPredefinedMacroContext& c) { return DatePattern(c, "MMMM"); }},
        {QStringLiteral("PRE_DAY1"), [](const TPredefinedMacroContext& c) { return DatePattern(c, "d"); }},
        {QStringLiteral("PRE_DAY2"), [](const TPredefinedMacroContext& c) { return DatePattern(c, "dd"); }},
        {QStringLiteral("PRE_DAY3"), [](const TPredefinedMacroContext& c) { return DatePattern(c, "ddd"); }},
        {QStringLiteral("PRE_DAY4"), [](const TPredefinedMacroContext& c) { return DatePattern(c, "dddd"); }},
        {QStringLiteral("PRE_USER"),
         [](const TPredefinedMacroContext& c) { return QString::number(c.UserNumber); }},
        {QStringLiteral("PRE_SENDERNAME"), [](const TPredefinedMacroContext& c) { return c.SenderName; }},
        {QStringLiteral("PRE_SENDEREMAIL"), [](const TPredefinedMacroContext& c) { return c.SenderEmail; }},
        {QStringLiteral("PRE_REPLYTO"), [](const TPredefinedMacroContext& c) { return c.ReplyToEmail; }},
        {QStringLiteral("PRE_MAILCOUNT"),
         [](const TPredefinedMacroContext& c) { return QString::number(c.MailCount); }},
        {QStringLiteral("PRE_DISTRIBUTORLIST"), [](const TPredefinedMacroContext& c) { return c.ListName; }},
    };
    return formatters;
}

// The macro's name: the stored text without its first and last character.
QString MacroName(const QString& AMacro) {
    return AMacro.size() >= 2 ? AMacro.mid(1, AMacro.size() - 2) : QString();
}

TPredefinedFormatter PredefinedFormatter(const QString& AName) {
    const auto& formatters = PredefinedFormatters();
    const auto it = formatters.constFind(MacroUpperCase(AName));
    return it == formatters.constEnd() ? nullptr : *it;
}

} // namespace

std::optional<QString> PredefinedMacroValue(const QString& AName, const TPredefinedMacroContext& AContext) {
    const TPredefinedFormatter formatter = PredefinedFormatter(AName);
    if (!formatter)
        return std::nullopt;
    return formatter(AContext);
}

TMacroEngine::TMacroEngine(QList<TUsedMakro> AUsedMakros, std::shared_ptr<const TMacroList> AListMacros,
                           std::shared_ptr<const TMacroList> ASchemaMacros)
    : FUsedMakros(std::move(AUsedMakros)), FListMacros(std::move(AListMacros)),
      FSchemaMacros(std::move(ASchemaMacros)) {
    // The macro lists are snapshots that never change: names are looked up once, not per record.
    FResolved.reserve(FUsedMakros.size());
    for (const TUsedMakro& used : std::as_const(FUsedMakros)) {
        TResolvedMacro resolved;
        resolved.Name = MacroName(used.first);
        if (!resolved.Name.isEmpty()) {
            if (used.second == mkListMacro || used.second == mkSchemaMacro) {
                const TMacroList* macros =
                    used.second == mkListMacro ? FListMacros.get() : FSchemaMacros.get();
                resolved.Macro = macros ? macros->ByName(resolved.Name) : nullptr;
            } else if (used.second == mkPredefined) {
                resolved.Predefined = PredefinedFormatter(resolved.Name);
            }
        }
        FResolved.append(resolved);
    }
}

void TMacroEngine::ReplaceTemplateMacros(const TMacroSink& ASink, int RecNo,
                                         const hostapi::TQVRecordSet& ARecords,
                                         const TPredefinedMacroContext& AContext) const {
    for (qsizetype i = 0; i < FUsedMakros.size(); ++i) {
        const TUsedMakro& used = FUsedMakros[i];
        const TResolvedMacro& resolved = FResolved[i];
        if (resolved.Name.isEmpty())
            continue;
        switch (used.second) {
        case mkField:
            ASink(used.first,
                  hostapi::RegionalSettings::ValueAsText(ARecords.FieldValueAt(RecNo, resolved.Name),
                                                         AContext.Locale),
                  true);
            break;
        case mkListMacro:
        case mkSchemaMacro:
            if (resolved.Macro) {
                const TMacroResult result = resolved.Macro->EvaluateMacro(RecNo, ARecords);
                ASink(used.first, result.Value, result.FromField);
            }
            break;
        case mkPredefined:
            if (resolved.Predefined)
                ASink(used.first, resolved.Predefined(AContext), false);
            break;
        default:
            break;
        }
    }
}

QString ReplaceMacroText(const QString& AText, const QString& AMacro, const QString& AValue) {
    if (AMacro.isEmpty())
        return AText;
    const QChar first = AMacro.front();
    // The search jumps from one occurrence of the first character to the next; a first character
    // with other letter cases takes the general routine.
    if (first.toLower() != first || first.toUpper() != first || first.toCaseFolded() != first)
        return hostapi::FastReplace(AText, AMacro, AValue, false);
    const QStringView text(AText);
    const qsizetype length = AMacro.size();
    QString result;
    qsizetype copied = 0;
    qsizetype at = text.indexOf(first);
    while (at >= 0 && at + length <= text.size()) {
        if (text.sliced(at, length).compare(AMacro, Qt::CaseInsensitive) == 0) {
            if (result.isNull())
                result.reserve(text.size() + AValue.size());
            result += text.sliced(copied, at - copied);
            result += AValue;
            copied = at + length;
            at = text.indexOf(first, copied);
        } else {
            at = text.indexOf(first, at + 1);
        }
    }
    if (copied == 0)
        return AText;
    result += text.sliced(copied);
    return result;
}

namespace {

bool IsDelimitedMacro(const QString& AMacro) {
    if (AMacro.size() < 3 || AMacro.front() != u'%' || AMacro.back() != u'%')
        return false;
    // Names are short: a plain loop, not the library's search.
    return std::find(AMacro.begin() + 1, AMacro.end() - 1, u'%') == AMacro.end() - 1;
}

// Single-pass replacement of delimited macros. A short list is searched by comparing the names in
// place; a long one through an index of the folded names. The result is allocated once, at its size.
class TMacroPass {
public:
    explicit TMacroPass(const QList<TMacroReplacement>& AReplacements)
        : FReplacements(AReplacements), FDone(AReplacements.size(), false), FValues(AReplacements.size()) {
        for (qsizetype i = 0; i < AReplacements.size(); ++i) {
            const QString& macro = AReplacements[i].Macro;
            FMaxName = std::max(FMaxName, macro.size() - 2);
            if (AReplacements.size() > LinearSearchLimit)
                FIndex.insert(macro.sliced(1, macro.size() - 2).toCaseFolded(), i);
        }
    }

    // AText with the macros of replacements AFirst.. replaced.
    QString Run(const QString& AText, qsizetype AFirst) {
        struct THit {
            qsizetype At;  // the opening "%"
            qsizetype End; // after the closing "%"
            qsizetype Index;
        };
        const QStringView text(AText);
        QVarLengthArray<THit, 32> hits;
        qsizetype size = text.size();
        qsizetype at = text.indexOf(QLatin1Char('%'));
        while (at >= 0) {
            const qsizetype close = text.indexOf(QLatin1Char('%'), at + 1);
            if (close < 0)
                break;
            const qsizetype found = Find(text.sliced(at + 1, close - at - 1), AFirst);
            if (found < 0) {
                at = close; // the closing "%" may open a macro
                continue;
            }
            size += Value(found).size() - (close + 1 - at);
            hits.append({at, close + 1, found});
            at = text.indexOf(QLatin1Char('%'), close + 1);
        }
        if (hits.isEmpty())
            return AText;
        QString result(size, Qt::Uninitialized);
        QChar* out = result.data();
        const auto copy = [&out](QStringView APart) {
            std::copy(APart.begin(), APart.end(), out);
            out += APart.size();
        };
        qsizetype copied = 0;
        for (const THit& hit : hits) {
            copy(text.sliced(copied, hit.At - copied));
            copy(FValues[hit.Index]);
            copied = hit.End;
        }
        copy(text.sliced(copied));
        return result;
    }

private:
    static constexpr qsizetype LinearSearchLimit = 24;

    // The earliest replacement at or after AFirst named AName (letter case ignored); -1: none.
    qsizetype Find(QStringView AName, qsizetype AFirst) const {
        if (AName.isEmpty() || AName.size() > FMaxName)
            return -1;
        if (FIndex.isEmpty()) {
            for (qsizetype i = AFirst; i < FReplacements.size(); ++i) {
                const QStringView name = QStringView(FReplacements[i].Macro).sliced(1);
                if (name.size() == AName.size() + 1 &&
                    name.chopped(1).compare(AName, Qt::CaseInsensitive) == 0)
                    return i;
            }
            return -1;
        }
        qsizetype found = -1;
        const QString name = AName.toString().toCaseFolded();
        for (auto it = FIndex.constFind(name); it != FIndex.constEnd() && it.key() == name; ++it)
            if (*it >= AFirst && (found < 0 || *it < found))
                found = *it;
        return found;
    }

    // The value of replacement i, itself searched for the later replacements (once) unless literal.
    const QString& Value(qsizetype i) {
        if (!FDone[i]) {
            const TMacroReplacement& replacement = FReplacements[i];
            FValues[i] = replacement.Literal ? replacement.Value : Run(replacement.Value, i + 1);
            FDone[i] = true;
        }
        return FValues[i];
    }

    const QList<TMacroReplacement>& FReplacements;
    QMultiHash<QString, qsizetype> FIndex;
    // On the stack for the usual few macros: one pass per text and recipient allocates no more.
    QVarLengthArray<bool, 32> FDone;
    QVarLengthArray<QString, 32> FValues;
    qsizetype FMaxName = 0;
};

// One pass per replacement over the parts of the text that are not literal values inserted before.
QString ReplaceMacrosInTurn(const QString& AText, const QList<TMacroReplacement>& AReplacements) {
    struct TPart {
        QString Text;
        bool Literal;
    };
    QList<TPart> parts{{AText, false}};
    for (const TMacroReplacement& r : AReplacements) {
        if (r.Macro.isEmpty())
            continue;
        if (!r.Literal) {
            for (TPart& part : parts)
                if (!part.Literal)
                    part.Text = ReplaceMacroText(part.Text, r.Macro, r.Value);
            continue;
        }
        QList<TPart> split;
        for (const TPart& part : std::as_const(parts)) {
            if (part.Literal) {
                split.append(part);
                continue;
            }
            const QStringView text(part.Text);
            qsizetype copied = 0;
            for (qsizetype at = text.indexOf(r.Macro, 0, Qt::CaseInsensitive); at >= 0;
                 at = text.indexOf(r.Macro, copied, Qt::CaseInsensitive)) {
                split.append({text.sliced(copied, at - copied).toString(), false});
                split.append({r.Value, true});
                copied = at + r.Macro.size();
            }
            split.append({text.sliced(copied).toString(), false});
        }
        parts = std::move(split);
    }
    QString result;
    for (const TPart& part : std::as_const(parts))
        result += part.Text;
    return result;
}

} // namespace

QString ReplaceMacros(const QString& AText, const QList<TMacroReplacement>& AReplacements) {
    bool delimited = true;
    for (const TMacroReplacement& r : AReplacements)
        delimited = delimited && IsDelimitedMacro(r.Macro);
    if (!delimited)
        return ReplaceMacrosInTurn(AText, AReplacements);
    if (AReplacements.isEmpty() || !AText.contains(QLatin1Char('%')))
        return AText;
    return TMacroPass(AReplacements).Run(AText, 0);
}

QString HtmlEscaped(const QString& AText) {
    const auto special = [](QChar c) {
        return c == u'&' || c == u'<' || c == u'>' || c == u'"' || c == u'\'';
    };
    if (std::none_of(AText.begin(), AText.end(), special))
        return AText;
    QString result;
    result.reserve(AText.size() + AText.size() / 8);
    for (QChar c : AText) {
        switch (c.unicode()) {
        case '&':
            result += QLatin1String("&amp;");
            break;
        case '<':
            result += QLatin1String("&lt;");
            break;
        case '>':
            result += QLatin1String("&gt;");
            break;
        case '"':
            result += QLatin1String("&quot;");
            break;
        case '\'':
            result += QLatin1String("&#39;");
            break;
        default:
            result += c;
        }
    }
    return result;
}

QString WithoutLineBreaks(const QString& AValue) {
    if (std::none_of(AValue.begin(), AValue.end(), [](QChar c) { return c == u'\r' || c == u'\n'; }))
        return AValue;
    QString result = AValue;
    result.remove(QLatin1Char('\r'));
    result.remove(QLatin1Char('\n'));
    return result;
}

} // namespace emailmarketing
