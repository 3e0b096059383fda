#pragma once

#include "PreviewModel.h"
#include "VRNLang.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QWidget;

namespace hostapi {
class ILocalSettingsStorage;
class IHtmlView;
class TFormSave;
class THtmlViewer;
}

namespace emailmarketing {

// Shows the personalised messages of one job, one at a time: header, HTML body, plain body and
// attachments; for SMS the text with its character count. In mode epmPreview it starts the job's
// preview preparation when shown and waits for it.
class TfrmPluginEmailMarketingPreview : public QDialog {
    Q_OBJECT

public:
    explicit TfrmPluginEmailMarketingPreview(QWidget* AParent = nullptr);
    ~TfrmPluginEmailMarketingPreview() override;

    TBaseEmailSender* Job() const { return FJob; }
    void SetJob(TBaseEmailSender* AJob);
    TEmailPreviewMode PreviewMode() const { return FPreviewMode; }
    void SetPreviewMode(TEmailPreviewMode AMode);
    QString Language() const { return FLang.Language(); }
    void SetLanguage(const QString& ALangName);
    std::shared_ptr<hostapi::ILocalSettingsStorage> SaveSettings() const { return FSaveSettings; }
    // Nullptr first stores the window state into the storage set before.
    void SetSaveSettings(std::shared_ptr<hostapi::ILocalSettingsStorage> AStorage);

    void RefreshMailCount();
    // Index of the shown message; -1 = none.
    int CurrentMail() const { return FCurrentMail; }
    // True while the preview preparation's wait runs.
    bool Waiting() const { return FWaiting; }

    // Every close (button, Esc, window frame) ends here: a running preparation is aborted and the
    // preview's documents are dropped (the job stays scheduled).
    void done(int AResult) override;

protected:
    void showEvent(QShowEvent* AEvent) override;

private:
    int GetMailCount() const;
    void SetCurrentMail(int AIndex);
    void ShowMail(TEmailDocument& ADocument);
    void ShowHTML(const QString& APlainBody, const QString& AHTMLBody);
    void ShowEmpty();
    void SetEmailStyle(TEmailStyle AStyle);
    void ApplyTexts();
    void WMStartPreview();
    void WaitCallBack();
    void FormClose();
    // A tab hidden while active hands over to the next visible one (forward or backward).
    void HideTab(QWidget* ATab, bool AVisible, bool AForward);

    void btnFirstClick();
    void btnPrevClick();
    void btnNextClick();
    void btnLastClick();
    void btnCloseClick();
    void cxMLPageControlChange();
    void lbAttachementsDblClick();
    void Dateispeichernunter1Click();
    void btnExportClick();

    QString FSubject;
    int FCurrentMail = -1;
    QString FEmail;
    TEmailStyle FEmailStyle = esPlainText;
    std::unique_ptr<hostapi::TFormSave> FFormSave;
    std::shared_ptr<hostapi::ILocalSettingsStorage> FSaveSettings;
    QPointer<TBaseEmailSender> FJob;
    TEmailPreviewMode FPreviewMode = epmAll;
    QList<PreviewModel::TAttachmentRow> FAttachments;
    bool FWaiting = false;
    bool FCloseRequested = false;
    // The wait for this showing's preview preparation has returned.
    bool FPreviewEnded = false;
    hostapi::TVRNLang FLang;

    QLabel* lblSubjectCaption;
    QLabel* lblSubject;
    QLabel* lblToCaption;
    QLabel* lblEMail;
    QLabel* lblFromCaption;
    QLabel* lblEmailFrom;
    QLabel* lblCCCaption;
    QLabel* lblCC;
    QLabel* lblBCCCaption;
    QLabel* lblBCC;
    QLabel* lblStatusCaption;
    QLabel* edtStatus;
    QLabel* lblRegisterServiceCaption;
    QLabel* lblRegisterServiceState;
    QTabWidget* cxMLPageControl;
    QWidget* tbsHTML;
    hostapi::THtmlViewer* WebBrowser;
    hostapi::IHtmlView* FView;
    QWidget* tbsText;
    QPlainTextEdit* MemoText;
    QWidget* pnlCharCount;
    QLabel* lblCharCount;
    QWidget* tbsAttachements;
    QListWidget* lbAttachements;
    QAction* Dateispeichernunter1;
    QPushButton* btnClose;
    QPushButton* btnFirst;
    QPushButton* btnPrev;
    QPushButton* btnNext;
    QPushButton* btnLast;
    QPushButton* btnExport;
    QStatusBar* StatusBar;
    QLabel* lblCounter;
};

} // namespace emailmarketing
