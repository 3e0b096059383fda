#include "IExtFuncPluginRegisterService.h"
#include "ModuleLoader.h"
#include "QVException.h"
#include "QVMainInterface.h"
#include "RegisterServicePlugin.h"
#include "support/HostDoubles.h"

#include <QTest>

#include <thread>

using namespace hostapi;

class tst_RegisterServicePlugin : public QObject {
    Q_OBJECT

private slots:
    void notAvailableWithoutTheModule() {
        ModuleLoader loader;
        TQVMainInterface::SetModuleLoader(&loader);
        TRegisterServicePlugin plugin;
        QVERIFY(!plugin.Available());
        QVERIFY_THROWS_EXCEPTION(EQVException, plugin.GetPlugin());
        TQVMainInterface::SetModuleLoader(nullptr);
        QVERIFY(!plugin.Available());
    }

    void loadedModuleAnswersItsInterface() {
        testsupport::RecordingMessageSink sink;
        ModuleLoader loader;
        loader.LoadModule(QStringLiteral(QV_REGISTER_SERVICE_STUB));
        TQVMainInterface::SetModuleLoader(&loader);

        TRegisterServicePlugin plugin;
        QVERIFY(plugin.Available());
        QVERIFY(plugin.GetPlugin().FetchRegisterService(false, false));
        // A user message raised in the module is caught here by its type.
        QVERIFY_THROWS_EXCEPTION(EQVUserMessageException,
                                 plugin.GetPlugin().FetchRegisterService(false, true));
        // A job's prepare thread asks the same way.
        bool availableOnThread = false;
        std::thread prepare([&] {
            TRegisterServicePlugin onThread;
            availableOnThread = onThread.Available();
            if (availableOnThread)
                onThread.GetPlugin().FetchRegisterService(false, false);
        });
        prepare.join();
        QVERIFY(availableOnThread);
        const auto messages = sink.Messages();
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages.at(0).Text, QStringLiteral("fetch threaded=false raise=false"));
        QCOMPARE(messages.at(1).Text, QStringLiteral("fetch threaded=false raise=true"));

        loader.UnloadAll();
        QVERIFY(!plugin.Available());
        TQVMainInterface::SetModuleLoader(nullptr);
    }
};

QTEST_GUILESS_MAIN(tst_RegisterServicePlugin)
#include "tst_RegisterServicePlugin.moc"
