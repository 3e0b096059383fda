#include "DnsMessage.h"

#include "QVException.h"

#include <QUrl>

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <resolv.h>

namespace emailmarketing::DnsMessage {

namespace {

void AppendUInt16(QByteArray& AOut, quint16 AValue) {
    AOut.append(char(AValue >> 8));
    AOut.append(char(AValue & 0xff));
}

hostapi::EQVException Malformed() {
    return hostapi::EQVException(QStringLiteral("The DNS server sent a malformed answer."));
}

} // namespace

QByteArray BuildQuery(quint16 AId, const QString& AName, int AType) {
    // Internationalised names go out in their ASCII form.
    QByteArray name = QUrl::toAce(AName);
    if (name.isEmpty() && !AName.isEmpty())
        name = AName.toUtf8();
    if (name.endsWith('.'))
        name.chop(1);
    if (name.isEmpty() || name.size() > 253)
        throw hostapi::EQVException(QStringLiteral("\"%1\" is no valid domain name.").arg(AName));
    QByteArray out;
    AppendUInt16(out, AId);
    AppendUInt16(out, 0x0100); // recursion desired
    AppendUInt16(out, 1);      // one question
    AppendUInt16(out, 0);
    AppendUInt16(out, 0);
    AppendUInt16(out, 1); // one additional record: EDNS0
    for (const QByteArray& label : name.split('.')) {
        if (label.isEmpty() || label.size() > 63)
            throw hostapi::EQVException(QStringLiteral("\"%1\" is no valid domain name.").arg(AName));
        for (const char c : label)
            if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f)
                throw hostapi::EQVException(QStringLiteral("\"%1\" is no valid domain name.").arg(AName));
        out.append(char(label.size()));
        out.append(label);
    }
    out.append('\0');
    AppendUInt16(out, quint16(AType));
    AppendUInt16(out, 1); // IN
    // OPT: root name, type 41, payload size 4096, no extended flags, no data.
    out.append('\0');
    AppendUInt16(out, 41);
    AppendUInt16(out, 4096);
    AppendUInt16(out, 0);
    AppendUInt16(out, 0);
    AppendUInt16(out, 0);
    return out;
}

Answer Parse(const QByteArray& AReply) {
    ns_msg message;
    if (ns_initparse(reinterpret_cast<const unsigned char*>(AReply.constData()), int(AReply.size()),
                     &message) < 0)
        throw Malformed();
    Answer result;
    result.Id = ns_msg_id(message);
    result.RCode = ns_msg_getflag(message, ns_f_rcode);
    result.Truncated = ns_msg_getflag(message, ns_f_tc) != 0;
    const int count = ns_msg_count(message, ns_s_an);
    for (int i = 0; i < count; ++i) {
        ns_rr record;
        if (ns_parserr(&message, ns_s_an, i, &record) < 0)
            throw Malformed();
        if (ns_rr_class(record) != ns_c_in)
            continue;
        const unsigned char* data = ns_rr_rdata(record);
        const int length = ns_rr_rdlen(record);
        if (ns_rr_type(record) == ns_t_mx) {
            if (length < 3)
                throw Malformed();
            char exchange[NS_MAXDNAME];
            if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 2, exchange, sizeof exchange) < 0)
                throw Malformed();
            QString host = QString::fromUtf8(exchange);
            if (host == QLatin1String("."))
                host.clear();
            result.MX.append({int(ns_get16(data)), host});
        } else if (ns_rr_type(record) == ns_t_a && length == 4) {
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, data, text, sizeof text);
            result.Addresses.append(QString::fromLatin1(text));
        } else if (ns_rr_type(record) == ns_t_aaaa && length == 16) {
            char text[INET6_ADDRSTRLEN];
            inet_ntop(AF_INET6, data, text, sizeof text);
            result.Addresses.append(QString::fromLatin1(text));
        }
    }
    return result;
}

} // namespace emailmarketing::DnsMessage
