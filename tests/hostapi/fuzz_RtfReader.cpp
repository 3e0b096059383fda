// libFuzzer target for the RTF reader: any input is read (as a file's bytes or as stored text), and
// whatever it reads is written and must read again. Built with clang when QV_BUILD_FUZZERS is on:
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQV_BUILD_FUZZERS=ON
//   cmake --build build-fuzz --target fuzz_RtfReader
//   build-fuzz/bin/fuzz_RtfReader -max_total_time=300 -max_len=65536 CORPUS_DIR tests/fixtures/rtf

#include "QVException.h"
#include "RichTextDocument.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "qv.hostapi.info=false");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses how the rest is read; input without the header gets one, so that the
    // fuzzer spends its time inside the reader.
    const bool asStoredText = (data[0] & 1) != 0;
    QByteArray input(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    if (!input.startsWith("{\\rtf"))
        input.prepend("{\\rtf1 ");
    hostapi::RichTextDocument document;
    try {
        if (asStoredText)
            hostapi::RtfReader::Read(QString::fromUtf8(input), document);
        else
            hostapi::RtfReader::ReadBytes(input, document);
    } catch (const hostapi::EQVException&) {
        return 0; // refused input: depth, binary sizes
    }
    const QString written = hostapi::RtfWriter::Write(document);
    hostapi::RichTextDocument again;
    try {
        hostapi::RtfReader::Read(written, again);
    } catch (const hostapi::EQVException& e) {
        fprintf(stderr, "Written rich text does not read again: %s\n", e.what());
        abort();
    }
    return 0;
}
