#pragma once

// A fresh database with a data module, one stored list on the host's addresses and a template, and
// a send job builder on them, for the tests of job creation and the job actions.

#include "Database.h"
#include "EmailListItem.h"
#include "EmailSenderJobList.h"
#include "MacroEngine.h"
#include "SendJobBuilder.h"
#include "VRNLang.h"
#include "dmPluginEmailMarketingMain.h"
#include "support/HostDoubles.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace sendjobtests {

using namespace emailmarketing;

// Counts the job list's additions and removals.
class JobCounter : public IJobNotification {
public:
    void JobListChanged(TEmailSenderJobList&, TBaseEmailSender*, bool ARemoved) override {
        ++(ARemoved ? Removed : Added);
    }
    int Added = 0;
    int Removed = 0;
};

inline QString BuilderText(const char* AId) {
    return hostapi::TVRNLang(QStringLiteral("SendJobBuilder")).Text(QLatin1String(AId));
}

inline void WriteFile(const QString& APath, const QByteArray& AData) {
    QFile file(APath);
    if (!file.open(QIODevice::WriteOnly) || file.write(AData) != AData.size())
        qFatal("cannot write %s", qPrintable(APath));
}

inline QByteArray ReadFile(const QString& APath) {
    QFile file(APath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing " + APath.toUtf8() + ">");
}

// A 1x1 PNG.
inline QByteArray Png() {
    return QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");
}

struct Fixture {
    testsupport::TestDatabase Db;
    TdmPluginEmailMarketingMain Dm{nullptr};
    testsupport::ScriptedDialogService Dialogs;
    std::shared_ptr<JobCounter> Counter = std::make_shared<JobCounter>();
    // Job folders are made in here.
    QTemporaryDir Temp;
    // Files the attachments and pictures come from.
    QTemporaryDir Files;
    std::shared_ptr<TEmailListItem> List;
    qint64 TemplateID = -1;
    TSendJobBuilder Builder{Dm, [](const QString& APath) { return APath.contains(QLatin1String("%NAME%")); },
                            [](TBaseEmailSender& AJob) {
                                const QString all = AJob.Content() + AJob.HTMLContent() + AJob.Subject();
                                AJob.UsedMakros().clear();
                                if (all.contains(QLatin1String("%NAME%"), Qt::CaseInsensitive))
                                    AJob.UsedMakros().append({QStringLiteral("%NAME%"), mkField});
                            }};

    explicit Fixture(TMessageSenderDevice ADevice = msdExtSMTP,
                     const QString& AServer = QStringLiteral("fake")) {
        Dm.Jobs().RegisterJobNotifyer(Counter);
        List = Dm.Add();
        List->SetName(QStringLiteral("Kunden"));
        List->SetSectionName(QStringLiteral("pelm_addresses_ass"));
        List->SetEmailFields(hostapi::fftEmail, {QStringLiteral("email1")});
        List->SetEmailFields(hostapi::fftMobile, {QStringLiteral("mobile")});
        List->SetUseGlobalRegisterService(false);
        List->SetUseGlobalAddress(false);
        List->SetSenderName(QStringLiteral("Shop"));
        List->SetSenderEmail(QStringLiteral("shop@sender.test"));
        List->SetUseGlobalMailServer(false);
        List->SetMessageSenderDevice(ADevice);
        List->SetMailServer(AServer);
        List->SetUseGlobalSendSettings(false);
        List->SetSendPerUnits(false);
        List->SetSendThreads(1);
        List->SetUnitDelay(0);
        List->SetChanged(true);
        Dm.Save();
        TemplateID = hostapi::Database::InsertRow(QStringLiteral("emtemplates"),
                                                  {QStringLiteral("name"), QStringLiteral("mailinglist")},
                                                  {QStringLiteral("Angebot"), List->IDValue()});
        Builder.SetTempParent(Temp.path());
        Builder.SetApplicationFolder(Files.path() + QLatin1Char('/'));
    }
    ~Fixture() { Dm.Jobs().UnRegisterJobNotifyer(Counter); }

    // A plain-text template of the list.
    TSendJobTemplate Template(TEmailStyle AStyle = esPlainText) const {
        TSendJobTemplate t;
        t.TemplateID = qint32(TemplateID);
        t.Style = AStyle;
        t.ListID = List->IDValue();
        t.Subject = QStringLiteral("Angebot für [Name]");
        t.Text = QStringLiteral("Guten Tag [Name]");
        return t;
    }
    QString File(const QString& AName, const QByteArray& AData = "data") const {
        const QString path = Files.filePath(AName);
        WriteFile(path, AData);
        return path;
    }
    void AddAttachement(const QString& ASource, const QString& AFileName, int AIsInline, int AFileOptions,
                        int AUseMacros = 1) const {
        hostapi::Database::InsertRow(QStringLiteral("emlattachements"),
                                     {QStringLiteral("emltemplateid"), QStringLiteral("filesource"),
                                      QStringLiteral("filename"), QStringLiteral("isinline"),
                                      QStringLiteral("fileoptions"), QStringLiteral("usemacros")},
                                     {TemplateID, ASource, AFileName, AIsInline, AFileOptions, AUseMacros});
    }
    void AddTextBlock(const QString& ADescr, const QString& ABody, const QString& ARtf) const {
        hostapi::Database::InsertRow(QStringLiteral("emltextblocks"),
                                     {QStringLiteral("emtemplateid"), QStringLiteral("descr"),
                                      QStringLiteral("body"), QStringLiteral("bodyhtml")},
                                     {TemplateID, ADescr, ABody, ARtf});
    }
    // The job folders that exist.
    QStringList JobFolders() const { return QDir(Temp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot); }
};

} // namespace sendjobtests
