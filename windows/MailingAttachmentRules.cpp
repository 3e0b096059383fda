#include "MailingAttachmentRules.h"

#include "CustomFileMacroReplacer.h"

#include <QRegularExpression>

namespace emailmarketing {

QString TMailingAttachmentRules::FileNamePart(const QString& APath) {
    return APath.mid(APath.lastIndexOf(QLatin1Char('/')) + 1);
}

QString TMailingAttachmentRules::FileExt(const QString& AFileName) {
    const QString name = FileNamePart(AFileName);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

const TCustomFileMacroReplacerConfigFormClass*
TMailingAttachmentRules::ConfigFormClassFor(const QVariant& AUseMacros, const QString& AFileName) {
    if (AUseMacros.isNull() || AUseMacros.toLongLong() != PersonaliseValue)
        return nullptr;
    const QString ext = FileExt(AFileName);
    if (ext.isEmpty())
        return nullptr;
    const TCustomFileMacroReplacerClass* cls = TCustomFileMacroReplacer::ClassByFileExt(ext);
    return cls ? cls->GetConfigFormClass() : nullptr;
}

QStringList TMailingAttachmentRules::SettingsFromText(const QString& AText) {
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = AText.split(lineEnd);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString TMailingAttachmentRules::SettingsToText(const QStringList& ALines) {
    QString text;
    for (const QString& line : ALines)
        text += line + QStringLiteral("\r\n");
    return text;
}

} // namespace emailmarketing
