#pragma once

#include "HostApiExport.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace hostapi {

// Translation component of a window or data module: the texts of one unit by id, in German
// (default), English, French and Italian.
//
// Tables are Qt resources ":/translations/<unit>.tsv", compiled into the library or module that
// owns the unit (CMake: qv_add_translations, translations/QvTranslations.cmake). Format, UTF-8:
//   - lines starting with "#" and empty lines are ignored;
//   - the first other line is the header "id<TAB>de<TAB>en<TAB>fr<TAB>it";
//   - every further line is an id and up to four texts separated by tabs; a missing or empty text
//     is read in German; the German text must not be empty; ids are unique within the table;
//   - inside a text "\n" is a line break, "\t" a tab and "\\" a backslash.
// A table that is missing or malformed, an unknown language name and an unknown id raise
// EQVException: a missing text is a fault of the product, never shown as an empty string.
//
// The process has one current language (German at start). The host switches it with
// SetCurrentLanguage, which tells every listener; the host calls SetLanguage on its data modules
// and open windows from there. A new component starts in the current language.
//
// Text lookups are safe from any thread; changing the current language is done on the GUI thread.
class HOSTAPI_EXPORT TVRNLang {
public:
    // Language names, in column order of the tables: "German", "English", "French", "Italian".
    static const QStringList& LanguageNames();
    // Name of a language in that language, for the host's language menu ("Deutsch", ...).
    static QString LanguageDisplayName(const QString& ALangName);

    explicit TVRNLang(const QString& AUnitName);
    ~TVRNLang();
    TVRNLang(const TVRNLang&) = delete;
    TVRNLang& operator=(const TVRNLang&) = delete;

    QString UnitName() const;
    QString Language() const;
    // Case-insensitive language name; throws EQVException for an unknown one.
    void SetLanguage(const QString& ALangName);

    // The text of AId in this component's language (German when that text is empty).
    QString Text(const QString& AId) const;
    QString TextIn(const QString& AId, const QString& ALangName) const;
    bool HasText(const QString& AId) const;

    static QString CurrentLanguage();
    // Switches the process language and tells every listener, in the order they were added. All
    // listeners are told even when one throws; the first exception is then raised again.
    static void SetCurrentLanguage(const QString& ALangName);
    using LanguageListener = std::function<void(const QString& ALangName)>;
    // Answers an id for RemoveLanguageListener.
    static int AddLanguageListener(LanguageListener AListener);
    static void RemoveLanguageListener(int AId);

private:
    struct Table;
    static int LanguageIndex(const QString& ALangName);
    static std::shared_ptr<const Table> LoadTable(const QString& AUnitName);
    static std::shared_ptr<const Table> ParseTable(const QByteArray& AData, const QString& ASource);

    QString FUnitName;
    std::shared_ptr<const Table> FTable;
    std::atomic<int> FLanguage;
};

} // namespace hostapi
