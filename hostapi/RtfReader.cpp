#include "RtfReader.h"

#include "HostApiLog.h"
#include "QVException.h"
#include "Windows1252Codec.h"

#include <QBuffer>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextBlock>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace hostapi {

namespace {

// Twips per pixel at 96 dpi.
constexpr double kTwipsPerPixel = 15.0;
// Largest placeholder picture side, in pixels.
constexpr int kMaxPlaceholderSide = 1024;

enum class Destination { Text, Skip, FontTable, ColorTable, Picture, FieldInstruction };

enum class PictureKind { None, Png, Jpeg, Other };

struct CharState {
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    int Font = -1;
    int HalfPoints = -1;
    int Foreground = 0;
    int Background = 0;
    QString Href;

    bool operator==(const CharState&) const = default;
};

struct ParaState {
    Qt::Alignment Align = Qt::AlignLeft;
    int LeftTwips = 0;
    int RightTwips = 0;
    int FirstTwips = 0;
    bool InTable = false;
};

struct GroupState {
    Destination Dest = Destination::Text;
    CharState Char;
    ParaState Para;
    int UnicodeSkip = 1;
    int FieldDepth = 0;
};

struct Field {
    int Depth = 0; // group depth of the "\field" group
    QString Instruction;
};

struct Picture {
    int Depth = -1;
    PictureKind Kind = PictureKind::None;
    QByteArray Data;
    int Nibble = -1;
    int Width = 0, Height = 0, GoalWidth = 0, GoalHeight = 0;
    int ScaleX = 100, ScaleY = 100;
};

// Destinations whose text is not document text (read or not, it never shows).
bool IsSkippedDestination(QStringView AWord) {
    static const char* const kSkipped[] = {
        "author",
        "buptim",
        "category",
        "colorschememapping",
        "comment",
        "company",
        "creatim",
        "datastore",
        "docvar",
        "doccomm",
        "filetbl",
        "footer",
        "footerf",
        "footerl",
        "footerr",
        "footnote",
        "ftncn",
        "ftnsep",
        "ftnsepc",
        "generator",
        "header",
        "headerf",
        "headerl",
        "headerr",
        "hlinkbase",
        "info",
        "keywords",
        "latentstyles",
        "listoverridetable",
        "listtable",
        "manager",
        "nonshppict",
        "object",
        "operator",
        "pgdsctbl",
        "pn",
        "pntxta",
        "pntxtb",
        "printim",
        "private",
        "revtbl",
        "revtim",
        "rsidtbl",
        "stylesheet",
        "subject",
        "template",
        "themedata",
        "title",
        "txe",
        "userprops",
        "xe",
        "xmlnstbl",
        "tc",
        "annotation",
        "atnid",
        "atnauthor",
        "mmathPr",
        "passwordhash",
        "fldtype",
        "bkmkstart",
        "bkmkend",
        "blipuid",
        "picprop",
        "wgrffmtfilter",
        "aftncn",
        "aftnsep",
        "aftnsepc",
        "atrfstart",
        "atrfend",
        "falt",
        "panose",
        "fontemb",
        "fontfile",
        
        "pgptbl",
        "protusertbl",
        "shpinst",
        "sp",
        "defchp",
        "defpap",
        "ud",
    };
    for (const char* word : kSkipped) {
        if (AWord == QLatin1StringView(word))
            return true;
    }
    return false;
}

// The character a control word stands for, or 0.
char16_t SymbolOf(QStringView AWord) {
    struct Symbol {
        const char* Word;
        char16_t Char;
    };
    static const Symbol kSymbols[] = {
        {"emdash", 0x2014},    {"endash", 0x2013},    {"lquote", 0x2018}, {"rquote", 0x2019},
        {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"bullet", 0x2022}, {"emspace", 0x2003},
        {"enspace", 0x2002},   {"qmspace", 0x2005},   {"tab", u'\t'},     {"line", 0x2028},
        {"nestcell", u'\t'},   {"zwj", 0x200D},       {"zwnj", 0x200C},   {"ltrmark", 0x200E},
        {"rtlmark", 0x200F},
    };
    for (const auto& symbol : kSymbols) {
        if (AWord == QLatin1StringView(symbol.Word))
            return symbol.Char;
    }
    return 0;
}

int HexDigit(QChar AChar) {
    const char16_t u = AChar.unicode();
    return u >= '0' && u <= '9'   ? u - '0'
           : u >= 'a' && u <= 'f' ? u - 'a' + 10
           : u >= 'A' && u <= 'F' ? u - 'A' + 10
                                  : -1;
}

// The link target of a HYPERLINK field instruction, or an empty string.
QString HyperlinkTarget(const QString& AInstruction) {
    const QString instruction = AInstruction.trimmed();
    if (!instruction.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive))
        return {};
    QString url, anchor;
    bool nextIsAnchor = false;
    qsizetype i = 9;
    while (i < instruction.size()) {
        const QChar c = instruction.at(i);
        if (c.isSpace()) {
            ++i;
            continue;
        }
        QString token;
        if (c == QLatin1Char('"')) {
            const qsizetype end = instruction.indexOf(QLatin1Char('"'), i + 1);
            token = instruction.mid(i + 1, end < 0 ? -1 : end - i - 1);
            i = end < 0 ? instruction.size() : end + 1;
        } else {
            qsizetype end = i;
            while (end < instruction.size() && !instruction.at(end).isSpace())
                ++end;
            token = instruction.mid(i, end - i);
            i = end;
            if (token.startsWith(QLatin1Char('\\'))) {
                nextIsAnchor = token.compare(QLatin1String("\\l"), Qt::CaseInsensitive) == 0;
                continue;
            }
        }
        if (nextIsAnchor) {
            anchor = token;
            nextIsAnchor = false;
        } else if (url.isEmpty()) {
            url = token;
        }
    }
    if (!anchor.isEmpty())
        url += QLatin1Char('#') + anchor;
    return url;
}

class Parser {
public:
    Parser(const QString& AText, bool AByteInput, QTextDocument& ADocument)
        : FText(AText), FByteInput(AByteInput), FDocument(ADocument), FCursor(&ADocument) {}

    void Run();

private:
    GroupState& State() { return FStack.back(); }
    int Depth() const { return int(FStack.size()); }

    void OpenGroup();
    void CloseGroup();
    void ControlWord(QStringView AWord, bool AHasParam, int AParam);
    void ControlSymbol(QChar ASymbol);
    void Text(QChar AChar);
    void Bytes(const QByteArray& ABytes);
    void Binary(qsizetype ALength);
    bool SkipFallback();

    void AppendText(const QString& AText);
    void Flush();
    QTextCharFormat CharFormat(const CharState& AState) const;
    QTextBlockFormat BlockFormat(const ParaState& AState) const;
    void EnsureTableContext();
    void LeaveTable();
    void EndParagraph();
    void EndCell();
    void FinishPicture();
    void InsertImage(const QByteArray& ABytes, const QString& AExtension, int AWidth, int AHeight);
    QColor ColorAt(int AIndex) const;

    const QString& FText;
    const bool FByteInput;
    QTextDocument& FDocument;
    QTextCursor FCursor;
    qsizetype FPos = 0;

    std::vector<GroupState> FStack;
    bool FIgnorableNext = false;
    int FSkipFallback = 0;

    QHash<int, QString> FFonts;
    int FFontNumber = 0;
    QString FFontName;
    std::vector<QColor> FColors;
    QColor FColorEntry;
    bool FColorEntryHasValue = false;
    bool FCodePageLogged = false;

    std::vector<Field> FFields;
    Picture FPicture;
    int FImageCount = 0;

    QString FPending;
    CharState FPendingState;

    ParaState FFinalPara;
    QTextTable* FTable = nullptr;
    int FRow = 0;
    int FCol = 0;
    int FCellDefinitions = 0;
    bool FRowEnded = false;
    bool FCellPositioned = false;
};

void Parser::Run() {
    qsizetype start = 0;
    while (start < FText.size() && FText.at(start).isSpace())
        ++start;
    if (!QStringView(FText).mid(start).startsWith(QLatin1String("{\\rtf")))
        throw EQVException(QStringLiteral("The text is not rich text: it does not begin with \"{\\rtf\"."));
    FPos = start;
    FDocument.clear();
    FCursor = QTextCursor(&FDocument);

    while (FPos < FText.size()) {
        const QChar c = FText.at(FPos);
        if (c == QLatin1Char('{')) {
            ++FPos;
            OpenGroup();
        } else if (c == QLatin1Char('}')) {
            ++FPos;
            CloseGroup();
            if (FStack.empty())
                break;
        } else if (c == QLatin1Char('\\')) {
            ++FPos;
            if (FPos >= FText.size())
                break;
            const QChar next = FText.at(FPos);
            if (next.unicode() < 128 && next.isLetter()) {
                const qsizetype wordStart = FPos;
                while (FPos < FText.size() && FText.at(FPos).unicode() < 128 && FText.at(FPos).isLetter() &&
                       FPos - wordStart < 32)
                    ++FPos;
                const QStringView word = QStringView(FText).mid(wordStart, FPos - wordStart);
                bool negative = false, hasParam = false;
                qint64 param = 0;
                if (FPos < FText.size() && FText.at(FPos) == QLatin1Char('-')) {
                    negative = true;
                    ++FPos;
                }
                int digits = 0;
                while (FPos < FText.size() && FText.at(FPos).unicode() >= '0' &&
                       FText.at(FPos).unicode() <= '9') {
                    if (digits < 10)
                        param = param * 10 + (FText.at(FPos).unicode() - '0');
                    ++digits;
                    ++FPos;
                    hasParam = true;
                }
                if (FPos < FText.size() && FText.at(FPos) == QLatin1Char(' '))
                    ++FPos;
                param = std::clamp<qint64>(negative ? -param : param, -2147483647, 2147483647);
                if (FStack.empty())
                    continue;
                ControlWord(word, hasParam, int(param));
            } else if (next == QLatin1Char('\'')) {
                ++FPos;
                QByteArray bytes;
                while (FPos + 1 < FText.size()) {
                    const int high = HexDigit(FText.at(FPos));
                    const int low = HexDigit(FText.at(FPos + 1));
                    if (high < 0 || low < 0)
                        break;
                    FPos += 2;
                    bytes.append(char(high * 16 + low));
                    // Runs of "\'hh" decode together.
                    if (!QStringView(FText).mid(FPos).startsWith(QLatin1String("\\'")))
                        break;
                    FPos += 2;
                }
                if (!FStack.empty())
                    Bytes(bytes);
            } else {
                ++FPos;
                if (!FStack.empty())
                    ControlSymbol(next);
            }
        } else {
            ++FPos;
            if (!FStack.empty())
                Text(c);
        }
    }
    if (!FStack.empty())
        FFinalPara = State().Para;
    Flush();
    if (!FFinalPara.InTable)
        LeaveTable();
    FCursor.setBlockFormat(BlockFormat(FFinalPara));
}

void Parser::OpenGroup() {
    FSkipFallback = 0;
    if (Depth() >= RtfReader::MaxGroupDepth)
        throw EQVException(QStringLiteral("The rich text nests its groups deeper than %1 levels.")
                               .arg(RtfReader::MaxGroupDepth));
    if (FStack.empty())
        FStack.emplace_back();
    else
        FStack.push_back(FStack.back());
    FIgnorableNext = false;
}

void Parser::CloseGroup() {
    FSkipFallback = 0;
    if (FStack.empty())
        return;
    const GroupState closed = FStack.back();
    if (FStack.size() == 1) {
        Flush();
        FFinalPara = closed.Para;
    }
    if (closed.Dest == Destination::FontTable && !FFontName.trimmed().isEmpty()) {
        FFonts.insert(FFontNumber, FFontName.trimmed());
        FFontName.clear();
    }
    if (FPicture.Depth == Depth()) {
        FStack.pop_back();
        FinishPicture();
        return;
    }
    if (!FFields.empty() && FFields.back().Depth == Depth())
        FFields.pop_back();
    FStack.pop_back();
}

QColor Parser::ColorAt(int AIndex) const {
    if (AIndex <= 0 || AIndex >= int(FColors.size()))
        return {};
    return FColors[size_t(AIndex)];
}

bool Parser::SkipFallback() {
    if (FSkipFallback <= 0)
        return false;
    --FSkipFallback;
    return true;
}

void Parser::ControlWord(QStringView AWord, bool AHasParam, int AParam) {
    const bool ignorable = FIgnorableNext;
    FIgnorableNext = false;
    GroupState& state = State();
    const Destination dest = state.Dest;

    if (AWord == QLatin1String("bin")) {
        Binary(AHasParam ? AParam : 0);
        return;
    }
    if (dest == Destination::Skip)
        return;
    if (SkipFallback())
        return;

    // Destinations.
    if (AWord == QLatin1String("fonttbl")) {
        state.Dest = Destination::FontTable;
        return;
    }
    if (AWord == QLatin1String("colortbl")) {
        state.Dest = Destination::ColorTable;
        FColors.clear();
        FColorEntry = QColor(0, 0, 0);
        FColorEntryHasValue = false;
        return;
    }
    if (AWord == QLatin1String("pict")) {
        if (dest != Destination::Text || FPicture.Depth >= 0) {
            state.Dest = Destination::Skip;
            return;
        }
        Flush();
        state.Dest = Destination::Picture;
        FPicture = Picture();
        FPicture.Depth = Depth();
        return;
    }
    if (AWord == QLatin1String("shppict"))
        return; // its \pict is the picture; "\nonshppict" holds the fallback and is skipped
    if (AWord == QLatin1String("field")) {
        if (dest == Destination::Text) {
            Flush();
            FFields.push_back(Field{Depth(), QString()});
            state.FieldDepth = int(FFields.size());
        }
        return;
    }
    if (AWord == QLatin1String("fldinst")) {
        state.Dest = state.FieldDepth > 0 && dest == Destination::Text ? Destination::FieldInstruction
                                                                       : Destination::Skip;
        return;
    }
    if (AWord == QLatin1String("fldrslt")) {
        if (state.FieldDepth > 0 && size_t(state.FieldDepth) <= FFields.size()) {
            const QString href = HyperlinkTarget(FFields[size_t(state.FieldDepth - 1)].Instruction);
            if (!href.isEmpty())
                state.Char.Href = href;
        }
        return;
    }
    if (IsSkippedDestination(AWord) || ignorable) {
        state.Dest = Destination::Skip;
        return;
    }

    if (dest == Destination::FontTable) {
        if (AWord == QLatin1String("f"))
            FFontNumber = AParam;
        return;
    }
    if (dest == Destination::ColorTable) {
        const int value = std::clamp(AParam, 0, 255);
        if (AWord == QLatin1String("red"))
            FColorEntry.setRed(value);
        else if (AWord == QLatin1String("green"))
            FColorEntry.setGreen(value);
        else if (AWord == QLatin1String("blue"))
            FColorEntry.setBlue(value);
        else
            return;
        FColorEntryHasValue = true;
        return;
    }
    if (dest == Destination::Picture) {
        if (AWord == QLatin1String("pngblip"))
            FPicture.Kind = PictureKind::Png;
        else if (AWord == QLatin1String("jpegblip"))
            FPicture.Kind = PictureKind::Jpeg;
        else if (AWord == QLatin1String("emfblip") || AWord == QLatin1String("wmetafile") ||
                 AWord == QLatin1String("macpict") || AWord == QLatin1String("dibitmap") ||
                 AWord == QLatin1String("wbitmap") || AWord == QLatin1String("pmmetafile"))
            FPicture.Kind = FPicture.Kind == PictureKind::None ? PictureKind::Other : FPicture.Kind;
        else if (AWord == QLatin1String("picw"))
            FPicture.Width = AParam;
        else if (AWord == QLatin1String("pich"))
            FPicture.Height = AParam;
        else if (AWord == QLatin1String("picwgoal"))
            FPicture.GoalWidth = AParam;
        else if (AWord == QLatin1String("pichgoal"))
            FPicture.GoalHeight = AParam;
        else if (AWord == QLatin1String("picscalex"))
            FPicture.ScaleX = AParam;
        else if (AWord == QLatin1String("picscaley"))
            FPicture.ScaleY = AParam;
        return;
    }

    // Document properties.
    if (AWord == QLatin1String("ansicpg")) {
        if (AParam != 1252 && !FCodePageLogged) {
            qCInfo(lcHostApi, "Rich text of code page %d is read as Windows-1252", AParam);
            FCodePageLogged = true;
        }
        return;
    }
    if (AWord == QLatin1String("uc")) {
        state.UnicodeSkip = std::clamp(AParam, 0, 16);
        return;
    }
    if (AWord == QLatin1String("u")) {
        int code = AParam;
        if (code < 0)
            code += 65536;
        if (code > 0 && code <= 0xFFFF)
            AppendText(QString(QChar(char16_t(code))));
        FSkipFallback = state.UnicodeSkip;
        return;
    }

    // Character formatting.
    CharState& chr = state.Char;
    const bool on = !AHasParam || AParam != 0;
    if (AWord == QLatin1String("plain")) {
        const QString href = chr.Href;
        chr = CharState();
        chr.Href = href;
    } else if (AWord == QLatin1String("b")) {
        chr.Bold = on;
    } else if (AWord == QLatin1String("i")) {
        chr.Italic = on;
    } else if (AWord == QLatin1String("ul") || AWord == QLatin1String("uld") ||
               AWord == QLatin1String("uldb") || AWord == QLatin1String("ulw") ||
               AWord == QLatin1String("uldash") || AWord == QLatin1String("ulth") ||
               AWord == QLatin1String("ulwave")) {
        chr.Underline = on;
    } else if (AWord == QLatin1String("ulnone")) {
        chr.Underline = false;
    } else if (AWord == QLatin1String("strike") || AWord == QLatin1String("striked")) {
        chr.Strike = on;
    } else if (AWord == QLatin1String("f")) {
        chr.Font = AParam;
    } else if (AWord == QLatin1String("fs")) {
        chr.HalfPoints = AHasParam && AParam > 0 && AParam <= 3276 ? AParam : 24;
    } else if (AWord == QLatin1String("cf")) {
        chr.Foreground = AParam;
    } else if (AWord == QLatin1String("highlight") || AWord == QLatin1String("cb") ||
               AWord == QLatin1String("chcbpat")) {
        chr.Background = AParam;
    }
    // Paragraph formatting.
    else if (AWord == QLatin1String("pard")) {
        state.Para = ParaState();
    } else if (AWord == QLatin1String("ql")) {
        state.Para.Align = Qt::AlignLeft;
    } else if (AWord == QLatin1String("qc")) {
        state.Para.Align = Qt::AlignHCenter;
    } else if (AWord == QLatin1String("qr")) {
        state.Para.Align = Qt::AlignRight;
    } else if (AWord == QLatin1String("qj")) {
        state.Para.Align = Qt::AlignJustify;
    } else if (AWord == QLatin1String("li")) {
        state.Para.LeftTwips = AParam;
    } else if (AWord == QLatin1String("ri")) {
        state.Para.RightTwips = AParam;
    } else if (AWord == QLatin1String("fi")) {
        state.Para.FirstTwips = AParam;
    } else if (AWord == QLatin1String("intbl")) {
        state.Para.InTable = true;
    } else if (AWord == QLatin1String("par") || AWord == QLatin1String("sect") ||
               AWord == QLatin1String("page")) {
        if (dest == Destination::Text)
            EndParagraph();
    } else if (AWord == QLatin1String("cell")) {
        if (dest == Destination::Text)
            EndCell();
    } else if (AWord == QLatin1String("row")) {
        if (dest == Destination::Text && FTable != nullptr) {
            Flush();
            FRowEnded = true;
        }
    } else if (AWord == QLatin1String("trowd")) {
        FCellDefinitions = 0;
    } else if (AWord == QLatin1String("cellx")) {
        ++FCellDefinitions;
    } else if (AWord == QLatin1String("nestrow")) {
        AppendText(QString(QChar(0x2028)));
    } else if (const char16_t symbol = SymbolOf(AWord)) {
        AppendText(QString(QChar(symbol)));
    }
}

void Parser::ControlSymbol(QChar ASymbol) {
    if (ASymbol == QLatin1Char('*')) {
        FIgnorableNext = true;
        return;
    }
    if (State().Dest == Destination::Skip)
        return;
    if (SkipFallback())
        return;
    switch (ASymbol.unicode()) {
    case '\\':
    case '{':
    case '}':
        AppendText(QString(ASymbol));
        break;
    case '~':
        AppendText(QString(QChar(0x00A0)));
        break;
    case '-':
        AppendText(QString(QChar(0x00AD)));
        break;
    case '_':
        AppendText(QString(QChar(0x2011)));
        break;
    case '\r':
    case '\n':
        if (State().Dest == Destination::Text)
            EndParagraph();
        break;
    case '\t':
        AppendText(QStringLiteral("\t"));
        break;
    default:
        break;
    }
}

void Parser::Text(QChar AChar) {
    const Destination dest = State().Dest;
    if (dest == Destination::Skip)
        return;
    if (AChar == QLatin1Char('\r') || AChar == QLatin1Char('\n'))
        return;
    if (dest == Destination::Picture) {
        const int nibble = HexDigit(AChar);
        if (nibble < 0)
            return;
        if (FPicture.Nibble < 0) {
            FPicture.Nibble = nibble;
            return;
        }
        if (FPicture.Data.size() >= RtfReader::MaxBinaryBytes)
            throw EQVException(QStringLiteral("A picture of the rich text is larger than %1 bytes.")
                                   .arg(RtfReader::MaxBinaryBytes));
        FPicture.Data.append(char(FPicture.Nibble * 16 + nibble));
        FPicture.Nibble = -1;
        return;
    }
    if (SkipFallback())
        return;
    if (FByteInput && AChar.unicode() >= 0x80 && AChar.unicode() <= 0xFF) {
        Bytes(QByteArray(1, char(AChar.unicode())));
        return;
    }
    if (dest == Destination::ColorTable) {
        if (AChar == QLatin1Char(';')) {
            FColors.push_back(FColorEntryHasValue ? FColorEntry : QColor());
            FColorEntry = QColor(0, 0, 0);
            FColorEntryHasValue = false;
        }
        return;
    }
    if (AChar.unicode() < 0x20 && AChar != QLatin1Char('\t'))
        return;
    AppendText(QString(AChar));
}

void Parser::Bytes(const QByteArray& ABytes) {
    if (State().Dest == Destination::Skip)
        return;
    QString text = Windows1252Codec::Decode(ABytes);
    // Fallback characters of a "\u" are bytes too.
    while (!text.isEmpty() && FSkipFallback > 0) {
        text.remove(0, 1);
        --FSkipFallback;
    }
    if (!text.isEmpty())
        AppendText(text);
}

void Parser::Binary(qsizetype ALength) {
    if (ALength < 0 || ALength > RtfReader::MaxBinaryBytes)
        throw EQVException(QStringLiteral("The rich text holds binary data of %1 bytes, more than %2.")
                               .arg(ALength)
                               .arg(RtfReader::MaxBinaryBytes));
    if (ALength > FText.size() - FPos)
        throw EQVException(QStringLiteral("The rich text ends inside its binary data."));
    const QStringView data = QStringView(FText).mid(FPos, ALength);
    FPos += ALength;
    if (State().Dest != Destination::Picture)
        return;
    if (FPicture.Data.size() + ALength > RtfReader::MaxBinaryBytes)
        throw EQVException(QStringLiteral("A picture of the rich text is larger than %1 bytes.")
                               .arg(RtfReader::MaxBinaryBytes));
    QByteArray bytes;
    bytes.reserve(ALength);
    for (const QChar c : data) {
        if (c.unicode() > 0xFF)
            throw EQVException(
                QStringLiteral("The binary data of the rich text holds a character, not a byte."));
        bytes.append(char(c.unicode()));
    }
    FPicture.Data += bytes;
}

void Parser::AppendText(const QString& AText) {
    GroupState& state = State();
    if (state.Dest == Destination::FontTable) {
        for (const QChar c : AText) {
            if (c == QLatin1Char(';')) {
                if (!FFontName.trimmed().isEmpty())
                    FFonts.insert(FFontNumber, FFontName.trimmed());
                FFontName.clear();
            } else {
                FFontName += c;
            }
        }
        return;
    }
    if (state.Dest == Destination::FieldInstruction) {
        if (state.FieldDepth > 0 && size_t(state.FieldDepth) <= FFields.size())
            FFields[size_t(state.FieldDepth - 1)].Instruction += AText;
        return;
    }
    if (state.Dest != Destination::Text)
        return;
    if (!(state.Char == FPendingState)) {
        Flush();
        FPendingState = state.Char;
    }
    if (FPending.isEmpty())
        EnsureTableContext();
    FPending += AText;
}

void Parser::Flush() {
    if (FPending.isEmpty())
        return;
    FCursor.insertText(FPending, CharFormat(FPendingState));
    FPending.clear();
}

QTextCharFormat Parser::CharFormat(const CharState& AState) const {
    QTextCharFormat format;
    if (AState.Bold)
        format.setFontWeight(QFont::Bold);
    if (AState.Italic)
        format.setFontItalic(true);
    if (AState.Underline)
        format.setFontUnderline(true);
    if (AState.Strike)
        format.setFontStrikeOut(true);
    if (const auto font = FFonts.constFind(AState.Font); font != FFonts.constEnd())
        format.setFontFamilies(QStringList{*font});
    if (AState.HalfPoints > 0)
        format.setFontPointSize(AState.HalfPoints / 2.0);
    if (const QColor color = ColorAt(AState.Foreground); color.isValid())
        format.setForeground(color);
    if (const QColor color = ColorAt(AState.Background); color.isValid())
        format.setBackground(color);
    if (!AState.Href.isEmpty()) {
        format.setAnchor(true);
        format.setAnchorHref(AState.Href);
    }
    return format;
}

QTextBlockFormat Parser::BlockFormat(const ParaState& AState) const {
    QTextBlockFormat format;
    format.setAlignment(AState.Align);
    if (AState.LeftTwips != 0)
        format.setLeftMargin(AState.LeftTwips / kTwipsPerPixel);
    if (AState.RightTwips != 0)
        format.setRightMargin(AState.RightTwips / kTwipsPerPixel);
    if (AState.FirstTwips != 0)
        format.setTextIndent(AState.FirstTwips / kTwipsPerPixel);
    return format;
}

void Parser::LeaveTable() {
    if (FTable == nullptr)
        return;
    FCursor.setPosition(FTable->lastPosition());
    FCursor.movePosition(QTextCursor::NextBlock);
    FTable = nullptr;
}

// Moves the cursor to where the next content belongs: into the table cell being filled, or out of
// a table once a paragraph outside it begins.
void Parser::EnsureTableContext() {
    if (FStack.empty() || !State().Para.InTable) {
        LeaveTable();
        return;
    }
    if (FTable == nullptr) {
        // The paragraph mark before a table ends the paragraph that the table follows: the table
        // takes the empty paragraph's place.
        const QTextBlock previous = FCursor.block().previous();
        if (FCursor.block().length() == 1 && previous.isValid() &&
            QTextCursor(previous).currentTable() == nullptr &&
            QTextCursor(previous).currentFrame() == FCursor.currentFrame())
            FCursor.deletePreviousChar();
        FTable = FCursor.insertTable(1, std::max(1, std::min(FCellDefinitions, 63)));
        FRow = 0;
        FCol = 0;
        FRowEnded = false;
        FCellPositioned = true;
        return;
    }
    if (FRowEnded) {
        FTable->appendRows(1);
        ++FRow;
        FCol = 0;
        FRowEnded = false;
        FCellPositioned = false;
        if (FCellDefinitions > FTable->columns() && FCellDefinitions <= 63)
            FTable->appendColumns(FCellDefinitions - FTable->columns());
    }
    if (!FCellPositioned) {
        if (FCol >= FTable->columns())
            FTable->appendColumns(FCol - FTable->columns() + 1);
        FCursor = FTable->cellAt(FRow, FCol).firstCursorPosition();
        FCellPositioned = true;
    }
}

void Parser::EndParagraph() {
    Flush();
    EnsureTableContext();
    FCursor.setBlockFormat(BlockFormat(State().Para));
    FCursor.insertBlock();
}

void Parser::EndCell() {
    Flush();
    State().Para.InTable = true;
    EnsureTableContext();
    FCursor.setBlockFormat(BlockFormat(State().Para));
    if (FCol >= 62)
        return; // the widest table this reader builds
    ++FCol;
    FCellPositioned = false;
}

void Parser::FinishPicture() {
    Picture picture = std::move(FPicture);
    FPicture = Picture();
    const auto scaled = [](int AValue, int AScale) {
        return AScale > 0 ? AValue * (AScale / 100.0) : AValue;
    };
    QSize pixels;
    if (picture.Kind == PictureKind::Png || picture.Kind == PictureKind::Jpeg) {
        QBuffer buffer(&picture.Data);
        QImageReader reader(&buffer, picture.Kind == PictureKind::Png ? "png" : "jpeg");
        pixels = reader.size();
    }
    double width = 0, height = 0;
    if (picture.GoalWidth > 0 && picture.GoalHeight > 0) {
        width = scaled(picture.GoalWidth, picture.ScaleX) / kTwipsPerPixel;
        height = scaled(picture.GoalHeight, picture.ScaleY) / kTwipsPerPixel;
    } else if (pixels.isValid()) {
        width = scaled(pixels.width(), picture.ScaleX);
        height = scaled(pixels.height(), picture.ScaleY);
    } else if (picture.Width > 0 && picture.Height > 0) {
        width = scaled(picture.Width, picture.ScaleX);
        height = scaled(picture.Height, picture.ScaleY);
    }
    if (picture.Kind == PictureKind::Png || picture.Kind == PictureKind::Jpeg) {
        if (!picture.Data.isEmpty())
            InsertImage(picture.Data,
                        picture.Kind == PictureKind::Png ? QStringLiteral("png") : QStringLiteral("jpg"),
                        qRound(width), qRound(height));
        return;
    }
    // Metafiles and bitmaps of other kinds: a grey frame of the picture's size.
    const int w = std::clamp(qRound(width), 8, kMaxPlaceholderSide);
    const int h = std::clamp(qRound(height), 8, kMaxPlaceholderSide);
    QImage placeholder(w, h, QImage::Format_RGB32);
    placeholder.fill(QColor(0xE0, 0xE0, 0xE0));
    {
        QPainter painter(&placeholder);
        painter.setPen(QColor(0x80, 0x80, 0x80));
        painter.drawRect(0, 0, w - 1, h - 1);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    placeholder.save(&buffer, "PNG");
    InsertImage(png, QStringLiteral("png"), w, h);
}

void Parser::InsertImage(const QByteArray& ABytes, const QString& AExtension, int AWidth, int AHeight) {
    if (FStack.empty() || State().Dest != Destination::Text)
        return;
    Flush();
    EnsureTableContext();
    const QString name = QStringLiteral("rtfimage%1.%2").arg(++FImageCount).arg(AExtension);
    FDocument.addResource(QTextDocument::ImageResource, QUrl(name), ABytes);
    QTextImageFormat format;
    format.setName(name);
    if (AWidth > 0 && AHeight > 0) {
        format.setWidth(AWidth);
        format.setHeight(AHeight);
    }
    FCursor.insertImage(format);
}

} // namespace

void RtfReader::Read(const QString& ARtf, QTextDocument& ADocument) {
    Parser parser(ARtf, false, ADocument);
    parser.Run();
}

void RtfReader::ReadBytes(const QByteArray& ARtf, QTextDocument& ADocument) {
    const QString text = QString::fromLatin1(ARtf);
    Parser parser(text, true, ADocument);
    parser.Run();
}

} // namespace hostapi
