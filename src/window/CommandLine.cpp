#include "window/CommandLine.h"

#include "OrvaltVersion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace orvalt {

namespace {

struct ToolkitOption
{
    const char* name;
    const char* valueName; // nullptr: the option takes no value
    const char* description;
};

// The options that QGuiApplication and QApplication take from the command line.
const ToolkitOption kToolkitOptions[] = {
    {"platform", "name", "Qt: the platform plugin (xcb, wayland, offscreen, ...)."},
    {"platformpluginpath", "path", "Qt: where to look for platform plugins."},
    {"platformtheme", "name", "Qt: the platform theme."},
    {"plugin", "name", "Qt: load an additional plugin."},
    {"display", "display", "Qt (X11): the X display."},
    {"geometry", "geometry", "Qt (X11): the window's geometry."},
    {"qwindowgeometry", "geometry", "Qt: the window's geometry."},
    {"qwindowicon", "icon", "Qt: the window's icon."},
    {"qwindowtitle", "title", "Qt: the window's title."},
    {"reverse", nullptr, "Qt: right-to-left layout."},
    {"session", "session", "Qt: restore from a session."},
    {"style", "style", "Qt: the widget style."},
    {"stylesheet", "file", "Qt: a style sheet."},
    {"widgetcount", nullptr, "Qt: print the count of widgets left at exit."},
};

} // namespace

std::optional<int> handleCommandLine(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    // Qt's own options come with one dash (-platform xcb) or two.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Moves files between this computer and a field measuring instrument over a "
                       "serial line."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOptions({help, version});
    for (const ToolkitOption& option : kToolkitOptions) {
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(option.name), QString::fromLatin1(option.description),
                               option.valueName ? QString::fromLatin1(option.valueName) : QString()));
    }

    const bool parsed = parser.parse(arguments);
    if (parsed && !parser.isSet(help) && !parser.isSet(version) && parser.positionalArguments().isEmpty())
        return std::nullopt;

    // The help text names the program as it was started; a core application object needs no display.
    const QCoreApplication app(argc, argv);
    if (!parsed || !parser.positionalArguments().isEmpty()) {
        const QString why =
            parsed
                ? QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst())
                : parser.errorText();
        std::fprintf(stderr, "orvalt: %s\nTry 'orvalt --help'.\n", qPrintable(why));
        return 2;
    }
    if (parser.isSet(help))
        std::fputs(qPrintable(parser.helpText()), stdout);
    else
        std::printf("orvalt %s\n", ORVALT_VERSION);
    return 0;
}

} // namespace orvalt
