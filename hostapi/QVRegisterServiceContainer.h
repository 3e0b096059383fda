#pragma once

#include "HostApiExport.h"
#include "IRegisterServicePartHandler.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace hostapi {

// A part handler as the host keeps it: the handler and copies of its texts, taken when it was
// registered (the module that handed them over may be unloaded while the host runs on).
struct HOSTAPI_EXPORT TRegisteredPartHandler {
    std::shared_ptr<IRegisterServicePartHandler> Handler;
    QString PartName;
    QString LogCaption;
    QString LogSchema;
    bool HasConfigForm = false;
};

// The part handlers registered in the host, in registration order. Any thread may read them; a
// handler stays alive while a reader still holds it.
class HOSTAPI_EXPORT TQVRegisterServiceContainer : public QObject {
    Q_OBJECT

public:
    explicit TQVRegisterServiceContainer(QObject* AOwner = nullptr);
    ~TQVRegisterServiceContainer() override;

    QList<TRegisteredPartHandler> Handlers() const;

    // Registering a handler twice changes nothing.
    static void RegisterHandler(const std::shared_ptr<IRegisterServicePartHandler>& AHandler);
    static void UnregisterHandler(const IRegisterServicePartHandler* AHandler);
};

} // namespace hostapi
