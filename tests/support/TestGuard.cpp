// Linked into every test executable: before main, installs a recording exception display, a dialog
// service that ends the test at once when code reaches a real modal dialog, so that no test waits for
// a user, and openers that end it when a link or file would reach the desktop. Tests that script dialogs or
// record exceptions install their own doubles on top; when those go, these come back.

#include "DialogService.h"
#include "ExceptionDisplay.h"
#include "HostDoubles.h"

#include <QDialog>
#include <QtGlobal>

namespace {

class ModalDialogGuard final : public hostapi::IDialogService {
public:
    ModalDialogGuard() { hostapi::DialogService::SetCurrent(this); }
    ~ModalDialogGuard() override {
        if (hostapi::DialogService::Installed() == this)
            hostapi::DialogService::SetCurrent(nullptr);
    }

    hostapi::TModalResult MessageDlg(const QString& AText, hostapi::TMsgDlgType, hostapi::TMsgDlgButtons,
                                     int) override {
        qFatal("A test reached a real modal message dialog: %s", qPrintable(AText));
    }
    bool InputQuery(const QString& ACaption, const QString& APrompt, QString&) override {
        qFatal("A test reached a real modal input query: %s / %s", qPrintable(ACaption), qPrintable(APrompt));
    }
    int ExecModal(QDialog& ADialog) override {
        qFatal("A test reached a real modal window: %s (%s)", qPrintable(ADialog.objectName()),
               ADialog.metaObject()->className());
    }
    bool OpenFileDialog(const hostapi::TFileDialogOptions& AOptions, QString&) override {
        qFatal("A test reached a real open file dialog: %s", qPrintable(AOptions.Caption));
    }
    bool SaveFileDialog(const hostapi::TFileDialogOptions& AOptions, QString&) override {
        qFatal("A test reached a real save file dialog: %s", qPrintable(AOptions.Caption));
    }
};

// Links and files are never handed to the desktop in a test.
class DesktopGuard final : public hostapi::IUrlOpener, public hostapi::IFileOpener {
public:
    DesktopGuard() {
        hostapi::DesktopUrlOpener::SetCurrent(this);
        hostapi::DesktopFileOpener::SetCurrent(this);
    }
    void OpenUrl(const QString& AUrl) override {
        qFatal("A test reached the desktop's link opener: %s", qPrintable(AUrl));
    }
    void OpenFile(const QString& AFileName) override {
        qFatal("A test reached the desktop's file opener: %s", qPrintable(AFileName));
    }
};

// Shown exceptions are recorded and logged, never put in a dialog.
class LoggingExceptionDisplay final : public testsupport::RecordingExceptionDisplay {
public:
    void ShowException(const hostapi::ShownException& AException) override {
        RecordingExceptionDisplay::ShowException(AException);
        qWarning("Exception shown during the test: %s", qPrintable(AException.Message));
    }
};

const ModalDialogGuard GDialogGuard;
const DesktopGuard GDesktopGuard;
const LoggingExceptionDisplay GExceptionDisplay;

} // namespace
