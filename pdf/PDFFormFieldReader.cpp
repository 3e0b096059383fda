#include "PDFFormFieldReader.h"

#include "FDFPDFWriter.h"
#include "QVException.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace emailmarketing {

namespace {

constexpr int MaxDepth = 64;

struct PdfValue {
    enum Kind { Null, Boolean, Number, String, Name, Array, Dictionary, Reference, Keyword };
    Kind Type = Null;
    QByteArray Bytes; // string bytes, name, number or keyword text
    std::vector<PdfValue> Items;
    std::vector<std::pair<QByteArray, PdfValue>> Entries;
    int Object = 0; // of a reference
    bool HasStream = false;

    const PdfValue* Get(const QByteArray& AKey) const {
        for (const auto& entry : Entries)
            if (entry.first == AKey)
                return &entry.second;
        return nullptr;
    }
};

[[noreturn]] void Fail(const QString& AReason) {
    throw hostapi::EQVException(
        QStringLiteral("The form fields of the PDF cannot be read: %1.").arg(AReason));
}

bool IsWhite(char c) {
    return c == 0 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

bool IsDelimiter(char c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' ||
           c == '/' || c == '%';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads PDF objects from the bytes of a file.
class Lexer {
public:
    explicit Lexer(const QByteArray& AData) : FData(AData) {}

    bool AtEnd() {
        SkipWhite();
        return FPos >= FData.size();
    }
    qsizetype Pos() const { return FPos; }
    void SetPos(qsizetype APos) { FPos = APos; }

    // One value; a lone keyword (obj, endobj, stream, R, ...) comes back as Keyword.
    PdfValue Read(int ADepth = 0) {
        if (ADepth > MaxDepth)
            Fail(QStringLiteral("objects nested deeper than %1 levels").arg(MaxDepth));
        SkipWhite();
        PdfValue value;
        if (FPos >= FData.size())
            return value;
        const char c = FData.at(FPos);
        if (c == '(') {
            value.Type = PdfValue::String;
            value.Bytes = ReadLiteralString();
        } else if (c == '<' && Peek(1) == '<') {
            FPos += 2;
            value.Type = PdfValue::Dictionary;
            while (true) {
                SkipWhite();
                if (FPos >= FData.size())
                    break;
                if (FData.at(FPos) == '>' && Peek(1) == '>') {
                    FPos += 2;
                    break;
                }
                PdfValue key = Read(ADepth + 1);
                if (key.Type != PdfValue::Name)
                    continue; // damaged: skip what is no key
                value.Entries.emplace_back(key.Bytes, ReadOperand(ADepth + 1));
            }
        } else if (c == '<') {
            value.Type = PdfValue::String;
            value.Bytes = ReadHexString();
        } else if (c == '[') {
            ++FPos;
            value.Type = PdfValue::Array;
            while (true) {
                SkipWhite();
                if (FPos >= FData.size())
                    break;
                if (FData.at(FPos) == ']') {
                    ++FPos;
                    break;
                }
                value.Items.push_back(ReadOperand(ADepth + 1));
            }
        } else if (c == '/') {
            ++FPos;
            value.Type = PdfValue::Name;
            value.Bytes = ReadName();
        } else if (c == ')' || c == '>' || c == ']' || c == '{' || c == '}') {
            ++FPos; // a stray delimiter
            value.Type = PdfValue::Keyword;
        } else {
            const QByteArray word = ReadWord();
            if (word.isEmpty()) {
                ++FPos;
                value.Type = PdfValue::Keyword;
            } else if (word == "true" || word == "false") {
                value.Type = PdfValue::Boolean;
                value.Bytes = word;
            } else if (word == "null") {
                value.Type = PdfValue::Null;
            } else if (IsNumber(word)) {
                value.Type = PdfValue::Number;
                value.Bytes = word;
            } else {
                value.Type = PdfValue::Keyword;
                value.Bytes = word;
            }
        }
        return value;
    }

    // A value inside an array or dictionary: "n g R" is one reference. The look-ahead reads plain
    // words only, so nested values are never read twice.
    PdfValue ReadOperand(int ADepth) {
        PdfValue value = Read(ADepth);
        if (value.Type != PdfValue::Number || !IsInteger(value.Bytes))
            return value;
        const qsizetype mark = FPos;
        SkipWhite();
        const QByteArray generation = ReadWord();
        SkipWhite();
        if (IsInteger(generation) && ReadWord() == "R") {
            PdfValue reference;
            reference.Type = PdfValue::Reference;
            reference.Object = value.Bytes.toInt();
            return reference;
        }
        FPos = mark;
        return value;
    }

    // After the keyword "stream" of a dictionary with ALength (-1: unknown): moves past "endstream".
    void SkipStream(qint64 ALength) {
        if (Peek(0) == '\r')
            ++FPos;
        if (Peek(0) == '\n')
            ++FPos;
        const qsizetype start = FPos;
        if (ALength >= 0 && start + ALength <= FData.size()) {
            qsizetype end = start + ALength;
            while (end < FData.size() && IsWhite(FData.at(end)))
                ++end;
            if (FData.mid(end, 9) == "endstream") {
                FPos = end + 9;
                return;
            }
        }
        const qsizetype end = FData.indexOf("endstream", start);
        FPos = end < 0 ? FData.size() : end + 9;
    }

private:
    char Peek(qsizetype AOffset) const {
        return FPos + AOffset < FData.size() ? FData.at(FPos + AOffset) : '\0';
    }

    void SkipWhite() {
        while (FPos < FData.size()) {
            const char c = FData.at(FPos);
            if (IsWhite(c)) {
                ++FPos;
            } else if (c == '%') {
                while (FPos < FData.size() && FData.at(FPos) != '\n' && FData.at(FPos) != '\r')
                    ++FPos;
            } else {
                break;
            }
        }
    }

    QByteArray ReadWord() {
        const qsizetype start = FPos;
        while (FPos < FData.size() && !IsWhite(FData.at(FPos)) && !IsDelimiter(FData.at(FPos)))
            ++FPos;
        return FData.mid(start, FPos - start);
    }

    QByteArray ReadName() {
        QByteArray name;
        for (const char c : ReadWord()) {
            name += c;
            const qsizetype n = name.size();
            if (n >= 3 && name.at(n - 3) == '#' && HexDigit(name.at(n - 2)) >= 0 &&
                HexDigit(name.at(n - 1)) >= 0) {
                const char decoded =
                    static_cast<char>(HexDigit(name.at(n - 2)) * 16 + HexDigit(name.at(n - 1)));
                name.chop(3);
                name += decoded;
            }
        }
        return name;
    }

    QByteArray ReadLiteralString() {
        QByteArray text;
        ++FPos; // "("
        int nesting = 1;
        while (FPos < FData.size()) {
            char c = FData.at(FPos++);
            if (c == '(') {
                ++nesting;
            } else if (c == ')') {
                if (--nesting == 0)
                    break;
            } else if (c == '\r') {
                // An end of line in a string is a line feed, whatever its form.
                if (Peek(0) == '\n')
                    ++FPos;
                c = '\n';
            } else if (c == '\\' && FPos < FData.size()) {
                c = FData.at(FPos++);
                switch (c) {
                case 'n':
                    c = '\n';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'b':
                    c = '\b';
                    break;
                case 'f':
                    c = '\f';
                    break;
                case '\r':
                    if (Peek(0) == '\n')
                        ++FPos;
                    continue; // a continued line
                case '\n':
                    continue;
                default:
                    if (c >= '0' && c <= '7') {
                        int code = c - '0';
                        for (int i = 0; i < 2 && Peek(0) >= '0' && Peek(0) <= '7'; ++i)
                            code = code * 8 + (FData.at(FPos++) - '0');
                        c = static_cast<char>(code & 0xFF);
                    }
                    break; // "\(", "\)", "\\" and any other character stand for themselves
                }
            }
            text += c;
        }
        return text;
    }

    QByteArray ReadHexString() {
        QByteArray bytes;
        ++FPos; // "<"
        int high = -1;
        while (FPos < FData.size()) {
            const char c = FData.at(FPos++);
            if (c == '>')
                break;
            const int digit = HexDigit(c);
            if (digit < 0)
                continue;
            if (high < 0) {
                high = digit;
            } else {
                bytes += static_cast<char>(high * 16 + digit);
                high = -1;
            }
        }
        if (high >= 0)
            bytes += static_cast<char>(high * 16);
        return bytes;
    }

    static bool IsNumber(const QByteArray& AWord) {
        bool ok = false;
        AWord.toDouble(&ok);
        return ok && (AWord.at(0) == '-' || AWord.at(0) == '+' || AWord.at(0) == '.' ||
                      (AWord.at(0) >= '0' && AWord.at(0) <= '9'));
    }
    static bool IsInteger(const QByteArray& AWord) {
        bool ok = false;
        AWord.toLongLong(&ok);
        return ok;
    }

    const QByteArray& FData;
    qsizetype FPos = 0;
};

// PDFDocEncoding where it differs from Latin-1 (0x18 to 0x1F and 0x80 to 0x9F; 0x7F and 0x9F and
// 0xAD have no character and stay as they are).
char16_t PdfDocCharacter(unsigned char c) {
    static const char16_t Low[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
    static const char16_t High[32] = {0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044,
                                      0x2039, 0x203A, 0x2212, 0x2030, 0x201E, 0x201C, 0x201D, 0x2018,
                                      0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141, 0x0152, 0x0160,
                                      0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0x009F};
    if (c >= 0x18 && c <= 0x1F)
        return Low[c - 0x18];
    if (c >= 0x80 && c <= 0x9F)
        return High[c - 0x80];
    if (c == 0xA0)
        return 0x20AC;
    return c;
}

QString TextString(const QByteArray& ABytes) {
    if (ABytes.startsWith("\xFE\xFF")) {
        QString text;
        for (qsizetype i = 2; i + 1 < ABytes.size(); i += 2)
            text += QChar(static_cast<char16_t>((static_cast<unsigned char>(ABytes.at(i)) << 8) |
                                                static_cast<unsigned char>(ABytes.at(i + 1))));
        return text;
    }
    if (ABytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(ABytes.mid(3));
    QString text;
    text.reserve(ABytes.size());
    for (const char c : ABytes)
        text += QChar(PdfDocCharacter(static_cast<unsigned char>(c)));
    return text;
}

QString FieldTypeName(const QByteArray& AType) {
    if (AType == "Tx")
        return QStringLiteral("Text");
    if (AType == "Btn")
        return QStringLiteral("Button");
    if (AType == "Ch")
        return QStringLiteral("Choice");
    if (AType == "Sig")
        return QStringLiteral("Signature");
    return QString::fromLatin1(AType);
}

class FieldTree {
public:
    FieldTree(const QHash<int, PdfValue>& AObjects, TFDFWriter& AWriter)
        : FObjects(AObjects), FWriter(AWriter) {}

    const PdfValue& Resolve(const PdfValue& AValue) const {
        static const PdfValue Missing;
        const PdfValue* value = &AValue;
        for (int hops = 0; value->Type == PdfValue::Reference; ++hops) {
            const auto it = FObjects.constFind(value->Object);
            if (it == FObjects.constEnd() || hops > MaxDepth)
                return Missing;
            value = &it.value();
        }
        return *value;
    }
    const PdfValue* Entry(const PdfValue& ADictionary, const QByteArray& AKey) const {
        const PdfValue* entry = ADictionary.Get(AKey);
        return entry ? &Resolve(*entry) : nullptr;
    }

    struct Inherited {
        QString Name;
        const PdfValue* Value = nullptr;
        const PdfValue* Default = nullptr;
        QByteArray Type;
    };

    void Walk(const PdfValue& ANode, const Inherited& AParent, int ADepth) {
        if (ADepth > MaxDepth)
            Fail(QStringLiteral("the field tree is deeper than %1 levels").arg(MaxDepth));
        const PdfValue& node = Resolve(ANode);
        if (node.Type != PdfValue::Dictionary)
            return;
        if (ANode.Type == PdfValue::Reference) {
            if (FOnPath.contains(ANode.Object))
                Fail(QStringLiteral("the field tree refers to itself"));
            FOnPath.insert(ANode.Object);
        }
        Inherited own = AParent;
        if (const PdfValue* t = Entry(node, "T"); t && t->Type == PdfValue::String) {
            const QString partial = TextString(t->Bytes);
            own.Name = AParent.Name.isEmpty() ? partial : AParent.Name + QLatin1Char('.') + partial;
        }
        if (const PdfValue* v = Entry(node, "V"); v && v->Type != PdfValue::Null)
            own.Value = v;
        if (const PdfValue* dv = Entry(node, "DV"); dv && dv->Type != PdfValue::Null)
            own.Default = dv;
        if (const PdfValue* ft = Entry(node, "FT"); ft && ft->Type == PdfValue::Name)
            own.Type = ft->Bytes;

        // Kids with a partial name are fields; kids without one are the field's widgets.
        std::vector<const PdfValue*> fieldKids;
        if (const PdfValue* kids = Entry(node, "Kids"); kids && kids->Type == PdfValue::Array)
            for (const PdfValue& kid : kids->Items)
                if (const PdfValue& k = Resolve(kid); k.Type == PdfValue::Dictionary && k.Get("T"))
                    fieldKids.push_back(&kid);
        if (fieldKids.empty()) {
            const PdfValue* value = own.Value ? own.Value : own.Default;
            FWriter.AddField(own.Name, value ? ValueText(*value) : QString(), FieldTypeName(own.Type));
        } else {
            for (const PdfValue* kid : fieldKids)
                Walk(*kid, own, ADepth + 1);
        }
        if (ANode.Type == PdfValue::Reference)
            FOnPath.remove(ANode.Object);
    }

private:
    QString ValueText(const PdfValue& AValue) const {
        switch (AValue.Type) {
        case PdfValue::String:
            return TextString(AValue.Bytes);
        case PdfValue::Name:
            return QString::fromUtf8(AValue.Bytes);
        case PdfValue::Number:
        case PdfValue::Boolean:
            return QString::fromLatin1(AValue.Bytes);
        case PdfValue::Array:
            return AValue.Items.empty() ? QString() : ValueText(Resolve(AValue.Items.front()));
        default:
            return {}; // a rich-text stream or anything else
        }
    }

    const QHash<int, PdfValue>& FObjects;
    TFDFWriter& FWriter;
    QSet<int> FOnPath;
};

} // namespace

void ReadPDFFormFields(const QByteArray& APDF, TFDFWriter& AWriter) {
    AWriter.Clear();
    if (!APDF.contains("%PDF-"))
        Fail(QStringLiteral("the file is not a PDF"));
    Lexer lexer(APDF);
    QHash<int, PdfValue> objects;
    std::optional<PdfValue> trailer;
    // Top level: "n g obj value [stream ... endstream] endobj", the cross-reference table and the
    // trailer; anything else is passed over.
    std::vector<PdfValue> recent;
    while (!lexer.AtEnd()) {
        PdfValue token = lexer.Read();
        if (token.Type == PdfValue::Keyword && token.Bytes == "obj" && recent.size() >= 2 &&
            recent[recent.size() - 2].Type == PdfValue::Number && recent.back().Type == PdfValue::Number) {
            const int number = recent[recent.size() - 2].Bytes.toInt();
            PdfValue value = lexer.ReadOperand(0);
            const qsizetype afterValue = lexer.Pos();
            const PdfValue next = lexer.Read();
            if (next.Type == PdfValue::Keyword && next.Bytes == "stream") {
                const PdfValue* length = value.Get("Length");
                lexer.SkipStream(length && length->Type == PdfValue::Number ? length->Bytes.toLongLong()
                                                                            : -1);
                value.HasStream = true;
            } else if (!(next.Type == PdfValue::Keyword && next.Bytes == "endobj")) {
                lexer.SetPos(afterValue);
            }
            objects.insert(number, std::move(value));
            recent.clear();
            continue;
        }
        if (token.Type == PdfValue::Keyword && token.Bytes == "trailer") {
            PdfValue dictionary = lexer.Read();
            if (dictionary.Type == PdfValue::Dictionary)
                trailer = std::move(dictionary);
            recent.clear();
            continue;
        }
        recent.push_back(std::move(token));
        if (recent.size() > 2)
            recent.erase(recent.begin());
    }

    FieldTree tree(objects, AWriter);
    const PdfValue* catalog = nullptr;
    if (trailer)
        if (const PdfValue* root = tree.Entry(*trailer, "Root"); root && root->Type == PdfValue::Dictionary)
            catalog = root;
    if (!catalog)
        for (const PdfValue& object : std::as_const(objects))
            if (const PdfValue* type = object.Get("Type");
                type && type->Type == PdfValue::Name && type->Bytes == "Catalog")
                catalog = &object;
    if (!catalog)
        Fail(QStringLiteral("the PDF has no catalog"));
    const PdfValue* form = tree.Entry(*catalog, "AcroForm");
    if (!form || form->Type != PdfValue::Dictionary)
        return;
    const PdfValue* fields = tree.Entry(*form, "Fields");
    if (!fields || fields->Type != PdfValue::Array)
        return;
    for (const PdfValue& field : fields->Items)
        tree.Walk(field, {}, 0);
}

} // namespace emailmarketing
