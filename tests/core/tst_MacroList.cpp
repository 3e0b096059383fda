// TMacroList / TMacroItem / TMacroConditionItem: macro values per record of a real address table,
// the typed condition comparison, generated names, deleted ids, changed marks and deep copies.

#include "MacroList.h"

#include "Database.h"
#include "QVException.h"
#include "QVRecordSet.h"
#include "support/TestDatabase.h"

#include <QDateTime>
#include <QTest>

using namespace emailmarketing;
using hostapi::Database;
using hostapi::EQVException;
using hostapi::TQVRecordSet;
using testsupport::TestDatabase;

namespace {

const QString kAddresses = QStringLiteral("pelm_addresses_ass");

// Inserts one address row with the given field values.
void AddAddress(const QVariantMap& fields) {
    Database::InsertRow(kAddresses, fields.keys(), fields.values());
}

// The address table, records in id order.
std::unique_ptr<TQVRecordSet> OpenAddresses() {
    auto rs = std::make_unique<TQVRecordSet>(kAddresses);
    rs->Open();
    return rs;
}

TMacroConditionItem* AddCondition(TMacroItem* macro, TMacroCondition condition, const QString& field,
                                  const QString& literal, const QString& result, bool resultIsField = false) {
    TMacroConditionItem* c = macro->Add();
    c->SetCondition(condition);
    c->SetValue1IsField(!field.isEmpty());
    c->SetConditionValue1(field);
    c->SetConditionValue2(literal);
    c->SetMacroValue(result);
    c->SetMacroValueIsField(resultIsField);
    return c;
}

// The greeting macro: salutation "Herr" / "Frau", else "Hallo".
TMacroItem* AddGreeting(TMacroList& list) {
    TMacroItem* m = list.Add();
    m->SetMacroName("ANREDE");
    AddCondition(m, maEQ, "salutation", "Herr", "Sehr geehrter Herr");
    AddCondition(m, maEQ, "salutation", "Frau", "Sehr geehrte Frau");
    AddCondition(m, maNONE, {}, {}, "Hallo");
    return m;
}

QString ThrownMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const EQVException& e) {
        return e.Message();
    }
    return {};
}

} // namespace

class tst_MacroList : public QObject {
    Q_OBJECT

private slots:
    // Each row of a real address table gets the result of its first holding condition.
    void greetingFollowsTheFirstHoldingCondition_data() {
        QTest::addColumn<QVariant>("salutation");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Herr") << QVariant("Herr") << "Sehr geehrter Herr";
        QTest::newRow("Frau") << QVariant("Frau") << "Sehr geehrte Frau";
        QTest::newRow("other text falls to maNONE") << QVariant("Divers") << "Hallo";
        QTest::newRow("case matters") << QVariant("herr") << "Hallo";
        QTest::newRow("not trimmed") << QVariant("Herr ") << "Hallo";
        QTest::newRow("empty field") << QVariant(QMetaType::fromType<QString>()) << "Hallo";
    }
    void greetingFollowsTheFirstHoldingCondition() {
        QFETCH(QVariant, salutation);
        QFETCH(QString, expected);
        TestDatabase tdb;
        AddAddress({{"name", "Vorher"}, {"salutation", "Frau"}});
        AddAddress({{"name", "Empfänger"}, {"salutation", salutation}});
        auto rs = OpenAddresses();
        TMacroList list;
        const TMacroItem* greeting = AddGreeting(list);
        QCOMPARE(greeting->GetMacroValue(1, *rs), expected);
        QCOMPARE(greeting->GetMacroValue(0, *rs), QStringLiteral("Sehr geehrte Frau"));
        QCOMPARE(rs->RecNo(), 0); // reading a record does not move the record set
    }

    // A result taken from a field is that field's text; an empty one gives "", not the next result.
    void fieldResultOfTheHoldingConditionDecides_data() {
        QTest::addColumn<QVariant>("title");
        QTest::addColumn<QString>("expected");
        QTest::newRow("field with text") << QVariant("Dr.") << "Dr.";
        QTest::newRow("empty field") << QVariant(QMetaType::fromType<QString>()) << "";
    }
    void fieldResultOfTheHoldingConditionDecides() {
        QFETCH(QVariant, title);
        QFETCH(QString, expected);
        TestDatabase tdb;
        AddAddress({{"salutation", "Herr"}, {"title", title}});
        auto rs = OpenAddresses();
        TMacroList list;
        TMacroItem* m = list.Add();
        AddCondition(m, maEQ, "salutation", "Herr", "title", true);
        AddCondition(m, maNONE, {}, {}, "Hallo");
        QCOMPARE(m->GetMacroValue(0, *rs), expected);
    }

    void macroWithoutHoldingConditionIsEmpty() {
        TestDatabase tdb;
        AddAddress({{"salutation", "Frau"}});
        auto rs = OpenAddresses();
        TMacroList list;
        TMacroItem* m = list.Add();
        QCOMPARE(m->GetMacroValue(0, *rs), QString());
        AddCondition(m, maEQ, "salutation", "Herr", "Sehr geehrter Herr");
        QCOMPARE(m->GetMacroValue(0, *rs), QString());
    }

    // The typed comparison of a field (as the record set types it) with a literal or another field.
    void conditionComparesTyped_data() {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("condition");
        QTest::addColumn<QString>("operand");
        QTest::addColumn<bool>("operandIsField");
        QTest::addColumn<bool>("expected");
        const QVariantMap nine{{"ptypeid", 9}};
        const QVariantMap noNumber{{"ptypeid", QVariant(QMetaType::fromType<qint64>())}, {"name", "x"}};
        const QVariantMap birthday{{"birthday", QDateTime(QDate(1980, 3, 15), QTime(0, 0))}};
        const QVariantMap birthdayNoon{{"birthday", QDateTime(QDate(1980, 3, 15), QTime(12, 30))}};
        const QVariantMap zeta{{"name", "Zeta"}, {"surname", "alpha"}};
        const QVariantMap noName{{"name", QVariant(QMetaType::fromType<QString>())}, {"ptypeid", 1}};
        QTest::newRow("9 > \"10\" compares as numbers")
            << nine << "ptypeid" << int(maGT) << "10" << false << false;
        QTest::newRow("9 < \"10\"") << nine << "ptypeid" << int(maLT) << "10" << false << true;
        QTest::newRow("9 = \"9,0\" (comma separator)")
            << nine << "ptypeid" << int(maEQ) << "9,0" << false << true;
        QTest::newRow("9 >= \"8.5\" (dot separator)")
            << nine << "ptypeid" << int(maEQGT) << "8.5" << false << true;
        QTest::newRow("9 <= \"-3\"") << nine << "ptypeid" << int(maEQLT) << "-3" << false << false;
        QTest::newRow("9 <> \"9\"") << nine << "ptypeid" << int(maNEQ) << "9" << false << false;
        QTest::newRow("\"9.000\" is nine, not nine thousand")
            << nine << "ptypeid" << int(maEQ) << "9.000" << false << true;
        QTest::newRow("maNONE reads but never converts")
            << nine << "ptypeid" << int(maNONE) << "abc" << false << true;
        QTest::newRow("unknown condition never holds") << nine << "ptypeid" << 7 << "9" << false << false;
        QTest::newRow("texts by code point: Z < a")
            << zeta << "name" << int(maLT) << "alpha" << false << true;
        // U+1F600 is stored as surrogates (0xD83D 0xDE00), below U+FF21 in UTF-16 units.
        const QVariantMap emoji{{"name", QString::fromUtf8("x\xF0\x9F\x98\x80")}};
        QTest::newRow("texts by code point: U+1F600 > U+FF21")
            << emoji << "name" << int(maGT) << QString::fromUtf8("x\xEF\xBC\xA1") << false << true;
        QTest::newRow("texts by code point: U+1F600 < U+1F601")
            << emoji << "name" << int(maLT) << QString::fromUtf8("x\xF0\x9F\x98\x81") << false << true;
        QTest::newRow("texts by code point: a prefix sorts first")
            << zeta << "name" << int(maGT) << "Zet" << false << true;
        QTest::newRow("texts by code point: umlaut after z")
            << zeta << "name" << int(maLT) << QString::fromUtf8("Z\xC3\xA4") << false << true;
        QTest::newRow("texts are case-sensitive") << zeta << "name" << int(maEQ) << "zeta" << false << false;
        QTest::newRow("two text fields") << zeta << "name" << int(maGT) << "surname" << true << false;
        QTest::newRow("number field against text field")
            << QVariantMap{{"ptypeid", 12}, {"zipcode", "9"}} << "ptypeid" << int(maGT) << "zipcode" << true
            << true;
        QTest::newRow("empty text field = \"\"") << noName << "name" << int(maEQ) << "" << false << true;
        QTest::newRow("empty text field < any text") << noName << "name" << int(maLT) << "A" << false << true;
        QTest::newRow("empty number field < any number")
            << noNumber << "ptypeid" << int(maLT) << "-100" << false << true;
        QTest::newRow("empty number field <> \"0\"")
            << noNumber << "ptypeid" << int(maNEQ) << "0" << false << true;
        QTest::newRow("empty field = empty field")
            << noNumber << "ptypeid" << int(maEQ) << "birthday" << true << true;
        QTest::newRow("\"\" against a number counts as empty")
            << nine << "ptypeid" << int(maGT) << "" << false << true;
        QTest::newRow("date = German date")
            << birthday << "birthday" << int(maEQ) << "15.03.1980" << false << true;
        QTest::newRow("date = short German date")
            << birthday << "birthday" << int(maEQ) << "15.3.1980" << false << true;
        QTest::newRow("date < ISO date")
            << birthday << "birthday" << int(maLT) << "1980-03-16" << false << true;
        QTest::newRow("date-time > German date")
            << birthdayNoon << "birthday" << int(maGT) << "15.03.1980" << false << true;
        QTest::newRow("date-time = German date-time")
            << birthdayNoon << "birthday" << int(maEQ) << "15.03.1980 12:30" << false << true;
        QTest::newRow("date-time = ISO date-time")
            << birthdayNoon << "birthday" << int(maEQ) << "1980-03-15T12:30:00" << false << true;
    }
    void conditionComparesTyped() {
        QFETCH(QVariantMap, record);
        QFETCH(QString, field);
        QFETCH(int, condition);
        QFETCH(QString, operand);
        QFETCH(bool, operandIsField);
        QFETCH(bool, expected);
        TestDatabase tdb;
        AddAddress(record);
        auto rs = OpenAddresses();
        TMacroList list;
        TMacroItem* m = list.Add();
        TMacroConditionItem* c = AddCondition(m, TMacroCondition(condition), field, operand, "yes");
        c->SetValue2IsField(operandIsField);
        QCOMPARE(c->Check(0, *rs), expected);
        QCOMPARE(m->GetMacroValue(0, *rs), expected ? QStringLiteral("yes") : QString());
    }

    // A text that does not convert to the other operand's type raises to the caller of GetMacroValue,
    // naming the macro and the operand (a field by its name, never by a recipient's value).
    void unconvertibleOperandRaises_data() {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("operand");
        QTest::addColumn<bool>("operandIsField");
        QTest::addColumn<QString>("message");
        const QVariantMap nine{{"ptypeid", 9}, {"zipcode", "D-1"}};
        const QVariantMap birthday{{"birthday", QDateTime(QDate(1980, 3, 15), QTime(0, 0))}, {"ptypeid", 1}};
        QTest::newRow("letters against a number")
            << nine << "ptypeid"
            << "abc" << false << "Macro \"TEST\": \"abc\" is not a number";
        QTest::newRow("blanks are not trimmed") << nine << "ptypeid"
                                                << " 9" << false << "Macro \"TEST\": \" 9\" is not a number";
        QTest::newRow("thousands separator")
            << nine << "ptypeid"
            << "1.000,5" << false << "Macro \"TEST\": \"1.000,5\" is not a number";
        QTest::newRow("text field against a number")
            << nine << "ptypeid"
            << "zipcode" << true << "Macro \"TEST\": the value of field \"zipcode\" is not a number";
        QTest::newRow("invalid date")
            << birthday << "birthday"
            << "31.02.1980" << false << "Macro \"TEST\": \"31.02.1980\" is not a date";
        QTest::newRow("number against a date")
            << birthday << "birthday"
            << "ptypeid" << true
            << "Macro \"TEST\": the value of field \"birthday\" cannot be compared "
               "with the value of field \"ptypeid\"";
    }
    void unconvertibleOperandRaises() {
        QFETCH(QVariantMap, record);
        QFETCH(QString, field);
        QFETCH(QString, operand);
        QFETCH(bool, operandIsField);
        QFETCH(QString, message);
        TestDatabase tdb;
        AddAddress(record);
        auto rs = OpenAddresses();
        TMacroList list;
        TMacroItem* m = list.Add();
        m->SetMacroName("TEST");
        AddCondition(m, maGT, field, operand, "yes")->SetValue2IsField(operandIsField);
        QCOMPARE(ThrownMessage([&] { m->GetMacroValue(0, *rs); }), message);
    }

    // A field the schema does not know, or a record the record set does not hold, raises.
    void unreadableOperandRaises_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("recNo");
        QTest::newRow("unknown field") << "nosuchfield" << 0;
        QTest::newRow("record past the end") << "name" << 1;
        QTest::newRow("negative record number") << "name" << -1;
    }
    void unreadableOperandRaises() {
        QFETCH(QString, field);
        QFETCH(int, recNo);
        TestDatabase tdb;
        AddAddress({{"name", "x"}});
        auto rs = OpenAddresses();
        TMacroList list;
        TMacroItem* m = list.Add();
        AddCondition(m, maNONE, field, {}, "x");
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, m->GetMacroValue(recNo, *rs));
    }

    void byNameMatchesUpperCasedNames_data() {
        QTest::addColumn<QString>("storedName");
        QTest::addColumn<int>("dbid");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<bool>("found");
        QTest::newRow("udf17 finds a nameless macro with id 17") << "" << 17 << "udf17" << true;
        QTest::newRow("stored name wins over the id") << "Anrede" << 17 << "UDF17" << false;
        QTest::newRow("case is ignored") << "Anrede" << -1 << "ANREDE" << true;
        QTest::newRow("umlauts are upper-cased") << "müller" << -1 << "MÜLLER" << true;
        QTest::newRow("unsaved nameless macro has no UDF name") << "" << -1 << "UDF-1" << false;
        QTest::newRow("unknown name") << "Anrede" << 3 << "Gruss" << false;
    }
    void byNameMatchesUpperCasedNames() {
        QFETCH(QString, storedName);
        QFETCH(int, dbid);
        QFETCH(QString, asked);
        QFETCH(bool, found);
        TMacroList list;
        list.Add()->SetMacroName("OTHER");
        TMacroItem* m = list.Add();
        m->SetMacroName(storedName);
        m->SetDBID(dbid);
        QCOMPARE(list.ByName(asked), found ? m : nullptr);
    }

    void generatedNameFollowsTheId() {
        TMacroList list;
        TMacroItem* m = list.Add();
        QCOMPARE(m->MacroName(), QString());
        m->SetDBID(17);
        QCOMPARE(m->MacroName(), QStringLiteral("UDF17"));
    }

    // Deleting a stored macro or condition remembers its id until ClearDeleteID; an unsaved one is
    // freed without a trace; an item of another owner is ignored.
    void deleteRemembersStoredIdsOnly() {
        TMacroList list;
        TMacroList other;
        TMacroItem* stored = list.Add();
        stored->SetDBID(5);
        TMacroItem* unsaved = list.Add();
        TMacroItem* foreign = other.Add();
        foreign->SetDBID(9);

        list.Delete(unsaved);
        QCOMPARE(list.Count(), 1);
        QCOMPARE(list.DeleteIDCount(), 0);
        list.Delete(foreign);
        QCOMPARE(list.Count(), 1);
        QCOMPARE(other.Count(), 1);
        QCOMPARE(list.DeleteIDCount(), 0);

        TMacroConditionItem* storedCondition = stored->Add();
        storedCondition->SetDBID(40);
        stored->Add();
        stored->Delete(stored->Items(1));
        QCOMPARE(stored->DeleteIDCount(), 0);
        stored->Delete(storedCondition);
        QCOMPARE(stored->Count(), 0);
        QCOMPARE(stored->DeleteIDCount(), 1);
        QCOMPARE(stored->GetDeleteID(0), 40);
        stored->ClearDeleteID();
        QCOMPARE(stored->DeleteIDCount(), 0);

        list.Delete(stored);
        QCOMPARE(list.Count(), 0);
        QCOMPARE(list.DeleteIDCount(), 1);
        QCOMPARE(list.GetDeleteID(0), 5);
        list.ClearDeleteID();
        QCOMPARE(list.DeleteIDCount(), 0);
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVAssertion, list.GetDeleteID(0));
    }

    void settersMarkChanged_data() {
        QTest::addColumn<std::function<void(TMacroConditionItem*)>>("change");
        using F = std::function<void(TMacroConditionItem*)>;
        QTest::newRow("Condition") << F([](TMacroConditionItem* c) { c->SetCondition(maEQ); });
        QTest::newRow("ConditionValue1") << F([](TMacroConditionItem* c) { c->SetConditionValue1("a"); });
        QTest::newRow("ConditionValue2") << F([](TMacroConditionItem* c) { c->SetConditionValue2("a"); });
        QTest::newRow("MacroValue") << F([](TMacroConditionItem* c) { c->SetMacroValue("a"); });
        QTest::newRow("MacroValueIsField")
            << F([](TMacroConditionItem* c) { c->SetMacroValueIsField(false); });
        QTest::newRow("Value1IsField") << F([](TMacroConditionItem* c) { c->SetValue1IsField(false); });
        QTest::newRow("Value2IsField") << F([](TMacroConditionItem* c) { c->SetValue2IsField(false); });
    }
    void settersMarkChanged() {
        QFETCH(std::function<void(TMacroConditionItem*)>, change);
        TMacroList list;
        TMacroItem* m = list.Add();
        QCOMPARE(m->DBID(), -1);
        QVERIFY(!m->Changed());
        TMacroConditionItem* c = m->Add();
        QCOMPARE(c->Owner(), m);
        QCOMPARE(c->DBID(), -1);
        QCOMPARE(c->Condition(), maNONE);
        QVERIFY(!c->Changed());
        c->SetDBID(3);
        QVERIFY(!c->Changed());
        change(c);
        QVERIFY(c->Changed());
        QVERIFY(!m->Changed());
        m->SetCaption("Anrede");
        QVERIFY(m->Changed());
        m->SetChanged(false);
        m->SetMacroName("X");
        QVERIFY(m->Changed());
    }

    void bigStrHoldsLiteralResultsOnly() {
        TMacroList list;
        TMacroItem* m = list.Add();
        AddCondition(m, maNONE, {}, {}, "title", true);
        QCOMPARE(m->GetAllMacroValuesAsBigStr(), QString());
        AddCondition(m, maEQ, "salutation", "Herr", "Sehr geehrter %NAME%");
        AddCondition(m, maNONE, {}, {}, "Hallo");
        QCOMPARE(m->GetAllMacroValuesAsBigStr(), QStringLiteral("Sehr geehrter %NAME%Hallo"));
    }

    // A copy owns its own macros and conditions (owners point into the copy); a move keeps them.
    void copiesAreDeep() {
        TMacroList list;
        TMacroItem* m = AddGreeting(list);
        m->SetDBID(4);
        list.Add()->SetDBID(8);
        list.Delete(list.Items(1));

        TMacroList copy(list);
        QCOMPARE(copy.Count(), 1);
        QCOMPARE(copy.DeleteIDCount(), 1);
        TMacroItem* c = copy.Items(0);
        QVERIFY(c != m);
        QCOMPARE(c->Owner(), &copy);
        QCOMPARE(c->Items(0)->Owner(), c);
        QCOMPARE(c->MacroName(), QStringLiteral("ANREDE"));
        QCOMPARE(c->Items(1)->MacroValue(), QStringLiteral("Sehr geehrte Frau"));
        m->Items(1)->SetMacroValue("changed");
        QCOMPARE(c->Items(1)->MacroValue(), QStringLiteral("Sehr geehrte Frau"));

        TMacroList moved(std::move(copy));
        QCOMPARE(moved.Items(0), c);
        QCOMPARE(c->Owner(), &moved);
        copy = moved;
        QCOMPARE(copy.Items(0)->Owner(), &copy);
    }
};

QTEST_GUILESS_MAIN(tst_MacroList)
#include "tst_MacroList.moc"
