#pragma once

#include "HostApiExport.h"

#include <memory>

class QWidget;

namespace hostapi {

class ILocalSettingsStorage;

// Keeps a window's geometry and the pane sizes of its named splitters (QSplitter children with an
// object name) in the local settings between runs.
class HOSTAPI_EXPORT TFormSave {
public:
    TFormSave(QWidget& AWindow, std::shared_ptr<ILocalSettingsStorage> AStorage);

    // Gives the window what was stored; a splitter whose stored pane count differs keeps its sizes.
    void Restore();
    void Save();

private:
    QWidget& FWindow;
    std::shared_ptr<ILocalSettingsStorage> FStorage;
};

} // namespace hostapi
