#include "platform/HttpClient.h"

#include "platform/Exception.h"
#include "platform/Posix.h"

#include <QUrl>

#include <curl/curl.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>

// HTTP GET on libcurl, which frames answers strictly and knows many more
// broken servers than we do. Kept in our hands: the read time-out to the
// millisecond and the caller's cancel (libcurl's speed check counts whole
// seconds), the body cap, the head's size, and a few framing rules libcurl
// is lenient about where that leniency could hand back a wrong body
// (OnHeader).

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Heads of a few hundred bytes are the rule; a longer one is a broken or
// hostile server, which libcurl would take in up to 100 KiB per line.
constexpr qsizetype kMaxHead = 64 * 1024;

// Bytes the kernel has taken in on Socket. libcurl hands heads over in
// whole lines only, so this is how a read time-out learns that bytes
// arrived, just too slowly to complete one. 0 when unknown.
uint64_t BytesReceived(curl_socket_t socket)
{
    tcp_info info{};
    socklen_t size = sizeof info;
    if (socket == CURL_SOCKET_BAD || getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
        size < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
        return 0;
    return info.tcpi_bytes_received;
}

void GlobalInit()
{
    // Not safe to race with other threads' libcurl use, so exactly once.
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (result != CURLE_OK)
        throw Exception(QStringLiteral("The HTTP library could not start: ") +
                        QString::fromUtf8(curl_easy_strerror(result)));
}

struct EasyDeleter
{
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

struct MultiDeleter
{
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

// What the callbacks learn; libcurl is C, so nothing may unwind through it:
// a handler's exception is kept here and raised once libcurl has returned.
struct GetState
{
    GetState(const HttpOptions& options, const TransferEvents& events, CURL* curl)
        : Options(options), Events(events), Curl(curl)
    {
    }

    const HttpOptions& Options;
    const TransferEvents& Events;
    CURL* Curl;
    QByteArray Body;
    QByteArray StatusLine;
    QByteArray ContentLength; // of the head being read
    bool Chunked = false;     // of the head being read
    bool Begun = false;       // the final head is in: body and trailers follow
    bool Refused = false;     // a status other than 2xx
    bool TooLarge = false;
    bool CancelledByCaller = false;
    bool Connected = false;
    bool ReadTimedOut = false;
    bool ArrivingSlowly = false; // when the read time-out ended it
    qsizetype HeadSize = 0;      // of all heads so far
    QString Malformed;           // why the answer's framing cannot be trusted
    curl_socket_t Socket = CURL_SOCKET_BAD;
    Clock::time_point LastActivity = Clock::now();
    uint64_t ReceivedAtActivity = 0;
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

    // A part of the answer was complete: a head line, body bytes.
    void Activity()
    {
        LastActivity = Clock::now();
        ReceivedAtActivity = BytesReceived(Socket);
    }

    bool Fail(const QString& why)
    {
        Malformed = why;
        return false;
    }

    bool Begin(bool lengthOverflows)
    {
        curl_off_t length = -1;
        curl_easy_getinfo(Curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        // libcurl drops a length it cannot hold and reads until the close,
        // past the cap's check on the announced size.
        if (lengthOverflows || length > Cap()) {
            TooLarge = true;
            return false;
        }
        Begun = true;
        return Guard([&] {
            if (Events.OnWorkBegin)
                Events.OnWorkBegin(length > 0 ? length : 0);
        });
    }

    // One field line of a head. libcurl takes "5abc" as 5, lets a second
    // Content-Length overrule the first and decodes or passes on codings we
    // never asked for: each of those can end in a body cut or run together.
    bool Field(const QByteArray& line)
    {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return true;
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        const auto digit = [](char c) { return c >= '0' && c <= '9'; };
        if (name == "content-length") {
            if (value.isEmpty() || !std::all_of(value.begin(), value.end(), digit))
                return Fail(QStringLiteral("Invalid Content-Length: value")); // libcurl's words for "-1"
            if (!ContentLength.isNull() && ContentLength != value)
                return Fail(QStringLiteral("Conflicting Content-Length values"));
            ContentLength = value;
        } else if (name == "transfer-encoding") {
            // We send no TE, so chunked alone is all a server may use.
            if (Chunked || value.toLower() != "chunked")
                return Fail(QStringLiteral("Unsupported Transfer-Encoding: ") + QString::fromLatin1(value.left(40)));
            Chunked = true;
        }
        return true;
    }

    // The end of a head: the status is judged before any body is taken.
    bool HeadEnd()
    {
        long status = 0;
        curl_easy_getinfo(Curl, CURLINFO_RESPONSE_CODE, &status);
        // Both framings at once is how a response is smuggled past a proxy.
        const bool both = Chunked && !ContentLength.isNull();
        bool fits = true;
        if (!ContentLength.isNull())
            ContentLength.toLongLong(&fits);
        ContentLength = QByteArray();
        Chunked = false;
        if (status >= 100 && status < 200)
            return true; // an interim head; the real one follows
        if (status < 200 || status > 299) {
            Refused = true;
            return false;
        }
        if (both)
            return Fail(QStringLiteral("Both Content-Length and Transfer-Encoding"));
        return Begin(!fits);
    }
};

QString HeadTooLong()
{
    return QStringLiteral("The head of the answer is longer than %1 bytes.").arg(kMaxHead);
}

size_t OnHeader(char* data, size_t size, size_t count, void* user)
{
    auto& s = *static_cast<GetState*>(user);
    const size_t n = size * count;
    s.Activity();
    if (s.Begun)
        return n; // trailers: libcurl has checked their form, we need none
    s.HeadSize += qsizetype(n);
    if (s.HeadSize > kMaxHead) {
        s.Fail(HeadTooLong());
        return 0;
    }
    const QByteArray line = QByteArray(data, qsizetype(n)).trimmed();
    if (line.startsWith("HTTP/")) {
        s.StatusLine = line;
        return n;
    }
    if (!line.isEmpty())
        return s.Field(line) ? n : 0;
    return s.HeadEnd() ? n : 0;
}

size_t OnBody(char* data, size_t size, size_t count, void* user)
{
    auto& s = *static_cast<GetState*>(user);
    const size_t n = size * count;
    s.Activity();
    if (!s.Begun)
        return 0;
    if (s.Body.size() + int64_t(n) > s.Cap()) {
        s.TooLarge = true;
        return 0;
    }
    s.Body.append(data, qsizetype(n));
    bool stop = false;
    const bool ok = s.Guard([&] {
        if (s.Events.OnWork)
            s.Events.OnWork(s.Body.size());
        stop = s.Events.Cancelled && s.Events.Cancelled();
    });
    s.CancelledByCaller = s.CancelledByCaller || stop;
    return ok && !stop ? n : 0;
}

int OnConnected(void* user, char*, char*, int, int)
{
    auto& s = *static_cast<GetState*>(user);
    s.Connected = true;
    s.Activity();
    return CURL_PREREQFUNC_OK;
}

int OnSocketOpen(void* user, curl_socket_t socket, curlsocktype purpose)
{
    if (purpose == CURLSOCKTYPE_IPCXN)
        static_cast<GetState*>(user)->Socket = socket;
    return CURL_SOCKOPT_OK;
}

// Once closed, the number may name someone else's socket.
int OnSocketClose(void* user, curl_socket_t socket)
{
    auto& s = *static_cast<GetState*>(user);
    if (socket == s.Socket)
        s.Socket = CURL_SOCKET_BAD;
    return close(socket);
}

// Runs the transfer in steps of at most 100 ms; between them the caller is
// asked whether to cancel and the read time-out is judged.
CURLcode Drive(CURL* c, GetState& s)
{
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi)
        return CURLE_OUT_OF_MEMORY;
    CURLM* m = multi.get();
    if (curl_multi_add_handle(m, c) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    const milliseconds readLimit(std::max(1, s.Options.ReadTimeoutMs));
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(m, &running) != CURLM_OK)
            break;
        if (running == 0) {
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(m, &left))
                if (msg->msg == CURLMSG_DONE)
                    result = msg->data.result;
            break;
        }
        bool stop = false;
        if (!s.Guard([&] { stop = s.Events.Cancelled && s.Events.Cancelled(); }) || stop) {
            s.CancelledByCaller = stop;
            break;
        }
        // Until the connection stands, the connect time-out rules.
        const auto silent = Clock::now() - s.LastActivity;
        if (s.Connected && silent >= readLimit) {
            s.ReadTimedOut = true;
            s.ArrivingSlowly = BytesReceived(s.Socket) > s.ReceivedAtActivity;
            break;
        }
        auto wait = milliseconds(100);
        if (s.Connected)
            wait = std::min(wait, readLimit - std::chrono::duration_cast<milliseconds>(silent));
        curl_multi_poll(m, nullptr, 0, int(std::max<milliseconds::rep>(1, wait.count())), nullptr);
    }
    curl_multi_remove_handle(m, c);
    return result;
}

// How libcurl refuses a head line over its own limit: as memory run out,
// from version 8.6 on with a code of its own.
bool HeadRejected(CURLcode rc)
{
#if LIBCURL_VERSION_NUM >= 0x080600
    if (rc == CURLE_TOO_LARGE)
        return true;
#endif
    return rc == CURLE_OUT_OF_MEMORY;
}

} // namespace

QByteArray HttpGet(const QString& Url, const HttpOptions& Options, const TransferEvents& Events)
{
    GlobalInit();
    std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl)
        throw Exception(QStringLiteral("The HTTP library could not start."));
    CURL* c = curl.get();
    GetState state(Options, Events, c);
    char error[CURL_ERROR_SIZE] = {};

    const QByteArray url = Url.toUtf8();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(c, CURLOPT_IPRESOLVE, long(CURL_IPRESOLVE_V4));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    // The device is on the LAN: a proxy from the environment would only
    // take the request somewhere else.
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(std::max(1, Options.ConnectTimeoutMs)));
    if (Options.TotalTimeoutMs > 0)
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(Options.TotalTimeoutMs));
    QByteArray local;
    if (Options.LocalAddress != 0) {
        local = "host!" + Ipv4Text(Options.LocalAddress).toLatin1();
        curl_easy_setopt(c, CURLOPT_INTERFACE, local.constData());
    }
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, &OnConnected);
    curl_easy_setopt(c, CURLOPT_PREREQDATA, &state);
    curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, &OnSocketOpen);
    curl_easy_setopt(c, CURLOPT_SOCKOPTDATA, &state);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, &OnSocketClose);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, &state);

    const CURLcode rc = Drive(c, state);
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
        throw Exception(PeerText(QString::fromLatin1(state.StatusLine)));
    if (state.TooLarge)
        throw Exception(QStringLiteral("The answer is larger than %1 bytes.").arg(state.Cap()));
    if (!state.Malformed.isEmpty())
        throw Exception(state.Malformed);
    if (state.ReadTimedOut && state.ArrivingSlowly)
        throw Exception(QStringLiteral("Read timed out: bytes arrived too slowly, no line complete within %1 ms.")
                            .arg(Options.ReadTimeoutMs));
    if (state.ReadTimedOut)
        throw Exception(QStringLiteral("Read timed out: nothing arrived for %1 ms.").arg(Options.ReadTimeoutMs));
    if (state.Connected && !state.Begun && HeadRejected(rc))
        throw Exception(HeadTooLong());
    if (rc == CURLE_OPERATION_TIMEDOUT && state.Connected)
        throw Exception(
            QStringLiteral("The answer did not arrive in full within %1 ms.").arg(Options.TotalTimeoutMs));
    if (rc == CURLE_OPERATION_TIMEDOUT) // libcurl words this one differently from path to path
        throw Exception(QStringLiteral("No connection to %1 within %2 ms.")
                            .arg(QUrl(Url).host())
                            .arg(Options.TotalTimeoutMs > 0 ? std::min(Options.ConnectTimeoutMs, Options.TotalTimeoutMs)
                                                            : Options.ConnectTimeoutMs));
    if (rc != CURLE_OK)
        throw Exception(QString::fromUtf8(error[0] ? error : curl_easy_strerror(rc)));
    if (!state.Begun) // no final head, yet libcurl saw no fault
        throw Exception(QStringLiteral("Empty reply from server"));
    return state.Body;
}

} // namespace platform
