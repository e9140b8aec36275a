#pragma once

// Runs a piece of a test in a forked child watched from here, for code whose
// fault would be to wait for ever (opening a FIFO) or to read without end (a
// device), or that must run as another user: the child is killed once it
// outgrows its memory or its time, and the test fails instead of hanging or
// filling the machine. Memory is watched rather than limited with setrlimit:
// the sanitizer build reserves terabytes of address space and maps its
// shadow as data, so no limit fits both builds.
#include <QThreadPool>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

struct BoundedEnd
{
    std::string Text;     // what the body returned
    std::string Fault;    // why the child was stopped or how it failed; empty when it ended well
    bool Overran = false; // killed for outliving its deadline
};

// The names of this process's threads other than the calling one.
inline std::vector<std::string> OtherThreads()
{
    DIR* tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return {"(/proc/self/task unreadable)"};
    std::vector<std::string> names;
    const std::string self = std::to_string(::gettid());
    while (const dirent* task = ::readdir(tasks)) {
        const std::string id = task->d_name;
        if (id == "." || id == ".." || id == self)
            continue;
        std::string name;
        std::ifstream comm("/proc/self/task/" + id + "/comm");
        std::getline(comm, name);
        names.push_back(name + " (" + id + ")");
    }
    ::closedir(tasks);
    return names;
}

// Why this process may not fork a child that goes on running our code; empty
// when it may. The child holds only the thread that forked, yet the state of
// all the others: a lock one of them held stays locked, and Qt's thread pool
// still counts on its idle workers (the raster engine hands them its fills
// and waits for them without end). So the pool is emptied first, and no
// child is made while any other thread is left.
inline std::string ForkFault()
{
    if (!QThreadPool::globalInstance()->waitForDone(10000))
        return "not forked: Qt's thread pool was still busy after 10 s";
    // A joined thread may take a moment to leave the task list.
    const auto stopAt = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::vector<std::string> others = OtherThreads();
    while (!others.empty() && std::chrono::steady_clock::now() < stopAt) {
        ::poll(nullptr, 0, 10);
        others = OtherThreads();
    }
    if (others.empty())
        return {};
    std::string text = "not forked: the child would lack the other threads of this process:";
    for (const std::string& name : others)
        text += " " + name;
    return text;
}

// Where in the kernel a process waits ("waiting in futex_wait_queue").
inline std::string WaitChannel(pid_t pid)
{
    std::string channel;
    std::ifstream wchan("/proc/" + std::to_string(pid) + "/wchan");
    std::getline(wchan, channel);
    return channel.empty() || channel == "0" ? "running" : "waiting in " + channel;
}

// The child's resident memory; -1 once it is gone.
inline long ResidentBytes(pid_t pid)
{
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    long size = 0, resident = -1;
    statm >> size >> resident;
    return resident < 0 ? -1 : resident * ::sysconf(_SC_PAGESIZE);
}

// Body runs in the child; its text (or the text of what it threw) comes
// back. It must not use the test's assertions: they would stay in the child.
inline BoundedEnd RunBounded(const std::function<std::string()>& body, long growthLimit = 256L << 20,
                             std::chrono::seconds deadline = std::chrono::seconds(30))
{
    BoundedEnd end;
    end.Fault = ForkFault();
    if (!end.Fault.empty())
        return end;
    // What waits in the buffers would be written twice, once by the child.
    std::fflush(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        end.Fault = "no pipe";
        return end;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1);
        ::close(out[0]);
        std::string text;
        try {
            text = body();
        } catch (const std::exception& e) {
            text = std::string("exception: ") + e.what();
        } catch (...) {
            text = "exception";
        }
        for (size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(out[1], text.data() + done, text.size() - done);
            if (n <= 0)
                ::_exit(1);
            done += size_t(n);
        }
        ::_exit(0);
    }
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        end.Fault = "no child";
        return end;
    }
    const long start = ResidentBytes(pid);
    const auto stopAt = std::chrono::steady_clock::now() + deadline;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) != pid) {
        if (ResidentBytes(pid) > start + growthLimit)
            end.Fault = "grew by more than " + std::to_string(growthLimit >> 20) + " MiB";
        else if (std::chrono::steady_clock::now() > stopAt) {
            end.Fault = "still running after " + std::to_string(deadline.count()) + " s, " + WaitChannel(pid);
            end.Overran = true;
        }
        if (!end.Fault.empty()) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        ::poll(nullptr, 0, 10);
    }
    // The text waits in the pipe (short texts only: the pipe holds 64 KiB);
    // a copy of its other end in some other child must not keep this waiting.
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    for (char buffer[4096];;) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        end.Text.append(buffer, size_t(n));
    }
    ::close(out[0]);
    if (end.Fault.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        end.Fault = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                        : "exit code " + std::to_string(WEXITSTATUS(status));
    return end;
}
