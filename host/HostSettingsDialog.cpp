#include "HostSettingsDialog.h"

#include "Database.h"
#include "ExceptionDisplay.h"
#include "QVException.h"
#include "QVRecordSet.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace qvhost {

namespace {

QString Trimmed(const QVariant& AValue) {
    return AValue.isNull() ? QString() : AValue.toString().trimmed();
}

} // namespace

HostSettingsDialog::HostSettingsDialog(QWidget* AParent)
    : QDialog(AParent), FLang(QStringLiteral("HostSettingsDialog")), lblCompanyAddress(new QLabel(this)),
      cbxCompanyAddress(new QComboBox(this)), lblActiveState(new QLabel(this)),
      spnActiveState(new QSpinBox(this)),
      btnBox(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setObjectName(QStringLiteral("HostSettingsDialog"));
    lblCompanyAddress->setObjectName(QStringLiteral("lblCompanyAddress"));
    lblCompanyAddress->setBuddy(cbxCompanyAddress);
    cbxCompanyAddress->setObjectName(QStringLiteral("cbxCompanyAddress"));
    cbxCompanyAddress->setMinimumContentsLength(40);
    lblActiveState->setObjectName(QStringLiteral("lblActiveState"));
    lblActiveState->setBuddy(spnActiveState);
    spnActiveState->setObjectName(QStringLiteral("spnActiveState"));
    spnActiveState->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    btnBox->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    btnBox->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    connect(btnBox, &QDialogButtonBox::accepted, this, &HostSettingsDialog::btnOKClick);
    connect(btnBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(lblCompanyAddress, cbxCompanyAddress);
    form->addRow(lblActiveState, spnActiveState);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(btnBox);

    FAddresses = ReadAddresses();
    FStoredID = FPelmaris.GetCompanyAddressID();
    spnActiveState->setValue(FPelmaris.GetRegisterServiceActiveState());
    SetLanguage(FLang.Language());
}

HostSettingsDialog::~HostSettingsDialog() = default;

QList<AddressChoice> HostSettingsDialog::ReadAddresses() {
    const QStringList fields{QStringLiteral("companyname"), QStringLiteral("name"), QStringLiteral("surname"),
                             QStringLiteral("city")};
    hostapi::TQVRecordSet addresses(QStringLiteral("pelm_addresses_ass"));
    addresses.SetOptions(hostapi::rsoReadOnly);
    addresses.SetOnGetFieldIsRequired(
        [&fields](const QString& AFieldName) { return fields.contains(AFieldName, Qt::CaseInsensitive); });
    // Company, name, first name by the collation of every list; without them last; then by id.
    for (const QString& field : fields.first(3))
        addresses.AddOrder(field);
    addresses.Open();
    QList<AddressChoice> choices;
    for (addresses.First(); !addresses.Eof(); addresses.Next())
        choices.append({addresses.RecordID(),
                        AddressText(addresses.FieldValue(fields[0]), addresses.FieldValue(fields[1]),
                                    addresses.FieldValue(fields[2]), addresses.FieldValue(fields[3]))});
    return choices;
}

QString HostSettingsDialog::AddressText(const QVariant& ACompany, const QVariant& AName,
                                        const QVariant& AFirstName, const QVariant& ACity) {
    QStringList person;
    for (const QVariant& part : {AName, AFirstName})
        if (const QString text = Trimmed(part); !text.isEmpty())
            person.append(text);
    QStringList parts;
    if (const QString company = Trimmed(ACompany); !company.isEmpty())
        parts.append(company);
    if (!person.isEmpty())
        parts.append(person.join(QStringLiteral(", ")));
    QString text = parts.join(QStringLiteral(" – "));
    if (const QString city = Trimmed(ACity); !city.isEmpty())
        text = text.isEmpty() ? city : QStringLiteral("%1 (%2)").arg(text, city);
    return text;
}

void HostSettingsDialog::FillChoices() {
    const qint64 selected = cbxCompanyAddress->count() > 0 ? SelectedAddressID() : FStoredID;
    cbxCompanyAddress->clear();
    cbxCompanyAddress->addItem(FLang.Text(QStringLiteral("IDS_NoAddress")), qint64(-1));
    bool storedShown = FStoredID < 0;
    for (const AddressChoice& choice : FAddresses) {
        cbxCompanyAddress->addItem(choice.Text.isEmpty()
                                       ? FLang.Text(QStringLiteral("IDS_AddressWithoutName")).arg(choice.ID)
                                       : choice.Text,
                                   choice.ID);
        storedShown = storedShown || choice.ID == FStoredID;
    }
    // A stored address that no longer exists stays the choice until the user picks another.
    if (!storedShown)
        cbxCompanyAddress->addItem(FLang.Text(QStringLiteral("IDS_AddressMissing")).arg(FStoredID),
                                   FStoredID);
    SelectAddressID(selected);
}

qint64 HostSettingsDialog::SelectedAddressID() const {
    QV_ASSERT(cbxCompanyAddress->currentIndex() >= 0);
    return cbxCompanyAddress->currentData().toLongLong();
}

void HostSettingsDialog::SelectAddressID(qint64 AAddressID) {
    const int index = cbxCompanyAddress->findData(AAddressID);
    QV_ASSERT(index >= 0);
    cbxCompanyAddress->setCurrentIndex(index);
}

int HostSettingsDialog::ActiveState() const {
    return spnActiveState->value();
}

void HostSettingsDialog::SetActiveState(int AState) {
    spnActiveState->setValue(AState);
}

void HostSettingsDialog::Save() {
    FPelmaris.SetCompanyAddressID(SelectedAddressID());
    FPelmaris.SetRegisterServiceActiveState(ActiveState());
}

void HostSettingsDialog::SetLanguage(const QString& ALangName) {
    FLang.SetLanguage(ALangName);
    setWindowTitle(FLang.Text(QStringLiteral("IDS_Caption")));
    lblCompanyAddress->setText(FLang.Text(QStringLiteral("IDS_CompanyAddress")));
    lblActiveState->setText(FLang.Text(QStringLiteral("IDS_ActiveState")));
    btnBox->button(QDialogButtonBox::Ok)->setText(FLang.Text(QStringLiteral("IDS_OK")));
    btnBox->button(QDialogButtonBox::Cancel)->setText(FLang.Text(QStringLiteral("IDS_Cancel")));
    FillChoices();
}

void HostSettingsDialog::btnOKClick() {
    try {
        Save();
        accept();
    } catch (...) {
        hostapi::TVRNExceptionUtils::ShowCurrent();
    }
}

} // namespace qvhost
