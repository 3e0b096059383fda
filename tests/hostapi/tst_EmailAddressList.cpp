#include "EmailAddressList.h"
#include "QVException.h"

#include <QtTest>

using hostapi::TEmailMailbox;

Q_DECLARE_METATYPE(QList<TEmailMailbox>)

namespace {

TEmailMailbox Box(const char* AAddress, const QString& AName = {}) {
    return {AName, QString::fromUtf8(AAddress)};
}

} // namespace

// The one rule for address lists of the engine and the transports.
class tst_EmailAddressList : public QObject {
    Q_OBJECT

private slots:
    void Mailboxes_data();
    void Mailboxes();
    void Canonical_data();
    void Canonical();
    void CopyList_data();
    void CopyList();
    void TextWithoutEntriesRaises();
};

void tst_EmailAddressList::Mailboxes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<TEmailMailbox>>("expected");
    QTest::newRow("semicolons and commas separate")
        << "a@x.test; b@x.test;c@x.test, d@x.test"
        << QList<TEmailMailbox>{Box("a@x.test"), Box("b@x.test"), Box("c@x.test"), Box("d@x.test")};
    QTest::newRow("a group stays a group")
        << "Team: a@x.test, b@x.test; c@x.test"
        << QList<TEmailMailbox>{Box("a@x.test"), Box("b@x.test"), Box("c@x.test")};
    QTest::newRow("word without @ is no recipient")
        << "chef@firma.test; buchhaltung" << QList<TEmailMailbox>{Box("chef@firma.test")};
    QTest::newRow("nothing after @") << "a@, b@x.test" << QList<TEmailMailbox>{Box("b@x.test")};
    QTest::newRow("line break cannot inject a header")
        << "carl@x.test\nX-Injected: yes" << QList<TEmailMailbox>{Box("carl@x.test")};
    QTest::newRow("line break inside a group ends it")
        << "Team: a@x.test\r\nb@x.test" << QList<TEmailMailbox>{Box("a@x.test"), Box("b@x.test")};
    QTest::newRow("semicolon and line break inside quotes")
        << "\"Müller; Anna\r\n\" <anna@x.test>;bert@x.test"
        << QList<TEmailMailbox>{Box("anna@x.test", QStringLiteral("Müller; Anna")), Box("bert@x.test")};
    QTest::newRow("NUL removed") << QStringLiteral("an") + QChar(0) + QStringLiteral("na@x.test")
                                 << QList<TEmailMailbox>{Box("anna@x.test")};
    QTest::newRow("only words") << "nobody, nowhere" << QList<TEmailMailbox>{};
}

void tst_EmailAddressList::Mailboxes() {
    QFETCH(QString, text);
    QFETCH(QList<TEmailMailbox>, expected);
    const QList<TEmailMailbox> result = hostapi::EmailMailboxes(text);
    QStringList shown;
    for (const TEmailMailbox& mailbox : result)
        shown.append(mailbox.Name + QLatin1Char('|') + mailbox.Address);
    QVERIFY2(result == expected, qPrintable(shown.join(QLatin1String(", "))));
}

void tst_EmailAddressList::Canonical_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("semicolons") << "a@x.test; b@x.test;c@x.test"
                                << "a@x.test, b@x.test, c@x.test";
    QTest::newRow("group kept") << "Team: a@x.test, b@x.test;c@x.test"
                                << "Team: a@x.test, b@x.test;, c@x.test";
    QTest::newRow("entries without domain left out") << "chef@firma.test; buchhaltung; x@"
                                                     << "chef@firma.test";
    QTest::newRow("group of words only left out") << "carl@x.test\nX-Injected: yes"
                                                  << "carl@x.test";
    QTest::newRow("all without domain: empty") << "buchhaltung"
                                               << "";
    QTest::newRow("line breaks only") << "\r\n"
                                      << "";
}

void tst_EmailAddressList::Canonical() {
    QFETCH(QString, text);
    QTEST(hostapi::CanonicalAddressList(text), "expected");
}

void tst_EmailAddressList::CopyList_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("leftOut");
    QTest::newRow("blank") << " " << "" << false;
    QTest::newRow("trailing separator") << "a@x.test;" << "a@x.test" << false;
    QTest::newRow("separator of an empty value") << ";" << "" << true;
    QTest::newRow("name without address") << "Hans Muster <>" << "" << true;
    QTest::newRow("one of two without address") << "a@x.test, Hans <>" << "a@x.test" << true;
    QTest::newRow("separators only") << ",;," << "" << true;
    QTest::newRow("comma in a quoted name") << "\"Muster, Hans\" <h@x.test>"
                                            << "\"Muster, Hans\" <h@x.test>" << false;
    QTest::newRow("group") << "Team: a@x.test, b@x.test;" << "Team: a@x.test, b@x.test;" << false;
}

void tst_EmailAddressList::CopyList() {
    QFETCH(QString, text);
    QFETCH(bool, leftOut);
    bool reported = !leftOut; // the call must set it either way
    QTEST(hostapi::CanonicalCopyList(text, reported), "expected");
    QCOMPARE(reported, leftOut);
}

void tst_EmailAddressList::TextWithoutEntriesRaises() {
    QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, hostapi::CanonicalAddressList(QStringLiteral(",;,")));
}

QTEST_GUILESS_MAIN(tst_EmailAddressList)
#include "tst_EmailAddressList.moc"
