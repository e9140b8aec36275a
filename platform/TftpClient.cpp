#include "platform/TftpClient.h"

#include "platform/Exception.h"
#include "platform/Posix.h"

#include <QList>
#include <QStringDecoder>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

// Written on plain UDP sockets, unlike the HTTP client: libcurl turns a
// server's error packet into a fixed text of its own and keeps the server's
// words only in its verbose log, while the device explains a refused image
// in exactly those words. Own code also keeps the retransmissions and the
// overall deadline in our hands.

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

enum : uint16_t { WRQ = 2, DATA = 3, ACK = 4, ERROR = 5, OACK = 6 };
enum : uint16_t { ErrUndefined = 0, ErrUnknownTid = 5, ErrOption = 8 };

// Time-outs in a row before the server counts as gone; each repeats the
// last packet, as a lost datagram is the usual cause on a LAN.
constexpr int kMaxRetries = 3;

uint16_t Get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void Put16(QByteArray& b, uint16_t v)
{
    b.append(static_cast<char>(v >> 8));
    b.append(static_cast<char>(v & 0xFF));
}

void PutText(QByteArray& b, const QByteArray& text)
{
    b.append(text);
    b.append('\0');
}

QByteArray ErrorPacket(uint16_t code, const QByteArray& text)
{
    QByteArray b;
    Put16(b, ERROR);
    Put16(b, code);
    PutText(b, text);
    return b;
}

int OpenUdpSocket()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw Exception(QStringLiteral("Cannot open a UDP socket: ") + ErrnoText(errno));
    return fd;
}

class Upload
{
public:
    Upload(const in_addr& host, const QByteArray& name, const QByteArray& data, const TftpOptions& options,
           const TransferEvents& events)
        : m_name(name), m_data(data), m_options(options), m_events(events),
          m_requested(std::clamp(options.BlockSize, 8, 65464)), m_timeoutMs(std::max(1, options.TimeoutMs)),
          m_deadline(Clock::now() + std::chrono::milliseconds(std::max(1, options.TotalTimeoutMs)))
    {
        m_server.sin_family = AF_INET;
        m_server.sin_addr = host;
        m_server.sin_port = htons(options.Port);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = options.LocalAddress;
        if (bind(m_socket.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
            throw Exception(QStringLiteral("Cannot use the local address %1: %2")
                                .arg(Ipv4Text(local.sin_addr.s_addr), ErrnoText(errno)));
    }

    void Run()
    {
        m_last = Request();
        Send(m_last);
        while (!m_done) {
            if (m_events.Cancelled && m_events.Cancelled()) {
                if (m_peerKnown)
                    SendQuietly(ErrorPacket(ErrUndefined, "cancelled"), m_server);
                throw Exception(QStringLiteral("The transfer was cancelled."));
            }
            if (m_sendNext) {
                m_sendNext = false;
                SendNext();
            }
            Receive();
        }
    }

private:
    QByteArray Request() const
    {
        QByteArray b;
        Put16(b, WRQ);
        PutText(b, m_name);
        PutText(b, "octet");
        PutText(b, "tsize");
        PutText(b, QByteArray::number(m_data.size()));
        PutText(b, "blksize");
        PutText(b, QByteArray::number(m_requested));
        PutText(b, "timeout");
        PutText(b, QByteArray::number(std::clamp((m_timeoutMs + 999) / 1000, 1, 255)));
        return b;
    }

    // Sends the packet an answer is awaited for; it goes again when none
    // has come TimeoutMs after this send.
    void Send(const QByteArray& packet)
    {
        const ssize_t n = sendto(m_socket.get(), packet.constData(), static_cast<size_t>(packet.size()), 0,
                                 reinterpret_cast<const sockaddr*>(&m_server), sizeof m_server);
        if (n < 0)
            throw Exception(QStringLiteral("Cannot send to %1: %2").arg(HostText(), ErrnoText(errno)));
        m_resendAt = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
    }

    // For courtesy packets: their loss must not replace the real outcome.
    void SendQuietly(const QByteArray& packet, const sockaddr_in& to)
    {
        sendto(m_socket.get(), packet.constData(), static_cast<size_t>(packet.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    QString HostText() const { return Ipv4Text(m_server.sin_addr.s_addr); }

    // Waits for one datagram and acts on it; a silent server gets the last
    // packet again until the retries or the deadline run out. A datagram we
    // ignore does not delay that resend: a server repeating its previous
    // acknowledgement on its own timer would otherwise hold it off forever.
    void Receive()
    {
        const auto now = Clock::now();
        if (now >= m_deadline)
            throw Exception(QStringLiteral("The upload to %1 did not finish within %2 ms.")
                                .arg(HostText())
                                .arg(m_options.TotalTimeoutMs));
        if (now >= m_resendAt) {
            // The whole wait for this packet, not the last resend's share.
            if (++m_retries > kMaxRetries)
                throw Exception(QStringLiteral("No answer from %1 within %2 ms (sent %3 times).")
                                    .arg(HostText())
                                    .arg(int64_t(m_timeoutMs) * (kMaxRetries + 1))
                                    .arg(kMaxRetries + 1));
            Send(m_last);
            return;
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::min(m_deadline, m_resendAt) - now);
        pollfd p{m_socket.get(), POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(wait.count()));
        if (ready < 0) {
            if (errno == EINTR)
                return;
            throw Exception(QStringLiteral("Cannot receive from %1: %2").arg(HostText(), ErrnoText(errno)));
        }
        if (ready == 0)
            return; // the next round resends or gives up
        uint8_t buf[65536];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = recvfrom(m_socket.get(), buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                return;
            throw Exception(QStringLiteral("Cannot receive from %1: %2").arg(HostText(), ErrnoText(errno)));
        }
        if (from.sin_addr.s_addr != m_server.sin_addr.s_addr || n < 2)
            return;
        if (m_peerKnown && from.sin_port != m_server.sin_port) {
            // Another conversation's datagram: tell its sender, go on with ours.
            SendQuietly(ErrorPacket(ErrUnknownTid, "unknown transfer ID"), from);
            return;
        }
        const uint16_t op = Get16(buf);
        // An OACK naming no option at all agrees to the defaults; every
        // other packet carries at least a second number.
        if (op != OACK && n < 4)
            return;
        const uint16_t arg = op == OACK ? 0 : Get16(buf + 2);
        if (op == ERROR)
            throw Exception(ServerError(arg, buf + 4, static_cast<size_t>(n) - 4));
        if (!m_peerKnown && (op == OACK || (op == ACK && arg == 0))) {
            // The server answers from a port of its own: the rest goes there.
            m_server.sin_port = from.sin_port;
            m_peerKnown = true;
            m_blockSize = op == OACK ? AgreedBlockSize(buf + 2, static_cast<size_t>(n) - 2) : 512;
            m_sendNext = true;
        } else if (m_peerKnown && op == ACK && arg == m_block) {
            m_acked += m_lastSize;
            if (m_events.OnWork)
                m_events.OnWork(m_acked);
            // The caller may cancel before the next block goes out.
            m_done = m_lastSize < m_blockSize;
            m_sendNext = !m_done;
        }
        // Anything else, such as the repeated acknowledgement of an earlier
        // block, is not answered: answering it would double every packet.
    }

    void SendNext()
    {
        m_retries = 0;
        ++m_block; // wraps to 0 after 65535, as servers expect
        m_lastSize = std::min<qsizetype>(m_blockSize, m_data.size() - m_acked);
        m_last.clear();
        Put16(m_last, DATA);
        Put16(m_last, m_block);
        m_last.append(m_data.constData() + m_acked, m_lastSize);
        Send(m_last);
    }

    int AgreedBlockSize(const uint8_t* p, size_t size)
    {
        int agreed = 512;
        // Name and value pairs, each text ended by a zero byte.
        const QList<QByteArray> fields =
            QByteArray(reinterpret_cast<const char*>(p), static_cast<qsizetype>(size)).split('\0');
        for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
            if (fields[i].toLower() != "blksize")
                continue;
            bool ok = false;
            agreed = fields[i + 1].toInt(&ok);
            if (!ok || agreed < 8 || agreed > m_requested) {
                SendQuietly(ErrorPacket(ErrOption, "bad blksize"), m_server);
                throw Exception(QStringLiteral("%1 offered a block size of %2 bytes.")
                                    .arg(HostText(), QString::fromLatin1(fields[i + 1].left(20))));
            }
        }
        return agreed;
    }

    static QString ServerError(uint16_t code, const uint8_t* p, size_t size)
    {
        const auto end = std::find(p, p + size, 0);
        const QByteArray text(reinterpret_cast<const char*>(p), end - p);
        if (text.trimmed().isEmpty())
            return QStringLiteral("TFTP error %1").arg(code);
        // The device writes its texts in its own code page.
        return PeerText(QStringDecoder("windows-1250").decode(text));
    }

    UniqueFd m_socket{OpenUdpSocket()};
    sockaddr_in m_server{};
    const QByteArray& m_name;
    const QByteArray& m_data;
    const TftpOptions& m_options;
    const TransferEvents& m_events;
    const int m_requested;
    const int m_timeoutMs;
    const Clock::time_point m_deadline;
    Clock::time_point m_resendAt;
    bool m_peerKnown = false;
    bool m_done = false;
    bool m_sendNext = false;
    int m_blockSize = 512;
    int m_retries = 0;
    uint16_t m_block = 0;
    qsizetype m_lastSize = 0;
    qsizetype m_acked = 0;
    QByteArray m_last;
};

} // namespace

void TftpPut(const QString& Host, const QString& RemoteName, const QByteArray& Data, const TftpOptions& Options,
             const TransferEvents& Events)
{
    in_addr host{};
    if (inet_pton(AF_INET, Host.toLatin1().constData(), &host) != 1)
        throw Exception(QStringLiteral("Not an IPv4 address: ") + Host);
    const QByteArray name = RemoteName.toLatin1();
    if (name.isEmpty() || name.contains('\0'))
        throw Exception(QStringLiteral("Not a TFTP file name: ") + RemoteName);
    Upload upload(host, name, Data, Options, Events);
    try {
        if (Events.OnWorkBegin)
            Events.OnWorkBegin(Data.size());
        upload.Run();
    } catch (...) {
        try {
            if (Events.OnWorkEnd)
                Events.OnWorkEnd();
        } catch (...) {
            // The transfer's own failure is the one to report.
        }
        throw;
    }
    if (Events.OnWorkEnd)
        Events.OnWorkEnd();
}

} // namespace platform
