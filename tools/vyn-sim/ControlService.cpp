#include "ControlService.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace vynsim {

namespace {

int RecordOfCode(const std::string& text)
{
    const auto bytes = ParseHex(text);
    if (!bytes || bytes->size() != 1)
        return -1;
    return FindCode((*bytes)[0]).record;
}

} // namespace

ControlService::ControlService(EventLoop& loop, Device& device, const UdpService& udp, const std::string& path)
    : m_loop(loop), m_device(device), m_udp(udp), m_path(path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        throw std::runtime_error("control socket path too long: " + path);
    std::strcpy(addr.sun_path, path.c_str());
    m_listen.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    unlink(path.c_str());
    if (m_listen.Get() < 0 || bind(m_listen.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
        || listen(m_listen.Get(), 8) != 0)
        throw std::system_error(errno, std::generic_category(), "control socket " + path);
    m_loop.Watch(m_listen.Get(), POLLIN, [this] { OnAccept(); });
}

ControlService::~ControlService()
{
    unlink(m_path.c_str());
}

void ControlService::OnAccept()
{
    for (;;) {
        const int fd = accept4(m_listen.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        m_clients.emplace(fd, std::make_pair(Fd(fd), std::string()));
        m_loop.Watch(fd, POLLIN, [this, fd] { OnReadable(fd); });
    }
}

void ControlService::OnReadable(int fd)
{
    auto& [sock, buffer] = m_clients.at(fd);
    char buf[512];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n > 0)
        buffer.append(buf, static_cast<size_t>(n));
    const size_t eol = buffer.find('\n');
    if (eol == std::string::npos && n > 0 && buffer.size() < 4096)
        return;
    if (eol != std::string::npos) {
        const std::string answer = Execute(m_device, m_udp.Counters(), buffer.substr(0, eol)) + "\n";
        [[maybe_unused]] const ssize_t w = send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    }
    m_loop.Unwatch(fd);
    m_clients.erase(fd);
}

std::string ControlService::Execute(Device& device, const UdpService::Stats& stats, const std::string& line)
{
    std::istringstream in(line);
    std::string command, a, b;
    in >> command >> a >> b;
    if (command == "ping")
        return "ok";
    if (command == "set") {
        try {
            SetOption(device.Settings(), a, b, true);
            return "ok";
        } catch (const std::exception& e) {
            return std::string("error ") + e.what();
        }
    }
    if (command == "record" || command == "last-set") {
        const int record = RecordOfCode(a);
        if (record < 0)
            return "error no record has the code '" + a + "'";
        if (command == "record")
            return "ok " + HexText(device.Records().Answer(record, device.Facts()));
        const Bytes& last = device.Records().LastSet(record);
        return last.empty() ? "none" : "ok " + HexText(last);
    }
    if (command == "soap") {
        const auto& doc = device.SoapDocument();
        return doc ? "ok " + HexText(*doc) : "none";
    }
    if (command == "address")
        return "ok " + IpText(device.Net().ip) + "/" + std::to_string(device.Prefix()) + " "
               + IpText(device.Net().gateway);
    if (command == "stats")
        return "ok received=" + std::to_string(stats.received) + " sent=" + std::to_string(stats.sent)
               + " dropped=" + std::to_string(stats.dropped);
    return "error unknown command '" + command + "'";
}

} // namespace vynsim
