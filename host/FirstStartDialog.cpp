#include "FirstStartDialog.h"

#include "ClientPluginBase.h"
#include "ExceptionDisplay.h"
#include "OwnedText.h"
#include "QVException.h"
#include "QVFirstStart.h"
#include "SettingsStore.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qvhost {

namespace {

// Item data of a step: its row in FirstStartSteps; module title items carry none.
constexpr int StepRowRole = Qt::UserRole + 1;

} // namespace

FirstStartSteps::FirstStartSteps(const QList<hostapi::TQVFirstStart*>& AComponents) {
    for (hostapi::TQVFirstStart* component : AComponents) {
        for (const hostapi::TQVFirstStartItem& item : component->Items())
            // The steps may outlive the module (the dialog stays open while it unloads): copies.
            FSteps.append({hostapi::OwnedCopy(component->Title()), hostapi::OwnedCopy(item.Title),
                           hostapi::OwnedCopy(item.Description), item.Index, component});
    }
}

FirstStartSteps FirstStartSteps::FromPlugins(const QList<hostapi::TClientPluginBase*>& APlugins) {
    return FirstStartSteps(hostapi::TQVFirstStart::ByPriority(APlugins));
}

void FirstStartSteps::Follow(int ARow) const {
    QV_ASSERT(ARow >= 0 && ARow < FSteps.size());
    const FirstStartStep& step = FSteps.at(ARow);
    if (!step.Component)
        throw hostapi::EQVException(
            QStringLiteral("The module of the first-start step \"%1\" is no longer loaded").arg(step.Title));
    step.Component->Link(step.Index);
}

QString FirstStartSteps::SettingsSection() {
    return QStringLiteral("HOST");
}

QString FirstStartSteps::DoneKey() {
    return QStringLiteral("FIRSTSTARTDONE");
}

bool FirstStartSteps::Done(hostapi::ISettingsStore& AStore) {
    return AStore.ReadInteger(SettingsSection(), DoneKey(), 0) == 1;
}

void FirstStartSteps::SetDone(hostapi::ISettingsStore& AStore) {
    AStore.WriteInteger(SettingsSection(), DoneKey(), 1);
}

FirstStartDialog::FirstStartDialog(FirstStartSteps ASteps, QWidget* AParent)
    : QDialog(AParent), FSteps(std::move(ASteps)), FLang(QStringLiteral("FirstStartDialog")),
      lblIntro(new QLabel(this)), tvSteps(new QTreeWidget(this)),
      btnBox(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Close, this)) {
    setObjectName(QStringLiteral("FirstStartDialog"));
    resize(640, 400);
    lblIntro->setObjectName(QStringLiteral("lblIntro"));
    lblIntro->setWordWrap(true);
    tvSteps->setObjectName(QStringLiteral("tvSteps"));
    tvSteps->setColumnCount(2);
    tvSteps->setRootIsDecorated(false);
    tvSteps->setSelectionMode(QAbstractItemView::SingleSelection);
    tvSteps->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    QTreeWidgetItem* moduleItem = nullptr;
    for (int row = 0; row < FSteps.Steps().size(); ++row) {
        const FirstStartStep& step = FSteps.Steps().at(row);
        if (row == 0 || FSteps.Steps().at(row - 1).Component != step.Component) {
            moduleItem = new QTreeWidgetItem(tvSteps, {step.ComponentTitle});
            moduleItem->setFlags(Qt::ItemIsEnabled);
            QFont font = moduleItem->font(0);
            font.setBold(true);
            moduleItem->setFont(0, font);
            moduleItem->setFirstColumnSpanned(true);
        }
        auto* stepItem = new QTreeWidgetItem(moduleItem, {step.Title, step.Description});
        stepItem->setData(0, StepRowRole, row);
        stepItem->setToolTip(1, step.Description);
        FStepItems.append(stepItem);
    }
    tvSteps->expandAll();

    btnBox->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOpen"));
    btnBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    btnBox->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("btnClose"));
    connect(btnBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(btnBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tvSteps, &QTreeWidget::itemSelectionChanged, this, &FirstStartDialog::tvStepsSelectionChanged);
    connect(tvSteps, &QTreeWidget::itemDoubleClicked, this, &FirstStartDialog::tvStepsDoubleClicked);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblIntro);
    layout->addWidget(tvSteps);
    layout->addWidget(btnBox);

    SetLanguage(FLang.Language());
}

FirstStartDialog::~FirstStartDialog() = default;

void FirstStartDialog::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    setWindowTitle(FLang.Text(QStringLiteral("IDS_Caption")));
    lblIntro->setText(FLang.Text(QStringLiteral("IDS_Intro")));
    tvSteps->setHeaderLabels(
        {FLang.Text(QStringLiteral("IDS_ColStep")), FLang.Text(QStringLiteral("IDS_ColDescription"))});
    btnBox->button(QDialogButtonBox::Ok)->setText(FLang.Text(QStringLiteral("IDS_Open")));
    btnBox->button(QDialogButtonBox::Close)->setText(FLang.Text(QStringLiteral("IDS_Close")));
}

int FirstStartDialog::ChosenStep() const {
    const QList<QTreeWidgetItem*> selected = tvSteps->selectedItems();
    if (selected.size() != 1)
        return -1;
    const QVariant row = selected.first()->data(0, StepRowRole);
    return row.isValid() ? row.toInt() : -1;
}

void FirstStartDialog::SetChosenStep(int ARow) {
    QV_ASSERT(ARow >= 0 && ARow < FStepItems.size());
    tvSteps->setCurrentItem(FStepItems.at(ARow));
}

void FirstStartDialog::tvStepsSelectionChanged() {
    btnBox->button(QDialogButtonBox::Ok)->setEnabled(ChosenStep() >= 0);
}

void FirstStartDialog::tvStepsDoubleClicked() {
    if (ChosenStep() >= 0)
        accept();
}

} // namespace qvhost
