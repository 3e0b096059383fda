#include "TemplateTreeJobMarks.h"

#include "QVDBTreeModel.h"
#include "QVRecordSetModel.h"

#include <QCoreApplication>
#include <QThread>

namespace emailmarketing {

TTemplateTreeJobMarks::TTemplateTreeJobMarks(const TEmailSenderJobList& AJobList,
                                             std::function<void()> ARepaint)
    : FJobList(AJobList), FRepaint(std::move(ARepaint)) {}

void TTemplateTreeJobMarks::Install(hostapi::QVDBTreeModel& AModel) {
    AModel.SetOnGetCellColor(
        [this](const hostapi::TQVTreeNode& ANode, int AColumn) { return CellColor(ANode, AColumn); });
    AModel.SetOnGetImageIndex(
        [this](const hostapi::TQVTreeNode& ANode, int AColumn, bool ASelected, int ADefault) {
            return ImageIndex(ANode, AColumn, ASelected, ADefault);
        });
}

bool TTemplateTreeJobMarks::HasJob(const hostapi::TQVTreeNode& ANode) const {
    return ANode.Kind == hostapi::tnkContent && FJobList.ByTemplateID(qint32(ANode.ID)) != nullptr;
}

int TTemplateTreeJobMarks::CellColor(const hostapi::TQVTreeNode& ANode, int) const {
    return HasJob(ANode) ? JobColor : hostapi::clNone;
}

int TTemplateTreeJobMarks::ImageIndex(const hostapi::TQVTreeNode& ANode, int AColumn, bool,
                                      int ADefault) const {
    return AColumn == 0 && HasJob(ANode) ? JobImage : ADefault;
}

void TTemplateTreeJobMarks::JobListChanged(TEmailSenderJobList&, TBaseEmailSender*, bool) {
    const QCoreApplication* app = QCoreApplication::instance();
    if (FRepaint && app && QThread::currentThread() == app->thread())
        FRepaint();
}

} // namespace emailmarketing
