#include "HostCommandLine.h"

#include "QVException.h"
#include "VRNLang.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace qvhost {

namespace {

QString Tr(const QString& AId) {
    static const hostapi::TVRNLang lang(QStringLiteral("HostCommandLine"));
    return lang.TextIn(AId, hostapi::TVRNLang::CurrentLanguage());
}

// Options that QGuiApplication and QApplication take from the command line themselves.
struct QtOption {
    const char* Name;
    bool TakesValue;
};
constexpr QtOption QtOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"geometry", true},
    {"qwindowtitle", true},
    {"title", true},
    {"qwindowicon", true},
    {"icon", true},
    {"style", true},
    {"stylesheet", true},
    {"session", true},
    {"display", true},
    {"name", true},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
};

const QString ModulesOption = QStringLiteral("modules");
const QString DatabaseOption = QStringLiteral("database");
const QString DatabaseUrlOption = QStringLiteral("database-url");

QString Dashed(const QString& AName) {
    return (AName.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + AName;
}

// A value option that ends the command line has nothing to take (QCommandLineParser's own message
// would not name it in the user's language).
void RefuseTrailingValueOption(const QStringList& AArguments, const QStringList& AValueOptions) {
    if (AArguments.size() < 2)
        return;
    QString last = AArguments.last();
    if (!last.startsWith(QLatin1Char('-')))
        return;
    last.remove(0, last.startsWith(QStringLiteral("--")) ? 2 : 1);
    if (AValueOptions.contains(last))
        throw hostapi::EQVException(Tr(QStringLiteral("IDS_MissingValue")).arg(Dashed(last)));
}

// A value option given apart from its value takes the next argument as it stands: an option there
// ("--database --help") is a forgotten value, never a file to create. A value that begins with "-"
// is given as --option=-value.
void RefuseOptionAsValue(const QStringList& AArguments, const QStringList& AValueOptions) {
    for (qsizetype i = 1; i + 1 < AArguments.size(); ++i) {
        const QString& argument = AArguments.at(i);
        if (argument == QLatin1String("--"))
            return;
        if (!argument.startsWith(QLatin1Char('-')) || argument.contains(QLatin1Char('=')))
            continue;
        const QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
        if (!AValueOptions.contains(name))
            continue;
        const QString& value = AArguments.at(i + 1);
        if (value.startsWith(QLatin1Char('-')))
            throw hostapi::EQVException(Tr(QStringLiteral("IDS_OptionAsValue"))
                                            .arg(Dashed(name), value, QStringLiteral("--") + name));
        ++i; // the value is no option of its own
    }
}

QString HelpLine(const QString& ATerm, const QString& AText) {
    constexpr int TermWidth = 22;
    return QStringLiteral("  ") + ATerm.leftJustified(TermWidth - 1) + QLatin1Char(' ') + AText +
           QLatin1Char('\n');
}

} // namespace

HostOptions HostCommandLine::Parse(const QStringList& AArguments, const QString& AApplicationDir) {
    QCommandLineParser parser;
    // "-platform offscreen" is one option with a value, as Qt reads it.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption modules(ModulesOption, QString(), QStringLiteral("DIR"));
    const QCommandLineOption database(DatabaseOption, QString(), QStringLiteral("PATH"));
    const QCommandLineOption databaseUrl(DatabaseUrlOption, QString(), QStringLiteral("URL"));
    parser.addOptions({help, modules, database, databaseUrl});
    QStringList valueOptions{ModulesOption, DatabaseOption, DatabaseUrlOption};
    for (const QtOption& option : QtOptions) {
        const QString name = QString::fromLatin1(option.Name);
        parser.addOption(
            QCommandLineOption(name, QString(), option.TakesValue ? QStringLiteral("value") : QString()));
        if (option.TakesValue)
            valueOptions.append(name);
    }

    RefuseTrailingValueOption(AArguments, valueOptions);
    RefuseOptionAsValue(AArguments, valueOptions);
    if (!parser.parse(AArguments)) {
        if (!parser.unknownOptionNames().isEmpty())
            throw hostapi::EQVException(Tr(QStringLiteral("IDS_UnknownOption"))
                                            .arg(Dashed(parser.unknownOptionNames().constFirst()),
                                                 QFileInfo(AArguments.value(0)).fileName()));
        throw hostapi::EQVException(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty())
        throw hostapi::EQVException(
            Tr(QStringLiteral("IDS_UnexpectedArgument")).arg(parser.positionalArguments().constFirst()));

    HostOptions options;
    options.HelpRequested = parser.isSet(help);
    for (const QCommandLineOption* option : {&modules, &database, &databaseUrl}) {
        if (parser.isSet(*option) && parser.value(*option).isEmpty())
            throw hostapi::EQVException(
                Tr(QStringLiteral("IDS_MissingValue")).arg(Dashed(option->names().constFirst())));
    }
    if (parser.isSet(database) && parser.isSet(databaseUrl))
        throw hostapi::EQVException(Tr(QStringLiteral("IDS_DatabaseOptionsExclude")));

    const QString folder = parser.isSet(modules)
                               ? parser.value(modules)
                               : QDir(AApplicationDir).filePath(QStringLiteral("../modules"));
    options.ModuleFolder = QDir::cleanPath(QDir(folder).absolutePath());

    // The database options as checked here; the environment and the default file come from there.
    QStringList databaseArguments{AArguments.value(0)};
    if (parser.isSet(database))
        databaseArguments << Dashed(DatabaseOption) + QLatin1Char('=') + parser.value(database);
    if (parser.isSet(databaseUrl))
        databaseArguments << Dashed(DatabaseUrlOption) + QLatin1Char('=') + parser.value(databaseUrl);
    options.Database = hostapi::DatabaseConfig::FromArguments(databaseArguments);
    return options;
}

QString HostCommandLine::HelpText(const QString& AProgram) {
    QString text = Tr(QStringLiteral("IDS_Usage")).arg(AProgram) + QLatin1Char('\n') +
                   Tr(QStringLiteral("IDS_Description")) + QStringLiteral("\n\n");
    text += Tr(QStringLiteral("IDS_Options")) + QLatin1Char('\n');
    text += HelpLine(QStringLiteral("-h, --help"), Tr(QStringLiteral("IDS_OptHelp")));
    text += HelpLine(QStringLiteral("--modules DIR"), Tr(QStringLiteral("IDS_OptModules")));
    text += HelpLine(QStringLiteral("--database PATH"),
                     Tr(QStringLiteral("IDS_OptDatabase")).arg(hostapi::DatabaseConfig::DefaultSqlitePath()));
    text += HelpLine(QStringLiteral("--database-url URL"), Tr(QStringLiteral("IDS_OptDatabaseUrl")));
    text += HelpLine(QStringLiteral("-platform NAME"), Tr(QStringLiteral("IDS_OptPlatform")));
    text += QLatin1Char('\n') + Tr(QStringLiteral("IDS_Environment")) + QLatin1Char('\n');
    text += HelpLine(QStringLiteral("QV_DATABASE"), Tr(QStringLiteral("IDS_EnvDatabase")));
    text += HelpLine(QStringLiteral("QV_DATABASE_URL"), Tr(QStringLiteral("IDS_EnvDatabaseUrl")));
    text += HelpLine(QStringLiteral("PGPASSFILE"), Tr(QStringLiteral("IDS_EnvPassFile")));
    text += HelpLine(QStringLiteral("DISPLAY"), Tr(QStringLiteral("IDS_EnvDisplay")));
    text += HelpLine(QStringLiteral("WAYLAND_DISPLAY"), Tr(QStringLiteral("IDS_EnvWaylandDisplay")));
    text += HelpLine(QStringLiteral("QT_QPA_PLATFORM"), Tr(QStringLiteral("IDS_EnvPlatform")));
    return text;
}

QString HostCommandLine::MissingDisplay(const QStringList& AArguments,
                                        const QProcessEnvironment& AEnvironment) {
    if (!AEnvironment.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
        return {};
    for (qsizetype i = 1; i < AArguments.size(); ++i) {
        if (AArguments.at(i) == QLatin1String("-platform") || AArguments.at(i) == QLatin1String("--platform"))
            return {};
    }
    if (!AEnvironment.value(QStringLiteral("DISPLAY")).isEmpty() ||
        !AEnvironment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty())
        return {};
    return Tr(QStringLiteral("IDS_NoDisplay"));
}

QString HostCommandLine::UnreachableDisplay(const QStringList& AArguments,
                                            const QProcessEnvironment& AEnvironment) {
    QStringList tried;
    for (qsizetype i = 1; i + 1 < AArguments.size(); ++i) {
        if (AArguments.at(i) == QLatin1String("-platform") || AArguments.at(i) == QLatin1String("--platform"))
            tried.append(QStringLiteral("-platform ") + AArguments.at(i + 1));
    }
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const QString variable = QString::fromLatin1(name);
        if (const QString value = AEnvironment.value(variable); !value.isEmpty())
            tried.append(variable + QLatin1Char('=') + value);
    }
    return Tr(QStringLiteral("IDS_DisplayUnreachable")).arg(tried.join(QStringLiteral(", ")));
}

} // namespace qvhost
