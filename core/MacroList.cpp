#include "MacroList.h"

#include "MacroNames.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "RegionalSettings.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QVariant>

#include <algorithm>

namespace emailmarketing {

namespace {

using hostapi::EQVException;

// Removes and frees AItem from an owning list; a stored item's id is remembered so that the next
// save deletes its row. An item that is not in the list is left alone.
template <class T>
void DeleteOwnedItem(std::vector<std::unique_ptr<T>>& items, QList<qint32>& deleteIds, T* AItem) {
    const auto it =
        std::find_if(items.begin(), items.end(), [AItem](const auto& p) { return p.get() == AItem; });
    if (it == items.end())
        return;
    if (AItem->DBID() > -1)
        deleteIds.append(AItem->DBID());
    items.erase(it);
}

// One operand of a condition: its value and how to name it in an error.
struct TOperand {
    QVariant Value;
    QString Source; // the field name, or empty for a literal
};

enum class TKind { Null, Text, Integer, Float, DateTime, Bytes };

TKind KindOf(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return TKind::Null;
    switch (v.metaType().id()) {
    case QMetaType::QString:
        return TKind::Text;
    case QMetaType::LongLong:
    case QMetaType::Int:
        return TKind::Integer;
    case QMetaType::Double:
        return TKind::Float;
    case QMetaType::QDateTime:
        return TKind::DateTime;
    case QMetaType::QByteArray:
        return TKind::Bytes;
    default:
        return TKind::Text;
    }
}

bool IsEmptyText(TKind kind, const QVariant& v) {
    if (kind != TKind::Text)
        return false;
    // A text operand is read in place; other types that count as text are converted.
    if (v.metaType().id() == QMetaType::QString)
        return static_cast<const QString*>(v.constData())->isEmpty();
    return v.toString().isEmpty();
}

bool IsNumber(TKind kind) {
    return kind == TKind::Integer || kind == TKind::Float;
}

template <class T> int Sign(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

bool HasSurrogates(QStringView AText) {
    for (const QChar c : AText)
        if (c.isSurrogate())
            return true;
    return false;
}

int CompareCodePoints(const QString& a, const QString& b) {
    // Without surrogates the UTF-16 units are the code points.
    if (!HasSurrogates(a) && !HasSurrogates(b)) {
        const int r = QStringView(a).compare(QStringView(b), Qt::CaseSensitive);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    const QList<uint> ua = a.toUcs4();
    const QList<uint> ub = b.toUcs4();
    const auto r = std::lexicographical_compare_three_way(ua.begin(), ua.end(), ub.begin(), ub.end());
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

QString Describe(const TOperand& op) {
    return op.Source.isEmpty() ? QStringLiteral("\"%1\"").arg(op.Value.toString())
                               : QStringLiteral("the value of field \"%1\"").arg(op.Source);
}

[[noreturn]] void FailConversion(const QString& macroName, const TOperand& op, const QString& target) {
    throw EQVException(QStringLiteral("Macro \"%1\": %2 is not a %3").arg(macroName, Describe(op), target));
}

// A number of the text: optional sign, digits, at most one decimal separator ("." or ",") followed
// by digits. No thousands separators, no blanks, no exponent.
QVariant TextToNumber(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^[+-]?[0-9]+([.,][0-9]+)?$"));
    if (!re.match(text).hasMatch())
        return {};
    bool ok = false;
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char(','))) {
        const qint64 i = text.toLongLong(&ok);
        if (ok)
            return QVariant(i);
    }
    QString dotted = text;
    dotted.replace(QLatin1Char(','), QLatin1Char('.'));
    const double d = QLocale::c().toDouble(dotted, &ok);
    return ok ? QVariant(d) : QVariant();
}

// A local date-time of ISO 8601 text or of a German date with optional time.
QDateTime TextToDateTime(const QString& text) {
    QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (dt.isValid())
        return dt;
    const QDate d = QDate::fromString(text, Qt::ISODate);
    if (d.isValid())
        return d.startOfDay();
    for (const char* format : {"d.M.yyyy", "d.M.yyyy H:mm", "d.M.yyyy H:mm:ss"}) {
        dt = QDateTime::fromString(text, QLatin1String(format));
        if (dt.isValid())
            return dt;
    }
    return {};
}

int CompareNumbers(const QVariant& a, const QVariant& b) {
    if (a.metaType().id() != QMetaType::Double && b.metaType().id() != QMetaType::Double)
        return Sign(a.toLongLong(), b.toLongLong());
    return Sign(a.toDouble(), b.toDouble());
}

// Typed comparison of two operands (see TMacroConditionItem::Check): <0, 0 or >0.
int CompareOperands(const QString& macroName, const TOperand& a, const TOperand& b) {
    TKind ka = KindOf(a.Value);
    TKind kb = KindOf(b.Value);
    const auto typed = [](TKind k) { return IsNumber(k) || k == TKind::DateTime; };
    if (IsEmptyText(ka, a.Value) && typed(kb))
        ka = TKind::Null;
    if (IsEmptyText(kb, b.Value) && typed(ka))
        kb = TKind::Null;

    if (ka == TKind::Null || kb == TKind::Null) {
        const bool aNull = ka == TKind::Null || IsEmptyText(ka, a.Value);
        const bool bNull = kb == TKind::Null || IsEmptyText(kb, b.Value);
        if (aNull && bNull)
            return 0;
        return aNull ? -1 : 1;
    }
    if (ka == TKind::Text && kb == TKind::Text)
        return CompareCodePoints(a.Value.toString(), b.Value.toString());

    if (IsNumber(ka) || IsNumber(kb)) {
        QVariant na = a.Value;
        QVariant nb = b.Value;
        if (ka == TKind::Text) {
            na = TextToNumber(a.Value.toString());
            if (!na.isValid())
                FailConversion(macroName, a, QStringLiteral("number"));
        } else if (!IsNumber(ka)) {
            na = {};
        }
        if (kb == TKind::Text) {
            nb = TextToNumber(b.Value.toString());
            if (!nb.isValid())
                FailConversion(macroName, b, QStringLiteral("number"));
        } else if (!IsNumber(kb)) {
            nb = {};
        }
        if (na.isValid() && nb.isValid())
            return CompareNumbers(na, nb);
    } else if (ka == TKind::DateTime || kb == TKind::DateTime) {
        QDateTime da;
        QDateTime db;
        if (ka == TKind::Text) {
            da = TextToDateTime(a.Value.toString());
            if (!da.isValid())
                FailConversion(macroName, a, QStringLiteral("date"));
        } else if (ka == TKind::DateTime) {
            da = a.Value.toDateTime();
        }
        if (kb == TKind::Text) {
            db = TextToDateTime(b.Value.toString());
            if (!db.isValid())
                FailConversion(macroName, b, QStringLiteral("date"));
        } else if (kb == TKind::DateTime) {
            db = b.Value.toDateTime();
        }
        if (da.isValid() && db.isValid())
            return Sign(da.toMSecsSinceEpoch(), db.toMSecsSinceEpoch());
    } else if (ka == TKind::Bytes && kb == TKind::Bytes) {
        return Sign(a.Value.toByteArray(), b.Value.toByteArray());
    }
    throw EQVException(QStringLiteral("Macro \"%1\": %2 cannot be compared with %3")
                           .arg(macroName, Describe(a), Describe(b)));
}

TOperand ReadOperand(bool isField, const QString& value, int recNo, const hostapi::TQVRecordSet& table) {
    if (isField)
        return {table.FieldValueAt(recNo, value), value};
    return {QVariant(value), QString()};
}

QString FieldText(const QVariant& v) {
    return hostapi::RegionalSettings::ValueAsText(v);
}

} // namespace

bool IsKnownMacroCondition(int code) {
    return code >= maNONE && code <= maEQLT;
}

// ---- TMacroConditionItem ----------------------------------------------------------------------

TMacroConditionItem::TMacroConditionItem(TMacroItem* AMacroItem) : FOwner(AMacroItem) {}

void TMacroConditionItem::SetValue2IsField(bool value) {
    FValue2IsField = value;
    FChanged = true;
}

void TMacroConditionItem::SetValue1IsField(bool value) {
    FValue1IsField = value;
    FChanged = true;
}

void TMacroConditionItem::SetConditionValue1(const QString& value) {
    FConditionValue1 = value;
    FChanged = true;
}

void TMacroConditionItem::SetMacroValue(const QString& value) {
    FMacroValue = value;
    FChanged = true;
}

void TMacroConditionItem::SetConditionValue2(const QString& value) {
    FConditionValue2 = value;
    FChanged = true;
}

void TMacroConditionItem::SetCondition(TMacroCondition value) {
    FCondition = value;
    FChanged = true;
}

void TMacroConditionItem::SetMacroValueIsField(bool value) {
    FMacroValueIsField = value;
    FChanged = true;
}

bool TMacroConditionItem::Check(int RecNo, const hostapi::TQVRecordSet& DataTable) const {
    const TOperand first = ReadOperand(FValue1IsField, FConditionValue1, RecNo, DataTable);
    const TOperand second = ReadOperand(FValue2IsField, FConditionValue2, RecNo, DataTable);
    if (FCondition == maNONE)
        return true;
    if (!IsKnownMacroCondition(FCondition))
        return false;
    const int c = CompareOperands(FOwner->MacroName(), first, second);
    switch (FCondition) {
    case maEQ:
        return c == 0;
    case maNEQ:
        return c != 0;
    case maGT:
        return c > 0;
    case maLT:
        return c < 0;
    case maEQGT:
        return c >= 0;
    case maEQLT:
        return c <= 0;
    case maNONE:
        break;
    }
    return false;
}

// ---- TMacroItem -------------------------------------------------------------------------------

TMacroItem::TMacroItem(TMacroList* AMacroList) : FOwner(AMacroList) {}

TMacroItem::~TMacroItem() = default;

void TMacroItem::CopyFrom(const TMacroItem& other) {
    FMacroName = other.FMacroName;
    FCaption = other.FCaption;
    FChanged = other.FChanged;
    FDBID = other.FDBID;
    FDeleteID = other.FDeleteID;
    FItems.clear();
    for (const auto& c : other.FItems) {
        auto copy = std::unique_ptr<TMacroConditionItem>(new TMacroConditionItem(*c));
        copy->FOwner = this;
        FItems.push_back(std::move(copy));
    }
}

QString TMacroItem::MacroName() const {
    if (!FMacroName.isEmpty())
        return FMacroName;
    if (FDBID > -1)
        return QStringLiteral("UDF") + QString::number(FDBID);
    return {};
}

void TMacroItem::SetMacroName(const QString& value) {
    FMacroName = value;
    FChanged = true;
}

void TMacroItem::SetCaption(const QString& value) {
    FCaption = value;
    FChanged = true;
}

TMacroConditionItem* TMacroItem::Add() {
    FItems.push_back(std::unique_ptr<TMacroConditionItem>(new TMacroConditionItem(this)));
    return FItems.back().get();
}

TMacroConditionItem* TMacroItem::Items(int index) const {
    QV_ASSERT(index >= 0 && index < Count());
    return FItems[index].get();
}

void TMacroItem::Delete(TMacroConditionItem* AItem) {
    DeleteOwnedItem(FItems, FDeleteID, AItem);
}

qint32 TMacroItem::GetDeleteID(int index) const {
    QV_ASSERT(index >= 0 && index < FDeleteID.size());
    return FDeleteID[index];
}

QString TMacroItem::GetMacroValue(int RecNo, const hostapi::TQVRecordSet& DataTable) const {
    return EvaluateMacro(RecNo, DataTable).Value;
}

TMacroResult TMacroItem::EvaluateMacro(int RecNo, const hostapi::TQVRecordSet& DataTable) const {
    for (const auto& c : FItems) {
        if (!c->Check(RecNo, DataTable))
            continue;
        if (c->MacroValueIsField())
            return {FieldText(DataTable.FieldValueAt(RecNo, c->MacroValue())), true};
        return {c->MacroValue(), false};
    }
    return {};
}

QString TMacroItem::GetAllMacroValuesAsBigStr() const {
    QString result;
    for (const auto& c : FItems)
        if (!c->MacroValueIsField())
            result += c->MacroValue();
    return result;
}

// ---- TMacroList -------------------------------------------------------------------------------

TMacroList::TMacroList() = default;

TMacroList::~TMacroList() = default;

TMacroList::TMacroList(const TMacroList& other) {
    *this = other;
}

TMacroList& TMacroList::operator=(const TMacroList& other) {
    if (this == &other)
        return *this;
    std::vector<std::unique_ptr<TMacroItem>> items;
    items.reserve(other.FItems.size());
    for (const auto& m : other.FItems) {
        auto copy = std::unique_ptr<TMacroItem>(new TMacroItem(this));
        copy->CopyFrom(*m);
        items.push_back(std::move(copy));
    }
    FItems = std::move(items);
    FDeleteID = other.FDeleteID;
    return *this;
}

TMacroList::TMacroList(TMacroList&& other) noexcept
    : FDeleteID(std::move(other.FDeleteID)), FItems(std::move(other.FItems)) {
    AdoptItems();
}

TMacroList& TMacroList::operator=(TMacroList&& other) noexcept {
    if (this != &other) {
        FDeleteID = std::move(other.FDeleteID);
        FItems = std::move(other.FItems);
        AdoptItems();
    }
    return *this;
}

void TMacroList::AdoptItems() {
    for (const auto& m : FItems)
        m->FOwner = this;
}

TMacroItem* TMacroList::Add() {
    FItems.push_back(std::unique_ptr<TMacroItem>(new TMacroItem(this)));
    return FItems.back().get();
}

TMacroItem* TMacroList::Items(int index) const {
    QV_ASSERT(index >= 0 && index < Count());
    return FItems[index].get();
}

TMacroItem* TMacroList::ByName(const QString& AName) const {
    const QString wanted = MacroUpperCase(AName);
    for (const auto& m : FItems)
        if (MacroUpperCase(m->MacroName()) == wanted)
            return m.get();
    return nullptr;
}

void TMacroList::Delete(TMacroItem* AItem) {
    DeleteOwnedItem(FItems, FDeleteID, AItem);
}

qint32 TMacroList::GetDeleteID(int index) const {
    QV_ASSERT(index >= 0 && index < FDeleteID.size());
    return FDeleteID[index];
}

} // namespace emailmarketing
