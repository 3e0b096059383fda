#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace emailmarketing {

// What the PDF attachment settings panel shows and writes, without widgets: the choices read from the
// settings, the "Permissions" text of the checked items and which controls are enabled.
class PDFFileMacroReplacerConfigModel {
public:
    struct TChoices {
        bool Flatten = false;
        int Compression = 0; // TPDFCompression
        int Encryption = 0;  // TPDFEncryption
        QString InputPassword;
        QString OwnerPassword;
        QString UserPassword;
        bool PermissionAll = false;
        QList<int> Permissions; // checked TPDFPermission ordinals, ascending; empty with PermissionAll
    };

    struct TControlStates {
        bool OptionsEnabled = false; // flatten, compression, encryption and the three passwords
        bool PermissionAllEnabled = false;
        bool PermissionListEnabled = false;
        bool NotAvailableVisible = false;
    };

    // The value of a setting by name ("" when missing).
    using TSettingLookup = std::function<QString(const QString& AName)>;

    // Flatten only for exactly "1"; compression and encryption as numbers, 0 when missing, not a
    // number or outside 0 to 2; "Permissions" "8" is all, otherwise the listed ordinals whose decimal
    // text is one of the comma-separated entries ("8,1" checks ordinal 1 only).
    static TChoices Load(const TSettingLookup& ASetting);

    // "8" for all, else the checked ordinals in list order joined by "," (empty when none).
    static QString PermissionsValue(bool APermissionAll, const QList<int>& AChecked);

    // "Alle Zugriffsrechte" is enabled when pdftk is available and the output is encrypted, or while
    // an owner or user password is given; the list while that box is enabled and unchecked; every
    // other option only with pdftk; the note about pdftk only without it.
    static TControlStates ControlStates(bool AAvailable, int AEncryption, const QString& AOwnerPassword,
                                        const QString& AUserPassword, bool APermissionAll);

    // Translation ids of the values, by ordinal: the choices of the two lists and the permission
    // items (pmPrinting to pmFillIn; pmAllFeatures is the check box, not an item).
    static const QStringList& CompressionIds();
    static const QStringList& EncryptionIds();
    static const QStringList& PermissionIds();
};

} // namespace emailmarketing
