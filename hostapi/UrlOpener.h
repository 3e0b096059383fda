#pragma once

#include <QString>

namespace emailmarketing {

// Opens a URL in the user's browser.
class IUrlOpener {
public:
    virtual ~IUrlOpener();
    // Throws EQVException when the URL could not be handed to a browser.
    virtual void OpenUrl(const QString& AUrl) = 0;
};

// The desktop's URL handler (QDesktopServices); call it on the GUI thread.
class DesktopUrlOpener : public IUrlOpener {
public:
    void OpenUrl(const QString& AUrl) override;
};

} // namespace emailmarketing
