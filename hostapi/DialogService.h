#pragma once

#include "HostApiExport.h"

#include <QFlags>
#include <QString>
#include <QStringList>

#include <vector>

class QDialog;

namespace hostapi {

enum TMsgDlgType : int { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3, mtCustom = 4 };

enum TMsgDlgBtn : int {
    mbYes = 0x0001,
    mbNo = 0x0002,
    mbOK = 0x0004,
    mbCancel = 0x0008,
    mbAbort = 0x0010,
    mbRetry = 0x0020,
    mbIgnore = 0x0040,
    mbAll = 0x0080,
    mbNoToAll = 0x0100,
    mbYesToAll = 0x0200,
    mbHelp = 0x0400
};
Q_DECLARE_FLAGS(TMsgDlgButtons, TMsgDlgBtn)
Q_DECLARE_OPERATORS_FOR_FLAGS(TMsgDlgButtons)

// The answer of a message dialog: the pressed button. mrNone when the dialog was closed without
// one (only possible when the set has no Cancel, No or OK button to stand for closing).
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
    mrHelp = 12
};

// What an open or save file dialog shows. Filter in the form "Text Dateien (*.txt)|*.txt|Alle (*.*)|*.*"
// (description and patterns alternate, patterns separated by ";"); empty: every file.
struct HOSTAPI_EXPORT TFileDialogOptions {
    QString Caption;
    QString Filter;
    QString DefaultName; // file name proposed (save) or preselected (open)
    QString Folder;      // folder shown first; empty: the current one
};

// Every modal question, file dialog and modal window of the product goes through this interface, so
// that tests can answer it. Called on the GUI thread only.
class HOSTAPI_EXPORT IDialogService {
public:
    virtual ~IDialogService();
    virtual TModalResult MessageDlg(const QString& AText, TMsgDlgType AType, TMsgDlgButtons AButtons,
                                    int AHelpContext) = 0;
    // Asks for one line of text. True on OK (AValue holds the answer); False on Cancel (AValue as it was).
    virtual bool InputQuery(const QString& ACaption, const QString& APrompt, QString& AValue) = 0;
    // Shows ADialog modally until it is closed; answers its result (QDialog::result()).
    virtual int ExecModal(QDialog& ADialog) = 0;
    // File dialogs: True with the chosen absolute path in AFileName; False when the user cancels
    // (AFileName unchanged).
    virtual bool OpenFileDialog(const TFileDialogOptions& AOptions, QString& AFileName) = 0;
    virtual bool SaveFileDialog(const TFileDialogOptions& AOptions, QString& AFileName) = 0;
};

// The real dialogs: QMessageBox and QInputDialog with captions and buttons in the current language
// (translation table "DialogService"). Buttons appear in the order of TMsgDlgBtn. The default button
// is OK, else Yes, else Retry (none otherwise, so Enter never picks Ignore or Abort); Escape and the
// window's close button answer Cancel, else No, else OK when the set has one, and never Abort.
class HOSTAPI_EXPORT DialogService : public IDialogService {
public:
    TModalResult MessageDlg(const QString& AText, TMsgDlgType AType, TMsgDlgButtons AButtons,
                            int AHelpContext) override;
    bool InputQuery(const QString& ACaption, const QString& APrompt, QString& AValue) override;
    int ExecModal(QDialog& ADialog) override;
    bool OpenFileDialog(const TFileDialogOptions& AOptions, QString& AFileName) override;
    bool SaveFileDialog(const TFileDialogOptions& AOptions, QString& AFileName) override;

    // "Text Dateien (*.txt)|*.txt" as Qt's name filters: "Text Dateien (*.txt)". A description that
    // does not end in its patterns gets them appended (Qt reads them from there); a filter with an
    // odd number of parts raises EQVException.
    static QStringList NameFilters(const QString& AFilter);

    // The process's dialog service: the real one unless another was installed.
    static IDialogService& Current();
    // Installs a dialog service (tests: a scripted one); nullptr restores the real one. The caller
    // keeps ownership and uninstalls it before destroying it.
    static void SetCurrent(IDialogService* AService);
    // The installed service; nullptr when the real one is in use.
    static IDialogService* Installed();

    // The buttons of a set in display order.
    static std::vector<TMsgDlgBtn> ButtonsInOrder(TMsgDlgButtons AButtons);
    static TModalResult ResultOf(TMsgDlgBtn AButton);
};

// Shorthands for DialogService::Current(); raise EQVAssertion off the GUI thread.
HOSTAPI_EXPORT TModalResult MessageDlg(const QString& AText, TMsgDlgType AType, TMsgDlgButtons AButtons,
                                       int AHelpContext = 0);
HOSTAPI_EXPORT bool InputQuery(const QString& ACaption, const QString& APrompt, QString& AValue);
HOSTAPI_EXPORT int ExecModal(QDialog& ADialog);
HOSTAPI_EXPORT bool OpenFileDialog(const TFileDialogOptions& AOptions, QString& AFileName);
HOSTAPI_EXPORT bool SaveFileDialog(const TFileDialogOptions& AOptions, QString& AFileName);

} // namespace hostapi
