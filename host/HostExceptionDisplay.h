#pragma once

#include "ExceptionDisplay.h"
#include "MessageSink.h"

#include <QString>

#include <functional>

namespace qvhost {

// The host's exception display: every shown exception goes to the message sink under its caption
// (the "Protokoll" keeps it, errors at start included) and then to the dialog display, or, when the platform
// cannot show a window (offscreen, minimal), to AErrorOutput (standard error) instead of a box nobody can
// close. Called on the GUI thread, as every exception display.
class HostExceptionDisplay : public hostapi::IExceptionDisplay {
public:
    using ErrorOutput = std::function<void(const QString& AText)>;

    // ADialogs: nullptr when the platform shows no windows. Both must outlive the display.
    HostExceptionDisplay(hostapi::IExceptionDisplay* ADialogs, hostapi::IMessageSink& ASink,
                         ErrorOutput AErrorOutput);

    void ShowException(const hostapi::ShownException& AException) override;

    // False for the platforms whose windows nobody sees ("offscreen", "minimal").
    static bool ShowsWindows(const QString& APlatformName);
    // The exception as one line of standard error: the caption (when given) and the message.
    static QString Text(const hostapi::ShownException& AException);

private:
    hostapi::IExceptionDisplay* FDialogs;
    hostapi::IMessageSink& FSink;
    ErrorOutput FErrorOutput;
};

} // namespace qvhost
