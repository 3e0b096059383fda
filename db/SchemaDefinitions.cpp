#include "SchemaDefinitions.h"

#include "QVException.h"

#include <algorithm>

namespace hostapi::db {

namespace {

using T = TFieldDataType;

constexpr quint16 FlagBit(int flag) {
    return quint16(1u << flag);
}

TDBFieldDef F(const char* name, const char* caption, TFieldDataType type, quint16 flags = 0,
              const char* defaultValue = nullptr, const QString& listData = {}) {
    TDBFieldDef f;
    f.Name = QString::fromLatin1(name);
    f.Caption = QString::fromUtf8(caption);
    f.Type = type;
    f.FlagSet = flags;
    if (defaultValue)
        f.DefaultValue = QString::fromLatin1(defaultValue);
    f.ListData = listData;
    return f;
}

TDBFieldDef Id(const char* caption = "ID") {
    TDBFieldDef f = F("id", caption, T::fdtInteger);
    f.PrimaryKey = true;
    return f;
}

// A text primary-key part (composite keys such as the settings table's).
TDBFieldDef KeyText(const char* name, const char* caption) {
    TDBFieldDef f = F(name, caption, T::fdtText);
    f.PrimaryKey = true;
    return f;
}

QString PickList(std::initializer_list<const char*> lines) {
    QStringList l;
    for (const char* line : lines)
        l << QString::fromUtf8(line);
    return l.join(QStringLiteral("\r\n"));
}

TDBSchemaDef Table(const char* name, const char* caption, QList<TDBFieldDef> fields, QStringList indexes = {},
                   QList<TDBRelation> relations = {}) {
    TDBSchemaDef s;
    s.Name = QString::fromLatin1(name);
    s.Caption = QString::fromUtf8(caption);
    s.Fields = std::move(fields);
    s.Indexes = std::move(indexes);
    s.Relations = std::move(relations);
    return s;
}

// The columns of the host's address data, shared by the address table and the views that carry
// address columns (so that field macros read the same everywhere).
QList<TDBFieldDef> AddressFields() {
    return {
        F("companyname", "Firma", T::fdtText),
        F("name", "Name", T::fdtText),
        F("surname", "Vorname", T::fdtText),
        F("street", "Straße", T::fdtText),
        F("zipcode", "PLZ", T::fdtText),
        F("city", "Ort", T::fdtText),
        F("country", "Land", T::fdtText),
        F("phone", "Telefon", T::fdtText),
        F("email1", "E-Mail 1", T::fdtText, FlagBit(fftEmail)),
        F("email2", "E-Mail 2", T::fdtText, FlagBit(fftEmail)),
        F("mobile", "Mobiltelefon", T::fdtText, FlagBit(fftMobile)),
        F("salutation", "Anrede", T::fdtText),
        F("title", "Titel", T::fdtText),
        F("birthday", "Geburtstag", T::fdtDateTime),
        F("ptypeid", "Personentyp", T::fdtInteger),
    };
}

QString AddressColumnList(const QString& alias) {
    QStringList cols;
    for (const TDBFieldDef& f : AddressFields())
        cols << alias + QLatin1Char('.') + QuoteIdent(f.Name);
    return cols.join(QStringLiteral(", "));
}

QList<TDBFieldDef> SentListFields() {
    return {
        Id(),
        F("emljobs_id", "Versandauftrag", T::fdtInteger),
        F("email", "Empfänger", T::fdtText),
        F("errormessage", "Meldung", T::fdtText),
        F("sentstate", "Versandstatus", T::fdtInteger, 0, nullptr,
          PickList({"0=Ausstehend", "1=Versendet", "2=Fehlgeschlagen"})),
        F("sentdate", "Versendet am", T::fdtDateTime),
        F("addressid", "Adresse", T::fdtInteger),
    };
}

// "emlsentlist_success" / "emlsentlist_failed".
// Design: the view exposes the sent-list columns, the recipient's address columns (joined by
// "addressid") and the address's "isactive". Besides, the relation alias "emladdresses" maps to the
// internal view "emladdresses" (every address joined with its "pelm_addresses_det" row) by
// "addressid" = "id"; so the qualified names "emladdresses.id" and "emladdresses.isactive" resolve
// through the field schema like any other related field, and the record set or filter builder joins
// "emladdresses" on the view's "addressid" exactly as it joins "pelm_addresses_det" on an address list.
TDBSchemaDef SentListView(const char* name, int sentState) {
    TDBSchemaDef s;
    s.Name = QString::fromLatin1(name);
    s.Fields = SentListFields();
    s.Fields += AddressFields();
    s.Fields << F("isactive", "Aktiv", T::fdtInteger);
    QStringList cols;
    for (const TDBFieldDef& f : SentListFields())
        cols << QStringLiteral("s.") + QuoteIdent(f.Name);
    s.ViewSql = QStringLiteral("SELECT %1, %2, d.\"isactive\" FROM \"emlsentlist\" s "
                               "LEFT JOIN \"pelm_addresses_ass\" a ON a.\"id\" = s.\"addressid\" "
                               "LEFT JOIN \"pelm_addresses_det\" d ON d.\"id\" = s.\"addressid\" "
                               "WHERE s.\"sentstate\" = %3")
                    .arg(cols.join(QStringLiteral(", ")), AddressColumnList(QStringLiteral("a")))
                    .arg(sentState);
    s.Relations = {{QStringLiteral("emladdresses"), QStringLiteral("addressid"), QStringLiteral("id")}};
    return s;
}

// "<table>_qvxml": the columns of a table that the XML exchange carries, row by row ("id",
// "globalrecuid" and "impsource" included). Columns that only mean something in the own
// installation (list, folder, state, send history) stay out.
TDBSchemaDef ExchangeView(const QList<TDBSchemaDef>& defs, const char* table, const QStringList& columns) {
    TDBSchemaDef s;
    s.BaseTable = QString::fromLatin1(table);
    s.Name = s.BaseTable + QStringLiteral("_qvxml");
    const auto base = std::find_if(defs.cbegin(), defs.cend(),
                                   [&](const TDBSchemaDef& d) { return d.Name == s.BaseTable; });
    QV_ASSERT(base != defs.cend());
    QStringList cols;
    for (const QString& column : columns) {
        const TDBFieldDef* field = base->FieldByName(column);
        QV_ASSERT(field);
        TDBFieldDef copy = *field;
        copy.DefaultValue.clear();
        s.Fields << copy;
        cols << QuoteIdent(column);
    }
    s.ViewSql =
        QStringLiteral("SELECT %1 FROM %2").arg(cols.join(QStringLiteral(", ")), QuoteIdent(s.BaseTable));
    return s;
}

// Registrations that the register service delivers to the host's own part handler; "impsource" and
// "globalrecuid" identify a record at the exporting installation (the XML import finds it by them).
TDBSchemaDef RegistrationsTable() {
    return Table("qvregistrations", "",
                 {
                     Id(),
                     F("impsource", "Importquelle", T::fdtText),
                     F("globalrecuid", "Globale Kennung", T::fdtText),
                     F("email", "E-Mail", T::fdtText, FlagBit(fftEmail)),
                     F("name", "Name", T::fdtText),
                     F("company", "Firma", T::fdtText),
                     F("message", "Nachricht", T::fdtText),
                     F("registered", "Angemeldet am", T::fdtDateTime),
                 },
                 {QStringLiteral("impsource,globalrecuid"), QStringLiteral("email")});
}

QList<TDBSchemaDef> BuildDefinitions() {
    QList<TDBSchemaDef> defs;

    // ---- distribution lists --------------------------------------------------------
    defs << Table("emlists", "",
                  {
                      Id(),
                      F("fldname", "E-Mail-Felder", T::fdtText),
                      F("mailserver", "Mailserver", T::fdtText),
                      F("name", "Name", T::fdtText),
                      F("senderemail", "Absender-E-Mail", T::fdtText),
                      F("sendername", "Absendername", T::fdtText),
                      F("tblname", "Datenquelle", T::fdtText),
                      F("userelay", "Versandart", T::fdtInteger),
                      F("sendperunits", "In Paketen versenden", T::fdtInteger),
                      F("mailsperunit", "Nachrichten je Paket", T::fdtInteger),
                      F("sendpriority", "Versandpriorität", T::fdtInteger),
                      F("sendthreads", "Versand-Threads", T::fdtInteger),
                      F("preppriority", "Vorbereitungspriorität", T::fdtInteger),
                      F("sendusername", "Benutzername", T::fdtText),
                      F("sendpassword", "Passwort", T::fdtText),
                      F("sendauth", "Authentifizierung", T::fdtInteger),
                      F("clientident", "Client", T::fdtText),
                      F("clientlistident", "Client-Liste", T::fdtText),
                      F("useglobadr", "Globale Absenderadresse", T::fdtInteger),
                      F("unitdelay", "Paketpause (Minuten)", T::fdtInteger, 0, "0"),
                      F("fldnamemob", "Mobilfunk-Felder", T::fdtText),
                      F("smsprovider", "SMS-Anbieter", T::fdtInteger),
                      F("globalsmsprovider", "Globaler SMS-Anbieter", T::fdtInteger),
                      F("rsfilter", "Registerdienst-Filter", T::fdtInteger),
                      F("rsfetch", "Registerdienst vor Versand abrufen", T::fdtInteger),
                      F("globalsrv", "Globaler Mailserver", T::fdtInteger),
                      F("globalrssvc", "Globaler Registerdienst", T::fdtInteger),
                      F("chaotic", "Chaotischer Versand", T::fdtInteger),
                      F("throttle", "Gedrosselter Versand", T::fdtInteger),
                      F("globalsendsettings", "Globale Versandeinstellungen", T::fdtInteger),
                      F("replyemail", "Antwort-E-Mail", T::fdtText),
                  });
    defs << Table("emlmacros", "",
                  {
                      Id(),
                      F("emlists_id", "Verteiler", T::fdtInteger),
                      F("macroname", "Makroname", T::fdtText),
                      F("descr", "Beschreibung", T::fdtText),
                      F("schemaname", "Datenquelle", T::fdtText),
                  },
                  {QStringLiteral("emlists_id")});
    defs << Table("emlconditions", "",
                  {
                      Id(),
                      F("emlmacros_id", "Makro", T::fdtInteger),
                      F("condition", "Bedingung", T::fdtInteger),
                      F("value1", "Wert 1", T::fdtText),
                      F("value1_isfld", "Wert 1 ist Feld", T::fdtInteger),
                      F("value2", "Wert 2", T::fdtText),
                      F("value2_isfld", "Wert 2 ist Feld", T::fdtInteger),
                      F("valuem", "Makrowert", T::fdtText),
                      F("valuem_isfld", "Makrowert ist Feld", T::fdtInteger),
                  },
                  {QStringLiteral("emlmacros_id")});
    defs << Table("emllists_filters", "",
                  {
                      Id(),
                      F("schemaname", "Datenquelle", T::fdtText),
                      F("fieldname", "Feld", T::fdtText),
                      F("filtertype", "Filterart", T::fdtInteger),
                      F("filterlink", "Verknüpfung", T::fdtInteger),
                      F("aslookup", "Als Auswahltext", T::fdtInteger),
                      F("valuetype", "Werttyp", T::fdtInteger),
                      F("value", "Wert", T::fdtText),
                      F("parenthesis", "Klammer", T::fdtInteger),
                      F("subselschema", "Unterabfrage-Datenquelle", T::fdtText),
                      F("parentfilterid", "Übergeordneter Filter", T::fdtInteger),
                      F("emllists_id", "Verteiler", T::fdtInteger),
                  },
                  {QStringLiteral("emllists_id")});

    // ---- templates (Parts 3.101, 3.104, 3.121, 3.122, 1.127) --------------------------------------
    defs << Table(
        "emtemplates", "",
        {
            Id(),
            F("name", "Name", T::fdtText),
            F("descr", "Beschreibung", T::fdtText),
            F("subject", "Betreff", T::fdtText),
            F("mailbody", "Text", T::fdtText),
            F("mailbodyhtml", "Formatierter Text", T::fdtText),
            F("emailstyle", "Format", T::fdtInteger, 0, nullptr,
              PickList({"0=Text-Email", "1=RTF-Email", "2=Quelltext (HTML/Text)", "3=SMS", "4=HTML-Email"})),
            F("mailinglist", "Verteiler", T::fdtInteger),
            F("rcptcc", "CC", T::fdtText),
            F("rcptbcc", "BCC", T::fdtText),
            F("templstateid", "Status", T::fdtInteger),
            F("lastsent", "Zuletzt versendet", T::fdtDateTime),
            F("creadate", "Erstellt am", T::fdtDateTime),
            F("lastchangedtsp", "Geändert am", T::fdtDateTime),
            F("templatefolderid", "Ordner", T::fdtInteger),
            F("globalrecuid", "Globale Kennung", T::fdtText),
            F("impsource", "Importquelle", T::fdtText),
        },
        {QStringLiteral("templatefolderid")});
    defs << Table("emltemplatefolders", "",
                  {
                      Id(),
                      F("descr", "Bezeichnung", T::fdtText),
                      F("parentemlltemplatefolderid", "Übergeordneter Ordner", T::fdtInteger),
                  },
                  {QStringLiteral("parentemlltemplatefolderid")});
    defs << Table("emltemplstates", "",
                  {
                      Id(),
                      F("descr", "Bezeichnung", T::fdtText),
                  });
    defs << Table("emlattachements", "",
                  {
                      Id(),
                      F("emltemplateid", "Vorlage", T::fdtInteger),
                      F("filename", "Dateiname", T::fdtText),
                      F("filesource", "Datei", T::fdtText),
                      F("usemacros", "Personalisierung", T::fdtInteger, 0, nullptr,
                        PickList({"1=Nicht personalisieren", "2=Personalisieren"})),
                      F("isinline", "Anhangsart", T::fdtInteger, 0, nullptr,
                        PickList({"0=Normaler Anhang", "1=Inline Anhang"})),
                      F("fileoptions", "Dateioptionen", T::fdtInteger, 0, nullptr,
                        PickList({"0=Email nicht versenden wenn Datei nicht existiert",
                                  "1=Anlage entfernen wenn Datei nicht existiert"})),
                      F("filemrsettings", "Personalisierungseinstellungen", T::fdtText),
                  },
                  {QStringLiteral("emltemplateid")});
    defs << Table("emltextblocks", "",
                  {
                      Id(),
                      F("emtemplateid", "Vorlage", T::fdtInteger),
                      F("descr", "Bezeichnung", T::fdtText),
                      F("body", "Text", T::fdtText),
                      F("bodyhtml", "Formatierter Text", T::fdtText),
                      F("globalrecuid", "Globale Kennung", T::fdtText),
                      F("impsource", "Importquelle", T::fdtText),
                  },
                  {QStringLiteral("emtemplateid")});
    defs << Table("emlembededcontent", "",
                  {
                      Id(),
                      F("emltemplateid", "Vorlage", T::fdtInteger),
                      F("contentfilename", "Dateiname", T::fdtText),
                      F("contentdata", "Inhalt", T::fdtBytes),
                      F("globalrecuid", "Globale Kennung", T::fdtText),
                      F("impsource", "Importquelle", T::fdtText),
                  },
                  {QStringLiteral("emltemplateid")});

    // ---- jobs and sent list (Parts 1.104, 1.107) ------------------------------------------------
    defs << Table("emljobs", "",
                  {
                      Id(),
                      F("emltemplates_id", "Vorlage", T::fdtInteger),
                      F("startdate", "Gestartet am", T::fdtDateTime),
                      F("jobstate", "Auftragsstatus", T::fdtInteger, 0, nullptr,
                        PickList({"1=Nicht abgeschlossen", "2=Versendet"})),
                      F("enddate", "Beendet am", T::fdtDateTime),
                      F("parentjobid", "Ursprünglicher Auftrag", T::fdtInteger),
                      F("parentjobstate", "Status des ursprünglichen Auftrags", T::fdtInteger),
                  },
                  {QStringLiteral("emltemplates_id"), QStringLiteral("parentjobid")});
    defs << Table("emlsentlist", "", SentListFields(),
                  {QStringLiteral("emljobs_id,sentstate"), QStringLiteral("addressid")});

    // ---- the host's address data ---------------------------------------------------------------
    {
        QList<TDBFieldDef> fields{Id()};
        fields += AddressFields();
        defs << Table("pelm_addresses_ass", "Adressen", fields, {},
                      {{QStringLiteral("pelm_addresses_det"), QStringLiteral("id"), QStringLiteral("id")}});
    }
    defs << Table("pelm_addresses_det", "",
                  {
                      Id(),
                      F("isactive", "Aktiv", T::fdtInteger),
                  });

    // ---- internal host tables ------------------------------------------------------------------
    defs << Table("qvsettings", "",
                  {
                      KeyText("section", "Abschnitt"),
                      KeyText("key", "Schlüssel"),
                      F("value", "Wert", T::fdtText),
                  });

    // ---- register service: registrations imported by the host's own part handler ---------------
    defs << RegistrationsTable();

    // ---- views ---------------------------------------------------------------------------------
    // "emladdresses": every address with its detail row's "isactive"; internal (no caption), the
    // target of the relation alias "emladdresses" of the sent-list views.
    {
        TDBSchemaDef s;
        s.Name = QStringLiteral("emladdresses");
        s.Fields << Id();
        s.Fields += AddressFields();
        s.Fields << F("isactive", "Aktiv", T::fdtInteger);
        s.ViewSql = QStringLiteral("SELECT a.\"id\", %1, d.\"isactive\" FROM \"pelm_addresses_ass\" a "
                                   "LEFT JOIN \"pelm_addresses_det\" d ON d.\"id\" = a.\"id\"")
                        .arg(AddressColumnList(QStringLiteral("a")));
        s.Relations = {{QStringLiteral("pelm_addresses_det"), QStringLiteral("id"), QStringLiteral("id")}};
        defs << s;
    }
    defs << SentListView("emlsentlist_success", 1);
    defs << SentListView("emlsentlist_failed", 2);
    // "emlresendlist": the recipients of a job (filter "emljobs_id") with a given result (filter
    // "sentstate"). Its record id "id" is the ADDRESS id (the preparation takes AddressID from it)
    // and its other columns are those of "pelm_addresses_ass", so address fields and field macros
    // read as in the first run; a resend therefore serves lists on the address schema. Sent-list rows
    // whose address no longer exists are not part of it.
    {
        TDBSchemaDef s;
        s.Name = QStringLiteral("emlresendlist");
        s.Fields << Id();
        s.Fields += AddressFields();
        s.Fields << F("emljobs_id", "Versandauftrag", T::fdtInteger)
                 << F("sentstate", "Versandstatus", T::fdtInteger);
        s.ViewSql =
            QStringLiteral("SELECT a.\"id\", %1, s.\"emljobs_id\", s.\"sentstate\" FROM \"emlsentlist\" s "
                           "JOIN \"pelm_addresses_ass\" a ON a.\"id\" = s.\"addressid\"")
                .arg(AddressColumnList(QStringLiteral("a")));
        s.Relations = {{QStringLiteral("pelm_addresses_det"), QStringLiteral("id"), QStringLiteral("id")},
                       {QStringLiteral("emladdresses"), QStringLiteral("id"), QStringLiteral("id")}};
        defs << s;
    }
    // "emlresendrecords": the recipient of each sent-list row by its record id ("id", the row's
    // "addressid", a record of whatever schema the job's list is on) with the row's job and result. A
    // resend selects the records of its list's schema whose id it holds for the parent job and the
    // chosen result.
    {
        TDBSchemaDef s;
        s.Name = QStringLiteral("emlresendrecords");
        s.Fields << Id() << F("emljobs_id", "Versandauftrag", T::fdtInteger)
                 << F("sentstate", "Versandstatus", T::fdtInteger);
        s.ViewSql = QStringLiteral(
            "SELECT s.\"addressid\", s.\"emljobs_id\", s.\"sentstate\" FROM \"emlsentlist\" s");
        defs << s;
    }
    // The XML exchange views of the template tables.
    defs << ExchangeView(defs, "emtemplates",
                         {"id", "name", "descr", "subject", "mailbody", "mailbodyhtml", "emailstyle",
                          "rcptcc", "rcptbcc", "creadate", "lastchangedtsp", "globalrecuid", "impsource"});
    defs << ExchangeView(defs, "emltextblocks",
                         {"id", "emtemplateid", "descr", "body", "bodyhtml", "globalrecuid", "impsource"});
    defs << ExchangeView(
        defs, "emlembededcontent",
        {"id", "emltemplateid", "contentfilename", "contentdata", "globalrecuid", "impsource"});
    return defs;
}

const TDBSchemaDef& RequireDef(const QString& name);

// Schema step 2: the registrations table (kept if it exists already).
QStringList AddRegistrations(TSqlDialect dialect) {
    const TDBSchemaDef& table = RequireDef(QStringLiteral("qvregistrations"));
    QString create = CreateTableSql(table, dialect);
    create.replace(QStringLiteral("CREATE TABLE "), QStringLiteral("CREATE TABLE IF NOT EXISTS "));
    return QStringList{create} + CreateIndexSql(table, dialect); // the indexes are made "IF NOT EXISTS"
}

const TDBSchemaDef& RequireDef(const QString& name) {
    for (const TDBSchemaDef& s : SchemaDefinitions())
        if (s.Name.compare(name, Qt::CaseInsensitive) == 0)
            return s;
    throw EQVDatabaseException(QStringLiteral("Unknown schema: %1").arg(name));
}

QStringList InitialCreation(TSqlDialect dialect) {
    return CreateAllSql(dialect);
}

} // namespace

const QList<TDBSchemaDef>& SchemaDefinitions() {
    static const QList<TDBSchemaDef> defs = BuildDefinitions();
    return defs;
}

QString SchemaVersionTable() {
    return QStringLiteral("qvschemaversion");
}

const QList<TSchemaMigration>& SchemaMigrations() {
    static const QList<TSchemaMigration> steps = {
        {1, QStringLiteral("initial schema"), &InitialCreation},
        {2, QStringLiteral("register service registrations"), &AddRegistrations},
        // The XML exchange views are (re)created from the definitions after every step.
        {3, QStringLiteral("XML exchange views"), [](TSqlDialect) { return QStringList(); }},
        {4, QStringLiteral("resend records view"), [](TSqlDialect) { return QStringList(); }},
        // Next: {3, "…", [](TSqlDialect d) { return QStringList{AddColumnSql("emlists", "newcol", d)}; }},
    };
    return steps;
}

int CurrentSchemaVersion() {
    return SchemaMigrations().last().Version;
}

QString QuoteIdent(const QString& name) {
    QString n = name;
    n.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

QString ColumnTypeSql(const TDBFieldDef& field, TSqlDialect dialect) {
    const bool pg = dialect == TSqlDialect::PostgreSQL;
    switch (field.Type) {
    case TFieldDataType::fdtInteger:
        return pg ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER");
    case TFieldDataType::fdtFloat:
        return pg ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL");
    case TFieldDataType::fdtText:
        return QStringLiteral("TEXT");
    case TFieldDataType::fdtDateTime:
        // SQLite: ISO 8601 text, as Qt binds a QDateTime.
        return pg ? QStringLiteral("TIMESTAMP") : QStringLiteral("TEXT");
    case TFieldDataType::fdtBytes:
        return pg ? QStringLiteral("BYTEA") : QStringLiteral("BLOB");
    }
    return QStringLiteral("TEXT");
}

namespace {
bool IsGeneratedId(const TDBSchemaDef& schema, const TDBFieldDef& field) {
    if (!field.PrimaryKey || field.Type != TFieldDataType::fdtInteger)
        return false;
    int keys = 0;
    for (const TDBFieldDef& f : schema.Fields)
        keys += f.PrimaryKey ? 1 : 0;
    return keys == 1;
}
} // namespace

QString ColumnSql(const TDBFieldDef& field, TSqlDialect dialect) {
    QString sql = QuoteIdent(field.Name) + QLatin1Char(' ') + ColumnTypeSql(field, dialect);
    if (!field.DefaultValue.isEmpty())
        sql += QStringLiteral(" DEFAULT ") + field.DefaultValue;
    return sql;
}

QString CreateTableSql(const TDBSchemaDef& schema, TSqlDialect dialect) {
    QV_ASSERT(!schema.IsView());
    QStringList cols;
    QStringList keys;
    for (const TDBFieldDef& f : schema.Fields) {
        if (IsGeneratedId(schema, f)) {
            cols << QuoteIdent(f.Name) +
                        (dialect == TSqlDialect::PostgreSQL
                             ? QStringLiteral(" BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                             : QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT"));
            continue;
        }
        QString col = ColumnSql(f, dialect);
        if (f.PrimaryKey) {
            col += QStringLiteral(" NOT NULL");
            keys << QuoteIdent(f.Name);
        }
        cols << col;
    }
    if (!keys.isEmpty())
        cols << QStringLiteral("PRIMARY KEY (%1)").arg(keys.join(QStringLiteral(", ")));
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(QuoteIdent(schema.Name), cols.join(QStringLiteral(", ")));
}

QStringList CreateIndexSql(const TDBSchemaDef& schema, TSqlDialect) {
    QStringList out;
    for (const QString& index : schema.Indexes) {
        QStringList cols = index.split(QLatin1Char(','), Qt::SkipEmptyParts);
        QStringList quoted;
        for (QString& c : cols) {
            c = c.trimmed();
            QV_ASSERT(schema.FieldByName(c));
            quoted << QuoteIdent(c);
        }
        const QString name = QStringLiteral("ix_%1_%2").arg(schema.Name, cols.join(QLatin1Char('_')));
        out << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                   .arg(QuoteIdent(name), QuoteIdent(schema.Name), quoted.join(QStringLiteral(", ")));
    }
    return out;
}

QString CreateViewSql(const TDBSchemaDef& schema, TSqlDialect) {
    QV_ASSERT(schema.IsView());
    QStringList cols;
    for (const TDBFieldDef& f : schema.Fields)
        cols << QuoteIdent(f.Name);
    // The column list names the view's columns exactly as the field schema does.
    return QStringLiteral("CREATE VIEW %1 (%2) AS %3")
        .arg(QuoteIdent(schema.Name), cols.join(QStringLiteral(", ")), schema.ViewSql);
}

QString DropViewSql(const TDBSchemaDef& schema, TSqlDialect dialect) {
    return QStringLiteral("DROP VIEW IF EXISTS %1%2")
        .arg(QuoteIdent(schema.Name),
             dialect == TSqlDialect::PostgreSQL ? QStringLiteral(" CASCADE") : QString());
}

QString AddColumnSql(const QString& table, const QString& field, TSqlDialect dialect) {
    const TDBSchemaDef& s = RequireDef(table);
    const TDBFieldDef* f = s.FieldByName(field);
    if (!f)
        throw EQVDatabaseException(QStringLiteral("Unknown field %1 in schema %2").arg(field, table));
    return QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(QuoteIdent(s.Name), ColumnSql(*f, dialect));
}

QStringList CreateAllSql(TSqlDialect dialect) {
    QStringList out;
    for (const TDBSchemaDef& s : SchemaDefinitions())
        if (!s.IsView()) {
            out << CreateTableSql(s, dialect);
            out << CreateIndexSql(s, dialect);
        }
    for (const TDBSchemaDef& s : SchemaDefinitions())
        if (s.IsView())
            out << CreateViewSql(s, dialect);
    out << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER NOT NULL)")
               .arg(QuoteIdent(SchemaVersionTable()), QuoteIdent(QStringLiteral("version")));
    return out;
}

} // namespace hostapi::db
