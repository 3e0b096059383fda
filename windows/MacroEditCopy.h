#pragma once

#include "MacroList.h"

#include <functional>

namespace emailmarketing {

// An editable copy of a macro list: the window edits the copy and publishes it in one step, so a
// job never reads a half-edited list.
class TMacroEditCopy {
public:
    // Starts over from ASource; nothing is pending.
    void Take(const TMacroList& ASource) {
        FMacros = ASource;
        FChanged = false;
    }
    TMacroList& Macros() { return FMacros; }
    const TMacroList& Macros() const { return FMacros; }
    // The copy was edited since it was taken or published.
    bool Changed() const { return FChanged; }
    void MarkChanged() { FChanged = true; }
    // Hands the copy to APublish when it was edited; nothing is pending afterwards.
    void Publish(const std::function<void(const TMacroList&)>& APublish);

private:
    TMacroList FMacros;
    bool FChanged = false;
};

} // namespace emailmarketing
