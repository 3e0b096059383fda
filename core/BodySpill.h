#pragma once

#include <QByteArray>
#include <QString>

#include <mutex>

namespace emailmarketing {

// An append-only file of zstd-compressed records: the texts of a job's prepared documents, kept out
// of memory. The file is created owner-only (0600) with a unique name in the given folder, and that
// name is removed at once: the file lasts as long as the object, even when the process is killed.
// FileName stays the name it had, for messages.
//
// Threads: Append may be called from several threads at once (each record gets a range of its own
// under a short lock, then is written with pwrite); Read needs no lock (pread). A record is read
// only after the Append that answered it has returned.
//
// Failures raise EQVException naming the file and the system's reason: a record is never lost
// silently.
class TBodySpill {
public:
    // Where one record lies in the file.
    struct TRecord {
        qint64 Offset = -1;
        qint64 CompressedSize = 0;
        qint64 RawSize = 0;
    };

    // Creates the file in AFolder (the system's temporary folder when empty).
    explicit TBodySpill(const QString& AFolder);
    ~TBodySpill();
    TBodySpill(const TBodySpill&) = delete;
    TBodySpill& operator=(const TBodySpill&) = delete;

    TRecord Append(const QByteArray& ARaw);
    QByteArray Read(const TRecord& ARecord) const;

    QString FileName() const { return FFileName; }
    // Bytes in the file.
    qint64 FileSize() const;

private:
    QString FFileName;
    int FFile = -1;
    std::mutex FEndLock;
    qint64 FEnd = 0; // under FEndLock: where the next record goes
};

} // namespace emailmarketing
