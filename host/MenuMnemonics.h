#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

class QMenu;
class QMenuBar;

namespace qvhost {

// Keyboard mnemonics of the menus the host builds: every title and entry gets one (Alt+letter in the
// menu bar, the letter inside an open menu), unique within its menu, in whatever language the texts
// are. Texts are Qt menu texts: "&x" marks the mnemonic x, "&&" is a literal "&".
class MenuMnemonics {
public:
    // The mnemonic a text carries, lower case; a null QChar when it carries none.
    static QChar Of(const QString& AText);
    // ATexts with one mnemonic each. A mnemonic a text carries is kept unless an earlier text of the
    // menu carries the same; a text without one gets the first letter of a word that is still free,
    // else any free letter or digit (none when every letter is taken). A lone "&" stays literal.
    static QStringList Assign(const QStringList& ATexts);
    // Assign applied to the menu bar's menus and, within each menu, to its entries and submenus.
    static void Apply(QMenuBar& ABar);
    static void Apply(QMenu& AMenu);
};

} // namespace qvhost
