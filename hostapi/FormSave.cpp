#include "FormSave.h"

#include "LocalSettingsStorage.h"
#include "QVException.h"

#include <QSplitter>

namespace hostapi {

TFormSave::TFormSave(QWidget& AWindow, std::shared_ptr<ILocalSettingsStorage> AStorage)
    : FWindow(AWindow), FStorage(std::move(AStorage)) {
    QV_ASSERT(FStorage != nullptr);
}

void TFormSave::Restore() {
    FStorage->RestoreWindowState(FWindow);
    for (QSplitter* splitter : FWindow.findChildren<QSplitter*>()) {
        if (splitter->objectName().isEmpty())
            continue;
        const QList<int> sizes = FStorage->RestoreSplitterSizes(FWindow, splitter->objectName());
        if (!sizes.isEmpty() && sizes.size() == splitter->count())
            splitter->setSizes(sizes);
    }
}

void TFormSave::Save() {
    FStorage->SaveWindowState(FWindow);
    for (const QSplitter* splitter : FWindow.findChildren<QSplitter*>()) {
        if (!splitter->objectName().isEmpty())
            FStorage->SaveSplitterSizes(FWindow, splitter->objectName(), splitter->sizes());
    }
}

} // namespace hostapi
