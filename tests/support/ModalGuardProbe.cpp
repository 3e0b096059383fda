// Reaches one unscripted dialog with only the test guard installed; the guard must end it at once.
// Argument: modal, message, open or save.

#include "DialogService.h"

#include <QApplication>
#include <QDialog>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString kind = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    int result = 0;
    QString name;
    if (kind == QLatin1String("modal")) {
        QDialog dialog;
        dialog.setObjectName(QStringLiteral("frmProbe"));
        result = hostapi::ExecModal(dialog);
    } else if (kind == QLatin1String("message")) {
        result = hostapi::MessageDlg(QStringLiteral("Frage?"), hostapi::mtConfirmation,
                                     hostapi::mbYes | hostapi::mbNo);
    } else if (kind == QLatin1String("open")) {
        result = hostapi::OpenFileDialog({QStringLiteral("Öffnen"), {}, {}, {}}, name);
    } else if (kind == QLatin1String("save")) {
        result = hostapi::SaveFileDialog({QStringLiteral("Speichern"), {}, {}, {}}, name);
    }
    std::fprintf(stderr, "dialog returned %d\n", result);
    return 0;
}
