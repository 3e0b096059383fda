#pragma once

#include "EmailSenderJobList.h"

#include <functional>

namespace hostapi {
class QVDBTreeModel;
struct TQVTreeNode;
} // namespace hostapi

namespace emailmarketing {

// Marks the templates of the mailing window's tree that have a job in the job list: the row's
// background green (TColor 7456095, #5FC571) and image 40 in the first column, normal and selected.
// Registered with the job list, it repaints the tree when a job is added or ends (main thread only).
class TTemplateTreeJobMarks : public IJobNotification {
public:
    static constexpr int JobColor = 7456095;
    static constexpr int JobImage = 40;

    // ARepaint repaints the tree (and refreshes the focused template's row).
    TTemplateTreeJobMarks(const TEmailSenderJobList& AJobList, std::function<void()> ARepaint);

    // Installs the colour and image rules on the tree's model.
    void Install(hostapi::QVDBTreeModel& AModel);

    int CellColor(const hostapi::TQVTreeNode& ANode, int AColumn) const;
    int ImageIndex(const hostapi::TQVTreeNode& ANode, int AColumn, bool ASelected, int ADefault) const;

    void JobListChanged(TEmailSenderJobList& AJobList, TBaseEmailSender* AJob, bool ARemoved) override;

private:
    bool HasJob(const hostapi::TQVTreeNode& ANode) const;

    const TEmailSenderJobList& FJobList;
    std::function<void()> FRepaint;
};

} // namespace emailmarketing
