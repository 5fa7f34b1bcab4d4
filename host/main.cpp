// Demo host: loads the recorder toolbar plug-in and docks one toolbar per
// receiver channel.
#include "base.h"
#include "hostoptions.h"
#include "hostwindow.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTextStream>

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
    void Write(const TraceRecord& r)
    {
        const QString line = QStringLiteral("%1 %2:%3 %4\n")
                                 .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs), r.file)
                                 .arg(r.line)
                                 .arg(r.text);
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
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();

    HostOptions options;
    QString error;
    if (!options.Parse(args, error)) {
        std::fprintf(stderr, "vrxrtb-host: %s\n%s", qPrintable(error), qPrintable(HostOptions::Usage()));
        return 2;
    }
    if (options.showHelp) {
        std::fputs(qPrintable(HostOptions::Usage()), stdout);
        return 0;
    }
    if (options.pluginPath.isEmpty())
        options.pluginPath = QStringLiteral(VRX_DEFAULT_PLUGIN_DIR "/libvrxrtb.so");
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
    const int sink = ErrorHandler::Instance()->AddTraceSink([traceLog](const TraceRecord& r) { traceLog->Write(r); });

    if (!options.scenario.isEmpty()) {
        std::fprintf(stderr, "vrxrtb-host: scenarios are not available yet\n");
        ErrorHandler::Instance()->RemoveTraceSink(sink);
        return 2;
    }

    int result = 0;
    {
        HostWindow window;
        // Host messages as non-modal boxes: a modal one would run a nested
        // event loop inside the plug-in's notification handling.
        QPointer<HostWindow> guard(&window);
        ErrorHandler::Instance()->SetMessageSink([guard](const MessageRecord& m) {
            if (!guard)
                return;
            auto* box = new QMessageBox(QMessageBox::Information, guard->windowTitle(), m.text, QMessageBox::Ok, guard);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->show();
        });
        if (!window.LoadPlugin(options.pluginPath, error) || !window.CreateToolbars(options.channels, error)) {
            std::fprintf(stderr, "vrxrtb-host: %s\n", qPrintable(error));
            result = 1;
        } else {
            window.show();
            result = app.exec();
        }
        ErrorHandler::Instance()->SetMessageSink(nullptr);
        window.Shutdown();
    }
    ErrorHandler::Instance()->RemoveTraceSink(sink);
    return result;
}
