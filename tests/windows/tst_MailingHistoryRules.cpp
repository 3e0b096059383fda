// The send history's rules: the job text in German and English, the grid action states, the
// subscription of the selected addresses on SQLite (in order, stopping at a missing address) and the
// row colours by address state.

#include "Database.h"
#include "MailingHistoryRules.h"
#include "PelmarisPlugin.h"
#include "QVException.h"
#include "VRNLang.h"
#include "support/TestDatabase.h"

#include <QTest>

using namespace emailmarketing;
using Actions = TMailingHistoryRules::TGridActions;
Q_DECLARE_METATYPE(Actions)

class tst_MailingHistoryRules : public QObject {
    Q_OBJECT

private slots:
    void jobTypeDescr_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<qint64>("parent");
        QTest::addColumn<int>("parentState");
        QTest::addColumn<QString>("text");
        QTest::newRow("list de") << "German" << qint64(-1) << 0 << "Versand an Verteilerliste";
        QTest::newRow("parent 0 de") << "German" << qint64(0) << 1 << "Versand an Verteilerliste";
        QTest::newRow("resend ok de")
            << "German" << qint64(4) << 1 << "Erneuter Versand an alle erfolgreich versendeten";
        QTest::newRow("resend failed de")
            << "German" << qint64(4) << 2 << "Erneuter Versand an alle fehlerhaft versendeten";
        QTest::newRow("resend other state de")
            << "German" << qint64(4) << 0 << "Erneuter Versand an alle fehlerhaft versendeten";
        QTest::newRow("list en") << "English" << qint64(-1) << 0 << "Sending to distribution list";
        QTest::newRow("resend failed en") << "English" << qint64(4) << 2 << "Resending to all failed";
    }
    void jobTypeDescr() {
        QFETCH(QString, language);
        QFETCH(qint64, parent);
        QFETCH(int, parentState);
        QFETCH(QString, text);
        hostapi::TVRNLang lang("MailingHistoryRules");
        lang.SetLanguage(language);
        QCOMPARE(TMailingHistoryRules::JobTypeDescr(lang, parent, parentState), text);
    }

    void gridActions_data() {
        QTest::addColumn<bool>("historyActive");
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("jobViewHoldsJob");
        QTest::addColumn<Actions>("expected");
        QTest::newRow("all enabled") << true << true << 3 << false << Actions{true, true, true};
        QTest::newRow("job running: no direct resend")
            << true << true << 3 << true << Actions{true, true, false};
        QTest::newRow("other tab") << false << true << 3 << false << Actions{};
        QTest::newRow("list closed") << true << false << 3 << false << Actions{};
        QTest::newRow("list empty") << true << true << 0 << false << Actions{};
    }
    void gridActions() {
        QFETCH(bool, historyActive);
        QFETCH(bool, open);
        QFETCH(int, rows);
        QFETCH(bool, jobViewHoldsJob);
        QFETCH(Actions, expected);
        QCOMPARE(TMailingHistoryRules::GridActions(historyActive, open, rows, jobViewHoldsJob), expected);
    }

    void subscriptionOfSelectedRows() {
        testsupport::TestDatabase db;
        const qint64 a = hostapi::Database::InsertRow("pelm_addresses_ass", {"name"}, {"A"});
        const qint64 b = hostapi::Database::InsertRow("pelm_addresses_ass", {"name"}, {"B"});
        const qint64 c = hostapi::Database::InsertRow("pelm_addresses_ass", {"name"}, {"C"});
        hostapi::TPelmarisPlugin plugin;
        const auto set = [&](qint64 AID, bool AOn) { plugin.SetSubscriptionState(AID, AOn); };
        TMailingHistoryRules::SetSubscription({a, c}, false, set);
        const auto state = [](qint64 AID) {
            return testsupport::Value("pelm_addresses_det", "isactive", "\"id\" = ?", {AID});
        };
        QCOMPARE(state(a).toInt(), 0);
        QVERIFY(state(b).isNull());
        QCOMPARE(state(c).toInt(), 0);
        TMailingHistoryRules::SetSubscription({c}, true, set);
        QCOMPARE(state(c).toInt(), 1);
        QCOMPARE(state(a).toInt(), 0);
        // A row whose address is gone stops there and says so.
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVUserMessageException,
                                 TMailingHistoryRules::SetSubscription({b, c + 100, a}, true, set));
        QCOMPARE(state(b).toInt(), 1);
        QCOMPARE(state(a).toInt(), 0);
    }

    void rowColour_data() {
        QTest::addColumn<bool>("filter");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QVariant>("isactive");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("subscribed") << true << false << QVariant(1) << QColor(0xC6, 0xEF, 0xCE);
        QTest::newRow("unsubscribed") << true << false << QVariant(0) << QColor(0xFF, 0xC7, 0xCE);
        QTest::newRow("undecided") << true << false << QVariant() << QColor();
        QTest::newRow("selected keeps the grid's") << true << true << QVariant(1) << QColor();
        QTest::newRow("filter off keeps the grid's") << false << false << QVariant(0) << QColor();
    }
    void rowColour() {
        QFETCH(bool, filter);
        QFETCH(bool, selected);
        QFETCH(QVariant, isactive);
        QFETCH(QColor, colour);
        QCOMPARE(TMailingHistoryRules::RowColor(filter, selected, isactive), colour);
    }
};

QTEST_MAIN(tst_MailingHistoryRules)
#include "tst_MailingHistoryRules.moc"
