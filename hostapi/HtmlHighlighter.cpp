#include "HtmlHighlighter.h"

#include <QRegularExpression>

namespace hostapi {

namespace {

bool IsNameChar(QChar AChar) {
    return AChar.isLetterOrNumber() || AChar == QLatin1Char('-') || AChar == QLatin1Char('_') ||
           AChar == QLatin1Char(':') || AChar == QLatin1Char('.');
}

// Length of the character reference at AStart ("&amp;", "&#169;", "&#xA9;"), 0 when there is none.
int EntityLength(const QString& ALine, int AStart) {
    static const QRegularExpression entity(
        QStringLiteral("&(#[0-9]+|#[xX][0-9A-Fa-f]+|[A-Za-z][A-Za-z0-9]*);"));
    const QRegularExpressionMatch match = entity.match(ALine, AStart, QRegularExpression::NormalMatch,
                                                       QRegularExpression::AnchorAtOffsetMatchOption);
    return match.hasMatch() ? int(match.capturedLength()) : 0;
}

} // namespace

HtmlHighlighter::HtmlHighlighter(QTextDocument* ADocument) : QSyntaxHighlighter(ADocument) {}

QList<HtmlHighlighter::Token> HtmlHighlighter::Tokenize(const QString& ALine, State AState,
                                                        State& AEndState) {
    QList<Token> tokens;
    const int n = int(ALine.size());
    State state = AState;
    bool afterEquals = false; // inside a tag: the next word is an unquoted value
    int i = 0;
    auto add = [&tokens](int AStart, int AEnd, Kind AKind) {
        if (AEnd > AStart)
            tokens.append(Token{AStart, AEnd - AStart, AKind});
    };
    auto endOfComment = [&](int AFrom) {
        const qsizetype end = ALine.indexOf(QLatin1String("-->"), AFrom);
        if (end < 0) {
            add(i, n, Kind::Comment);
            i = n;
            return;
        }
        add(i, int(end) + 3, Kind::Comment);
        i = int(end) + 3;
        state = InText;
    };
    auto endOfQuoted = [&](QChar AQuote, int AFrom) {
        const qsizetype end = ALine.indexOf(AQuote, AFrom);
        if (end < 0) {
            add(i, n, Kind::String);
            i = n;
            return;
        }
        add(i, int(end) + 1, Kind::String);
        i = int(end) + 1;
        state = InTag;
    };
    while (i < n) {
        const QChar c = ALine.at(i);
        switch (state) {
        case InComment:
            endOfComment(i);
            break;
        case InDoubleQuoted:
            endOfQuoted(QLatin1Char('"'), i);
            break;
        case InSingleQuoted:
            endOfQuoted(QLatin1Char('\''), i);
            break;
        case InTag:
            if (c.isSpace()) {
                ++i;
            } else if (c == QLatin1Char('>')) {
                add(i, i + 1, Kind::Tag);
                ++i;
                state = InText;
            } else if (c == QLatin1Char('/') && i + 1 < n && ALine.at(i + 1) == QLatin1Char('>')) {
                add(i, i + 2, Kind::Tag);
                i += 2;
                state = InText;
            } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                state = c == QLatin1Char('"') ? InDoubleQuoted : InSingleQuoted;
                afterEquals = false;
                endOfQuoted(c, i + 1);
            } else if (c == QLatin1Char('=')) {
                afterEquals = true;
                ++i;
            } else {
                const int start = i;
                while (i < n && !ALine.at(i).isSpace() && ALine.at(i) != QLatin1Char('>') &&
                       ALine.at(i) != QLatin1Char('=') &&
                       (afterEquals || (ALine.at(i) != QLatin1Char('/') && IsNameChar(ALine.at(i)))))
                    ++i;
                if (i == start) {
                    ++i; // a stray character inside the tag
                } else {
                    add(start, i, afterEquals ? Kind::String : Kind::Attribute);
                }
                afterEquals = false;
            }
            break;
        case InText:
            if (c == QLatin1Char('&')) {
                const int length = EntityLength(ALine, i);
                add(i, i + length, Kind::Entity);
                i += std::max(length, 1);
            } else if (c == QLatin1Char('<') &&
                       QStringView(ALine).sliced(i).startsWith(QLatin1String("<!--"))) {
                state = InComment;
                endOfComment(i + 4);
            } else if (c == QLatin1Char('<') && i + 1 < n &&
                       (ALine.at(i + 1).isLetter() || ALine.at(i + 1) == QLatin1Char('/') ||
                        ALine.at(i + 1) == QLatin1Char('!') || ALine.at(i + 1) == QLatin1Char('?'))) {
                const int start = i;
                i += 2;
                while (i < n && IsNameChar(ALine.at(i)))
                    ++i;
                add(start, i, Kind::Tag);
                state = InTag;
                afterEquals = false;
            } else {
                ++i;
            }
            break;
        }
    }
    AEndState = state;
    return tokens;
}

QTextCharFormat HtmlHighlighter::FormatOf(Kind AKind) {
    QTextCharFormat format;
    switch (AKind) {
    case Kind::Tag:
        format.setForeground(QColor(0x00, 0x00, 0x80));
        format.setFontWeight(QFont::Bold);
        break;
    case Kind::Attribute:
        format.setForeground(QColor(0xA0, 0x00, 0x00));
        break;
    case Kind::String:
        format.setForeground(QColor(0x00, 0x00, 0xFF));
        break;
    case Kind::Comment:
        format.setForeground(QColor(0x00, 0x80, 0x00));
        format.setFontItalic(true);
        break;
    case Kind::Entity:
        format.setForeground(QColor(0x80, 0x00, 0x80));
        break;
    }
    return format;
}

void HtmlHighlighter::highlightBlock(const QString& AText) {
    const int previous = previousBlockState();
    const State start = previous >= InText && previous <= InSingleQuoted ? State(previous) : InText;
    State end = InText;
    for (const Token& token : Tokenize(AText, start, end))
        setFormat(token.Start, token.Length, FormatOf(token.TokenKind));
    setCurrentBlockState(end);
}

} // namespace hostapi
