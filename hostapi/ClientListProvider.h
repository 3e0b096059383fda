#pragma once

#include "HostApiExport.h"
#include "QVFilter.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace hostapi {

// One distribution list that a module contributes to the e-mail marketing module.
class HOSTAPI_EXPORT IClientListDefinition {
public:
    virtual ~IClientListDefinition();

    // The list's identifier within its module.
    virtual QString ListIdent() const = 0;
    virtual QString Name() const = 0;
    // The data schema of the recipients.
    virtual QString SchemaName() const = 0;
    // Fields that the recipient selection leaves out.
    virtual QStringList FieldsToIgnore() const = 0;
    virtual int FilterCount() const = 0;
    // The filter at AIndex of the list's record filters, in the host's filter model.
    virtual void GetFilter(int AIndex, QString& FieldName, TQVFilterType& FilterType,
                           TQVFilterLink& FilterLink, bool& UseAsLookup, TQVParenthesis& Parenthesis,
                           QString& Value) const = 0;
};

// A module's source of client lists, registered with the e-mail marketing module through
// IExtFuncPluginEmailMarketing. Held by shared pointers; the module that registers a provider
// unregisters it before it is unloaded.
class HOSTAPI_EXPORT IClientListProvider {
public:
    virtual ~IClientListProvider();

    // Identifies the providing module.
    virtual QString ClientIdent() const = 0;
    virtual int ListCount() const = 0;
    virtual std::shared_ptr<IClientListDefinition> Lists(int AIndex) const = 0;
};

} // namespace hostapi
