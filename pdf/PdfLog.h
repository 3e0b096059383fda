#pragma once

#include <QLoggingCategory>

namespace emailmarketing {

// Logging of the PDF personalisation.
Q_DECLARE_LOGGING_CATEGORY(lcPdf)

} // namespace emailmarketing
