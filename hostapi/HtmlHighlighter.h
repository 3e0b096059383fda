#pragma once

#include "HostApiExport.h"

#include <QList>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace hostapi {

// Syntax colours of HTML source: tags (with their brackets), attribute names, attribute values,
// comments and character references. Comments, tags and quoted values may run over several lines.
class HOSTAPI_EXPORT HtmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    enum class Kind { Tag, Attribute, String, Comment, Entity };
    // Where a line ends: in text, a comment, a tag, or a quoted value of a tag.
    enum State : int { InText = 0, InComment = 1, InTag = 2, InDoubleQuoted = 3, InSingleQuoted = 4 };

    struct Token {
        int Start = 0;
        int Length = 0;
        Kind TokenKind = Kind::Tag;
        bool operator==(const Token&) const = default;
    };

    explicit HtmlHighlighter(QTextDocument* ADocument);

    // The tokens of one line that starts in AState, in order; AEndState receives the state after it.
    static QList<Token> Tokenize(const QString& ALine, State AState, State& AEndState);
    static QTextCharFormat FormatOf(Kind AKind);

protected:
    void highlightBlock(const QString& AText) override;
};

} // namespace hostapi
