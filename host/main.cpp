// Demo host: loads the recorder toolbar plug-in and docks one toolbar per
// receiver channel.
#include "base.h"
#include "hostoptions.h"
#include "hostwindow.h"
#include "managerchild.h"
#include "recordermanagersimulator.h"
#include "scenario.h"
#include "startup.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QTextStream>
#include <QToolBar>

#include <cstdio>
#include <memory>
#include <mutex>

namespace {

// Trace lines go to the log file and, on request, to the terminal.
class TraceLog
{
public:
    bool Open(const QString& path, bool terminal)
    {
        m_terminal = terminal;
        m_file.setFileName(path);
        return m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    }
    // The toolbar writes some of its progress at the warning level; in a
    // warnings-only log that is noise, and a warning should mean something
    // is wrong. With the flow traces on they stay, in their place.
    void SetQuietProgress(bool quiet) { m_quietProgress = quiet; }
    void Write(const TraceRecord& r)
    {
        static const char* const progress[] = {"m_bToolbarEnabledByFlag :", "m_bToolbarEnabledByWorkflow :",
            "VorexToolbar::UpdateToolbarEnabled ", "+ VorexToolbar::RecordReplayAllModesValueChanged::mode",
            "- VorexToolbar::RecordReplayAllModesValueChanged::mode", "IsExternalCall ", "VorexToolbar::StartNormalReplay",
            "VorexToolbar::sl_connectionEstablished ", "VorexToolbarChannelConnector:: warning RecordMap been deleted",
            "VorexToolbar::SetChannelError called with NO ERROR"};
        if (m_quietProgress)
            for (const char* prefix : progress)
                if (r.text.startsWith(QLatin1String(prefix)))
                    return;
        WriteLine(QStringLiteral("%1:%2 %3").arg(r.file).arg(r.line).arg(r.text));
    }
    void WriteLine(const QString& text)
    {
        const QString line = QStringLiteral("%1 %2\n").arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs), text);
        std::lock_guard<std::mutex> lock(m_mutex);
        const QByteArray bytes = line.toUtf8();
        m_file.write(bytes);
        m_file.flush();
        if (m_terminal)
            std::fputs(bytes.constData(), stdout);
    }

private:
    std::mutex m_mutex;
    QFile m_file;
    bool m_terminal = false;
    bool m_quietProgress = false;
};

} // namespace

int main(int argc, char** argv)
{
    // The options are checked before any window system is needed, so that
    // bad input gets its message on any machine.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    HostOptions options;
    QString error;
    if (!options.Parse(args, error)) {
        std::fprintf(stderr, "vrxrtb-host: %s\n\n%s", qPrintable(error), qPrintable(HostOptions::Usage()));
        return 2;
    }
    if (options.showHelp) {
        std::fputs(qPrintable(HostOptions::Usage()), stdout);
        return 0;
    }
    if (options.showVersion) {
        std::fputs(qPrintable(HostOptions::Version()), stdout);
        return 0;
    }
    if (!options.scenario.isEmpty() && !ScenarioRunner::Exists(options.scenario)) {
        std::fprintf(stderr, "vrxrtb-host: no scenario \"%s\"; known: all, %s\n", qPrintable(options.scenario),
                     qPrintable(ScenarioRunner::Names().join(QStringLiteral(", "))));
        return 2;
    }
    if (options.pluginPath.isEmpty())
        options.pluginPath = QStringLiteral(VRX_DEFAULT_PLUGIN_DIR "/libvrxrtb.so");
    if (!QFileInfo(options.pluginPath).isFile()) {
        std::fprintf(stderr, "vrxrtb-host: the plug-in module %s does not exist\n", qPrintable(options.pluginPath));
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        if (!options.scenario.isEmpty()) {
            // Scripted roads run headless unless a platform was chosen.
            qputenv("QT_QPA_PLATFORM", "offscreen");
        } else if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            std::fprintf(stderr, "vrxrtb-host: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                                 "run a scripted road instead, e.g. --scenario all\n");
            return 2;
        }
    }
    QApplication app(argc, argv);
    // The toolbar's catalogue holds the host's texts too; loaded for the
    // chosen language before the first window is made, it stays to the end.
    if (!options.language.isEmpty())
        QLocale::setDefault(QLocale(options.language));
    TranslationCenter::Instance()->RegisterTranslation(QStringLiteral("Vorex"));
    if (!options.scenario.isEmpty()) {
        // The offscreen platform cannot size docked bars by their hints nor
        // re-parent a dialog's window, and says so every time; that is no
        // news in a transcript.
        static QtMessageHandler previous = nullptr;
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (text.contains(QLatin1String("does not support propagateSizeHints"))
                || text.contains(QLatin1String("does not support setParent")))
                return;
            if (previous)
                previous(type, context, text);
        });
    }

    if (options.outputDir.isEmpty())
        options.outputDir = QDir::current().filePath(QStringLiteral("vrxrtb-host-output"));
    QDir().mkpath(options.outputDir);
    if (options.logFile.isEmpty())
        options.logFile = QDir(options.outputDir).filePath(QStringLiteral("vrxrtb-host.log"));

    auto traceLog = std::make_shared<TraceLog>();
    if (!traceLog->Open(options.logFile, options.traceToTerminal)) {
        std::fprintf(stderr, "vrxrtb-host: cannot write the log file %s\n", qPrintable(options.logFile));
        return 2;
    }
    ErrorHandler::Instance()->SetTraceMask(options.traceMask);
    traceLog->SetQuietProgress((options.traceMask & ErrorHandler::TraceFlow) == 0);
    const int sink = ErrorHandler::Instance()->AddTraceSink([traceLog](const TraceRecord& r) { traceLog->Write(r); });

    int result = 0;
    if (!options.scenario.isEmpty()) {
        QTextStream out(stdout);
        ScenarioRunner runner(ScenarioSettings{options.pluginPath, options.channels, options.outputDir, options.managerProcess}, out);
        const int failed = runner.Run(options.scenario);
        if (!options.managerProcess.isEmpty())
            VorexCommon::RemoteRecorderManagerLink::ShutdownOrb();
        result = failed < 0 ? 1 : (failed > 0 ? 1 : 0);
    } else {
        VorexSim::SimulatorOptions managerOptions =
            VorexSim::SimulatorOptions::Demo(options.channels, &HostWindow::ChannelPath, &HostWindow::ReplayTimePath);
        managerOptions.channelTitle = &HostWindow::ChannelName;
        if (!options.smallDeviceFree.isEmpty() && managerOptions.devices.size() > 2)
            managerOptions.devices[2].freeBytes = quint64(options.smallDeviceFree.toDouble() * 1024 * 1024);
        std::unique_ptr<VorexSim::RecorderManagerSimulator> simulator;
        std::shared_ptr<VorexCommon::RemoteRecorderManagerLink> remote;
        ManagerChild managerChild;
        if (!options.managerProcess.isEmpty()) {
            // The manager's records stay in the output folder between runs.
            QString error;
            if (!managerChild.Start(options.managerProcess, QDir(options.outputDir).filePath(QStringLiteral("manager-data")),
                                    {QStringLiteral("--channels"), QString::number(options.channels)},
                                    QDir(options.outputDir).filePath(QStringLiteral("vrxrtb-manager.log")), error)) {
                std::fprintf(stderr, "vrxrtb-host: %s\n", qPrintable(error));
                ErrorHandler::Instance()->RemoveTraceSink(sink);
                TranslationCenter::Instance()->UnregisterTranslation(QStringLiteral("Vorex"));
                return 1;
            }
            options.manager = managerChild.Address();
            std::printf("manager at %s\n", qPrintable(options.manager));
            std::fflush(stdout);
        }
        if (options.manager.isEmpty()) {
            simulator.reset(new VorexSim::RecorderManagerSimulator(managerOptions));
            QObject::connect(simulator.get(), &VorexSim::RecorderManagerSimulator::si_managerEvent,
                             [traceLog](const QString& text) { traceLog->WriteLine(QStringLiteral("manager ") + text); });
            simulator->Start();
        } else {
            std::vector<VorexCommon::RemoteRecorderManagerLink::ChannelPaths> paths;
            for (int i = 0; i < options.channels; ++i)
                paths.push_back({HostWindow::ChannelPath(i), HostWindow::ReplayTimePath(i)});
            remote = std::make_shared<VorexCommon::RemoteRecorderManagerLink>(options.manager, paths);
            remote->SetReportSink([traceLog](const QString& text) { traceLog->WriteLine(QStringLiteral("manager ") + text); });
            traceLog->WriteLine(QStringLiteral("link %1 as %2").arg(options.manager, remote->ClientName()));
            VorexCommon::RecorderManagerLink::Install(remote);
            remote->Start();
        }
        HostWindow window;
        // Host messages as non-modal boxes: a modal one would run a nested
        // event loop inside the plug-in's notification handling.
        QPointer<HostWindow> guard(&window);
        ErrorHandler::Instance()->SetMessageSink([guard, traceLog](const MessageRecord& m) {
            traceLog->WriteLine(QStringLiteral("message ") + m.text);
            if (!guard)
                return;
            // The icon says how bad it is: a full device is not news.
            const QMessageBox::Icon icon = m.messageClass == 1 ? QMessageBox::Warning
                : m.messageClass >= 2                           ? QMessageBox::Critical
                                                                : QMessageBox::Information;
            auto* box = new QMessageBox(icon, guard->windowTitle(), m.text, QMessageBox::Ok, guard);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->show();
        });
        if (options.traceFocus) {
            // What has the focus, by channel and the name a screen reader
            // says: a keyboard driver of the real window follows it here.
            QObject::connect(&app, &QApplication::focusChanged, [traceLog](QWidget*, QWidget* now) {
                if (!now)
                    return;
                QString where = now->window()->windowTitle();
                for (QWidget* w = now; w; w = w->parentWidget())
                    if (auto* bar = qobject_cast<QToolBar*>(w); bar && !bar->windowTitle().isEmpty()) {
                        where = bar->windowTitle();
                        break;
                    }
                QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(now);
                traceLog->WriteLine(QStringLiteral("focus %1 / %2").arg(where, accessible ? accessible->text(QAccessible::Name) : now->objectName()));
                // In a list the row the keys move is what the operator reads:
                // a driver finds a record by its name there.
                auto* view = qobject_cast<QAbstractItemView*>(now);
                if (!view || !view->selectionModel() || view->property("vrxCurrentTraced").toBool())
                    return;
                view->setProperty("vrxCurrentTraced", true);
                const auto traceCurrent = [traceLog, view, where](const QModelIndex& current) {
                    traceLog->WriteLine(QStringLiteral("current %1 / %2").arg(where, current.siblingAtColumn(0).data().toString()));
                };
                QObject::connect(view->selectionModel(), &QItemSelectionModel::currentChanged, view, traceCurrent);
                traceCurrent(view->currentIndex());
            });
        }
        if (!window.LoadPlugin(options.pluginPath, error) || !window.CreateToolbars(options.channels, error)) {
            std::fprintf(stderr, "vrxrtb-host: %s\n", qPrintable(error));
            result = 1;
        } else {
            if (simulator)
                window.AttachSimulator(simulator.get());
            else
                window.AttachRemoteLink(remote.get(), managerChild.IsRunning() ? &managerChild : nullptr);
            window.show();
            result = app.exec();
        }
        ErrorHandler::Instance()->SetMessageSink(nullptr);
        window.Shutdown();
        if (simulator)
            simulator->Stop();
        if (remote) {
            VorexCommon::RecorderManagerLink::Install(nullptr);
            remote->Stop();
            remote.reset();
            VorexCommon::RemoteRecorderManagerLink::ShutdownOrb();
        }
        managerChild.Stop();
    }
    ErrorHandler::Instance()->RemoveTraceSink(sink);
    TranslationCenter::Instance()->UnregisterTranslation(QStringLiteral("Vorex"));
    return result;
}
