#include "EditorDropTarget.h"

#include "ExceptionDisplay.h"

#include <QDropEvent>

namespace hostapi {

EditorDropTarget::Verdict EditorDropTarget::Judge(const QDropEvent& AEvent, bool AReadOnly,
                                                  QString& AText) const {
    if (AReadOnly)
        return Verdict::Refuse;
    if (!FHandler)
        return Verdict::Default;
    if (!TVRNExceptionUtils::Guarded([&] { AText = FHandler(AEvent.source(), AEvent.mimeData()); }))
        return Verdict::Refuse;
    return AText.isEmpty() ? Verdict::Default : Verdict::Insert;
}

} // namespace hostapi
