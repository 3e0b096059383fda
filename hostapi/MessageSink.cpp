#include "MessageSink.h"

#include "OwnedText.h"
#include "QVException.h"

#include <QCoreApplication>
#include <QMutexLocker>

#include <atomic>

namespace hostapi {

namespace {
std::atomic<IMessageSink*> GInstalled{nullptr};
} // namespace

IMessageSink::~IMessageSink() = default;

void IMessageSink::AddCaptionedMessage(const QString& ACaption, const QString& AText, MessageKind AKind) {
    AddMessage(ACaption.isEmpty() ? AText : ACaption + QStringLiteral(": ") + AText, AKind);
}

MessageSink::MessageSink(QObject* parent) : QObject(parent) {}
MessageSink::~MessageSink() = default;

void MessageSink::AddMessage(const QString& AText, MessageKind AKind) {
    AddCaptionedMessage(QString(), AText, AKind);
}

void MessageSink::AddCaptionedMessage(const QString& ACaption, const QString& AText, MessageKind AKind) {
    QV_ASSERT(AKind == MessageKind::Info || AKind == MessageKind::Warning || AKind == MessageKind::Error);
    // The sink outlives the module that reports: it keeps copies of the texts.
    const QString text = OwnedCopy(AText);
    const QString caption = OwnedCopy(ACaption);
    {
        QMutexLocker locker(&FLock);
        FEntries.append({QDateTime::currentDateTime(), AKind, text, caption});
    }
    emit MessageAdded(int(AKind), text);
}

QList<MessageSinkEntry> MessageSink::Entries() const {
    QMutexLocker locker(&FLock);
    return FEntries;
}

MessageSink& MessageSink::Instance() {
    static MessageSink* sink = [] {
        // Leaked on purpose: reporters on other threads may still use it while statics are destroyed.
        auto* created = new MessageSink;
        if (QCoreApplication* app = QCoreApplication::instance())
            created->moveToThread(app->thread());
        return created;
    }();
    return *sink;
}

IMessageSink& MessageSink::Current() {
    if (IMessageSink* installed = GInstalled.load())
        return *installed;
    return Instance();
}

void MessageSink::SetCurrent(IMessageSink* ASink) {
    GInstalled.store(ASink);
}

} // namespace hostapi
