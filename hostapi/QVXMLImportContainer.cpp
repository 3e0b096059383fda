#include "QVXMLImportContainer.h"

#include "QVException.h"
#include "QVXMLImport.h"

#include <QRegularExpression>

namespace hostapi {

TQVXMLImportContainer::TQVXMLImportContainer(QObject* AOwner) : QObject(AOwner) {}

TQVXMLImportContainer::~TQVXMLImportContainer() {
    if (FRegistered)
        TQVXMLImport::Unregister(this);
}

void TQVXMLImportContainer::AddPart(const QString& AId, const QString& ACaption, bool AExportable,
                                    bool AExportByDefault) {
    static const QRegularExpression xmlName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.-]*$"));
    QV_ASSERT(xmlName.match(AId).hasMatch());
    for (const TQVXMLImportPart& part : FParts)
        QV_ASSERT(part.Id != AId);
    FParts.append({AId, ACaption, AExportable, AExportByDefault});
}

void TQVXMLImportContainer::AfterStartup() {
    if (FRegistered)
        return;
    TQVXMLImport::Register(this);
    FRegistered = true;
}

void TQVXMLImportContainer::BeforeUnInit() {
    if (!FRegistered)
        return;
    TQVXMLImport::Unregister(this);
    FRegistered = false;
}

} // namespace hostapi
