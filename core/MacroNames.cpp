#include "MacroNames.h"

namespace emailmarketing {

QString MacroUpperCase(const QString& AName) {
    QString result;
    result.reserve(AName.size());
    for (qsizetype i = 0; i < AName.size(); ++i) {
        const QChar c = AName.at(i);
        // A letter outside the basic plane is mapped as one code point; a lone surrogate stays.
        if (c.isHighSurrogate() && i + 1 < AName.size() && AName.at(i + 1).isLowSurrogate()) {
            const char32_t upper = QChar::toUpper(QChar::surrogateToUcs4(c, AName.at(i + 1)));
            result += QChar::highSurrogate(upper);
            result += QChar::lowSurrogate(upper);
            ++i;
        } else {
            result += c.toUpper();
        }
    }
    return result;
}

QString StoredMacroForm(const QString& AName) {
    return QLatin1Char('%') + MacroUpperCase(AName) + QLatin1Char('%');
}

QString TextBlockTag(const QString& ADescription) {
    return QStringLiteral("[TEXTBLOCK:") + MacroUpperCase(ADescription) + QLatin1Char(']');
}

} // namespace emailmarketing
