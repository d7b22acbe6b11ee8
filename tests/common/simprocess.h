#pragma once

// zaziruv-sim in its own process, the one way the tests start it: the device to open
// is the first line it prints.

#include "processrun.h"

#include <QProcess>
#include <csignal>
#include <sys/types.h>

class SimProcess
{
public:
    explicit SimProcess(const QStringList& args = {}) { start(args); }
    ~SimProcess()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.terminate();
            if (!m_proc.waitForFinished(10000))
                m_proc.kill();
            m_proc.waitForFinished(10000);
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Stops it with the signal and returns the exit code (-1 when it crashed, -2 when
    // it did not end).
    int stop(int signo = SIGTERM)
    {
        ::kill(pid_t(m_proc.processId()), signo);
        if (!m_proc.waitForFinished(10000))
            return -2;
        return m_proc.exitStatus() == QProcess::NormalExit ? m_proc.exitCode() : -1;
    }
    QString path() const { return m_path; }
    bool isValid() const { return m_path.startsWith(QLatin1Char('/')); }

private:
    // 10 s are a safety net for a failing test, not a measure of speed.
    void start(const QStringList& args)
    {
        m_proc.start(appBinary(QStringLiteral("zaziruv-sim")), args);
        if (!m_proc.waitForStarted(10000))
            return;
        while (!m_proc.canReadLine()) {
            if (!m_proc.waitForReadyRead(10000))
                return;
        }
        m_path = QString::fromLocal8Bit(m_proc.readLine()).trimmed();
    }

    QProcess m_proc;
    QString m_path;
};
