#pragma once

#include "HostApiExport.h"
#include "PluginBaseComponent.h"

#include <QList>
#include <QString>

#include <functional>

namespace hostapi {

class TClientPluginBase;

// One step a module offers on the host's first run.
struct HOSTAPI_EXPORT TQVFirstStartItem {
    int Index = -1; // position among the component's steps; set by TQVFirstStart::Add
    QString Title;
    QString Description;
    QString PluginFormClassName; // the window the step leads to
    int HelpContext = 0;
};

// A data module's first-start steps (QObject child of the data module). On the host's first run a
// dialog lists the steps of all modules, ordered by ByPriority, and follows the step the user chooses
// through Link, which calls OnLink.
class HOSTAPI_EXPORT TQVFirstStart : public TPluginBaseComponent {
    Q_OBJECT

public:
    using TLinkEvent = std::function<void(TQVFirstStart* Sender, const TQVFirstStartItem& AItem)>;

    explicit TQVFirstStart(QObject* AOwner);
    ~TQVFirstStart() override;

    int Priority() const { return FPriority; }
    void SetPriority(int AValue) { FPriority = AValue; }
    QString Title() const { return FTitle; }
    void SetTitle(const QString& AValue) { FTitle = AValue; }

    // Appends a step and answers its index (the item's Index is set to it). The title must not be
    // empty (EQVAssertion).
    int Add(TQVFirstStartItem AItem);
    const QList<TQVFirstStartItem>& Items() const { return FItems; }
    // Names step AIndex anew (a language switch). EQVAssertion when AIndex is out of range or the
    // title is empty.
    void SetItemTexts(int AIndex, const QString& ATitle, const QString& ADescription);

    TLinkEvent OnLink;

    // Follows step AIndex: calls OnLink with it. EQVAssertion when AIndex is out of range or no OnLink
    // is set; what OnLink raises passes on.
    void Link(int AIndex);

    // Order of the first-start dialog: ascending priority; equal priorities keep the given order.
    static QList<TQVFirstStart*> ByPriority(QList<TQVFirstStart*> AComponents);
    // The first-start components of all data modules of APlugins, in that order.
    static QList<TQVFirstStart*> ByPriority(const QList<TClientPluginBase*>& APlugins);

private:
    int FPriority = 0;
    QString FTitle;
    QList<TQVFirstStartItem> FItems;
};

} // namespace hostapi
