#include "StringData.h"
#include "QVException.h"

namespace hostapi {

namespace {

bool IsLoneSurrogate(const QString& text, qsizetype i) {
    const QChar c = text.at(i);
    if (c.isHighSurrogate())
        return i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !text.at(i - 1).isHighSurrogate();
    return false;
}

void AppendUnicodeEscape(QString& out, QChar c) {
    out += QStringLiteral("\\u") + QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
}

int HexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

[[noreturn]] void ThrowMalformed(qsizetype index) {
    throw EQVException(
        QStringLiteral("Invalid string data: malformed escape sequence at position %1.").arg(index + 1));
}

} // namespace

QString StrToStringData(const QString& value) {
    // Blanks at the edges are escaped, inner ones are kept.
    qsizetype lead = 0;
    while (lead < value.size() && value.at(lead).isSpace())
        ++lead;
    qsizetype trail = value.size();
    while (trail > lead && value.at(trail - 1).isSpace())
        --trail;

    QString out;
    out.reserve(value.size() + 8);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const bool edge = i < lead || i >= trail;
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            continue;
        case '\n':
            out += QStringLiteral("\\n");
            continue;
        case '\r':
            out += QStringLiteral("\\r");
            continue;
        case '\t':
            out += QStringLiteral("\\t");
            continue;
        case ' ':
            out += edge ? QStringLiteral("\\s") : QStringLiteral(" ");
            continue;
        default:
            break;
        }
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || edge || IsLoneSurrogate(value, i))
            AppendUnicodeEscape(out, c);
        else
            out += c;
    }
    return out;
}

QString StringDataToStr(const QString& data, bool decode) {
    if (!decode)
        return data;
    QString out;
    out.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        const QChar c = data.at(i);
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (i + 1 >= data.size())
            ThrowMalformed(i);
        switch (data.at(i + 1).unicode()) {
        case '\\':
            out += QLatin1Char('\\');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'u': {
            if (i + 5 >= data.size())
                ThrowMalformed(i);
            int unit = 0;
            for (qsizetype k = i + 2; k < i + 6; ++k) {
                const int digit = HexValue(data.at(k));
                if (digit < 0)
                    ThrowMalformed(i);
                unit = unit * 16 + digit;
            }
            out += QChar(char16_t(unit));
            i += 4;
            break;
        }
        default:
            ThrowMalformed(i);
        }
        ++i;
    }
    return out;
}

} // namespace hostapi
