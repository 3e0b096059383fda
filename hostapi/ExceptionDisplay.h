#pragma once

#include "HostApiExport.h"

#include <QString>

#include <exception>
#include <functional>

namespace hostapi {

// What the user is shown of one exception.
struct HOSTAPI_EXPORT ShownException {
    bool UserMessage = false; // EQVUserMessageException: a plain information, not an error
    QString Caption;          // may be empty
    QString Message;
};

// Shows exceptions to the user. Called on the GUI thread only.
class HOSTAPI_EXPORT IExceptionDisplay {
public:
    virtual ~IExceptionDisplay();
    virtual void ShowException(const ShownException& AException) = 0;
};

// The host's exception display. Show may be called from any thread and never throws: the text is
// taken on the calling thread and shown on the GUI thread (queued to it from other threads, so a
// worker never waits for the user). The real display shows a user message as an information and
// anything else as an error, both through the dialog service with one OK button, the caption (when
// given) as the first line.
class HOSTAPI_EXPORT TVRNExceptionUtils {
public:
    static void Show(const std::exception& E, const QString& ACaption = {}) noexcept;
    // Any exception, also one that is not a std::exception ("unknown error").
    static void Show(std::exception_ptr E, const QString& ACaption = {}) noexcept;
    // Shows the exception being handled; call inside a catch block.
    static void ShowCurrent(const QString& ACaption = {}) noexcept;
    // Runs a slot's or event handler's body; an exception it raises is shown, never passed on.
    // Answers False when one was raised.
    static bool Guarded(const std::function<void()>& AHandler, const QString& ACaption = {}) noexcept;

    static ShownException Describe(const std::exception& E, const QString& ACaption);
    static ShownException Describe(std::exception_ptr E, const QString& ACaption);

    // The process's display: the real one unless another was installed.
    static IExceptionDisplay& Current();
    // Installs a display (tests: a recording one); nullptr restores the real one. The caller keeps
    // ownership and uninstalls it before destroying it.
    static void SetCurrent(IExceptionDisplay* ADisplay);
    // The installed display; nullptr when the real one is in use.
    static IExceptionDisplay* Installed();

private:
    static void Dispatch(const ShownException& AException);
    static void Deliver(const ShownException& AException) noexcept;
};

} // namespace hostapi
