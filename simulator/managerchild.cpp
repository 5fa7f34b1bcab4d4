#include "managerchild.h"

#include <QElapsedTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

void ManagerChild::Process::setupChildProcess()
{
    // In the child, between fork and exec: the manager gets SIGTERM (its
    // orderly end) when the host goes.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}

bool ManagerChild::Start(const QString& program, const QString& dataDir, const QStringList& moreArguments,
                         const QString& logFile, QString& error)
{
    m_strProgram = program;
    m_strDataDir = dataDir;
    m_moreArguments = moreArguments;
    m_strLogFile = logFile;
    return launch(QStringLiteral("127.0.0.1:0"), error);
}

bool ManagerChild::Restart(QString& error)
{
    if (m_strAddress.isEmpty()) {
        error = QStringLiteral("the manager was never started");
        return false;
    }
    Stop();
    // corbaloc::127.0.0.1:PORT/CCO
    const QString port = m_strAddress.section(QLatin1Char(':'), -1).section(QLatin1Char('/'), 0, 0);
    return launch(QStringLiteral("127.0.0.1:") + port, error);
}

bool ManagerChild::launch(const QString& listen, QString& error)
{
    m_process.setProgram(m_strProgram);
    m_process.setArguments(QStringList{QStringLiteral("--listen"), listen, QStringLiteral("--data"), m_strDataDir} + m_moreArguments);
    if (!m_strLogFile.isEmpty())
        m_process.setStandardErrorFile(m_strLogFile, QIODevice::Append);
    else
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // never a full pipe
    m_process.start();
    QElapsedTimer timer;
    timer.start();
    QByteArray out;
    QString address;
    while (address.isEmpty() && timer.elapsed() < 10000) {
        if (!m_process.waitForReadyRead(100) && m_process.state() == QProcess::NotRunning)
            break;
        out += m_process.readAllStandardOutput();
        const int at = out.indexOf("listening ");
        const int end = at < 0 ? -1 : out.indexOf('\n', at);
        if (end > at)
            address = QString::fromUtf8(out.mid(at + 10, end - at - 10)).trimmed();
    }
    if (address.isEmpty()) {
        Kill();
        error = QStringLiteral("the manager %1 did not start on %2%3")
                    .arg(m_strProgram, listen, m_strLogFile.isEmpty() ? QString() : QStringLiteral(" (its log: %1)").arg(m_strLogFile));
        return false;
    }
    m_strAddress = address;
    return true;
}

void ManagerChild::Kill()
{
    if (!IsRunning())
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

void ManagerChild::Stop()
{
    if (!IsRunning())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}
