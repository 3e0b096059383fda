#include "IdOAuth2Bearer.h"
#include "IdSASLXOAUTH.h"
#include "QVException.h"
#include "SaslMechanism.h"

#include <QtTest>

#include <functional>
#include <memory>

using namespace emailmarketing;

using MechanismFactory = std::function<std::shared_ptr<SaslMechanism>()>;
Q_DECLARE_METATYPE(MechanismFactory)

namespace {

std::shared_ptr<SaslMechanism> XOAuth(const QString& AUser, const QString& AToken) {
    auto mechanism = std::make_shared<TIdSASLXOAuth>();
    mechanism->SetUser(AUser);
    mechanism->SetToken(AToken);
    return mechanism;
}

std::shared_ptr<SaslMechanism> Bearer(const QString& AUser, const QString& AHost, int APort,
                                      const QString& AToken) {
    auto mechanism = std::make_shared<TIdOAuth2Bearer>();
    mechanism->SetUser(AUser);
    mechanism->SetHost(AHost);
    mechanism->SetPort(APort);
    mechanism->SetToken(AToken);
    return mechanism;
}

} // namespace

class tst_SaslMechanism : public QObject {
    Q_OBJECT

private slots:
    void InitialResponse_data();
    void InitialResponse();
    void FurtherChallengeGetsEmptyResponse_data();
    void FurtherChallengeGetsEmptyResponse();
    void LoginAnswersUserThenPassword();
    void ControlCharactersRefused_data();
    void ControlCharactersRefused();
};

void tst_SaslMechanism::InitialResponse_data() {
    QTest::addColumn<MechanismFactory>("factory");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QByteArray>("response");

    QTest::newRow("XOAUTH2 u/t: 22 code points")
        << MechanismFactory([] { return XOAuth("u", "t"); }) << "XOAUTH2"
        << QByteArray("user=u\x01"
                      "auth=Bearer t\x01\x01");
    QTest::newRow("XOAUTH2 UTF-8 user")
        << MechanismFactory([] { return XOAuth(QStringLiteral("jö@example.com"), "ya29.a0"); }) << "XOAUTH2"
        << QByteArray("user=j\xc3\xb6@example.com\x01"
                      "auth=Bearer ya29.a0\x01\x01");
    QTest::newRow("OAUTHBEARER port 587")
        << MechanismFactory([] { return Bearer("user@example.com", "smtp.example.com", 587, "tok"); })
        << "OAUTHBEARER"
        << QByteArray("n,a=user@example.com,\x01"
                      "host=smtp.example.com\x01"
                      "port=587\x01"
                      "auth=Bearer tok\x01\x01");
    QTest::newRow("OAUTHBEARER port 0")
        << MechanismFactory([] { return Bearer("u", "h", 0, "t"); }) << "OAUTHBEARER"
        << QByteArray("n,a=u,\x01"
                      "host=h\x01"
                      "port=0\x01"
                      "auth=Bearer t\x01\x01");
    QTest::newRow("OAUTHBEARER escapes = and ,")
        << MechanismFactory([] { return Bearer("a=b,c", "h", 25, "t"); }) << "OAUTHBEARER"
        << QByteArray("n,a=a=3Db=2Cc,\x01"
                      "host=h\x01"
                      "port=25\x01"
                      "auth=Bearer t\x01\x01");
    QTest::newRow("PLAIN") << MechanismFactory([] { return std::make_shared<SaslPlain>("anna", "sëcret"); })
                           << "PLAIN"
                           << QByteArray("\0anna\0s\xc3\xab"
                                         "cret",
                                         13);
}

void tst_SaslMechanism::InitialResponse() {
    QFETCH(MechanismFactory, factory);
    QFETCH(QString, service);
    QFETCH(QByteArray, response);
    const std::shared_ptr<SaslMechanism> mechanism = factory();
    QCOMPARE(mechanism->ServiceName(), service);
    QByteArray initial;
    QVERIFY(
        mechanism->TryStartAuthenticate(QStringLiteral("ignored.example"), QStringLiteral("smtp"), initial));
    QCOMPARE(initial, response);
    // A server that asks for the response with an empty challenge gets the same bytes.
    QCOMPARE(mechanism->StartAuthenticate({}, {}, {}), response);
}

void tst_SaslMechanism::FurtherChallengeGetsEmptyResponse_data() {
    QTest::addColumn<MechanismFactory>("factory");
    QTest::newRow("XOAUTH2") << MechanismFactory([] { return XOAuth("u", "t"); });
    QTest::newRow("OAUTHBEARER") << MechanismFactory([] { return Bearer("u", "h", 587, "t"); });
}

void tst_SaslMechanism::FurtherChallengeGetsEmptyResponse() {
    QFETCH(MechanismFactory, factory);
    QCOMPARE(factory()->ContinueAuthenticate(R"({"status":"invalid_token"})", {}, {}), QByteArray());
}

void tst_SaslMechanism::LoginAnswersUserThenPassword() {
    SaslLogin login(QStringLiteral("anna"), QStringLiteral("geheim"));
    QByteArray initial;
    QVERIFY(!login.TryStartAuthenticate({}, {}, initial));
    QCOMPARE(login.StartAuthenticate("Username:", {}, {}), QByteArray("anna"));
    QCOMPARE(login.ContinueAuthenticate("Password:", {}, {}), QByteArray("geheim"));
}

void tst_SaslMechanism::ControlCharactersRefused_data() {
    QTest::addColumn<MechanismFactory>("factory");
    QTest::newRow("XOAUTH2 ^A in user") << MechanismFactory([] { return XOAuth("u\x01x", "t"); });
    QTest::newRow("XOAUTH2 LF in token") << MechanismFactory([] { return XOAuth("u", "t\nx"); });
    QTest::newRow("OAUTHBEARER ^A in user") << MechanismFactory([] { return Bearer("u\x01", "h", 1, "t"); });
    QTest::newRow("OAUTHBEARER CR in host") << MechanismFactory([] { return Bearer("u", "h\r", 1, "t"); });
    QTest::newRow("OAUTHBEARER DEL in token")
        << MechanismFactory([] { return Bearer("u", "h", 1, "t\x7f"); });
}

void tst_SaslMechanism::ControlCharactersRefused() {
    QFETCH(MechanismFactory, factory);
    const std::shared_ptr<SaslMechanism> mechanism = factory();
    QByteArray initial;
    try {
        mechanism->TryStartAuthenticate({}, {}, initial);
        QFAIL("a control character was sent");
    } catch (const hostapi::EQVException& e) {
        QVERIFY2(e.Message().contains(mechanism->ServiceName()), qPrintable(e.Message()));
    }
}

QTEST_GUILESS_MAIN(tst_SaslMechanism)
#include "tst_SaslMechanism.moc"
