#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

namespace emailmarketing {

struct TCustomFileMacroReplacerConfigFormClass;

// The rules of an attachment row ("emlattachements") that the attachment tab applies, without widgets.
class TMailingAttachmentRules {
public:
    // "usemacros" of a personalised file.
    static constexpr int PersonaliseValue = 2;

    // The file-name part of a path (its last component; "" for a path ending in "/").
    static QString FileNamePart(const QString& APath);
    // The extension of a file name with its dot (".pdf"); "" without one.
    static QString FileExt(const QString& AFileName);

    // The settings frame class a row asks for: the one of the replacer registered for the
    // extension of AFileName, when AUseMacros is 2 and that replacer has a frame; else nullptr.
    static const TCustomFileMacroReplacerConfigFormClass* ConfigFormClassFor(const QVariant& AUseMacros,
                                                                             const QString& AFileName);

    // "filemrsettings" as the replacer's name=value lines, and back: lines ended by CR LF (a
    // lone LF or CR read as a line end too), Unicode text as it stands.
    static QStringList SettingsFromText(const QString& AText);
    static QString SettingsToText(const QStringList& ALines);
};

} // namespace emailmarketing
