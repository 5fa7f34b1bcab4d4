#pragma once

// Headless scripted roads through the demo host: each road starts a fresh
// simulated recorder manager and a fresh host window with the plug-in's
// toolbars, acts as the operator (clicks on the toolbar's own widgets), as
// the host and as the manager, prints a transcript of every step, saves a
// screenshot after each step and checks the toolbar's state.

#include <QString>
#include <QStringList>

class QTextStream;

struct ScenarioSettings
{
    QString pluginPath;
    int channels = 2;
    QString outputDir;
    // The manager process to play against (started afresh for every road);
    // empty: the simulated manager in this process.
    QString managerBinary;
};

class ScenarioRunner
{
public:
    // The roads in the order "all" runs them.
    static QStringList Names();
    static bool Exists(const QString& name);

    explicit ScenarioRunner(const ScenarioSettings& settings, QTextStream& out);

    // Runs one road, or every road for "all". Returns the number of roads
    // that failed; -1 when the host could not be set up at all.
    int Run(const QString& name);

private:
    int RunRoad(const QString& name);

    ScenarioSettings m_settings;
    QTextStream& m_out;
};
