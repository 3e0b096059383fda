// Preparing one recipient's document from a real database: address rules, every kind of macro in
// subject, bodies, CC, BCC and attachments, and local attachment files found by recipient values.

#include "BaseEmailSender.h"
#include "Database.h"
#include "DocumentPreparer.h"
#include "HostLibraries.h"
#include "QVRecordSet.h"
#include "RegionalSettings.h"
#include "UserAccess.h"
#include "Windows1252Codec.h"
#include "support/TestDatabase.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace emailmarketing;
using testsupport::Backend;
using testsupport::TestDatabase;

namespace {

const QDateTime FixedNow(QDate(2024, 3, 5), QTime(7, 8, 9));

qint64 AddAddress(const QStringList& columns, const QVariantList& values) {
    return hostapi::Database::InsertRow(QStringLiteral("pelm_addresses_ass"), columns, values);
}

std::shared_ptr<TEmailListItem> AddressList() {
    auto list = std::make_shared<TEmailListItem>();
    list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
    list->SetName(QStringLiteral("Kunden"));
    list->SetUseGlobalAddress(false);
    list->SetSenderName(QStringLiteral("Muster GmbH"));
    list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email1"), QStringLiteral("email2")});
    list->SetEmailFields(hostapi::fftMobile, {QStringLiteral("mobile")});
    // A conditional list macro: "Frau" when the salutation field is "F", else the field "title".
    TMacroList macros;
    TMacroItem* greeting = macros.Add();
    greeting->SetMacroName(QStringLiteral("ANREDE"));
    TMacroConditionItem* woman = greeting->Add();
    woman->SetCondition(maEQ);
    woman->SetValue1IsField(true);
    woman->SetConditionValue1(QStringLiteral("salutation"));
    woman->SetConditionValue2(QStringLiteral("F"));
    woman->SetMacroValue(QStringLiteral("<b>Frau</b>"));
    TMacroConditionItem* other = greeting->Add();
    other->SetCondition(maNONE);
    other->SetMacroValueIsField(true);
    other->SetMacroValue(QStringLiteral("title"));
    list->SetUserMacros(macros);
    auto schemaMacros = std::make_shared<TMacroList>();
    TMacroItem* region = schemaMacros->Add();
    region->SetMacroName(QStringLiteral("REGION"));
    region->Add()->SetMacroValue(QStringLiteral("Süd"));
    list->SetOnGetSchemaMacros([schemaMacros](const TEmailListItem&, const QString&,
                                              std::shared_ptr<TMacroList>& m) { m = schemaMacros; });
    return list;
}

TDocumentPreparer MakePreparer(TEmailStyle style, const QList<TUsedMakro>& used,
                               std::shared_ptr<TEmailListItem> list = AddressList()) {
    return TDocumentPreparer(
        TDocumentPreparer::TJobData{style, std::move(list), used, QString(), [] { return FixedNow; }});
}

struct Records {
    hostapi::TQVRecordSet Set{QStringLiteral("pelm_addresses_ass")};
    Records() { Set.Open(); }
};

void WriteFile(const QString& path, const QByteArray& data = "x") {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

class tst_DocumentPreparer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        hostapi::HostLibraries::Initialize();
        hostapi::RegionalSettings::SetLocale(QLocale(QLocale::German, QLocale::Germany));
    }

    void everyMacroKindEverywhere_data() {
        TestDatabase::AddBackendColumn();
        TestDatabase::AddBackendRows();
    }
    void everyMacroKindEverywhere() {
        QFETCH(Backend, backend);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        AddAddress({"name", "email1", "salutation", "title", "city", "birthday"},
                   {"A & B <GmbH>", "kunde@example.org", "F", "Dr.", "Köln\r\nBcc: x@evil.org",
                    QDateTime(QDate(1980, 4, 1), QTime(0, 0))});
        AddAddress({"name", "email1", "salutation", "title", "city"},
                   {"%NAME%", "zwei@example.org", "M", "Herr", "%REGION%"});
        hostapi::UserAccess::SetUser(QStringLiteral("tester"), 7);
        Records r;
        QTemporaryDir dir;
        const QString tempFile = dir.filePath(QStringLiteral("brief.txt"));
        WriteFile(tempFile, "Hallo %NAME% aus %CITY%");

        const QList<TUsedMakro> used{{"%name%", mkField},           {"%CITY%", mkField},
                                     {"%BIRTHDAY%", mkField},       {"%ANREDE%", mkListMacro},
                                     {"%GELOESCHT%", mkListMacro},  {"%REGION%", mkSchemaMacro},
                                     {"%PRE_YEAR2%", mkPredefined}, {"%PRE_MONTH2%", mkPredefined},
                                     {"%PRE_USER%", mkPredefined},  {"%PRE_MAILCOUNT%", mkPredefined},
                                     {"%TITLE%", mkField}};
        TDocumentPreparer preparer = MakePreparer(esHTML, used);
        TAttachementList templateAttachements;
        TAttachement* letter = templateAttachements.Add();
        letter->SetFileName(QStringLiteral("Brief %NAME%.txt"));
        letter->SetUseMacros(true);
        letter->SetLocalFile(tempFile);

        TEmailDocument doc;
        doc.SetSubject(QStringLiteral("%NAME% in %CITY% (%PRE_YEAR2%/%PRE_MONTH2%)"));
        doc.SetPlainMailBody(
            QStringLiteral("%ANREDE% %Name%, %GELOESCHT% %REGION% %BIRTHDAY% %PRE_USER% %PRE_MAILCOUNT%"));
        doc.SetHTMLMailBody(QStringLiteral("<p>%ANREDE% %NAME%</p>"));
        doc.SetCCList(QStringLiteral("%TITLE% Kunde <cc@example.org>;x@y.de"));
        doc.SetBCCList(QStringLiteral("bcc@example.org; %CITY%"));
        QVERIFY(preparer.PrepareDocument(doc, 0, r.Set, templateAttachements));

        QCOMPARE(doc.EmailAddress(), QStringLiteral("kunde@example.org"));
        QCOMPARE(doc.Subject(), QStringLiteral("A & B <GmbH> in KölnBcc: x@evil.org (24/03)"));
        QCOMPARE(doc.PlainMailBody(),
                 QStringLiteral("<b>Frau</b> A & B <GmbH>, %GELOESCHT% Süd 01.04.80 7 2"));
        // Field values are escaped in the HTML body; the list macro's own markup is not.
        QCOMPARE(doc.HTMLMailBody(), QStringLiteral("<p><b>Frau</b> A &amp; B &lt;GmbH&gt;</p>"));
        QCOMPARE(doc.CCList(), QStringLiteral("\"Dr. Kunde\" <cc@example.org>, x@y.de"));
        QVERIFY2(!doc.BCCList().contains(QLatin1Char('\n')), qPrintable(doc.BCCList()));
        QCOMPARE(doc.NormalFileList()->Count(), 1);
        const TAttachement* copy = doc.NormalFileList()->Items(0);
        QCOMPARE(copy->FileName(), QStringLiteral("Brief A & B <GmbH>.txt"));
        QFile personalised(copy->LocalFile());
        QVERIFY(personalised.open(QIODevice::ReadOnly));
        // The letter is pure ASCII and declares nothing: its values are written in Windows-1252.
        QCOMPARE(hostapi::Windows1252Codec::Decode(personalised.readAll()),
                 QStringLiteral("Hallo A & B <GmbH> aus Köln\r\nBcc: x@evil.org"));

        // A value that looks like a macro stays as it is.
        TEmailDocument second;
        second.SetPlainMailBody(QStringLiteral("%NAME% / %CITY%"));
        QVERIFY(preparer.PrepareDocument(second, 1, r.Set, {}));
        QCOMPARE(second.PlainMailBody(), QStringLiteral("%NAME% / %REGION%"));
        hostapi::UserAccess::ResetToSystemUser();
    }

    // A recipient's value is inserted as it is, in every text and attachment, and never read as
    // macros; a list macro's own text goes on expanding the macros after it.
    void recipientValuesAreNotMacros_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("attachement"); // file name|content
        QTest::newRow("mail count") << "%PRE_MAILCOUNT%"
                                    << "%PRE_MAILCOUNT%|Köln|Hallo %PRE_MAILCOUNT%"
                                    << "<p>%PRE_MAILCOUNT%</p>"
                                    << "Brief %PRE_MAILCOUNT%.txt|An %PRE_MAILCOUNT% in Köln";
        QTest::newRow("address field") << "%EMAIL1%"
                                       << "%EMAIL1%|Köln|Hallo %EMAIL1%"
                                       << "<p>%EMAIL1%</p>"
                                       << "Brief %EMAIL1%.txt|An %EMAIL1% in Köln";
        QTest::newRow("list macro") << "%GRUSS%"
                                    << "%GRUSS%|Köln|Hallo %GRUSS%"
                                    << "<p>%GRUSS%</p>"
                                    << "Brief %GRUSS%.txt|An %GRUSS% in Köln";
        QTest::newRow("a later field") << "%CITY%"
                                       << "%CITY%|Köln|Hallo %CITY%"
                                       << "<p>%CITY%</p>"
                                       << "Brief %CITY%.txt|An %CITY% in Köln";
        QTest::newRow("list name in markup") << "<%PRE_DISTRIBUTORLIST%>"
                                             << "<%PRE_DISTRIBUTORLIST%>|Köln|Hallo <%PRE_DISTRIBUTORLIST%>"
                                             << "<p>&lt;%PRE_DISTRIBUTORLIST%&gt;</p>"
                                             << "Brief <%PRE_DISTRIBUTORLIST%>.txt|An <%PRE_DISTRIBUTORLIST%> in Köln";
        QTest::newRow("plain name") << "Anna"
                                    << "Anna|Köln|Hallo Anna"
                                    << "<p>Anna</p>"
                                    << "Brief Anna.txt|An Anna in Köln";
    }
    void recipientValuesAreNotMacros() {
        QFETCH(QString, name);
        TestDatabase db;
        AddAddress({"name", "email1", "city"}, {name, "k@example.org", "Köln"});
        Records r;
        QTemporaryDir dir;
        const QString letterFile = dir.filePath(QStringLiteral("brief.txt"));
        WriteFile(letterFile, "An %NAME% in %CITY%");
        std::shared_ptr<TEmailListItem> list = AddressList();
        TMacroList macros;
        TMacroItem* greeting = macros.Add();
        greeting->SetMacroName(QStringLiteral("GRUSS"));
        greeting->Add()->SetMacroValue(QStringLiteral("Hallo %NAME%"));
        list->SetUserMacros(macros);
        TDocumentPreparer preparer =
            MakePreparer(esHTML,
                         {{"%GRUSS%", mkListMacro},
                          {"%NAME%", mkField},
                          {"%EMAIL1%", mkField},
                          {"%CITY%", mkField},
                          {"%PRE_MAILCOUNT%", mkPredefined},
                          {"%PRE_DISTRIBUTORLIST%", mkPredefined}},
                         list);
        TAttachementList templateAttachements;
        TAttachement* letter = templateAttachements.Add();
        letter->SetFileName(QStringLiteral("Brief %NAME%.txt"));
        letter->SetUseMacros(true);
        letter->SetLocalFile(letterFile);

        TEmailDocument doc;
        doc.SetPlainMailBody(QStringLiteral("%NAME%|%CITY%|%GRUSS%"));
        doc.SetHTMLMailBody(QStringLiteral("<p>%NAME%</p>"));
        doc.SetSubject(QStringLiteral("%NAME%"));
        QVERIFY(preparer.PrepareDocument(doc, 0, r.Set, templateAttachements));
        QTEST(doc.PlainMailBody(), "plain");
        QTEST(doc.HTMLMailBody(), "html");
        QCOMPARE(doc.Subject(), name);
        QCOMPARE(doc.NormalFileList()->Count(), 1);
        const TAttachement* copy = doc.NormalFileList()->Items(0);
        QFile personalised(copy->LocalFile());
        QVERIFY(personalised.open(QIODevice::ReadOnly));
        QTEST(copy->FileName() + QLatin1Char('|') + hostapi::Windows1252Codec::Decode(personalised.readAll()),
              "attachement");
    }

    // The job prepares with its own data and its clock.
    void jobPreparesWithItsData() {
        TestDatabase db;
        AddAddress({"name", "email1"}, {"Muster", "m@example.org"});
        Records r;
        TLocalEmailSender job(nullptr, 1, AddressList(), esPlainText);
        job.SetClock([] { return QDateTime(QDate(2031, 12, 24), QTime(12, 0)); });
        job.UsedMakros() = {
            {"%PRE_YEAR4%", mkPredefined}, {"%NAME%", mkField}, {"%PRE_DISTRIBUTORLIST%", mkPredefined}};
        TEmailDocument doc;
        doc.SetPlainMailBody(QStringLiteral("%PRE_YEAR4% %name% %PRE_DISTRIBUTORLIST%"));
        QVERIFY(job.PrepareDocument(&doc, 0, r.Set, job.Attachements()));
        QCOMPARE(doc.PlainMailBody(), QStringLiteral("2031 Muster Kunden"));
    }

    void addressRules_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("email1");
        QTest::addColumn<QString>("email2");
        QTest::addColumn<QString>("mobile");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("address");
        QTest::newRow("first field") << int(esPlainText) << "a@b.de"
                                     << "c@d.de"
                                     << "" << true << "a@b.de";
        QTest::newRow("first empty, second used") << int(esHTML) << ""
                                                  << "c@d.de"
                                                  << "" << true << "c@d.de";
        QTest::newRow("first empty, second ends with @") << int(esPlainText) << ""
                                                         << "c@"
                                                         << "" << false << "";
        QTest::newRow("no domain at all") << int(esPlainText) << "kunde"
                                          << ""
                                          << "" << false << "";
        QTest::newRow("no address") << int(esPlainText) << ""
                                    << ""
                                    << "" << false << "";
        QTest::newRow("SMS needs no domain") << int(esSMS) << "a@b.de"
                                             << ""
                                             << "+49 170 1" << true << "+49 170 1";
        QTest::newRow("SMS without number") << int(esSMS) << "a@b.de"
                                            << ""
                                            << "" << false << "";
        QTest::newRow("address with a line break") << int(esPlainText) << "a@b.de\r\nBcc: x@y.de"
                                                   << ""
                                                   << "" << false << "";
    }
    void addressRules() {
        QFETCH(int, style);
        QFETCH(QString, email1);
        QFETCH(QString, email2);
        QFETCH(QString, mobile);
        QFETCH(bool, accepted);
        QFETCH(QString, address);
        TestDatabase db;
        AddAddress({"email1", "email2", "mobile"}, {email1, email2, mobile});
        Records r;
        TDocumentPreparer preparer = MakePreparer(static_cast<TEmailStyle>(style), {});
        TEmailDocument doc;
        QCOMPARE(preparer.PrepareDocument(doc, 0, r.Set, {}), accepted);
        if (accepted)
            QCOMPARE(doc.EmailAddress(), address);
    }

    // Local attachment files named by a recipient's value: found, dropped when optional, refusing
    // the recipient when mandatory; wildcards of the template match by name order, a "*" of a
    // value never does.
    void localFilesByRecipientValue_data() {
        QTest::addColumn<QString>("customer");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("optional");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("found");
        QTest::newRow("exact file") << "1001"
                                    << "%PHONE%.pdf" << false << true << "1001.pdf";
        QTest::newRow("missing, mandatory") << "1002"
                                            << "%PHONE%.pdf" << false << false << "";
        QTest::newRow("missing, optional") << "1002"
                                           << "%PHONE%.pdf" << true << true << "";
        QTest::newRow("template wildcard, first by name") << "1001"
                                                          << "%PHONE%_*.pdf" << false << true << "1001_a.pdf";
        QTest::newRow("value star finds nothing") << "*"
                                                  << "%PHONE%.pdf" << true << true << "";
        QTest::newRow("value star in a pattern finds nothing") << "*"
                                                               << "%PHONE%_*.pdf" << false << false << "";
        QTest::newRow("value question mark") << "100?"
                                             << "%PHONE%.pdf" << false << false << "";
        QTest::newRow("value leaves the folder") << "../1001"
                                                 << "%PHONE%.pdf" << false << false << "";
    }
    void localFilesByRecipientValue() {
        QFETCH(QString, customer);
        QFETCH(QString, pattern);
        QFETCH(bool, optional);
        QFETCH(bool, accepted);
        QFETCH(QString, found);
        TestDatabase db;
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("rechnungen"));
        QVERIFY(QDir().mkpath(folder));
        for (const char* name : {"1001.pdf", "1001_b.pdf", "1001_a.pdf", "1000.pdf"})
            WriteFile(folder + QLatin1Char('/') + QLatin1String(name));
        AddAddress({"email1", "phone"}, {"a@b.de", customer});
        Records r;
        TAttachementList attachements;
        TAttachement* invoice = attachements.Add();
        invoice->SetFileName(QStringLiteral("Rechnung.pdf"));
        invoice->SetIsOptionalFile(optional);
        invoice->SetLocalFileRef(folder + QLatin1Char('/') + pattern, true);
        TAttachement* fixed = attachements.Add();
        fixed->SetFileName(QStringLiteral("AGB.pdf"));
        fixed->SetLocalFile(folder + QStringLiteral("/1000.pdf"));

        TDocumentPreparer preparer = MakePreparer(esPlainText, {{"%PHONE%", mkField}});
        TEmailDocument doc;
        QCOMPARE(preparer.PrepareDocument(doc, 0, r.Set, attachements), accepted);
        if (!accepted)
            return;
        QStringList names;
        for (int i = 0; i < doc.NormalFileList()->Count(); ++i)
            names << QFileInfo(doc.NormalFileList()->Items(i)->LocalFile()).fileName();
        const QStringList expected =
            found.isEmpty() ? QStringList{"1000.pdf"} : QStringList{found, "1000.pdf"};
        QCOMPARE(names, expected);
    }
};

QTEST_MAIN(tst_DocumentPreparer)
#include "tst_DocumentPreparer.moc"
