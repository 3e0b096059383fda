#include "BodySpill.h"

#include "FileUtils.h"
#include "QVException.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <zstd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace emailmarketing {

namespace {

constexpr int CompressionLevel = 1;
constexpr int NameAttempts = 100;

QString SystemReason(int AError) {
    return QString::fromLocal8Bit(std::strerror(AError));
}

[[noreturn]] void RaiseSystem(const QString& AText, const QString& AFile, int AError) {
    throw hostapi::EQVException(AText.arg(AFile, SystemReason(AError)));
}

QString UniqueName() {
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString part;
    for (int i = 0; i < 6; ++i)
        part += QLatin1Char(Letters[QRandomGenerator::global()->bounded(int(sizeof(Letters) - 1))]);
    return QStringLiteral("bodies-%1.spill").arg(part);
}

// One compression and one decompression context per thread, made at its first use.
struct TCCtxFree {
    void operator()(ZSTD_CCtx* AContext) const { ZSTD_freeCCtx(AContext); }
};
struct TDCtxFree {
    void operator()(ZSTD_DCtx* AContext) const { ZSTD_freeDCtx(AContext); }
};

ZSTD_CCtx* CompressionContext() {
    thread_local std::unique_ptr<ZSTD_CCtx, TCCtxFree> context;
    if (!context) {
        context.reset(ZSTD_createCCtx());
        if (!context)
            throw std::bad_alloc();
        ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, CompressionLevel);
        // A damaged record is detected on reading instead of answering wrong text.
        ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 1);
    }
    return context.get();
}

ZSTD_DCtx* DecompressionContext() {
    thread_local std::unique_ptr<ZSTD_DCtx, TDCtxFree> context;
    if (!context) {
        context.reset(ZSTD_createDCtx());
        if (!context)
            throw std::bad_alloc();
    }
    return context.get();
}

} // namespace

TBodySpill::TBodySpill(const QString& AFolder) {
    const QDir folder(AFolder.isEmpty() ? hostapi::GetTempPath() : AFolder);
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        const QString file = folder.filePath(UniqueName());
        FFile = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (FFile < 0 && errno == EEXIST)
            continue;
        if (FFile < 0)
            RaiseSystem(QStringLiteral("The file \"%1\" for the message texts cannot be created: %2"), file,
                        errno);
        FFileName = file;
        break;
    }
    if (FFile < 0)
        throw hostapi::EQVException(
            QStringLiteral("No unused name for the message texts' file was found in \"%1\".")
                .arg(folder.path()));
    // The mode of open is narrowed by the umask only; this also holds with umask 000.
    if (::fchmod(FFile, 0600) != 0) {
        const int error = errno;
        ::close(FFile);
        ::unlink(QFile::encodeName(FFileName).constData());
        RaiseSystem(QStringLiteral("The file \"%1\" for the message texts cannot be made private: %2"),
                    FFileName, error);
    }
    // The name goes at once: the texts live as long as the descriptor, so a process that is killed
    // leaves no recipient's text behind, and nobody else can open the file by its name.
    if (::unlink(QFile::encodeName(FFileName).constData()) != 0) {
        const int error = errno;
        ::close(FFile);
        RaiseSystem(
            QStringLiteral("The file \"%1\" for the message texts cannot be removed from its folder: %2"),
            FFileName, error);
    }
}

TBodySpill::~TBodySpill() {
    ::close(FFile);
}

TBodySpill::TRecord TBodySpill::Append(const QByteArray& ARaw) {
    QByteArray frame(qsizetype(ZSTD_compressBound(size_t(ARaw.size()))), Qt::Uninitialized);
    const size_t size = ZSTD_compress2(CompressionContext(), frame.data(), size_t(frame.size()),
                                       ARaw.constData(), size_t(ARaw.size()));
    if (ZSTD_isError(size))
        throw hostapi::EQVException(QStringLiteral("The message texts cannot be compressed for \"%1\": %2")
                                        .arg(FFileName, QString::fromLatin1(ZSTD_getErrorName(size))));
    TRecord record;
    record.CompressedSize = qint64(size);
    record.RawSize = ARaw.size();
    {
        std::lock_guard lock(FEndLock);
        record.Offset = FEnd;
        FEnd += record.CompressedSize;
    }
    qint64 written = 0;
    while (written < record.CompressedSize) {
        const ssize_t n = ::pwrite(FFile, frame.constData() + written,
                                   size_t(record.CompressedSize - written), off_t(record.Offset + written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            RaiseSystem(QStringLiteral("The message texts cannot be written to \"%1\": %2"), FFileName,
                        errno);
        if (n == 0) // no progress and no error: treated as a full disk
            RaiseSystem(QStringLiteral("The message texts cannot be written to \"%1\": %2"), FFileName,
                        ENOSPC);
        written += n;
    }
    return record;
}

QByteArray TBodySpill::Read(const TRecord& ARecord) const {
    if (ARecord.Offset < 0 || ARecord.CompressedSize <= 0 || ARecord.RawSize < 0)
        throw hostapi::EQVException(
            QStringLiteral("No record of the message texts in \"%1\" was given to be read.").arg(FFileName));
    QByteArray frame(qsizetype(ARecord.CompressedSize), Qt::Uninitialized);
    qint64 done = 0;
    while (done < ARecord.CompressedSize) {
        const ssize_t n = ::pread(FFile, frame.data() + done, size_t(ARecord.CompressedSize - done),
                                  off_t(ARecord.Offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            RaiseSystem(QStringLiteral("The message texts cannot be read from \"%1\": %2"), FFileName, errno);
        if (n == 0)
            throw hostapi::EQVException(
                QStringLiteral(
                    "The file \"%1\" of the message texts ends before the record at %2 (it was truncated).")
                    .arg(FFileName, QString::number(ARecord.Offset)));
        done += n;
    }
    QByteArray raw(qsizetype(ARecord.RawSize), Qt::Uninitialized);
    const size_t size = ZSTD_decompressDCtx(DecompressionContext(), raw.data(), size_t(raw.size()),
                                            frame.constData(), size_t(frame.size()));
    if (ZSTD_isError(size) || qint64(size) != ARecord.RawSize)
        throw hostapi::EQVException(
            QStringLiteral("The record at %2 of the message texts' file \"%1\" is damaged: %3")
                .arg(FFileName, QString::number(ARecord.Offset),
                     ZSTD_isError(size)
                         ? QString::fromLatin1(ZSTD_getErrorName(size))
                         : QStringLiteral("%1 bytes instead of %2").arg(size).arg(ARecord.RawSize)));
    return raw;
}

qint64 TBodySpill::FileSize() const {
    struct stat info {};
    if (::fstat(FFile, &info) != 0)
        RaiseSystem(QStringLiteral("The size of the message texts' file \"%1\" cannot be read: %2"),
                    FFileName, errno);
    return qint64(info.st_size);
}

} // namespace emailmarketing
