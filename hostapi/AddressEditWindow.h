#pragma once

#include "HostApiExport.h"
#include "QVRecordSet.h"
#include "VRNLang.h"

#include <QDialog>
#include <QHash>

class QDialogButtonBox;
class QLineEdit;

namespace hostapi {

// The address window of the address module: every field of one "pelm_addresses_ass" row in an edit
// (captions from the field schema; dates as yyyy-MM-dd, numbers as decimal text; empty = no value).
// OK saves the changed fields and closes; a value that cannot be read is shown and the window stays
// open. Cancel closes without saving.
class HOSTAPI_EXPORT AddressEditWindow : public QDialog {
    Q_OBJECT
public:
    // Raises EQVUserMessageException when the address does not exist.
    AddressEditWindow(qint64 AAddressID, QWidget* AParent = nullptr);
    ~AddressEditWindow() override;

    // Writes the changed fields; raises EQVUserMessageException for a value that cannot be read.
    void Save();
    void SetLanguage(const QString& ALangName);

    QLineEdit* Edit(const QString& AFieldName) const;

private:
    void btnOKClick();
    QString DisplayText(const QString& AFieldName) const;
    QVariant ValueOf(const QString& AFieldName, const QString& AText) const;

    qint64 FAddressID;
    TVRNLang FLang;
    TQVRecordSet FRecordSet;
    QHash<QString, QLineEdit*> FEdits;
    QDialogButtonBox* FButtons = nullptr;
};

} // namespace hostapi
