#pragma once

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "MessageSink.h"

#include <QList>
#include <QMutex>
#include <QQueue>
#include <QString>
#include <QThread>

#include <optional>

namespace testsupport {

// Answers message dialogs and input queries from a script and records every question. Installed as
// the process's dialog service while it lives (the one installed before comes back afterwards). A
// question without a scripted answer throws.
class ScriptedDialogService : public hostapi::IDialogService {
public:
    struct Question {
        QString Text;
        hostapi::TMsgDlgType Type = hostapi::mtCustom;
        hostapi::TMsgDlgButtons Buttons;
        int HelpContext = 0;
    };
    struct Query {
        QString Caption;
        QString Prompt;
        QString Value; // as passed in
    };

    ScriptedDialogService();
    ~ScriptedDialogService() override;

    void AddAnswer(hostapi::TModalResult AAnswer);
    // std::nullopt: the user cancels.
    void AddInput(std::optional<QString> AValue);

    hostapi::TModalResult MessageDlg(const QString& AText, hostapi::TMsgDlgType AType,
                                     hostapi::TMsgDlgButtons AButtons, int AHelpContext) override;
    bool InputQuery(const QString& ACaption, const QString& APrompt, QString& AValue) override;

    QList<Question> Questions;
    QList<Query> Queries;

private:
    QQueue<hostapi::TModalResult> FAnswers;
    QQueue<std::optional<QString>> FInputs;
    hostapi::IDialogService* FPrevious;
};

// Records what the exception display is asked to show, and on which thread. Installed while it lives
// (the display installed before comes back afterwards).
class RecordingExceptionDisplay : public hostapi::IExceptionDisplay {
public:
    struct Shown {
        hostapi::ShownException Exception;
        QThread* Thread = nullptr;
    };

    RecordingExceptionDisplay();
    ~RecordingExceptionDisplay() override;

    void ShowException(const hostapi::ShownException& AException) override;
    QList<Shown> Records() const;

private:
    mutable QMutex FLock;
    QList<Shown> FRecords;
    hostapi::IExceptionDisplay* FPrevious;
};

// Records the messages of the message sink (from any thread). Installed while it lives.
class RecordingMessageSink : public hostapi::IMessageSink {
public:
    struct Message {
        QString Text;
        hostapi::MessageKind Kind = hostapi::MessageKind::Info;
        QString Caption;
    };

    RecordingMessageSink();
    ~RecordingMessageSink() override;

    void AddMessage(const QString& AText, hostapi::MessageKind AKind) override;
    void AddCaptionedMessage(const QString& ACaption, const QString& AText,
                             hostapi::MessageKind AKind) override;
    QList<Message> Messages() const;

private:
    mutable QMutex FLock;
    QList<Message> FMessages;
};

} // namespace testsupport
