#include "platform/HttpClient.h"

#include "platform/Exception.h"
#include "platform/Posix.h"

#include <QUrl>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <memory>
#include <string>

// A plain HTTP/1.1 GET on a socket of its own. Only plain http is ever
// fetched (from the device on the LAN); a general HTTP library brought its
// TLS, LDAP and Kerberos libraries along, several megabytes of resident
// memory. Failure texts follow the ones that library gave.

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Heads larger than this are refused.
constexpr qsizetype MaxHeadBytes = 100 * 1024;

struct Target
{
    QString Host;
    uint16_t Port = 80;
    QByteArray Request;
};

Target ParseUrl(const QString& Url)
{
    const QUrl url(Url, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        throw Exception(QStringLiteral("URL using bad/illegal format or missing URL"));
    if (url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        throw Exception(QStringLiteral("Protocol \"%1\" not supported").arg(url.scheme()));
    Target t;
    t.Host = url.host();
    t.Port = static_cast<uint16_t>(url.port(80));
    QByteArray path = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (path.isEmpty() || path.startsWith('?'))
        path.prepend('/');
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (t.Port != 80)
        host += ':' + QByteArray::number(t.Port);
    t.Request = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nAccept: */*\r\n\r\n";
    return t;
}

uint32_t Resolve(const QString& Host)
{
    const QByteArray name = Host.toLatin1();
    in_addr a{};
    if (::inet_pton(AF_INET, name.constData(), &a) == 1)
        return a.s_addr;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name.constData(), nullptr, &hints, &list) != 0 || !list)
        throw Exception(QStringLiteral("Could not resolve host: ") + Host);
    const uint32_t address = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(list);
    return address;
}

// What the transfer learnt; a handler's exception is kept and raised once
// the socket is closed, after the end event.
struct GetState
{
    GetState(const HttpOptions& options, const TransferEvents& events) : Options(options), Events(events) {}

    const HttpOptions& Options;
    const TransferEvents& Events;
    QByteArray Body;
    QByteArray StatusLine;
    bool Begun = false;
    bool Refused = false; // a status other than 2xx
    bool TooLarge = false;
    bool CancelledByCaller = false;
    bool Connected = false;
    bool ReadTimedOut = false;
    bool TimedOut = false;
    QString Error;
    Clock::time_point LastActivity = Clock::now();
    std::exception_ptr Raised;

    template <class F>
    bool Guard(F&& f)
    {
        try {
            f();
            return true;
        } catch (...) {
            if (!Raised)
                Raised = std::current_exception();
            return false;
        }
    }

    int64_t Cap() const { return Options.MaxBody > 0 ? Options.MaxBody : 0; }

    bool Begin(int64_t length)
    {
        if (length > Cap()) {
            TooLarge = true;
            return false;
        }
        Begun = true;
        return Guard([&] {
            if (Events.OnWorkBegin)
                Events.OnWorkBegin(length > 0 ? length : 0);
        });
    }

    // False ends the transfer.
    bool Deliver(const char* data, qsizetype n)
    {
        if (n <= 0)
            return true;
        if (Body.size() + n > Cap()) {
            TooLarge = true;
            return false;
        }
        Body.append(data, n);
        bool stop = false;
        const bool ok = Guard([&] {
            if (Events.OnWork)
                Events.OnWork(Body.size());
            stop = Events.Cancelled && Events.Cancelled();
        });
        CancelledByCaller = CancelledByCaller || stop;
        return ok && !stop;
    }

    bool CallerCancels()
    {
        bool stop = false;
        if (!Guard([&] { stop = Events.Cancelled && Events.Cancelled(); }))
            return true;
        CancelledByCaller = CancelledByCaller || stop;
        return stop;
    }
};

// The body after the head: as announced, chunked, or up to the close.
class BodyReader
{
public:
    BodyReader(GetState& s, int64_t length, bool chunked) : m_s(s), m_left(length), m_chunked(chunked) {}

    // False ends the transfer; Done() tells whether it ended whole.
    bool Take(const char* data, qsizetype n)
    {
        if (!m_chunked) {
            const qsizetype use = m_left >= 0 ? qsizetype(std::min<int64_t>(n, m_left)) : n;
            if (m_left >= 0)
                m_left -= use;
            if (!m_s.Deliver(data, use))
                return false;
            m_done = m_left == 0;
            return !m_done;
        }
        m_pending.append(data, n);
        for (;;) {
            if (m_chunkLeft > 0) {
                const qsizetype use = qsizetype(std::min<int64_t>(m_pending.size(), m_chunkLeft));
                if (use == 0)
                    return true;
                if (!m_s.Deliver(m_pending.constData(), use))
                    return false;
                m_pending.remove(0, use);
                m_chunkLeft -= use;
                if (m_chunkLeft == 0)
                    m_skipLineEnd = true;
                continue;
            }
            const qsizetype eol = m_pending.indexOf('\n');
            if (eol < 0)
                return m_pending.size() < MaxHeadBytes || Fail("Too large chunk line");
            QByteArray line = m_pending.left(eol).trimmed();
            m_pending.remove(0, eol + 1);
            if (m_skipLineEnd) {
                m_skipLineEnd = false;
                if (!line.isEmpty())
                    return Fail("chunk hex-length char not a hex digit");
                continue;
            }
            if (m_trailers) {
                if (line.isEmpty()) {
                    m_done = true;
                    return false;
                }
                continue;
            }
            const qsizetype ext = line.indexOf(';');
            if (ext >= 0)
                line.truncate(ext);
            bool ok = false;
            const qint64 size = line.trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0)
                return Fail("chunk hex-length char not a hex digit");
            if (size == 0)
                m_trailers = true;
            else
                m_chunkLeft = size;
        }
    }

    bool Done() const { return m_done; }
    // Why the peer's close cut the body short, or empty when it did not.
    QString ClosedEarly() const
    {
        if (m_chunked)
            return m_done ? QString() : QStringLiteral("transfer closed with outstanding read data remaining");
        if (m_left > 0)
            return QStringLiteral("transfer closed with %1 bytes remaining to read").arg(m_left);
        return QString();
    }

private:
    bool Fail(const char* text)
    {
        m_s.Error = QString::fromLatin1(text);
        return false;
    }

    GetState& m_s;
    int64_t m_left;          // -1: up to the close
    bool m_chunked;
    QByteArray m_pending;    // chunked: undecoded bytes
    int64_t m_chunkLeft = 0;
    bool m_skipLineEnd = false;
    bool m_trailers = false;
    bool m_done = false;
};

// The head's value of a field, or a null array.
QByteArray Field(const QList<QByteArray>& lines, const char* name)
{
    const QByteArray key = QByteArray(name).toLower() + ':';
    for (const QByteArray& line : lines) {
        if (line.toLower().startsWith(key))
            return line.mid(key.size()).trimmed();
    }
    return QByteArray();
}

class Transfer
{
public:
    Transfer(GetState& s, const Target& t) : m_s(s), m_t(t) {}

    void Run()
    {
        const uint32_t address = Resolve(m_t.Host);
        m_fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (m_fd.get() < 0)
            throw Exception(QStringLiteral("Could not open a socket: ") + ErrnoText(errno));
        if (m_s.Options.LocalAddress != 0) {
            sockaddr_in here{};
            here.sin_family = AF_INET;
            here.sin_addr.s_addr = m_s.Options.LocalAddress;
            if (::bind(m_fd.get(), reinterpret_cast<sockaddr*>(&here), sizeof here) != 0) {
                m_s.Error = QStringLiteral("Couldn't bind to '%1'").arg(Ipv4Text(m_s.Options.LocalAddress));
                return;
            }
        }
        if (!Connect(address) || !Send())
            return;
        Receive();
    }

private:
    // Milliseconds to wait next: at most 100, so the caller's cancel is
    // asked often; 0 when a limit has passed (and set).
    int NextWait(Clock::time_point connectDeadline)
    {
        const auto now = Clock::now();
        if (m_s.Options.TotalTimeoutMs > 0 && now >= m_start + milliseconds(m_s.Options.TotalTimeoutMs)) {
            m_s.TimedOut = true;
            return 0;
        }
        milliseconds wait(100);
        if (!m_s.Connected) {
            if (now >= connectDeadline) {
                m_s.TimedOut = true;
                return 0;
            }
            wait = std::min(wait, std::chrono::duration_cast<milliseconds>(connectDeadline - now) + milliseconds(1));
        } else {
            const auto silent = now - m_s.LastActivity;
            const milliseconds readLimit(std::max(1, m_s.Options.ReadTimeoutMs));
            if (silent >= readLimit) {
                m_s.ReadTimedOut = true;
                return 0;
            }
            wait = std::min(wait, std::chrono::duration_cast<milliseconds>(readLimit - silent) + milliseconds(1));
        }
        if (m_s.Options.TotalTimeoutMs > 0)
            wait = std::min(wait, std::chrono::duration_cast<milliseconds>(
                                      m_start + milliseconds(m_s.Options.TotalTimeoutMs) - now) +
                                      milliseconds(1));
        return int(std::max<milliseconds::rep>(1, wait.count()));
    }

    // Waits for the socket; false when the transfer is to end.
    bool Wait(short events, Clock::time_point connectDeadline)
    {
        for (;;) {
            if (m_s.CallerCancels())
                return false;
            const int wait = NextWait(connectDeadline);
            if (wait == 0)
                return false;
            pollfd p{m_fd.get(), events, 0};
            const int n = ::poll(&p, 1, wait);
            if (n > 0)
                return true;
            if (n < 0 && errno != EINTR) {
                m_s.Error = ErrnoText(errno);
                return false;
            }
        }
    }

    bool Connect(uint32_t address)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_t.Port);
        to.sin_addr.s_addr = address;
        const auto deadline = m_start + milliseconds(std::max(1, m_s.Options.ConnectTimeoutMs));
        int err = 0;
        if (::connect(m_fd.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            if (errno != EINPROGRESS) {
                err = errno;
            } else {
                if (!Wait(POLLOUT, deadline))
                    return false;
                socklen_t len = sizeof err;
                if (::getsockopt(m_fd.get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                    err = errno;
            }
        }
        if (err != 0) {
            const auto ms = std::chrono::duration_cast<milliseconds>(Clock::now() - m_start).count();
            m_s.Error = QStringLiteral("Failed to connect to %1 port %2 after %3 ms: Couldn't connect to server")
                            .arg(m_t.Host)
                            .arg(m_t.Port)
                            .arg(ms);
            return false;
        }
        m_s.Connected = true;
        m_s.LastActivity = Clock::now();
        return true;
    }

    bool Send()
    {
        qsizetype sent = 0;
        while (sent < m_t.Request.size()) {
            const ssize_t n =
                ::send(m_fd.get(), m_t.Request.constData() + sent, size_t(m_t.Request.size() - sent), MSG_NOSIGNAL);
            if (n > 0) {
                sent += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                m_s.Error = QStringLiteral("Send failure: ") + ErrnoText(errno);
                return false;
            }
            if (!Wait(POLLOUT, Clock::now()))
                return false;
        }
        return true;
    }

    // Heads (interim ones skipped), then the body. False ends the transfer.
    bool Head(QByteArray& in)
    {
        for (;;) {
            qsizetype end = in.indexOf("\r\n\r\n");
            qsizetype skip = 4;
            const qsizetype bare = in.indexOf("\n\n");
            if (bare >= 0 && (end < 0 || bare < end)) {
                end = bare;
                skip = 2;
            }
            if (end < 0) {
                if (in.size() > MaxHeadBytes) {
                    m_s.Error = QStringLiteral("Too large response headers");
                    return false;
                }
                if (!in.isEmpty() && !in.startsWith(QByteArray("HTTP/").left(in.size()))) {
                    m_s.Error = QStringLiteral("Received HTTP/0.9 when not allowed");
                    return false;
                }
                return true; // more to come
            }
            QList<QByteArray> lines = in.left(end).split('\n');
            in.remove(0, end + skip);
            for (QByteArray& line : lines)
                line = line.trimmed();
            if (!lines.first().startsWith("HTTP/")) {
                m_s.Error = QStringLiteral("Received HTTP/0.9 when not allowed");
                return false;
            }
            m_s.StatusLine = lines.first().left(200);
            const QList<QByteArray> parts = lines.first().split(' ');
            const int status = parts.size() > 1 ? parts[1].toInt() : 0;
            if (status >= 100 && status < 200)
                continue; // an interim head; the real one follows
            if (status < 200 || status > 299) {
                m_s.Refused = true;
                return false;
            }
            const bool chunked = Field(lines, "transfer-encoding").toLower().contains("chunked");
            int64_t length = -1;
            if (!chunked) {
                bool ok = false;
                const QByteArray text = Field(lines, "content-length");
                const qint64 n = text.toLongLong(&ok);
                if (ok && n >= 0)
                    length = n;
            }
            if (!m_s.Begin(length))
                return false;
            m_body = std::make_unique<BodyReader>(m_s, length, chunked);
            if (length == 0)
                return false; // nothing follows
            return in.isEmpty() || m_body->Take(in.constData(), in.size());
        }
    }

    void Receive()
    {
        QByteArray head;
        char buffer[16384];
        for (;;) {
            if (!Wait(POLLIN, Clock::now()))
                return;
            const ssize_t n = ::recv(m_fd.get(), buffer, sizeof buffer, 0);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    continue;
                m_s.Error = QStringLiteral("Recv failure: ") + ErrnoText(errno);
                return;
            }
            m_s.LastActivity = Clock::now();
            if (n == 0) {
                if (!m_body)
                    m_s.Error = QStringLiteral("Empty reply from server");
                else
                    m_s.Error = m_body->ClosedEarly();
                return;
            }
            if (!m_body) {
                head.append(buffer, n);
                if (!Head(head) || (m_body && m_body->Done()))
                    return;
                continue;
            }
            if (!m_body->Take(buffer, n))
                return;
        }
    }

    GetState& m_s;
    const Target& m_t;
    UniqueFd m_fd;
    const Clock::time_point m_start = Clock::now();
    std::unique_ptr<BodyReader> m_body;
};

} // namespace

QByteArray HttpGet(const QString& Url, const HttpOptions& Options, const TransferEvents& Events)
{
    const Target target = ParseUrl(Url);
    GetState state(Options, Events);
    {
        Transfer transfer(state, target);
        transfer.Run();
    }
    if (state.Begun)
        state.Guard([&] {
            if (Events.OnWorkEnd)
                Events.OnWorkEnd();
        });
    if (state.Raised)
        std::rethrow_exception(state.Raised);
    if (state.CancelledByCaller)
        throw Exception(QStringLiteral("The transfer was cancelled."));
    if (state.Refused)
        throw Exception(QString::fromLatin1(state.StatusLine));
    if (state.TooLarge)
        throw Exception(QStringLiteral("The answer is larger than %1 bytes.").arg(state.Cap()));
    if (state.ReadTimedOut)
        throw Exception(QStringLiteral("Read timed out: nothing arrived for %1 ms.").arg(Options.ReadTimeoutMs));
    if (state.TimedOut && state.Connected)
        throw Exception(
            QStringLiteral("The answer did not arrive in full within %1 ms.").arg(Options.TotalTimeoutMs));
    if (state.TimedOut)
        throw Exception(QStringLiteral("No connection to %1 within %2 ms.")
                            .arg(target.Host)
                            .arg(Options.TotalTimeoutMs > 0 ? std::min(Options.ConnectTimeoutMs, Options.TotalTimeoutMs)
                                                            : Options.ConnectTimeoutMs));
    if (!state.Error.isEmpty())
        throw Exception(state.Error);
    return state.Body;
}

} // namespace platform
