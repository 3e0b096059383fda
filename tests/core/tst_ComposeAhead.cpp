// The sender thread's compose-ahead: the messages of the packet's order are prepared on the other
// thread and taken in that order; a document passed over is dropped, anything else is prepared
// where it is asked for; a failure stays with its document; the thread keeps only a few messages
// ready. The stress case runs the owner against the thread while the documents' texts are spilled
// and read; ThreadSanitizer checks the hand-over.

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

// Prepares the document's address and texts, noting the thread it ran on and how far ahead of
// the owner's takes it got.
struct Preparer {
    std::atomic<int> Calls{0};
    std::atomic<int> Taken{0}; // counted by the owner after each Take of an ordered document
    std::atomic<int> FarthestAhead{0};
    std::thread::id Main = std::this_thread::get_id();

    TComposeAhead::TPrepare Function() {
        return [this](const TEmailDocument& ADocument) {
            if (std::this_thread::get_id() != Main) {
                const int ahead = Calls.load() - Taken.load();
                int farthest = FarthestAhead.load();
                while (ahead > farthest && !FarthestAhead.compare_exchange_weak(farthest, ahead)) {
                }
            }
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
    void takeAnswersTheOrderInItsTurn();
    void failureStaysWithItsDocument();
    void keepsOnlyAFewMessagesReady_data();
    void keepsOnlyAFewMessagesReady();
    void stressOwnerAgainstTheThreadWhileTextsAreSpilled();
};

void tst_ComposeAhead::takeAnswersTheOrderInItsTurn() {
    Preparer preparer;
    TComposeAhead ahead(preparer.Function());
    const auto a = Document(1);
    const auto b = Document(2);
    const auto c = Document(3);

    // Nothing begun: prepared here.
    TPreparedSend taken = ahead.Take(*a);
    QCOMPARE(taken.Message.ReceiverEmail, a->EmailAddress());
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("main"));

    ahead.Begin({a.get(), b.get(), c.get()});
    taken = ahead.Take(*a);
    QCOMPARE(taken.Message.ReceiverEmail, a->EmailAddress());
    QCOMPARE(taken.Message.Subject, a->Texts().Subject);
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("ahead"));
    // b passed over (its group could not connect): dropped; c is the one prepared for it.
    taken = ahead.Take(*c);
    QCOMPARE(taken.Message.ReceiverEmail, c->EmailAddress());
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("ahead"));
    taken = ahead.Take(*b);
    QCOMPARE(taken.Message.ReceiverEmail, b->EmailAddress());
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("main"));
    QCOMPARE(ahead.TakenAhead(), 2);

    // A second Begin replaces the first; Drop leaves nothing to take.
    ahead.Begin({a.get(), b.get()});
    ahead.Begin({c.get()});
    taken = ahead.Take(*a);
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("main"));
    taken = ahead.Take(*c);
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("ahead"));
    ahead.Begin({c.get()});
    ahead.Drop();
    taken = ahead.Take(*c);
    QCOMPARE(taken.Message.ReceiverName, QStringLiteral("main"));
    QCOMPARE(ahead.TakenAhead(), 3);
}

void tst_ComposeAhead::failureStaysWithItsDocument() {
    Preparer preparer;
    TComposeAhead ahead(preparer.Function());
    const auto good = Document(1);
    auto broken = Document(2);
    broken->SetEmailAddress(QStringLiteral("kaputt@example.test"));

    for (const bool begun : {true, false}) {
        ahead.Begin(begun ? std::vector<const TEmailDocument*>{broken.get(), good.get()}
                          : std::vector<const TEmailDocument*>{good.get()});
        const TPreparedSend failed = ahead.Take(*broken);
        QCOMPARE(FailureText(failed), QStringLiteral("Anhang fehlt: kaputt@example.test"));
        QVERIFY(failed.Message.ReceiverEmail.isEmpty());
        const TPreparedSend next = ahead.Take(*good);
        QVERIFY(!next.Failure);
        QCOMPARE(next.Message.ReceiverEmail, good->EmailAddress());
        QCOMPARE(next.Message.ReceiverName, QStringLiteral("ahead"));
    }
}

// However slow the owner, the thread has at most MaxReady messages (of at most MaxReadyBytes, at
// least one) prepared and not taken; the bound holds in every interleaving.
void tst_ComposeAhead::keepsOnlyAFewMessagesReady_data() {
    QTest::addColumn<int>("bodyCharacters");
    QTest::addColumn<int>("bound");
    QTest::newRow("small messages: MaxReady") << 200 << int(TComposeAhead::MaxReady);
    // 2 MiB of UTF-16 each: two fill MaxReadyBytes.
    QTest::newRow("large messages: MaxReadyBytes") << 1024 * 1024 << 2;
}

void tst_ComposeAhead::keepsOnlyAFewMessagesReady() {
    QFETCH(int, bodyCharacters);
    QFETCH(int, bound);
    std::vector<std::unique_ptr<TEmailDocument>> documents;
    std::vector<const TEmailDocument*> order;
    for (int i = 0; i < 40; ++i) {
        documents.push_back(Document(i));
        documents.back()->SetPlainMailBody(QString(bodyCharacters, QLatin1Char('a' + i % 26)));
        order.push_back(documents.back().get());
    }
    Preparer preparer;
    TComposeAhead ahead(preparer.Function());
    ahead.Begin(order);
    for (const TEmailDocument* document : order) {
        // A slow sender: the thread could run as far ahead as it likes meanwhile.
        std::this_thread::yield();
        const TPreparedSend taken = ahead.Take(*document);
        ++preparer.Taken;
        QCOMPARE(taken.Message.ReceiverName, QStringLiteral("ahead"));
        QCOMPARE(taken.Message.PlainBody, document->Texts().PlainMailBody);
    }
    QCOMPARE(ahead.TakenAhead(), int(order.size()));
    QVERIFY2(preparer.FarthestAhead.load() <= bound,
             qPrintable(QString::number(preparer.FarthestAhead.load())));
}

// The owner gives a packet's order and takes it, as a sender does, while the preparation's spill
// thread spills the texts the thread reads and a window reads them too. Now and then a document is
// passed over, the order dropped halfway or left to the destructor.
void tst_ComposeAhead::stressOwnerAgainstTheThreadWhileTextsAreSpilled() {
    QTemporaryDir folder;
    auto spill = std::make_shared<TBodySpill>(folder.path());
    constexpr int Documents = 600;
    constexpr int Packet = 50;
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
    const auto check = [&](const TPreparedSend& ATaken, int AIndex) {
        if (ATaken.Message.ReceiverEmail != documents[size_t(AIndex)]->EmailAddress() ||
            ATaken.Message.Subject != expected[size_t(AIndex)].Subject ||
            ATaken.Message.PlainBody != expected[size_t(AIndex)].PlainMailBody)
            ++wrong;
    };
    Preparer preparer;
    int fromOrder = 0; // takes of a document of the current order, at or after its turn
    for (int round = 0; round < 3; ++round) {
        TComposeAhead composer(preparer.Function());
        for (int first = 0; first < Documents; first += Packet) {
            std::vector<const TEmailDocument*> order;
            for (int i = first; i < first + Packet; ++i)
                order.push_back(documents[size_t(i)].get());
            composer.Begin(order);
            for (int i = first; i < first + Packet; ++i) {
                if (i % 89 == 7) { // passed over: dropped, then prepared here
                    check(composer.Take(*documents[size_t(i + 1)]), i + 1);
                    check(composer.Take(*documents[size_t(i)]), i);
                    ++fromOrder;
                    ++i;
                    continue;
                }
                check(composer.Take(*documents[size_t(i)]), i);
                ++fromOrder;
                if (i % 97 == 5) {
                    composer.Drop();
                    break;
                }
            }
        }
        composer.Begin(
            {documents[size_t(round)].get(), documents[size_t(round + 1)].get()}); // left to the destructor
        QCOMPARE(composer.TakenAhead(), fromOrder);
        fromOrder = 0;
    }
    done.store(true);
    spiller.join();
    window.join();
    QCOMPARE(wrong.load(), 0);
}

QTEST_GUILESS_MAIN(tst_ComposeAhead)
#include "tst_ComposeAhead.moc"
