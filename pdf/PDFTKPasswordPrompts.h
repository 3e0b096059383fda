#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace emailmarketing {

// Answers pdftk's password prompts. Passwords never go on pdftk's command line (every local user
// can read it); pdftk takes the keyword PROMPT instead, prints "Please enter the open|owner|user
// password ..." on standard output and reads one line from standard input. pdftk reads each answer
// with a fresh reader, so an answer is written only once its prompt has appeared.
class TPDFTKPasswordPrompts {
public:
    // Empty passwords are not prompted for.
    TPDFTKPasswordPrompts(const QString& AInputPassword, const QString& AOwnerPassword,
                          const QString& AUserPassword);

    // True when pdftk will ask for at least one password.
    bool ExpectsPrompts() const;

    // Given all standard output so far: the answers (UTF-8 lines) to the prompts that appeared
    // since the last call. ACloseInput is set once nothing more will be written: every expected
    // prompt is answered, or a prompt came that cannot be answered (not expected, or asked again),
    // which pdftk then fails on instead of waiting.
    QByteArray Answer(const QByteArray& AOutput, bool& ACloseInput);

private:
    struct Prompt {
        QByteArray Kind; // "open", "owner" or "user"
        QString Password;
        bool Answered = false;
    };

    QList<Prompt> FPrompts;
    qsizetype FScanned = 0;
};

} // namespace emailmarketing
