#pragma once

// A recorder manager process (vrxrtb-manager) started by the host, for the
// scripted roads and the demo's "kill and restart the manager", and by the
// tests that kill and restart it.
// It listens on a free loopback port; a restart takes the same port, so the
// host's link finds it again at the address it already has.

#include <QProcess>
#include <QString>
#include <QStringList>

class ManagerChild
{
public:
    ~ManagerChild() { Stop(); }

    // Starts `program` with its records in `dataDir` and its report lines
    // in `logFile` (appended; empty: this process's standard error). True
    // once it serves; false with `error`.
    bool Start(const QString& program, const QString& dataDir, const QStringList& moreArguments, const QString& logFile,
               QString& error);
    // The same program, folder and port again after Kill() or Stop().
    bool Restart(QString& error);
    // Without warning (SIGKILL), as a crash.
    void Kill();
    // SIGTERM, then SIGKILL after 5 s.
    void Stop();
    bool IsRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 Pid() const { return m_process.processId(); }
    // corbaloc of its central service; "" before the first start.
    QString Address() const { return m_strAddress; }

private:
    bool launch(const QString& listen, QString& error);

    // Ends with the host: a host that crashes or is killed leaves no
    // manager behind holding its port and records.
    class Process : public QProcess
    {
    protected:
        void setupChildProcess() override;
    };

    Process m_process;
    QString m_strProgram, m_strDataDir, m_strLogFile, m_strAddress;
    QStringList m_moreArguments;
};
