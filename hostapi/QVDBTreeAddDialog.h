#pragma once

#include "HostApiExport.h"
#include "QVDBTreeModel.h"

#include <QDialog>

class QDialogButtonBox;
class QLineEdit;
class QRadioButton;

namespace hostapi {

class TVRNLang;

// Asks what a database tree adds: a folder or a content row (only the kinds offered), and its
// name. OK is enabled once the name holds more than blanks.
class HOSTAPI_EXPORT QVDBTreeAddDialog : public QDialog {
    Q_OBJECT
public:
    // AContentCaption names a content row ("E-Mail Vorlage"); empty: the generic text.
    QVDBTreeAddDialog(const TVRNLang& ALang, bool AOfferFolder, bool AOfferContent,
                      const QString& AContentCaption, QWidget* AParent = nullptr);

    TQVTreeNodeKind Kind() const;
    QString Name() const; // trimmed

private:
    void UpdateOk();

    QRadioButton* FFolder = nullptr;
    QRadioButton* FContent = nullptr;
    QLineEdit* FName = nullptr;
    QDialogButtonBox* FButtons = nullptr;
};

} // namespace hostapi
