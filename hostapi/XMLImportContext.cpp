#include "XMLImportContext.h"

namespace hostapi {

TXMLImportContext::~TXMLImportContext() = default;

} // namespace hostapi
