#include "SmtpProtocol.h"

#include "SmtpError.h"

#include <cstring>

namespace emailmarketing {

namespace {

constexpr qsizetype MaxReplyBytes = 64 * 1024;
constexpr int MaxReplyLines = 1000;

[[noreturn]] void ThrowReplyTooLong() {
    throw ESmtpError(QStringLiteral("The server sent a reply of more than %1 lines or %2 KB; it is not "
                                    "an SMTP server or it is misbehaving.")
                         .arg(MaxReplyLines)
                         .arg(MaxReplyBytes / 1024));
}

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
            if (FPendingBytes + FBuffer.size() > MaxReplyBytes)
                ThrowReplyTooLong();
            return;
        }
        FPendingBytes += end + 1;
        if (FPendingBytes > MaxReplyBytes || FPending.Lines.size() >= MaxReplyLines)
            ThrowReplyTooLong();
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
            FPendingBytes = 0;
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
    const char* p = AMessage.constData();
    const qsizetype n = AMessage.size();
    QByteArray out(n + n / 32 + 8, Qt::Uninitialized);
    char* o = out.data();
    const auto reserve = [&](qsizetype AMore) {
        const qsizetype used = o - out.constData();
        if (used + AMore > out.size()) {
            out.resize((used + AMore) * 2);
            o = out.data() + used;
        }
    };
    qsizetype i = 0;
    while (i < n) {
        // One line: [i, end) without its line break.
        const char* lineStart = p + i;
        const char* stop = static_cast<const char*>(memchr(lineStart, '\n', size_t(n - i)));
        qsizetype end = stop != nullptr ? stop - p : n;
        qsizetype next = stop != nullptr ? end + 1 : n;
        // A bare CR also ends a line.
        const char* cr = static_cast<const char*>(memchr(lineStart, '\r', size_t(end - i)));
        if (cr != nullptr && cr - p + 1 < end) {
            end = cr - p;
            next = end + 1;
        } else if (cr != nullptr) {
            end = cr - p; // CRLF, or a CR at the very end
        }
        reserve(end - i + 3);
        if (end > i && p[i] == '.')
            *o++ = '.';
        memcpy(o, lineStart, size_t(end - i));
        o += end - i;
        if (stop != nullptr || cr != nullptr || end < n) {
            *o++ = '\r';
            *o++ = '\n';
        }
        i = next;
    }
    if (n > 0 && (o - out.constData() < 2 || !(o[-2] == '\r' && o[-1] == '\n'))) {
        reserve(2);
        *o++ = '\r';
        *o++ = '\n';
    }
    reserve(3);
    memcpy(o, ".\r\n", 3);
    o += 3;
    out.truncate(o - out.constData());
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
