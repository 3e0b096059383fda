#include "ExceptionDisplay.h"
#include "HostApiLog.h"

#include "DialogService.h"
#include "QVException.h"
#include "VRNLang.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QThread>

#include <atomic>

namespace hostapi {

namespace {

std::atomic<IExceptionDisplay*> GInstalled{nullptr};

class DialogExceptionDisplay final : public IExceptionDisplay {
public:
    void ShowException(const ShownException& AException) override {
        const QString text = AException.Caption.isEmpty()
                                 ? AException.Message
                                 : AException.Caption + QStringLiteral("\n\n") + AException.Message;
        MessageDlg(text, AException.UserMessage ? mtInformation : mtError, mbOK, 0);
    }
};

QString UnknownErrorText() {
    static TVRNLang lang(QStringLiteral("ExceptionDisplay"));
    return lang.TextIn(QStringLiteral("IDS_UnknownError"), TVRNLang::CurrentLanguage());
}

} // namespace

IExceptionDisplay::~IExceptionDisplay() = default;

ShownException TVRNExceptionUtils::Describe(const std::exception& E, const QString& ACaption) {
    ShownException shown;
    shown.Caption = ACaption;
    if (const auto* qv = dynamic_cast<const EQVException*>(&E)) {
        shown.UserMessage = dynamic_cast<const EQVUserMessageException*>(&E) != nullptr;
        shown.Message = qv->Message();
    } else {
        shown.Message = QString::fromUtf8(E.what());
    }
    return shown;
}

ShownException TVRNExceptionUtils::Describe(std::exception_ptr E, const QString& ACaption) {
    QV_ASSERT(E);
    try {
        std::rethrow_exception(E);
    } catch (const std::exception& e) {
        return Describe(e, ACaption);
    } catch (...) {
        ShownException shown;
        shown.Caption = ACaption;
        shown.Message = UnknownErrorText();
        return shown;
    }
}

void TVRNExceptionUtils::Show(const std::exception& E, const QString& ACaption) noexcept {
    try {
        Dispatch(Describe(E, ACaption));
    } catch (const std::exception& e) {
        qCCritical(lcHostApi) << "Could not show an exception:" << e.what();
    } catch (...) {
        qCCritical(lcHostApi) << "Could not show an exception";
    }
}

void TVRNExceptionUtils::Show(std::exception_ptr E, const QString& ACaption) noexcept {
    try {
        Dispatch(Describe(E, ACaption));
    } catch (const std::exception& e) {
        qCCritical(lcHostApi) << "Could not show an exception:" << e.what();
    } catch (...) {
        qCCritical(lcHostApi) << "Could not show an exception";
    }
}

void TVRNExceptionUtils::ShowCurrent(const QString& ACaption) noexcept {
    std::exception_ptr current = std::current_exception();
    if (!current) {
        qCCritical(lcHostApi) << "ShowCurrent called outside a catch block";
        return;
    }
    Show(current, ACaption);
}

bool TVRNExceptionUtils::Guarded(const std::function<void()>& AHandler, const QString& ACaption) noexcept {
    try {
        AHandler();
        return true;
    } catch (...) {
        ShowCurrent(ACaption);
        return false;
    }
}

void TVRNExceptionUtils::Dispatch(const ShownException& AException) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread())
        QMetaObject::invokeMethod(
            app, [AException] { Deliver(AException); }, Qt::QueuedConnection);
    else
        Deliver(AException);
}

void TVRNExceptionUtils::Deliver(const ShownException& AException) noexcept {
    if (!QCoreApplication::instance()) {
        // No application (early start or after shut-down): nothing can show it, so it is logged.
        qCCritical(lcHostApi).noquote() << "Exception without application:" << AException.Message;
        return;
    }
    try {
        Current().ShowException(AException);
    } catch (const std::exception& e) {
        qCCritical(lcHostApi) << "The exception display failed:" << e.what();
    } catch (...) {
        qCCritical(lcHostApi) << "The exception display failed";
    }
}

IExceptionDisplay& TVRNExceptionUtils::Current() {
    if (IExceptionDisplay* installed = GInstalled.load())
        return *installed;
    static DialogExceptionDisplay real;
    return real;
}

void TVRNExceptionUtils::SetCurrent(IExceptionDisplay* ADisplay) {
    GInstalled.store(ADisplay);
}

IExceptionDisplay* TVRNExceptionUtils::Installed() {
    return GInstalled.load();
}

} // namespace hostapi
