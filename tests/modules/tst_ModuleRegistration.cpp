#include "core/PluginModuleRegistration.h"
#include "registerservice/PluginModuleRegistration.h"

#include <QtTest>

namespace {

template <class TList> QStringList ClassNames(const TList& AList) {
    QStringList names;
    for (const auto& c : AList)
        names.append(c.ClassName);
    return names;
}

} // namespace

// Every class a module offers is in its class list after the explicit registration, in registration
// order, exactly once. A new data module or window adds its name here.
class tst_ModuleRegistration : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Twice: registering again changes nothing.
        for (int i = 0; i < 2; ++i) {
            emailmarketing::RegisterModuleClasses();
            emailmarketing::RegisterFormClasses();
            registerservice::RegisterModuleClasses();
        }
    }

    void expectedClassesRegistered_data() {
        QTest::addColumn<QStringList>("registered");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("e-mail marketing data modules")
            << ClassNames(emailmarketing::PluginDataModuleClasses())
            << QStringList{QStringLiteral("TdmPluginEmailMarketingMain")};
        QTest::newRow("e-mail marketing windows")
            << ClassNames(emailmarketing::PluginFormClasses())
            << QStringList{QStringLiteral("TfrmEmailMarketing"), QStringLiteral("TfrmEmailMarketingLists"),
                           QStringLiteral("TfrmPluginEmailMarketingGlobalSettings")};
        QTest::newRow("register service data modules")
            << ClassNames(registerservice::PluginDataModuleClasses())
            << QStringList{QStringLiteral("TdmPluginRegisterServiceMain"),
                           QStringLiteral("TdmPluginRegisterServerMenus")};
        QTest::newRow("register service windows")
            << ClassNames(registerservice::PluginFormClasses())
            << QStringList{QStringLiteral("TfrmPluginRegisterServiceConfig"),
                           QStringLiteral("TfrmPluginRegisterServiceLogFile")};
    }

    void expectedClassesRegistered() {
        QFETCH(QStringList, registered);
        QFETCH(QStringList, expected);
        QCOMPARE(registered, expected);
    }

    void modulesHaveTheirGUIDs() {
        QCOMPARE(emailmarketing::PluginModuleGUID(),
                 QStringLiteral("{57C4F894-231F-4568-AA61-80DEB7BA4687}"));
        QCOMPARE(registerservice::PluginModuleGUID(),
                 QStringLiteral("{EAD01DCC-E4FB-47C1-9771-B52DEBF2BA10}"));
    }
};

QTEST_GUILESS_MAIN(tst_ModuleRegistration)
#include "tst_ModuleRegistration.moc"
