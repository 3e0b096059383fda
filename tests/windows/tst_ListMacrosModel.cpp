// The macros tab's logic: condition lines, which buttons it offers, and the edited copy that is
// published in one step.
#include "DBFieldSchema.h"
#include "ListMacrosModel.h"
#include "MacroEditCopy.h"

#include <QtTest>

using namespace emailmarketing;

namespace {

const hostapi::IDBFieldSchemaItem* Addresses() {
    return &hostapi::TDBFieldSchema::Instance().RequireSchema(QStringLiteral("pelm_addresses_ass"));
}

QString Editor(const QString& AText) {
    return QStringLiteral("<%1>").arg(AText);
}

} // namespace

class tst_ListMacrosModel : public QObject {
    Q_OBJECT

private slots:
    void conditionLine_data() {
        QTest::addColumn<bool>("value1IsField");
        QTest::addColumn<QString>("value1");
        QTest::addColumn<int>("condition");
        QTest::addColumn<bool>("value2IsField");
        QTest::addColumn<QString>("value2");
        QTest::addColumn<bool>("resultIsField");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("withSchema");
        QTest::addColumn<QStringList>("line");
        QTest::newRow("fields by caption")
            << true << "city" << int(maEQ) << true << "NAME" << true << "surname" << true
            << QStringList{"[Ort]", "=", "[Name]", "[Vorname]"};
        QTest::newRow("constants; the result in editor form")
            << false << " a " << int(maNEQ) << false << "" << false << "%NAME%" << true
            << QStringList{" a ", "<>", "", "<%NAME%>"};
        QTest::newRow("a field the schema lost")
            << true << "entfernt" << int(maGT) << false << "5" << true << "entfernt2" << true
            << QStringList{"[FEHLT]", ">", "5", "[FEHLT]"};
        QTest::newRow("no schema") << true << "city" << int(maEQLT) << false << "x" << false << "y" << false
                                   << QStringList{"[FEHLT]", "<=", "x", "<y>"};
        QTest::newRow("unknown comparison")
            << false << "a" << 99 << false << "b" << false << "c" << true << QStringList{"a", "", "b", "<c>"};
    }
    void conditionLine() {
        QFETCH(bool, value1IsField);
        QFETCH(QString, value1);
        QFETCH(int, condition);
        QFETCH(bool, value2IsField);
        QFETCH(QString, value2);
        QFETCH(bool, resultIsField);
        QFETCH(QString, result);
        QFETCH(bool, withSchema);
        QFETCH(QStringList, line);
        TMacroList macros;
        TMacroConditionItem* c = macros.Add()->Add();
        c->SetValue1IsField(value1IsField);
        c->SetConditionValue1(value1);
        c->SetCondition(static_cast<TMacroCondition>(condition));
        c->SetValue2IsField(value2IsField);
        c->SetConditionValue2(value2);
        c->SetMacroValueIsField(resultIsField);
        c->SetMacroValue(result);
        QCOMPARE(ListMacrosModel::ConditionLine(*c, withSchema ? Addresses() : nullptr,
                                                QStringLiteral("FEHLT"), Editor),
                 line);
    }

    void conditionTexts() {
        QStringList texts;
        for (int c = maNONE; c <= maEQLT; ++c)
            texts << ListMacrosModel::ConditionText(static_cast<TMacroCondition>(c));
        QCOMPARE(texts, (QStringList{"-", "=", "<>", ">", "<", ">=", "<="}));
    }

    void buttons_data() {
        QTest::addColumn<bool>("macrosTab");
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("list");
        QTest::addColumn<bool>("schema");
        QTest::addColumn<bool>("macro");
        QTest::addColumn<bool>("condition");
        QTest::addColumn<QString>("expected"); // shown: L list, G general, C conditions; then enabled
        QTest::newRow("another tab") << false << 0 << true << true << true << true << "|";
        QTest::newRow("list page, nothing chosen") << true << 0 << true << true << false << false << "LC|at";
        QTest::newRow("list page, macro and condition")
            << true << 0 << true << true << true << true << "LC|atdced";
        QTest::newRow("no list") << true << 0 << false << false << false << false << "LC|";
        QTest::newRow("general page, no schema") << true << 1 << true << false << true << false << "GC|ac";
        QTest::newRow("general page, macro") << true << 1 << true << true << true << false << "GC|atdc";
    }
    void buttons() {
        QFETCH(bool, macrosTab);
        QFETCH(int, page);
        QFETCH(bool, list);
        QFETCH(bool, schema);
        QFETCH(bool, macro);
        QFETCH(bool, condition);
        QFETCH(QString, expected);
        const ListMacrosModel::TButtons b =
            ListMacrosModel::Buttons({macrosTab, page, list, schema, macro, condition});
        QString shown;
        if (b.ListMacroButtons)
            shown += QLatin1Char('L');
        if (b.GeneralMacroButtons)
            shown += QLatin1Char('G');
        if (b.ConditionButtons)
            shown += QLatin1Char('C');
        shown += QLatin1Char('|');
        const QList<QPair<bool, char>> enabled{{b.AddMacro, 'a'},      {b.AddTableMacro, 't'},
                                               {b.DeleteMacro, 'd'},   {b.AddCondition, 'c'},
                                               {b.EditCondition, 'e'}, {b.DeleteCondition, 'd'}};
        for (const auto& [on, letter] : enabled)
            if (on)
                shown += QLatin1Char(letter);
        QCOMPARE(shown, expected);
    }

    // The copy is handed on only after an edit, and once; the source is never touched.
    void editCopyPublishesOnlyEdits() {
        TMacroList source;
        source.Add()->SetCaption(QStringLiteral("alt"));
        TMacroEditCopy copy;
        copy.Take(source);
        QList<int> published;
        const auto publish = [&published](const TMacroList& AMacros) { published << AMacros.Count(); };
        copy.Publish(publish);
        QVERIFY(published.isEmpty());
        copy.Macros().Add();
        copy.Macros().Items(0)->SetCaption(QStringLiteral("neu"));
        copy.MarkChanged();
        QCOMPARE(source.Count(), 1);
        QCOMPARE(source.Items(0)->Caption(), QStringLiteral("alt"));
        copy.Publish(publish);
        copy.Publish(publish);
        QCOMPARE(published, QList<int>{2});
        QVERIFY(!copy.Changed());
        // a failed publication keeps the edits pending
        copy.MarkChanged();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 copy.Publish([](const TMacroList&) { throw std::runtime_error("x"); }));
        QVERIFY(copy.Changed());
        copy.Take(source);
        QVERIFY(!copy.Changed());
        QCOMPARE(copy.Macros().Count(), 1);
    }
};

QTEST_MAIN(tst_ListMacrosModel)
#include "tst_ListMacrosModel.moc"
