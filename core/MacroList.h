#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace hostapi {
class TQVRecordSet;
}

namespace emailmarketing {

// Comparison of a conditional macro; the ordinal is stored in "emlconditions"."condition".
enum TMacroCondition : int { maNONE = 0, maEQ = 1, maNEQ = 2, maGT = 3, maLT = 4, maEQGT = 5, maEQLT = 6 };

// True for the ordinals maNONE..maEQLT. A stored code outside them makes its condition false; the
// loader reports it once.
bool IsKnownMacroCondition(int code);

class TMacroList;
class TMacroItem;

// A macro's value for one record, and whether it is a field's value (recipient data) rather than
// the macro's own literal text.
struct TMacroResult {
    QString Value;
    bool FromField = false;
};

// One condition of a macro: "first operand <Condition> second operand", each operand a literal or
// the name of a recipient field, and the result (a literal or a field name) used when it holds.
// Every property setter marks the condition changed; DBID and Changed are plain.
class TMacroConditionItem {
public:
    TMacroItem* Owner() const { return FOwner; }

    bool Value2IsField() const { return FValue2IsField; }
    void SetValue2IsField(bool value);
    bool Value1IsField() const { return FValue1IsField; }
    void SetValue1IsField(bool value);
    QString ConditionValue1() const { return FConditionValue1; }
    void SetConditionValue1(const QString& value);
    QString MacroValue() const { return FMacroValue; }
    void SetMacroValue(const QString& value);
    QString ConditionValue2() const { return FConditionValue2; }
    void SetConditionValue2(const QString& value);
    TMacroCondition Condition() const { return FCondition; }
    void SetCondition(TMacroCondition value);
    bool MacroValueIsField() const { return FMacroValueIsField; }
    void SetMacroValueIsField(bool value);
    qint32 DBID() const { return FDBID; }
    void SetDBID(qint32 value) { FDBID = value; }
    bool Changed() const { return FChanged; }
    void SetChanged(bool value) { FChanged = value; }

    // Whether the condition holds for record RecNo of DataTable. maNONE always holds (both operands
    // are still read); an unknown Condition never holds. A field operand is the field's typed value
    // (an empty field is null), a literal operand is its text, never trimmed.
    //
    // Typed comparison, the same for all six operators:
    // - null equals only null or empty text and sorts below every other value; an empty text
    //   compared with a number or a date-time counts as null;
    // - text against text: case-sensitive, by Unicode code point;
    // - number against number: as integers when both are, else as floating point;
    // - text against a number: the text is converted; it takes an optional sign, digits and at most
    //   one decimal separator, "." or ",", followed by digits; no thousands separators ("1.000" is
    //   one), no blanks, no exponent;
    // - text against a date-time: the text is converted from ISO 8601 ("2024-03-15",
    //   "2024-03-15T10:30:00") or a German form ("15.03.2024", "15.03.2024 10:30",
    //   "15.03.2024 10:30:45"), as local time;
    // - bytes compare only with bytes.
    // A text that does not convert, or operands of types that do not compare (a number against a
    // date-time), raise hostapi::EQVException naming the macro and the operand.
    bool Check(int RecNo, const hostapi::TQVRecordSet& DataTable) const;

private:
    friend class TMacroItem;
    explicit TMacroConditionItem(TMacroItem* AMacroItem);
    TMacroConditionItem(const TMacroConditionItem&) = default;
    TMacroConditionItem& operator=(const TMacroConditionItem&) = delete;

    TMacroItem* FOwner;
    bool FValue2IsField = false;
    bool FValue1IsField = false;
    QString FConditionValue1;
    QString FMacroValue;
    QString FConditionValue2;
    TMacroCondition FCondition = maNONE;
    bool FMacroValueIsField = false;
    qint32 FDBID = -1;
    bool FChanged = false;
};

// A macro of a list or of a data schema: an ordered list of conditions it owns, and the ids of
// conditions deleted since the last save.
class TMacroItem {
public:
    ~TMacroItem();
    TMacroItem(const TMacroItem&) = delete;
    TMacroItem& operator=(const TMacroItem&) = delete;

    TMacroList* Owner() const { return FOwner; }

    // The stored name; for a saved macro without a name "UDF" + DBID, for an unsaved one empty.
    QString MacroName() const;
    void SetMacroName(const QString& value);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);
    bool Changed() const { return FChanged; }
    void SetChanged(bool value) { FChanged = value; }
    qint32 DBID() const { return FDBID; }
    void SetDBID(qint32 value) { FDBID = value; }

    // A new condition owned by this macro, appended.
    TMacroConditionItem* Add();
    int Count() const { return static_cast<int>(FItems.size()); }
    TMacroConditionItem* Items(int index) const;
    // Frees AItem; a saved one's id is remembered for the next save. Not ours: ignored.
    void Delete(TMacroConditionItem* AItem);
    int DeleteIDCount() const { return FDeleteID.size(); }
    qint32 GetDeleteID(int index) const;
    void ClearDeleteID() { FDeleteID.clear(); }

    // The result of the first condition that holds for record RecNo of DataTable: its literal, or
    // the named field's value as text by the regional settings (an empty field gives the empty
    // text). Empty when none holds. Conversion failures of a condition propagate.
    QString GetMacroValue(int RecNo, const hostapi::TQVRecordSet& DataTable) const;
    // The same, telling whether the value came from a field.
    TMacroResult EvaluateMacro(int RecNo, const hostapi::TQVRecordSet& DataTable) const;
    // The literal results of all conditions, concatenated in order; field results are left out.
    QString GetAllMacroValuesAsBigStr() const;

private:
    friend class TMacroList;
    explicit TMacroItem(TMacroList* AMacroList);
    void CopyFrom(const TMacroItem& other);

    TMacroList* FOwner;
    QString FMacroName;
    QString FCaption;
    bool FChanged = false;
    qint32 FDBID = -1;
    QList<qint32> FDeleteID;
    std::vector<std::unique_ptr<TMacroConditionItem>> FItems;
};

// The macros of a list or a data schema. Owns its macros; copies are deep (each copy owns its own
// macros and conditions), so a reader can take a snapshot while the original is edited.
class TMacroList {
public:
    TMacroList();
    ~TMacroList();
    TMacroList(const TMacroList& other);
    TMacroList& operator=(const TMacroList& other);
    TMacroList(TMacroList&& other) noexcept;
    TMacroList& operator=(TMacroList&& other) noexcept;

    // A new macro owned by this list, appended.
    TMacroItem* Add();
    int Count() const { return static_cast<int>(FItems.size()); }
    TMacroItem* Items(int index) const;
    // The first macro whose MacroName (generated names included) equals AName, both upper-cased
    // with the locale's rules; nullptr when none.
    TMacroItem* ByName(const QString& AName) const;
    // Frees AItem; a saved one's id is remembered for the next save. Not ours: ignored.
    void Delete(TMacroItem* AItem);
    int DeleteIDCount() const { return FDeleteID.size(); }
    qint32 GetDeleteID(int index) const;
    void ClearDeleteID() { FDeleteID.clear(); }

private:
    void AdoptItems();

    QList<qint32> FDeleteID;
    std::vector<std::unique_ptr<TMacroItem>> FItems;
};

} // namespace emailmarketing
