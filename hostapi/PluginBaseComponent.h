#pragma once

#include "HostApiExport.h"

#include <QObject>
#include <QString>

namespace hostapi {

class ISettingsStore;
class IScreenService;
class TClientPluginBase;
class TDBFieldSchema;
class TPluginBaseDataModule;

// Base of the host components that a data module or window owns (as its QObject children): they
// reach their data module, its plug-in object, the current user and the host services.
class HOSTAPI_EXPORT TPluginBaseComponent : public QObject {
    Q_OBJECT

public:
    explicit TPluginBaseComponent(QObject* AOwner);
    ~TPluginBaseComponent() override;

    // The nearest data module among the owners; nullptr when the component belongs to none.
    TPluginBaseDataModule* DataModule() const;
    // The plug-in object of that data module; nullptr when there is none.
    TClientPluginBase* PluginOwner() const;

    // The current user of the host (UserAccess).
    QString UserName() const;
    qint64 UserNumber() const;

    // Host services (see TQVMainInterface).
    TDBFieldSchema& GetDBFieldSchema() const;
    ISettingsStore& GetSaveSettings() const;
    IScreenService& GetScreen() const;
};

} // namespace hostapi
