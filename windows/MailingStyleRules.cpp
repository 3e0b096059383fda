#include "MailingStyleRules.h"

#include <QStringList>

namespace emailmarketing::MailingStyleRules {

TEmailStyle StyleOfValue(const QVariant& AValue) {
    if (AValue.isNull())
        return esRTFText;
    bool ok = false;
    const qint64 value = AValue.toLongLong(&ok);
    if (!ok)
        return esRTFText;
    switch (value) {
    case esPlainText:
    case esHTMLSource:
    case esSMS:
    case esHTML:
        return static_cast<TEmailStyle>(value);
    default:
        return esRTFText;
    }
}

TStylePresentation Presentation(TEmailStyle AStyle) {
    TStylePresentation p;
    p.RTFPage = AStyle == esRTFText;
    p.HTMLSourcePage = AStyle == esHTMLSource;
    p.HTMLPage = AStyle == esHTML;
    p.RTFTextBlockPage = AStyle == esRTFText || AStyle == esHTMLSource || AStyle == esHTML;
    p.AttachementsTab = AStyle != esSMS;
    p.InlineAttachementColumn = AStyle == esHTMLSource || AStyle == esHTML;
    p.ImportHTMLSourceAction = p.RTFTextBlockPage;
    p.CharCountVisible = AStyle == esSMS;
    p.CcBccEditable = AStyle != esSMS;
    p.SubjectLabelId = AStyle == esSMS ? QStringLiteral("IDS_SubCapSMS") : QStringLiteral("IDS_SubCap");
    return p;
}

bool PageVisible(TEmailStyle AStyle, TEditorPage APage) {
    const TStylePresentation p = Presentation(AStyle);
    switch (APage) {
    case epPlainText:
        return true;
    case epRTF:
        return p.RTFPage;
    case epHTMLSource:
        return p.HTMLSourcePage;
    case epHTML:
        return p.HTMLPage;
    }
    return false;
}

TEditorPage ActivePage(TEmailStyle AStyle, TEditorPage ACurrent) {
    for (TEditorPage page : {epHTMLSource, epHTML, epRTF})
        if (PageVisible(AStyle, page))
            return page;
    return PageVisible(AStyle, ACurrent) ? ACurrent : epPlainText;
}

TCharCount CharCount(const QString& AText) {
    constexpr int CharsPerSMS = 160;
    TCharCount c;
    c.Characters = int(AText.size());
    c.Messages = (c.Characters + CharsPerSMS - 1) / CharsPerSMS;
    return c;
}

QString CharCountText(const QString& ATemplate, const QString& AText) {
    const TCharCount c = CharCount(AText);
    return ATemplate.arg(c.Characters).arg(c.Messages);
}

bool AutoTextNoteVisible(TEmailStyle AStyle, const QString& AText) {
    return AStyle != esPlainText && AStyle != esSMS && AText.isEmpty();
}

TActionState ActionState(qint64 AListID, bool AHasJob) {
    TActionState s;
    const bool list = AListID >= 0;
    s.ExportTemplate = list;
    s.SendingStart = list && !AHasJob;
    s.PreviewSelected = list;
    s.SchedSending = list;
    s.SendingAbort = AHasJob;
    s.JobTabVisible = list && AHasJob;
    return s;
}

bool TemplateEditable(bool ATemplateShown, bool AHasJob) {
    return ATemplateShown && !AHasJob;
}

QString StylePickList(const std::function<QString(const QString& AId)>& AText) {
    const char* const ids[] = {"ES_PlainText", "ES_RTF", "ES_HTMLSource", "ES_SMS", "ES_HTML"};
    QStringList lines;
    for (int i = 0; i < 5; ++i)
        lines << QStringLiteral("%1=%2").arg(i).arg(AText(QString::fromLatin1(ids[i])));
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace emailmarketing::MailingStyleRules
