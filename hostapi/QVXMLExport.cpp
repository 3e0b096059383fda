#include "QVXMLExport.h"

#include "DBFieldSchema.h"
#include "Database.h"
#include "ProgressService.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "QVXMLImportProcessor.h"
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <QUuid>

namespace hostapi {

namespace {

const QString IdColumn = QStringLiteral("id");
const QString IdentColumn = QStringLiteral("globalrecuid");
const QString SourceColumn = QStringLiteral("impsource");

// XML 1.0 characters: tab, line feed, carriage return and everything from U+0020 but the
// surrogate code units' invalid pairs and U+FFFE/U+FFFF.
qsizetype FirstInvalidXmlChar(const QString& AText) {
    for (qsizetype i = 0; i < AText.size(); ++i) {
        const char16_t c = AText[i].unicode();
        if (c == 0x9 || c == 0xA || c == 0xD)
            continue;
        if (c < 0x20 || c == 0xFFFE || c == 0xFFFF)
            return i;
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 < AText.size() && QChar::isLowSurrogate(AText[i + 1].unicode())) {
                ++i;
                continue;
            }
            return i;
        }
        if (QChar::isLowSurrogate(c))
            return i;
    }
    return -1;
}

void RequireXmlText(const QString& AItem, const QString& AField, const QString& AText) {
    const qsizetype at = FirstInvalidXmlChar(AText);
    if (at >= 0)
        throw EQVException(
            QStringLiteral(
                "Field '%1' of item '%2' holds the character U+%3 at position %4, which XML cannot carry")
                .arg(AField, AItem)
                .arg(uint(AText[at].unicode()), 4, 16, QLatin1Char('0'))
                .arg(at + 1));
}

bool OnMainThread() {
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

QString FieldText(const QVariant& AValue, TFieldDataType AType) {
    switch (AType) {
    case TFieldDataType::fdtDateTime:
        return AValue.toDateTime().toUTC().toString(Qt::ISODateWithMs);
    case TFieldDataType::fdtBytes:
        return QString::fromLatin1(AValue.toByteArray().toBase64());
    case TFieldDataType::fdtFloat:
        return QString::number(AValue.toDouble(), 'g', 17);
    case TFieldDataType::fdtInteger:
        return QString::number(AValue.toLongLong());
    case TFieldDataType::fdtText:
        break;
    }
    return AValue.toString();
}

} // namespace

qint64 TQVXMLExportSettings::IntegerParam(const QString& AName, qint64 ADefault) const {
    const auto it = Params.constFind(AName);
    if (it == Params.constEnd())
        return ADefault;
    bool ok = false;
    const qint64 value = it->toString().trimmed().toLongLong(&ok);
    return ok ? value : ADefault;
}

TQVXMLWriter::TQVXMLWriter(QIODevice* ADevice, TQVXMLExportSettings ASettings, QString ASourceIdent)
    : QXmlStreamWriter(ADevice), FSettings(std::move(ASettings)), FSourceIdent(std::move(ASourceIdent)) {}

void TQVXMLItem::Clear() {
    Name.clear();
    Attributes.clear();
    Elements.clear();
}

void TQVXMLItem::Write(QXmlStreamWriter& AWriter) const {
    for (const auto& [name, value] : Attributes)
        RequireXmlText(Name, name, value);
    for (const auto& [name, text] : Elements)
        RequireXmlText(Name, name, text);
    AWriter.writeStartElement(Name);
    for (const auto& [name, value] : Attributes)
        AWriter.writeAttribute(name, value);
    for (const auto& [name, text] : Elements) {
        // A carriage return is written as a character reference: a reader turns a literal one
        // into a line feed, and texts keep their "\r\n" line breaks.
        AWriter.writeStartElement(name);
        const QStringList lines = text.split(QLatin1Char('\r'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                AWriter.writeEntityReference(QStringLiteral("#13"));
            if (!lines[i].isEmpty())
                AWriter.writeCharacters(lines[i]);
        }
        AWriter.writeEndElement();
    }
    AWriter.writeEndElement();
}

QString TQVXMLRecordWriter::GlobalRecordID(const QString& ASchema, qint64 AId) {
    const QString table = TQVXMLImportProcessor::TableOf(ASchema);
    if (table.isEmpty() || !TDBFieldSchema::Instance().RequireSchema(table).HasField(IdentColumn))
        throw EQVAssertion(QStringLiteral("%1 is a table or exchange view with %2").arg(ASchema, IdentColumn),
                           __FILE__, __LINE__);
    const QString select = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                               .arg(Database::QuoteIdentifier(IdentColumn), Database::QuoteIdentifier(table),
                                    Database::QuoteIdentifier(IdColumn));
    const auto read = [&] {
        QSqlQuery query =
            Database::Exec(select, {AId}, QStringLiteral("read the global id in %1").arg(table));
        if (!query.next())
            throw EQVException(QStringLiteral("Record %1 of %2 does not exist").arg(AId).arg(table));
        return query.value(0).toString();
    };
    const QString stored = read();
    if (!stored.isEmpty())
        return stored;
    // Only an empty identifier is replaced, so an export running at the same time keeps its own.
    Database::Exec(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ? AND (%2 IS NULL OR %2 = '')")
                       .arg(Database::QuoteIdentifier(table), Database::QuoteIdentifier(IdentColumn),
                            Database::QuoteIdentifier(IdColumn)),
                   {QUuid::createUuid().toString(QUuid::WithoutBraces), AId},
                   QStringLiteral("store the global id in %1").arg(table));
    return read();
}

int TQVXMLRecordWriter::WriteRecords(TQVXMLWriter& AWriter, TQVRecordSet& ARecords,
                                     const TQVXMLRecordWriteOptions& AOptions,
                                     const TRecordCallback& ACallback) {
    const IDBFieldSchemaItem& schema = TDBFieldSchema::Instance().RequireSchema(ARecords.SchemaName());
    const bool progress = AOptions.ProgressHandle >= 0 && OnMainThread();
    const int total = ARecords.RecordCount();
    TQVXMLItem item;
    int written = 0;
    for (ARecords.First(); !ARecords.Eof(); ARecords.Next()) {
        const int recNo = ARecords.RecNo();
        if (progress && recNo % 100 == 0)
            ProgressService::Current().UpdateProgress(AOptions.ProgressHandle, recNo, total,
                                                      QString::number(recNo));
        if (ACallback)
            ACallback(ARecords, recNo, AWriter, xcbBeforeItem);
        item.Clear();
        item.Name = AOptions.ItemName;
        item.AddAttribute(AOptions.SourceAttribute, AWriter.SourceIdent());
        item.AddAttribute(AOptions.IdentAttribute,
                          GlobalRecordID(ARecords.SchemaName(), ARecords.RecordID()));
        for (const QString& field : ARecords.FieldNames()) {
            const QString name = field.toLower();
            if (name == IdColumn || name == IdentColumn || name == SourceColumn || ARecords.IsNull(field))
                continue;
            const TFieldDataType type = schema.FieldType(field);
            const QString text = FieldText(ARecords.FieldValue(field), type);
            if (type == TFieldDataType::fdtText || type == TFieldDataType::fdtBytes)
                item.AddElement(name, text);
            else
                item.AddAttribute(name, text);
        }
        item.Write(AWriter);
        ++written;
        if (ACallback)
            ACallback(ARecords, recNo, AWriter, xcbAfterItem);
    }
    return written;
}

QString XMLExportSourceIdent() {
    static const QString Section = QStringLiteral("QVXML");
    static const QString Key = QStringLiteral("SOURCEIDENT");
    SettingsStore& store = SettingsStore::Instance();
    QString ident = store.ReadString(Section, Key);
    if (!ident.isEmpty())
        return ident;
    // Made by one connection at a time (SQLite: the write transaction; PostgreSQL: a transaction
    // lock), so no export goes out with an identification that another one replaces.
    Transaction transaction;
    if (Database::IsPostgres())
        Database::Exec(QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {qint64(0x5156584d4c)},
                       QStringLiteral("lock the source identification"));
    ident = store.ReadString(Section, Key);
    if (ident.isEmpty()) {
        ident = QUuid::createUuid().toString(QUuid::WithoutBraces);
        store.WriteString(Section, Key, ident);
    }
    transaction.Commit();
    return ident;
}

} // namespace hostapi
