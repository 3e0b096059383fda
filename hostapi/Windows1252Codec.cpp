#include "Windows1252Codec.h"

namespace hostapi {

namespace {

// Code points of the bytes 0x80-0x9F; an undefined byte maps to the C1 control of its own value.
constexpr char16_t HighControlRange[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98
};

char EncodeUnit(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<char>(unit);
    for (int i = 0; i < 32; ++i) {
        if (HighControlRange[i] == unit)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

} // namespace

QString Windows1252Codec::Decode(const QByteArray& bytes) {
    QString result(bytes.size(), Qt::Uninitialized);
    QChar* out = result.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(HighControlRange[b - 0x80]) : QChar(char16_t(b));
    }
    return result;
}

QByteArray Windows1252Codec::Encode(const QString& text) {
    QByteArray result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            result.append('?');
            ++i;
            continue;
        }
        result.append(EncodeUnit(c.unicode()));
    }
    return result;
}

} // namespace hostapi
