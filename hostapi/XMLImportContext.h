#pragma once

#include "HostApiExport.h"

#include <QMap>
#include <QString>
#include <QVariant>

namespace hostapi {

// Values that the parts of one import run share with each other and with the caller of the
// import (for example the register service's "fetch" stamp). One context belongs to one run.
class HOSTAPI_EXPORT TXMLImportContext {
public:
    virtual ~TXMLImportContext();

    void AddVariable(const QString& AName, const QVariant& AValue) { FVariables.insert(AName, AValue); }
    void SetVariable(const QString& AName, const QVariant& AValue) { FVariables.insert(AName, AValue); }
    // An invalid (null) QVariant when absent.
    QVariant GetVariable(const QString& AName) const { return FVariables.value(AName); }
    void Clear() { FVariables.clear(); }

private:
    QMap<QString, QVariant> FVariables;
};

} // namespace hostapi
