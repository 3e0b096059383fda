#pragma once

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "FileOpener.h"
#include "MessageSink.h"
#include "ScreenService.h"
#include "UrlOpener.h"

#include <QList>
#include <QMutex>
#include <QQueue>
#include <QString>
#include <QThread>

#include <functional>
#include <optional>

namespace testsupport {

// Answers message dialogs, input queries, file dialogs and modal windows from a script and records
// every question. Installed as the process's dialog service while it lives (the one installed before
// comes back afterwards). A question without a scripted answer throws.
//
// A modal window is shown (not run modally) and handed to the next scripted callback, which drives
// its widgets as a user would and closes it (a button, accept(), reject()); ExecModal answers the
// dialog's result. A callback that leaves the dialog open fails the call (EQVException) after the
// dialog has been rejected.
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
    using ModalScript = std::function<void(QDialog& ADialog)>;
    void AddModal(ModalScript AScript);
    // std::nullopt: the user cancels; else the chosen path.
    void AddFileName(std::optional<QString> AFileName);

    hostapi::TModalResult MessageDlg(const QString& AText, hostapi::TMsgDlgType AType,
                                     hostapi::TMsgDlgButtons AButtons, int AHelpContext) override;
    bool InputQuery(const QString& ACaption, const QString& APrompt, QString& AValue) override;
    int ExecModal(QDialog& ADialog) override;
    bool OpenFileDialog(const hostapi::TFileDialogOptions& AOptions, QString& AFileName) override;
    bool SaveFileDialog(const hostapi::TFileDialogOptions& AOptions, QString& AFileName) override;

    struct FileDialog {
        bool Save = false;
        hostapi::TFileDialogOptions Options;
    };

    QList<Question> Questions;
    QList<Query> Queries;
    QStringList Modals; // object names of the dialogs run
    QList<FileDialog> FileDialogs;
    // Scripted answers not used yet.
    int PendingCount() const;

private:
    bool AnswerFileDialog(bool ASave, const hostapi::TFileDialogOptions& AOptions, QString& AFileName);

    QQueue<hostapi::TModalResult> FAnswers;
    QQueue<std::optional<QString>> FInputs;
    QQueue<ModalScript> FModals;
    QQueue<std::optional<QString>> FFileNames;
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

// Records the links and files that the product hands to the desktop (after the openers' checks).
// Installed while it lives.
class RecordingUrlOpener : public hostapi::IUrlOpener {
public:
    RecordingUrlOpener();
    ~RecordingUrlOpener() override;
    void OpenUrl(const QString& AUrl) override { Opened.append(AUrl); }
    QStringList Opened;

private:
    hostapi::IUrlOpener* FPrevious;
};

class RecordingFileOpener : public hostapi::IFileOpener {
public:
    RecordingFileOpener();
    ~RecordingFileOpener() override;
    void OpenFile(const QString& AFileName) override { Opened.append(AFileName); }
    QStringList Opened;

private:
    hostapi::IFileOpener* FPrevious;
};

// Records the windows asked of the host's screen service, as "<module GUID> <index> <parameter>"
// ("-" for no parameter), and opens none. Installed while it lives.
class RecordingScreen : public hostapi::IScreenService {
public:
    RecordingScreen();
    ~RecordingScreen() override;
    hostapi::TPluginForm* OpenPluginForm(const QString& APluginGUID, int AFormIndex,
                                         const QVariant& AParams) override;
    bool HidesWindowToolBars() const override { return HidesToolBars; }
    QStringList Opened;
    bool HidesToolBars = false;
};

} // namespace testsupport
