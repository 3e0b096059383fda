#include "EmailDocument.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace emailmarketing;

class tst_EmailDocument : public QObject {
    Q_OBJECT

private slots:
    void NewDocument();
    void DomainCategory_data();
    void DomainCategory();
    void FreeingTheDocumentDeletesItsTempFiles();
    void SendOutcomeIsReadWhileSendersWriteIt();
};

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

QTEST_GUILESS_MAIN(tst_EmailDocument)
#include "tst_EmailDocument.moc"
