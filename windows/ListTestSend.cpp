#include "ListTestSend.h"

#include "ExceptionDisplay.h"
#include "QVException.h"

#include <QMetaObject>

namespace emailmarketing {

TListTestSend::TListTestSend(std::unique_ptr<TCustomMessageSender> ASender, TOutgoingMessage AMessage,
                             QObject* AParent)
    : QObject(AParent), FSender(std::move(ASender)), FMessage(std::move(AMessage)) {
    QV_ASSERT(FSender);
}

TListTestSend::~TListTestSend() {
    if (FThread.joinable()) {
        FSender->Cancel();
        FThread.join();
    }
}

void TListTestSend::Start(TDoneEvent ADone) {
    QV_ASSERT(!FThread.joinable());
    FOnDone = std::move(ADone);
    FThread = std::thread([this] { PostResult(Run()); });
}

// Not inlined, so that the ThreadSanitizer suppression of Qt's event queue can name it.
__attribute__((noinline)) void TListTestSend::PostResult(const TResult& AResult) {
    // Delivered on this object's thread; dropped when the object is destroyed first.
    QMetaObject::invokeMethod(
        this,
        [this, result = AResult] {
            FDone = true;
            FOnDone(result);
        },
        Qt::QueuedConnection);
}

TListTestSend::TResult TListTestSend::Run() {
    TResult result;
    try {
        result.Connected = FSender->ConnectToServer(true);
        if (!result.Connected) {
            result.Error = FSender->LastError();
            return result;
        }
        const TOutgoingMessage& m = FMessage;
        result.Sent =
            FSender->SendMessage(m.ReceiverName, m.ReceiverEmail, m.SenderName, m.SenderEmail, m.Subject,
                                 m.PlainBody, m.HTMLBody, m.IsHTML, m.InLineAttachments, m.NormalAttachments,
                                 m.ReplyEmail, m.CCList, m.BCCList, m.ReceiptRecipientAddress);
        if (!result.Sent)
            result.Error = FSender->LastError();
        FSender->DisconnectFromServer();
    } catch (...) {
        // a transport may raise from a send; its text is the error
        result.Sent = false;
        result.Error = hostapi::TVRNExceptionUtils::Describe(std::current_exception(), {}).Message;
    }
    return result;
}

} // namespace emailmarketing
