#include "AuthProviderItem.h"
#include "AuthProviderList.h"
#include "IdOAuth2Bearer.h"
#include "IdSASLXOAUTH.h"
#include "ProviderMacros.h"
#include "ThrownMessage.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

using namespace emailmarketing;
using testsupport::ThrownMessage;

namespace {

void WriteFile(const QString& AFileName, const QByteArray& AContent) {
    QFile file(AFileName);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    file.write(AContent);
}

QByteArray Provider(const QString& AAuthName, const QString& ACaption = QString()) {
    return QJsonDocument(QJsonObject{{"AuthName", AAuthName}, {"Caption", ACaption}}).toJson();
}

TAuthProviderItem Item(const QByteArray& AJson) {
    return TAuthProviderItem(QJsonDocument::fromJson(AJson).object());
}

} // namespace

class tst_OAuth2ProviderList : public QObject {
    Q_OBJECT

private slots:
    void FolderWithBrokenFile();
    void LaterFileWins_data();
    void LaterFileWins();
    void FolderSkipsWhatIsNoProvider();
    void SingleFile_data();
    void SingleFile();
    void SingleFileNameRefused_data();
    void SingleFileNameRefused();
    void SASLClassFromAuthenticationType_data();
    void SASLClassFromAuthenticationType();
    void ProtocolsAndDefaults();
    void CreateSASLReuse_data();
    void CreateSASLReuse();
    void CreateSASLWithoutMechanismRefused();
    void MacrosExpanded_data();
    void MacrosExpanded();
    void ProviderPathsResolved_data();
    void ProviderPathsResolved();
};

void tst_OAuth2ProviderList::FolderWithBrokenFile() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("a.authprovider.json"), Provider("google", "Google"));
    WriteFile(dir.filePath("b.authprovider.json"), "\xEF\xBB\xBF" + Provider("microsoft", "Microsoft 365"));
    WriteFile(dir.filePath("c.authprovider.json"), R"({"AuthName": "broken", "ClientSecret": "s3cr3t)");
    TAuthProviderList list;
    const QString error = ThrownMessage([&] { list.LoadFromPath(dir.path()); });
    QVERIFY2(error.startsWith(QStringLiteral("Error on loading provider c.authprovider.json\r\nError: ")),
             qPrintable(error));
    QVERIFY2(!error.contains(QStringLiteral("s3cr3t")), qPrintable(error));
    QCOMPARE(list.Names(), (QStringList{"google", "microsoft"}));
    QCOMPARE(list.Item("microsoft")->Caption(), QStringLiteral("Microsoft 365"));
    QCOMPARE(list.Path(), dir.path() + QLatin1Char('/'));
}

void tst_OAuth2ProviderList::LaterFileWins_data() {
    QTest::addColumn<QStringList>("files"); // created in this order, all with AuthName "mail"
    QTest::addColumn<QString>("caption");   // the caption of the winner (= its file name)
    QTest::newRow("created in order") << QStringList{"a", "b"} << "b";
    QTest::newRow("created in reverse order") << QStringList{"z", "m"} << "z";
}

void tst_OAuth2ProviderList::LaterFileWins() {
    QFETCH(QStringList, files);
    QFETCH(QString, caption);
    QTemporaryDir dir;
    for (const QString& name : files)
        WriteFile(dir.filePath(name + ".authprovider.json"), Provider("mail", name));
    TAuthProviderList list;
    list.LoadFromPath(dir.path());
    QCOMPARE(list.Count(), 1);
    QCOMPARE(list.Item("mail")->Caption(), caption);
}

void tst_OAuth2ProviderList::FolderSkipsWhatIsNoProvider() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("array.authprovider.json"), "[1, 2]");
    WriteFile(dir.filePath("other.json"), Provider("other"));
    QVERIFY(QDir(dir.path()).mkdir("folder.authprovider.json"));
    WriteFile(dir.filePath("ok.authprovider.json"), Provider("ok"));
    TAuthProviderList list;
    list.LoadFromPath(dir.path());
    QCOMPARE(list.Names(), QStringList{"ok"});
    // A second load adds to what is there.
    QTemporaryDir second;
    WriteFile(second.filePath("x.authprovider.json"), Provider("x"));
    list.LoadFromPath(second.path());
    QCOMPARE(list.Names(), (QStringList{"ok", "x"}));
}

void tst_OAuth2ProviderList::SingleFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("authName"); // "<none>": no item, "<error>...": the error's start
    QTest::newRow("object") << Provider("gmail") << "gmail";
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF") + Provider("gmail") << "gmail";
    QTest::newRow("array") << QByteArray(R"(["gmail"])") << "<none>";
    QTest::newRow("broken") << QByteArray("{") << "<error>JSON error at offset";
}

void tst_OAuth2ProviderList::SingleFile() {
    QFETCH(QByteArray, content);
    QFETCH(QString, authName);
    QTemporaryDir dir;
    WriteFile(dir.filePath("gmail.authprovider.json"), content);
    std::shared_ptr<TAuthProviderItem> item;
    const QString error =
        ThrownMessage([&] { item = TAuthProviderList::LoadSingeFile(dir.path(), "gmail"); });
    if (authName.startsWith("<error>")) {
        QVERIFY2(error.startsWith(authName.mid(7)), qPrintable(error));
        return;
    }
    QCOMPARE(error, QStringLiteral("<no exception>"));
    QCOMPARE(item ? item->AuthName() : QStringLiteral("<none>"), authName);
}

void tst_OAuth2ProviderList::SingleFileNameRefused_data() {
    QTest::addColumn<QString>("authName");
    QTest::newRow("parent folder") << "../gmail";
    QTest::newRow("two dots alone") << "..";
    QTest::newRow("slash") << "sub/gmail";
    QTest::newRow("backslash") << "sub\\gmail";
    QTest::newRow("absolute") << "/etc/gmail";
    QTest::newRow("empty") << "";
}

void tst_OAuth2ProviderList::SingleFileNameRefused() {
    QFETCH(QString, authName);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("sub"));
    WriteFile(dir.filePath("sub/gmail.authprovider.json"), Provider("gmail"));
    WriteFile(dir.filePath(".authprovider.json"), Provider("hidden"));
    QCOMPARE(ThrownMessage([&] { TAuthProviderList::LoadSingeFile(dir.filePath("sub"), authName); }),
             QStringLiteral("Invalid provider name \"%1\".").arg(authName));
}

void tst_OAuth2ProviderList::SASLClassFromAuthenticationType_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("saslClass");
    QTest::newRow("OAUTHBEARER") << QByteArray(R"({"AuthenticationType":"OAUTHBEARER"})")
                                 << int(TSASLClass::IdOAuth2Bearer);
    QTest::newRow("XOAUTH2") << QByteArray(R"({"AuthenticationType":"XOAUTH2"})")
                             << int(TSASLClass::IdSASLXOAuth);
    QTest::newRow("lower case") << QByteArray(R"({"AuthenticationType":"oauthbearer"})")
                                << int(TSASLClass::None);
    QTest::newRow("PLAIN") << QByteArray(R"({"AuthenticationType":"PLAIN"})") << int(TSASLClass::None);
    QTest::newRow("missing") << QByteArray("{}") << int(TSASLClass::None);
}

void tst_OAuth2ProviderList::SASLClassFromAuthenticationType() {
    QFETCH(QByteArray, json);
    QFETCH(int, saslClass);
    QCOMPARE(int(Item(json).SASLClass()), saslClass);
}

void tst_OAuth2ProviderList::ProtocolsAndDefaults() {
    const TAuthProviderItem item = Item(R"({
        "transport": {"sending": {"default-protocol": "graph"}, "receiving": {"default-protocol": "imap"}},
        "localhost-authport": "8912",
        "protocols": [
            "not an object",
            {"name": "SMTP", "host": "wrong case"},
            {"name": "smtp", "host": "smtp.example.test", "port": 587, "tls": "UseExplicitTLS"},
            {"name": "smtp", "host": "second"}
        ]})");
    QCOMPARE(item.SendingDefaultTransportProtocol(), QStringLiteral("graph"));
    QCOMPARE(item.ReceivingDefaultTransportProtocol(), QStringLiteral("imap"));
    QCOMPARE(item.Integer("localhost-authport"), 8912);
    const std::optional<QJsonObject> smtp = item.Protocol("smtp");
    QVERIFY(smtp);
    QCOMPARE(smtp->value("host").toString(), QStringLiteral("smtp.example.test"));
    QCOMPARE(smtp->value("port").toInt(), 587);
    QVERIFY(!item.Protocol("imap"));

    const TAuthProviderItem empty = Item("{}");
    QCOMPARE(empty.SendingDefaultTransportProtocol(), QString());
    QCOMPARE(empty.ReceivingDefaultTransportProtocol(), QString());
    QCOMPARE(empty.Integer("localhost-authport"), 0);
    QCOMPARE(empty.AuthName(), QString());
    QVERIFY(!empty.Protocol("smtp"));
}

void tst_OAuth2ProviderList::CreateSASLReuse_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("secondUser");
    QTest::addColumn<QString>("secondHost");
    QTest::addColumn<int>("secondPort");
    QTest::addColumn<bool>("same");
    QTest::newRow("XOAUTH2 same user") << "XOAUTH2"
                                       << "u@x.test"
                                       << "other.host" << 25 << true;
    QTest::newRow("XOAUTH2 other user") << "XOAUTH2"
                                        << "v@x.test"
                                        << "smtp.x.test" << 587 << false;
    QTest::newRow("OAUTHBEARER same user, host, port") << "OAUTHBEARER"
                                                       << "u@x.test"
                                                       << "smtp.x.test" << 587 << true;
    QTest::newRow("OAUTHBEARER other port") << "OAUTHBEARER"
                                            << "u@x.test"
                                            << "smtp.x.test" << 465 << false;
    QTest::newRow("OAUTHBEARER other host") << "OAUTHBEARER"
                                            << "u@x.test"
                                            << "smtp2.x.test" << 587 << false;
    QTest::newRow("OAUTHBEARER other user") << "OAUTHBEARER"
                                            << "v@x.test"
                                            << "smtp.x.test" << 587 << false;
}

void tst_OAuth2ProviderList::CreateSASLReuse() {
    QFETCH(QString, type);
    QFETCH(QString, secondUser);
    QFETCH(QString, secondHost);
    QFETCH(int, secondPort);
    QFETCH(bool, same);
    TAuthProviderItem item(QJsonObject{{"AuthenticationType", type}});
    const auto first = item.CreateSASL("token1", "u@x.test", "smtp.x.test", 587);
    const auto second = item.CreateSASL("token2", secondUser, secondHost, secondPort);
    QCOMPARE(first == second, same);
    QCOMPARE(second->ServiceName(), type);
    QByteArray firstResponse;
    QByteArray secondResponse;
    QVERIFY(first->TryStartAuthenticate({}, {}, firstResponse));
    QVERIFY(second->TryStartAuthenticate({}, {}, secondResponse));
    // Both carry the token they were last given.
    QVERIFY(secondResponse.contains("auth=Bearer token2\x01\x01"));
    QVERIFY(firstResponse.contains(same ? "auth=Bearer token2\x01\x01" : "auth=Bearer token1\x01\x01"));
    if (type == QLatin1String("OAUTHBEARER"))
        QVERIFY(secondResponse.contains("port=" + QByteArray::number(secondPort) + '\x01'));
    // A third call like the first answers the first object again.
    QCOMPARE(item.CreateSASL("token3", "u@x.test", "smtp.x.test", 587), first);
}

void tst_OAuth2ProviderList::CreateSASLWithoutMechanismRefused() {
    TAuthProviderItem item(QJsonObject{{"AuthName", "plain"}, {"AuthenticationType", "xoauth2"}});
    QCOMPARE(ThrownMessage([&] { item.CreateSASL("t", "u", "h", 25); }),
             QStringLiteral("The provider \"plain\" names no SASL mechanism."));
}

void tst_OAuth2ProviderList::MacrosExpanded_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("withProvider");
    QTest::addColumn<QString>("expected");
    QTest::newRow("all three") << ".\\logo.png %language% %provider.caption%" << true
                               << "/prov/logo.png german Google Mail";
    QTest::newRow("every occurrence") << "%language%-%language%" << true << "german-german";
    QTest::newRow("case counts") << "%LANGUAGE% %Provider.Caption%" << true
                                 << "%LANGUAGE% %Provider.Caption%";
    QTest::newRow("without provider") << "%provider.caption%" << false << "%provider.caption%";
}

void tst_OAuth2ProviderList::MacrosExpanded() {
    QFETCH(QString, text);
    QFETCH(bool, withProvider);
    QFETCH(QString, expected);
    const TAuthProviderItem provider(QJsonObject{{"Caption", "Google Mail"}});
    QCOMPARE(ExpandProviderMacros(text, {"/prov", "german"}, withProvider ? &provider : nullptr), expected);
}

void tst_OAuth2ProviderList::ProviderPathsResolved_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("dot backslash") << ".\\texts\\%language%\\ok.html"
                                   << "/prov/texts/english/ok.html";
    QTest::newRow("plain relative") << "ok.html"
                                    << "/prov/ok.html";
    QTest::newRow("backslashes") << "texts\\ok.html"
                                 << "/prov/texts/ok.html";
    QTest::newRow("dot slash") << "./ok.html"
                               << "/prov/ok.html";
    QTest::newRow("absolute") << "/srv/ok.html"
                              << "/srv/ok.html";
}

void tst_OAuth2ProviderList::ProviderPathsResolved() {
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(ResolveProviderPath(path, {"/prov/", "english"}, nullptr), expected);
}

QTEST_GUILESS_MAIN(tst_OAuth2ProviderList)
#include "tst_OAuth2ProviderList.moc"
