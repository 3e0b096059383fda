#include "MXResolver.h"

#include "SmtpError.h"
#include "TransportsLog.h"

#include <QHostAddress>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <resolv.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace emailmarketing {

namespace {

QString NoExchanger(const QString& ADomain, const QString& AReason) {
    return QStringLiteral("no mail exchanger for domain '%1': %2").arg(ADomain, AReason);
}

QString SystemNameServer() {
    struct __res_state state {};
    if (res_ninit(&state) != 0)
        return {};
    QString result;
    if (state.nscount > 0 && state.nsaddr_list[0].sin_family == AF_INET) {
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &state.nsaddr_list[0].sin_addr, text, sizeof text);
        result = QString::fromLatin1(text);
    }
    res_nclose(&state);
    return result;
}

class FdCloser {
public:
    explicit FdCloser(int AFd) : FFd(AFd) {}
    ~FdCloser() { ::close(FFd); }

private:
    int FFd;
};

} // namespace

DnsServerAddress DnsServerAddress::Parse(const QString& AText) {
    const QString text = AText.trimmed();
    DnsServerAddress result;
    if (text.isEmpty()) {
        result.Address = SystemNameServer();
        if (result.Address.isEmpty())
            throw hostapi::EQVException(QStringLiteral("No DNS server is set and the machine names none."));
        return result;
    }
    QString address = text;
    QString port;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            throw hostapi::EQVException(
                QStringLiteral("The DNS server \"%1\" is no valid address.").arg(text));
        address = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                throw hostapi::EQVException(
                    QStringLiteral("The DNS server \"%1\" is no valid address.").arg(text));
            port = rest.mid(1);
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        address = text.section(QLatin1Char(':'), 0, 0);
        port = text.section(QLatin1Char(':'), 1);
    }
    if (QHostAddress(address).isNull())
        throw hostapi::EQVException(QStringLiteral("The DNS server \"%1\" is no valid address.").arg(text));
    result.Address = address;
    if (!port.isNull()) {
        bool ok = false;
        const uint value = port.toUInt(&ok);
        if (!ok || value < 1 || value > 65535)
            throw hostapi::EQVException(QStringLiteral("The DNS server \"%1\" has no valid port.").arg(text));
        result.Port = quint16(value);
    }
    return result;
}

MXResolver::MXResolver(std::shared_ptr<CancelSignal> ACancel, const QString& ADNSServer, int ATimeoutMs)
    : FCancel(std::move(ACancel)), FDNSServer(ADNSServer), FTimeoutMs(ATimeoutMs) {}

QStringList MXResolver::ExchangersOf(const QString& ADomain, const DnsMessage::Answer& AAnswer) {
    if (AAnswer.RCode == DnsMessage::RCodeNXDomain)
        throw ESmtpError(NoExchanger(ADomain, QStringLiteral("the domain does not exist")));
    if (AAnswer.RCode != DnsMessage::RCodeNoError)
        throw ESmtpError(
            NoExchanger(ADomain, QStringLiteral("the DNS server answered with error %1").arg(AAnswer.RCode)));
    if (AAnswer.MX.isEmpty())
        return {ADomain};
    QList<DnsMessage::MXRecord> records = AAnswer.MX;
    std::stable_sort(records.begin(), records.end(),
                     [](const auto& a, const auto& b) { return a.Preference < b.Preference; });
    QStringList result;
    for (const DnsMessage::MXRecord& record : records)
        if (!record.Exchange.isEmpty() && !result.contains(record.Exchange, Qt::CaseInsensitive))
            result.append(record.Exchange);
    if (result.isEmpty())
        throw ESmtpError(NoExchanger(ADomain, QStringLiteral("the domain accepts no mail (null MX)")));
    return result;
}

QStringList MXResolver::ResolveMX(const QString& ADomain) {
    DnsMessage::Answer answer;
    try {
        answer = Query(ADomain, DnsMessage::TypeMX);
    } catch (const ESmtpCancelled&) {
        throw;
    } catch (const hostapi::EQVException& e) {
        throw ESmtpError(NoExchanger(ADomain, e.Message()));
    }
    return ExchangersOf(ADomain, answer);
}

QStringList MXResolver::ResolveAddresses(const QString& AHost) {
    if (!QHostAddress(AHost).isNull())
        return {AHost};
    const DnsMessage::Answer v4 = Query(AHost, DnsMessage::TypeA);
    QStringList result = v4.RCode == DnsMessage::RCodeNoError ? v4.Addresses : QStringList();
    try {
        const DnsMessage::Answer v6 = Query(AHost, DnsMessage::TypeAAAA);
        if (v6.RCode == DnsMessage::RCodeNoError)
            result += v6.Addresses;
    } catch (const ESmtpCancelled&) {
        throw;
    } catch (const hostapi::EQVException& e) {
        if (result.isEmpty())
            throw;
        qCInfo(lcTransports) << "no IPv6 address of mail exchanger" << AHost << ":" << e.Message();
    }
    if (result.isEmpty())
        throw ESmtpError(QStringLiteral("The mail exchanger %1 has no address.").arg(AHost));
    return result;
}

DnsMessage::Answer MXResolver::Query(const QString& AName, int AType) {
    const DnsServerAddress server = DnsServerAddress::Parse(FDNSServer);
    static thread_local std::mt19937 random{std::random_device{}()};
    const quint16 id = quint16(random());
    const QByteArray query = DnsMessage::BuildQuery(id, AName, AType);

    const QHostAddress address(server.Address);
    sockaddr_storage target{};
    socklen_t targetLen = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(target);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(server.Port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        memcpy(&in6.sin6_addr, &bytes, sizeof bytes);
        targetLen = sizeof in6;
    } else {
        auto& in4 = reinterpret_cast<sockaddr_in&>(target);
        in4.sin_family = AF_INET;
        in4.sin_port = htons(server.Port);
        in4.sin_addr.s_addr = htonl(address.toIPv4Address());
        targetLen = sizeof in4;
    }
    const int fd = socket(target.ss_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        throw ESmtpError(QStringLiteral("No DNS socket: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    const FdCloser closer(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&target), targetLen) != 0)
        throw ESmtpError(QStringLiteral("The DNS server %1 cannot be reached: %2")
                             .arg(server.Address, QString::fromLocal8Bit(strerror(errno))));

    const qint64 deadline = MonotonicMs() + FTimeoutMs;
    constexpr qint64 Retransmit = 3000;
    qint64 nextSend = 0;
    QString lastError = QStringLiteral("the DNS server %1 did not answer").arg(server.Address);
    for (;;) {
        if (FCancel->IsFired())
            throw ESmtpCancelled();
        const qint64 now = MonotonicMs();
        if (now >= deadline)
            throw ESmtpError(lastError);
        if (now >= nextSend) {
            ::send(fd, query.constData(), size_t(query.size()), MSG_NOSIGNAL);
            nextSend = now + Retransmit;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {FCancel->Fd(), POLLIN, 0}};
        const int n = poll(fds, 2, int(qMin(deadline, nextSend) - now));
        if (n < 0 && errno != EINTR)
            throw ESmtpError(QStringLiteral("Waiting for the DNS server failed: %1")
                                 .arg(QString::fromLocal8Bit(strerror(errno))));
        if (fds[1].revents != 0)
            throw ESmtpCancelled();
        if (n <= 0 || fds[0].revents == 0)
            continue;
        char buffer[65536];
        const ssize_t received = ::recv(fd, buffer, sizeof buffer, 0);
        if (received < 0) {
            if (errno == ECONNREFUSED)
                throw ESmtpError(QStringLiteral("the DNS server %1:%2 refused the query")
                                     .arg(server.Address)
                                     .arg(server.Port));
            continue;
        }
        const DnsMessage::Answer answer = DnsMessage::Parse(QByteArray(buffer, qsizetype(received)));
        if (answer.Id != id)
            continue; // a late answer of an earlier query
        if (answer.Truncated)
            throw ESmtpError(QStringLiteral("the DNS server %1 sent a truncated answer").arg(server.Address));
        return answer;
    }
}

} // namespace emailmarketing
