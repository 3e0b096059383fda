#include "PDFFileMacroReplacerConfigModel.h"

#include "PDFTK.h"

namespace emailmarketing {

namespace {

// An ordinal 0 to 2 from its decimal text, else 0.
int Ordinal012(const QString& AValue) {
    bool ok = false;
    const int value = AValue.trimmed().toInt(&ok);
    return ok && value >= 0 && value <= 2 ? value : 0;
}

} // namespace

PDFFileMacroReplacerConfigModel::TChoices
PDFFileMacroReplacerConfigModel::Load(const TSettingLookup& ASetting) {
    TChoices choices;
    choices.Flatten = ASetting(QStringLiteral("Flatten")) == QLatin1String("1");
    choices.Compression = Ordinal012(ASetting(QStringLiteral("Compression")));
    choices.Encryption = Ordinal012(ASetting(QStringLiteral("Encryption")));
    choices.InputPassword = ASetting(QStringLiteral("InputPassword"));
    choices.OwnerPassword = ASetting(QStringLiteral("OwnerPassword"));
    choices.UserPassword = ASetting(QStringLiteral("UserPassword"));
    const QString permissions = ASetting(QStringLiteral("Permissions"));
    bool isNumber = false;
    const int number = permissions.trimmed().toInt(&isNumber);
    if (isNumber && number == pmAllFeatures) {
        choices.PermissionAll = true;
        return choices;
    }
    QStringList entries = permissions.split(QLatin1Char(','));
    for (QString& entry : entries)
        entry = entry.trimmed();
    for (int ordinal = pmPrinting; ordinal < pmAllFeatures; ++ordinal)
        if (entries.contains(QString::number(ordinal)))
            choices.Permissions.append(ordinal);
    return choices;
}

QString PDFFileMacroReplacerConfigModel::PermissionsValue(bool APermissionAll, const QList<int>& AChecked) {
    if (APermissionAll)
        return QString::number(pmAllFeatures);
    QStringList items;
    for (const int ordinal : AChecked)
        items.append(QString::number(ordinal));
    return items.join(QLatin1Char(','));
}

PDFFileMacroReplacerConfigModel::TControlStates
PDFFileMacroReplacerConfigModel::ControlStates(bool AAvailable, int AEncryption,
                                               const QString& AOwnerPassword, const QString& AUserPassword,
                                               bool APermissionAll) {
    TControlStates states;
    states.PermissionAllEnabled =
        (AAvailable && AEncryption != encNone) || !AOwnerPassword.isEmpty() || !AUserPassword.isEmpty();
    states.PermissionListEnabled = states.PermissionAllEnabled && !APermissionAll;
    states.OptionsEnabled = AAvailable;
    states.NotAvailableVisible = !AAvailable;
    return states;
}

const QStringList& PDFFileMacroReplacerConfigModel::CompressionIds() {
    static const QStringList ids{QStringLiteral("cpmDontChange"), QStringLiteral("cpmCompress"),
                                 QStringLiteral("cpmUnCompress")};
    return ids;
}

const QStringList& PDFFileMacroReplacerConfigModel::EncryptionIds() {
    static const QStringList ids{QStringLiteral("encNone"), QStringLiteral("enc40bit"),
                                 QStringLiteral("enc128bit")};
    return ids;
}

const QStringList& PDFFileMacroReplacerConfigModel::PermissionIds() {
    static const QStringList ids{QStringLiteral("pmPrinting"),          QStringLiteral("pmDegradedPrinting"),
                                 QStringLiteral("pmModifyContents"),    QStringLiteral("pmAssembly"),
                                 QStringLiteral("pmCopyContents"),      QStringLiteral("pmScreenReaders"),
                                 QStringLiteral("pmModifyAnnotations"), QStringLiteral("pmFillIn")};
    return ids;
}

} // namespace emailmarketing
