#pragma once

// The mailing window on the send-job fixture: the fixture's template lies in a folder of the tree
// with a text and a subject, and the window is shown offscreen.

#include "SendJobFixture.h"
#include "frmEmailMarketing.h"

#include "QVDBTreeModel.h"
#include "QVDBTreeView.h"
#include "WindowJobs.h"
#include "support/HostDoubles.h"
#include "support/WindowTestHelpers.h"

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace mailingwindowtests {

using namespace emailmarketing;

struct WindowFixture : sendjobtests::Fixture {
    testsupport::RecordingExceptionDisplay Errors;
    qint64 Folder = -1;

    explicit WindowFixture(int AStyle = esPlainText, TMessageSenderDevice ADevice = msdExtSMTP,
                           const QString& AServer = QStringLiteral("fake"))
        : sendjobtests::Fixture(ADevice, AServer) {
        Folder = hostapi::Database::InsertRow(QStringLiteral("emltemplatefolders"), {QStringLiteral("descr")},
                                              {QStringLiteral("Kampagnen")});
        hostapi::Database::Exec(
            QStringLiteral("UPDATE \"emtemplates\" SET \"templatefolderid\" = ?, "
                           "\"emailstyle\" = ?, \"subject\" = ?, \"mailbody\" = ? "
                           "WHERE \"id\" = ?"),
            {Folder, AStyle, QStringLiteral("Angebot"), QStringLiteral("Guten Tag"), TemplateID});
    }
    std::unique_ptr<windowtests::SetClock> Time;
    std::unique_ptr<windowtests::FakeTransport> Transport;

    // The data module's jobs become held jobs on a fake transport.
    void HoldJobs() {
        Time = std::make_unique<windowtests::SetClock>();
        Transport = std::make_unique<windowtests::FakeTransport>(*Time, 0);
        Dm.Jobs().SetLocalJobFactory([](QObject* AOwner, qint32 ATemplateID,
                                        std::shared_ptr<TEmailListItem> AList,
                                        TEmailStyle AStyle) -> TBaseEmailSender* {
            return new windowtests::HeldJob(AOwner, ATemplateID, std::move(AList), AStyle);
        });
    }
    TBaseEmailSender* Job() { return Dm.Jobs().ByTemplateID(qint32(TemplateID)); }
};

struct Window {
    TfrmEmailMarketing Form;
    // Shows the fixture's template; the job folders are made in the fixture's folder.
    explicit Window(WindowFixture& AFixture) : Window(AFixture, AFixture.TemplateID) {}
    Window(WindowFixture& AFixture, qint64 ATemplateID) {
        Form.JobBuilder().SetTempParent(AFixture.Temp.path());
        Form.show();
        if (!QTest::qWaitForWindowExposed(&Form))
            qFatal("the mailing window is not shown");
        Form.NotifyShown();
        if (!Form.dblvTemplates().FocusNode({hostapi::tnkContent, ATemplateID}) ||
            Form.CurrentTemplateDBID() != ATemplateID)
            qFatal("the template is not shown");
    }
    template <class T = QWidget> T* Find(const char* AName) { return testsupport::Find<T>(Form, AName); }
    QAction* Action(const char* AName) { return Find<QAction>(AName); }
    void Trigger(const char* AName) {
        QAction* action = Action(AName);
        QVERIFY2(action->isEnabled(), AName);
        action->trigger();
    }
    QTabWidget* Pages() { return Find<QTabWidget>("PageControl"); }
    bool PageTab(const char* AName) { return Pages()->isTabVisible(Pages()->indexOf(Find(AName))); }
    QPlainTextEdit* Memo() { return Find<QPlainTextEdit>("MemoText"); }
};

// Schedules a job with auto-start for the shown template through "Zeitplaner" > "Versand...": it
// stays idle until its time.
inline void ScheduleAutoStartJob(WindowFixture& AFixture, Window& AWindow) {
    AFixture.Dialogs.AddModal([](QDialog& d) {
        testsupport::Click(d, "cbAutoStart");
        testsupport::Click(d, "btnApply");
    });
    AWindow.Trigger("actSchedSending");
    QVERIFY(AFixture.Job());
}

// The actions of AMenu and its submenus, by object name, in order ("-" a separator, "<" ">" a
// submenu).
inline QStringList MenuEntries(const QMenu& AMenu) {
    QStringList entries;
    for (QAction* action : AMenu.actions()) {
        if (action->isSeparator())
            entries << QStringLiteral("-");
        else if (action->menu())
            entries << QStringLiteral("<") << MenuEntries(*action->menu()) << QStringLiteral(">");
        else
            entries << action->objectName();
    }
    return entries;
}

} // namespace mailingwindowtests
