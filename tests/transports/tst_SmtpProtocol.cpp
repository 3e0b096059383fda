#include "SmtpError.h"
#include "SmtpProtocol.h"

#include <QtTest>

using namespace emailmarketing;

class tst_SmtpProtocol : public QObject {
    Q_OBJECT

private slots:
    void Replies_data();
    void Replies();
    void MalformedReplies_data();
    void MalformedReplies();
    void Capabilities_data();
    void Capabilities();
    void DataBlock_data();
    void DataBlock();
    void PathRefusesCommandInjection_data();
    void PathRefusesCommandInjection();
};

void tst_SmtpProtocol::Replies_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("one line") << QList<QByteArray>{"250 OK\r\n"} << QList<int>{250} << QStringList{"OK"};
    QTest::newRow("multi-line") << QList<QByteArray>{"250-mx.example\r\n250-PIPELINING\r\n250 SIZE 100\r\n"}
                                << QList<int>{250} << QStringList{"mx.example PIPELINING SIZE 100"};
    QTest::newRow("split anywhere") << QList<QByteArray>{"55", "0 5.1.1 No such ", "user\r", "\n354 go\r\n"}
                                    << QList<int>{550, 354} << QStringList{"5.1.1 No such user", "go"};
    QTest::newRow("pipelined replies in one read")
        << QList<QByteArray>{"250 2.1.0 Ok\r\n250 2.1.5 Ok\r\n354 End data with <CR><LF>.<CR><LF>\r\n"}
        << QList<int>{250, 250, 354}
        << QStringList{"2.1.0 Ok", "2.1.5 Ok", "End data with <CR><LF>.<CR><LF>"};
    QTest::newRow("bare LF and code only")
        << QList<QByteArray>{"421\n"} << QList<int>{421} << QStringList{""};
    QTest::newRow("incomplete reply waits")
        << QList<QByteArray>{"250-first\r\n250 sec"} << QList<int>{} << QStringList{};
    QTest::newRow("1000 lines is the most a reply may hold")
        << QList<QByteArray>{QByteArray("250-x\r\n").repeated(999) + "250 y\r\n"} << QList<int>{250}
        << QStringList{QString(QStringLiteral("x ").repeated(999) + QStringLiteral("y"))};
    QTest::newRow("limits count per reply, not per connection")
        << QList<QByteArray>{QByteArray("250-x\r\n").repeated(900) + "250 y\r\n",
                             QByteArray("250-") + QByteArray(60 * 1024, 'a') + "\r\n250 z\r\n"}
        << QList<int>{250, 250}
        << QStringList{QString(QStringLiteral("x ").repeated(900) + QStringLiteral("y")),
                       QString(QString(60 * 1024, QLatin1Char('a')) + QStringLiteral(" z"))};
}

void tst_SmtpProtocol::Replies() {
    QFETCH(QList<QByteArray>, chunks);
    SmtpReplyParser parser;
    QList<int> codes;
    QStringList texts;
    for (const QByteArray& chunk : chunks) {
        parser.Feed(chunk);
        SmtpReply reply;
        while (parser.TakeReply(reply)) {
            codes.append(reply.Code);
            texts.append(reply.Text());
        }
    }
    QTEST(codes, "codes");
    QTEST(texts, "texts");
}

void tst_SmtpProtocol::MalformedReplies_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("no code") << QByteArray("hello\r\n");
    QTest::newRow("bad separator") << QByteArray("250xOK\r\n");
    QTest::newRow("code changes within a reply") << QByteArray("250-a\r\n251 b\r\n");
    QTest::newRow("endless line") << QByteArray(70 * 1024, 'a');
    QTest::newRow("1001 lines") << QByteArray("250-x\r\n").repeated(1001);
    QTest::newRow("more than 64 KB in short lines")
        << QByteArray("250-" + QByteArray(60, 'a') + "\r\n").repeated(1000);
    QTest::newRow("more than 64 KB, last line unfinished")
        << QByteArray("250-" + QByteArray(1000, 'a') + "\r\n").repeated(64) + "250-" + QByteArray(2000, 'b');
}

void tst_SmtpProtocol::MalformedReplies() {
    QFETCH(QByteArray, data);
    SmtpReplyParser parser;
    // Fed in small pieces, as a slow server sends it.
    const auto feed = [&] {
        for (qsizetype i = 0; i < data.size(); i += 7)
            parser.Feed(data.mid(i, 7));
    };
    QVERIFY_THROWS_EXCEPTION(ESmtpError, feed());
}

void tst_SmtpProtocol::Capabilities_data() {
    QTest::addColumn<QByteArray>("ehlo");
    QTest::addColumn<bool>("pipelining");
    QTest::addColumn<bool>("startTls");
    QTest::addColumn<QStringList>("auth");
    QTest::newRow("none") << QByteArray("250 mx.example\r\n") << false << false << QStringList{};
    QTest::newRow("all") << QByteArray(
                                "250-mx.example greets\r\n250-pipelining\r\n250-STARTTLS\r\n"
                                "250-AUTH PLAIN login XOAUTH2\r\n250-AUTH=LOGIN PLAIN\r\n250 8BITMIME\r\n")
                         << true << true << QStringList{"PLAIN", "LOGIN", "XOAUTH2"};
    QTest::newRow("greeting line is no capability")
        << QByteArray("250-STARTTLS.example\r\n250 SIZE\r\n") << false << false << QStringList{};
}

void tst_SmtpProtocol::Capabilities() {
    QFETCH(QByteArray, ehlo);
    SmtpReplyParser parser;
    parser.Feed(ehlo);
    SmtpReply reply;
    QVERIFY(parser.TakeReply(reply));
    const SmtpCapabilities capabilities = SmtpCapabilities::FromEhloReply(reply);
    QTEST(capabilities.Pipelining, "pipelining");
    QTEST(capabilities.StartTls, "startTls");
    QTEST(capabilities.AuthMechanisms, "auth");
}

void tst_SmtpProtocol::DataBlock_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("block");
    QTest::newRow("CRLF kept") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n.\r\n");
    QTest::newRow("bare LF and CR become CRLF")
        << QByteArray("a\nb\rc") << QByteArray("a\r\nb\r\nc\r\n.\r\n");
    QTest::newRow("leading dots doubled")
        << QByteArray(".a\r\n..b\r\nc.d\r\n.\r\n") << QByteArray("..a\r\n...b\r\nc.d\r\n..\r\n.\r\n");
    QTest::newRow("dot after bare LF") << QByteArray("x\n.\n") << QByteArray("x\r\n..\r\n.\r\n");
    QTest::newRow("empty") << QByteArray() << QByteArray(".\r\n");
    QTest::newRow("one byte") << QByteArray("x") << QByteArray("x\r\n.\r\n");
    QTest::newRow("one dot") << QByteArray(".") << QByteArray("..\r\n.\r\n");
    QTest::newRow("two bytes without line break") << QByteArray("xy") << QByteArray("xy\r\n.\r\n");
}

void tst_SmtpProtocol::DataBlock() {
    QFETCH(QByteArray, message);
    QTEST(SmtpDataBlock(message), "block");
}

void tst_SmtpProtocol::PathRefusesCommandInjection_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "anna@example.com" << true;
    QTest::newRow("CRLF") << "a@x.de>\r\nRCPT TO:<b@y.de" << false;
    QTest::newRow("angle bracket") << "a@x.de> NOTIFY=NEVER" << false;
    QTest::newRow("NUL") << QStringLiteral("a@x.de") + QChar(0) << false;
}

void tst_SmtpProtocol::PathRefusesCommandInjection() {
    QFETCH(QString, address);
    QFETCH(bool, valid);
    if (valid)
        QCOMPARE(SmtpPath(address), "<" + address.toUtf8() + ">");
    else
        QVERIFY_THROWS_EXCEPTION(ESmtpError, SmtpPath(address));
}

QTEST_GUILESS_MAIN(tst_SmtpProtocol)
#include "tst_SmtpProtocol.moc"
