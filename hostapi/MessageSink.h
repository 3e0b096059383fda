#pragma once

#include "HostApiExport.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

namespace hostapi {

// Kind of a message of the message sink and of a scheduler report.
enum class MessageKind : int { Info = 0, Warning = 1, Error = 2 };

// Where modules report what the user should be able to read later (e.g. a failed background
// fetch). Safe to call from any thread.
class HOSTAPI_EXPORT IMessageSink {
public:
    virtual ~IMessageSink();
    virtual void AddMessage(const QString& AText, MessageKind AKind) = 0;
    // A message under a caption (what was being done: "Versand", "Das Modul ... konnte nicht
    // geladen werden."). A sink that keeps one text per message gets "caption: text".
    virtual void AddCaptionedMessage(const QString& ACaption, const QString& AText, MessageKind AKind);
};

struct HOSTAPI_EXPORT MessageSinkEntry {
    QDateTime Time;
    MessageKind Kind = MessageKind::Info;
    QString Text;
    QString Caption; // empty when the message came without one
};

// The host's message sink: keeps every message for the host to show. MessageAdded is emitted on the
// reporting thread; connections from GUI objects are therefore queued to them.
class HOSTAPI_EXPORT MessageSink : public QObject, public IMessageSink {
    Q_OBJECT
public:
    explicit MessageSink(QObject* parent = nullptr);
    ~MessageSink() override;

    void AddMessage(const QString& AText, MessageKind AKind) override;
    void AddCaptionedMessage(const QString& ACaption, const QString& AText, MessageKind AKind) override;
    QList<MessageSinkEntry> Entries() const;

    // The process's sink: the host's own unless another was installed.
    static IMessageSink& Current();
    // The host's own sink (whose log the main window shows).
    static MessageSink& Instance();
    // Installs a sink (tests: a recording one); nullptr restores the host's own. The caller keeps
    // ownership and uninstalls it before destroying it.
    static void SetCurrent(IMessageSink* ASink);

signals:
    void MessageAdded(int AKind, const QString& AText);

private:
    mutable QMutex FLock;
    QList<MessageSinkEntry> FEntries;
};

} // namespace hostapi
