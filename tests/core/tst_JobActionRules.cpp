// The action table and the refusals of the entry points, on state sets alone.

#include "JobActionRules.h"

#include "QVException.h"

#include <QTest>

using namespace emailmarketing;

Q_DECLARE_METATYPE(emailmarketing::TEMLAction)

namespace {

quint16 Bits(std::initializer_list<TJobState> AStates) { return TJobStateSet(AStates).ToInt(); }

// The refusal text of ACheck for AState; "" when it lets the entry run.
QString RefusalOf(void (*ACheck)(TJobStateSet), TJobStateSet AState) {
    try {
        ACheck(AState);
    } catch (const hostapi::EQVUserMessageException& E) {
        return E.Message();
    }
    return {};
}

} // namespace

class tst_JobActionRules : public QObject {
    Q_OBJECT

private slots:
    void canAction_data();
    void canAction();
    void refusal_data();
    void refusal();
    void stateSetText_data();
    void stateSetText();
};

void tst_JobActionRules::canAction_data() {
    QTest::addColumn<TEMLAction>("action");
    QTest::addColumn<quint16>("state");
    QTest::addColumn<int>("documents");
    QTest::addColumn<int>("failed");
    QTest::addColumn<bool>("allowed");

    const quint16 init = Bits({jsInitialized});
    const quint16 previewed = Bits({jsInitialized, jsPreparedPreview});
    QTest::newRow("start: initialized") << eaStart << init << 0 << 0 << true;
    QTest::newRow("start: previewed") << eaStart << previewed << 5 << 0 << true;
    QTest::newRow("start: autostarted") << eaStart << Bits({jsInitialized, jsAutoStarted}) << 0 << 0 << false;
    QTest::newRow("start: empty") << eaStart << Bits({}) << 0 << 0 << false;
    QTest::newRow("start: preparing preview") << eaStart << Bits({jsInitialized, jsPreparingPreview}) << 0 << 0
                                              << false;
    QTest::newRow("prepare: initialized") << eaPrepare << init << 0 << 0 << true;
    QTest::newRow("prepare: prepared") << eaPrepare << Bits({jsInitialized, jsPrepared}) << 3 << 0 << false;
    QTest::newRow("scheduler: previewed") << eaChangeScheduler << previewed << 0 << 0 << true;
    QTest::newRow("scheduler: sent") << eaChangeScheduler << Bits({jsInitialized, jsSent}) << 0 << 0 << false;
    QTest::newRow("reset: initialized") << eaResetJob << init << 0 << 0 << false;
    QTest::newRow("reset: previewed") << eaResetJob << previewed << 0 << 0 << false;
    QTest::newRow("reset: autostarted") << eaResetJob << Bits({jsInitialized, jsAutoStarted}) << 0 << 0 << true;
    QTest::newRow("reset: empty") << eaResetJob << Bits({}) << 0 << 0 << true;
    QTest::newRow("send: preparing") << eaSend << Bits({jsPreparing}) << 0 << 0 << true;
    QTest::newRow("send: prepared") << eaSend << Bits({jsInitialized, jsPrepared}) << 0 << 0 << true;
    QTest::newRow("send: preparing and sending") << eaSend << Bits({jsPreparing, jsSending}) << 0 << 0 << false;
    QTest::newRow("send: initialized") << eaSend << init << 0 << 0 << false;
    QTest::newRow("preview: no documents") << eaPreview << Bits({jsInitialized, jsPrepared}) << 0 << 3 << false;
    QTest::newRow("preview: documents") << eaPreview << init << 1 << 0 << true;
    QTest::newRow("preview failed: none failed") << eaPreviewFailed << Bits({jsSent}) << 3 << 0 << false;
    QTest::newRow("preview failed: one failed") << eaPreviewFailed << init << 0 << 1 << true;
    QTest::newRow("cancel: sending") << eaCancelJob << Bits({jsSending}) << 0 << 0 << true;
    QTest::newRow("cancel: preparing") << eaCancelJob << Bits({jsPreparing}) << 0 << 0 << true;
    QTest::newRow("cancel: preparing preview") << eaCancelJob << Bits({jsPreparingPreview}) << 0 << 0 << false;
    QTest::newRow("cancel: initialized") << eaCancelJob << init << 0 << 0 << false;
    QTest::newRow("kill: sending") << eaKillJob << Bits({jsSending}) << 0 << 0 << true;
    QTest::newRow("kill: empty") << eaKillJob << Bits({}) << 0 << 0 << true;
    QTest::newRow("prepare preview: initialized") << eaPreparePreview << init << 0 << 0 << true;
    QTest::newRow("prepare preview: previewed") << eaPreparePreview << previewed << 0 << 0 << false;
    QTest::newRow("prepare preview: preparing") << eaPreparePreview << Bits({jsPreparing}) << 0 << 0 << false;
    QTest::newRow("prepare preview: sent") << eaPreparePreview << Bits({jsInitialized, jsSent}) << 0 << 0 << true;
    QTest::newRow("kill idle: sent") << aeKillIdle << Bits({jsInitialized, jsSent}) << 0 << 0 << true;
    QTest::newRow("kill idle: preparing preview") << aeKillIdle << Bits({jsInitialized, jsPreparingPreview}) << 0
                                                  << 0 << false;
    QTest::newRow("kill idle: preparing") << aeKillIdle << Bits({jsPreparing}) << 0 << 0 << false;
    QTest::newRow("kill idle: sending") << aeKillIdle << Bits({jsSending}) << 0 << 0 << false;
    QTest::newRow("unknown action") << static_cast<TEMLAction>(11) << init << 1 << 1 << false;
}

void tst_JobActionRules::canAction() {
    QFETCH(TEMLAction, action);
    QFETCH(quint16, state);
    QFETCH(int, documents);
    QFETCH(int, failed);
    QFETCH(bool, allowed);
    QCOMPARE(TJobActionRules::CanAction(action, TJobStateSet::FromInt(state), documents, failed), allowed);
}

void tst_JobActionRules::refusal_data() {
    QTest::addColumn<bool>("send");
    QTest::addColumn<quint16>("state");
    QTest::addColumn<QString>("message");

    const quint16 init = Bits({jsInitialized});
    QTest::newRow("prepare: initialized") << false << init << "";
    QTest::newRow("prepare: previewed") << false << Bits({jsInitialized, jsPreparedPreview}) << "";
    // The first matching refusal wins: sent before sending before prepared.
    QTest::newRow("prepare: sent") << false << Bits({jsPrepared, jsSending, jsSent})
                                   << "job is allready prepared and sent!";
    QTest::newRow("prepare: sending") << false << Bits({jsPrepared, jsSending})
                                      << "job is allready prepared and is currently on sending!";
    QTest::newRow("prepare: prepared") << false << Bits({jsPrepared, jsPreparing}) << "job is allready prepared!";
    QTest::newRow("prepare: preparing") << false << Bits({jsPreparing}) << "Job is allready preparing!";
    QTest::newRow("prepare: preparing preview") << false << Bits({jsPreparingPreview})
                                                << "Job is allready preparing!";
    QTest::newRow("send: prepared") << true << Bits({jsPrepared}) << "";
    QTest::newRow("send: preparing") << true << Bits({jsPreparing}) << "";
    QTest::newRow("send: initialized") << true << init << "Job has not prepared or preparing not startet yet!";
    QTest::newRow("send: preparing preview") << true << Bits({jsPreparingPreview})
                                             << "Job has not prepared or preparing not startet yet!";
    QTest::newRow("send: sending") << true << Bits({jsPrepared, jsSending}) << "Job is allready on sending!";
}

void tst_JobActionRules::refusal() {
    QFETCH(bool, send);
    QFETCH(quint16, state);
    QFETCH(QString, message);
    QCOMPARE(RefusalOf(send ? &TJobActionRules::CheckSend : &TJobActionRules::CheckPrepare,
                       TJobStateSet::FromInt(state)),
             message);
}

void tst_JobActionRules::stateSetText_data() {
    QTest::addColumn<quint16>("state");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << Bits({}) << "{}";
    QTest::newRow("ordinal order") << Bits({jsPrepared, jsInitialized}) << "{jsInitialized, jsPrepared}";
    QTest::newRow("last state") << Bits({jsThrottling, jsRegisterServiceFetched})
                                << "{jsRegisterServiceFetched, jsThrottling}";
}

void tst_JobActionRules::stateSetText() {
    QFETCH(quint16, state);
    QFETCH(QString, text);
    QCOMPARE(TJobStateSet::FromInt(state).ToString(), text);
}

QTEST_GUILESS_MAIN(tst_JobActionRules)
#include "tst_JobActionRules.moc"
