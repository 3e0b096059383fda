#include "DialogService.h"

#include "QVException.h"
#include "VRNLang.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QHash>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <atomic>

namespace hostapi {

namespace {

std::atomic<IDialogService*> GInstalled{nullptr};

struct ButtonInfo {
    TMsgDlgBtn Button;
    const char* TextId;
    QMessageBox::ButtonRole Role;
    TModalResult Result;
};

// Display order and meaning of every button.
constexpr ButtonInfo Buttons[] = {
    {mbYes, "IDS_BtnYes", QMessageBox::YesRole, mrYes},
    {mbNo, "IDS_BtnNo", QMessageBox::NoRole, mrNo},
    {mbOK, "IDS_BtnOK", QMessageBox::AcceptRole, mrOk},
    {mbCancel, "IDS_BtnCancel", QMessageBox::RejectRole, mrCancel},
    {mbAbort, "IDS_BtnAbort", QMessageBox::DestructiveRole, mrAbort}, // never picked by Escape
    {mbRetry, "IDS_BtnRetry", QMessageBox::AcceptRole, mrRetry},
    {mbIgnore, "IDS_BtnIgnore", QMessageBox::AcceptRole, mrIgnore},
    {mbAll, "IDS_BtnAll", QMessageBox::YesRole, mrAll},
    {mbNoToAll, "IDS_BtnNoToAll", QMessageBox::NoRole, mrNoToAll},
    {mbYesToAll, "IDS_BtnYesToAll", QMessageBox::YesRole, mrYesToAll},
    {mbHelp, "IDS_BtnHelp", QMessageBox::HelpRole, mrHelp},
};

const ButtonInfo& InfoOf(TMsgDlgBtn button) {
    for (const ButtonInfo& info : Buttons)
        if (info.Button == button)
            return info;
    throw EQVException(QStringLiteral("Unknown dialog button %1").arg(int(button)));
}

void AssertGuiThread() {
    QV_ASSERT(QCoreApplication::instance() &&
              QThread::currentThread() == QCoreApplication::instance()->thread());
}

TVRNLang& Texts() {
    static TVRNLang lang(QStringLiteral("DialogService"));
    return lang;
}

QString Tr(const char* id) {
    return Texts().TextIn(QString::fromLatin1(id), TVRNLang::CurrentLanguage());
}

} // namespace

IDialogService::~IDialogService() = default;

std::vector<TMsgDlgBtn> DialogService::ButtonsInOrder(TMsgDlgButtons AButtons) {
    std::vector<TMsgDlgBtn> result;
    for (const ButtonInfo& info : Buttons)
        if (AButtons.testFlag(info.Button))
            result.push_back(info.Button);
    return result;
}

TModalResult DialogService::ResultOf(TMsgDlgBtn AButton) {
    return InfoOf(AButton).Result;
}

TModalResult DialogService::MessageDlg(const QString& AText, TMsgDlgType AType, TMsgDlgButtons AButtons,
                                       int /*AHelpContext: the host has no help system*/) {
    AssertGuiThread();
    const std::vector<TMsgDlgBtn> order = ButtonsInOrder(AButtons);
    QV_ASSERT(!order.empty());

    QMessageBox box(QApplication::activeWindow());
    box.setText(AText);
    switch (AType) {
    case mtWarning:
        box.setIcon(QMessageBox::Warning);
        box.setWindowTitle(Tr("IDS_CapWarning"));
        break;
    case mtError:
        box.setIcon(QMessageBox::Critical);
        box.setWindowTitle(Tr("IDS_CapError"));
        break;
    case mtInformation:
        box.setIcon(QMessageBox::Information);
        box.setWindowTitle(Tr("IDS_CapInformation"));
        break;
    case mtConfirmation:
        box.setIcon(QMessageBox::Question);
        box.setWindowTitle(Tr("IDS_CapConfirmation"));
        break;
    case mtCustom:
        box.setIcon(QMessageBox::NoIcon);
        box.setWindowTitle(QApplication::applicationDisplayName());
        break;
    default:
        throw EQVException(QStringLiteral("Unknown message dialog type %1").arg(int(AType)));
    }

    QHash<QAbstractButton*, TModalResult> results;
    QHash<TMsgDlgBtn, QPushButton*> created;
    for (TMsgDlgBtn button : order) {
        const ButtonInfo& info = InfoOf(button);
        QPushButton* pushButton = box.addButton(Tr(info.TextId), info.Role);
        pushButton->setObjectName(QString::fromLatin1(info.TextId));
        results.insert(pushButton, info.Result);
        created.insert(button, pushButton);
    }
    for (TMsgDlgBtn candidate : {mbOK, mbYes, mbRetry})
        if (created.contains(candidate)) {
            box.setDefaultButton(created.value(candidate));
            break;
        }
    for (TMsgDlgBtn candidate : {mbCancel, mbNo, mbOK})
        if (created.contains(candidate)) {
            box.setEscapeButton(created.value(candidate));
            break;
        }

    box.exec();
    return results.value(box.clickedButton(), mrNone);
}

bool DialogService::InputQuery(const QString& ACaption, const QString& APrompt, QString& AValue) {
    AssertGuiThread();
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(ACaption);
    dialog.setLabelText(APrompt);
    dialog.setTextValue(AValue);
    dialog.setOkButtonText(Tr("IDS_BtnOK"));
    dialog.setCancelButtonText(Tr("IDS_BtnCancel"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    AValue = dialog.textValue();
    return true;
}

int DialogService::ExecModal(QDialog& ADialog) {
    AssertGuiThread();
    return ADialog.exec();
}

QStringList DialogService::NameFilters(const QString& AFilter) {
    if (AFilter.isEmpty())
        return {};
    const QStringList parts = AFilter.split(QLatin1Char('|'));
    if (parts.size() % 2 != 0)
        throw EQVException(QStringLiteral("File filter without patterns: %1").arg(AFilter));
    QStringList result;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString description = parts.at(i).trimmed();
        const QString patterns =
            parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        // Qt takes the patterns from the last parentheses of the description.
        if (!description.endsWith(QStringLiteral("(%1)").arg(patterns)))
            description += QStringLiteral(" (%1)").arg(patterns);
        result.append(description);
    }
    return result;
}

namespace {

bool RunFileDialog(const TFileDialogOptions& AOptions, QFileDialog::AcceptMode AMode, QString& AFileName) {
    QFileDialog dialog(QApplication::activeWindow(), AOptions.Caption, AOptions.Folder);
    dialog.setAcceptMode(AMode);
    dialog.setFileMode(AMode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QStringList filters = DialogService::NameFilters(AOptions.Filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!AOptions.DefaultName.isEmpty())
        dialog.selectFile(AOptions.DefaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    AFileName = QDir::cleanPath(QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath());
    return true;
}

} // namespace

bool DialogService::OpenFileDialog(const TFileDialogOptions& AOptions, QString& AFileName) {
    AssertGuiThread();
    return RunFileDialog(AOptions, QFileDialog::AcceptOpen, AFileName);
}

bool DialogService::SaveFileDialog(const TFileDialogOptions& AOptions, QString& AFileName) {
    AssertGuiThread();
    return RunFileDialog(AOptions, QFileDialog::AcceptSave, AFileName);
}

IDialogService& DialogService::Current() {
    if (IDialogService* installed = GInstalled.load())
        return *installed;
    static DialogService real;
    return real;
}

void DialogService::SetCurrent(IDialogService* AService) {
    GInstalled.store(AService);
}

IDialogService* DialogService::Installed() {
    return GInstalled.load();
}

TModalResult MessageDlg(const QString& AText, TMsgDlgType AType, TMsgDlgButtons AButtons, int AHelpContext) {
    AssertGuiThread();
    return DialogService::Current().MessageDlg(AText, AType, AButtons, AHelpContext);
}

bool InputQuery(const QString& ACaption, const QString& APrompt, QString& AValue) {
    AssertGuiThread();
    return DialogService::Current().InputQuery(ACaption, APrompt, AValue);
}

} // namespace hostapi

namespace hostapi {

int ExecModal(QDialog& ADialog) {
    AssertGuiThread();
    return DialogService::Current().ExecModal(ADialog);
}

bool OpenFileDialog(const TFileDialogOptions& AOptions, QString& AFileName) {
    AssertGuiThread();
    return DialogService::Current().OpenFileDialog(AOptions, AFileName);
}

bool SaveFileDialog(const TFileDialogOptions& AOptions, QString& AFileName) {
    AssertGuiThread();
    return DialogService::Current().SaveFileDialog(AOptions, AFileName);
}

} // namespace hostapi
