#pragma once

#include "HostApiExport.h"
#include "QVPluginFormManager.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

namespace hostapi {

class ILocalSettingsStorage;
class TClientPluginBase;
class TPluginForm;

// Opens module windows for modules and the host's menus.
class HOSTAPI_EXPORT IScreenService {
public:
    virtual ~IScreenService();
    // Opens window AFormIndex (its index in the form class list of module APluginGUID) with the show
    // parameters AParams and answers it.
    virtual TPluginForm* OpenPluginForm(const QString& APluginGUID, int AFormIndex,
                                        const QVariant& AParams) = 0;
    // Whether the host shows the windows' commands in a bar of its own, so that windows hide their
    // own tool bars. The host's screen has no such bar: False.
    virtual bool HidesWindowToolBars() const;
};

// The host's screen service. A module keeps one window per class: opening a window that exists shows
// it again with the new parameters. A new window is created from the module's form class list as a
// top-level window; it is destroyed on close when the module declares it pfldTemporary (closing hook
// first), else kept hidden until its module is unloaded. After showing, AfterShow runs (NotifyShown).
class HOSTAPI_EXPORT ScreenService : public IScreenService {
public:
    using TPluginLookup = std::function<TClientPluginBase*(const QString& APluginGUID)>;

    // AFindPlugin answers the loaded module of a GUID, nullptr when none (default: the modules known
    // to TQVMainInterface).
    explicit ScreenService(TPluginLookup AFindPlugin = {});
    ~ScreenService() override;

    // EQVException for a module that is not loaded or has no window AFormIndex; what the window's
    // AfterShow raises passes on.
    TPluginForm* OpenPluginForm(const QString& APluginGUID, int AFormIndex, const QVariant& AParams) override;
    // The same for the window class named AClassName (a menu entry's window).
    TPluginForm* OpenPluginForm(const QString& APluginGUID, const QString& AClassName,
                                const QVariant& AParams);

    // How the module keeps windows of class AClassName: as its first form-manager entry of that class
    // declares, pfldPermanent when none does.
    static TPluginFormLoading FormLoading(const TClientPluginBase& APlugin, const QString& AClassName);

    // Where the windows created from now on keep their geometry and splitters; nullptr (the
    // default): not kept.
    void SetWindowStateStorage(std::shared_ptr<ILocalSettingsStorage> AStorage) {
        FWindowStates = std::move(AStorage);
    }

private:
    TPluginLookup FFindPlugin;
    std::shared_ptr<ILocalSettingsStorage> FWindowStates;
};

} // namespace hostapi
