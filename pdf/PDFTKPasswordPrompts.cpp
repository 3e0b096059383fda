#include "PDFTKPasswordPrompts.h"

namespace emailmarketing {

namespace {

const QByteArray PromptStart = QByteArrayLiteral("Please enter the ");
const QByteArray PromptKindEnd = QByteArrayLiteral(" password");

} // namespace

TPDFTKPasswordPrompts::TPDFTKPasswordPrompts(const QString& AInputPassword, const QString& AOwnerPassword,
                                             const QString& AUserPassword) {
    const auto add = [this](const char* AKind, const QString& APassword) {
        if (!APassword.isEmpty())
            FPrompts.append(Prompt{QByteArray(AKind), APassword});
    };
    add("open", AInputPassword);
    add("owner", AOwnerPassword);
    add("user", AUserPassword);
}

bool TPDFTKPasswordPrompts::ExpectsPrompts() const {
    return !FPrompts.isEmpty();
}

QByteArray TPDFTKPasswordPrompts::Answer(const QByteArray& AOutput, bool& ACloseInput) {
    ACloseInput = false;
    QByteArray answers;
    while (true) {
        const qsizetype start = AOutput.indexOf(PromptStart, FScanned);
        if (start < 0)
            break;
        const qsizetype kindStart = start + PromptStart.size();
        const qsizetype kindEnd = AOutput.indexOf(PromptKindEnd, kindStart);
        const qsizetype lineEnd = AOutput.indexOf('\n', kindStart);
        if (kindEnd < 0 && lineEnd < 0)
            break; // the prompt's first line has not arrived completely
        FScanned = kindStart;
        // Only a prompt at the start of a line counts.
        if (start > 0 && AOutput.at(start - 1) != '\n')
            continue;
        if (kindEnd < 0 || (lineEnd >= 0 && lineEnd < kindEnd)) {
            ACloseInput = true;
            continue;
        }
        const QByteArray kind = AOutput.mid(kindStart, kindEnd - kindStart);
        Prompt* prompt = nullptr;
        for (Prompt& candidate : FPrompts)
            if (candidate.Kind == kind)
                prompt = &candidate;
        if (prompt == nullptr || prompt->Answered) {
            ACloseInput = true;
            continue;
        }
        prompt->Answered = true;
        answers += prompt->Password.toUtf8() + '\n';
    }
    bool allAnswered = true;
    for (const Prompt& prompt : FPrompts)
        allAnswered = allAnswered && prompt.Answered;
    if (allAnswered)
        ACloseInput = true;
    return answers;
}

} // namespace emailmarketing
