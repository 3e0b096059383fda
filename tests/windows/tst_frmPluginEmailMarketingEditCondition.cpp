#include "DBFieldSchema.h"
#include "MacroList.h"
#include "frmPluginEmailMarketingEditCondition.h"
#include "support/HostDoubles.h"
#include "support/WindowTestHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

#include <algorithm>

using namespace emailmarketing;
using testsupport::Click;
using testsupport::Find;

namespace {

const hostapi::IDBFieldSchemaItem* Addresses() {
    return &hostapi::TDBFieldSchema::Instance().RequireSchema(QStringLiteral("pelm_addresses_ass"));
}

QStringList Items(QComboBox* ACombo) {
    QStringList items;
    for (int i = 0; i < ACombo->count(); ++i)
        items << ACombo->itemText(i);
    return items;
}

// Picks the entry AText of a combo box as a user does: focus, then type its first letters.
void Choose(QComboBox* ACombo, const QString& AText) {
    ACombo->setFocus();
    QTest::keyClicks(ACombo, AText);
    QCOMPARE(ACombo->currentText(), AText);
}

struct Condition {
    TMacroList List;
    TMacroConditionItem* Item = List.Add()->Add();
    Condition() {
        Item->SetValue1IsField(true);
        Item->SetConditionValue1(QStringLiteral("email1"));
        Item->SetConditionValue2(QStringLiteral("x"));
        Item->SetCondition(maGT);
        Item->SetMacroValue(QStringLiteral("Guten Tag"));
        Item->SetChanged(false);
    }
};

} // namespace

class tst_frmPluginEmailMarketingEditCondition : public QObject {
    Q_OBJECT

private slots:
    void fieldValueShowsTheFieldPageWithItsCaption() {
        Condition condition;
        TfrmPluginEmailMarketingEditCondition dialog;
        dialog.SetDBFieldSchemaItem(Addresses());
        testsupport::ScriptedDialogService dialogs;
        QStringList fields1, fields2, results;
        QString selected, hiddenValue, comparison;
        QWidget *page1 = nullptr, *page2 = nullptr;
        dialogs.AddModal([&](QDialog& d) {
            fields1 = Items(Find<QComboBox>(d, "cbFields1"));
            fields2 = Items(Find<QComboBox>(d, "cbFields2"));
            results = Items(Find<QComboBox>(d, "cbResultFields"));
            selected = Find<QComboBox>(d, "cbFields1")->currentText();
            hiddenValue = Find<QLineEdit>(d, "edtVal1")->text();
            page1 = Find<QStackedWidget>(d, "pgVal1")->currentWidget();
            page2 = Find<QStackedWidget>(d, "pgVal2")->currentWidget();
            comparison = Find<QComboBox>(d, "cbCondition")->currentText();
            Click(d, "Button2");
        });
        QVERIFY(!dialog.Execute(*condition.Item));
        QCOMPARE(dialogs.Modals, QStringList{"frmPluginEmailMarketingEditCondition"});
        QCOMPARE(page1, Find<QWidget>(dialog, "tbsField1"));
        QCOMPARE(page2, Find<QWidget>(dialog, "tbsVal2"));
        QCOMPARE(selected, QStringLiteral("E-Mail 1"));
        QCOMPARE(hiddenValue, QStringLiteral("email1"));
        QCOMPARE(comparison, QStringLiteral(">"));
        QStringList sorted = fields1;
        std::sort(sorted.begin(), sorted.end(),
                  [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        QCOMPARE(fields1, sorted);
        QCOMPARE(fields1.size(), Addresses()->FieldCount());
        QCOMPARE(fields2, fields1);
        QCOMPARE(results, fields1);
    }

    void savingStoresTheEditedCondition() {
        Condition condition;
        TfrmPluginEmailMarketingEditCondition dialog;
        dialog.SetDBFieldSchemaItem(Addresses());
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddModal([&](QDialog& d) {
            Click(d, "cbVal2Type");
            Choose(Find<QComboBox>(d, "cbFields2"), QStringLiteral("Ort"));
            Choose(Find<QComboBox>(d, "cbCondition"), QStringLiteral("-"));
            QLineEdit* result = Find<QLineEdit>(d, "edtResultVal");
            result->clear();
            QTest::keyClicks(result, QStringLiteral("Hallo [Name]"));
            Click(d, "Button1");
        });
        QVERIFY(dialog.Execute(*condition.Item));
        QVERIFY(condition.Item->Changed());
        QVERIFY(condition.Item->Value1IsField());
        QCOMPARE(condition.Item->ConditionValue1(), QStringLiteral("email1"));
        QVERIFY(condition.Item->Value2IsField());
        QCOMPARE(condition.Item->ConditionValue2(), QStringLiteral("city"));
        QCOMPARE(condition.Item->Condition(), maNONE);
        QVERIFY(!condition.Item->MacroValueIsField());
        QCOMPARE(condition.Item->MacroValue(), QStringLiteral("Hallo %NAME%"));
        QVERIFY(dialogs.Questions.isEmpty());
    }

    void cancelLeavesTheConditionUntouched() {
        Condition condition;
        TfrmPluginEmailMarketingEditCondition dialog;
        dialog.SetDBFieldSchemaItem(Addresses());
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddModal([&](QDialog& d) {
            Click(d, "cbVal1Type");
            QTest::keyClicks(Find<QLineEdit>(d, "edtVal1"), QStringLiteral("neu"));
            Click(d, "cbResultType");
            Choose(Find<QComboBox>(d, "cbCondition"), QStringLiteral("="));
            Click(d, "Button2");
        });
        QVERIFY(!dialog.Execute(*condition.Item));
        QVERIFY(!condition.Item->Changed());
        QVERIFY(condition.Item->Value1IsField());
        QCOMPARE(condition.Item->ConditionValue1(), QStringLiteral("email1"));
        QCOMPARE(condition.Item->Condition(), maGT);
        QVERIFY(!condition.Item->MacroValueIsField());
        QCOMPARE(condition.Item->MacroValue(), QStringLiteral("Guten Tag"));
    }

    void fieldOperandWithoutFieldIsRefused() {
        Condition condition;
        TfrmPluginEmailMarketingEditCondition dialog;
        dialog.SetDBFieldSchemaItem(Addresses());
        testsupport::ScriptedDialogService dialogs;
        dialogs.AddAnswer(hostapi::mrOk);
        bool openAfterSave = false;
        dialogs.AddModal([&](QDialog& d) {
            Click(d, "cbResultType"); // no field chosen
            Click(d, "Button1");
            openAfterSave = d.isVisible();
            Click(d, "Button2");
        });
        QVERIFY(!dialog.Execute(*condition.Item));
        QVERIFY(openAfterSave);
        QCOMPARE(dialogs.Questions.size(), 1);
        QCOMPARE(dialogs.Questions.at(0).Text,
                 QStringLiteral(
                     "Bitte wählen Sie unter \"Makro-Ergebniswert\" ein Datenbankfeld aus oder geben Sie "
                     "einen Wert ein."));
        QCOMPARE(dialogs.Questions.at(0).Type, hostapi::mtError);
        QVERIFY(!condition.Item->Changed());
        QVERIFY(!condition.Item->MacroValueIsField());
    }

    void noFieldSchemaEmptiesTheThreeLists() {
        TfrmPluginEmailMarketingEditCondition dialog;
        dialog.SetDBFieldSchemaItem(Addresses());
        QVERIFY(Find<QComboBox>(dialog, "cbFields1")->count() > 0);
        dialog.SetDBFieldSchemaItem(nullptr);
        for (const char* name : {"cbFields1", "cbFields2", "cbResultFields"})
            QVERIFY2(Find<QComboBox>(dialog, name)->count() == 0, name);
    }

    void grabInGermanAndEnglish_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("group");
        QTest::newRow("German") << "German"
                                << "Makro-Ergebniswert";
        QTest::newRow("English") << "English"
                                 << "Macro result value";
    }
    void grabInGermanAndEnglish() {
        QFETCH(QString, language);
        QFETCH(QString, group);
        Condition condition;
        TfrmPluginEmailMarketingEditCondition dialog;
        dialog.SetLanguage(language);
        dialog.SetDBFieldSchemaItem(Addresses());
        dialog.SetMacroCondition(condition.Item);
        QVERIFY(testsupport::SaveGrab(dialog, QStringLiteral(QV_GRAB_DIR), language));
        QCOMPARE(Find<QGroupBox>(dialog, "grpResult")->title(), group);
        QVERIFY(QDir().mkpath(QStringLiteral(QV_GRAB_DIR)));
        const QString file =
            QStringLiteral(QV_GRAB_DIR "/frmPluginEmailMarketingEditCondition_%1.png").arg(language);
        QVERIFY(dialog.grab().save(file, "PNG"));
    }
};

QTEST_MAIN(tst_frmPluginEmailMarketingEditCondition)
#include "tst_frmPluginEmailMarketingEditCondition.moc"
