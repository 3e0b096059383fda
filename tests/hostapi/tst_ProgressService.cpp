#include "ProgressService.h"
#include "QVException.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <thread>

using namespace hostapi;

using Misuse = std::function<void(ProgressService&)>;
Q_DECLARE_METATYPE(Misuse)

class tst_ProgressService : public QObject {
    Q_OBJECT

private slots:
    void openUpdateClose() {
        ProgressService progress;
        QSignalSpy opened(&progress, &ProgressService::ProgressOpened);
        QSignalSpy changed(&progress, &ProgressService::ProgressChanged);
        QSignalSpy closed(&progress, &ProgressService::ProgressClosed);

        const int fetch = progress.OpenProgress(QStringLiteral("Register-Server"));
        const int download = progress.OpenProgress(QStringLiteral("Register-Service Download"));
        QVERIFY(fetch != -1 && download != -1 && fetch != download);
        progress.UpdateProgress(download, 512, 2048, QStringLiteral("512 of 2048 downloaded"));

        auto entries = progress.Entries();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).Caption, QStringLiteral("Register-Server"));
        QCOMPARE(entries.at(1).Position, 512);
        QCOMPARE(entries.at(1).Maximum, 2048);
        QCOMPARE(entries.at(1).Text, QStringLiteral("512 of 2048 downloaded"));

        progress.CloseProgress(download);
        entries = progress.Entries();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.at(0).Handle, fetch);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), download);
        QCOMPARE(closed.size(), 1);
        QCOMPARE(closed.at(0).at(0).toInt(), download);
        QVERIFY(progress.OpenProgress(QStringLiteral("again")) != download); // handles are not reused
    }

    void misuseRaisesAssertion_data() {
        QTest::addColumn<Misuse>("misuse");
        QTest::newRow("update a handle never opened")
            << Misuse([](ProgressService& p) { p.UpdateProgress(77, 1, 2, {}); });
        QTest::newRow("update the 'no progress' handle")
            << Misuse([](ProgressService& p) { p.UpdateProgress(-1, 1, 2, {}); });
        QTest::newRow("close twice") << Misuse([](ProgressService& p) {
            const int h = p.OpenProgress(QStringLiteral("x"));
            p.CloseProgress(h);
            p.CloseProgress(h);
        });
        QTest::newRow("negative maximum") << Misuse(
            [](ProgressService& p) { p.UpdateProgress(p.OpenProgress(QStringLiteral("x")), 0, -1, {}); });
        QTest::newRow("open from a worker thread") << Misuse([](ProgressService& p) {
            std::exception_ptr error;
            std::thread worker([&] {
                try {
                    p.OpenProgress(QStringLiteral("worker"));
                } catch (...) {
                    error = std::current_exception();
                }
            });
            worker.join();
            if (error)
                std::rethrow_exception(error);
        });
    }
    void misuseRaisesAssertion() {
        QFETCH(Misuse, misuse);
        ProgressService progress;
        QVERIFY_THROWS_EXCEPTION(EQVAssertion, misuse(progress));
    }
};

QTEST_GUILESS_MAIN(tst_ProgressService)
#include "tst_ProgressService.moc"
