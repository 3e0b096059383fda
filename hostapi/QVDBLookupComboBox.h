#pragma once

#include "HostApiExport.h"

#include <QComboBox>
#include <QVariant>

namespace hostapi {

class QVLookupListModel;

// A read-only combo box over a lookup (QVLookupListModel): shows the display texts, answers the key
// of the chosen entry as its value (null for the empty entry or no choice). Refresh reads the
// lookup again and keeps the value when its entry still exists.
class HOSTAPI_EXPORT QVDBLookupComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit QVDBLookupComboBox(QWidget* AParent = nullptr);

    void SetLookup(const QString& ASchemaName, const QString& AKeyField = QStringLiteral("id"),
                   const QString& ADisplayField = QStringLiteral("name"));
    void SetEmptyEntry(bool AValue, const QString& AText = {});
    QVLookupListModel* LookupModel() const { return FModel; }

    void Refresh(); // throws on database errors

    QVariant Value() const;
    // Chooses the entry of the key; a key without entry (or null) chooses the empty entry, or none.
    void SetValue(const QVariant& AKey);

signals:
    void ValueChanged(const QVariant& AKey);

private:
    QVLookupListModel* FModel;
    bool FUpdating = false;
};

} // namespace hostapi
