#pragma once

#include "Database.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace qvhost {

// What the command line asks of the host.
struct HostOptions {
    bool HelpRequested = false;
    QString ModuleFolder;
    hostapi::DatabaseConfig Database;
};

// The host's command line, read before the application object exists:
//   --modules DIR        the module folder (default <program folder>/../modules)
//   --database PATH      a SQLite file
//   --database-url URL   a PostgreSQL database (excludes --database)
//   -h, --help           the options and the environment variables
// Qt's own window-system options (-platform NAME, -style NAME, ...) are left to Qt. An unknown
// option, an option without its value, an empty value, an option where a value belongs (a value
// that begins with "-" is given as --option=-value), both database options and any other
// argument raise EQVException with the text the user needs. Texts come from the translation table
// "HostCommandLine" in the current language.
class HostCommandLine {
public:
    // AArguments with the program first, as main receives them.
    static HostOptions Parse(const QStringList& AArguments, const QString& AApplicationDir);
    // The help text: usage, options and the environment variables the host reads.
    static QString HelpText(const QString& AProgram);
    // Why no window can be shown: neither DISPLAY nor WAYLAND_DISPLAY is set and no platform is
    // chosen (QT_QPA_PLATFORM or -platform). Empty when a window system can be reached.
    static QString MissingDisplay(const QStringList& AArguments, const QProcessEnvironment& AEnvironment);
    // Why no window can be shown when the window system named by the platform choice, DISPLAY or
    // WAYLAND_DISPLAY could not be reached: names what was tried.
    static QString UnreachableDisplay(const QStringList& AArguments, const QProcessEnvironment& AEnvironment);

    // Exit status of a command line the host refuses.
    static constexpr int UsageExitCode = 2;
};

} // namespace qvhost
