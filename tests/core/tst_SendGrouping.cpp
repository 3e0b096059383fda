#include "EmailDocument.h"
#include "SendGrouping.h"
#include "SendPacket.h"

#include <QTest>

#include <memory>
#include <vector>

using namespace emailmarketing;

namespace {

// Documents with the given addresses, owned by the fixture.
struct Documents {
    std::vector<std::unique_ptr<TEmailDocument>> Owned;
    QList<TEmailDocument*> List;

    explicit Documents(const QStringList& AAddresses) {
        for (const QString& address : AAddresses) {
            Owned.push_back(std::make_unique<TEmailDocument>());
            Owned.back()->SetEmailAddress(address);
            List.append(Owned.back().get());
        }
    }
};

// "key:a@x,b@x|key:c@y" with the addresses of each group.
QString Describe(const TSendGroupList& AGroups) {
    QStringList groups;
    for (const TSendGroup& group : AGroups) {
        QStringList addresses;
        for (const TEmailDocument* document : group.Documents)
            addresses << document->EmailAddress();
        groups << group.Key + QLatin1Char(':') + addresses.join(QLatin1Char(','));
    }
    return groups.join(QLatin1Char('|'));
}

QStringList Addresses(const QList<TEmailDocument*>& ADocuments) {
    QStringList result;
    for (const TEmailDocument* document : ADocuments)
        result << document->EmailAddress();
    return result;
}

} // namespace

class tst_SendGrouping : public QObject {
    Q_OBJECT

private slots:
    void byDomain_data();
    void byDomain();
    void chaotic_data();
    void chaotic();
    void chaoticBeyondTheBucketLimitFillsTheSmallestGroup();
    void singleGroupHoldsThePacket();
    void takePacket_data();
    void takePacket();
};

void tst_SendGrouping::byDomain_data() {
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("groups");

    QTest::newRow("letter case joins domains")
        << QStringList{"a@X.de", "b@x.DE", "c@y.de"} << "X.de:a@X.de,b@x.DE|y.de:c@y.de";
    QTest::newRow("order of first appearance")
        << QStringList{"a@b.de", "c@a.de", "d@b.de", "e@a.de"} << "b.de:a@b.de,d@b.de|a.de:c@a.de,e@a.de";
    QTest::newRow("no domain part") << QStringList{"plain", "x@", "y@q.de"} << ":plain,x@|q.de:y@q.de";
    QTest::newRow("text after the first @")
        << QStringList{"a@b@c.de", "d@b@C.DE"} << "b@c.de:a@b@c.de,d@b@C.DE";
    QTest::newRow("non-ASCII letter case")
        << QStringList{"a@MÜLLER.de", "b@müller.de"} << "MÜLLER.de:a@MÜLLER.de,b@müller.de";
    QTest::newRow("empty packet") << QStringList{} << "";
}

void tst_SendGrouping::byDomain() {
    QFETCH(QStringList, addresses);
    QFETCH(QString, groups);
    const Documents documents(addresses);
    QCOMPARE(Describe(TSendGrouping::ByDomain(documents.List)), groups);
}

void tst_SendGrouping::chaotic_data() {
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("groups");

    QTest::newRow("one domain spreads")
        << QStringList{"a@x.de", "b@x.de", "c@x.de"} << ":a@x.de|:b@x.de|:c@x.de";
    QTest::newRow("domains share groups") << QStringList{"a@x.de", "b@y.de", "c@x.de", "d@y.de", "e@z.de"}
                                          << ":a@x.de,b@y.de,e@z.de|:c@x.de,d@y.de";
    QTest::newRow("letter case is one domain") << QStringList{"a@X.de", "b@x.DE"} << ":a@X.de|:b@x.DE";
    QTest::newRow("first group without the domain")
        << QStringList{"a@x", "b@x", "c@y", "d@y", "e@y"} << ":a@x,c@y|:b@x,d@y|:e@y";
}

void tst_SendGrouping::chaotic() {
    QFETCH(QStringList, addresses);
    QFETCH(QString, groups);
    const Documents documents(addresses);
    QCOMPARE(Describe(TSendGrouping::Chaotic(documents.List)), groups);
}

void tst_SendGrouping::chaoticBeyondTheBucketLimitFillsTheSmallestGroup() {
    QStringList addresses;
    for (int i = 0; i < 1002; ++i)
        addresses << QStringLiteral("r%1@one.de").arg(i);
    addresses << QStringLiteral("r1002@ONE.de") << QStringLiteral("other@two.de");
    const Documents documents(addresses);
    const TSendGroupList groups = TSendGrouping::Chaotic(documents.List);
    QCOMPARE(groups.size(), 1001);
    // The 1002nd document goes to the first group, the 1003rd to the second (then the smallest).
    QCOMPARE(Addresses(groups[0].Documents), (QStringList{"r0@one.de", "r1001@one.de", "other@two.de"}));
    QCOMPARE(Addresses(groups[1].Documents), (QStringList{"r1@one.de", "r1002@ONE.de"}));
    for (int i = 2; i < groups.size(); ++i) {
        QCOMPARE(groups[i].Documents.size(), 1);
        QVERIFY(groups[i].Key.isEmpty());
    }
}

void tst_SendGrouping::singleGroupHoldsThePacket() {
    const Documents documents({"+491701", "+491702", "+441703"});
    QCOMPARE(Describe(TSendGrouping::SingleGroup(documents.List)),
             QStringLiteral(":+491701,+491702,+441703"));
}

void tst_SendGrouping::takePacket_data() {
    QTest::addColumn<QString>("stack"); // one letter per document: D due, W waiting for its retry
    QTest::addColumn<int>("packetSize");
    QTest::addColumn<bool>("prepared");
    QTest::addColumn<QString>("taken");     // indexes of the taken documents
    QTest::addColumn<QString>("remaining"); // indexes left on the stack

    QTest::newRow("whole stack") << "DDD" << -1 << false << "012"
                                 << "";
    QTest::newRow("whole stack with one waiting") << "DWD" << -1 << true << ""
                                                  << "012";
    QTest::newRow("first due of a packet") << "DWDDD" << 3 << false << "023"
                                           << "14";
    QTest::newRow("too few while preparing") << "DD" << 3 << false << ""
                                             << "01";
    QTest::newRow("lowered to the stack once prepared") << "DD" << 3 << true << "01"
                                                        << "";
    QTest::newRow("three waiting two due, size lowered to 5") << "WWWDD" << 5 << true << ""
                                                              << "01234";
    QTest::newRow("empty stack") << "" << -1 << true << ""
                                 << "";
    QTest::newRow("packet size 0") << "DD" << 0 << true << ""
                                   << "01";
}

void tst_SendGrouping::takePacket() {
    QFETCH(QString, stack);
    QFETCH(int, packetSize);
    QFETCH(bool, prepared);
    QFETCH(QString, taken);
    QFETCH(QString, remaining);

    QStringList names;
    for (int i = 0; i < stack.size(); ++i)
        names << QString::number(i);
    const Documents documents(names);
    QList<TEmailDocument*> sendStack = documents.List;
    QList<TEmailDocument*> pending{documents.List.isEmpty() ? nullptr : documents.List.first()};
    const auto isDue = [&](const TEmailDocument& d) {
        return stack.at(d.EmailAddress().toInt()) == QLatin1Char('D');
    };

    const bool result = TSendPacket::Take(sendStack, packetSize, prepared, isDue, pending);
    QCOMPARE(result, !taken.isEmpty());
    QCOMPARE(Addresses(pending).join(QString()), taken);
    QCOMPARE(Addresses(sendStack).join(QString()), remaining);
}

QTEST_GUILESS_MAIN(tst_SendGrouping)
#include "tst_SendGrouping.moc"
