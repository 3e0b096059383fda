#pragma once

#include <QIODevice>
#include <QString>

#include <memory>
#include <vector>

namespace emailmarketing {

// One form field: its full name (written as /T), its value (/V) and the field type of the pdftk
// field dump (kept, never written).
class TFDFField {
public:
    TFDFField(const QString& AKeyName, const QString& AValue, const QString& AFieldType);

    QString Value() const { return FValue; }
    void SetValue(const QString& Value) { FValue = Value; }
    QString KeyName() const { return FKeyName; }
    void SetKeyName(const QString& Value) { FKeyName = Value; }
    QString FieldType() const { return FFieldType; }
    void SetFieldType(const QString& Value) { FFieldType = Value; }

private:
    QString FValue;
    QString FKeyName;
    QString FFieldType;
};

// The form fields of one PDF form, in insertion order, written as an FDF 1.2 file that pdftk
// merges into the form. A string of ASCII characters is written as its bytes; a string with any
// other character as UTF-16BE with a byte-order mark (the PDF text-string encoding), so names and
// values keep every character. Both are escaped the same way (parentheses, backslash, CR, LF).
class TFDFWriter {
public:
    TFDFWriter();
    ~TFDFWriter();
    TFDFWriter(const TFDFWriter&) = delete;
    TFDFWriter& operator=(const TFDFWriter&) = delete;

    // Appends a field (duplicate names are allowed) and answers it; the writer owns it.
    TFDFField* AddField(const QString& AKeyName, const QString& AValue, const QString& AFieldType);
    // The first field named exactly AKeyName (letter case counts); nullptr when there is none.
    TFDFField* FieldByName(const QString& AKeyName) const;
    // Field AIndex (0-based); an index out of range throws.
    TFDFField* GetField(int AIndex) const;
    int Count() const { return static_cast<int>(FFields.size()); }
    // Removes every field; RefrencedPDFFile stays.
    void Clear();
    // Copies RefrencedPDFFile and every field of ASource.
    void Assign(const TFDFWriter& ASource);

    // Path of the PDF form the data belongs to, written as /F (with "/" for every "\"); an empty
    // path writes no /F entry.
    QString RefrencedPDFFile() const { return FRefrencedPDFFile; }
    void SetRefrencedPDFFile(const QString& Value) { FRefrencedPDFFile = Value; }

    // Writes the FDF file to an open device; a failed write throws.
    void SaveToStream(QIODevice& AStream) const;
    // Creates or overwrites AFileName (an existing file keeps its permissions); throws with the path
    // and the reason when it cannot be written.
    void SaveToFile(const QString& AFileName) const;

    // A PDF string: "(" + escaped bytes + ")"; the bytes are ASCII, or UTF-16BE with byte-order mark
    // when AText holds any other character.
    static QByteArray EncodeString(const QString& AText);

private:
    QByteArray Bytes() const;

    std::vector<std::unique_ptr<TFDFField>> FFields;
    QString FRefrencedPDFFile;
};

} // namespace emailmarketing
