#include "TemplateCopy.h"

#include "Database.h"
#include "FileUtils.h"
#include "QVException.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QUuid>

namespace emailmarketing {

namespace {

const QString IdColumn = QStringLiteral("id");
const QString IdentColumn = QStringLiteral("globalrecuid");
const QString SourceColumn = QStringLiteral("impsource");

// One row's columns and values, "id" left out.
struct TRow {
    QStringList Columns;
    QVariantList Values;

    void Set(const QString& AColumn, const QVariant& AValue) {
        const qsizetype i = Columns.indexOf(AColumn);
        if (i >= 0)
            Values[i] = AValue;
    }
    QVariant Value(const QString& AColumn) const {
        const qsizetype i = Columns.indexOf(AColumn);
        return i >= 0 ? Values.at(i) : QVariant();
    }
};

QList<TRow> ReadRows(const QString& ATable, const QString& AField, qint64 AValue) {
    QSqlQuery query = hostapi::Database::Exec(QStringLiteral("SELECT * FROM %1 WHERE %2 = ? ORDER BY %3")
                                                  .arg(hostapi::Database::QuoteIdentifier(ATable),
                                                       hostapi::Database::QuoteIdentifier(AField),
                                                       hostapi::Database::QuoteIdentifier(IdColumn)),
                                              {AValue}, QStringLiteral("read %1 to copy").arg(ATable));
    QList<TRow> rows;
    while (query.next()) {
        const QSqlRecord record = query.record();
        TRow row;
        for (int i = 0; i < record.count(); ++i) {
            const QString name = record.fieldName(i).toLower();
            if (name == IdColumn)
                continue;
            row.Columns << name;
            row.Values << record.value(i);
        }
        rows << row;
    }
    return rows;
}

// A fresh exchange identity: the row counts as made here.
void NewIdentity(TRow& ARow) {
    ARow.Set(IdentColumn, QUuid::createUuid().toString(QUuid::WithoutBraces));
    ARow.Set(SourceColumn, QVariant(QMetaType::fromType<QString>()));
}

QString PlainBaseName(const QString& AFileName) {
    QString name = AFileName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = QFileInfo(name).fileName();
    if (!hostapi::IsPlainFileName(name))
        throw hostapi::EQVException(
            QStringLiteral("The image file name '%1' has no plain file name; the template is not copied")
                .arg(AFileName));
    return name;
}

void CopyChildren(const QString& ATable, const QString& ATemplateField, qint64 ASourceID, qint64 ACopyID) {
    for (TRow row : ReadRows(ATable, ATemplateField, ASourceID)) {
        row.Set(ATemplateField, ACopyID);
        NewIdentity(row);
        if (row.Columns.contains(QStringLiteral("contentfilename")))
            row.Set(QStringLiteral("contentfilename"),
                    PlainBaseName(row.Value(QStringLiteral("contentfilename")).toString()));
        hostapi::Database::InsertRow(ATable, row.Columns, row.Values);
    }
}

} // namespace

qint64 TTemplateCopy::CopyTemplate(qint64 ASourceID, qint64 AStateID, const QDateTime& ANow) {
    hostapi::Transaction transaction;
    QList<TRow> source = ReadRows(QStringLiteral("emtemplates"), IdColumn, ASourceID);
    if (source.isEmpty())
        throw hostapi::EQVException(QStringLiteral("The template %1 does not exist").arg(ASourceID));
    TRow& copy = source.first();
    copy.Set(QStringLiteral("templstateid"),
             AStateID < 0 ? QVariant(QMetaType::fromType<qlonglong>()) : QVariant(AStateID));
    copy.Set(QStringLiteral("lastsent"), QVariant(QMetaType::fromType<QDateTime>()));
    copy.Set(QStringLiteral("creadate"), ANow);
    NewIdentity(copy);
    const qint64 copyID =
        hostapi::Database::InsertRow(QStringLiteral("emtemplates"), copy.Columns, copy.Values);
    CopyChildren(QStringLiteral("emltextblocks"), QStringLiteral("emtemplateid"), ASourceID, copyID);
    CopyChildren(QStringLiteral("emlattachements"), QStringLiteral("emltemplateid"), ASourceID, copyID);
    CopyChildren(QStringLiteral("emlembededcontent"), QStringLiteral("emltemplateid"), ASourceID, copyID);
    transaction.Commit();
    return copyID;
}

} // namespace emailmarketing
