#include "HostDoubles.h"

#include "QVException.h"
#include "QVMainInterface.h"

#include <QDialog>
#include <QMutexLocker>

namespace testsupport {

using namespace hostapi;

ScriptedDialogService::ScriptedDialogService() : FPrevious(DialogService::Installed()) {
    DialogService::SetCurrent(this);
}
ScriptedDialogService::~ScriptedDialogService() {
    DialogService::SetCurrent(FPrevious);
}

void ScriptedDialogService::AddAnswer(TModalResult AAnswer) {
    FAnswers.enqueue(AAnswer);
}

void ScriptedDialogService::AddInput(std::optional<QString> AValue) {
    FInputs.enqueue(std::move(AValue));
}

TModalResult ScriptedDialogService::MessageDlg(const QString& AText, TMsgDlgType AType,
                                               TMsgDlgButtons AButtons, int AHelpContext) {
    Questions.append({AText, AType, AButtons, AHelpContext});
    if (FAnswers.isEmpty())
        throw EQVException(QStringLiteral("Unscripted message dialog: %1").arg(AText));
    return FAnswers.dequeue();
}

bool ScriptedDialogService::InputQuery(const QString& ACaption, const QString& APrompt, QString& AValue) {
    Queries.append({ACaption, APrompt, AValue});
    if (FInputs.isEmpty())
        throw EQVException(QStringLiteral("Unscripted input query: %1").arg(APrompt));
    const std::optional<QString> input = FInputs.dequeue();
    if (!input)
        return false;
    AValue = *input;
    return true;
}

void ScriptedDialogService::AddModal(ModalScript AScript) {
    FModals.enqueue(std::move(AScript));
}

void ScriptedDialogService::AddFileName(std::optional<QString> AFileName) {
    FFileNames.enqueue(std::move(AFileName));
}

int ScriptedDialogService::PendingCount() const {
    return int(FAnswers.size() + FInputs.size() + FModals.size() + FFileNames.size());
}

int ScriptedDialogService::ExecModal(QDialog& ADialog) {
    Modals.append(ADialog.objectName());
    if (FModals.isEmpty())
        throw EQVException(QStringLiteral("Unscripted modal window: %1").arg(ADialog.objectName()));
    const ModalScript script = FModals.dequeue();
    ADialog.setResult(0);
    ADialog.show();
    script(ADialog);
    if (ADialog.isVisible()) {
        ADialog.reject();
        throw EQVException(
            QStringLiteral("The script left the modal window %1 open").arg(ADialog.objectName()));
    }
    return ADialog.result();
}

bool ScriptedDialogService::AnswerFileDialog(bool ASave, const TFileDialogOptions& AOptions,
                                             QString& AFileName) {
    FileDialogs.append({ASave, AOptions});
    if (FFileNames.isEmpty())
        throw EQVException(QStringLiteral("Unscripted file dialog: %1").arg(AOptions.Caption));
    const std::optional<QString> name = FFileNames.dequeue();
    if (!name)
        return false;
    AFileName = *name;
    return true;
}

bool ScriptedDialogService::OpenFileDialog(const TFileDialogOptions& AOptions, QString& AFileName) {
    return AnswerFileDialog(false, AOptions, AFileName);
}

bool ScriptedDialogService::SaveFileDialog(const TFileDialogOptions& AOptions, QString& AFileName) {
    return AnswerFileDialog(true, AOptions, AFileName);
}

RecordingExceptionDisplay::RecordingExceptionDisplay() : FPrevious(TVRNExceptionUtils::Installed()) {
    TVRNExceptionUtils::SetCurrent(this);
}
RecordingExceptionDisplay::~RecordingExceptionDisplay() {
    TVRNExceptionUtils::SetCurrent(FPrevious);
}

void RecordingExceptionDisplay::ShowException(const ShownException& AException) {
    QMutexLocker locker(&FLock);
    FRecords.append({AException, QThread::currentThread()});
}

QList<RecordingExceptionDisplay::Shown> RecordingExceptionDisplay::Records() const {
    QMutexLocker locker(&FLock);
    return FRecords;
}

RecordingUrlOpener::RecordingUrlOpener() : FPrevious(DesktopUrlOpener::Installed()) {
    DesktopUrlOpener::SetCurrent(this);
}
RecordingUrlOpener::~RecordingUrlOpener() {
    DesktopUrlOpener::SetCurrent(FPrevious);
}

RecordingFileOpener::RecordingFileOpener() : FPrevious(DesktopFileOpener::Installed()) {
    DesktopFileOpener::SetCurrent(this);
}
RecordingFileOpener::~RecordingFileOpener() {
    DesktopFileOpener::SetCurrent(FPrevious);
}

RecordingMessageSink::RecordingMessageSink() {
    MessageSink::SetCurrent(this);
}
RecordingMessageSink::~RecordingMessageSink() {
    MessageSink::SetCurrent(nullptr);
}

void RecordingMessageSink::AddMessage(const QString& AText, MessageKind AKind) {
    QMutexLocker locker(&FLock);
    FMessages.append({AText, AKind, QString()});
}

void RecordingMessageSink::AddCaptionedMessage(const QString& ACaption, const QString& AText,
                                               MessageKind AKind) {
    QMutexLocker locker(&FLock);
    FMessages.append({AText, AKind, ACaption});
}

QList<RecordingMessageSink::Message> RecordingMessageSink::Messages() const {
    QMutexLocker locker(&FLock);
    return FMessages;
}

RecordingScreen::RecordingScreen() {
    hostapi::TQVMainInterface::SetScreen(this);
}

RecordingScreen::~RecordingScreen() {
    hostapi::TQVMainInterface::SetScreen(nullptr);
}

hostapi::TPluginForm* RecordingScreen::OpenPluginForm(const QString& APluginGUID, int AFormIndex,
                                                      const QVariant& AParams) {
    Opened.append(QStringLiteral("%1 %2 %3")
                      .arg(APluginGUID)
                      .arg(AFormIndex)
                      .arg(AParams.isValid() ? AParams.toString() : QStringLiteral("-")));
    return nullptr;
}

} // namespace testsupport
