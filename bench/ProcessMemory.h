#pragma once

// Resident memory of the benchmark's own process, from /proc/self.

#include <QByteArray>
#include <QFile>

#include <cstdio>

namespace bench {

// A size field of /proc/self/status ("VmRSS:", "VmHWM:") in KiB; -1 when unreadable.
inline qint64 StatusKiB(const char* AKey) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(AKey))
            return line.mid(qstrlen(AKey)).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Resets the peak resident size (VmHWM) to the current one.
inline void ResetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (!refs.open(QIODevice::WriteOnly) || refs.write("5") != 1)
        std::fprintf(stderr, "WARNING: the peak resident size cannot be reset; it includes the set-up\n");
}

} // namespace bench
