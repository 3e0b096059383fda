#include "AddressEditWindow.h"
#include "Database.h"
#include "PelmarisPlugin.h"
#include "QVException.h"
#include "SettingsStore.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <thread>

using namespace hostapi;

namespace {

qint64 AddAddress(const QString& name, const QString& city) {
    return Database::InsertRow(QStringLiteral("pelm_addresses_ass"),
                               {QStringLiteral("name"), QStringLiteral("city")}, {name, city});
}

QVariant IsActive(qint64 id) {
    QSqlQuery q = Database::Exec(
        QStringLiteral("SELECT \"isactive\" FROM \"pelm_addresses_det\" WHERE \"id\" = ?"), {id});
    return q.next() ? q.value(0) : QVariant(QStringLiteral("<no row>"));
}

QVariant AddressField(qint64 id, const QString& field) {
    QSqlQuery q = Database::Exec(QStringLiteral("SELECT %1 FROM \"pelm_addresses_ass\" WHERE \"id\" = ?")
                                     .arg(Database::QuoteIdentifier(field)),
                                 {id});
    return q.next() ? q.value(0) : QVariant();
}

// Scripts the address window: AAct drives it once the plug-in runs it through the dialog service.
void WhenAddressWindowShown(testsupport::ScriptedDialogService& ADialogs,
                            std::function<void(AddressEditWindow*)> AAct) {
    ADialogs.AddModal([AAct](QDialog& ADialog) {
        auto* window = qobject_cast<AddressEditWindow*>(&ADialog);
        QVERIFY(window && window->isVisible());
        AAct(window);
    });
}

QPushButton* ButtonWithText(QWidget* window, const QString& text) {
    for (QPushButton* button : window->findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

} // namespace

class tst_PelmarisPlugin : public QObject {
    Q_OBJECT

private slots:
    void availableWhileTheDatabaseIsOpen() {
        TPelmarisPlugin plugin;
        {
            testsupport::TestDatabase db;
            QVERIFY(plugin.Available());
            QCOMPARE(plugin.GetAddressSchema(), QStringLiteral("pelm_addresses_ass"));
        }
        QVERIFY(!plugin.Available());
    }

    // The active state of the register-service filter: its default is written at the host's start
    // and never replaces a stored value; a stored text that is no number is never read as 0.
    void registerServiceActiveState_data() {
        QTest::addColumn<QString>("stored"); // null: absent
        QTest::addColumn<bool>("writeDefaults");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("storedAfter");
        QTest::addColumn<bool>("raises");
        QTest::newRow("absent") << QString() << false << 1 << "" << false;
        QTest::newRow("absent, defaults written") << QString() << true << 1 << "1" << false;
        QTest::newRow("stored 3 kept") << "3" << true << 3 << "3" << false;
        QTest::newRow("stored 0") << "0" << false << 0 << "0" << false;
        QTest::newRow("stored with blanks") << " 2 " << false << 2 << " 2 " << false;
        QTest::newRow("stored text that is no number") << "aktiv" << true << 0 << "aktiv" << true;
    }
    void registerServiceActiveState() {
        QFETCH(QString, stored);
        QFETCH(bool, writeDefaults);
        QFETCH(int, expected);
        QFETCH(QString, storedAfter);
        QFETCH(bool, raises);
        testsupport::TestDatabase db;
        if (!stored.isNull())
            SettingsStore::Instance().WriteString(QStringLiteral("Pelm"), QStringLiteral("RSSPS"), stored);
        TPelmarisPlugin plugin;
        if (writeDefaults)
            plugin.WriteDefaultSettings();
        QCOMPARE(SettingsStore::Instance().ReadString(QStringLiteral("Pelm"), QStringLiteral("RSSPS")),
                 storedAfter);
        if (raises) {
            QVERIFY_THROWS_EXCEPTION(EQVException, plugin.GetRegisterServiceActiveState());
            return;
        }
        QCOMPARE(plugin.GetRegisterServiceActiveState(), expected);
        plugin.SetRegisterServiceActiveState(expected + 5);
        QCOMPARE(plugin.GetRegisterServiceActiveState(), expected + 5);
    }

    void companyAddressId_data() {
        QTest::addColumn<QString>("stored"); // "<set N>" writes through the plug-in
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<bool>("raises");
        QTest::newRow("not set") << "" << -1LL << false;
        QTest::newRow("set by the settings window") << "<set 42>" << 42LL << false;
        QTest::newRow("64-bit id") << "<set 1099511627776>" << 1099511627776LL << false;
        QTest::newRow("removed again") << "<set -1>" << -1LL << false;
        QTest::newRow("stored text that is no id") << "Firma" << 0LL << true;
    }
    void companyAddressId() {
        QFETCH(QString, stored);
        QFETCH(qint64, expected);
        QFETCH(bool, raises);
        testsupport::TestDatabase db;
        TPelmarisPlugin plugin;
        if (stored.startsWith(QLatin1String("<set "))) {
            plugin.SetCompanyAddressID(42);
            plugin.SetCompanyAddressID(stored.mid(5).chopped(1).toLongLong());
        } else if (!stored.isEmpty()) {
            SettingsStore::Instance().WriteString(QStringLiteral("Pelm"), QStringLiteral("COMPANYADDRESSID"),
                                                  stored);
        }
        if (raises) {
            QVERIFY_THROWS_EXCEPTION(EQVException, plugin.GetCompanyAddressID());
            return;
        }
        QCOMPARE(plugin.GetCompanyAddressID(), expected);
    }

    void subscriptionChange_data() {
        QTest::addColumn<QVariant>("before"); // "isactive" before; invalid: no detail row
        QTest::addColumn<bool>("subscribe");
        QTest::addColumn<bool>("fromJobThread");
        QTest::addColumn<int>("expected");
        QTest::newRow("subscribe without detail row") << QVariant() << true << false << 1;
        QTest::newRow("unsubscribe without detail row") << QVariant() << false << false << 0;
        QTest::newRow("unsubscribe a subscribed address") << QVariant(1) << false << false << 0;
        QTest::newRow("subscribe an unsubscribed address") << QVariant(0) << true << false << 1;
        QTest::newRow("from a job thread") << QVariant(0) << true << true << 1;
    }
    void subscriptionChange() {
        QFETCH(QVariant, before);
        QFETCH(bool, subscribe);
        QFETCH(bool, fromJobThread);
        QFETCH(int, expected);
        testsupport::TestDatabase db;
        const qint64 id = AddAddress(QStringLiteral("Muster"), QStringLiteral("Basel"));
        const qint64 other = AddAddress(QStringLiteral("Andere"), QStringLiteral("Bern"));
        Database::Exec(
            QStringLiteral("INSERT INTO \"pelm_addresses_det\" (\"id\", \"isactive\") VALUES (?, 1)"),
            {other});
        if (before.isValid())
            Database::Exec(
                QStringLiteral("INSERT INTO \"pelm_addresses_det\" (\"id\", \"isactive\") VALUES (?, ?)"),
                {id, before});
        TPelmarisPlugin plugin;
        if (fromJobThread) {
            std::exception_ptr error;
            std::thread job([&] {
                try {
                    plugin.SetSubscriptionState(id, subscribe);
                } catch (...) {
                    error = std::current_exception();
                }
            });
            job.join();
            if (error)
                std::rethrow_exception(error);
        } else {
            plugin.SetSubscriptionState(id, subscribe);
        }
        QCOMPARE(IsActive(id).toInt(), expected);
        QCOMPARE(IsActive(other).toInt(), 1); // no other address changes
    }

    void subscriptionOfMissingAddressRaises() {
        testsupport::TestDatabase db;
        TPelmarisPlugin plugin;
        QVERIFY(!plugin.AddressExists(4711));
        try {
            plugin.SetSubscriptionState(4711, true);
            QFAIL("no exception");
        } catch (const EQVUserMessageException& e) {
            QCOMPARE(e.Message(), QStringLiteral("Die Adresse 4711 existiert nicht."));
        }
        QCOMPARE(IsActive(4711).toString(), QStringLiteral("<no row>"));
    }

    void stateColor_data() {
        QTest::addColumn<QVariant>("isActive");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("subscribed") << QVariant(1) << QColor(0xC6, 0xEF, 0xCE);
        QTest::newRow("subscribed as text") << QVariant(QStringLiteral("1")) << QColor(0xC6, 0xEF, 0xCE);
        QTest::newRow("unsubscribed") << QVariant(0LL) << QColor(0xFF, 0xC7, 0xCE);
        QTest::newRow("never decided (NULL)") << QVariant() << QColor();
        QTest::newRow("other state") << QVariant(5) << QColor();
    }
    void stateColor() {
        QFETCH(QVariant, isActive);
        QFETCH(QColor, expected);
        QCOMPARE(TPelmarisPlugin::StateColor(isActive), expected);
    }

    void addressWindowSavesOnOkOnly_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("expectedSaved");
        QTest::addColumn<QString>("expectedCity");
        QTest::newRow("OK saves") << "OK" << true << "Bern";
        QTest::newRow("Cancel discards") << "Abbrechen" << false << "Basel";
    }
    void addressWindowSavesOnOkOnly() {
        QFETCH(QString, button);
        QFETCH(bool, expectedSaved);
        QFETCH(QString, expectedCity);
        testsupport::TestDatabase db;
        const qint64 id = AddAddress(QStringLiteral("Muster"), QStringLiteral("Basel"));
        QString shownName, title;
        testsupport::ScriptedDialogService dialogs;
        WhenAddressWindowShown(dialogs, [&](AddressEditWindow* window) {
            title = window->windowTitle();
            shownName = window->Edit(QStringLiteral("name"))->text();
            window->Edit(QStringLiteral("city"))->setText(QStringLiteral("Bern"));
            window->Edit(QStringLiteral("birthday"))->setText(QStringLiteral("1970-05-17"));
            ButtonWithText(window, button)->click();
        });
        QCOMPARE(TPelmarisPlugin().EditAddress(id), expectedSaved);
        QCOMPARE(title, QStringLiteral("Adresse bearbeiten"));
        QCOMPARE(shownName, QStringLiteral("Muster"));
        QCOMPARE(AddressField(id, QStringLiteral("city")).toString(), expectedCity);
        QCOMPARE(AddressField(id, QStringLiteral("name")).toString(), QStringLiteral("Muster"));
        QCOMPARE(AddressField(id, QStringLiteral("birthday")).isNull(), !expectedSaved);
    }

    void invalidValueIsShownAndTheWindowStaysOpen() {
        testsupport::TestDatabase db;
        testsupport::RecordingExceptionDisplay display;
        const qint64 id = AddAddress(QStringLiteral("Muster"), QStringLiteral("Basel"));
        bool stillOpen = false;
        testsupport::ScriptedDialogService dialogs;
        WhenAddressWindowShown(dialogs, [&](AddressEditWindow* window) {
            window->Edit(QStringLiteral("city"))->setText(QStringLiteral("Bern"));
            window->Edit(QStringLiteral("birthday"))->setText(QStringLiteral("17.5.1970"));
            ButtonWithText(window, QStringLiteral("OK"))->click();
            stillOpen = window->isVisible();
            ButtonWithText(window, QStringLiteral("Abbrechen"))->click();
        });
        QVERIFY(!TPelmarisPlugin().EditAddress(id));
        QVERIFY(stillOpen);
        QCOMPARE(display.Records().size(), 1);
        QVERIFY(display.Records().at(0).Exception.UserMessage);
        QCOMPARE(display.Records().at(0).Exception.Message,
                 QStringLiteral("\"17.5.1970\" ist kein gültiger Wert für \"Geburtstag\"."));
        QCOMPARE(AddressField(id, QStringLiteral("city")).toString(), QStringLiteral("Basel"));
    }

    void editingMissingAddressRaises() {
        testsupport::TestDatabase db;
        QVERIFY_THROWS_EXCEPTION(EQVUserMessageException, TPelmarisPlugin().EditAddress(99));
    }
};

QTEST_MAIN(tst_PelmarisPlugin)
#include "tst_PelmarisPlugin.moc"
