#include "FDFPDFWriter.h"

#include "QVException.h"

#include <QFile>

namespace emailmarketing {

namespace {

const QByteArray CRLF = QByteArrayLiteral("\r\n");

bool IsAscii(const QString& AText) {
    for (const QChar c : AText)
        if (c.unicode() > 0x7F)
            return false;
    return true;
}

QByteArray Escape(const QByteArray& ABytes) {
    QByteArray result;
    result.reserve(ABytes.size() + 8);
    for (const char c : ABytes) {
        switch (c) {
        case '(':
            result.append("\\(");
            break;
        case ')':
            result.append("\\)");
            break;
        case '\\':
            result.append("\\\\");
            break;
        case '\n':
            result.append("\\n");
            break;
        case '\r':
            result.append("\\r");
            break;
        default:
            result.append(c);
        }
    }
    return result;
}

QByteArray Key(const char* AName) {
    return QByteArray("/") + AName;
}

} // namespace

TFDFField::TFDFField(const QString& AKeyName, const QString& AValue, const QString& AFieldType)
    : FValue(AValue), FKeyName(AKeyName), FFieldType(AFieldType) {}

TFDFWriter::TFDFWriter() = default;

TFDFWriter::~TFDFWriter() = default;

TFDFField* TFDFWriter::AddField(const QString& AKeyName, const QString& AValue, const QString& AFieldType) {
    FFields.push_back(std::make_unique<TFDFField>(AKeyName, AValue, AFieldType));
    return FFields.back().get();
}

TFDFField* TFDFWriter::FieldByName(const QString& AKeyName) const {
    for (const auto& field : FFields)
        if (field->KeyName() == AKeyName)
            return field.get();
    return nullptr;
}

TFDFField* TFDFWriter::GetField(int AIndex) const {
    if (AIndex < 0 || AIndex >= Count())
        throw hostapi::EQVException(
            QStringLiteral("Field index %1 out of bounds (%2 fields)").arg(AIndex).arg(Count()));
    return FFields[static_cast<size_t>(AIndex)].get();
}

void TFDFWriter::Clear() {
    FFields.clear();
}

void TFDFWriter::Assign(const TFDFWriter& ASource) {
    if (&ASource == this)
        return;
    FRefrencedPDFFile = ASource.FRefrencedPDFFile;
    Clear();
    for (const auto& field : ASource.FFields)
        AddField(field->KeyName(), field->Value(), field->FieldType());
}

QByteArray TFDFWriter::EncodeString(const QString& AText) {
    QByteArray bytes;
    if (IsAscii(AText)) {
        bytes = AText.toLatin1();
    } else {
        bytes.reserve(2 + 2 * AText.size());
        bytes.append('\xFE').append('\xFF');
        for (const QChar c : AText)
            bytes.append(static_cast<char>(c.unicode() >> 8)).append(static_cast<char>(c.unicode() & 0xFF));
    }
    return '(' + Escape(bytes) + ')';
}

QByteArray TFDFWriter::Bytes() const {
    QByteArray out;
    out += "%FDF-1.2";
    out += CRLF + "1 0 obj";
    out += " << ";
    out += CRLF;
    out += Key("FDF");
    out += " << ";
    out += Key("Fields");
    out += " [ ";
    out += CRLF;
    for (const auto& field : FFields) {
        out += " << ";
        out += Key("T") + EncodeString(field->KeyName());
        out += Key("V") + EncodeString(field->Value());
        out += ">> " + CRLF;
    }
    out += " ] ";
    // Without a path the entry is left out: a key without value is not valid FDF.
    if (!FRefrencedPDFFile.isEmpty()) {
        QString path = FRefrencedPDFFile;
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        out += Key("F") + EncodeString(path);
    }
    out += ">> " + CRLF + ">> " + CRLF;
    out += "endobj" + CRLF;
    out += "trailer" + CRLF + "<<" + CRLF + "/Root 1 0 R" + CRLF + ">>" + CRLF;
    out += "%%EOF";
    return out;
}

void TFDFWriter::SaveToStream(QIODevice& AStream) const {
    const QByteArray out = Bytes();
    if (AStream.write(out) != out.size())
        throw hostapi::EQVException(
            QStringLiteral("Cannot write the FDF data: %1").arg(AStream.errorString()));
}

void TFDFWriter::SaveToFile(const QString& AFileName) const {
    QFile file(AFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw hostapi::EQVException(
            QStringLiteral("Cannot write the FDF file \"%1\": %2").arg(AFileName, file.errorString()));
    const QByteArray out = Bytes();
    if (file.write(out) != out.size() || !file.flush())
        throw hostapi::EQVException(
            QStringLiteral("Cannot write the FDF file \"%1\": %2").arg(AFileName, file.errorString()));
}

} // namespace emailmarketing
