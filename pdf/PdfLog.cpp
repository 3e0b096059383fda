#include "PdfLog.h"

namespace emailmarketing {

Q_LOGGING_CATEGORY(lcPdf, "qv.pdf", QtInfoMsg)

} // namespace emailmarketing
