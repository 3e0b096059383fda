// A job's real preparation of PDF attachments with macros, against a real database: with pdftk, a
// PDF without form fields and a corrupt form; with pdftk absent from the search path, the PDF
// attachments sent as they are.

#include "BaseEmailSender.h"
#include "PDFFileMacroReplacer.h"

#include "Database.h"
#include "FileUtils.h"
#include "HostLibraries.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>

using namespace emailmarketing;
using testsupport::TestDatabase;

namespace {

const QString Fixtures = QStringLiteral(QV_SOURCE_DIR "/tests/fixtures/pdf/");
constexpr int Recipients = 3;

QString Pdftk() {
    return QStandardPaths::findExecutable(QStringLiteral("pdftk"));
}

// Addresses "Name<i>" with e-mail "r<i>@example.org".
void AddRecipients() {
    hostapi::Transaction transaction;
    for (int i = 0; i < Recipients; ++i)
        hostapi::Database::InsertRow(
            QStringLiteral("pelm_addresses_ass"), {QStringLiteral("name"), QStringLiteral("email1")},
            {QStringLiteral("Name%1").arg(i), QStringLiteral("r%1@example.org").arg(i)});
    transaction.Commit();
}

// The preparation only: no sender runs.
class PreparingJob : public TLocalEmailSender {
public:
    using TLocalEmailSender::TLocalEmailSender;

    bool WaitForPreparationEnd() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
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

struct Job {
    PreparingJob* P;
    explicit Job(const QString& ATempDirectory) {
        auto list = std::make_shared<TEmailListItem>();
        list->SetSectionName(QStringLiteral("pelm_addresses_ass"));
        list->SetName(QStringLiteral("Kunden"));
        list->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email1")});
        list->SetUseGlobalSendSettings(false);
        list->SetUseGlobalRegisterService(false);
        P = new PreparingJob(nullptr, 7, std::move(list), esPlainText);
        P->SetSubject(QStringLiteral("Angebot"));
        P->SetContent(QStringLiteral("Guten Tag %NAME%"));
        P->UsedMakros() = {{QStringLiteral("%NAME%"), mkField}};
        P->SetTempDirectory(ATempDirectory);
    }
    ~Job() { TBaseEmailSender::FreeJob(P); }
    PreparingJob* operator->() const { return P; }
};

// A PDF attachment with macros of the job (as the mailing window adds it).
TAttachement* AddPdf(Job& AJob, const QString& AName, const QString& AFile,
                     const QStringList& ASettings = {}) {
    TAttachement* attachment = AJob->Attachements().Add();
    attachment->SetUseMacros(true);
    attachment->SetFileName(AName);
    if (attachment->FileMacroReplacer())
        attachment->FileMacroReplacer()->SetSettings(ASettings);
    attachment->SetLocalFile(AFile);
    return attachment;
}

QStringList SinkTexts(const testsupport::RecordingMessageSink& ASink) {
    QStringList texts;
    for (const auto& m : ASink.Messages())
        texts << m.Text;
    return texts;
}

// Exit code of pdftk reading the fields of APdf (with the user password APassword when given).
int PdftkReads(const QString& APdf, const QString& APassword = QString()) {
    QProcess pdftk;
    QStringList args{APdf};
    if (!APassword.isEmpty())
        args << QStringLiteral("input_pw") << APassword;
    args << QStringLiteral("dump_data_fields") << QStringLiteral("output") << QStringLiteral("-");
    pdftk.start(Pdftk(), args);
    return pdftk.waitForFinished(60000) && pdftk.exitStatus() == QProcess::NormalExit ? pdftk.exitCode() : -1;
}

// Sets PATH to an empty folder while it lives, so pdftk is not found.
class PdftkAbsent {
public:
    PdftkAbsent() : FOldPath(qgetenv("PATH")) { qputenv("PATH", FEmpty.path().toUtf8()); }
    ~PdftkAbsent() { qputenv("PATH", FOldPath); }

private:
    QTemporaryDir FEmpty;
    QByteArray FOldPath;
};

} // namespace

class tst_PDFJobPreparation : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        hostapi::HostLibraries::Initialize();
        RegisterPDFFileMacroReplacer();
        if (Pdftk().isEmpty())
            QFAIL("pdftk is not installed (Debian package pdftk-java)");
    }
    void cleanupTestCase() { UnRegisterPDFFileMacroReplacer(); }

    void pdfWithoutFormFieldsIsAttached_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<bool>("unchanged"); // the attached file is the source's bytes
        QTest::addColumn<QString>("userPassword");
        QTest::newRow("no output option") << QStringList() << true << QString();
        QTest::newRow("encryption and passwords")
            << QStringList{"Encryption=2", "OwnerPassword=Besitzer", "UserPassword=Kunde", "Permissions=0"}
            << false << QStringLiteral("Kunde");
        QTest::newRow("flatten and compression")
            << QStringList{"Flatten=1", "Compression=1"} << false << QString();
    }
    void pdfWithoutFormFieldsIsAttached() {
        QFETCH(QStringList, settings);
        QFETCH(bool, unchanged);
        QFETCH(QString, userPassword);
        TestDatabase db;
        testsupport::RecordingMessageSink sink;
        AddRecipients();
        QTemporaryDir temp;
        Job job(temp.path());
        const QString source = Fixtures + QStringLiteral("no-fields.pdf");
        AddPdf(job, QStringLiteral("Prospekt.pdf"), source, settings);
        job->Prepare();
        QVERIFY(job->WaitForPreparationEnd());

        QCOMPARE(SinkTexts(sink), QStringList());
        QCOMPARE(job->DroppedCount(), 0);
        QCOMPARE(job->SendCount(), Recipients);
        for (int i = 0; i < Recipients; ++i) {
            const TAttachementList& files = *job->GetSendMails(i)->NormalFileList();
            QCOMPARE(files.Count(), 1);
            const QString attached = files.Items(0)->LocalFile();
            QVERIFY2(attached.startsWith(temp.path()), qPrintable(attached));
            QCOMPARE(hostapi::LoadBinaryFile(attached) == hostapi::LoadBinaryFile(source), unchanged);
            if (!userPassword.isEmpty()) {
                // Encrypted: pdftk opens it only with the password.
                QVERIFY(PdftkReads(attached) != 0);
                QCOMPARE(PdftkReads(attached, userPassword), 0);
            } else {
                QCOMPARE(PdftkReads(attached), 0);
            }
        }
    }

    void corruptFormNamesTheCause() {
        TestDatabase db;
        testsupport::RecordingMessageSink sink;
        AddRecipients();
        QTemporaryDir temp;
        Job job(temp.path());
        AddPdf(job, QStringLiteral("Angebot.pdf"), Fixtures + QStringLiteral("corrupt-form.pdf"));
        job->Prepare();
        QVERIFY(job->WaitForPreparationEnd());

        QCOMPARE(job->DroppedCount(), Recipients);
        const QStringList texts = SinkTexts(sink);
        QCOMPARE(texts.size(), 1);
        const QString summary = texts.first();
        QVERIFY2(summary.startsWith(QStringLiteral("3 of 3 recipients were dropped. The first failure: "
                                                   "PDFTK.EXE has terminated with ExitCode '1'!")),
                 qPrintable(summary));
        QVERIFY2(summary.contains(QStringLiteral("Invalid PDF")), qPrintable(summary));
    }

    void withoutPdftkPdfsAreSentAsTheyAre_data() {
        QTest::addColumn<bool>("filePerRecipient");
        QTest::newRow("one file") << false;
        QTest::newRow("file per recipient") << true;
    }
    void withoutPdftkPdfsAreSentAsTheyAre() {
        QFETCH(bool, filePerRecipient);
        TestDatabase db;
        testsupport::RecordingMessageSink sink;
        AddRecipients();
        QTemporaryDir temp;
        QTemporaryDir forms;
        const QString form = Fixtures + QStringLiteral("form.pdf");
        for (int i = 0; i < Recipients; ++i)
            QVERIFY(QFile::copy(form, forms.filePath(QStringLiteral("Name%1.pdf").arg(i))));
        const PdftkAbsent absent;
        QVERIFY(!TPDFFileMacroReplacer::IsAvailable());
        Job job(temp.path());
        TAttachement* attachment = AddPdf(job, QStringLiteral("Angebot %NAME%.pdf"), form);
        if (filePerRecipient)
            attachment->SetLocalFileRef(forms.path() + QStringLiteral("/%NAME%.pdf"), true);
        job->Prepare();
        QVERIFY(job->WaitForPreparationEnd());

        // Said once for the whole job.
        QCOMPARE(SinkTexts(sink), QStringList{TPDFFileMacroReplacer::UnavailableNotice()});
        QCOMPARE(job->DroppedCount(), 0);
        QCOMPARE(job->SendCount(), Recipients);
        const QByteArray original = hostapi::LoadBinaryFile(form);
        for (int i = 0; i < Recipients; ++i) {
            const TAttachementList& files = *job->GetSendMails(i)->NormalFileList();
            QCOMPARE(files.Count(), 1);
            const TAttachement* file = files.Items(0);
            // The name's macros are replaced; the file goes out unchanged.
            const QString name = job->GetSendMails(i)->PlainMailBody().mid(10);
            QCOMPARE(file->FileName(), QStringLiteral("Angebot %1.pdf").arg(name));
            QCOMPARE(file->LocalFile(),
                     filePerRecipient ? forms.filePath(name + QStringLiteral(".pdf")) : form);
            QCOMPARE(hostapi::LoadBinaryFile(file->LocalFile()), original);
        }
    }
};

QTEST_GUILESS_MAIN(tst_PDFJobPreparation)
#include "tst_PDFJobPreparation.moc"
