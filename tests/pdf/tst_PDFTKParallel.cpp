// Two drivers run pdftk at the same time on two threads, each with its own process and FDF file.

#include "PDFTK.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace emailmarketing;

namespace {

const QString Form = QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/pdf/form.pdf");

// Dumps the form, fills "Name" with AValue into AOut and dumps that again; answers the value read
// back, or the error text.
QString FillAndReadBack(const QString& AOut, const QString& AValue) {
    try {
        TPDFTK driver;
        driver.SetPDFTKPath(QStandardPaths::findExecutable(QStringLiteral("pdftk")));
        driver.SetOperation(opDumpDataFields);
        driver.Execute(Form, QString());
        driver.FDF().FieldByName(QStringLiteral("Name"))->SetValue(AValue);
        driver.SetOperation(opFillForm);
        driver.Execute(Form, AOut);
        driver.SetOperation(opDumpDataFields);
        driver.Execute(AOut, QString());
        return driver.FDF().FieldByName(QStringLiteral("Name"))->Value();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

} // namespace

class tst_PDFTKParallel : public QObject {
    Q_OBJECT

private slots:
    void twoDriversOnTwoThreads() {
        QTemporaryDir dir;
        const QStringList values{QStringLiteral("Müller"), QStringLiteral("Łódź")};
        QStringList results(values.size());
        std::vector<std::thread> threads;
        for (int i = 0; i < values.size(); ++i) {
            const QString out = dir.filePath(QStringLiteral("out%1.pdf").arg(i));
            const QString value = values.at(i);
            threads.emplace_back([&results, i, out, value] { results[i] = FillAndReadBack(out, value); });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(results, values);
    }
};

QTEST_GUILESS_MAIN(tst_PDFTKParallel)
#include "tst_PDFTKParallel.moc"
