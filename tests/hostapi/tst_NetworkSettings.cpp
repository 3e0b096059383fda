#include "NetworkSettings.h"
#include "QVException.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace hostapi;

class tst_NetworkSettings : public QObject {
    Q_OBJECT

private slots:
    void ServersInFileOrder();
    void Lines_data();
    void Lines();
    void MissingFileHasNoServers();
    void UnreadableFileIsAnError();
};

void tst_NetworkSettings::ServersInFileOrder() {
    const NetworkSettings settings =
        QueryNetworkSettings(QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/networksettings/resolv.conf"));
    const QStringList expected{"192.168.1.1", "2001:4860:4860::8888", "9.9.9.9", "fe80::1%eth0"};
    QCOMPARE(settings.DNSServers, expected);
}

void tst_NetworkSettings::Lines_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("servers");

    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("CRLF line ends") << QByteArray("nameserver 1.1.1.1\r\nnameserver 8.8.8.8\r\n")
                                    << QStringList{"1.1.1.1", "8.8.8.8"};
    QTest::newRow("no final line break") << QByteArray("nameserver ::1") << QStringList{"::1"};
    QTest::newRow("comments are skipped")
        << QByteArray("#nameserver 1.1.1.1\n;nameserver 2.2.2.2\n") << QStringList();
    QTest::newRow("keyword without address") << QByteArray("nameserver\nnameserver   \n") << QStringList();
    QTest::newRow("host name instead of address")
        << QByteArray("nameserver dns.example.com\n") << QStringList();
    QTest::newRow("malformed address") << QByteArray("nameserver 300.1.1.1\n") << QStringList();
    QTest::newRow("keyword not at the line start") << QByteArray("  nameserver 1.1.1.1\n") << QStringList();
    QTest::newRow("keyword as prefix of a word") << QByteArray("nameservers 1.1.1.1\n") << QStringList();
    QTest::newRow("duplicates kept in order")
        << QByteArray("nameserver 1.1.1.1\nnameserver 1.1.1.1\n") << QStringList{"1.1.1.1", "1.1.1.1"};
}

void tst_NetworkSettings::Lines() {
    QFETCH(QByteArray, content);
    QFETCH(QStringList, servers);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath("resolv.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QCOMPARE(QueryNetworkSettings(file.fileName()).DNSServers, servers);
}

void tst_NetworkSettings::MissingFileHasNoServers() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(QueryNetworkSettings(dir.filePath("resolv.conf")).DNSServers, QStringList());
}

void tst_NetworkSettings::UnreadableFileIsAnError() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A folder in place of the file exists but cannot be read as a file.
    QVERIFY_THROWS_EXCEPTION(EQVException, QueryNetworkSettings(dir.path()));
}

QTEST_GUILESS_MAIN(tst_NetworkSettings)
#include "tst_NetworkSettings.moc"
