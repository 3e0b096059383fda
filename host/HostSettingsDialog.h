#pragma once

#include "PelmarisPlugin.h"
#include "VRNLang.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QVariant>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QSpinBox;

namespace qvhost {

// One address the company address can be chosen from.
struct AddressChoice {
    qint64 ID = -1;
    QString Text; // empty when the address has no company, name or city
};

// The host's settings window: the company address of the address module, chosen from the rows of
// "pelm_addresses_ass", and the "isactive" value that the register-service filter takes as active.
// OK stores both through TPelmarisPlugin (which keeps them in the settings store); Cancel closes
// without storing.
class HostSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // Reads the addresses and the stored company address id: raises what the database and
    // TPelmarisPlugin raise.
    explicit HostSettingsDialog(QWidget* AParent = nullptr);
    ~HostSettingsDialog() override;

    // The chosen company address id; -1 for none.
    qint64 SelectedAddressID() const;
    // Chooses address AAddressID (-1: none). EQVAssertion for an id that is not offered.
    void SelectAddressID(qint64 AAddressID);
    // The "isactive" value shown for active addresses.
    int ActiveState() const;
    void SetActiveState(int AState);
    // Stores the choice.
    void Save();

    void SetLanguage(const QString& ALangName);

    // Every address, ordered by company, name, first name and id through the record set's ordering
    // (the ICU root collation on both backends; a missing or empty text last).
    static QList<AddressChoice> ReadAddresses();
    // "Company – Name, First name (City)", leaving out what is empty (NULL or blank).
    static QString AddressText(const QVariant& ACompany, const QVariant& AName, const QVariant& AFirstName,
                               const QVariant& ACity);

private:
    void btnOKClick();
    void FillChoices();

    hostapi::TPelmarisPlugin FPelmaris;
    hostapi::TVRNLang FLang;
    QList<AddressChoice> FAddresses;
    qint64 FStoredID = -1;
    QLabel* lblCompanyAddress;
    QComboBox* cbxCompanyAddress;
    QLabel* lblActiveState;
    QSpinBox* spnActiveState;
    QDialogButtonBox* btnBox;
};

} // namespace qvhost
