// The host's field schema: schemas, captions, field order, types, flags, pick lists, qualified
// field names, and the DDL the definitions produce.

#include "DBFieldSchema.h"
#include "QVException.h"
#include "SchemaDefinitions.h"

#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>
#include <vector>

using namespace hostapi;

class tst_DBFieldSchema : public QObject {
    Q_OBJECT

private:
    static QStringList FieldsWithFlag(const QString& schema, int flag) {
        QStringList out;
        const IDBFieldSchemaItem& s = TDBFieldSchema::Instance().RequireSchema(schema);
        for (int i = 0; i < s.FieldCount(); ++i)
            if (s.Field(i).HasFlag(flag))
                out << s.Field(i).Name;
        return out;
    }
    static QStringList FieldNames(const QString& schema) {
        QStringList out;
        const IDBFieldSchemaItem& s = TDBFieldSchema::Instance().RequireSchema(schema);
        for (int i = 0; i < s.FieldCount(); ++i)
            out << s.Field(i).Name;
        return out;
    }

private slots:
    void everySchemaIsDefined_data() {
        QTest::addColumn<QString>("schema");
        QTest::addColumn<bool>("view");
        for (const char* t :
             {"emlists", "emlmacros", "emlconditions", "emllists_filters", "emtemplates",
              "emltemplatefolders", "emltemplstates", "emlattachements", "emltextblocks", "emlembededcontent",
              "emljobs", "emlsentlist", "pelm_addresses_ass", "pelm_addresses_det", "qvsettings"})
            QTest::newRow(t) << QString::fromLatin1(t) << false;
        for (const char* v : {"emladdresses", "emlsentlist_success", "emlsentlist_failed", "emlresendlist",
                              "emlresendrecords"})
            QTest::newRow(v) << QString::fromLatin1(v) << true;
    }
    void everySchemaIsDefined() {
        QFETCH(QString, schema);
        QFETCH(bool, view);
        IDBFieldSchemaItem* item = TDBFieldSchema::Instance().SchemaByName(schema);
        QVERIFY2(item, qPrintable(QStringLiteral("schema %1 missing").arg(schema)));
        QCOMPARE(item->SchemaName(), schema);
        QCOMPARE(item->Definition().IsView(), view);
        QVERIFY(TDBFieldSchema::Instance().SchemaNames().contains(schema));
        // Every field name is a lower-case identifier and unique.
        QStringList names = FieldNames(schema);
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
        for (const QString& n : names)
            QCOMPARE(n, n.toLower());
    }

    void schemaLookupIgnoresCase() {
        QVERIFY(TDBFieldSchema::Instance().SchemaByName(QStringLiteral("PELM_Addresses_ASS")));
        QVERIFY(!TDBFieldSchema::Instance().SchemaByName(QStringLiteral("nosuchschema")));
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException,
                                 TDBFieldSchema::Instance().RequireSchema(QStringLiteral("nosuchschema")));
    }

    void onlyUserSchemasHaveCaptions() {
        const auto captions = TDBFieldSchema::Instance().SchemaCaptions();
        QCOMPARE(captions.size(), 1);
        QCOMPARE(captions.first().first, QStringLiteral("pelm_addresses_ass"));
        QCOMPARE(captions.first().second, QStringLiteral("Adressen"));
        QVERIFY(TDBFieldSchema::Instance().RequireSchema(QStringLiteral("qvsettings")).Caption().isEmpty());
    }

    void listColumnsAreThoseOfPart1142() {
        const QStringList expected = {
            "id",           "fldname",     "mailserver",        "name",         "senderemail",
            "sendername",   "tblname",     "userelay",          "sendperunits", "mailsperunit",
            "sendpriority", "sendthreads", "preppriority",      "sendusername", "sendpassword",
            "sendauth",     "clientident", "clientlistident",   "useglobadr",   "unitdelay",
            "fldnamemob",   "smsprovider", "globalsmsprovider", "rsfilter",     "rsfetch",
            "globalsrv",    "globalrssvc", "chaotic",           "throttle",     "globalsendsettings",
            "replyemail"};
        QCOMPARE(FieldNames(QStringLiteral("emlists")), expected);
        const IDBFieldSchemaItem& s = TDBFieldSchema::Instance().RequireSchema(QStringLiteral("emlists"));
        QCOMPARE(s.Field(s.IndexOfField(QStringLiteral("unitdelay"))).DefaultValue, QStringLiteral("0"));
        QCOMPARE(s.FieldType(QStringLiteral("sendpassword")), TFieldDataType::fdtText);
        QCOMPARE(s.FieldType(QStringLiteral("mailsperunit")), TFieldDataType::fdtInteger);
    }

    void columnsOfTheOtherTables_data() {
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("emlmacros") << "emlmacros"
                                   << QStringList{"id", "emlists_id", "macroname", "descr", "schemaname"};
        QTest::newRow("emlconditions")
            << "emlconditions"
            << QStringList{"id",     "emlmacros_id", "condition", "value1",      "value1_isfld",
                           "value2", "value2_isfld", "valuem",    "valuem_isfld"};
        QTest::newRow("emllists_filters")
            << "emllists_filters"
            << QStringList{"id",          "schemaname",   "fieldname",      "filtertype",
                           "filterlink",  "aslookup",     "valuetype",      "value",
                           "parenthesis", "subselschema", "parentfilterid", "emllists_id"};
        QTest::newRow("emtemplates") << "emtemplates"
                                     << QStringList{"id",           "name",           "descr",
                                                    "subject",      "mailbody",       "mailbodyhtml",
                                                    "emailstyle",   "mailinglist",    "rcptcc",
                                                    "rcptbcc",      "templstateid",   "lastsent",
                                                    "creadate",     "lastchangedtsp", "templatefolderid",
                                                    "globalrecuid", "impsource"};
        QTest::newRow("emltemplatefolders")
            << "emltemplatefolders" << QStringList{"id", "descr", "parentemlltemplatefolderid"};
        QTest::newRow("emltemplstates") << "emltemplstates" << QStringList{"id", "descr"};
        QTest::newRow("emlattachements")
            << "emlattachements"
            << QStringList{"id",        "emltemplateid", "filename",    "filesource",
                           "usemacros", "isinline",      "fileoptions", "filemrsettings"};
        QTest::newRow("emltextblocks")
            << "emltextblocks"
            << QStringList{"id", "emtemplateid", "descr", "body", "bodyhtml", "globalrecuid", "impsource"};
        QTest::newRow("emlembededcontent")
            << "emlembededcontent" << QStringList{"id",          "emltemplateid", "contentfilename",
                                                  "contentdata", "globalrecuid",  "impsource"};
        QTest::newRow("emljobs") << "emljobs"
                                 << QStringList{"id",      "emltemplates_id", "startdate",     "jobstate",
                                                "enddate", "parentjobid",     "parentjobstate"};
        QTest::newRow("emlsentlist") << "emlsentlist"
                                     << QStringList{"id",        "emljobs_id", "email",    "errormessage",
                                                    "sentstate", "sentdate",   "addressid"};
        QTest::newRow("pelm_addresses_ass")
            << "pelm_addresses_ass"
            << QStringList{"id",         "companyname", "name",     "surname", "street", "zipcode",
                           "city",       "country",     "phone",    "email1",  "email2", "mobile",
                           "salutation", "title",       "birthday", "ptypeid"};
        QTest::newRow("pelm_addresses_det") << "pelm_addresses_det" << QStringList{"id", "isactive"};
        QTest::newRow("qvsettings") << "qvsettings" << QStringList{"section", "key", "value"};
    }
    void columnsOfTheOtherTables() {
        QFETCH(QString, schema);
        QFETCH(QStringList, fields);
        QCOMPARE(FieldNames(schema), fields);
    }

    void resendListIsAddressShaped() {
        // Record id = address id; the address columns follow in the address schema's order.
        const QStringList address = FieldNames(QStringLiteral("pelm_addresses_ass"));
        const QStringList resend = FieldNames(QStringLiteral("emlresendlist"));
        QCOMPARE(resend.mid(0, address.size()), address);
        QVERIFY(resend.contains(QStringLiteral("emljobs_id")));
        QVERIFY(resend.contains(QStringLiteral("sentstate")));
        QCOMPARE(FieldsWithFlag(QStringLiteral("emlresendlist"), fftEmail),
                 (QStringList{"email1", "email2"}));
    }

    void typesOfTheAddressFields() {
        const IDBFieldSchemaItem& s =
            TDBFieldSchema::Instance().RequireSchema(QStringLiteral("pelm_addresses_ass"));
        QCOMPARE(s.FieldType(QStringLiteral("id")), TFieldDataType::fdtInteger);
        QVERIFY(s.Field(0).PrimaryKey);
        QCOMPARE(s.FieldType(QStringLiteral("birthday")), TFieldDataType::fdtDateTime);
        QCOMPARE(s.FieldType(QStringLiteral("ptypeid")), TFieldDataType::fdtInteger);
        QCOMPARE(s.FieldType(QStringLiteral("Email1")), TFieldDataType::fdtText);
        QCOMPARE(TDBFieldSchema::Instance()
                     .RequireSchema(QStringLiteral("emlembededcontent"))
                     .FieldType(QStringLiteral("contentdata")),
                 TFieldDataType::fdtBytes);
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException, s.FieldType(QStringLiteral("nosuchfield")));
    }

    void flagsInSchemaOrder_data() {
        QTest::addColumn<int>("flag");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("e-mail (2)") << 2 << QStringList{"email1", "email2"};
        QTest::newRow("mobile (11)") << 11 << QStringList{"mobile"};
        QTest::newRow("unused (0)") << 0 << QStringList{};
        QTest::newRow("largest (15)") << 15 << QStringList{};
        QTest::newRow("out of range (16)") << 16 << QStringList{};
        QTest::newRow("negative (-1)") << -1 << QStringList{};
    }
    void flagsInSchemaOrder() {
        QFETCH(int, flag);
        QFETCH(QStringList, fields);
        QCOMPARE(FieldsWithFlag(QStringLiteral("pelm_addresses_ass"), flag), fields);
        const IDBFieldSchemaItem& s =
            TDBFieldSchema::Instance().RequireSchema(QStringLiteral("pelm_addresses_ass"));
        QCOMPARE(s.GetFieldTypeFlagSet(QStringLiteral("EMAIL2")), quint16(1u << 2));
        QCOMPARE(s.GetFieldTypeFlagSet(QStringLiteral("mobile")), quint16(1u << 11));
        QCOMPARE(s.GetFieldTypeFlagSet(QStringLiteral("nosuchfield")), quint16(0));
    }

    void germanCaptions_data() {
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("caption");
        QTest::newRow("email1") << "pelm_addresses_ass"
                                << "email1"
                                << "E-Mail 1";
        QTest::newRow("street") << "pelm_addresses_ass"
                                << "street" << QStringLiteral("Straße");
        QTest::newRow("mobile") << "pelm_addresses_ass"
                                << "mobile"
                                << "Mobiltelefon";
        QTest::newRow("creadate") << "emtemplates"
                                  << "creadate"
                                  << "Erstellt am";
        QTest::newRow("lastchangedtsp") << "emtemplates"
                                        << "lastchangedtsp" << QStringLiteral("Geändert am");
    }
    void germanCaptions() {
        QFETCH(QString, schema);
        QFETCH(QString, field);
        QFETCH(QString, caption);
        const IDBFieldSchemaItem& s = TDBFieldSchema::Instance().RequireSchema(schema);
        QCOMPARE(s.Field(s.IndexOfField(field)).Caption, caption);
    }

    void everyUserSchemaFieldHasACaption() {
        for (const auto& [name, caption] : TDBFieldSchema::Instance().SchemaCaptions()) {
            const IDBFieldSchemaItem& s = TDBFieldSchema::Instance().RequireSchema(name);
            for (int i = 0; i < s.FieldCount(); ++i)
                QVERIFY2(!s.Field(i).Caption.isEmpty(),
                         qPrintable(name + QLatin1Char('.') + s.Field(i).Name));
        }
    }

    void resolveField_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("schema");
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("related");
        QTest::addColumn<QString>("localKey");
        QTest::addColumn<int>("type");
        QTest::newRow("plain field") << "pelm_addresses_ass"
                                     << "email1"
                                     << "pelm_addresses_ass"
                                     << "email1" << false << "" << int(TFieldDataType::fdtText);
        QTest::newRow("upper case") << "pelm_addresses_ass"
                                    << "EMAIL1"
                                    << "pelm_addresses_ass"
                                    << "email1" << false << "" << int(TFieldDataType::fdtText);
        QTest::newRow("qualified by the base")
            << "pelm_addresses_ass"
            << "Pelm_Addresses_Ass.birthday"
            << "pelm_addresses_ass"
            << "birthday" << false << "" << int(TFieldDataType::fdtDateTime);
        QTest::newRow("detail isactive") << "pelm_addresses_ass"
                                         << "pelm_addresses_det.isactive"
                                         << "pelm_addresses_det"
                                         << "isactive" << true << "id" << int(TFieldDataType::fdtInteger);
        QTest::newRow("success emladdresses.id")
            << "emlsentlist_success"
            << "emladdresses.id"
            << "emladdresses"
            << "id" << true << "addressid" << int(TFieldDataType::fdtInteger);
        QTest::newRow("success emladdresses.isactive")
            << "emlsentlist_success"
            << "emladdresses.isactive"
            << "emladdresses"
            << "isactive" << true << "addressid" << int(TFieldDataType::fdtInteger);
        QTest::newRow("failed emladdresses.isactive")
            << "emlsentlist_failed"
            << "emladdresses.isactive"
            << "emladdresses"
            << "isactive" << true << "addressid" << int(TFieldDataType::fdtInteger);
        QTest::newRow("view column") << "emlsentlist_failed"
                                     << "sentstate"
                                     << "emlsentlist_failed"
                                     << "sentstate" << false << "" << int(TFieldDataType::fdtInteger);
        QTest::newRow("resend detail isactive")
            << "emlresendlist"
            << "pelm_addresses_det.isactive"
            << "pelm_addresses_det"
            << "isactive" << true << "id" << int(TFieldDataType::fdtInteger);
    }
    void resolveField() {
        QFETCH(QString, base);
        QFETCH(QString, name);
        QFETCH(QString, schema);
        QFETCH(QString, field);
        QFETCH(bool, related);
        QFETCH(QString, localKey);
        QFETCH(int, type);
        const TResolvedField r = TDBFieldSchema::Instance().ResolveField(base, name);
        QCOMPARE(r.Schema, schema);
        QCOMPARE(r.Field, field);
        QCOMPARE(r.Related, related);
        QCOMPARE(int(r.Type), type);
        if (related) {
            QCOMPARE(r.Relation.Schema, schema);
            QCOMPARE(r.Relation.LocalKey, localKey);
            QCOMPARE(r.Relation.RelatedKey, QStringLiteral("id"));
        }
    }

    void unknownOrSqlCarryingNamesAreRefused_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("name");
        QTest::newRow("unknown") << "pelm_addresses_ass"
                                 << "nosuchfield";
        QTest::newRow("empty") << "pelm_addresses_ass"
                               << "";
        QTest::newRow("sql statement") << "pelm_addresses_ass"
                                       << "email1; DROP TABLE emlists; --";
        QTest::newRow("sql quote") << "pelm_addresses_ass"
                                   << "x'; DROP TABLE emlists; --";
        QTest::newRow("quoted identifier") << "pelm_addresses_ass"
                                           << "\"email1\"";
        QTest::newRow("blank around") << "pelm_addresses_ass"
                                      << " email1";
        QTest::newRow("expression") << "pelm_addresses_ass"
                                    << "email1||email2";
        QTest::newRow("unknown related field") << "pelm_addresses_ass"
                                               << "pelm_addresses_det.nosuch";
        QTest::newRow("schema that is no relation") << "pelm_addresses_ass"
                                                    << "emlists.id";
        QTest::newRow("alias on the wrong base") << "pelm_addresses_ass"
                                                 << "emladdresses.id";
        QTest::newRow("three parts") << "pelm_addresses_ass"
                                     << "pelm_addresses_det.isactive.x";
        QTest::newRow("empty qualifier") << "pelm_addresses_ass"
                                         << ".email1";
        QTest::newRow("unknown base schema") << "nosuchschema"
                                             << "id";
        QTest::newRow("sql in the qualifier") << "pelm_addresses_ass"
                                              << "pelm_addresses_det;--.isactive";
    }
    void unknownOrSqlCarryingNamesAreRefused() {
        QFETCH(QString, base);
        QFETCH(QString, name);
        try {
            TDBFieldSchema::Instance().ResolveField(base, name);
            QFAIL(qPrintable(QStringLiteral("%1 on %2 was accepted").arg(name, base)));
        } catch (const EQVDatabaseException& e) {
            QVERIFY2(e.Message().startsWith(QStringLiteral("Unknown")), qPrintable(e.Message()));
        }
    }

    void pickLists() {
        IDBFieldSchemaItem& s = TDBFieldSchema::Instance().RequireSchema(QStringLiteral("emtemplates"));
        QCOMPARE(s.FieldListData(QStringLiteral("emailstyle")),
                 QStringLiteral(
                     "0=Text-Email\r\n1=RTF-Email\r\n2=Quelltext (HTML/Text)\r\n3=SMS\r\n4=HTML-Email"));
        const QString before = s.FieldListData(QStringLiteral("emailstyle"));
        s.SetFieldListData(QStringLiteral("EmailStyle"), QStringLiteral("0=Plain text\r\n1=RTF"));
        QCOMPARE(s.FieldListData(QStringLiteral("emailstyle")), QStringLiteral("0=Plain text\r\n1=RTF"));
        QCOMPARE(s.Field(s.IndexOfField(QStringLiteral("emailstyle"))).ListData,
                 QStringLiteral("0=Plain text\r\n1=RTF"));
        s.SetFieldListData(QStringLiteral("emailstyle"), before);
        QCOMPARE(s.FieldListData(QStringLiteral("nosuchfield")), QString());
        QVERIFY_THROWS_EXCEPTION(EQVDatabaseException,
                                 s.SetFieldListData(QStringLiteral("nosuchfield"), QStringLiteral("0=x")));
    }

    void pickListsAreSafeFromAnyThread() {
        IDBFieldSchemaItem& s = TDBFieldSchema::Instance().RequireSchema(QStringLiteral("emlattachements"));
        const QString a = QStringLiteral("0=a\r\n1=b");
        const QString b = QStringLiteral("0=Email nicht versenden wenn Datei nicht existiert");
        std::atomic<bool> torn{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 2000; ++i) {
                    if (t % 2 == 0)
                        s.SetFieldListData(QStringLiteral("fileoptions"), (i % 2) ? a : b);
                    const QString v = s.FieldListData(QStringLiteral("fileoptions"));
                    if (v != a && v != b && !v.startsWith(QStringLiteral("0=Email")))
                        torn = true;
                }
            });
        for (auto& th : threads)
            th.join();
        QVERIFY(!torn);
    }

    void ddlForBothDialects() {
        using namespace hostapi::db;
        const TDBSchemaDef& s =
            TDBFieldSchema::Instance().RequireSchema(QStringLiteral("emlembededcontent")).Definition();
        const QString lite = CreateTableSql(s, TSqlDialect::SQLite);
        const QString pg = CreateTableSql(s, TSqlDialect::PostgreSQL);
        QVERIFY2(lite.contains(QStringLiteral("\"id\" INTEGER PRIMARY KEY AUTOINCREMENT")), qPrintable(lite));
        QVERIFY2(lite.contains(QStringLiteral("\"contentdata\" BLOB")), qPrintable(lite));
        QVERIFY2(pg.contains(QStringLiteral("\"id\" BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")),
                 qPrintable(pg));
        QVERIFY2(pg.contains(QStringLiteral("\"contentdata\" BYTEA")), qPrintable(pg));
        const TDBSchemaDef& t =
            TDBFieldSchema::Instance().RequireSchema(QStringLiteral("emtemplates")).Definition();
        QVERIFY(
            CreateTableSql(t, TSqlDialect::PostgreSQL).contains(QStringLiteral("\"lastsent\" TIMESTAMP")));
        const TDBSchemaDef& l =
            TDBFieldSchema::Instance().RequireSchema(QStringLiteral("emlists")).Definition();
        QVERIFY(CreateTableSql(l, TSqlDialect::SQLite)
                    .contains(QStringLiteral("\"unitdelay\" INTEGER DEFAULT 0")));
        const TDBSchemaDef& k =
            TDBFieldSchema::Instance().RequireSchema(QStringLiteral("qvsettings")).Definition();
        QVERIFY(CreateTableSql(k, TSqlDialect::SQLite)
                    .contains(QStringLiteral("PRIMARY KEY (\"section\", \"key\")")));
        QVERIFY(CreateIndexSql(
                    TDBFieldSchema::Instance().RequireSchema(QStringLiteral("emlsentlist")).Definition(),
                    TSqlDialect::SQLite)
                    .join(QLatin1Char('\n'))
                    .contains(QStringLiteral("(\"emljobs_id\", \"sentstate\")")));
        QCOMPARE(
            AddColumnSql(QStringLiteral("emlists"), QStringLiteral("unitdelay"), TSqlDialect::PostgreSQL),
            QStringLiteral("ALTER TABLE \"emlists\" ADD COLUMN \"unitdelay\" BIGINT DEFAULT 0"));
        QVERIFY(CurrentSchemaVersion() >= 1);
        QCOMPARE(SchemaMigrations().first().Version, 1);
    }
};

QTEST_GUILESS_MAIN(tst_DBFieldSchema)
#include "tst_DBFieldSchema.moc"
