#include "MacroEngine.h"

#include "QVRecordSet.h"
#include "RegionalSettings.h"
#include "TextUtils.h"

#include <QHash>

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

} // namespace

std::optional<QString> PredefinedMacroValue(const QString& AName, const TPredefinedMacroContext& AContext) {
    const auto& formatters = PredefinedFormatters();
    const auto it = formatters.constFind(AName.toUpper());
    if (it == formatters.constEnd())
        return std::nullopt;
    return (*it)(AContext);
}

TMacroEngine::TMacroEngine(QList<TUsedMakro> AUsedMakros, std::shared_ptr<const TMacroList> AListMacros,
                           std::shared_ptr<const TMacroList> ASchemaMacros)
    : FUsedMakros(std::move(AUsedMakros)), FListMacros(std::move(AListMacros)),
      FSchemaMacros(std::move(ASchemaMacros)) {}

void TMacroEngine::ReplaceTemplateMacros(const TMacroSink& ASink, int RecNo,
                                         const hostapi::TQVRecordSet& ARecords,
                                         const TPredefinedMacroContext& AContext) const {
    for (const TUsedMakro& used : FUsedMakros) {
        const QString name = MacroName(used.first);
        if (name.isEmpty())
            continue;
        switch (used.second) {
        case mkField:
            ASink(used.first,
                  hostapi::RegionalSettings::ValueAsText(ARecords.FieldValueAt(RecNo, name), AContext.Locale),
                  true);
            break;
        case mkListMacro:
        case mkSchemaMacro: {
            const TMacroList* macros = used.second == mkListMacro ? FListMacros.get() : FSchemaMacros.get();
            if (const TMacroItem* macro = macros ? macros->ByName(name) : nullptr) {
                const TMacroResult result = macro->EvaluateMacro(RecNo, ARecords);
                ASink(used.first, result.Value, result.FromField);
            }
            break;
        }
        case mkPredefined:
            if (const std::optional<QString> value = PredefinedMacroValue(name, AContext))
                ASink(used.first, *value, false);
            break;
        default:
            break;
        }
    }
}

QString ReplaceMacroText(const QString& AText, const QString& AMacro, const QString& AValue) {
    return hostapi::FastReplace(AText, AMacro, AValue, false);
}

QString HtmlEscaped(const QString& AText) {
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
    QString result = AValue;
    result.remove(QLatin1Char('\r'));
    result.remove(QLatin1Char('\n'));
    return result;
}

} // namespace emailmarketing
