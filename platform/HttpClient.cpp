#include "platform/HttpClient.h"

#include "platform/Exception.h"

#include <QUrl>

#include <arpa/inet.h>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>

namespace platform {

namespace {

void GlobalInit()
{
    // Not safe to race with other threads' libcurl use, so exactly once.
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (result != CURLE_OK)
        throw Exception(QStringLiteral("The HTTP library could not start: ")
                        + QString::fromUtf8(curl_easy_strerror(result)));
}

struct CurlDeleter
{
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
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
    bool Begun = false;
    bool Refused = false;  // a status other than 2xx
    bool TooLarge = false;
    bool CancelledByCaller = false;
    bool Connected = false;
    bool ReadTimedOut = false;
    std::chrono::steady_clock::time_point LastActivity = std::chrono::steady_clock::now();
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

    bool Begin()
    {
        if (Begun)
            return true;
        curl_off_t length = -1;
        curl_easy_getinfo(Curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
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
};

size_t OnHeader(char* data, size_t size, size_t count, void* user)
{
    auto& s = *static_cast<GetState*>(user);
    const size_t n = size * count;
    s.LastActivity = std::chrono::steady_clock::now();
    const QByteArray line = QByteArray(data, static_cast<qsizetype>(n)).trimmed();
    if (line.startsWith("HTTP/")) {
        s.StatusLine = line.left(200);
        return n;
    }
    if (!line.isEmpty())
        return n;
    // The end of a head: judge the status before any of the body is taken.
    long status = 0;
    curl_easy_getinfo(s.Curl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 100 && status < 200)
        return n; // an interim head; the real one follows
    if (status < 200 || status > 299) {
        s.Refused = true;
        return 0;
    }
    return s.Begin() ? n : 0;
}

size_t OnBody(char* data, size_t size, size_t count, void* user)
{
    auto& s = *static_cast<GetState*>(user);
    const size_t n = size * count;
    s.LastActivity = std::chrono::steady_clock::now();
    if (s.Refused || !s.Begin())
        return 0;
    if (s.Body.size() + static_cast<int64_t>(n) > s.Cap()) {
        s.TooLarge = true;
        return 0;
    }
    s.Body.append(data, static_cast<qsizetype>(n));
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
    s.LastActivity = std::chrono::steady_clock::now();
    return CURL_PREREQFUNC_OK;
}

struct MultiDeleter
{
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

// Runs the transfer in a loop of our own: libcurl's speed check counts in
// whole wall-clock seconds and can end a healthy trickle, so the read
// time-out and the caller's cancel are judged here, between short waits.
CURLcode Drive(CURL* c, GetState& s)
{
    using namespace std::chrono;
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi)
        return CURLE_OUT_OF_MEMORY;
    CURLM* m = multi.get();
    curl_multi_add_handle(m, c);
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
        const auto silent = steady_clock::now() - s.LastActivity;
        if (s.Connected && silent >= readLimit) {
            s.ReadTimedOut = true;
            break;
        }
        auto wait = milliseconds(100);
        if (s.Connected)
            wait = std::min(wait, readLimit - duration_cast<milliseconds>(silent));
        curl_multi_poll(m, nullptr, 0, static_cast<int>(std::max<milliseconds::rep>(1, wait.count())), nullptr);
    }
    curl_multi_remove_handle(m, c);
    return result;
}

QString AddressText(uint32_t address)
{
    in_addr a{};
    a.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace

QByteArray HttpGet(const QString& Url, const HttpOptions& Options, const TransferEvents& Events)
{
    GlobalInit();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl)
        throw Exception(QStringLiteral("The HTTP library could not start."));
    CURL* c = curl.get();
    GetState state(Options, Events, c);
    char error[CURL_ERROR_SIZE] = {};

    const QByteArray url = Url.toUtf8();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(c, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    // The device is on the LAN: a proxy from the environment would only
    // take the request somewhere else.
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max(1, Options.ConnectTimeoutMs)));
    if (Options.TotalTimeoutMs > 0)
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(Options.TotalTimeoutMs));
    QByteArray local;
    if (Options.LocalAddress != 0) {
        local = "host!" + AddressText(Options.LocalAddress).toLatin1();
        curl_easy_setopt(c, CURLOPT_INTERFACE, local.constData());
    }
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, &OnConnected);
    curl_easy_setopt(c, CURLOPT_PREREQDATA, &state);

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
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (state.Refused || (rc == CURLE_OK && (status < 200 || status > 299)))
        throw Exception(state.StatusLine.isEmpty() ? QStringLiteral("HTTP status %1").arg(status)
                                                   : QString::fromLatin1(state.StatusLine));
    if (state.TooLarge)
        throw Exception(QStringLiteral("The answer is larger than %1 bytes.").arg(state.Cap()));
    if (state.ReadTimedOut)
        throw Exception(QStringLiteral("Read timed out: nothing arrived for %1 ms.").arg(Options.ReadTimeoutMs));
    if (rc == CURLE_OPERATION_TIMEDOUT && state.Connected)
        throw Exception(
            QStringLiteral("The answer did not arrive in full within %1 ms.").arg(Options.TotalTimeoutMs));
    if (rc == CURLE_OPERATION_TIMEDOUT) // libcurl words this one differently from path to path
        throw Exception(QStringLiteral("No connection to %1 within %2 ms.")
                            .arg(QUrl(Url).host())
                            .arg(Options.TotalTimeoutMs > 0
                                     ? std::min(Options.ConnectTimeoutMs, Options.TotalTimeoutMs)
                                     : Options.ConnectTimeoutMs));
    if (rc != CURLE_OK)
        throw Exception(QString::fromUtf8(error[0] ? error : curl_easy_strerror(rc)));
    return state.Body;
}

} // namespace platform
