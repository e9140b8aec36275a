#include "TftpService.h"

#include "Log.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace vynsim {

namespace {

constexpr int kRetries = 5;
constexpr int kLingerMs = 3000;  // answers a repeated last block after the end
constexpr int kStallMs = 60000;
// After a lost block, our repeats come this much before the client's own
// time-out, as from a server whose clock started when it sent, not when
// the client did.
constexpr int kEarlyMs = 100;

uint16_t Get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void Put16(Bytes& b, uint16_t v)
{
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}

std::optional<long long> Number(const std::string& text)
{
    long long n = 0;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc() || p != text.data() + text.size())
        return std::nullopt;
    return n;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// One packet in words, for the log.
std::string Describe(const uint8_t* p, size_t size)
{
    if (size < 4)
        return "len " + std::to_string(size);
    const uint16_t op = Get16(p);
    const uint16_t arg = Get16(p + 2);
    const auto text = [&](size_t from) {
        std::string t;
        for (size_t i = from; i < size && i < 200; ++i)
            t += p[i] ? static_cast<char>(p[i]) : ' ';
        return t;
    };
    switch (op) {
    case tftp::DATA:
        return "DATA #" + std::to_string(arg) + " len " + std::to_string(size - 4);
    case tftp::ACK:
        return "ACK #" + std::to_string(arg);
    case tftp::ERROR:
        return "ERROR " + std::to_string(arg) + " " + text(4);
    case tftp::OACK:
        return "OACK " + text(2);
    default:
        return "op " + std::to_string(op) + " len " + std::to_string(size);
    }
}

Bytes AckPacket(uint16_t block)
{
    Bytes b;
    Put16(b, tftp::ACK);
    Put16(b, block);
    return b;
}

TftpAcceptance Refuse(uint16_t code, std::string text)
{
    TftpAcceptance a;
    a.errorCode = code;
    a.error = std::move(text);
    return a;
}

} // namespace

std::optional<TftpRequest> ParseTftpRequest(const Bytes& d)
{
    if (d.size() < 4)
        return std::nullopt;
    TftpRequest r;
    r.opcode = Get16(d.data());
    if (r.opcode != tftp::RRQ && r.opcode != tftp::WRQ)
        return std::nullopt;
    // Zero-terminated strings: file, mode, then option name/value pairs.
    std::vector<std::string> fields;
    size_t pos = 2;
    while (pos < d.size()) {
        const auto end = std::find(d.begin() + static_cast<long>(pos), d.end(), 0);
        if (end == d.end())
            return std::nullopt;
        fields.emplace_back(d.begin() + static_cast<long>(pos), end);
        pos = static_cast<size_t>(end - d.begin()) + 1;
    }
    if (fields.size() < 2 || fields.size() % 2)
        return std::nullopt;
    r.file = fields[0];
    r.mode = fields[1];
    for (size_t i = 2; i < fields.size(); i += 2)
        r.options.emplace_back(Lower(fields[i]), fields[i + 1]);
    return r;
}

TftpAcceptance AcceptRequest(const TftpRequest& request)
{
    if (request.opcode != tftp::WRQ)
        return Refuse(tftp::AccessViolation, "only the upload of WEB6 is possible");
    if (request.file != "WEB6")
        return Refuse(tftp::AccessViolation, "only WEB6 can be written");
    if (Lower(request.mode) != "octet")
        return Refuse(tftp::IllegalOperation, "only octet mode");
    TftpAcceptance a;
    a.accepted = true;
    for (const auto& [name, value] : request.options) {
        const auto n = Number(value);
        if (name == "blksize") {
            if (!n || *n < 8 || *n > 65464)
                return Refuse(tftp::OptionRefused, "bad blksize " + value);
            a.blockSize = std::min<size_t>(static_cast<size_t>(*n), tftp::kBlockSize);
            a.oack.emplace_back(name, std::to_string(a.blockSize));
        } else if (name == "tsize") {
            if (!n || *n < 0)
                return Refuse(tftp::OptionRefused, "bad tsize " + value);
            if (static_cast<unsigned long long>(*n) > tftp::kMaxImage)
                return Refuse(tftp::DiskFull, "image too large");
            a.oack.emplace_back(name, value);
        } else if (name == "timeout") {
            if (!n || *n < 1 || *n > 255)
                return Refuse(tftp::OptionRefused, "bad timeout " + value);
            a.timeoutS = static_cast<int>(*n);
            a.oack.emplace_back(name, value);
        }
        // Options the device does not know are left out of the OACK.
    }
    return a;
}

Bytes TftpErrorPacket(uint16_t code, const std::string& text)
{
    Bytes b;
    Put16(b, tftp::ERROR);
    Put16(b, code);
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0);
    return b;
}

TftpService::TftpService(EventLoop& loop, Device& device)
    : m_loop(loop), m_device(device), m_socket(BoundSocket(SOCK_DGRAM, device.Settings().tftpPort))
{
    m_loop.Watch(m_socket.Get(), POLLIN, [this] { OnRequest(); });
}

void TftpService::OnRequest()
{
    for (;;) {
        uint8_t buf[1500];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = recvfrom(m_socket.Get(), buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0)
            return;
        const std::string peer = PeerText(from);
        auto reply = [&](const Bytes& packet) {
            sendto(m_socket.Get(), packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
        };
        const auto request = ParseTftpRequest(Bytes(buf, buf + n));
        if (!request) {
            Log::Wire("tftp rx " + peer + " len " + std::to_string(n) + ": not a request");
            reply(TftpErrorPacket(tftp::IllegalOperation, "expected a write request"));
            continue;
        }
        std::string line = std::string("tftp rx ") + peer + (request->opcode == tftp::WRQ ? " WRQ " : " RRQ ")
                           + request->file + " " + request->mode;
        for (const auto& [k, v] : request->options)
            line += " " + k + "=" + v;
        Log::Wire(line);

        TftpAcceptance a = AcceptRequest(*request);
        if (a.accepted && m_device.Settings().faults.tftpError)
            a = Refuse(tftp::AccessViolation, "upload refused (on purpose)");
        if (!a.accepted) {
            Log::Info("tftp refused " + peer + ": " + a.error);
            reply(TftpErrorPacket(a.errorCode, a.error));
            continue;
        }

        // A transfer runs on a port of its own, as TFTP wants.
        auto s = std::make_unique<Session>();
        try {
            s->fd = BoundSocket(SOCK_DGRAM, 0);
        } catch (const std::exception& e) {
            Log::Info(std::string("tftp error: ") + e.what());
            reply(TftpErrorPacket(tftp::Undefined, "no socket"));
            continue;
        }
        connect(s->fd.Get(), reinterpret_cast<sockaddr*>(&from), len);
        s->peer = peer;
        s->blockSize = a.blockSize;
        if (a.timeoutS > 0)
            s->timeoutMs = a.timeoutS * 1000;
        s->repeatMs = s->timeoutMs;
        const int fd = s->fd.Get();
        Bytes first;
        if (a.oack.empty()) {
            first = AckPacket(0);
        } else {
            Put16(first, tftp::OACK);
            for (const auto& [k, v] : a.oack) {
                first.insert(first.end(), k.begin(), k.end());
                first.push_back(0);
                first.insert(first.end(), v.begin(), v.end());
                first.push_back(0);
            }
        }
        Session& session = *s;
        m_sessions[fd] = std::move(s);
        Send(session, first);
        if (m_device.Settings().faults.tftpStall) {
            Log::Info("tftp " + peer + ": accepted, then stalling on purpose");
            session.finished = true;
            m_loop.Cancel(session.timer);
            session.timer = m_loop.After(kStallMs, [this, fd] { End(fd); });
            continue;
        }
        m_loop.Watch(fd, POLLIN, [this, fd] { OnSessionReadable(fd); });
        Arm(fd, session.timeoutMs);
    }
}

void TftpService::Send(Session& s, Bytes packet)
{
    Log::Wire("tftp tx -> " + s.peer + " " + Describe(packet.data(), packet.size()));
    send(s.fd.Get(), packet.data(), packet.size(), 0);
    s.lastSent = std::move(packet);
}

void TftpService::Arm(int fd, int ms)
{
    Session& s = *m_sessions.at(fd);
    m_loop.Cancel(s.timer);
    s.timer = m_loop.After(ms, [this, fd] {
        auto it = m_sessions.find(fd);
        if (it == m_sessions.end())
            return;
        Session& t = *it->second;
        if (t.finished || ++t.retries > kRetries) {
            if (!t.finished)
                Log::Info("tftp " + t.peer + ": no answer, transfer abandoned");
            End(fd);
            return;
        }
        Send(t, t.lastSent);
        Arm(fd, t.repeatMs);
    });
}

void TftpService::OnSessionReadable(int fd)
{
    Session& s = *m_sessions.at(fd);
    uint8_t buf[65536];
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0)
        return;
    if (n < 4) {
        Log::Wire("tftp rx " + s.peer + " len " + std::to_string(n) + ": too short, ignored");
        return;
    }
    const uint16_t op = Get16(buf);
    const uint16_t block = Get16(buf + 2);
    Log::Wire("tftp rx " + s.peer + " " + Describe(buf, static_cast<size_t>(n)));
    if (op == tftp::ERROR) {
        Log::Info("tftp " + s.peer + ": the client gave up");
        End(fd);
        return;
    }
    if (op != tftp::DATA) {
        Send(s, TftpErrorPacket(tftp::IllegalOperation, "expected data"));
        End(fd);
        return;
    }
    // Lost on the way: the session's timer repeats our last packet, and the
    // client has to send the block again.
    if (int& drop = m_device.Settings().faults.tftpDropBlock; drop > 0 && block == drop) {
        drop = 0;
        Log::Info("tftp " + s.peer + ": DATA #" + std::to_string(block) + " lost on purpose");
        s.repeatMs = std::max(1, s.timeoutMs - kEarlyMs);
        Arm(fd, s.repeatMs);
        return;
    }
    OnData(fd, s, block, buf + 4, static_cast<size_t>(n) - 4);
}

void TftpService::OnData(int fd, Session& s, uint16_t block, const uint8_t* data, size_t size)
{
    if (block != s.expected) {
        // A repeated block: our acknowledgement was lost.
        if (block == static_cast<uint16_t>(s.expected - 1))
            Send(s, s.lastSent);
        return;
    }
    if (s.finished)
        return;
    if (size > s.blockSize || s.image.size() + size > tftp::kMaxImage) {
        Send(s, TftpErrorPacket(tftp::DiskFull, "image too large"));
        Log::Info("tftp " + s.peer + ": refused, image too large");
        End(fd);
        return;
    }
    s.image.insert(s.image.end(), data, data + size);
    s.retries = 0;
    s.repeatMs = s.timeoutMs;
    ++s.expected; // block numbers wrap after 65535
    if (size == s.blockSize) {
        Send(s, AckPacket(block));
        Arm(fd, s.timeoutMs);
        return;
    }
    // The last block: the image is judged before it is acknowledged, so a
    // refused image fails the upload at the client.
    s.finished = true;
    const std::string why = m_device.StoreImage(s.image);
    if (why.empty()) {
        Send(s, AckPacket(block));
        const auto& doc = m_device.SoapDocument();
        Log::Info("tftp " + s.peer + ": image of " + std::to_string(s.image.size()) + " bytes stored; "
                  + (doc ? "postsoap.xml " + std::to_string(doc->size()) + " bytes" : "no postsoap.xml"));
    } else {
        Send(s, TftpErrorPacket(tftp::Undefined, "bad image: " + why));
        Log::Info("tftp " + s.peer + ": image refused: " + why);
    }
    Arm(fd, kLingerMs);
}

void TftpService::End(int fd)
{
    auto it = m_sessions.find(fd);
    if (it == m_sessions.end())
        return;
    m_loop.Unwatch(fd);
    m_loop.Cancel(it->second->timer);
    m_sessions.erase(it);
}

} // namespace vynsim
