#include "PendingSentList.h"

#include "Database.h"
#include "QVException.h"
#include "SendRetryPolicy.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariantList>

#include <algorithm>

namespace emailmarketing {

namespace {

// Rows per statement: 3 values each for an INSERT, well below the bound-value limits of both
// backends.
constexpr int RowsPerStatement = 500;

// Rows per INSERT statement on PostgreSQL. Through Qt's SQLite driver a statement costs the square
// of its bound values (each value's parameter is looked up among all of them), so SQLite takes the
// rows of a statement as one bound JSON array.
constexpr int PostgresRowsPerInsert = RowsPerStatement;
constexpr int SqliteRowsPerInsert = RowsPerStatement;

QString Q(const char* AName) {
    return hostapi::Database::QuoteIdentifier(QString::fromLatin1(AName));
}

QString InsertSql(int ARows) {
    QStringList values;
    values.reserve(ARows);
    for (int i = 0; i < ARows; ++i)
        values << QStringLiteral("(?, ?, ?, 0)");
    return QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) VALUES %6 RETURNING %7")
        .arg(Q("emlsentlist"), Q("email"), Q("addressid"), Q("emljobs_id"), Q("sentstate"),
             values.join(QStringLiteral(", ")), Q("id"));
}

// The single-row insert on SQLite, whose "id" is the table's row id.
QString SqliteInsertSql() {
    return QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) VALUES (?, ?, ?, 0)")
        .arg(Q("emlsentlist"), Q("email"), Q("addressid"), Q("emljobs_id"), Q("sentstate"));
}

// The insert on SQLite of the rows of one JSON array of [email, address id] (the job id bound
// first), in the array's order.
QString SqliteArrayInsertSql() {
    return QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) SELECT json_extract(value, '$[0]'), "
                          "json_extract(value, '$[1]'), ?, 0 FROM json_each(?) ORDER BY key RETURNING %6")
        .arg(Q("emlsentlist"), Q("email"), Q("addressid"), Q("emljobs_id"), Q("sentstate"), Q("id"));
}

// Whether AText reads back from a JSON string as it is: valid UTF-16 without NUL.
bool JsonSafe(const QString& AText) {
    return AText.isValidUtf16() && !AText.contains(QChar(u'\0'));
}

void AppendJsonString(QString& AJson, const QString& AText) {
    AJson += QLatin1Char('"');
    for (const QChar c : AText) {
        if (c == u'"' || c == u'\\') {
            AJson += QLatin1Char('\\');
            AJson += c;
        } else if (c.unicode() < 0x20) {
            AJson += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            AJson += c;
        }
    }
    AJson += QLatin1Char('"');
}

// Ids returned by an insert of ACount rows, in the order of the rows: the ids grow in the order the
// rows are inserted; RETURNING itself promises no order.
QList<qint64> ReturnedIds(QSqlQuery& AQuery, int ACount, const QString& APurpose) {
    QList<qint64> ids;
    ids.reserve(ACount);
    while (AQuery.next())
        ids << AQuery.value(0).toLongLong();
    if (ids.size() != ACount)
        throw hostapi::EQVDatabaseException(
            QStringLiteral("%1: %2 of %3 row ids returned").arg(APurpose).arg(ids.size()).arg(ACount));
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Writes ARecipients[AFrom, AFrom + ACount) on SQLite; answers their ids in order.
QList<qint64> WriteSqlite(qint64 AJobID, const QList<TPendingSentList::TRecipient>& ARecipients, qsizetype AFrom,
                          int ACount, const QString& APurpose) {
    const auto rows = ARecipients.begin() + AFrom;
    if (std::all_of(rows, rows + ACount, [](const auto& r) { return JsonSafe(r.Email); })) {
        QString json;
        json.reserve(ACount * 48);
        json += QLatin1Char('[');
        for (int i = 0; i < ACount; ++i) {
            if (i > 0)
                json += QLatin1Char(',');
            json += QLatin1Char('[');
            AppendJsonString(json, rows[i].Email);
            json += QLatin1Char(',');
            json += QString::number(rows[i].AddressID);
            json += QLatin1Char(']');
        }
        json += QLatin1Char(']');
        QSqlQuery query = hostapi::Database::Exec(SqliteArrayInsertSql(), {AJobID, json}, APurpose);
        return ReturnedIds(query, ACount, APurpose);
    }
    // A text that JSON would not carry as it is goes as a bound value, one row at a time; the id is
    // the row id SQLite gives the insert.
    QList<qint64> ids;
    ids.reserve(ACount);
    hostapi::PreparedStatement insert(SqliteInsertSql(), APurpose);
    for (int i = 0; i < ACount; ++i) {
        const QVariant id = insert.Exec({rows[i].Email, rows[i].AddressID, AJobID}).lastInsertId();
        if (!id.isValid())
            throw hostapi::EQVDatabaseException(APurpose + QStringLiteral(": no row id returned"));
        ids << id.toLongLong();
    }
    return ids;
}

QString FailSql(const QString& AWhere) {
    return QStringLiteral("UPDATE %1 SET %2 = 2, %3 = ?, %4 = ? WHERE %2 = 0 AND %5")
        .arg(Q("emlsentlist"), Q("sentstate"), Q("errormessage"), Q("sentdate"), AWhere);
}

} // namespace

QList<qint64> TPendingSentList::Write(qint64 AJobID, const QList<TRecipient>& ARecipients) {
    QList<qint64> ids;
    ids.reserve(ARecipients.size());
    const QString purpose = QStringLiteral("write the pending sent list");
    const bool postgres = hostapi::Database::IsPostgres();
    for (qsizetype first = 0; first < ARecipients.size(); first += RowsPerTransaction) {
        const qsizetype end = std::min<qsizetype>(first + RowsPerTransaction, ARecipients.size());
        hostapi::Transaction transaction;
        if (!postgres) {
            for (qsizetype from = first; from < end; from += SqliteRowsPerInsert)
                ids += WriteSqlite(AJobID, ARecipients, from, int(std::min<qsizetype>(SqliteRowsPerInsert, end - from)),
                                   purpose);
            transaction.Commit();
            continue;
        }
        for (qsizetype from = first; from < end; from += PostgresRowsPerInsert) {
            const int count = int(std::min<qsizetype>(PostgresRowsPerInsert, end - from));
            QVariantList binds;
            binds.reserve(count * 3);
            for (qsizetype i = from; i < from + count; ++i)
                binds << ARecipients[i].Email << ARecipients[i].AddressID << AJobID;
            QSqlQuery query = hostapi::Database::Exec(InsertSql(count), binds, purpose);
            // The ids grow in the order of the values (one statement, rows numbered as inserted);
            // RETURNING itself promises no order.
            QList<qint64> statementIds;
            statementIds.reserve(count);
            while (query.next())
                statementIds << query.value(0).toLongLong();
            if (statementIds.size() != count)
                throw hostapi::EQVDatabaseException(
                    QStringLiteral("%1: %2 of %3 row ids returned").arg(purpose).arg(statementIds.size()).arg(count));
            std::sort(statementIds.begin(), statementIds.end());
            ids += statementIds;
        }
        transaction.Commit();
    }
    return ids;
}

void TPendingSentList::Delete(const QList<qint64>& ARowIDs) {
    if (ARowIDs.isEmpty())
        return;
    hostapi::Transaction transaction;
    for (qsizetype first = 0; first < ARowIDs.size(); first += RowsPerStatement) {
        const int count = int(std::min<qsizetype>(RowsPerStatement, ARowIDs.size() - first));
        QStringList marks;
        QVariantList binds;
        for (qsizetype i = first; i < first + count; ++i) {
            marks << QStringLiteral("?");
            binds << ARowIDs[i];
        }
        hostapi::Database::Exec(
            QStringLiteral("DELETE FROM %1 WHERE %2 = 0 AND %3 IN (%4)")
                .arg(Q("emlsentlist"), Q("sentstate"), Q("id"), marks.join(QLatin1Char(','))),
            binds, QStringLiteral("delete pending sent-list rows"));
    }
    transaction.Commit();
}

int TPendingSentList::FailJob(qint64 AJobID, const QString& AText, const QDateTime& ANow) {
    const QSqlQuery query = hostapi::Database::Exec(FailSql(Q("emljobs_id") + QStringLiteral(" = ?")),
                                                    {SentListErrorMessage(0, AText), ANow, AJobID},
                                                    QStringLiteral("fail the pending sent list"));
    return query.numRowsAffected();
}

int TPendingSentList::FailOrphans(const QString& AText, const QDateTime& ANow) {
    const QString where = QStringLiteral("(%1 IS NULL OR %1 NOT IN (SELECT %2 FROM %3))")
                              .arg(Q("emljobs_id"), Q("id"), Q("emljobs"));
    const QSqlQuery query = hostapi::Database::Exec(FailSql(where), {SentListErrorMessage(0, AText), ANow},
                                                    QStringLiteral("fail orphan pending sent-list rows"));
    return query.numRowsAffected();
}

} // namespace emailmarketing
