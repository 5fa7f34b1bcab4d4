#include "hostoptions.h"

#include <QCommandLineOption>
#include <QFileInfo>
#include <QLocale>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <memory>

namespace {

const char* const kContext = "HostOptions";

QString tr(const char* text)
{
    return QCoreApplication::translate(kContext, text);
}

// Options QApplication takes out of the command line after the host has
// read it; the parser has to know them, and whether they take a value, to
// read past them.
const char* const kQtOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "style",
                                           "stylesheet", "session", "display", "geometry", "qwindowgeometry",
                                           "qwindowtitle", "qwindowicon", "font", "name", "title"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "sync", "nograb", "dograb"};

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}, tr("Show this help and exit.")};
    QCommandLineOption version{QStringLiteral("version"), tr("Show the version and exit.")};
    QCommandLineOption module{QStringLiteral("module"),
                              tr("Plug-in module to load (default: the build's plugins/libvrxrtb.so)."), tr("path")};
    QCommandLineOption channels{QStringLiteral("channels"),
                                tr("Receiver channels, one toolbar each (1 to %1, default 2).").arg(HostOptions::kMaxChannels),
                                tr("n")};
    QCommandLineOption traceMask{QStringLiteral("trace-mask"),
                                 tr("Trace mask: 64 flow, 32 warnings; decimal or 0x hexadecimal (also VRX_TRACE_MASK)."),
                                 tr("mask")};
    QCommandLineOption traceStdout{QStringLiteral("trace-stdout"), tr("Also write the traces to the terminal.")};
    QCommandLineOption log{QStringLiteral("log"), tr("Trace log file (default: vrxrtb-host.log in the output folder)."),
                           tr("file")};
    QCommandLineOption scenario{QStringLiteral("scenario"), tr("Run a scripted road headless ('all' runs every road)."),
                                tr("name")};
    QCommandLineOption output{QStringLiteral("output"),
                              tr("Folder for logs and screenshots (default: ./vrxrtb-host-output)."), tr("dir")};
    QCommandLineOption traceFocus{QStringLiteral("trace-focus"),
                                  tr("Write every focus change to the log (channel / control), for keyboard drivers.")};
    QCommandLineOption smallDeviceFree{QStringLiteral("small-device-free"),
                                       tr("MiB free on the simulated manager's small device (Dev3) at start, to fill it quickly."),
                                       tr("MiB")};
    QCommandLineOption manager{QStringLiteral("manager"),
                               tr("Reach a recorder manager process at this address (corbaloc::HOST:PORT/CCO) "
                                  "instead of running the simulated manager in this process."),
                               tr("corbaloc")};
    QCommandLineOption managerProcess{QStringLiteral("manager-process"),
                                      tr("Start a recorder manager process from this program (vrxrtb-manager) and reach "
                                         "it over the wire; its Manager menu can kill and restart it. With --scenario "
                                         "every road starts its own."),
                                      tr("program")};
    QCommandLineOption lang{QStringLiteral("lang"), tr("Language of the operator's texts, e.g. de (default: the system's)."),
                            tr("language")};

    Parser()
    {
        parser.setApplicationDescription(
            tr("Demo host of the recorder toolbar plug-in: docks one toolbar per receiver channel, with a simulated "
               "recorder manager."));
        // Qt's own options are single-dash words (-platform offscreen).
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({help, version, module, channels, traceMask, traceStdout, log, scenario, output, lang, traceFocus, smallDeviceFree, manager, managerProcess});
        for (const char* name : kQtOptionsWithValue) {
            QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
            option.setFlags(QCommandLineOption::HiddenFromHelp);
            parser.addOption(option);
        }
        for (const char* name : kQtFlags) {
            QCommandLineOption option(QString::fromLatin1(name));
            option.setFlags(QCommandLineOption::HiddenFromHelp);
            parser.addOption(option);
        }
    }
};

bool parseMask(const QString& text, unsigned int& mask)
{
    bool ok = false;
    mask = text.toUInt(&ok, 0);
    return ok;
}

} // namespace

bool HostOptions::Parse(const QStringList& args, QString& error)
{
    const QString envMask = qEnvironmentVariable("VRX_TRACE_MASK");
    if (!envMask.isEmpty() && !parseMask(envMask, traceMask)) {
        error = tr("VRX_TRACE_MASK is not a number: %1").arg(envMask);
        return false;
    }
    Parser p;
    if (!p.parser.parse(args)) {
        error = p.parser.errorText();
        return false;
    }
    if (!p.parser.positionalArguments().isEmpty()) {
        error = tr("unexpected argument %1").arg(p.parser.positionalArguments().constFirst());
        return false;
    }
    showHelp = p.parser.isSet(p.help);
    showVersion = p.parser.isSet(p.version);
    pluginPath = p.parser.value(p.module);
    if (p.parser.isSet(p.channels)) {
        const QString value = p.parser.value(p.channels);
        bool ok = false;
        channels = value.toInt(&ok);
        if (!ok || channels < 1 || channels > kMaxChannels) {
            error = tr("--channels must be a number from 1 to %1, not \"%2\"").arg(kMaxChannels).arg(value);
            return false;
        }
    }
    if (p.parser.isSet(p.traceMask) && !parseMask(p.parser.value(p.traceMask), traceMask)) {
        error = tr("--trace-mask must be a number, not \"%1\"").arg(p.parser.value(p.traceMask));
        return false;
    }
    traceToTerminal = p.parser.isSet(p.traceStdout);
    logFile = p.parser.value(p.log);
    scenario = p.parser.value(p.scenario);
    outputDir = p.parser.value(p.output);
    language = p.parser.value(p.lang);
    traceFocus = p.parser.isSet(p.traceFocus);
    smallDeviceFree = p.parser.value(p.smallDeviceFree);
    if (p.parser.isSet(p.smallDeviceFree) && !(smallDeviceFree.toDouble() >= 0)) {
        error = tr("--small-device-free must be a number of MiB, not \"%1\"").arg(smallDeviceFree);
        return false;
    }
    manager = p.parser.value(p.manager);
    if (p.parser.isSet(p.manager) && !manager.startsWith(QLatin1String("corbaloc:"))) {
        error = tr("--manager must be a corbaloc address such as corbaloc::host:port/CCO, not \"%1\"").arg(manager);
        return false;
    }
    if (p.parser.isSet(p.manager) && !scenario.isEmpty()) {
        error = tr("--manager does not go with --scenario: a road starts its own manager (--manager-process)");
        return false;
    }
    managerProcess = p.parser.value(p.managerProcess);
    if (p.parser.isSet(p.managerProcess) && p.parser.isSet(p.manager)) {
        error = tr("--manager-process starts a manager, --manager reaches a running one: give one of them");
        return false;
    }
    if (p.parser.isSet(p.managerProcess) && !QFileInfo(managerProcess).isExecutable()) {
        error = tr("--manager-process: \"%1\" is not a program").arg(managerProcess);
        return false;
    }
    if (p.parser.isSet(p.lang) && QLocale(language).language() == QLocale::C) {
        error = tr("--lang must name a language, such as de, not \"%1\"").arg(language);
        return false;
    }
    return true;
}

QString HostOptions::Usage()
{
    // The parser takes the program's name from the application object and
    // crashes without one; the options are read before the window system,
    // so a plain core application stands in while the text is made.
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "vrxrtb-host";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        app.reset(new QCoreApplication(argc, argv));
    return Parser().parser.helpText();
}

QString HostOptions::Version()
{
    return QString::fromLatin1("vrxrtb-host " VRX_HOST_VERSION "\n");
}
