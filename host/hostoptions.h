#pragma once

#include <QString>
#include <QStringList>

// Command line of the demo host.
struct HostOptions
{
    QString pluginPath;
    int channels = 2;
    unsigned int traceMask = 0;
    bool traceToTerminal = false;
    QString logFile;
    QString scenario;
    QString outputDir;
    QString language; // e.g. "de"; empty: the system's
    bool traceFocus = false; // log every focus change, for drivers of the real window
    QString manager;           // --manager: corbaloc of a manager process
    QString managerProcess;    // --manager-process: the manager program a scripted road starts
    QString smallDeviceFree;   // --small-device-free: MiB free on the small device at start
    bool showHelp = false;
    bool showVersion = false;

    // Parses `arguments` (with the program name first, as argv has it). Qt's
    // own options (-platform, -style ...) are accepted and left to
    // QApplication. On failure returns false and sets `error` to a message
    // for the person.
    bool Parse(const QStringList& arguments, QString& error);
    static QString Usage();
    static QString Version();

    static constexpr int kMaxChannels = 64;
};
