#pragma once

// The recorder manager as its own process (simulator/vrxrtb-manager), started
// on an address, killed without warning and started again on the same port.

#include <QElapsedTimer>
#include <QProcess>
#include <QString>

namespace vrxtest {

class ManagerProcess
{
public:
    ~ManagerProcess() { stop(); }

    // `listen` is "<host>:<port>"; port 0 lets the manager choose. True once
    // it serves; address() is then its corbaloc.
    bool start(const QString& binary, const QString& listen, const QString& dataDir, const QStringList& more = {})
    {
        if (m_process.state() != QProcess::NotRunning) // ended by itself, not yet reaped
            m_process.waitForFinished(5000);
        m_process.setProgram(binary);
        m_process.setArguments(QStringList{QStringLiteral("--listen"), listen, QStringLiteral("--data"), dataDir} + more);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        QElapsedTimer timer;
        timer.start();
        QByteArray out;
        while (timer.elapsed() < 10000) {
            m_process.waitForReadyRead(200);
            out += m_process.readAllStandardOutput();
            const int at = out.indexOf("listening ");
            if (at >= 0 && out.indexOf('\n', at) > at) {
                m_address = QString::fromUtf8(out.mid(at + 10, out.indexOf('\n', at) - at - 10)).trimmed();
                return true;
            }
        }
        return false;
    }
    QString address() const { return m_address; }
    // "127.0.0.1:<port>" of the running manager, to start the next one on.
    QString listenAgain() const
    {
        return QStringLiteral("127.0.0.1:") + m_address.section(QLatin1Char(':'), -1).section(QLatin1Char('/'), 0, 0);
    }
    qint64 pid() const { return m_process.processId(); }
    void killHard()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
    QString m_address;
};

} // namespace vrxtest
