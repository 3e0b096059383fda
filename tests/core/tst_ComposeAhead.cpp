// The sender thread's compose-ahead: the message begun for a document is the one its send takes,
// prepared on the other thread; anything else is prepared where it is asked for; a failure stays
// with its document. The stress case runs the owner against the thread while the documents' texts
// are spilled and read; ThreadSanitizer checks the hand-over.

#include "BodySpill.h"
#include "ComposeAhead.h"
#include "EmailDocument.h"

#include "ExceptionDisplay.h"
#include "QVException.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace emailmarketing;

namespace {

std::unique_ptr<TEmailDocument> Document(int AIndex) {
    auto document = std::make_unique<TEmailDocument>();
    document->SetEmailAddress(QStringLiteral("name%1@example.test").arg(AIndex));
    document->SetSubject(QStringLiteral("Angebot für Name%1").arg(AIndex));
    document->SetPlainMailBody(QStringLiteral("Guten Tag Name%1, ").arg(AIndex).repeated(1 + AIndex % 30));
    return document;
}

// Prepares the document's address and texts, noting the thread it ran on.
struct Preparer {
    std::atomic<int> Calls{0};
    std::thread::id Main = std::this_thread::get_id();

    TComposeAhead::TPrepare Function() {
        return [this](const TEmailDocument& ADocument) {
            ++Calls;
            if (ADocument.EmailAddress().startsWith(QLatin1String("kaputt")))
                throw hostapi::EQVException(QStringLiteral("Anhang fehlt: %1").arg(ADocument.EmailAddress()));
            TPreparedSend prepared;
            const TEmailDocument::TTexts texts = ADocument.Texts();
            prepared.Message.ReceiverEmail = ADocument.EmailAddress();
            prepared.Message.Subject = texts.Subject;
            prepared.Message.PlainBody = texts.PlainMailBody;
            // The thread it ran on, in the one field the owner does not look at otherwise.
            prepared.Message.ReceiverName =
                std::this_thread::get_id() == Main ? QStringLiteral("main") : QStringLiteral("ahead");
            return prepared;
        };
    }
};

QString FailureText(const TPreparedSend& APrepared) {
    return APrepared.Failure ? hostapi::TVRNExceptionUtils::Describe(APrepared.Failure, {}).Message : QString();
}

} // namespace

class tst_ComposeAhead : public QObject {
    Q_OBJECT

private slots:
    void takeAnswersWhatWasBegunForTheDocument();
    void failureStaysWithItsDocument();
    void stressOwnerAgainstTheThreadWhileTextsAreSpilled();
};

void tst_ComposeAhead::takeAnswersWhatWasBegunForTheDocument() {
    Preparer preparer;
    TComposeAhead ahead(preparer.Function());
    const auto a = Document(1);
    const auto b = Document(2);
    const auto c = Document(3);

    // Nothing begun: prepared here.
    TPreparedSend taken = ahead.Take(*a);
    QCOMPARE(taken.Message.ReceiverEmail, a->EmailAddress());
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("main"));

    ahead.Begin(*b);
    taken = ahead.Take(*b);
    QCOMPARE(taken.Message.ReceiverEmail, b->EmailAddress());
    QCOMPARE(taken.Message.Subject, b->Texts().Subject);
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("ahead"));
    QCOMPARE(ahead.TakenAhead(), 1);

    // Begun for one document, taken for another: the other is prepared here, the begun one dropped.
    ahead.Begin(*c);
    taken = ahead.Take(*a);
    QCOMPARE(taken.Message.ReceiverEmail, a->EmailAddress());
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("main"));
    taken = ahead.Take(*c);
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("main"));

    // A second Begin replaces the first; Drop leaves nothing to take.
    ahead.Begin(*a);
    ahead.Begin(*b);
    taken = ahead.Take(*a);
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("main"));
    ahead.Begin(*c);
    ahead.Drop();
    taken = ahead.Take(*c);
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("main"));
    QCOMPARE(ahead.TakenAhead(), 1);
    QCOMPARE(preparer.Calls.load(), 10);
}

void tst_ComposeAhead::failureStaysWithItsDocument() {
    Preparer preparer;
    TComposeAhead ahead(preparer.Function());
    const auto good = Document(1);
    auto broken = Document(2);
    broken->SetEmailAddress(QStringLiteral("kaputt@example.test"));

    for (const bool begun : {true, false}) {
        if (begun)
            ahead.Begin(*broken);
        const TPreparedSend failed = ahead.Take(*broken);
        QCOMPARE(FailureText(failed), QStringLiteral("Anhang fehlt: kaputt@example.test"));
        QVERIFY(failed.Message.ReceiverEmail.isEmpty());
        ahead.Begin(*good);
        const TPreparedSend next = ahead.Take(*good);
        QVERIFY(!next.Failure);
        QCOMPARE(next.Message.ReceiverEmail, good->EmailAddress());
        QCOMPARE(next.Message.ReceiverName, QStringLiteral("ahead"));
    }
}

// The owner takes each document's message and begins the next, as a sender does, while the
// preparation's spill thread spills the texts the thread reads and a window reads them too. A
// begun message is sometimes dropped or left to the destructor.
void tst_ComposeAhead::stressOwnerAgainstTheThreadWhileTextsAreSpilled() {
    QTemporaryDir folder;
    auto spill = std::make_shared<TBodySpill>(folder.path());
    constexpr int Documents = 600;
    std::vector<std::unique_ptr<TEmailDocument>> documents;
    std::vector<TEmailDocument::TTexts> expected;
    for (int i = 0; i < Documents; ++i) {
        documents.push_back(Document(i));
        expected.push_back(documents.back()->Texts());
    }
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::thread spiller([&] {
        for (auto& document : documents)
            document->SpillTexts(spill);
    });
    std::thread window([&] {
        int i = 0;
        while (!done.load()) {
            i = (i * 7 + 13) % Documents;
            if (documents[size_t(i)]->Texts().PlainMailBody != expected[size_t(i)].PlainMailBody)
                ++wrong;
        }
    });
    Preparer preparer;
    int ahead = 0;
    int begun = 0; // begun and not dropped before their Take
    for (int round = 0; round < 3; ++round) {
        TComposeAhead composer(preparer.Function());
        for (int i = 0; i < Documents; ++i) {
            const TPreparedSend taken = composer.Take(*documents[size_t(i)]);
            if (taken.Message.ReceiverEmail != documents[size_t(i)]->EmailAddress() ||
                taken.Message.Subject != expected[size_t(i)].Subject ||
                taken.Message.PlainBody != expected[size_t(i)].PlainMailBody)
                ++wrong;
            if (i + 1 < Documents) {
                composer.Begin(*documents[size_t(i + 1)]);
                ++begun;
            }
            if (i % 97 == 5) {
                composer.Drop();
                --begun;
            }
        }
        composer.Begin(*documents[size_t(round)]); // left to the destructor
        ahead += composer.TakenAhead();
    }
    done.store(true);
    spiller.join();
    window.join();
    QCOMPARE(wrong.load(), 0);
    QCOMPARE(ahead, begun);
}

QTEST_GUILESS_MAIN(tst_ComposeAhead)
#include "tst_ComposeAhead.moc"
