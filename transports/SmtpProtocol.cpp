#include "SmtpProtocol.h"

#include "SmtpError.h"

namespace emailmarketing {

namespace {

constexpr qsizetype MaxLineLength = 64 * 1024;

} // namespace

QString SmtpReply::Text() const {
    QStringList lines;
    for (const QByteArray& line : Lines)
        lines.append(QString::fromUtf8(line).trimmed());
    lines.removeAll(QString());
    return lines.join(QLatin1Char(' '));
}

void SmtpReplyParser::Feed(const QByteArray& AData) {
    FBuffer.append(AData);
    for (;;) {
        const qsizetype end = FBuffer.indexOf('\n', FScanned);
        if (end < 0) {
            FScanned = FBuffer.size();
            if (FBuffer.size() > MaxLineLength)
                throw ESmtpError(QStringLiteral("The server sent a reply line longer than 64 KB."));
            return;
        }
        QByteArray line = FBuffer.left(end);
        FBuffer.remove(0, end + 1);
        FScanned = 0;
        if (line.endsWith('\r'))
            line.chop(1);
        bool numeric = line.size() >= 3;
        for (int i = 0; numeric && i < 3; ++i)
            numeric = line[i] >= '0' && line[i] <= '9';
        if (!numeric || (line.size() > 3 && line[3] != ' ' && line[3] != '-'))
            throw ESmtpError(QStringLiteral("The server sent no valid SMTP reply: \"%1\"")
                                 .arg(QString::fromUtf8(line.left(80))));
        const int code = line.left(3).toInt();
        if (!FPending.Lines.isEmpty() && code != FPending.Code)
            throw ESmtpError(QStringLiteral("The server changed the reply code within one reply."));
        FPending.Code = code;
        FPending.Lines.append(line.mid(4));
        if (line.size() <= 3 || line[3] == ' ') {
            FReady.append(FPending);
            FPending = SmtpReply();
        }
    }
}

bool SmtpReplyParser::TakeReply(SmtpReply& VReply) {
    if (FReady.isEmpty())
        return false;
    VReply = FReady.takeFirst();
    return true;
}

SmtpCapabilities SmtpCapabilities::FromEhloReply(const SmtpReply& AReply) {
    SmtpCapabilities result;
    for (qsizetype i = 1; i < AReply.Lines.size(); ++i) {
        const QStringList words =
            QString::fromUtf8(AReply.Lines[i]).toUpper().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        if (words[0] == QLatin1String("PIPELINING"))
            result.Pipelining = true;
        else if (words[0] == QLatin1String("STARTTLS"))
            result.StartTls = true;
        else if (words[0] == QLatin1String("AUTH") || words[0] == QLatin1String("AUTH=LOGIN"))
            for (const QString& mechanism : words.mid(1))
                if (!result.AuthMechanisms.contains(mechanism))
                    result.AuthMechanisms.append(mechanism);
    }
    return result;
}

QByteArray SmtpDataBlock(const QByteArray& AMessage) {
    QByteArray out;
    out.reserve(AMessage.size() + AMessage.size() / 64 + 8);
    bool lineStart = true;
    const char* p = AMessage.constData();
    const qsizetype n = AMessage.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = p[i];
        if (c == '\r') {
            out.append("\r\n", 2);
            if (i + 1 < n && p[i + 1] == '\n')
                ++i;
            lineStart = true;
            continue;
        }
        if (c == '\n') {
            out.append("\r\n", 2);
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.')
            out.append('.');
        out.append(c);
        lineStart = false;
    }
    if (!lineStart)
        out.append("\r\n", 2);
    out.append(".\r\n", 3);
    return out;
}

QByteArray SmtpPath(const QString& AAddress) {
    for (const QChar c : AAddress)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('<') ||
            c == QLatin1Char('>') || c.unicode() == 0)
            throw ESmtpError(QStringLiteral("The address \"%1\" is not valid.").arg(AAddress.simplified()));
    return '<' + AAddress.trimmed().toUtf8() + '>';
}

} // namespace emailmarketing
