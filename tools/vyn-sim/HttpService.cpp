#include "HttpService.h"

#include "Log.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vynsim {

namespace {

constexpr size_t kMaxRequest = 16 * 1024;
constexpr int kIdleMs = 10000;

std::string Reply(int code, const std::string& type, const std::string& body)
{
    const char* reason = code == 200   ? "OK"
                         : code == 400 ? "Bad Request"
                         : code == 404 ? "Not Found"
                         : code == 500 ? "Internal Server Error"
                                       : "Not Implemented";
    return "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\nContent-Type: " + type
           + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n"
           + body;
}

} // namespace

HttpService::HttpService(EventLoop& loop, Device& device) : m_loop(loop), m_device(device)
{
    Listen(device.WebPort());
}

void HttpService::Listen(uint16_t port)
{
    Fd s = BoundSocket(SOCK_STREAM, port);
    if (listen(s.Get(), 16) != 0)
        throw std::system_error(errno, std::generic_category(), "listen");
    if (m_listen.Get() >= 0)
        m_loop.Unwatch(m_listen.Get());
    m_listen = std::move(s);
    m_port = port;
    m_loop.Watch(m_listen.Get(), POLLIN, [this] { OnAccept(); });
}

void HttpService::FollowWebPort()
{
    const uint16_t wanted = m_device.WebPort();
    if (wanted == m_port)
        return;
    if (wanted == 0) {
        Log::Info("web_port 0 ignored; the web server stays on port " + std::to_string(m_port));
        return;
    }
    try {
        Listen(wanted);
        Log::Info("web server now on port " + std::to_string(wanted));
    } catch (const std::exception& e) {
        Log::Info(std::string("error: web server stays on port ") + std::to_string(m_port) + ": "
                  + e.what());
    }
}

void HttpService::OnAccept()
{
    for (;;) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = accept4(m_listen.Get(), reinterpret_cast<sockaddr*>(&peer), &len,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        auto c = std::make_unique<Connection>();
        c->fd.Reset(fd);
        c->peer = PeerText(peer);
        c->idleTimer = m_loop.After(kIdleMs, [this, fd] {
            if (auto it = m_connections.find(fd); it != m_connections.end())
                Log::Wire("http " + it->second->peer + " idle, closed");
            Close(fd);
        });
        m_connections[fd] = std::move(c);
        m_loop.Watch(fd, POLLIN, [this, fd] { OnReadable(fd); });
    }
}

void HttpService::OnReadable(int fd)
{
    Connection& c = *m_connections.at(fd);
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        Close(fd);
        return;
    }
    if (n < 0)
        return;
    c.in.append(buf, static_cast<size_t>(n));
    const size_t end = c.in.find("\r\n\r\n");
    if (end == std::string::npos && c.in.size() <= kMaxRequest)
        return;

    std::string summary;
    c.out = end == std::string::npos ? Reply(400, "text/plain", "request too long\n")
                                     : WebAnswer(m_device, c.in.substr(0, end), summary);
    if (summary.empty())
        summary = "request too long -> 400";
    Log::Wire("http " + c.peer + " " + summary);
    c.answering = true;
    m_loop.Cancel(c.idleTimer);
    m_loop.Unwatch(fd);
    const int slow = m_device.Settings().faults.httpSlowMs;
    if (slow > 0)
        m_loop.After(slow, [this, fd] { StartWriting(fd); });
    else
        StartWriting(fd);
}

std::string WebAnswer(Device& device, const std::string& request, std::string& summary)
{
    const std::string line = request.substr(0, request.find("\r\n"));
    const size_t sp1 = line.find(' ');
    const size_t sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string::npos) {
        summary = "'" + line + "' -> 400";
        return Reply(400, "text/plain", "bad request\n");
    }
    const std::string method = line.substr(0, sp1);
    std::string path = line.substr(sp1 + 1, sp2 - sp1 - 1);
    path = path.substr(0, path.find('?'));
    summary = method + " " + path;
    if (method != "GET") {
        summary += " -> 501";
        return Reply(501, "text/plain", "only GET\n");
    }
    const Faults& f = device.Settings().faults;
    if (f.http404) {
        summary += " -> 404 (on purpose)";
        return Reply(404, "text/plain", "not found\n");
    }
    if (path == "/vyn.xml") {
        const int t = device.NextTemperature();
        summary += " -> 200 temperature " + std::to_string(t);
        if (f.httpBrokenXml)
            return Reply(200, "text/xml",
                         "<?xml version=\"1.0\"?>\n<vyn>\n<temperature>" + std::to_string(t)
                             + "</temperat\n");
        return Reply(200, "text/xml",
                     "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n<vyn>\n<temperature>"
                         + std::to_string(t) + "</temperature>\n</vyn>\n");
    }
    if (path == "/postsoap.xml") {
        if (f.http500Soap) {
            summary += " -> 500 (on purpose)";
            return Reply(500, "text/plain", "internal error\n");
        }
        const auto& doc = device.SoapDocument();
        if (!doc || doc->empty()) {
            summary += " -> 404 (no document stored)";
            return Reply(404, "text/plain", "no SOAP document\n");
        }
        summary += " -> 200 (" + std::to_string(doc->size()) + " bytes)";
        const std::string body(doc->begin(), doc->end());
        // A block stored with its own response head goes out as it is.
        if (body.rfind("HTTP/", 0) == 0)
            return body;
        return Reply(200, "text/xml", body);
    }
    summary += " -> 404";
    return Reply(404, "text/plain", "not found\n");
}

void HttpService::StartWriting(int fd)
{
    m_loop.Watch(fd, POLLOUT, [this, fd] { OnWritable(fd); });
}

void HttpService::OnWritable(int fd)
{
    Connection& c = *m_connections.at(fd);
    const ssize_t n = send(fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n > 0)
        c.sent += static_cast<size_t>(n);
    if (n < 0 || c.sent >= c.out.size()) {
        shutdown(fd, SHUT_WR);
        Close(fd);
    }
}

void HttpService::Close(int fd)
{
    auto it = m_connections.find(fd);
    if (it == m_connections.end())
        return;
    m_loop.Unwatch(fd);
    m_loop.Cancel(it->second->idleTimer);
    m_connections.erase(it);
}

} // namespace vynsim
