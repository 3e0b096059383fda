// The spill file and the documents that spill into it under concurrent use: appends from several
// threads never overlap, every thread reads back exactly what it wrote, and job windows reading a
// document's texts while the preparation spills it (or a setter takes them back) always see the
// document's whole texts. ThreadSanitizer checks the locking.

#include "BodySpill.h"
#include "BodySpillWorker.h"
#include "EmailDocument.h"

#include "QVException.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace emailmarketing;

namespace {

QByteArray RecordText(int AThread, int AIndex) {
    // Sizes from a few bytes to about 20 KB, so records of different threads interleave in the file.
    return QStringLiteral("Thread %1, Datensatz %2: Grüße. ")
        .arg(AThread)
        .arg(AIndex)
        .toUtf8()
        .repeated(1 + (AIndex * 37 + AThread * 11) % 500);
}

TEmailDocument::TTexts Expected(int AIndex) {
    return {QStringLiteral("Angebot für Name%1").arg(AIndex),
            QStringLiteral("Guten Tag Name%1, ").arg(AIndex).repeated(1 + AIndex % 40),
            AIndex % 3 == 0 ? QString()
                            : QStringLiteral("<p>Hallo Name%1 €</p>").arg(AIndex).repeated(1 + AIndex % 25)};
}

bool Same(const TEmailDocument::TTexts& A, const TEmailDocument::TTexts& B) {
    return A.Subject == B.Subject && A.PlainMailBody == B.PlainMailBody && A.HTMLMailBody == B.HTMLMailBody;
}

} // namespace

class tst_BodySpillStress : public QObject {
    Q_OBJECT

private slots:
    void threadsAppendAndReadTheirOwnRecords();
    void windowsReadDocumentsWhileTheyAreSpilled();
    void spillThreadKeepsUpWithReaders();
};

// The prepare thread hands documents to the spill thread (blocking at its bound) while windows
// read them: every read is the document's whole texts, and every document is spilled at the end.
void tst_BodySpillStress::spillThreadKeepsUpWithReaders() {
    QTemporaryDir folder;
    auto spill = std::make_shared<TBodySpill>(folder.path());
    constexpr int Documents = 3 * TBodySpillWorker::Bound + 17;
    std::vector<std::unique_ptr<TEmailDocument>> documents;
    for (int i = 0; i < Documents; ++i) {
        documents.push_back(std::make_unique<TEmailDocument>());
        const TEmailDocument::TTexts texts = Expected(i);
        documents.back()->SetSubject(texts.Subject);
        documents.back()->SetPlainMailBody(texts.PlainMailBody);
        documents.back()->SetHTMLMailBody(texts.HTMLMailBody);
    }
    std::atomic<int> handedOver{0};
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r)
        readers.emplace_back([&, r] {
            int i = r;
            while (!done.load()) {
                const int limit = handedOver.load();
                if (limit == 0)
                    continue;
                i = (i * 7 + 13) % limit;
                if (!Same(documents[size_t(i)]->Texts(), Expected(i)))
                    ++wrong;
            }
        });
    {
        TBodySpillWorker worker(spill);
        for (int i = 0; i < Documents; ++i) {
            worker.Add(documents[size_t(i)].get());
            handedOver.store(i + 1);
        }
        worker.Finish();
        QCOMPARE(worker.FailedCount(), 0);
    }
    done.store(true);
    for (std::thread& t : readers)
        t.join();
    QCOMPARE(wrong.load(), 0);
    for (int i = 0; i < Documents; ++i) {
        QVERIFY2(documents[size_t(i)]->TextsSpilled(), qPrintable(QString::number(i)));
        QVERIFY(Same(documents[size_t(i)]->Texts(), Expected(i)));
    }
}

void tst_BodySpillStress::threadsAppendAndReadTheirOwnRecords() {
    QTemporaryDir folder;
    TBodySpill spill(folder.path());
    constexpr int Threads = 8;
    constexpr int Records = 300;
    std::vector<std::vector<TBodySpill::TRecord>> written(Threads);
    std::atomic<int> wrong{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            try {
                for (int i = 0; i < Records; ++i) {
                    written[t].push_back(spill.Append(RecordText(t, i)));
                    if (spill.Read(written[t].back()) != RecordText(t, i))
                        ++wrong;
                    // An earlier record, while others append behind it.
                    const int back = i / 2;
                    if (spill.Read(written[t][size_t(back)]) != RecordText(t, back))
                        ++wrong;
                    (void)spill.FileSize();
                }
                for (int i = 0; i < Records; ++i)
                    if (spill.Read(written[t][size_t(i)]) != RecordText(t, i))
                        ++wrong;
            } catch (const hostapi::EQVException&) {
                ++failures;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(wrong.load(), 0);

    // The records tile the file: no gap, no overlap.
    std::vector<TBodySpill::TRecord> all;
    for (const auto& records : written)
        all.insert(all.end(), records.begin(), records.end());
    std::sort(all.begin(), all.end(), [](const auto& A, const auto& B) { return A.Offset < B.Offset; });
    qint64 end = 0;
    for (const TBodySpill::TRecord& record : all) {
        QCOMPARE(record.Offset, end);
        end += record.CompressedSize;
    }
    QCOMPARE(spill.FileSize(), end);
}

// The prepare thread spills documents in order while two windows read every document's texts and a
// sender records outcomes; a fourth thread sets the HTML text of every fourth document again (with
// the same text), which takes spilled texts back into memory.
void tst_BodySpillStress::windowsReadDocumentsWhileTheyAreSpilled() {
    QTemporaryDir folder;
    auto spill = std::make_shared<TBodySpill>(folder.path());
    constexpr int Documents = 300;
    std::vector<std::unique_ptr<TEmailDocument>> documents;
    for (int i = 0; i < Documents; ++i) {
        auto document = std::make_unique<TEmailDocument>();
        const TEmailDocument::TTexts texts = Expected(i);
        document->SetSubject(texts.Subject);
        document->SetPlainMailBody(texts.PlainMailBody);
        document->SetHTMLMailBody(texts.HTMLMailBody);
        documents.push_back(std::move(document));
    }
    std::atomic<int> writersDone{0};
    std::atomic<int> wrong{0};
    std::atomic<int> failures{0};
    const auto guarded = [&](auto ABody) {
        return [&, ABody] {
            try {
                ABody();
            } catch (const hostapi::EQVException&) {
                ++failures;
            }
        };
    };
    std::vector<std::thread> threads;
    threads.emplace_back(guarded([&] {
        for (const auto& document : documents)
            document->SpillTexts(spill);
        ++writersDone;
    }));
    threads.emplace_back(guarded([&] {
        for (int i = 0; i < Documents; i += 4)
            documents[size_t(i)]->SetHTMLMailBody(Expected(i).HTMLMailBody);
        ++writersDone;
    }));
    threads.emplace_back(guarded([&] {
        for (int round = 0; round < 3; ++round)
            for (const auto& document : documents) {
                document->SetStatus(esSentError);
                document->SetSentErrorMessage(QStringLiteral("421 busy"));
            }
        ++writersDone;
    }));
    for (int w = 0; w < 2; ++w) {
        threads.emplace_back(guarded([&, w] {
            do {
                for (int i = 0; i < Documents; ++i) {
                    const TEmailDocument& document = *documents[size_t(i)];
                    const TEmailDocument::TTexts expected = Expected(i);
                    if (w == 0 ? !Same(document.Texts(), expected)
                               : document.Subject() != expected.Subject ||
                                     document.PlainMailBody() != expected.PlainMailBody ||
                                     document.HTMLMailBody() != expected.HTMLMailBody)
                        ++wrong;
                    (void)document.TextsSpilled();
                }
            } while (writersDone.load() < 3);
        }));
    }
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(wrong.load(), 0);
    for (int i = 0; i < Documents; ++i) {
        QVERIFY2(Same(documents[size_t(i)]->Texts(), Expected(i)), qPrintable(QString::number(i)));
        QCOMPARE(documents[size_t(i)]->SentErrorMessage(), QStringLiteral("421 busy"));
    }
    // A document the setter did not touch stays spilled.
    QVERIFY(documents[1]->TextsSpilled());
}

QTEST_GUILESS_MAIN(tst_BodySpillStress)
#include "tst_BodySpillStress.moc"
