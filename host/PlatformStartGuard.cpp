#include "PlatformStartGuard.h"

#include "QVException.h"

#include <cstdio>
#include <cstdlib>

namespace qvhost {

namespace {

PlatformStartGuard* ActiveGuard = nullptr;

} // namespace

PlatformStartGuard::PlatformStartGuard(QString AText) : FText(std::move(AText)) {
    QV_ASSERT(ActiveGuard == nullptr);
    ActiveGuard = this;
    FPrevious = qInstallMessageHandler(&PlatformStartGuard::Handle);
}

PlatformStartGuard::~PlatformStartGuard() {
    qInstallMessageHandler(FPrevious);
    ActiveGuard = nullptr;
}

void PlatformStartGuard::Handle(QtMsgType AType, const QMessageLogContext& AContext,
                                const QString& AMessage) {
    PlatformStartGuard* guard = ActiveGuard;
    if (AType != QtFatalMsg || !guard) {
        if (guard && guard->FPrevious)
            guard->FPrevious(AType, AContext, AMessage);
        else
            std::fprintf(stderr, "%s\n", qPrintable(AMessage));
        return;
    }
    // Qt's own words ("Reinstalling the application may fix this problem") would mislead: what
    // failed is the display, and the host says which.
    std::fprintf(stderr, "%s\n", qPrintable(guard->FText));
    std::fflush(stderr);
    std::_Exit(ExitCode); // Qt aborts when the handler returns
}

} // namespace qvhost
