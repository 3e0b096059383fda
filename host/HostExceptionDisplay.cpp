#include "HostExceptionDisplay.h"

#include "QVException.h"

namespace qvhost {

HostExceptionDisplay::HostExceptionDisplay(hostapi::IExceptionDisplay* ADialogs, hostapi::IMessageSink& ASink,
                                           ErrorOutput AErrorOutput)
    : FDialogs(ADialogs), FSink(ASink), FErrorOutput(std::move(AErrorOutput)) {
    QV_ASSERT(static_cast<bool>(FErrorOutput));
}

void HostExceptionDisplay::ShowException(const hostapi::ShownException& AException) {
    FSink.AddCaptionedMessage(AException.Caption, AException.Message,
                              AException.UserMessage ? hostapi::MessageKind::Info
                                                     : hostapi::MessageKind::Error);
    if (FDialogs)
        FDialogs->ShowException(AException);
    else
        FErrorOutput(Text(AException));
}

bool HostExceptionDisplay::ShowsWindows(const QString& APlatformName) {
    return APlatformName != QLatin1String("offscreen") && APlatformName != QLatin1String("minimal");
}

QString HostExceptionDisplay::Text(const hostapi::ShownException& AException) {
    if (AException.Caption.isEmpty())
        return AException.Message;
    return AException.Caption + QLatin1Char(' ') + AException.Message;
}

} // namespace qvhost
