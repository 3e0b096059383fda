// The compressed file of prepared documents' texts: records come back as they went in, the file is
// private and never left in its folder, and a file that cannot be made, written or read raises with
// its name.

#include "BodySpill.h"
#include "BodySpillWorker.h"
#include "EmailDocument.h"

#include "QVException.h"
#include "support/OpenFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace emailmarketing;

namespace {

// The text of the exception that ACall raises; nullopt when it raises none.
template <class F> std::optional<QString> Raised(F&& ACall) {
    try {
        ACall();
    } catch (const hostapi::EQVException& e) {
        return e.Message();
    }
    return std::nullopt;
}

mode_t ModeOf(const QString& APath) {
    struct stat info {};
    if (::stat(QFile::encodeName(APath).constData(), &info) != 0)
        return mode_t(-1);
    return info.st_mode & 07777;
}

QByteArray Incompressible(qsizetype ASize) {
    QByteArray bytes(ASize, Qt::Uninitialized);
    QRandomGenerator generator(17);
    for (qsizetype i = 0; i < ASize; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

// The path that opens the spill's file through this process's descriptor of it.
QString OpenPath(const TBodySpill& ASpill) {
    return testsupport::RemovedFileOpenPath(ASpill.FileName());
}

// Overwrites bytes of the file at AOffset.
bool Overwrite(const QString& APath, qint64 AOffset, const QByteArray& ABytes) {
    QFile file(APath);
    return file.open(QIODevice::ReadWrite) && file.seek(AOffset) && file.write(ABytes) == ABytes.size();
}

} // namespace

class tst_BodySpill : public QObject {
    Q_OBJECT

private slots:
    void recordsComeBackAsWritten_data();
    void recordsComeBackAsWritten();
    void fileIsPrivateUnderAnOpenUmask();
    void fileIsNeverLeftInItsFolder();
    void emptyFolderMeansTheSystemTemporaryFolder();
    void folderThatCannotHoldTheFileRaises_data();
    void folderThatCannotHoldTheFileRaises();
    void damagedFileRaisesOnRead_data();
    void damagedFileRaisesOnRead();
    void writeThatDoesNotFitRaises();
    void spillThreadKeepsTextsItCannotWrite();
    void spillThreadSpillsWhatIsLeftOfABatch_data();
    void spillThreadSpillsWhatIsLeftOfABatch();
};

void tst_BodySpill::recordsComeBackAsWritten_data() {
    QTest::addColumn<QByteArray>("raw");
    QTest::newRow("non-ASCII") << QStringLiteral("Grüße aus Łódź € — 日本語 🙂").toUtf8();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("1 MB of text")
        << QByteArray("Guten Tag, Frau M\xc3\xbcller! ").repeated(40000).left(1 << 20);
    QTest::newRow("1 MB incompressible") << Incompressible(1 << 20);
}

// Each row's record is appended between two others in one file, so a wrong offset or size shows.
void tst_BodySpill::recordsComeBackAsWritten() {
    QFETCH(QByteArray, raw);
    QTemporaryDir folder;
    TBodySpill spill(folder.path());
    const TBodySpill::TRecord before = spill.Append("before");
    const TBodySpill::TRecord record = spill.Append(raw);
    const TBodySpill::TRecord after = spill.Append("after");
    QCOMPARE(record.RawSize, raw.size());
    QCOMPARE(record.Offset, before.Offset + before.CompressedSize);
    QCOMPARE(after.Offset, record.Offset + record.CompressedSize);
    QCOMPARE(spill.FileSize(), after.Offset + after.CompressedSize);
    QCOMPARE(spill.Read(record), raw);
    QCOMPARE(spill.Read(before), QByteArray("before"));
    QCOMPARE(spill.Read(after), QByteArray("after"));
}

void tst_BodySpill::fileIsPrivateUnderAnOpenUmask() {
    QTemporaryDir folder;
    const mode_t previous = ::umask(0);
    std::optional<TBodySpill> spill;
    const std::optional<QString> failure = Raised([&] { spill.emplace(folder.path()); });
    ::umask(previous);
    QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
    const QString path = OpenPath(*spill);
    QVERIFY2(!path.isEmpty(), qPrintable(spill->FileName()));
    QCOMPARE(ModeOf(path), mode_t(0600));
    QCOMPARE(QFileInfo(spill->FileName()).absolutePath(), QFileInfo(folder.path()).absoluteFilePath());
}

// The folder holds no name of the file while it is in use, so a killed process leaves no texts
// behind; the descriptor goes with the object.
void tst_BodySpill::fileIsNeverLeftInItsFolder() {
    QTemporaryDir folder;
    QString name;
    {
        TBodySpill spill(folder.path());
        const TBodySpill::TRecord record = spill.Append("text");
        name = spill.FileName();
        const QString path = OpenPath(spill);
        QVERIFY2(!path.isEmpty(), qPrintable(name));
        QVERIFY2(!QFileInfo::exists(spill.FileName()), qPrintable(spill.FileName()));
        // Two spills in one folder never share a file.
        const TBodySpill second(folder.path());
        QVERIFY(second.FileName() != spill.FileName());
        QVERIFY(OpenPath(second) != path);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(spill.Read(record), QByteArray("text"));
    }
    QVERIFY2(testsupport::RemovedFileOpenPath(name).isEmpty(),
             qPrintable(name + QStringLiteral(" is still open")));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void tst_BodySpill::emptyFolderMeansTheSystemTemporaryFolder() {
    const TBodySpill spill{QString()};
    QCOMPARE(QFileInfo(spill.FileName()).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
}

void tst_BodySpill::folderThatCannotHoldTheFileRaises_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing folder") << "missing";
    QTest::newRow("a file in place of the folder") << "file";
    QTest::newRow("folder without write permission") << "read-only";
}

void tst_BodySpill::folderThatCannotHoldTheFileRaises() {
    QFETCH(QString, kind);
    QTemporaryDir parent;
    QString folder = parent.filePath(QStringLiteral("job folder"));
    if (kind == QLatin1String("file")) {
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (kind == QLatin1String("read-only")) {
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0500), 0);
        if (::access(QFile::encodeName(folder).constData(), W_OK) == 0)
            QSKIP("This user may write into a folder without write permission (root).");
    }
    const std::optional<QString> failure = Raised([&] { TBodySpill spill(folder); });
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    QVERIFY2(failure, "no exception");
    QVERIFY2(failure->contains(folder), qPrintable(*failure));
    // The system's reason is named too.
    const QString reason = kind == QLatin1String("missing") ? QString::fromLocal8Bit(std::strerror(ENOENT))
                           : kind == QLatin1String("file")  ? QString::fromLocal8Bit(std::strerror(ENOTDIR))
                                                            : QString::fromLocal8Bit(std::strerror(EACCES));
    QVERIFY2(failure->contains(reason), qPrintable(*failure));
}

void tst_BodySpill::damagedFileRaisesOnRead_data() {
    QTest::addColumn<QString>("damage");
    QTest::newRow("truncated in the record") << "truncate";
    QTest::newRow("a byte of the data changed") << "middle";
    QTest::newRow("the frame's start overwritten") << "start";
}

void tst_BodySpill::damagedFileRaisesOnRead() {
    QFETCH(QString, damage);
    QTemporaryDir folder;
    TBodySpill spill(folder.path());
    const TBodySpill::TRecord first = spill.Append(QByteArray("Sehr geehrte Frau Müller, ").repeated(100));
    const TBodySpill::TRecord record = spill.Append(Incompressible(4000));
    const qint64 middle = record.Offset + record.CompressedSize / 2;
    const QString path = OpenPath(spill);
    QVERIFY(!path.isEmpty());
    if (damage == QLatin1String("truncate")) {
        QCOMPARE(::truncate(QFile::encodeName(path).constData(), off_t(middle)), 0);
    } else {
        const qint64 at = damage == QLatin1String("middle") ? middle : record.Offset;
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.seek(at));
        const char byte = file.read(1).at(0);
        file.close();
        QVERIFY(Overwrite(path, at, QByteArray(1, char(byte ^ 0x5a))));
    }
    const std::optional<QString> failure = Raised([&] { (void)spill.Read(record); });
    QVERIFY2(failure, "a damaged record was read without an exception");
    QVERIFY2(failure->contains(spill.FileName()), qPrintable(*failure));
    // The record before the damage is still whole.
    QCOMPARE(spill.Read(first), QByteArray("Sehr geehrte Frau Müller, ").repeated(100));
}

// A full disk as the file size limit of the process makes it: the append raises with the file's name
// and the records before it stay readable.
void tst_BodySpill::writeThatDoesNotFitRaises() {
    QTemporaryDir folder;
    TBodySpill spill(folder.path());
    const TBodySpill::TRecord first = spill.Append("Guten Tag");
    rlimit previous{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = rlim_t(spill.FileSize() + 1000);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::optional<QString> failure = Raised([&] { spill.Append(Incompressible(100000)); });
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY2(failure, "a record that did not fit was taken without an exception");
    QVERIFY2(failure->contains(spill.FileName()), qPrintable(*failure));
    QCOMPARE(spill.Read(first), QByteArray("Guten Tag"));
}

// A document the spill thread cannot write keeps its texts in memory and is counted with the
// file's reason; the documents before it stay spilled.
void tst_BodySpill::spillThreadKeepsTextsItCannotWrite() {
    QTemporaryDir folder;
    auto spill = std::make_shared<TBodySpill>(folder.path());
    TEmailDocument small;
    small.SetSubject(QStringLiteral("Hallo"));
    TEmailDocument large;
    large.SetSubject(QStringLiteral("Grüße"));
    const QString body = QString::fromLatin1(Incompressible(100000).toBase64());
    large.SetPlainMailBody(body);
    TBodySpillWorker worker(spill);
    worker.Add(&small);
    worker.Finish();
    QVERIFY(small.TextsSpilled());

    TBodySpillWorker second(spill);
    rlimit previous{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = rlim_t(spill->FileSize() + 1000);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    second.Add(&large);
    second.Finish();
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(second.FailedCount(), 1);
    QVERIFY2(second.FirstFailure().contains(spill->FileName()), qPrintable(second.FirstFailure()));
    QVERIFY(!large.TextsSpilled());
    QCOMPARE(large.Subject(), QStringLiteral("Grüße"));
    QCOMPARE(large.PlainMailBody(), body);
    QCOMPARE(small.Subject(), QStringLiteral("Hallo"));
}

void tst_BodySpill::spillThreadSpillsWhatIsLeftOfABatch_data() {
    QTest::addColumn<int>("documents");
    QTest::newRow("none") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("one short of a batch") << TBodySpillWorker::WakeAt - 1;
    QTest::newRow("a batch") << TBodySpillWorker::WakeAt;
    QTest::newRow("a batch and one") << TBodySpillWorker::WakeAt + 1;
    QTest::newRow("past the bound") << TBodySpillWorker::Bound + TBodySpillWorker::WakeAt / 2;
}

// The spill thread waits for a batch; Finish spills the documents that did not make one, and each
// document reads back its own texts.
void tst_BodySpill::spillThreadSpillsWhatIsLeftOfABatch() {
    QFETCH(int, documents);
    QTemporaryDir folder;
    auto spill = std::make_shared<TBodySpill>(folder.path());
    std::vector<std::unique_ptr<TEmailDocument>> prepared;
    const auto body = [](int i) { return QStringLiteral("Guten Tag Nr. %1, Grüße").arg(i); };
    {
        TBodySpillWorker worker(spill);
        for (int i = 0; i < documents; ++i) {
            prepared.push_back(std::make_unique<TEmailDocument>());
            prepared.back()->SetSubject(QStringLiteral("Betreff %1").arg(i));
            prepared.back()->SetPlainMailBody(body(i));
            worker.Add(prepared.back().get());
        }
        worker.Finish();
        QCOMPARE(worker.FailedCount(), 0);
    }
    for (int i = 0; i < documents; ++i) {
        QVERIFY2(prepared[size_t(i)]->TextsSpilled(), qPrintable(QString::number(i)));
        QCOMPARE(prepared[size_t(i)]->Subject(), QStringLiteral("Betreff %1").arg(i));
        QCOMPARE(prepared[size_t(i)]->PlainMailBody(), body(i));
    }
}

QTEST_GUILESS_MAIN(tst_BodySpill)
#include "tst_BodySpill.moc"
