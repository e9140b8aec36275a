#pragma once

// Runs one of the real-display programs (the *_screens programs) on a
// virtual X server of its own: PROGRAM DIR [RUN], screenshots into DIR.
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

struct XvfbRun
{
    bool Available = false; // xvfb-run is installed
    bool Finished = false;
    int ExitCode = -1;
    QString Out;
    std::string Err;
};

// The lock every user's runs share. flock needs only a descriptor opened
// for reading, so a file another user made still serves; whoever makes it
// lets all read it, whatever the umask. Where it cannot be opened (a file
// kept to its owner, or /tmp refusing another user's file to O_CREAT) this
// user's runs at least take turns.
inline int OpenXvfbLock()
{
    const char* shared = "/tmp/vyn-tests-xvfb.lock";
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (const int fd = ::open(shared, O_RDONLY | O_CLOEXEC); fd >= 0 || errno != ENOENT) {
            if (fd >= 0)
                return fd;
            const std::string own = "/tmp/vyn-tests-xvfb-" + std::to_string(::getuid()) + ".lock";
            return ::open(own.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
        }
        if (const int fd = ::open(shared, O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644); fd >= 0) {
            ::fchmod(fd, 0644);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        // Another run made it meanwhile: open that one.
    }
    return -1;
}

inline XvfbRun RunOnXvfb(const char* Program, const QString& Dir, int TimeoutMs, const QString& Run = QString())
{
    XvfbRun result;
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfb.isEmpty())
        return result;
    result.Available = true;
    // xvfb-run -a picks the first display without a lock file, so two runs
    // started together may pick the same one: one run at a time.
    const int lock = OpenXvfbLock();
    if (lock >= 0)
        ::flock(lock, LOCK_EX);
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    run.setProcessEnvironment(env);
    QStringList arguments{"-a", "-s", "-screen 0 1024x768x24", QString::fromLocal8Bit(Program), Dir};
    if (!Run.isEmpty())
        arguments << Run;
    run.start(xvfb, arguments);
    result.Finished = run.waitForFinished(TimeoutMs);
    result.ExitCode = run.exitCode();
    result.Out = QString::fromUtf8(run.readAllStandardOutput());
    result.Err = run.readAllStandardError().toStdString();
    if (lock >= 0)
        ::close(lock);
    return result;
}

// The start of every real-display test: skips without xvfb-run, fails when
// the program did not end well.
#define ASSERT_RAN_ON_XVFB(run)                                                                                        \
    if (!(run).Available)                                                                                              \
        GTEST_SKIP() << "xvfb-run is not installed";                                                                   \
    ASSERT_TRUE((run).Finished);                                                                                       \
    ASSERT_EQ((run).ExitCode, 0) << (run).Err
