#include "HostDoubles.h"

#include "QVException.h"

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

} // namespace testsupport
