// The pure parts of the macro engine: predefined macro values on a fixed moment in German
// regional settings, field values as text, HTML escaping and the canonical copy-recipient form.

#include "EmailAddressList.h"
#include "HostLibraries.h"
#include "MacroEngine.h"
#include "QVException.h"
#include "RegionalSettings.h"

#include <QTest>
#include <QTimeZone>

using namespace emailmarketing;

class tst_MacroEngine : public QObject {
    Q_OBJECT

private slots:
    void predefinedValues_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("year two digits") << "PRE_YEAR2"
                                         << "24";
        QTest::newRow("year four digits") << "PRE_YEAR4"
                                          << "2024";
        QTest::newRow("month one digit") << "PRE_MONTH1"
                                         << "3";
        QTest::newRow("month two digits") << "PRE_MONTH2"
                                          << "03";
        QTest::newRow("month long") << "PRE_MONTH4"
                                    << "März";
        QTest::newRow("day one digit") << "PRE_DAY1"
                                       << "5";
        QTest::newRow("day two digits") << "PRE_DAY2"
                                        << "05";
        QTest::newRow("day long") << "PRE_DAY4"
                                  << "Dienstag";
        QTest::newRow("date") << "PRE_DATE"
                              << "05.03.24";
        QTest::newRow("time without zone") << "PRE_TIME"
                                           << "07:08:09";
        QTest::newRow("name in lower case") << "pre_year4"
                                            << "2024";
        QTest::newRow("user") << "PRE_USER"
                              << "42";
        QTest::newRow("mail count") << "PRE_MAILCOUNT"
                                    << "1250";
        QTest::newRow("list name") << "PRE_DISTRIBUTORLIST"
                                   << "Kunden";
        QTest::newRow("sender name") << "PRE_SENDERNAME"
                                     << "Muster GmbH";
        QTest::newRow("sender address") << "PRE_SENDEREMAIL"
                                        << "info@muster.de";
        QTest::newRow("reply address") << "PRE_REPLYTO"
                                       << "antwort@muster.de";
    }
    void predefinedValues() {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        TPredefinedMacroContext c;
        // Minutes 08 differ from the month 03: a pattern mixing them up shows.
        c.Now = QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9), QTimeZone(3600));
        c.Locale = QLocale(QLocale::German, QLocale::Germany);
        c.UserNumber = 42;
        c.MailCount = 1250;
        c.ListName = QStringLiteral("Kunden");
        c.SenderName = QStringLiteral("Muster GmbH");
        c.SenderEmail = QStringLiteral("info@muster.de");
        c.ReplyToEmail = QStringLiteral("antwort@muster.de");
        const std::optional<QString> value = PredefinedMacroValue(name, c);
        QVERIFY2(value.has_value(), qPrintable(name));
        QCOMPARE(*value, expected);
    }

    void unknownPredefinedHasNoValue() {
        QVERIFY(!PredefinedMacroValue(QStringLiteral("PRE_NOTHING"), {}).has_value());
        QVERIFY(!PredefinedMacroValue(QString(), {}).has_value());
    }

    void valueAsText_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("null") << QVariant() << "";
        QTest::newRow("text") << QVariant(QStringLiteral("Müller")) << "Müller";
        QTest::newRow("integer") << QVariant(qint64(1234567)) << "1234567";
        QTest::newRow("decimal comma") << QVariant(1234.5) << "1234,5";
        QTest::newRow("date only") << QVariant(QDateTime(QDate(2024, 3, 15), QTime(0, 0))) << "15.03.24";
        QTest::newRow("date and time, no milliseconds")
            << QVariant(QDateTime(QDate(2024, 3, 15), QTime(10, 30, 5, 123))) << "15.03.24 10:30";
    }
    void valueAsText() {
        QFETCH(QVariant, value);
        QFETCH(QString, expected);
        QCOMPARE(hostapi::RegionalSettings::ValueAsText(value, QLocale(QLocale::German, QLocale::Germany)),
                 expected);
    }

    void htmlEscaping() {
        QCOMPARE(HtmlEscaped(QStringLiteral("A & B <GmbH> \"x\" 'y'")),
                 QStringLiteral("A &amp; B &lt;GmbH&gt; &quot;x&quot; &#39;y&#39;"));
    }

    void replacementIsNotRescanned() {
        // The inserted value is not searched again by the same macro; letter case is ignored.
        QCOMPARE(ReplaceMacroText(QStringLiteral("%name% und %NAME%"), QStringLiteral("%NAME%"),
                                  QStringLiteral("%NAME%!")),
                 QStringLiteral("%NAME%! und %NAME%!"));
    }

    // One pass over the text gives what one pass per macro gives, in the order of the list.
    void replaceMacrosInOnePass_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        // Replacements: %A% -> "%B%a", %B% -> "b%A%", %C% -> "c".
        QTest::newRow("each once") << "x %A% y %B% z %C%"
                                   << "x b%A%a y b%A% z c";
        QTest::newRow("letter case ignored") << "%a%%c%%C%"
                                             << "b%A%acc";
        QTest::newRow("unknown name, its closing percent opens the next") << "%X%C%"
                                                                          << "%Xc";
        QTest::newRow("lone and numeric percent signs") << "50% of %C% and 100%"
                                                        << "50% of c and 100%";
        QTest::newRow("no macro") << "plain text"
                                  << "plain text";
        QTest::newRow("unclosed") << "%C"
                                  << "%C";
        QTest::newRow("empty name") << "%%C%"
                                    << "%c";
    }
    void replaceMacrosInOnePass() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const QList<TMacroReplacement> replacements{{"%A%", "%B%a"}, {"%B%", "b%A%"}, {"%C%", "c"}};
        QCOMPARE(ReplaceMacros(text, replacements), expected);
        // A long list (searched through an index of the names) answers the same.
        QList<TMacroReplacement> longList = replacements;
        for (int i = 0; i < 40; ++i)
            longList.append({QStringLiteral("%PAD%1%").arg(i), QStringLiteral("pad")});
        QCOMPARE(ReplaceMacros(text, longList), expected);
        QString sequential = text;
        for (const TMacroReplacement& r : replacements)
            sequential = ReplaceMacroText(sequential, r.Macro, r.Value);
        QCOMPARE(sequential, expected);
        // Macros that are not "%NAME%" are replaced one after another.
        QCOMPARE(ReplaceMacros(QStringLiteral("[x] %C%"), {{"[x]", "%C%"}, {"%C%", "c"}}),
                 QStringLiteral("c c"));
    }

    // A template's tricky spots, each compared with the expected text and with one replacement after
    // another: a list macro's value carrying macros, names that prefix others, non-ASCII names in
    // any letter case, adjacent macros, lone and unclosed percent signs, empty values.
    void replaceMacrosOnTrickyTemplates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("adjacent") << "%NAME%%NAME1%"
                                  << "M\u00fcllerEins";
        QTest::newRow("names that prefix others") << "%NAME1% %NAME% %NAME10% %NAM%"
                                                  << "Eins M\u00fcller %NAME10% %NAM%";
        QTest::newRow("non-ASCII name in any case") << "%\u00e4rztin%/%\u00c4RZTIN%"
                                                    << "Dr. \u00d6z/Dr. \u00d6z";
        QTest::newRow("lone percent before a macro") << "100 % %NAME%"
                                                     << "100 % M\u00fcller";
        QTest::newRow("unknown macro sharing its percent") << "%X%NAME%"
                                                           << "%XM\u00fcller";
        QTest::newRow("macros inside a list macro's value") << "%ANREDE%,"
                                                            << "Sehr geehrte  M\u00fcller,";
        QTest::newRow("empty value") << "[%TITLE%]"
                                     << "[]";
        QTest::newRow("unclosed after a macro") << "%NAME% 50%"
                                                << "M\u00fcller 50%";
        QTest::newRow("percent only") << "%"
                                      << "%";
    }
    void replaceMacrosOnTrickyTemplates() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const QList<TMacroReplacement> replacements{
            {"%ANREDE%", "Sehr geehrte %TITLE% %NAME%", false},
            {"%NAME%", QStringLiteral("M\u00fcller"), true},
            {"%NAME1%", "Eins", true},
            {QStringLiteral("%\u00c4RZTIN%"), QStringLiteral("Dr. \u00d6z"), true},
            {"%TITLE%", "", true}};
        QCOMPARE(ReplaceMacros(text, replacements), expected);
        QString sequential = text;
        for (const TMacroReplacement& r : replacements)
            sequential = ReplaceMacroText(sequential, r.Macro, r.Value);
        QCOMPARE(sequential, expected);
    }

    // A literal value is never searched for the later macros, in the single pass and in turn.
    void literalValuesStay_data() {
        QTest::addColumn<QString>("first"); // the first macro; the second is "%B%"
        QTest::newRow("single pass") << "%A%";
        QTest::newRow("in turn") << "[a]";
    }
    void literalValuesStay() {
        QFETCH(QString, first);
        const QString text = first + QStringLiteral(" %B% ") + first;
        QCOMPARE(ReplaceMacros(text, {{first, "%B%", true}, {"%B%", "b"}}), QStringLiteral("%B% b %B%"));
        QCOMPARE(ReplaceMacros(text, {{first, "%B%", false}, {"%B%", "b"}}), QStringLiteral("b b b"));
        // A literal value inserted later is not searched either.
        QCOMPARE(ReplaceMacros(text, {{first, "x%C%"}, {"%B%", "%C%", true}, {"%C%", "c"}}),
                 QStringLiteral("xc %C% xc"));
    }

    void canonicalAddressList_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("blank") << "  "
                               << "";
        QTest::newRow("one address") << "a@b.de"
                                     << "a@b.de";
        QTest::newRow("name and address") << "a@b.de;Name <c@d.de>"
                                          << "a@b.de, Name <c@d.de>";
        QTest::newRow("line break dropped") << "a@b.de,\r\nBcc: x@evil.org"
                                            << "a@b.de, Bcc: x@evil.org;";
        QTest::newRow("umlaut in name") << "Jürgen Müller <j@m.de>"
                                        << "Jürgen Müller <j@m.de>";
    }
    void canonicalAddressList() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        hostapi::HostLibraries::Initialize();
        const QString result = hostapi::CanonicalAddressList(text);
        QVERIFY2(!result.contains(QLatin1Char('\n')) && !result.contains(QLatin1Char('\r')),
                 qPrintable(result));
        QCOMPARE(result, expected);
    }
};

QTEST_MAIN(tst_MacroEngine)
#include "tst_MacroEngine.moc"
