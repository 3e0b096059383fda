#include "CustomRESTMessageReceiver.h"
#include "EnhancedOAuth2Authenticator.h"
#include "HostLibraries.h"
#include "HttpClient.h"
#include "support/HttpStub.h"
#include "support/ThrownMessage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

using namespace emailmarketing;
using testsupport::HttpStub;
using testsupport::ThrownMessage;

namespace {

// A mailbox client that records each service call with the access token current at that moment,
// sends it as bearer token and lists the messages a JSON page names.
class RecordingReceiver : public TCustomRESTMailReceiver {
public:
    using TCustomRESTMailReceiver::GetJSON;

    QStringList Calls;
    QUrl MessagesUrl; // DoReceive reads the message ids of this page

protected:
    void PrepareHTTP(RESTHttpClient& AHTTP) override {
        TCustomRESTMailReceiver::PrepareHTTP(AHTTP);
        AHTTP.SetHeader("Authorization", "Bearer " + Token().toUtf8());
    }
    void DoReceive(const QString& AMailFolderId, TMessageQueryFilters AQueryFilters) override {
        TCustomRESTMailReceiver::DoReceive(AMailFolderId, AQueryFilters);
        Record(QStringLiteral("Receive ") + AMailFolderId);
        if (MessagesUrl.isEmpty())
            return;
        const nlohmann::json page = GetJSON(MessagesUrl);
        for (const auto& item : page.at("value"))
            MessageList().Add().UID = QString::fromStdString(item.at("id").get<std::string>());
    }
    void DoUpdateMessage(TRESTMessage& AMessage) override {
        Record(QStringLiteral("Update ") + AMessage.UID);
    }
    void DoSend(TRESTMessage& AMessage) override { Record(QStringLiteral("Send ") + AMessage.Subject); }
    void DoDelete(TRESTMessage& AMessage, bool APermanently) override {
        Record(QStringLiteral("Delete %1 %2").arg(AMessage.UID).arg(APermanently));
    }
    void DoMove(TRESTMessage& AMessage, const QString& ALocation) override {
        Record(QStringLiteral("Move %1 %2").arg(AMessage.UID, ALocation));
    }

private:
    QString Token() const { return OAuth2Authenticator() ? OAuth2Authenticator()->AccessToken() : QString(); }
    void Record(const QString& ACall) {
        Calls.append(ACall + QStringLiteral(" [") + Token() + QLatin1Char(']'));
    }
};

QJsonObject TokenAnswer(const QString& AToken, int AExpiresIn) {
    return QJsonObject{{"status", 200},
                       {"headers", QJsonObject{{"Content-Type", "application/json"}}},
                       {"body", QString::fromUtf8(QJsonDocument(QJsonObject{{"access_token", AToken},
                                                                            {"token_type", "Bearer"},
                                                                            {"expires_in", AExpiresIn}})
                                                      .toJson(QJsonDocument::Compact))}};
}

QJsonObject MessagesPage() {
    return QJsonObject{{"status", 200},
                       {"body", QStringLiteral("{\"value\":[{\"id\":\"m1\"},{\"id\":\"m2\"}]}")}};
}

std::unique_ptr<TEnhancedOAuth2Authenticator> NewAuthenticator(const HttpStub& AStub) {
    auto authenticator = std::make_unique<TEnhancedOAuth2Authenticator>();
    authenticator->SetClientID(QStringLiteral("C"));
    authenticator->SetClientSecret(QStringLiteral("S"));
    authenticator->SetRefreshToken(QStringLiteral("R"));
    authenticator->SetAccessTokenEndpoint(AStub.Url(QStringLiteral("/token")).toString());
    return authenticator;
}

int CountRequests(const HttpStub& AStub, const QString& APath) {
    int count = 0;
    for (const QJsonObject& request : AStub.Requests())
        count += request.value(QStringLiteral("path")).toString() == APath ? 1 : 0;
    return count;
}

} // namespace

class tst_CustomRESTMailReceiver : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { hostapi::HostLibraries::Initialize(); }

    void TokenRefreshedBeforeEachCall_data();
    void TokenRefreshedBeforeEachCall();
    void RefusedRefreshStopsTheCall();
    void WithoutAuthenticatorCallsGoStraightThrough();
    void ReceiveWithEmptyFilterKeepsMessages();
    void EveryRequestIsPreparedAgain();
    void GetJSONFailuresReachTheCaller();
    void CreateMessageIsNotListed();
};

void tst_CustomRESTMailReceiver::TokenRefreshedBeforeEachCall_data() {
    QTest::addColumn<int>("expiresIn");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("tokenRequests"); // the folder lookup refreshes too

    QTest::newRow("expired at once: every call but the update refreshes")
        << -1
        << QStringList({"Receive inbox [T1]", "Send Hello [T2]", "Delete m1 1 [T3]", "Move m1 archive [T4]",
                        "Update m1 [T4]"})
        << 5;
    QTest::newRow("valid for an hour: one refresh")
        << 3600
        << QStringList({"Receive inbox [T1]", "Send Hello [T1]", "Delete m1 1 [T1]", "Move m1 archive [T1]",
                        "Update m1 [T1]"})
        << 1;
}

void tst_CustomRESTMailReceiver::TokenRefreshedBeforeEachCall() {
    QFETCH(int, expiresIn);
    QFETCH(QStringList, calls);
    QFETCH(int, tokenRequests);

    QJsonArray answers;
    for (int i = 1; i <= 6; ++i)
        answers.append(TokenAnswer(QStringLiteral("T%1").arg(i), expiresIn));
    HttpStub stub(HttpStub::Script({HttpStub::Route(QStringLiteral("/token"), answers)}));
    const auto authenticator = NewAuthenticator(stub);
    RecordingReceiver receiver;
    receiver.SetOAuth2Authenticator(authenticator.get());

    TRESTMessage message;
    message.UID = QStringLiteral("m1");
    message.Subject = QStringLiteral("Hello");
    receiver.Receive(QStringLiteral("inbox"), mqfReaded | mqfUnread);
    receiver.Send(message);
    receiver.Delete(message, true);
    receiver.Move(message, QStringLiteral("archive"));
    receiver.UpdateMessage(message);
    QCOMPARE(receiver.Calls, calls);
    QCOMPARE(receiver.GetMailFolderIDByFolderName(QStringLiteral("Inbox/Sub")), QString());
    QCOMPARE(CountRequests(stub, QStringLiteral("/token")), tokenRequests);
    for (const QJsonObject& request : stub.Requests())
        QCOMPARE(request.value(QStringLiteral("body")).toString(),
                 QStringLiteral("grant_type=refresh_token&refresh_token=R&client_id=C&client_secret=S"));
}

void tst_CustomRESTMailReceiver::RefusedRefreshStopsTheCall() {
    HttpStub stub(HttpStub::Script({HttpStub::Route(
        QStringLiteral("/token"),
        {QJsonObject{
            {"status", 400},
            {"body",
             QStringLiteral("{\"error\":\"invalid_grant\",\"error_description\":\"Token expired\"}")}}})}));
    const auto authenticator = NewAuthenticator(stub);
    RecordingReceiver receiver;
    receiver.SetOAuth2Authenticator(authenticator.get());
    TRESTMessage message;

    const QString error = ThrownMessage([&] { receiver.Send(message); });
    QVERIFY2(error.contains(QLatin1String("Token expired")), qPrintable(error));
    QVERIFY2(!error.contains(QLatin1String("client_secret")) && !error.contains(QLatin1String("=S")),
             qPrintable(error));
    QVERIFY(ThrownMessage([&] {
                receiver.Receive(QString(), mqfUnread);
            }).contains(QLatin1String("Token expired")));
    QVERIFY(receiver.Calls.isEmpty());
}

void tst_CustomRESTMailReceiver::WithoutAuthenticatorCallsGoStraightThrough() {
    RecordingReceiver receiver;
    TRESTMessage message;
    message.Subject = QStringLiteral("Hi");
    receiver.Send(message);
    receiver.Receive(QString(), mqfReaded);
    QCOMPARE(receiver.Calls, QStringList({"Send Hi []", "Receive  []"}));
}

void tst_CustomRESTMailReceiver::ReceiveWithEmptyFilterKeepsMessages() {
    HttpStub stub(HttpStub::Script({HttpStub::Route(QStringLiteral("/token"), {TokenAnswer("T1", -1)}),
                                    HttpStub::Route(QStringLiteral("/messages"), {MessagesPage()})}));
    const auto authenticator = NewAuthenticator(stub);
    RecordingReceiver receiver;
    receiver.SetOAuth2Authenticator(authenticator.get());
    receiver.MessagesUrl = stub.Url(QStringLiteral("/messages"));
    receiver.MessageList().Add().UID = QStringLiteral("old");

    receiver.Receive(QStringLiteral("inbox"), {});
    QCOMPARE(receiver.MessageList().Count(), 1);
    QCOMPARE(receiver.MessageList().Items(0).UID, QStringLiteral("old"));
    QVERIFY(receiver.Calls.isEmpty());
    QVERIFY(stub.Requests().isEmpty());

    receiver.Receive(QStringLiteral("inbox"), mqfUnread);
    QCOMPARE(receiver.MessageList().Count(), 2);
    QVERIFY(receiver.MessageList().ByUID(QStringLiteral("old")) == nullptr);

    receiver.UpdateMessages();
    QCOMPARE(receiver.Calls.mid(1), QStringList({"Update m1 [T1]", "Update m2 [T1]"}));
}

void tst_CustomRESTMailReceiver::EveryRequestIsPreparedAgain() {
    HttpStub stub(HttpStub::Script(
        {HttpStub::Route(QStringLiteral("/token"), {TokenAnswer("T1", -1), TokenAnswer("T2", -1)}),
         HttpStub::Route(QStringLiteral("/messages"), {MessagesPage()})}));
    const auto authenticator = NewAuthenticator(stub);
    RecordingReceiver receiver;
    receiver.SetOAuth2Authenticator(authenticator.get());
    receiver.MessagesUrl = stub.Url(QStringLiteral("/messages"));

    receiver.Receive(QStringLiteral("inbox"), mqfReaded);
    receiver.Receive(QStringLiteral("inbox"), mqfReaded);
    QCOMPARE(receiver.MessageList().Count(), 2);
    QStringList seen;
    for (const QJsonObject& request : stub.Requests()) {
        if (request.value(QStringLiteral("path")).toString() != QLatin1String("/messages"))
            continue;
        const QJsonObject headers = request.value(QStringLiteral("headers")).toObject();
        QCOMPARE(request.value(QStringLiteral("method")).toString(), QStringLiteral("GET"));
        seen.append(headers.value(QStringLiteral("Content-Type")).toString() + QLatin1Char(' ') +
                    headers.value(QStringLiteral("Authorization")).toString());
    }
    QCOMPARE(seen, QStringList({"application/json Bearer T1", "application/json Bearer T2"}));
}

void tst_CustomRESTMailReceiver::GetJSONFailuresReachTheCaller() {
    HttpStub stub(HttpStub::Script(
        {HttpStub::Route(QStringLiteral("/text"),
                         {QJsonObject{{"status", 200}, {"body", "<html>no</html>"}}}),
         HttpStub::Route(QStringLiteral("/missing"), {QJsonObject{{"status", 404}, {"body", "{}"}}})}));
    RecordingReceiver receiver;

    const QString error = ThrownMessage([&] { receiver.GetJSON(stub.Url(QStringLiteral("/text"))); });
    QVERIFY2(
        error.startsWith(
            QStringLiteral("The answer of %1 is no JSON").arg(stub.Url(QStringLiteral("/text")).toString())),
        qPrintable(error));
    try {
        receiver.GetJSON(stub.Url(QStringLiteral("/missing")));
        QFAIL("a 404 answer must raise");
    } catch (const hostapi::EHttpStatusException& e) {
        QCOMPARE(e.Status(), 404);
    }
}

void tst_CustomRESTMailReceiver::CreateMessageIsNotListed() {
    RecordingReceiver receiver;
    std::unique_ptr<TRESTMessage> message = receiver.CreateMessage();
    QVERIFY(message != nullptr);
    QCOMPARE(receiver.MessageList().Count(), 0);
    QCOMPARE(message->Attachments().Count(), 0);
}

QTEST_MAIN(tst_CustomRESTMailReceiver)
#include "tst_CustomRESTMailReceiver.moc"
