#pragma once

#include "HostApiExport.h"

#include <QString>

class QUrl;

namespace hostapi {

// Opens a link with the desktop's program for it (browser, mail program).
class HOSTAPI_EXPORT IUrlOpener {
public:
    virtual ~IUrlOpener();
    // Throws EQVException when the link could not be handed on.
    virtual void OpenUrl(const QString& AUrl) = 0;
};

// The desktop's URL handler (QDesktopServices); call it on the GUI thread. Only http, https and
// mailto links are handed on; any other link raises EQVUserMessageException.
class HOSTAPI_EXPORT DesktopUrlOpener : public IUrlOpener {
public:
    void OpenUrl(const QString& AUrl) override;

    // Whether AUrl is a link the system may be given: a valid http or https URL with a host, or a
    // mailto URL.
    static bool IsAllowedUrl(const QUrl& AUrl);
    // The parsed link; EQVUserMessageException when it is not allowed.
    static QUrl RequireAllowedUrl(const QString& AUrl);

    // The process's opener: the desktop's unless another was installed (tests: a recording one).
    static IUrlOpener& Current();
    // The caller keeps ownership and uninstalls (nullptr) before destroying it.
    static void SetCurrent(IUrlOpener* AOpener);
    static IUrlOpener* Installed();
};

// Opens AUrl through the current opener after checking it (DesktopUrlOpener::RequireAllowedUrl).
HOSTAPI_EXPORT void OpenUrl(const QString& AUrl);

} // namespace hostapi
