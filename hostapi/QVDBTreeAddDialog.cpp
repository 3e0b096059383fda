#include "QVDBTreeAddDialog.h"

#include "QVException.h"
#include "VRNLang.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace hostapi {

QVDBTreeAddDialog::QVDBTreeAddDialog(const TVRNLang& ALang, bool AOfferFolder, bool AOfferContent,
                                     const QString& AContentCaption, QWidget* AParent)
    : QDialog(AParent) {
    if (!AOfferFolder && !AOfferContent)
        throw EQVException(QStringLiteral("The add dialog needs a kind of row to add"));
    setObjectName(QStringLiteral("QVDBTreeAddDialog"));
    setWindowTitle(ALang.Text(QStringLiteral("IDS_AddCaption")));
    auto* layout = new QVBoxLayout(this);
    FFolder = new QRadioButton(ALang.Text(QStringLiteral("IDS_Folder")), this);
    FFolder->setObjectName(QStringLiteral("rbtnFolder"));
    FContent = new QRadioButton(AContentCaption.isEmpty() ? ALang.Text(QStringLiteral("IDS_Content"))
                                                          : QStringLiteral("&") + AContentCaption,
                                this);
    FContent->setObjectName(QStringLiteral("rbtnContent"));
    FFolder->setVisible(AOfferFolder);
    FContent->setVisible(AOfferContent);
    (AOfferContent ? FContent : FFolder)->setChecked(true);
    layout->addWidget(FFolder);
    layout->addWidget(FContent);
    auto* form = new QFormLayout;
    FName = new QLineEdit(this);
    FName->setObjectName(QStringLiteral("edtName"));
    auto* label = new QLabel(ALang.Text(QStringLiteral("IDS_Name")), this);
    label->setBuddy(FName);
    form->addRow(label, FName);
    layout->addLayout(form);
    FButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    FButtons->button(QDialogButtonBox::Ok)->setText(ALang.Text(QStringLiteral("IDS_OK")));
    FButtons->button(QDialogButtonBox::Cancel)->setText(ALang.Text(QStringLiteral("IDS_Cancel")));
    layout->addWidget(FButtons);
    connect(FButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(FButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FName, &QLineEdit::textChanged, this, &QVDBTreeAddDialog::UpdateOk);
    UpdateOk();
    FName->setFocus();
}

TQVTreeNodeKind QVDBTreeAddDialog::Kind() const {
    return FFolder->isVisibleTo(this) && FFolder->isChecked() ? tnkFolder : tnkContent;
}

QString QVDBTreeAddDialog::Name() const {
    return FName->text().trimmed();
}

void QVDBTreeAddDialog::UpdateOk() {
    FButtons->button(QDialogButtonBox::Ok)->setEnabled(!Name().isEmpty());
}

} // namespace hostapi
