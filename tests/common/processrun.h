#pragma once

// Runs one of the built programs to the end, as a script would, and keeps what it
// printed and its exit status.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>

// A program of this build (zaziruv, zaziruv-cli, zaziruv-sim).
inline QString appBinary(const QString& name)
{
    return QStringLiteral(ZZ_BINARY_DIR "/src/app/") + name;
}

// This environment with HOME and the configuration directory inside `home`, so that
// nothing the program falls back to is the user's own.
inline QProcessEnvironment homeEnvironment(const QTemporaryDir& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    return env;
}

struct ProcessRun
{
    int exitCode = -1; // -1 when it did not start, crashed or was stopped after the time limit
    QByteArray out;
    QByteArray err;

    QString outText() const { return QString::fromLocal8Bit(out); }
    QString errText() const { return QString::fromLocal8Bit(err); }
};

struct ProcessOptions
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString workingDirectory; // empty: the test's own
    bool closeInput = false; // end of file on standard input right away
    int timeoutMs = 60000; // a safety net for a hanging program, not a measure of speed
    // The size no file the program writes may pass (RLIMIT_FSIZE); -1: none. A write
    // past it fails as one on a full disk does, instead of ending the program.
    qint64 fileSizeLimit = -1;
};

inline ProcessRun runProcess(
    const QString& program, const QStringList& args, const ProcessOptions& options = {})
{
    QProcess p;
    p.setProcessEnvironment(options.environment);
    if (!options.workingDirectory.isEmpty())
        p.setWorkingDirectory(options.workingDirectory);
    if (options.fileSizeLimit >= 0) {
        const rlim_t limit = rlim_t(options.fileSizeLimit);
        p.setChildProcessModifier([limit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit r { limit, limit };
            ::setrlimit(RLIMIT_FSIZE, &r);
        });
    }
    p.start(program, args);
    if (options.closeInput)
        p.closeWriteChannel();
    if (!p.waitForFinished(options.timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    ProcessRun r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}
