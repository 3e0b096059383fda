#include "FirstStartDialog.h"

#include "ClientPluginBase.h"
#include "MenuModel.h"
#include "MessageSink.h"
#include "ModuleLoader.h"
#include "ProgressService.h"
#include "QVException.h"
#include "SchedulePlugin.h"
#include "Scheduler.h"
#include "modules/TestModuleControl.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

struct AddressRange {
    quintptr Begin = 0;
    quintptr End = 0;
};

// The address ranges at which the file AFileName is mapped in this process (from /proc/self/maps).
QList<AddressRange> MappingsOf(const QString& AFileName) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly | QIODevice::Text))
        throw hostapi::EQVException(QStringLiteral("/proc/self/maps cannot be read"));
    QList<AddressRange> ranges;
    const QString path = QFileInfo(AFileName).canonicalFilePath();
    for (const QByteArray& line : maps.readAll().split('\n')) {
        if (!line.endsWith(QFile::encodeName(path)))
            continue;
        const QList<QByteArray> bounds = line.left(line.indexOf(' ')).split('-');
        ranges.append({bounds.at(0).toULongLong(nullptr, 16), bounds.at(1).toULongLong(nullptr, 16)});
    }
    return ranges;
}

// Makes the address ranges of an unloaded module unreadable while it lives: a text that still points
// into the module faults at once, and a later module cannot be mapped at the same place (where the
// stale pointers would read the same bytes again and hide the fault). Pages that something else of
// this process took in the meantime (the allocator maps freely) are left to it: they no longer hold
// the module, and no module can be mapped there either.
class UnmappedGuard {
public:
    explicit UnmappedGuard(const QList<AddressRange>& ARanges) {
        const quintptr page = quintptr(sysconf(_SC_PAGESIZE));
        for (const AddressRange& range : ARanges) {
            if (Guard(range.Begin, range.End - range.Begin))
                continue;
            for (quintptr at = range.Begin; at < range.End; at += page)
                Guard(at, page);
        }
    }
    ~UnmappedGuard() {
        for (const AddressRange& range : FRanges)
            munmap(reinterpret_cast<void*>(range.Begin), range.End - range.Begin);
    }
    UnmappedGuard(const UnmappedGuard&) = delete;
    UnmappedGuard& operator=(const UnmappedGuard&) = delete;

private:
    // False when some of the range is in use by another mapping.
    bool Guard(quintptr ABegin, quintptr ALength) {
        void* wanted = reinterpret_cast<void*>(ABegin);
        void* got = mmap(wanted, ALength, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (got == MAP_FAILED) {
            if (errno == EEXIST)
                return false;
            throw hostapi::EQVException(QStringLiteral("The unloaded module's addresses cannot be guarded: %1")
                                            .arg(QString::fromLocal8Bit(std::strerror(errno))));
        }
        if (got != wanted) { // a kernel without MAP_FIXED_NOREPLACE treats it as a hint
            munmap(got, ALength);
            throw hostapi::EQVException(QStringLiteral("The unloaded module's addresses are in use again"));
        }
        FRanges.append({ABegin, ABegin + ALength});
        return true;
    }

    QList<AddressRange> FRanges;
};

testmodule::ITestModuleControl& Control(hostapi::TClientPluginBase& APlugin) {
    auto* control = APlugin.GetExtFunc<testmodule::ITestModuleControl>();
    if (!control)
        throw hostapi::EQVException(QStringLiteral("the test module offers no control interface"));
    return *control;
}

QStringList SinkTexts() {
    QStringList texts;
    for (const hostapi::MessageSinkEntry& entry : hostapi::MessageSink::Instance().Entries())
        texts.append(entry.Text);
    return texts;
}

} // namespace

// Texts that a module hands to the host stay readable after the module's library is closed: the
// module is unloaded, its old addresses are made unreadable, a renamed copy of its file is loaded
// (so that it maps elsewhere), and the host uses the texts of both.
class tst_ModuleTexts : public QObject {
    Q_OBJECT

private slots:
    void hostKeepsModuleTextsAfterUnload() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString first = folder.filePath(QStringLiteral("QVTestModule.so"));
        const QString second = folder.filePath(QStringLiteral("QVTestModuleRenamed.so"));
        QVERIFY(QFile::copy(QStringLiteral(QV_TEST_MODULE), first));
        QVERIFY(QFile::copy(QStringLiteral(QV_TEST_MODULE), second));
        const QString identifier = QString::fromLatin1(testmodule::TestActionIdentifier);

        hostapi::ModuleLoader loader;
        hostapi::Scheduler scheduler;
        hostapi::TClientPluginBase& plugin = loader.LoadModule(first);
        Control(plugin).OfferScheduleAction();
        for (hostapi::TSchedulePlugin* schedule : plugin.FindComponents<hostapi::TSchedulePlugin>())
            scheduler.RegisterPlugin(schedule);
        QVERIFY(scheduler.ExecuteNow(identifier));
        QCOMPARE(Control(plugin).Text(QStringLiteral("IDS_Greeting")),
                 QStringLiteral("Guten Tag vom Testmodul"));
        const int progress = Control(plugin).OpenProgress(); // left open by the module
        const hostapi::MenuModel menus = hostapi::MenuModel::FromPlugins(loader.Plugins());
        const qvhost::FirstStartSteps steps = qvhost::FirstStartSteps::FromPlugins(loader.Plugins());
        const QList<AddressRange> mapped = MappingsOf(first);
        QVERIFY(!mapped.isEmpty());

        loader.UnloadAll();
        UnmappedGuard guard(mapped); // at once: reading the maps below allocates, and may map there
        QVERIFY(MappingsOf(first).isEmpty());

        hostapi::TClientPluginBase& renamed = loader.LoadModule(second);
        // The translation cache finds the table by the unit name the first copy gave.
        QCOMPARE(Control(renamed).Text(QStringLiteral("IDS_Greeting")),
                 QStringLiteral("Guten Tag vom Testmodul"));
        Control(renamed).OfferScheduleAction();
        for (hostapi::TSchedulePlugin* schedule : renamed.FindComponents<hostapi::TSchedulePlugin>())
            scheduler.RegisterPlugin(schedule);
        QVERIFY(scheduler.ExecuteNow(identifier));

        // The scheduler log as the host's window reads it: both runs.
        const hostapi::ScheduleLog& log = scheduler.Log();
        QCOMPARE(log.rowCount(), 2);
        for (int row = 0; row < 2; ++row) {
            QCOMPARE(log.index(row, hostapi::ScheduleLog::colCaption).data().toString(),
                     QStringLiteral("Testmodul abgleichen"));
            QCOMPARE(log.index(row, hostapi::ScheduleLog::colText).data().toString(),
                     QStringLiteral("abgeglichen"));
        }
        QCOMPARE(SinkTexts().count(QStringLiteral("Testmodul: Abgleich fertig")), 2);
        QCOMPARE(menus.SectionCaptions(), (QStringList{"Konfiguration", "Testmodul"}));
        QCOMPARE(menus.Entries(QStringLiteral("Testmodul")).first().Item.MenuTitle,
                 QStringLiteral("Übersicht"));
        QCOMPARE(steps.Steps().size(), 1);
        QCOMPARE(steps.Steps().first().ComponentTitle, QStringLiteral("Testmodul"));
        QCOMPARE(steps.Steps().first().Title, QStringLiteral("Testmodul einrichten"));
        QCOMPARE(steps.Steps().first().Description, QStringLiteral("Die Einstellungen des Testmoduls."));
        // The status bar's progress entry that the first copy left open.
        const QList<hostapi::ProgressEntry> entries = hostapi::ProgressService::Instance().Entries();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().Caption, QStringLiteral("Testmodul arbeitet"));
        QCOMPARE(entries.first().Text, QStringLiteral("Schritt 1"));
        hostapi::ProgressService::Instance().CloseProgress(progress);
        // The first copy's step cannot be followed any more, and says so.
        QVERIFY_THROWS_EXCEPTION(hostapi::EQVException, steps.Follow(0));

        loader.UnloadAll();
    }
};

QTEST_MAIN(tst_ModuleTexts)
#include "tst_ModuleTexts.moc"
