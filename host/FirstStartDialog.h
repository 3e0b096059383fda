#pragma once

#include "VRNLang.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>

class QDialogButtonBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace hostapi {
class ISettingsStore;
class TClientPluginBase;
class TQVFirstStart;
} // namespace hostapi

namespace qvhost {

// One step of the first-start dialog.
struct FirstStartStep {
    QString ComponentTitle; // the module's first-start title
    QString Title;
    QString Description;
    int Index = -1; // among its component's steps
    QPointer<hostapi::TQVFirstStart> Component;
};

// The steps of the first-start dialog: every step of every first-start component, the components in
// the order of TQVFirstStart::ByPriority. Also the flag that the host's first start is done (settings
// section "HOST", key "FIRSTSTARTDONE", 1 when done).
class FirstStartSteps {
public:
    FirstStartSteps() = default;
    explicit FirstStartSteps(const QList<hostapi::TQVFirstStart*>& AComponents);
    static FirstStartSteps FromPlugins(const QList<hostapi::TClientPluginBase*>& APlugins);

    const QList<FirstStartStep>& Steps() const { return FSteps; }
    bool IsEmpty() const { return FSteps.isEmpty(); }

    // Follows step ARow: calls its component's OnLink. EQVAssertion for a row out of range,
    // EQVException when the step's module is gone; what OnLink raises passes on.
    void Follow(int ARow) const;

    static bool Done(hostapi::ISettingsStore& AStore);
    static void SetDone(hostapi::ISettingsStore& AStore);
    static QString SettingsSection();
    static QString DoneKey();

private:
    QList<FirstStartStep> FSteps;
};

// The first-start dialog: the steps grouped by module. "Öffnen" (or a double click on a step) accepts
// with the chosen step, which the opener then follows; "Schließen" rejects.
class FirstStartDialog : public QDialog {
    Q_OBJECT
public:
    explicit FirstStartDialog(FirstStartSteps ASteps, QWidget* AParent = nullptr);
    ~FirstStartDialog() override;

    const FirstStartSteps& Steps() const { return FSteps; }
    // The chosen step's row in Steps(); -1 when none (a module title or nothing is selected).
    int ChosenStep() const;
    // Selects step ARow (EQVAssertion when out of range).
    void SetChosenStep(int ARow);

    void SetLanguage(const QString& ALangName);

private:
    void tvStepsSelectionChanged();
    void tvStepsDoubleClicked();

    FirstStartSteps FSteps;
    hostapi::TVRNLang FLang;
    QLabel* lblIntro;
    QTreeWidget* tvSteps;
    QList<QTreeWidgetItem*> FStepItems; // by row of FSteps
    QDialogButtonBox* btnBox;
};

} // namespace qvhost
