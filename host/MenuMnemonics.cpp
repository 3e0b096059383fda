#include "MenuMnemonics.h"

#include <QAction>
#include <QList>
#include <QMenu>
#include <QMenuBar>
#include <QSet>

namespace qvhost {

namespace {

// A menu text as shown (ampersands as characters) and the position of its mnemonic there (-1: none).
struct ParsedText {
    QString Plain;
    qsizetype Mnemonic = -1;
};

ParsedText Parse(const QString& AText) {
    ParsedText parsed;
    for (qsizetype i = 0; i < AText.size(); ++i) {
        const QChar c = AText.at(i);
        if (c != QLatin1Char('&')) {
            parsed.Plain.append(c);
            continue;
        }
        const QChar next = i + 1 < AText.size() ? AText.at(i + 1) : QChar();
        if (next == QLatin1Char('&')) {
            parsed.Plain.append(c);
            ++i;
        } else if (next.isLetterOrNumber() && parsed.Mnemonic < 0) {
            parsed.Mnemonic = parsed.Plain.size();
        } else {
            parsed.Plain.append(c); // "Schmidt & Partner": no mnemonic
        }
    }
    return parsed;
}

QString Encode(const ParsedText& AText) {
    QString text;
    for (qsizetype i = 0; i < AText.Plain.size(); ++i) {
        if (i == AText.Mnemonic)
            text.append(QLatin1Char('&'));
        text.append(AText.Plain.at(i));
        if (AText.Plain.at(i) == QLatin1Char('&'))
            text.append(QLatin1Char('&'));
    }
    return text;
}

qsizetype FreePosition(const QString& APlain, const QSet<QChar>& ATaken) {
    const auto free = [&](qsizetype i) {
        return APlain.at(i).isLetterOrNumber() && !ATaken.contains(APlain.at(i).toLower());
    };
    for (qsizetype i = 0; i < APlain.size(); ++i) {
        const bool wordStart = i == 0 || !APlain.at(i - 1).isLetterOrNumber();
        if (wordStart && free(i))
            return i;
    }
    for (qsizetype i = 0; i < APlain.size(); ++i) {
        if (free(i))
            return i;
    }
    return -1;
}

QList<QAction*> TextActions(const QList<QAction*>& AActions) {
    QList<QAction*> actions;
    for (QAction* action : AActions) {
        if (!action->isSeparator())
            actions.append(action);
    }
    return actions;
}

void ApplyTo(const QList<QAction*>& AActions) {
    const QList<QAction*> actions = TextActions(AActions);
    QStringList texts;
    for (const QAction* action : actions)
        texts.append(action->text());
    const QStringList assigned = MenuMnemonics::Assign(texts);
    for (qsizetype i = 0; i < actions.size(); ++i) {
        if (actions.at(i)->text() != assigned.at(i))
            actions.at(i)->setText(assigned.at(i));
        if (QMenu* submenu = actions.at(i)->menu())
            MenuMnemonics::Apply(*submenu);
    }
}

} // namespace

QChar MenuMnemonics::Of(const QString& AText) {
    const ParsedText parsed = Parse(AText);
    return parsed.Mnemonic < 0 ? QChar() : parsed.Plain.at(parsed.Mnemonic).toLower();
}

QStringList MenuMnemonics::Assign(const QStringList& ATexts) {
    QList<ParsedText> parsed;
    QSet<QChar> taken;
    for (const QString& text : ATexts) {
        ParsedText entry = Parse(text);
        if (entry.Mnemonic >= 0) {
            const QChar mnemonic = entry.Plain.at(entry.Mnemonic).toLower();
            if (taken.contains(mnemonic))
                entry.Mnemonic = -1;
            else
                taken.insert(mnemonic);
        }
        parsed.append(entry);
    }
    QStringList texts;
    for (ParsedText& entry : parsed) {
        if (entry.Mnemonic < 0) {
            entry.Mnemonic = FreePosition(entry.Plain, taken);
            if (entry.Mnemonic >= 0)
                taken.insert(entry.Plain.at(entry.Mnemonic).toLower());
        }
        texts.append(Encode(entry));
    }
    return texts;
}

void MenuMnemonics::Apply(QMenuBar& ABar) {
    ApplyTo(ABar.actions());
}

void MenuMnemonics::Apply(QMenu& AMenu) {
    ApplyTo(AMenu.actions());
}

} // namespace qvhost
