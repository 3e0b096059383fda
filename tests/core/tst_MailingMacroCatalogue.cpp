// The mailing window's macro catalogue on a list stored in SQLite: the five groups, the shown and
// stored forms, a caption typed by hand, macros in attachment paths, a job's used macros, and that
// the inserted, stored, used and sent forms of a macro agree.

#include "BaseEmailSender.h"
#include "Database.h"
#include "DocumentPreparer.h"
#include "EmailAttachement.h"
#include "HostLibraries.h"
#include "MailingMacroCatalogue.h"
#include "MacroListFixture.h"
#include "MacroNames.h"
#include "QVRecordSet.h"
#include "RegionalSettings.h"

#include <QTest>

#include <algorithm>

using namespace emailmarketing;
using macrotest::AddressSchema;
using macrotest::Fixture;

namespace {

QStringList Captions(const QList<TMailingMacroEntry>& AEntries) {
    QStringList result;
    for (const TMailingMacroEntry& e : AEntries)
        result << e.Caption;
    return result;
}

const TMailingMacroEntry* Find(const QList<TMailingMacroEntry>& AEntries, const QString& ACaption) {
    for (const TMailingMacroEntry& e : AEntries)
        if (e.Caption == ACaption)
            return &e;
    return nullptr;
}

bool SortedIgnoringCase(const QStringList& ACaptions) {
    return std::is_sorted(ACaptions.begin(), ACaptions.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
}

QStringList Used(const QList<TUsedMakro>& AUsed) {
    QStringList result;
    for (const TUsedMakro& u : AUsed)
        result << QStringLiteral("%1:%2").arg(u.first).arg(u.second);
    return result;
}

// The plain text of the message that AStored becomes for the address "Muster" of Köln, with
// AUsed computed.
QString SentBody(const Fixture& AFixture, const QList<TUsedMakro>& AUsed, const QString& AStored) {
    hostapi::Database::InsertRow(AddressSchema, {"name", "email1", "city"},
                                 {"Muster", "k@example.org", "Köln"});
    hostapi::TQVRecordSet records(AddressSchema);
    records.Open();
    TDocumentPreparer preparer(
        TDocumentPreparer::TJobData{esPlainText, AFixture.List, AUsed, QString(),
                                    [] { return QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)); }});
    TEmailDocument doc;
    doc.SetPlainMailBody(AStored);
    if (!preparer.PrepareDocument(doc, 0, records, {}))
        return QStringLiteral("<no message>");
    return doc.PlainMailBody();
}

} // namespace

class tst_MailingMacroCatalogue : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        hostapi::HostLibraries::Initialize();
        hostapi::RegionalSettings::SetLocale(QLocale(QLocale::German, QLocale::Germany));
    }

    void systemEntriesStoreTheirPredefinedMacro_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("stored");
        QTest::newRow("day short") << "Aktueller Tag - kurz"
                                   << "%PRE_DAY3%";
        QTest::newRow("day long") << "Aktueller Tag - lang"
                                  << "%PRE_DAY4%";
        QTest::newRow("date") << "Aktuelles Datum"
                              << "%PRE_DATE%";
        QTest::newRow("list") << "Verteilerliste"
                              << "%PRE_DISTRIBUTORLIST%";
    }
    void systemEntriesStoreTheirPredefinedMacro() {
        QFETCH(QString, caption);
        QFETCH(QString, stored);
        const TMailingMacroCatalogue catalogue;
        const TMailingMacroEntry* entry = Find(catalogue.Entries(mgSystem), caption);
        QVERIFY2(entry, qPrintable(caption));
        QCOMPARE(entry->Stored, stored);
        QCOMPARE(entry->Kind, int(mkPredefined));
        QCOMPARE(entry->ShownForm(), QLatin1Char('[') + caption + QLatin1Char(']'));
    }

    void systemGroupSortsByCaptionIgnoringCase() {
        const TMailingMacroCatalogue catalogue;
        const QStringList captions = Captions(catalogue.Entries(mgSystem));
        QCOMPARE(captions.size(), 17);
        QVERIFY(SortedIgnoringCase(captions));
        QCOMPARE(captions.first(), QStringLiteral("Absender EMailadresse"));
        QCOMPARE(captions.last(), QStringLiteral("Verteilerliste"));
    }

    void withoutListOnlySystemAndTextBlocks() {
        TMailingMacroCatalogue catalogue;
        QVERIFY(catalogue.SetList(nullptr, hostapi::TDBFieldSchema::Instance()));
        catalogue.SetTextBlocks({QStringLiteral("Gruß"), QString()});
        QVERIFY(catalogue.Entries(mgFields).isEmpty());
        QVERIFY(catalogue.Entries(mgSchemaMacros).isEmpty());
        QVERIFY(catalogue.Entries(mgListMacros).isEmpty());
        QCOMPARE(catalogue.Entries(mgSystem).size(), 17);
        QCOMPARE(catalogue.Entries(mgTextBlocks).size(), 1);
        const TMailingMacroEntry& block = catalogue.Entries(mgTextBlocks).first();
        QCOMPARE(block.ShownForm(), QStringLiteral("[TEXTBLOCK:GRUß]"));
        QCOMPARE(block.Kind, mkTextBlock);
        // Nothing converts without a list.
        QCOMPARE(catalogue.ConvertMacroCaptions(QStringLiteral("[Aktueller Tag - kurz]"), false),
                 QStringLiteral("[Aktueller Tag - kurz]"));
    }

    void listGroupsFromTheStoredList() {
        Fixture f;
        const TMailingMacroCatalogue catalogue = f.Catalogue();
        QVERIFY(!catalogue.SchemaMissing());
        QCOMPARE(Captions(catalogue.Entries(mgListMacros)),
                 QStringList({QStringLiteral("grußformel"), QStringLiteral("Straße des Hauses")}));
        const TMailingMacroEntry* street =
            Find(catalogue.Entries(mgListMacros), QStringLiteral("Straße des Hauses"));
        QCOMPARE(street->Stored, QStringLiteral("%STRAßE%"));
        QCOMPARE(street->Kind, int(mkListMacro));
        const TMailingMacroEntry* region = Find(catalogue.Entries(mgSchemaMacros), QStringLiteral("Region"));
        QVERIFY(region);
        QCOMPARE(region->Stored, QStringLiteral("%REGION%"));
        QCOMPARE(region->Kind, int(mkSchemaMacro));
        const QStringList fields = Captions(catalogue.Entries(mgFields));
        QVERIFY2(fields.contains(QStringLiteral("Straße")), qPrintable(fields.join('|')));
        QCOMPARE(Find(catalogue.Entries(mgFields), QStringLiteral("E-Mail 1"))->Stored,
                 QStringLiteral("%EMAIL1%"));
        QCOMPARE(Find(catalogue.Entries(mgFields), QStringLiteral("Ort"))->Kind, int(mkField));
        QVERIFY(SortedIgnoringCase(fields));
    }

    // The field group stays empty; the list's own and its schema's macros are shown and convert.
    void missingSchemaLeavesTheFieldsOut() {
        Fixture f(QStringLiteral("pelm_gibtesnicht"));
        const TMailingMacroCatalogue catalogue = f.Catalogue();
        QVERIFY(catalogue.SchemaMissing());
        QVERIFY(catalogue.Entries(mgFields).isEmpty());
        QCOMPARE(catalogue.Entries(mgListMacros).size(), 2);
        QCOMPARE(catalogue.Entries(mgSchemaMacros).size(), 1);
        QCOMPARE(catalogue.ConvertMacroCaptions(QStringLiteral("[Straße des Hauses] [Region] [Ort]"), false),
                 QStringLiteral("%STRAßE% %REGION% [Ort]"));
    }

    void typedCaptions_data() {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("stored");
        QTest::newRow("list macro") << "An [Straße des Hauses]"
                                    << "An %STRAßE%";
        QTest::newRow("list macro in other case") << "An [STRASSE DES HAUSES] [straße des hauses]"
                                                  << "An [STRASSE DES HAUSES] %STRAßE%";
        QTest::newRow("schema macro") << "[Region]"
                                      << "%REGION%";
        QTest::newRow("field") << "[Straße] [Ort]"
                               << "%STREET% %CITY%";
        QTest::newRow("predefined") << "[Aktueller Tag - kurz]/[Aktueller Tag - lang]"
                                    << "%PRE_DAY3%/%PRE_DAY4%";
        QTest::newRow("unknown caption stays") << "[Hausnummer] [Aktueller Tag]"
                                               << "[Hausnummer] [Aktueller Tag]";
        QTest::newRow("text block stays") << "[TEXTBLOCK:GRUß]"
                                          << "[TEXTBLOCK:GRUß]";
    }
    void typedCaptions() {
        QFETCH(QString, shown);
        QFETCH(QString, stored);
        Fixture f;
        const TMailingMacroCatalogue catalogue = f.Catalogue();
        QCOMPARE(catalogue.ConvertMacroCaptions(shown, false), stored);
    }

    void storedFormsShownAgain() {
        Fixture f;
        const TMailingMacroCatalogue catalogue = f.Catalogue();
        QCOMPARE(catalogue.ConvertMacroCaptions(
                     QStringLiteral("%straße% %Region% %PRE_DAY3% %EMAIL1% %NOPE%"), true),
                 QStringLiteral("[Straße des Hauses] [Region] [Aktueller Tag - kurz] [E-Mail 1] %NOPE%"));
    }

    void pathHasMacro_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("expected");
        QTest::newRow("list macro") << "/daten/%STRAßE%/plan.pdf" << true;
        QTest::newRow("schema macro in other case") << "/daten/%region%.pdf" << true;
        QTest::newRow("predefined") << "/daten/%PRE_YEAR4%/x.pdf" << true;
        QTest::newRow("field") << "/daten/%Name%.pdf" << true;
        QTest::newRow("shown form is no macro") << "/daten/[Ort].pdf" << false;
        QTest::newRow("unknown macro") << "/daten/%NOPE%.pdf" << false;
        QTest::newRow("plain path") << "/daten/plan.pdf" << false;
    }
    void pathHasMacro() {
        QFETCH(QString, path);
        QFETCH(bool, expected);
        Fixture f;
        QCOMPARE(f.Catalogue().PathHasMacro(path), expected);
    }

    void collectUsedMacros_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("pathPattern");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing") << "Hallo"
                                 << ""
                                 << "" << QStringList();
        QTest::newRow("each kind, in computing order")
            << "%email1% %PRE_DAY3% %GRUSS%"
            << ""
            << "" << QStringList{"%GRUSS%:1", "%PRE_DAY3%:0", "%EMAIL1%:2"};
        QTest::newRow("list macro brings the macros of its values")
            << "%Straße%"
            << ""
            << "" << QStringList{"%STRAßE%:1", "%PRE_YEAR4%:0", "%CITY%:2"};
        QTest::newRow("schema macro brings the macros of its values")
            << "%REGION%"
            << ""
            << "" << QStringList{"%REGION%:3", "%PRE_DISTRIBUTORLIST%:0", "%NAME%:2"};
        QTest::newRow("macro of a value also in the text is listed once, after the value's macro")
            << "%NAME% %REGION%"
            << ""
            << "" << QStringList{"%REGION%:3", "%PRE_DISTRIBUTORLIST%:0", "%NAME%:2"};
        QTest::newRow("macro in the text and the attachment is listed once")
            << "%PRE_YEAR2% %pre_year2%"
            << "Rechnung %PRE_YEAR2%.txt"
            << "" << QStringList{"%PRE_YEAR2%:0"};
        QTest::newRow("attachment name") << "Hallo"
                                         << "Rechnung %PRE_YEAR2%.txt"
                                         << "" << QStringList{"%PRE_YEAR2%:0"};
        QTest::newRow("attachment path pattern") << "Hallo"
                                                 << "a.txt"
                                                 << "/daten/%ZIPCODE%/a.txt" << QStringList{"%ZIPCODE%:2"};
    }
    void collectUsedMacros() {
        QFETCH(QString, text);
        QFETCH(QString, fileName);
        QFETCH(QString, pathPattern);
        QFETCH(QStringList, expected);
        Fixture f;
        const TMailingMacroCatalogue catalogue = f.Catalogue();
        TAttachementList attachements;
        if (!fileName.isEmpty()) {
            TAttachement* a = attachements.Add();
            a->SetFileName(fileName);
            a->SetLocalMacroFileName(pathPattern);
        }
        QCOMPARE(Used(catalogue.CollectUsedMacros(text, attachements)), expected);
    }

    void collectUsedMacrosOfAJob_data() {
        QTest::addColumn<QStringList>("texts"); // content, HTML, subject, CC, BCC
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("each text") << QStringList{"%GRUSS%", "<p>%PRE_DAY4%</p>", "Am %PRE_DATE%", "%EMAIL1%",
                                                  "x@y.de"}
                                   << QStringList{"%GRUSS%:1", "%PRE_DAY4%:0", "%PRE_DATE%:0",
                                                  "%PRE_YEAR2%:0", "%EMAIL1%:2"};
        QTest::newRow("no macro across content and HTML")
            << QStringList{"Preis %GR", "USS%", "", "", ""} << QStringList{"%PRE_YEAR2%:0"};
        QTest::newRow("no macro across subject and CC")
            << QStringList{"", "", "Am %PRE_", "DATE% a@b.de", ""} << QStringList{"%PRE_YEAR2%:0"};
        QTest::newRow("no macro across CC and BCC")
            << QStringList{"", "", "", "a@b.de %EMA", "IL1% c@d.de"} << QStringList{"%PRE_YEAR2%:0"};
        QTest::newRow("a macro in several texts is listed once")
            << QStringList{"%EMAIL1%", "%email1%", "%EMAIL1%", "%EMAIL1%", "%Email1%"}
            << QStringList{"%PRE_YEAR2%:0", "%EMAIL1%:2"};
    }
    // The job's texts are searched each on its own, and its list of used macros is replaced.
    void collectUsedMacrosOfAJob() {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, expected);
        Fixture f;
        const TMailingMacroCatalogue catalogue = f.Catalogue();
        TBaseEmailSender job(nullptr, 1, f.List, esHTML);
        job.UsedMakros() = {{QStringLiteral("%ALT%"), mkField}};
        job.SetContent(texts.at(0));
        job.SetHTMLContent(texts.at(1));
        job.SetSubject(texts.at(2));
        job.SetCCList(texts.at(3));
        job.SetBCCList(texts.at(4));
        job.Attachements().Add()->SetFileName(QStringLiteral("%PRE_YEAR2%.txt"));
        catalogue.CollectUsedMacros(job);
        QCOMPARE(Used(job.UsedMakros()), expected);
    }

    // Two list macros whose values hold the same field: the field is listed once, after both, so
    // that the message carries its value in both places.
    void fieldOfTwoMacroValuesIsFilledInBoth() {
        Fixture f;
        TMacroList macros = f.List->UserMacros();
        TMacroItem* greeting = macros.ByName(QStringLiteral("gruss"));
        QVERIFY(greeting);
        greeting->Items(0)->SetMacroValue(QStringLiteral("Hallo aus %City%"));
        f.List->SetUserMacros(macros);
        const TMailingMacroCatalogue catalogue = f.Catalogue();
        const QString stored = QStringLiteral("%GRUSS%: %STRAßE%");
        const QList<TUsedMakro> used = catalogue.CollectUsedMacros(stored, {});
        QCOMPARE(Used(used).filter(QStringLiteral("%CITY%")), QStringList({"%CITY%:2"}));
        QCOMPARE(Used(used).last(), QStringLiteral("%CITY%:2"));

        QCOMPARE(SentBody(f, used, stored), QStringLiteral("Hallo aus Köln: Hauptstraße 2024, Köln"));
    }

    // What the window inserts, what the template stores, what the job computes and what the
    // message carries agree, for a list macro whose name holds "ß".
    void insertedStoredUsedAndSentAgree() {
        Fixture f;
        const TMailingMacroCatalogue catalogue = f.Catalogue();
        const TMailingMacroEntry* street =
            Find(catalogue.Entries(mgListMacros), QStringLiteral("Straße des Hauses"));
        QVERIFY(street);
        const QString inserted = QStringLiteral("Sie wohnen in ") + street->ShownForm() + QLatin1Char('.');
        QCOMPARE(inserted, QStringLiteral("Sie wohnen in [Straße des Hauses]."));
        const QString stored = catalogue.ConvertMacroCaptions(inserted, false);
        QCOMPARE(stored, QStringLiteral("Sie wohnen in %STRAßE%."));
        const QList<TUsedMakro> used = catalogue.CollectUsedMacros(stored, {});
        QCOMPARE(Used(used), QStringList({"%STRAßE%:1", "%PRE_YEAR4%:0", "%CITY%:2"}));

        QCOMPARE(SentBody(f, used, stored), QStringLiteral("Sie wohnen in Hauptstraße 2024, Köln."));
    }
};

QTEST_GUILESS_MAIN(tst_MailingMacroCatalogue)
#include "tst_MailingMacroCatalogue.moc"
