#include "TextUtils.h"

namespace hostapi {

QString FastReplace(const QString& text, const QString& from, const QString& to, bool caseSensitive) {
    if (from.isEmpty())
        return text;
    QString result = text;
    result.replace(from, to, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
    return result;
}

qsizetype PosStr(const QString& sub, const QString& text, qsizetype start) {
    if (sub.isEmpty() || start < 1 || start > text.size())
        return 0;
    return text.indexOf(sub, start - 1) + 1;
}

} // namespace hostapi
