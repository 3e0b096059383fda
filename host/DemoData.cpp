#include "DemoData.h"

#include "Database.h"
#include "QVException.h"

#include <QStringList>
#include <QVariant>

#include <iterator>

namespace qvhost {

namespace {

struct DemoAddress {
    const char* companyname;
    const char* salutation;
    const char* title;
    const char* name;
    const char* surname;
    const char* street;
    const char* zipcode;
    const char* city;
    const char* phone;
    const char* email1;
    const char* email2;
    const char* mobile;
    int isactive;
};

// nullptr stands for an empty (NULL) field.
const DemoAddress kDemoAddresses[] = {
    {"Müller Maschinenbau GmbH", "Herr", nullptr, "Müller", "Hans", "Hauptstraße 12", "70173", "Stuttgart",
     "+49 711 5550101", "hans.mueller@example.com", nullptr, "+49 170 5550101", 1},
    {"Schmidt & Partner Steuerberatung", "Frau", "Dr.", "Schmidt", "Anna", "Bahnhofstraße 5", "80335",
     "München", "+49 89 5550102", "anna.schmidt@example.org", "a.schmidt@example.com", "+49 171 5550102", 1},
    {"Bäckerei Weber", "Herr", nullptr, "Weber", "Klaus", "Marktplatz 3", "50667", "Köln", "+49 221 5550103",
     nullptr, "k.weber@example.org", "+49 172 5550103", 1},
    {nullptr, "Frau", nullptr, "Fischer", "Maria", "Lindenallee 27", "20095", "Hamburg", nullptr,
     "maria.fischer@example.com", nullptr, nullptr, 0},
    {"Wagner Logistik AG", "Herr", nullptr, "Wagner", "Peter", "Industriestraße 88", "60311",
     "Frankfurt am Main", "+49 69 5550105", "peter.wagner@example.com", nullptr, "+49 173 5550105", 1},
    {"Becker Elektrotechnik", "Frau", nullptr, "Becker", "Julia", "Schillerstraße 14", "01067", "Dresden",
     "+49 351 5550106", nullptr, nullptr, "+49 174 5550106", 1},
    {"Hoffmann Gartenbau", "Herr", nullptr, "Hoffmann", "Thomas", "Gartenweg 7", "04109", "Leipzig",
     "+49 341 5550107", "thomas.hoffmann@example.org", nullptr, "+49 175 5550107", 0},
    {"Schulz Immobilien GmbH", "Frau", nullptr, "Schulz", "Sabine", "Königstraße 41", "90402", "Nürnberg",
     "+49 911 5550108", nullptr, "s.schulz@example.com", nullptr, 1},
    {"Koch Consulting", "Herr", "Prof. Dr.", "Koch", "Michael", "Goethestraße 9", "30159", "Hannover",
     "+49 511 5550109", "michael.koch@example.com", "info@example.org", "+49 176 5550109", 1},
    {"Richter Druckerei", "Frau", nullptr, "Richter", "Stefanie", "Am Hafen 2", "28195", "Bremen",
     "+49 421 5550110", "stefanie.richter@example.org", nullptr, "+49 177 5550110", 1},
};

// Key of the PostgreSQL advisory lock that serialises seeding ("QVDD").
constexpr qint64 DemoDataLockKey = 0x51564444;

QVariant Text(const char* value) {
    if (!value)
        return QVariant(QMetaType::fromType<QString>());
    return QString::fromUtf8(value);
}

} // namespace

int DemoAddressCount() {
    return int(std::size(kDemoAddresses));
}

int SeedDemoAddresses() {
    using hostapi::Database;

    hostapi::Transaction transaction;
    // Hosts starting at once on one server must not each find the table empty: the lock is held to
    // the commit, so the second counts the first one's rows. (SQLite's BEGIN IMMEDIATE serialises.)
    if (Database::IsPostgres())
        Database::Exec(QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {DemoDataLockKey},
                       QStringLiteral("lock the demo addresses"));
    QSqlQuery count = Database::Exec(QStringLiteral("SELECT COUNT(*) FROM pelm_addresses_ass"), {},
                                     QStringLiteral("count the demo addresses"));
    if (!count.next())
        throw hostapi::EQVDatabaseException(
            QStringLiteral("Counting the rows of pelm_addresses_ass answered no row"));
    if (count.value(0).toLongLong() > 0)
        return 0;

    const QStringList columns = {
        QStringLiteral("companyname"), QStringLiteral("salutation"), QStringLiteral("title"),
        QStringLiteral("name"),        QStringLiteral("surname"),    QStringLiteral("street"),
        QStringLiteral("zipcode"),     QStringLiteral("city"),       QStringLiteral("country"),
        QStringLiteral("phone"),       QStringLiteral("email1"),     QStringLiteral("email2"),
        QStringLiteral("mobile")};
    const QStringList detColumns = {QStringLiteral("id"), QStringLiteral("isactive")};
    for (const DemoAddress& a : kDemoAddresses) {
        const qint64 id = Database::InsertRow(QStringLiteral("pelm_addresses_ass"), columns,
                                              {Text(a.companyname), Text(a.salutation), Text(a.title),
                                               Text(a.name), Text(a.surname), Text(a.street), Text(a.zipcode),
                                               Text(a.city), QStringLiteral("Deutschland"), Text(a.phone),
                                               Text(a.email1), Text(a.email2), Text(a.mobile)});
        Database::InsertRow(QStringLiteral("pelm_addresses_det"), detColumns, {id, a.isactive});
    }
    transaction.Commit();
    return DemoAddressCount();
}

} // namespace qvhost
