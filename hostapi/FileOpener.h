#pragma once

#include "HostApiExport.h"

#include <QString>

namespace hostapi {

// Opens a file with the desktop's program for its type.
class HOSTAPI_EXPORT IFileOpener {
public:
    virtual ~IFileOpener();
    // Throws EQVException when the file could not be handed on.
    virtual void OpenFile(const QString& AFileName) = 0;
};

// The desktop's file handler (QDesktopServices); call it on the GUI thread. Opens existing regular
// files only: folders, .desktop files and executable files (links followed) raise
// EQVUserMessageException.
class HOSTAPI_EXPORT DesktopFileOpener : public IFileOpener {
public:
    void OpenFile(const QString& AFileName) override;

    // The file's absolute path; EQVUserMessageException when it may not be opened.
    static QString RequireOpenableFile(const QString& AFileName);

    // The process's opener: the desktop's unless another was installed (tests: a recording one).
    static IFileOpener& Current();
    // The caller keeps ownership and uninstalls (nullptr) before destroying it.
    static void SetCurrent(IFileOpener* AOpener);
    static IFileOpener* Installed();
};

// Opens AFileName through the current opener after checking it (DesktopFileOpener::RequireOpenableFile).
HOSTAPI_EXPORT void OpenFile(const QString& AFileName);

} // namespace hostapi
