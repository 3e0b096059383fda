#include "frmPluginRegisterServiceLogFile.h"

#include "ExceptionDisplay.h"
#include "QVDBGrid.h"
#include "QVRecordSet.h"
#include "QVRecordSetModel.h"
#include "QVRegisterServiceContainer.h"

#include <QEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace registerservice {

TTabData::TTabData(QWidget* ASheet, const QString& ALogSchema, QObject* AOwner)
    : FSheet(ASheet), FRecordSet(std::make_unique<hostapi::TQVRecordSet>(ALogSchema)),
      FView(new hostapi::QVRecordSetModel(FRecordSet.get(), AOwner)), FGrid(new hostapi::QVDBGrid(ASheet)) {
    FGrid->setObjectName(QStringLiteral("grdLog"));
    FGrid->SetRecordSetModel(FView);
    auto* layout = new QVBoxLayout(ASheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FGrid);
}

TTabData::~TTabData() {
    FGrid->SetRecordSetModel(nullptr);
    FRecordSet->Close();
    delete FView;
    FRecordSet.reset();
    delete FGrid;
}

void TTabData::SheetShown() {
    if (!FRecordSet->Active())
        FView->Refresh();
}

TfrmPluginRegisterServiceLogFile::TfrmPluginRegisterServiceLogFile(QWidget* AParent)
    : hostapi::TPluginForm(AParent), siLang(QStringLiteral("frmPluginRegisterServiceLogFile")),
      QVRegisterServiceContainer(new hostapi::TQVRegisterServiceContainer(this)) {
    setObjectName(QStringLiteral("frmPluginRegisterServiceLogFile"));
    QVRegisterServiceContainer->setObjectName(QStringLiteral("QVRegisterServiceContainer"));
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl);

    for (const hostapi::TRegisteredPartHandler& handler : QVRegisterServiceContainer->Handlers()) {
        if (handler.LogSchema.isEmpty())
            continue;
        auto* sheet = new QWidget(PageControl);
        sheet->setObjectName(QStringLiteral("tbsLog%1").arg(FTabs.size() + 1));
        FTabs.push_back(std::make_unique<TTabData>(sheet, handler.LogSchema, this));
        sheet->installEventFilter(this);
        PageControl->addTab(sheet, handler.LogCaption);
    }
    ApplyTexts();
    resize(QSize(720, 420));
}

TfrmPluginRegisterServiceLogFile::~TfrmPluginRegisterServiceLogFile() {
    FreeTabs();
}

bool TfrmPluginRegisterServiceLogFile::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AEvent->type() == QEvent::Show)
        for (const std::unique_ptr<TTabData>& tab : FTabs)
            if (tab->Sheet() == AWatched)
                hostapi::TVRNExceptionUtils::Guarded([&tab] { tab->SheetShown(); });
    return hostapi::TPluginForm::eventFilter(AWatched, AEvent);
}

void TfrmPluginRegisterServiceLogFile::SetLanguage(const QString& ALangName) {
    hostapi::TPluginForm::SetLanguage(ALangName);
    siLang.SetLanguage(ALangName);
    ApplyTexts();
}

void TfrmPluginRegisterServiceLogFile::ApplyTexts() {
    setWindowTitle(siLang.Text(QStringLiteral("IDS_Caption")));
}

void TfrmPluginRegisterServiceLogFile::AfterShow() {
    hostapi::TPluginForm::AfterShow();
}

void TfrmPluginRegisterServiceLogFile::FormClose() {
    hostapi::TPluginForm::FormClose();
    FreeTabs();
}

void TfrmPluginRegisterServiceLogFile::FreeTabs() {
    while (!FTabs.empty()) {
        std::unique_ptr<TTabData> tab = std::move(FTabs.back());
        FTabs.pop_back();
        QWidget* sheet = tab->Sheet();
        sheet->removeEventFilter(this);
        tab.reset();
        PageControl->removeTab(PageControl->indexOf(sheet));
        delete sheet;
    }
}

} // namespace registerservice
