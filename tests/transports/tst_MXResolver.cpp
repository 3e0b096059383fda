#include "DnsMessage.h"
#include "MXResolver.h"
#include "QVException.h"
#include "SmtpError.h"

#include <QtTest>

using namespace emailmarketing;

Q_DECLARE_METATYPE(DnsMessage::Answer)

namespace {

void Put16(QByteArray& AOut, int AValue) {
    AOut.append(char((AValue >> 8) & 0xff));
    AOut.append(char(AValue & 0xff));
}

QByteArray Name(const QByteArray& AName) {
    QByteArray out;
    for (const QByteArray& label : AName.split('.'))
        if (!label.isEmpty())
            out.append(char(label.size())).append(label);
    return out.append('\0');
}

// A DNS reply to the query AQuery: answer records given as (type, rdata).
QByteArray Reply(const QByteArray& AQuery, int ARCode, const QList<QPair<int, QByteArray>>& ARecords) {
    QByteArray out = AQuery.left(2); // id
    Put16(out, 0x8180 | ARCode);     // response, RD, RA
    Put16(out, 1);
    Put16(out, int(ARecords.size()));
    Put16(out, 0);
    Put16(out, 0);
    const qsizetype questionEnd = AQuery.size() - 11; // the query ends with the 11-byte OPT record
    out.append(AQuery.mid(12, questionEnd - 12));
    for (const auto& record : ARecords) {
        out.append(char(0xc0)).append(char(12)); // the question's name
        Put16(out, record.first);
        Put16(out, 1);
        out.append(QByteArray("\0\0\x0e\x10", 4)); // TTL
        Put16(out, int(record.second.size()));
        out.append(record.second);
    }
    return out;
}

QPair<int, QByteArray> MX(int APreference, const QByteArray& AHost) {
    QByteArray data;
    Put16(data, APreference);
    return {DnsMessage::TypeMX, data + Name(AHost)};
}

DnsMessage::Answer AnswerOf(const QList<DnsMessage::MXRecord>& AMX, int ARCode = DnsMessage::RCodeNoError) {
    DnsMessage::Answer answer;
    answer.RCode = ARCode;
    answer.MX = AMX;
    return answer;
}

} // namespace

class tst_MXResolver : public QObject {
    Q_OBJECT

private slots:
    void QueryWireFormat();
    void QueryRefusesBadNames_data();
    void QueryRefusesBadNames();
    void ParsesAnswers();
    void ParseRefusesGarbage();
    void Exchangers_data();
    void Exchangers();
    void DnsServer_data();
    void DnsServer();
};

void tst_MXResolver::QueryWireFormat() {
    const QByteArray query =
        DnsMessage::BuildQuery(0x1234, QStringLiteral("Example.TEST."), DnsMessage::TypeMX);
    QByteArray expected("\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x01", 12);
    expected += QByteArray("\x07"
                           "example\x04test\x00",
                           14);
    expected += QByteArray("\x00\x0f\x00\x01", 4);
    expected += QByteArray("\x00\x00\x29\x10\x00\x00\x00\x00\x00\x00\x00", 11);
    QCOMPARE(query.toHex(' '), expected.toHex(' '));
    // Internationalised names go out as ASCII labels.
    QVERIFY(DnsMessage::BuildQuery(1, QStringLiteral("bücher.example"), 15).contains("xn--bcher-kva"));
}

void tst_MXResolver::QueryRefusesBadNames_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << "";
    QTest::newRow("empty label") << "a..b";
    QTest::newRow("label too long") << QString(64, QLatin1Char('a')) + ".de";
    QTest::newRow("blank") << "a b.de";
    QTest::newRow("line break") << "a\nb.de";
}

void tst_MXResolver::QueryRefusesBadNames() {
    QFETCH(QString, name);
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, DnsMessage::BuildQuery(1, name, DnsMessage::TypeMX));
}

void tst_MXResolver::ParsesAnswers() {
    const QByteArray query =
        DnsMessage::BuildQuery(0xbeef, QStringLiteral("example.test"), DnsMessage::TypeMX);
    const DnsMessage::Answer answer =
        DnsMessage::Parse(Reply(query, 0,
                                {MX(20, "backup.example.test"),
                                 {5 /* CNAME */, Name("x.example")},
                                 MX(10, "mx.example.test"),
                                 MX(0, ""),
                                 {DnsMessage::TypeA, QByteArray("\x7f\x00\x00\x02", 4)},
                                 {DnsMessage::TypeAAAA, QByteArray(15, '\0') + '\x01'}}));
    QCOMPARE(answer.Id, quint16(0xbeef));
    QCOMPARE(answer.RCode, 0);
    QCOMPARE(answer.MX.size(), 3);
    QCOMPARE(answer.MX[0].Preference, 20);
    QCOMPARE(answer.MX[0].Exchange, QStringLiteral("backup.example.test"));
    QCOMPARE(answer.MX[1].Exchange, QStringLiteral("mx.example.test"));
    QCOMPARE(answer.MX[2].Exchange, QString());
    QCOMPARE(answer.Addresses, (QStringList{QStringLiteral("127.0.0.2"), QStringLiteral("::1")}));
    QCOMPARE(DnsMessage::Parse(Reply(query, 3, {})).RCode, DnsMessage::RCodeNXDomain);
}

void tst_MXResolver::ParseRefusesGarbage() {
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, DnsMessage::Parse(QByteArray("\x01\x02\x03", 3)));
    const QByteArray query = DnsMessage::BuildQuery(7, QStringLiteral("example.test"), DnsMessage::TypeMX);
    QByteArray truncated = Reply(query, 0, {MX(10, "mx.example.test")});
    truncated.chop(5);
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, DnsMessage::Parse(truncated));
}

void tst_MXResolver::Exchangers_data() {
    QTest::addColumn<DnsMessage::Answer>("answer");
    QTest::addColumn<QStringList>("exchangers");
    QTest::addColumn<QString>("error");

    QTest::newRow("lowest preference first")
        << AnswerOf({{20, "backup.example.test"}, {10, "mx.example.test"}, {30, "last.example.test"}})
        << QStringList{"mx.example.test", "backup.example.test", "last.example.test"} << "";
    QTest::newRow("equal preferences keep their order")
        << AnswerOf({{10, "b.example.test"}, {10, "a.example.test"}})
        << QStringList{"b.example.test", "a.example.test"} << "";
    QTest::newRow("no MX: implicit MX") << AnswerOf({}) << QStringList{"example.test"} << "";
    QTest::newRow("NXDOMAIN") << AnswerOf({}, DnsMessage::RCodeNXDomain) << QStringList{}
                              << "no mail exchanger for domain 'example.test': the domain does not exist";
    QTest::newRow("null MX")
        << AnswerOf({{0, ""}}) << QStringList{}
        << "no mail exchanger for domain 'example.test': the domain accepts no mail (null MX)";
    QTest::newRow("server failure")
        << AnswerOf({}, 2) << QStringList{}
        << "no mail exchanger for domain 'example.test': the DNS server answered with error 2";
}

void tst_MXResolver::Exchangers() {
    QFETCH(DnsMessage::Answer, answer);
    QFETCH(QString, error);
    try {
        QTEST(MXResolver::ExchangersOf(QStringLiteral("example.test"), answer), "exchangers");
        QVERIFY2(error.isEmpty(), "expected an error");
    } catch (const ESmtpError& e) {
        QCOMPARE(e.Message(), error);
    }
}

void tst_MXResolver::DnsServer_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::newRow("IPv4") << "192.0.2.1"
                          << "192.0.2.1" << 53;
    QTest::newRow("IPv4 with port") << " 127.0.0.1:5353 "
                                    << "127.0.0.1" << 5353;
    QTest::newRow("IPv6") << "::1"
                          << "::1" << 53;
    QTest::newRow("IPv6 with port") << "[::1]:5353"
                                    << "::1" << 5353;
    QTest::newRow("host name") << "dns.example"
                               << "" << 0;
    QTest::newRow("bad port") << "127.0.0.1:0"
                              << "" << 0;
    QTest::newRow("port letters") << "127.0.0.1:dns"
                                  << "" << 0;
    QTest::newRow("unclosed bracket") << "[::1:53"
                                      << "" << 0;
}

void tst_MXResolver::DnsServer() {
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, port);
    if (address.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, DnsServerAddress::Parse(text));
        return;
    }
    const DnsServerAddress server = DnsServerAddress::Parse(text);
    QCOMPARE(server.Address, address);
    QCOMPARE(int(server.Port), port);
}

QTEST_GUILESS_MAIN(tst_MXResolver)
#include "tst_MXResolver.moc"
