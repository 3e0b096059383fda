#include "PDFTKDumpParser.h"

#include "FDFPDFWriter.h"
#include "QVException.h"

#include <QStringList>

#include <cctype>

namespace emailmarketing {

namespace {

const QString FieldSeparator = QStringLiteral("---");

// The keys pdftk writes in a field dump; a line starting with one of them and ":" starts a key.
const QStringList DumpKeys = {QStringLiteral("FieldType"),
                              QStringLiteral("FieldName"),
                              QStringLiteral("FieldNameAlt"),
                              QStringLiteral("FieldFlags"),
                              QStringLiteral("FieldValue"),
                              QStringLiteral("FieldValueDefault"),
                              QStringLiteral("FieldJustification"),
                              QStringLiteral("FieldStateOption"),
                              QStringLiteral("FieldStateOptionDisplay"),
                              QStringLiteral("FieldMaxLength")};

// The key a line starts, or an empty text.
QString KeyOf(const QString& ALine) {
    for (const QString& key : DumpKeys)
        if (ALine.startsWith(key) && ALine.size() > key.size() && ALine.at(key.size()) == QLatin1Char(':'))
            return key;
    return {};
}

// The text after "Key:" without the one blank pdftk puts after the colon.
QString TextAfterKey(const QString& ALine, const QString& AKey) {
    QString text = ALine.mid(AKey.size() + 1);
    if (text.startsWith(QLatin1Char(' ')))
        text.remove(0, 1);
    return text;
}

// Index of the first line after the password prompts at the start of ALines. A prompt starts with
// "Please enter the " and ends with the line that ends with "characters:"; after an answer over 32
// characters pdftk adds two lines ("The password you entered was over 32 characters long," and
// "   so I am dropping: ...").
qsizetype SkipPasswordPrompts(const QStringList& ALines) {
    qsizetype index = 0;
    while (index < ALines.size()) {
        if (ALines.at(index).startsWith(QLatin1String("The password you entered was over ")) &&
            index + 1 < ALines.size() &&
            ALines.at(index + 1).startsWith(QLatin1String("   so I am dropping: "))) {
            index += 2;
            continue;
        }
        if (!ALines.at(index).startsWith(QLatin1String("Please enter the ")))
            break;
        qsizetype end = index;
        while (end < ALines.size() && !ALines.at(end).endsWith(QLatin1String("characters:")))
            ++end;
        if (end == ALines.size())
            return index;
        index = end + 1;
    }
    return index;
}

// The output itself stays out of the text: it holds field values and the password prompts.
[[noreturn]] void ThrowInvalid(const QString& AReason) {
    throw hostapi::EQVException(QStringLiteral("pdftk.exe Output seems to be invalid! (%1)").arg(AReason));
}

// Collects one field's key lines and applies them to the field.
class FieldBuilder {
public:
    explicit FieldBuilder(TFDFField& AField) : FField(AField) {}

    void StartKey(const QString& AKey, const QString& AText) {
        Apply();
        FKey = AKey;
        FText = AText;
    }
    void ContinueKey(const QString& ALine) {
        if (!FKey.isEmpty())
            FText += QLatin1Char('\n') + ALine;
    }
    void Apply() {
        if (FKey == QLatin1String("FieldName")) {
            FField.SetKeyName(DecodeFieldText(FText));
        } else if (FKey == QLatin1String("FieldValue")) {
            FField.SetValue(DecodeFieldText(FText));
            FTakesDefault = false;
        } else if (FKey == QLatin1String("FieldType")) {
            FField.SetFieldType(FText.trimmed());
        } else if (FKey == QLatin1String("FieldValueDefault") && FTakesDefault) {
            FField.SetValue(DecodeFieldText(FText));
        }
        FKey.clear();
        FText.clear();
    }

private:
    TFDFField& FField;
    QString FKey;
    QString FText;
    bool FTakesDefault = true;
};

} // namespace

void ParseDumpDataFields(const QByteArray& AOutput, TFDFWriter& AWriter) {
    AWriter.Clear();
    const QString output = QString::fromUtf8(AOutput);
    QStringList lines = output.split(QLatin1Char('\n'));
    // The break after the last line ends it; it starts no line of its own.
    if (output.isEmpty() || output.endsWith(QLatin1Char('\n')))
        lines.removeLast();
    std::optional<FieldBuilder> field;
    try {
        for (qsizetype i = SkipPasswordPrompts(lines); i < lines.size(); ++i) {
            const QString& line = lines.at(i);
            if (line == FieldSeparator) {
                if (field)
                    field->Apply();
                field.emplace(*AWriter.AddField(QString(), QString(), QString()));
                continue;
            }
            if (!field)
                ThrowInvalid(QStringLiteral("line %1 comes before the first field").arg(i + 1));
            const QString key = KeyOf(line);
            if (key.isEmpty())
                field->ContinueKey(line);
            else
                field->StartKey(key, TextAfterKey(line, key));
        }
        if (field)
            field->Apply();
    } catch (const hostapi::EQVException& e) {
        if (e.Message().startsWith(QLatin1String("pdftk.exe Output seems to be invalid!")))
            throw;
        ThrowInvalid(e.Message());
    }
}

QString DecodeFieldText(const QString& AText) {
    return DecodeEntities(AText, !AText.contains(QLatin1String("&#10;")));
}

QString DecodeEntities(const QString& AText, bool ACRToCRLF) {
    QString result;
    result.reserve(AText.size());
    qsizetype pos = 0;
    while (pos < AText.size()) {
        const qsizetype amp = AText.indexOf(QLatin1Char('&'), pos);
        if (amp < 0)
            break;
        result += QStringView(AText).mid(pos, amp - pos);
        const qsizetype semicolon = AText.indexOf(QLatin1Char(';'), amp + 1);
        const std::optional<QString> decoded =
            semicolon < 0 ? std::nullopt : DecodeEntity(AText.mid(amp + 1, semicolon - amp - 1), ACRToCRLF);
        if (decoded) {
            result += *decoded;
            pos = semicolon + 1;
        } else {
            result += QLatin1Char('&');
            pos = amp + 1;
        }
    }
    result += QStringView(AText).mid(pos);
    return result;
}

std::optional<QString> DecodeEntity(const QString& AEntity, bool ACRToCRLF) {
    if (AEntity.startsWith(QLatin1Char('#'))) {
        const bool hex = AEntity.startsWith(QLatin1String("#x"), Qt::CaseInsensitive);
        const QString digits = AEntity.mid(hex ? 2 : 1);
        bool ok = !digits.isEmpty() && digits.size() <= 8;
        for (const QChar c : digits)
            ok = ok && c.unicode() < 0x80 && (hex ? std::isxdigit(c.unicode()) : std::isdigit(c.unicode()));
        const char32_t code = ok ? digits.toUInt(&ok, hex ? 16 : 10) : 0;
        if (!ok || code > 0x10FFFF)
            throw hostapi::EQVException(QStringLiteral("invalid character reference \"&%1;\"").arg(AEntity));
        if (code == 13 && ACRToCRLF)
            return QStringLiteral("\r\n");
        if (code > 0xFFFF)
            return QString::fromUcs4(&code, 1);
        return QString(QChar(static_cast<char16_t>(code)));
    }
    if (AEntity == QLatin1String("gt"))
        return QStringLiteral(">");
    if (AEntity == QLatin1String("lt"))
        return QStringLiteral("<");
    if (AEntity == QLatin1String("amp"))
        return QStringLiteral("&");
    if (AEntity == QLatin1String("quot"))
        return QStringLiteral("\"");
    if (AEntity == QLatin1String("apos"))
        return QStringLiteral("'");
    return std::nullopt;
}

} // namespace emailmarketing
