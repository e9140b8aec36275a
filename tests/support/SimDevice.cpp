#include "support/SimDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

std::vector<uint8_t> fromHex(const std::string& hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string codeText(uint8_t code)
{
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02x", code);
    return buf;
}

// What follows "ok" in an answer, if it is one.
std::optional<std::string> okPayload(const std::string& answer)
{
    if (answer.rfind("ok", 0) != 0)
        return std::nullopt;
    return answer.size() > 3 ? answer.substr(3) : std::string();
}

} // namespace

SimDevice::SimDevice(const NetBench& bench, const std::vector<std::string>& options)
{
    char dir[] = "/tmp/vyn-sim-XXXXXX";
    if (!mkdtemp(dir))
        throw std::runtime_error("mkdtemp failed");
    m_dir = dir;
    m_log = m_dir + "/sim.log";
    m_control = m_dir + "/control";

    const char* env = std::getenv("VYN_SIM");
    std::vector<std::string> args = {"ip", "netns", "exec", bench.DevNamespace(), env && *env ? env : VYN_SIM_PATH,
                                      "--verbose", "--control", m_control};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const int logFd = open(m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (logFd >= 0 && (m_pid = fork()) == 0) {
        dup2(logFd, STDOUT_FILENO);
        dup2(logFd, STDERR_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (logFd >= 0)
        close(logFd);
    if (m_pid < 0) {
        RemoveFiles();
        throw std::runtime_error("cannot start vyn-sim");
    }

    // Ready when it says so and its control socket answers.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (Running() && std::chrono::steady_clock::now() < deadline) {
        if (Log().find("ready:") != std::string::npos && Control("ping") == "ok")
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string log = Log();
    Stop();
    RemoveFiles();
    throw std::runtime_error("vyn-sim did not start:\n" + log);
}

SimDevice::~SimDevice()
{
    Stop();
    // In the sanitizer build the simulator is checked along with the test.
    const std::string log = Log();
    for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
        if (log.find(report) != std::string::npos)
            ADD_FAILURE() << "vyn-sim reported: " << report;
    if (::testing::Test::HasFailure())
        std::fprintf(stderr, "----- vyn-sim log -----\n%s----- end of vyn-sim log -----\n", log.c_str());
    RemoveFiles();
}

void SimDevice::RemoveFiles() const
{
    std::remove(m_log.c_str());
    std::remove(m_control.c_str());
    rmdir(m_dir.c_str());
}

bool SimDevice::Running() const
{
    if (m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == m_pid)
        m_pid = -1;
    return m_pid > 0;
}

void SimDevice::Stop()
{
    if (!Running())
        return;
    kill(m_pid, SIGTERM);
    for (int i = 0; i < 150 && Running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (Running()) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
}

std::string SimDevice::Control(const std::string& command) const
{
    const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, m_control.c_str(), sizeof addr.sun_path - 1);
    std::string answer;
    const std::string line = command + "\n";
    if (s >= 0 && connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0
        && send(s, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
        pollfd p{s, POLLIN, 0};
        char buf[4096];
        while (answer.find('\n') == std::string::npos && poll(&p, 1, 5000) == 1) {
            const ssize_t n = recv(s, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            answer.append(buf, static_cast<size_t>(n));
        }
    }
    if (s >= 0)
        close(s);
    return answer.substr(0, answer.find('\n'));
}

void SimDevice::Set(const std::string& option, const std::string& value) const
{
    const std::string answer = Control("set " + option + " " + value);
    if (answer != "ok")
        throw std::runtime_error("vyn-sim refused 'set " + option + " " + value + "': " + answer);
}

SimDevice::Bytes SimDevice::Record(uint8_t code) const
{
    const std::string answer = Control("record " + codeText(code));
    const auto hex = okPayload(answer);
    if (!hex)
        throw std::runtime_error("vyn-sim: record " + codeText(code) + ": " + answer);
    return fromHex(*hex);
}

std::optional<SimDevice::Bytes> SimDevice::LastSet(uint8_t code) const
{
    const auto hex = okPayload(Control("last-set " + codeText(code)));
    return hex ? std::optional(fromHex(*hex)) : std::nullopt;
}

std::optional<std::string> SimDevice::SoapDocument() const
{
    const auto hex = okPayload(Control("soap"));
    if (!hex)
        return std::nullopt;
    const Bytes bytes = fromHex(*hex);
    return std::string(bytes.begin(), bytes.end());
}

std::string SimDevice::Address() const
{
    return okPayload(Control("address")).value_or(std::string());
}

std::string SimDevice::Log() const
{
    std::ifstream in(m_log);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool SimDevice::WaitForLog(const std::string& text, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Log().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
