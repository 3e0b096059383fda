#pragma once

#include "QVDBTreeModel.h"
#include "VRNLang.h"

#include <QPointer>
#include <QString>

#include <functional>

class QObject;

namespace emailmarketing {

class TTemplateXMLExchange;

// The template tree's own actions of the mailing window: copy, the delete guard, export to and
// import from ".emt" files. Questions and file dialogs go through the dialog service; the tree's
// refresh is queued on AContext so that it runs after the action (and an import's transaction)
// has ended. Used on the GUI thread.
class TTemplateTreeActions {
public:
    // True when the job list holds a job of the template.
    using THasJobEvent = std::function<bool(qint64 ATemplateID)>;
    // Refresh the tree and focus the template (-1: keep the focus).
    using TRefreshEvent = std::function<void(qint64 ATemplateID)>;

    TTemplateTreeActions(TTemplateXMLExchange& AExchange, QObject* AContext, THasJobEvent AHasJob,
                         TRefreshEvent ARefresh);

    // Asks "IDS_ASKCCT"; only Yes copies the template (new exchange identities, state AStateID) and
    // queues the refresh focusing the copy. Answers the copy's id, -1 when nothing was copied.
    qint64 CopyRequest(qint64 ATemplateID, qint64 AStateID);
    // The tree's delete guard: a template with a job in the job list is refused with a message.
    bool CanDelete(const hostapi::TQVTreeNode& ANode);
    // Asks for a file (".emt" added when the name has no suffix) and writes the template into it.
    // False when nothing is exported (no template, or the dialog was cancelled).
    bool ExportTemplate(qint64 ATemplateID, const QString& AName);
    // Asks for a file and imports it whole or not at all; a failure is shown with its text. After a
    // committed import the refresh is queued.
    bool ImportTemplate();
    // The data module's template-change notice: queues the refresh focusing the template.
    void TemplatesChanged(qint64 ATemplateID);

    void SetLanguage(const QString& ALangName) { FLang.SetLanguage(ALangName); }

private:
    void QueueRefresh(qint64 ATemplateID);

    hostapi::TVRNLang FLang;
    TTemplateXMLExchange& FExchange;
    QPointer<QObject> FContext;
    THasJobEvent FHasJob;
    TRefreshEvent FRefresh;
};

} // namespace emailmarketing
