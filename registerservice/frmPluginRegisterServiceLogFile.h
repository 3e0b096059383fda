#pragma once

#include "PluginForm.h"
#include "VRNLang.h"

#include <memory>
#include <vector>

class QTabWidget;

namespace hostapi {
class QVDBGrid;
class QVRecordSetModel;
class TQVRecordSet;
class TQVRegisterServiceContainer;
} // namespace hostapi

namespace registerservice {

// One log tab: a grid over the log table of one part handler. Destroying it detaches and frees the
// record set, then the view, then the grid.
class TTabData {
public:
    TTabData(QWidget* ASheet, const QString& ALogSchema, QObject* AOwner);
    ~TTabData();
    TTabData(const TTabData&) = delete;
    TTabData& operator=(const TTabData&) = delete;

    QWidget* Sheet() const { return FSheet; }
    hostapi::QVDBGrid* Grid() const { return FGrid; }
    hostapi::QVRecordSetModel* GetGridView() const { return FView; }
    hostapi::TQVRecordSet& RecordSet() const { return *FRecordSet; }
    // Reads the rows the first time the tab is shown.
    void SheetShown();

private:
    QWidget* FSheet;
    std::unique_ptr<hostapi::TQVRecordSet> FRecordSet;
    hostapi::QVRecordSetModel* FView;
    hostapi::QVDBGrid* FGrid;
};

// The register service's log: one tab for every part handler that keeps a log table, each with a
// grid over that table, read when its tab is first shown. No tabs without such a handler.
class TfrmPluginRegisterServiceLogFile : public hostapi::TPluginForm {
    Q_OBJECT

public:
    explicit TfrmPluginRegisterServiceLogFile(QWidget* AParent = nullptr);
    ~TfrmPluginRegisterServiceLogFile() override;

    void AfterShow() override;
    void FormClose() override;
    void SetLanguage(const QString& ALangName) override;

    // The log tabs in tab order.
    const std::vector<std::unique_ptr<TTabData>>& Tabs() const { return FTabs; }

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
    void FreeTabs();
    void ApplyTexts();

    hostapi::TVRNLang siLang;
    QTabWidget* PageControl;
    hostapi::TQVRegisterServiceContainer* QVRegisterServiceContainer;
    std::vector<std::unique_ptr<TTabData>> FTabs;
};

} // namespace registerservice
