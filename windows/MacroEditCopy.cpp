#include "MacroEditCopy.h"

namespace emailmarketing {

void TMacroEditCopy::Publish(const std::function<void(const TMacroList&)>& APublish) {
    if (!FChanged)
        return;
    APublish(FMacros);
    FChanged = false;
}

} // namespace emailmarketing
