// The template tree marks on SQLite: a template whose job is in the job list is drawn #5FC571 with
// image 40 (normal and selected, first column only); adding and ending a job repaints the tree, and
// after the job ended the row is drawn as before. The tree is grabbed into the build folder.

#include "QVDBTreeModel.h"
#include "QVDBTreeView.h"
#include "QVRecordSet.h"
#include "TemplateTreeJobMarks.h"
#include "WindowJobs.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QTest>

using namespace emailmarketing;
using hostapi::tnkContent;
using hostapi::tnkFolder;
using hostapi::TQVTreeNode;

class tst_TemplateTreeJobMarks : public QObject {
    Q_OBJECT

private slots:
    void jobTemplateIsMarkedUntilItsJobEnds() {
        testsupport::TestDatabase db;
        windowtests::AddRecipients(1);
        const qint64 folder = hostapi::Database::InsertRow("emltemplatefolders", {"descr"}, {"Aktionen"});
        const qint64 idle =
            hostapi::Database::InsertRow("emtemplates", {"name", "templatefolderid"}, {"Ruhig", folder});
        const qint64 running =
            hostapi::Database::InsertRow("emtemplates", {"name", "templatefolderid"}, {"Läuft", folder});
        hostapi::TQVRecordSet folders("emltemplatefolders");
        hostapi::QVDBTreeModel model(&folders, "parentemlltemplatefolderid");
        model.SetContentSchema("emtemplates", "templatefolderid");
        model.SetContentImageIndex(74);
        model.SetColumns({{"descr", "name", "Name", false}, {{}, "lastsent", {}, false}});
        hostapi::QVDBTreeView view;
        view.SetTreeModel(&model);

        windowtests::JobList jobs;
        int repaints = 0;
        auto marks = std::make_shared<TTemplateTreeJobMarks>(jobs.List, [&] {
            ++repaints;
            view.update();
        });
        marks->Install(model);
        jobs.List.RegisterJobNotifyer(marks);
        view.Refresh();
        const auto cell = [&](qint64 AID, int AColumn, int ARole) {
            return model.IndexOf({tnkContent, AID}, AColumn).data(ARole);
        };
        QVERIFY(!cell(running, 0, Qt::BackgroundRole).isValid());
        QCOMPARE(cell(running, 0, hostapi::QVDBTreeModel::ImageIndexRole).toInt(), 74);

        TBaseEmailSender* job = jobs.Create(qint32(running));
        QCOMPARE(repaints, 1);
        for (int column = 0; column < model.columnCount(); ++column)
            QCOMPARE(cell(running, column, Qt::BackgroundRole).value<QColor>(), QColor("#5FC571"));
        QCOMPARE(cell(running, 0, hostapi::QVDBTreeModel::ImageIndexRole).toInt(), 40);
        QCOMPARE(cell(running, 0, hostapi::QVDBTreeModel::SelectedImageIndexRole).toInt(), 40);
        QCOMPARE(cell(running, 1, hostapi::QVDBTreeModel::ImageIndexRole).toInt(), -1);
        QVERIFY(!cell(idle, 0, Qt::BackgroundRole).isValid());
        QCOMPARE(cell(idle, 0, hostapi::QVDBTreeModel::ImageIndexRole).toInt(), 74);
        QVERIFY(!model.IndexOf({tnkFolder, folder}, 0).data(Qt::BackgroundRole).isValid());

        QVERIFY(view.FocusNode({tnkContent, idle})); // opens the folder; the marked row unselected
        view.resize(420, 160);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QDir().mkpath(QV_GRAB_DIR);
        QVERIFY(view.grab().save(QStringLiteral(QV_GRAB_DIR "/TemplateTreeJobMarks.png")));

        jobs.List.Delete(job);
        QCOMPARE(repaints, 2);
        QVERIFY(!cell(running, 0, Qt::BackgroundRole).isValid());
        QCOMPARE(cell(running, 0, hostapi::QVDBTreeModel::ImageIndexRole).toInt(), 74);
        jobs.List.UnRegisterJobNotifyer(marks);
    }
};

QTEST_MAIN(tst_TemplateTreeJobMarks)
#include "tst_TemplateTreeJobMarks.moc"
