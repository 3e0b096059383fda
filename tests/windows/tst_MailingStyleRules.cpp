// The mailing window's rules: editor pages and captions per style, the SMS counter, the text note
// and the job actions.
#include "MailingStyleRules.h"

#include <QtTest>

using namespace emailmarketing;
using namespace emailmarketing::MailingStyleRules;

Q_DECLARE_METATYPE(emailmarketing::TEmailStyle)
Q_DECLARE_METATYPE(emailmarketing::MailingStyleRules::TEditorPage)

class tst_MailingStyleRules : public QObject {
    Q_OBJECT

private slots:
    void storedValueGivesTheStyle_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<TEmailStyle>("style");
        QTest::newRow("0 plain text") << QVariant(0) << esPlainText;
        QTest::newRow("1 RTF") << QVariant(1) << esRTFText;
        QTest::newRow("2 HTML source") << QVariant(2) << esHTMLSource;
        QTest::newRow("3 SMS") << QVariant(3) << esSMS;
        QTest::newRow("4 HTML") << QVariant(4) << esHTML;
        QTest::newRow("7 is RTF") << QVariant(7) << esRTFText;
        QTest::newRow("-1 is RTF") << QVariant(-1) << esRTFText;
        QTest::newRow("null is RTF") << QVariant() << esRTFText;
        QTest::newRow("64-bit value") << QVariant(qint64(4)) << esHTML;
    }
    void storedValueGivesTheStyle() {
        QFETCH(QVariant, value);
        QFETCH(TEmailStyle, style);
        QCOMPARE(StyleOfValue(value), style);
    }

    void styleShowsItsPagesAndCaption_data() {
        QTest::addColumn<TEmailStyle>("style");
        QTest::addColumn<QString>("pages"); // P plain, R RTF, S source, H HTML
        QTest::addColumn<TEditorPage>("active");
        QTest::addColumn<QString>("subjectId");
        QTest::addColumn<bool>("attachements");
        QTest::addColumn<bool>("charCount");
        QTest::addColumn<bool>("importSource");
        QTest::newRow("plain text") << esPlainText << "P" << epPlainText << "IDS_SubCap" << true << false
                                    << false;
        QTest::newRow("RTF") << esRTFText << "PR" << epRTF << "IDS_SubCap" << true << false << true;
        QTest::newRow("HTML source") << esHTMLSource << "PS" << epHTMLSource << "IDS_SubCap" << true << false
                                     << true;
        QTest::newRow("SMS") << esSMS << "P" << epPlainText << "IDS_SubCapSMS" << false << true << false;
        QTest::newRow("HTML") << esHTML << "PH" << epHTML << "IDS_SubCap" << true << false << true;
    }
    void styleShowsItsPagesAndCaption() {
        QFETCH(TEmailStyle, style);
        QFETCH(QString, pages);
        QFETCH(TEditorPage, active);
        QFETCH(QString, subjectId);
        QFETCH(bool, attachements);
        QFETCH(bool, charCount);
        QFETCH(bool, importSource);
        QString shown;
        const QPair<TEditorPage, QChar> letters[] = {
            {epPlainText, 'P'}, {epRTF, 'R'}, {epHTMLSource, 'S'}, {epHTML, 'H'}};
        for (const auto& l : letters)
            if (PageVisible(style, l.first))
                shown += l.second;
        QCOMPARE(shown, pages);
        // the formatted page wins over a plain text page shown before
        QCOMPARE(ActivePage(style, epPlainText), active);
        const TStylePresentation p = Presentation(style);
        QCOMPARE(p.SubjectLabelId, subjectId);
        QCOMPARE(p.AttachementsTab, attachements);
        QCOMPARE(p.CharCountVisible, charCount);
        QCOMPARE(p.ImportHTMLSourceAction, importSource);
        QCOMPARE(p.CcBccEditable, style != esSMS);
    }

    void hiddenPageGivesWayToThePlainText() {
        QCOMPARE(ActivePage(esPlainText, epRTF), epPlainText);
        QCOMPARE(ActivePage(esSMS, epHTML), epPlainText);
    }

    void smsCounterFillsTheText_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << 0 << "Anzahl Zeichen: 0 (Aufgeteilt auf 0 SMS)";
        QTest::newRow("one") << 1 << "Anzahl Zeichen: 1 (Aufgeteilt auf 1 SMS)";
        QTest::newRow("160 fill one") << 160 << "Anzahl Zeichen: 160 (Aufgeteilt auf 1 SMS)";
        QTest::newRow("161 need two") << 161 << "Anzahl Zeichen: 161 (Aufgeteilt auf 2 SMS)";
        QTest::newRow("320 fill two") << 320 << "Anzahl Zeichen: 320 (Aufgeteilt auf 2 SMS)";
        QTest::newRow("321 need three") << 321 << "Anzahl Zeichen: 321 (Aufgeteilt auf 3 SMS)";
    }
    void smsCounterFillsTheText() {
        QFETCH(int, length);
        QFETCH(QString, text);
        QCOMPARE(CharCountText(QStringLiteral("Anzahl Zeichen: %1 (Aufgeteilt auf %2 SMS)"),
                               QString(length, QLatin1Char('x'))),
                 text);
    }

    void autoTextNoteOnlyForFormattedStylesWithoutText_data() {
        QTest::addColumn<TEmailStyle>("style");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("visible");
        QTest::newRow("RTF empty") << esRTFText << "" << true;
        QTest::newRow("HTML empty") << esHTML << "" << true;
        QTest::newRow("HTML source empty") << esHTMLSource << "" << true;
        QTest::newRow("HTML with text") << esHTML << "Hallo" << false;
        QTest::newRow("plain text empty") << esPlainText << "" << false;
        QTest::newRow("SMS empty") << esSMS << "" << false;
    }
    void autoTextNoteOnlyForFormattedStylesWithoutText() {
        QFETCH(TEmailStyle, style);
        QFETCH(QString, text);
        QFETCH(bool, visible);
        QCOMPARE(AutoTextNoteVisible(style, text), visible);
    }

    void jobActionsFollowListAndJob_data() {
        QTest::addColumn<qint64>("listID");
        QTest::addColumn<bool>("job");
        QTest::addColumn<QString>("enabled"); // E export, S start, P preview, C scheduler, A abort, J job tab
        QTest::newRow("no template") << qint64(-1) << false << "";
        QTest::newRow("template without job") << qint64(3) << false << "ESPC";
        QTest::newRow("template with job") << qint64(3) << true << "EPCAJ";
        QTest::newRow("list 0 without job") << qint64(0) << false << "ESPC";
        QTest::newRow("job without template") << qint64(-1) << true << "A";
    }
    void jobActionsFollowListAndJob() {
        QFETCH(qint64, listID);
        QFETCH(bool, job);
        QFETCH(QString, enabled);
        const TActionState s = ActionState(listID, job);
        QString shown;
        if (s.ExportTemplate)
            shown += 'E';
        if (s.SendingStart)
            shown += 'S';
        if (s.PreviewSelected)
            shown += 'P';
        if (s.SchedSending)
            shown += 'C';
        if (s.SendingAbort)
            shown += 'A';
        if (s.JobTabVisible)
            shown += 'J';
        QCOMPARE(shown, enabled);
    }

    void templateIsEditableOnlyShownAndWithoutJob() {
        QVERIFY(TemplateEditable(true, false));
        QVERIFY(!TemplateEditable(true, true));
        QVERIFY(!TemplateEditable(false, false));
    }

    void pickListNamesTheFiveStylesInOrder() {
        const QString list =
            StylePickList([](const QString& AId) { return QStringLiteral("<%1>").arg(AId); });
        QCOMPARE(list, QStringLiteral("0=<ES_PlainText>\r\n1=<ES_RTF>\r\n2=<ES_HTMLSource>\r\n3=<ES_SMS>\r\n"
                                      "4=<ES_HTML>"));
    }
};

QTEST_GUILESS_MAIN(tst_MailingStyleRules)
#include "tst_MailingStyleRules.moc"
