#include "ConditionFormModel.h"
#include "DBFieldSchema.h"

#include <QtTest>

#include <algorithm>

using namespace emailmarketing;
using hostapi::TDBFieldSchema;

namespace {

const hostapi::IDBFieldSchemaItem* Addresses() {
    return &TDBFieldSchema::Instance().RequireSchema(QStringLiteral("pelm_addresses_ass"));
}

} // namespace

class tst_ConditionFormModel : public QObject {
    Q_OBJECT

private slots:
    void fieldsAreSortedByCaptionWithTheirSchemaIndex() {
        const QList<ConditionFormModel::TFieldEntry> fields = ConditionFormModel::SortedFields(Addresses());
        QCOMPARE(fields.size(), Addresses()->FieldCount());
        QStringList captions;
        for (const ConditionFormModel::TFieldEntry& field : fields) {
            QCOMPARE(Addresses()->Field(field.Index).Caption, field.Caption);
            captions << field.Caption;
        }
        QStringList sorted = captions;
        std::sort(sorted.begin(), sorted.end(),
                  [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        QCOMPARE(captions, sorted);
        QVERIFY(captions != [] {
            QStringList schemaOrder;
            for (int i = 0; i < Addresses()->FieldCount(); ++i)
                schemaOrder << Addresses()->Field(i).Caption;
            return schemaOrder;
        }());
        QVERIFY(ConditionFormModel::SortedFields(nullptr).isEmpty());
    }

    void conditionToFormAndBack() {
        TMacroList list;
        TMacroConditionItem* condition = list.Add()->Add();
        condition->SetValue1IsField(true);
        condition->SetConditionValue1(QStringLiteral("email1"));
        condition->SetConditionValue2(QStringLiteral("x"));
        condition->SetCondition(maNEQ);
        condition->SetMacroValue(QStringLiteral("Hallo %NAME% %SURNAME%"));

        ConditionFormModel::TForm form =
            ConditionFormModel::FromCondition(*condition, Addresses(), TDBFieldSchema::Instance());
        QVERIFY(form.Value1.IsField);
        QCOMPARE(form.Value1.FieldIndex, Addresses()->IndexOfField(QStringLiteral("email1")));
        QCOMPARE(form.Value1.Text, QStringLiteral("email1"));
        QVERIFY(!form.Value2.IsField);
        QCOMPARE(form.Value2.FieldIndex, -1);
        QCOMPARE(form.Result.Text, QStringLiteral("Hallo [Name] [Vorname]"));
        QCOMPARE(form.Comparison, int(maNEQ));

        form.Result.Text = QStringLiteral("Hallo [Name]");
        form.Value2.IsField = true;
        form.Value2.FieldIndex = Addresses()->IndexOfField(QStringLiteral("city"));
        form.Comparison = -1;
        condition->SetChanged(false);
        ConditionFormModel::ToCondition(form, *condition, Addresses(), TDBFieldSchema::Instance());
        QCOMPARE(condition->MacroValue(), QStringLiteral("Hallo %NAME%"));
        QVERIFY(condition->Value2IsField());
        QCOMPARE(condition->ConditionValue2(), QStringLiteral("city"));
        QCOMPARE(condition->ConditionValue1(), QStringLiteral("email1"));
        QCOMPARE(condition->Condition(), maNONE);
        QVERIFY(condition->Changed());
    }

    void withoutSchemaTextsStayAsTheyAre() {
        TMacroList list;
        TMacroConditionItem* condition = list.Add()->Add();
        condition->SetMacroValue(QStringLiteral("Hallo %NAME%"));
        const ConditionFormModel::TForm form =
            ConditionFormModel::FromCondition(*condition, nullptr, TDBFieldSchema::Instance());
        QCOMPARE(form.Result.Text, QStringLiteral("Hallo %NAME%"));
        QCOMPARE(ConditionFormModel::FieldName(nullptr, 0), QString());
    }

    void fieldOperandWithoutFieldIsFound_data() {
        QTest::addColumn<int>("missing"); // -1: none
        QTest::newRow("all constants") << -1;
        QTest::newRow("value 1") << int(ConditionFormModel::okValue1);
        QTest::newRow("value 2") << int(ConditionFormModel::okValue2);
        QTest::newRow("result") << int(ConditionFormModel::okResult);
    }
    void fieldOperandWithoutFieldIsFound() {
        QFETCH(int, missing);
        ConditionFormModel::TForm form;
        form.Value1 = {true, {}, 0};
        ConditionFormModel::TOperand* operands[] = {&form.Value1, &form.Value2, &form.Result};
        if (missing >= 0)
            *operands[missing] = {true, QStringLiteral("email1"), -1};
        ConditionFormModel::TOperandKind kind = ConditionFormModel::okValue1;
        QCOMPARE(ConditionFormModel::FindMissingField(form, kind), missing >= 0);
        if (missing >= 0)
            QCOMPARE(int(kind), missing);
    }
};

QTEST_GUILESS_MAIN(tst_ConditionFormModel)
#include "tst_ConditionFormModel.moc"
