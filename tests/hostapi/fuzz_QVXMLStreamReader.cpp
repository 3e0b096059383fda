// libFuzzer target for the streaming XML reader: any input is walked as the import walks it (root,
// parts, whole items) and, separately, checked; both must agree on whether it is acceptable and fail
// only with EQVException. Built with clang when QV_BUILD_FUZZERS is on:
//   cmake --build build-fuzz --target fuzz_QVXMLStreamReader
//   build-fuzz/bin/fuzz_QVXMLStreamReader -max_total_time=300 -max_len=65536

#include "QVException.h"
#include "QVXMLStreamReader.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace hostapi;

namespace {

// Walks the document as the import does; True when it was read to its end.
bool Walk(const QByteArray& AData) {
    try {
        TQVXMLStreamReader reader(AData);
        if (!reader.NextElement())
            return false;
        (void)reader.Head();
        while (reader.NextElement()) {
            (void)reader.Head();
            while (reader.NextElement())
                (void)reader.ReadElement();
        }
        reader.Finish();
        return true;
    } catch (const EQVException&) {
        return false;
    }
}

bool Checked(const QByteArray& AData) {
    try {
        TQVXMLStreamReader::Check(AData);
        return true;
    } catch (const EQVException&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_LOGGING_RULES", "qv.hostapi.info=false");
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    if (Walk(input) != Checked(input)) {
        std::fprintf(stderr, "the walk and the check disagree\n");
        std::abort();
    }
    return 0;
}
