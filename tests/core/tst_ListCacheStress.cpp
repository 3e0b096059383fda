// A job thread reads its list (fields, macros, schema macros, global values) while the main thread
// registers and unregisters a client list provider, which saves, drops and rebuilds the list cache
// each time: the job's list and its schema macros stay alive and readable throughout. A provider
// registered from another thread is queued to the main thread.

#include "Database.h"
#include "HostDoubles.h"
#include "ScriptedEmailSender.h"
#include "dmPluginEmailMarketingMain.h"
#include "support/TestDatabase.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <thread>

using namespace emailmarketing;
using testsupport::TestDatabase;

namespace {

class OneList : public hostapi::IClientListDefinition {
public:
    QString ListIdent() const override { return QStringLiteral("L1"); }
    QString Name() const override { return QStringLiteral("Partner"); }
    QString SchemaName() const override { return QStringLiteral("pelm_addresses_ass"); }
    QStringList FieldsToIgnore() const override { return {}; }
    int FilterCount() const override { return 0; }
    void GetFilter(int, QString&, hostapi::TQVFilterType&, hostapi::TQVFilterLink&, bool&,
                   hostapi::TQVParenthesis&, QString&) const override {}
};

class Provider : public hostapi::IClientListProvider {
public:
    QString ClientIdent() const override { return QStringLiteral("CRM"); }
    int ListCount() const override { return 1; }
    std::shared_ptr<hostapi::IClientListDefinition> Lists(int) const override {
        return std::make_shared<OneList>();
    }
};

} // namespace

class tst_ListCacheStress : public QObject {
    Q_OBJECT

private slots:
    void jobReadsItsListWhileProvidersChange() {
        TestDatabase db;
        testsupport::RecordingExceptionDisplay shown;
        TdmPluginEmailMarketingMain dm(nullptr);
        dm.Jobs().SetLocalJobFactory(
            [](QObject* AOwner, qint32 AID, std::shared_ptr<TEmailListItem> AList, TEmailStyle AStyle) {
                return new testsupport::ScriptedEmailSender(AOwner, AID, std::move(AList), AStyle);
            });
        const qint64 id = hostapi::Database::InsertRow("emlists", {"name", "tblname", "mailsperunit"},
                                                       {"Kunden", "pelm_addresses_ass", 100});
        const qint64 macro = hostapi::Database::InsertRow(
            "emlmacros", {"emlists_id", "macroname", "schemaname"}, {-2, "REGION", "pelm_addresses_ass"});
        hostapi::Database::InsertRow("emlconditions", {"emlmacros_id", "condition", "valuem"},
                                     {macro, 0, "Süd"});
        TBaseEmailSender* job =
            dm.Jobs().CreateJob(tjLocal, 1, dm.ByID(static_cast<qint32>(id)), esPlainText);

        std::atomic<bool> stop{false};
        std::atomic<int> reads{0};
        std::atomic<int> wrong{0};
        std::thread reader([&] {
            const std::shared_ptr<TEmailListItem> list = job->DestinationList();
            try {
                while (!stop.load() || reads.load() < 50) {
                    const std::shared_ptr<TMacroList> schemaMacros = list->GlobalTableMacros();
                    const TMacroList copy = schemaMacros ? *schemaMacros : TMacroList();
                    if (list->Name() != QLatin1String("Kunden") ||
                        list->GetEmailFields(hostapi::fftEmail).isEmpty() || list->MailsPerUnit() <= 0 ||
                        list->UserMacros().Count() != 0 || copy.Count() > 1)
                        ++wrong;
                    ++reads;
                }
            } catch (...) {
                ++wrong;
            }
        });
        auto provider = std::make_shared<Provider>();
        for (int round = 0; round < 30; ++round) {
            dm.RegisterClientProvider(provider);
            QCOMPARE(dm.Count(), 2);
            dm.UnRegisterClientProvider(provider);
            QCOMPARE(dm.Count(), 1);
        }
        stop = true;
        reader.join();
        QCOMPARE(wrong.load(), 0);
        QVERIFY(job->DestinationList()->IsInUseByJob() || dm.ByID(static_cast<qint32>(id))->IsInUseByJob());

        // From another thread the registration is queued to the main thread.
        std::thread other([&] { dm.RegisterClientProvider(provider); });
        other.join();
        QCOMPARE(dm.Count(), 1);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(dm.Count(), 2);
        QVERIFY(shown.Records().isEmpty());
        dm.Jobs().Delete(job);
    }

    // A job copies its schema macros while the main thread publishes edited copies and saves them:
    // every copy is one published state, whole.
    void jobCopiesSchemaMacrosWhileTheyArePublished() {
        TestDatabase db;
        TdmPluginEmailMarketingMain dm(nullptr);
        const QString schema = QStringLiteral("pelm_addresses_ass");
        const qint64 id = hostapi::Database::InsertRow("emlists", {"name", "tblname"}, {"Kunden", schema});
        const std::shared_ptr<TEmailListItem> list = dm.ByID(static_cast<qint32>(id));
        std::atomic<bool> stop{false};
        std::atomic<int> reads{0};
        std::atomic<int> wrong{0};
        std::thread reader([&] {
            while (!stop.load() || reads.load() < 50) {
                const std::shared_ptr<TMacroList> published = list->GlobalTableMacros();
                const TMacroList copy = *published;
                // state k: k macros, each captioned k with one condition
                for (int i = 0; i < copy.Count(); ++i)
                    if (copy.Items(i)->Caption() != QString::number(copy.Count()) ||
                        copy.Items(i)->Count() != 1)
                        ++wrong;
                ++reads;
            }
        });
        for (int round = 1; round <= 60; ++round) {
            TMacroList edited = *dm.GetSchemaMacroList(schema);
            edited.Add()->Add()->SetMacroValue(QStringLiteral("Wert"));
            for (int i = 0; i < edited.Count(); ++i)
                edited.Items(i)->SetCaption(QString::number(round));
            dm.ReplaceSchemaMacros(schema, edited);
            if (round % 10 == 0)
                dm.Save();
        }
        stop = true;
        reader.join();
        QCOMPARE(wrong.load(), 0);
        QCOMPARE(dm.GetSchemaMacroList(schema)->Count(), 60);
    }
};

QTEST_MAIN(tst_ListCacheStress)
#include "tst_ListCacheStress.moc"
