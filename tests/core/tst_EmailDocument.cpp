#include "EmailDocument.h"

#include "QVException.h"
#include "support/OpenFiles.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <memory>
#include <thread>
#include <vector>

#include <sys/resource.h>

using namespace emailmarketing;

class tst_EmailDocument : public QObject {
    Q_OBJECT

private slots:
    void NewDocument();
    void DomainCategory_data();
    void DomainCategory();
    void FreeingTheDocumentDeletesItsTempFiles();
    void SendOutcomeIsReadWhileSendersWriteIt();
    void SpilledDocumentAnswersTheSameTexts_data();
    void SpilledDocumentAnswersTheSameTexts();
    void SetterAfterSpillKeepsTheOtherTexts_data();
    void SetterAfterSpillKeepsTheOtherTexts();
    void SpillingTwiceOrNothingIsHarmless();
    void SpilledDocumentKeepsItsFileAlive();
    void FailedSpillKeepsTheTextsInMemory();
};

namespace {

using TTexts = TEmailDocument::TTexts;

void SetTexts(TEmailDocument& ADocument, const TTexts& ATexts) {
    ADocument.SetSubject(ATexts.Subject);
    ADocument.SetPlainMailBody(ATexts.PlainMailBody);
    ADocument.SetHTMLMailBody(ATexts.HTMLMailBody);
}

// The texts as every accessor answers them; "" when all agree with AExpected, else what differs.
QString TextsDiffer(const TEmailDocument& ADocument, const TTexts& AExpected) {
    const TTexts all = ADocument.Texts();
    const QList<std::pair<QString, std::pair<QString, QString>>> checks{
        {QStringLiteral("Subject()"), {ADocument.Subject(), AExpected.Subject}},
        {QStringLiteral("PlainMailBody()"), {ADocument.PlainMailBody(), AExpected.PlainMailBody}},
        {QStringLiteral("HTMLMailBody()"), {ADocument.HTMLMailBody(), AExpected.HTMLMailBody}},
        {QStringLiteral("Texts().Subject"), {all.Subject, AExpected.Subject}},
        {QStringLiteral("Texts().PlainMailBody"), {all.PlainMailBody, AExpected.PlainMailBody}},
        {QStringLiteral("Texts().HTMLMailBody"), {all.HTMLMailBody, AExpected.HTMLMailBody}}};
    QStringList wrong;
    for (const auto& [name, values] : checks)
        if (values.first != values.second)
            wrong << QStringLiteral("%1: \"%2\" instead of \"%3\"")
                         .arg(name, values.first.left(60), values.second.left(60));
    return wrong.join(QStringLiteral("; "));
}

} // namespace

void tst_EmailDocument::NewDocument() {
    const TEmailDocument document;
    QCOMPARE(document.Status(), esPrepared);
    QCOMPARE(document.RetryCount(), 0);
    QCOMPARE(document.ErrorCode(), 0);
    QCOMPARE(document.SentErrorMessage(), QString());
    QVERIFY(!document.LastRetry().isValid());
    QCOMPARE(document.AddressID(), 0);
    QCOMPARE(document.EmailAddress(), QString());
    QCOMPARE(document.NormalFileList()->Count(), 0);
    QVERIFY(document.InlineFileList().isEmpty());
}

void tst_EmailDocument::DomainCategory_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");

    QTest::newRow("address") << "anna@example.com"
                             << "example.com";
    QTest::newRow("everything after the first @") << "a@b@c"
                                                  << "b@c";
    QTest::newRow("ends with @") << "x@"
                                 << "";
    QTest::newRow("SMS number") << "0171234"
                                << "";
    QTest::newRow("letter case kept") << "x@Example.COM"
                                      << "Example.COM";
    QTest::newRow("no address") << ""
                                << "";
}

void tst_EmailDocument::DomainCategory() {
    QFETCH(QString, address);
    QFETCH(QString, expected);
    TEmailDocument document;
    document.SetEmailAddress(address);
    QCOMPARE(document.DomainCategory(), expected);
}

void tst_EmailDocument::FreeingTheDocumentDeletesItsTempFiles() {
    QTemporaryDir jobFolder;
    QString written;
    {
        auto document = std::make_unique<TEmailDocument>();
        TAttachement* attachement = document->NormalFileList()->Add();
        attachement->SetUseMacros(true);
        attachement->SetFileName(QStringLiteral("Brief.pdf"));
        attachement->SetLocalFile(
            QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/attachements/letter-utf8.txt"));
        document->NormalFileList()->ReplaceMacros(QStringLiteral("%NAME%"), QStringLiteral("Anna"));
        attachement->FinalizePrepare(jobFolder.path());
        written = attachement->LocalFile();
        QVERIFY(written.endsWith(QLatin1String(".pdf")));
        QVERIFY(QFileInfo::exists(written));
    }
    QVERIFY(!QFileInfo::exists(written));
}

// A sender thread records outcomes while job windows poll them: every value read is one that was
// written whole.
void tst_EmailDocument::SendOutcomeIsReadWhileSendersWriteIt() {
    TEmailDocument document;
    constexpr int Rounds = 100000;
    std::atomic<bool> done{false};
    std::atomic<int> badReads{0};

    std::thread sender([&] {
        for (int i = 1; i <= Rounds; ++i) {
            document.SetStatus(i % 2 ? esSentError : esSent);
            document.SetSentErrorMessage(QStringLiteral("421 busy, try %1").arg(i));
            document.SetErrorCode(i % 2 ? 421 : 0);
            document.SetRetryCount(i);
            document.SetLastRetry(QDateTime::fromMSecsSinceEpoch(i, Qt::UTC));
        }
        done = true;
    });
    std::vector<std::thread> windows;
    for (int w = 0; w < 3; ++w) {
        windows.emplace_back([&] {
            int lastRetry = 0;
            while (!done) {
                const QString text = document.SentErrorMessage();
                if (!text.isEmpty() && !text.startsWith(QLatin1String("421 busy, try ")))
                    ++badReads;
                const int code = document.ErrorCode();
                if (code != 0 && code != 421)
                    ++badReads;
                const int retry = document.RetryCount();
                if (retry < lastRetry) // one writer: the count never goes back
                    ++badReads;
                lastRetry = retry;
                const TEmailDocumentStatus status = document.Status();
                if (status != esPrepared && status != esSent && status != esSentError)
                    ++badReads;
                (void)document.LastRetry();
            }
        });
    }
    sender.join();
    for (std::thread& window : windows)
        window.join();
    QCOMPARE(badReads.load(), 0);
    QCOMPARE(document.RetryCount(), Rounds);
    QCOMPARE(document.SentErrorMessage(), QStringLiteral("421 busy, try %1").arg(Rounds));
}

void tst_EmailDocument::SpilledDocumentAnswersTheSameTexts_data() {
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("html");
    QTest::newRow("all three, non-ASCII") << "Angebot für Frau Müller €"
                                          << "Grüße aus Łódź\r\nZeile 2"
                                          << "<p>Grüße, 日本 🙂</p>";
    QTest::newRow("plain text job: no HTML") << "Angebot"
                                             << "Guten Tag"
                                             << "";
    QTest::newRow("only a subject") << "Betreff"
                                    << ""
                                    << "";
    QTest::newRow("large HTML body") << "Newsletter"
                                     << "kurz"
                                     << QStringLiteral("<tr><td>Zeile für Zeile</td></tr>\n").repeated(30000);
}

void tst_EmailDocument::SpilledDocumentAnswersTheSameTexts() {
    QFETCH(QString, subject);
    QFETCH(QString, plain);
    QFETCH(QString, html);
    QTemporaryDir folder;
    auto spill = std::make_shared<TBodySpill>(folder.path());
    TEmailDocument document;
    SetTexts(document, {subject, plain, html});
    document.SetEmailAddress(QStringLiteral("anna@example.com"));
    document.SetStatus(esSentError);
    document.SetSentErrorMessage(QStringLiteral("421 busy"));
    document.SetErrorCode(421);
    document.SetRetryCount(2);
    document.SetLastRetry(QDateTime::fromMSecsSinceEpoch(5000, Qt::UTC));
    document.SetAddressID(77);
    document.SetSentListRowID(12);
    document.SetCCList(QStringLiteral("cc@example.com"));
    document.SetBCCList(QStringLiteral("bcc@example.com"));
    document.InlineFileList() << QStringLiteral("bild.png");

    // The texts taken out of memory come back to the caller, to be freed where it chooses.
    const TTexts taken = document.SpillTexts(spill);
    QCOMPARE(taken.Subject, subject);
    QCOMPARE(taken.PlainMailBody, plain);
    QCOMPARE(taken.HTMLMailBody, html);
    QVERIFY(document.TextsSpilled());
    QVERIFY(spill->FileSize() > 0);
    QCOMPARE(TextsDiffer(document, {subject, plain, html}), QString());
    QCOMPARE(document.EmailAddress(), QStringLiteral("anna@example.com"));
    QCOMPARE(document.Status(), esSentError);
    QCOMPARE(document.SentErrorMessage(), QStringLiteral("421 busy"));
    QCOMPARE(document.ErrorCode(), 421);
    QCOMPARE(document.RetryCount(), 2);
    QCOMPARE(document.LastRetry(), QDateTime::fromMSecsSinceEpoch(5000, Qt::UTC));
    QCOMPARE(document.AddressID(), 77);
    QCOMPARE(document.SentListRowID(), 12);
    QCOMPARE(document.CCList(), QStringLiteral("cc@example.com"));
    QCOMPARE(document.BCCList(), QStringLiteral("bcc@example.com"));
    QCOMPARE(document.InlineFileList(), QStringList{QStringLiteral("bild.png")});
    QCOMPARE(document.DomainCategory(), QStringLiteral("example.com"));
}

void tst_EmailDocument::SetterAfterSpillKeepsTheOtherTexts_data() {
    QTest::addColumn<int>("which");
    QTest::newRow("SetSubject") << 0;
    QTest::newRow("SetPlainMailBody") << 1;
    QTest::newRow("SetHTMLMailBody") << 2;
}

void tst_EmailDocument::SetterAfterSpillKeepsTheOtherTexts() {
    QFETCH(int, which);
    QTemporaryDir folder;
    auto spill = std::make_shared<TBodySpill>(folder.path());
    TEmailDocument document;
    TTexts expected{QStringLiteral("Betreff für Anna"), QStringLiteral("Hallo Anna"),
                    QStringLiteral("<b>Anna</b>")};
    SetTexts(document, expected);
    document.SpillTexts(spill);
    const QString replaced = QStringLiteral("neu ü");
    if (which == 0) {
        document.SetSubject(replaced);
        expected.Subject = replaced;
    } else if (which == 1) {
        document.SetPlainMailBody(replaced);
        expected.PlainMailBody = replaced;
    } else {
        document.SetHTMLMailBody(replaced);
        expected.HTMLMailBody = replaced;
    }
    QVERIFY(!document.TextsSpilled());
    QCOMPARE(TextsDiffer(document, expected), QString());
    // Spilled again, it answers the new texts.
    document.SpillTexts(spill);
    QVERIFY(document.TextsSpilled());
    QCOMPARE(TextsDiffer(document, expected), QString());
}

void tst_EmailDocument::SpillingTwiceOrNothingIsHarmless() {
    QTemporaryDir folder;
    auto spill = std::make_shared<TBodySpill>(folder.path());
    TEmailDocument empty;
    empty.SpillTexts(spill);
    QVERIFY(!empty.TextsSpilled());
    QCOMPARE(spill->FileSize(), 0);
    QCOMPARE(TextsDiffer(empty, {}), QString());

    TEmailDocument document;
    SetTexts(document, {QStringLiteral("Betreff"), QStringLiteral("Text"), QString()});
    document.SpillTexts(spill);
    const qint64 size = spill->FileSize();
    const TTexts again = document.SpillTexts(spill);
    QCOMPARE(spill->FileSize(), size);
    QVERIFY(again.Subject.isNull() && again.PlainMailBody.isNull() && again.HTMLMailBody.isNull());
    QCOMPARE(TextsDiffer(document, {QStringLiteral("Betreff"), QStringLiteral("Text"), QString()}),
             QString());
}

// The job drops its reference when it frees its lists: the file stays while a document needs it and
// goes with the last one.
void tst_EmailDocument::SpilledDocumentKeepsItsFileAlive() {
    QTemporaryDir folder;
    auto spill = std::make_shared<TBodySpill>(folder.path());
    const QString file = spill->FileName();
    auto document = std::make_unique<TEmailDocument>();
    SetTexts(*document, {QStringLiteral("Betreff"), QStringLiteral("Text"), QStringLiteral("<p>Text</p>")});
    document->SpillTexts(spill);
    spill.reset();
    QVERIFY(!testsupport::RemovedFileOpenPath(file).isEmpty());
    QCOMPARE(TextsDiffer(*document,
                         {QStringLiteral("Betreff"), QStringLiteral("Text"), QStringLiteral("<p>Text</p>")}),
             QString());
    document.reset();
    QVERIFY2(testsupport::RemovedFileOpenPath(file).isEmpty(), qPrintable(file));
}

// A full disk (here the process's file size limit) fails the spill loudly; the document keeps its
// texts in memory.
void tst_EmailDocument::FailedSpillKeepsTheTextsInMemory() {
    QTemporaryDir folder;
    auto spill = std::make_shared<TBodySpill>(folder.path());
    QString noise;
    QRandomGenerator generator(3);
    for (int i = 0; i < 50000; ++i)
        noise += QChar(char16_t(0x20 + generator.bounded(0x2000)));
    const TTexts texts{QStringLiteral("Betreff"), noise, QString()};
    TEmailDocument document;
    SetTexts(document, texts);
    rlimit previous{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 1000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QString failure;
    try {
        document.SpillTexts(spill);
    } catch (const hostapi::EQVException& e) {
        failure = e.Message();
    }
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY2(failure.contains(spill->FileName()), qPrintable(failure));
    QVERIFY(!document.TextsSpilled());
    QCOMPARE(TextsDiffer(document, texts), QString());
}

QTEST_GUILESS_MAIN(tst_EmailDocument)
#include "tst_EmailDocument.moc"
