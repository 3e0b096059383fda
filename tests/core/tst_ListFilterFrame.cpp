// A list's saved filters edited in the list-view search frame and saved through the list's filter
// saver select exactly their recipients in the following job preparation: an equality, a "like"
// with umlauts and an OR, with and without parentheses; the OR never widens the list past its own
// filters. On SQLite and PostgreSQL.

#include "BaseEmailSender.h"
#include "EmailListItem.h"
#include "RecipientSelection.h"

#include "Database.h"
#include "HostLibraries.h"
#include "QVSchemaFilterSave.h"
#include "VRNLang.h"
#include "frmDBListViewSearch.h"
#include "support/FilterFrameDriver.h"
#include "support/TestDatabase.h"

#include <QTest>

#include <chrono>

using namespace emailmarketing;
using testsupport::Backend;
using testsupport::TestDatabase;

namespace {

const QString Addresses = QStringLiteral("pelm_addresses_ass");
constexpr qint32 ListID = 9;

struct Recipient {
    const char* Name;
    const char* City;
    const char* Country;
    const char* Email; // "": no address, never a recipient
};

void AddRecipients() {
    const QList<Recipient> recipients{
        {"Müller", "Köln", "DE", "mueller@x.de"}, {"MÜNZ", "Köln", "DE", "muenz@x.de"},
        {"Mueller", "Köln", "DE", "mue@x.de"},    {"Zeta", "Köln", "DE", "zeta@x.de"},
        {"Zeta", "Bonn", "DE", "zeta@bonn.de"},   {"Müller", "Köln", "AT", "mueller@x.at"},
        {"Zeta", "Köln", "AT", "zeta@x.at"},      {"Müllerin", "Köln", "DE", ""},
    };
    for (const Recipient& r : recipients)
        hostapi::Database::InsertRow(Addresses, {"name", "city", "country", "email1"},
                                     {QString::fromUtf8(r.Name), QString::fromUtf8(r.City),
                                      QString::fromUtf8(r.Country), QString::fromUtf8(r.Email)});
}

// The list: recipients of Köln with an e-mail address.
std::shared_ptr<TEmailListItem> KoelnList() {
    auto list = std::make_shared<TEmailListItem>();
    list->SetIDValue(ListID);
    list->SetName(QStringLiteral("Köln"));
    list->SetSectionName(Addresses);
    list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email1")});
    list->SetUseGlobalSendSettings(false);
    list->SetSendPerUnits(false);
    list->SetUseGlobalRegisterService(false);
    hostapi::TQVFilterList own;
    own.Add(QStringLiteral("city"), QStringLiteral("Köln"));
    list->SetAdvFilters(own);
    return list;
}

// The real preparation; the sender threads send nothing.
class PreparedJob : public TLocalEmailSender {
public:
    using TLocalEmailSender::TLocalEmailSender;

    bool WaitForPreparationEnd() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (State().ContainsAny({jsPreparing, jsPreparingPreview})) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            WaitForStateChange(100);
        }
        return true;
    }

protected:
    void SendThreadExecute(TMethodeCallThread&) override {}
};

// The addresses a job on the list prepares a message for, in record order.
QStringList PreparedAddresses(std::shared_ptr<TEmailListItem> AList) {
    auto* job = new PreparedJob(nullptr, 7, std::move(AList), esPlainText);
    struct Free {
        PreparedJob* P;
        ~Free() { TBaseEmailSender::FreeJob(P); }
    } free{job};
    job->SetSubject(QStringLiteral("Hallo"));
    job->SetContent(QStringLiteral("Guten Tag"));
    job->Prepare();
    if (!job->WaitForPreparationEnd() || !job->State().Contains(jsPrepared))
        return {QStringLiteral("<preparation did not end>")};
    QStringList addresses;
    for (int i = 0; i < job->SendCount(); ++i)
        addresses << job->GetSendMails(i)->EmailAddress();
    return addresses;
}

} // namespace

class tst_ListFilterFrame : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        hostapi::HostLibraries::Initialize();
        hostapi::TVRNLang::SetCurrentLanguage(QStringLiteral("German"));
    }

    void savedFiltersSelectTheJobsRecipients_data() {
        TestDatabase::AddBackendColumn();
        QTest::addColumn<bool>("parentheses");
        QTest::addColumn<QStringList>("expected");
        for (Backend backend : TestDatabase::SelectedBackends()) {
            const char* b = backend == Backend::SQLite ? "sqlite" : "postgresql";
            // Land = DE und (Name enthält "mü" oder Name = Zeta).
            QTest::addRow("%s: OR in parentheses", b)
                << backend << true << QStringList{"mueller@x.de", "muenz@x.de", "zeta@x.de"};
            // (Land = DE und Name enthält "mü") oder Name = Zeta: Zeta of Austria comes in, Zeta of
            // Bonn stays out, for the list takes only Köln.
            QTest::addRow("%s: OR without parentheses", b)
                << backend << false << QStringList{"mueller@x.de", "muenz@x.de", "zeta@x.de", "zeta@x.at"};
        }
    }
    void savedFiltersSelectTheJobsRecipients() {
        QFETCH(Backend, backend);
        QFETCH(bool, parentheses);
        QFETCH(QStringList, expected);
        QV_SKIP_UNLESS_BACKEND(backend);
        TestDatabase db(backend);
        AddRecipients();
        auto list = KoelnList();
        // Another list's saved filters on the same schema take no part.
        hostapi::TQVFilterList nobody;
        nobody.Add(QStringLiteral("name"), QStringLiteral("Niemand"));
        TRecipientSelection::ListFilterSave(Addresses, ListID + 1).SaveFilters(nobody);

        hostapi::TfrmDBListViewSearch frame;
        testsupport::ShowFrame(frame);
        frame.SetSchemaName(Addresses);
        frame.LoadFilters(TRecipientSelection::ListFilterSave(Addresses, ListID));
        QCOMPARE(frame.FilterModel().rowCount(), 0);
        testsupport::AddCondition(frame, {}, "Land", "ist gleich", "DE");
        testsupport::AddCondition(frame, "und", "Name", "enthält", "mü");
        testsupport::AddCondition(frame, "oder", "Name", "ist gleich", "Zeta");
        if (parentheses)
            testsupport::Parenthesize(frame, 1, 2);
        QVERIFY(frame.Changed());
        frame.SaveFilters(TRecipientSelection::ListFilterSave(Addresses, ListID));
        QVERIFY(!frame.Changed());

        QCOMPARE(PreparedAddresses(list), expected);
    }
};

QTEST_MAIN(tst_ListFilterFrame)
#include "tst_ListFilterFrame.moc"
