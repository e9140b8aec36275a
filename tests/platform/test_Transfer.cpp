// The HTTP and TFTP clients against a loopback web server and the simulated device (root).
#include "platform/HttpClient.h"
#include "platform/TftpClient.h"
#include "storage/uCOB.h"
#include "support/ExceptionText.h"
#include "support/NetBench.h"
#include "support/QStringPrint.h"
#include "support/SimDevice.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <thread>

using namespace platform;

namespace {

// A web server on loopback; the request path picks its answer, sent as raw
// bytes. After it the connection stays open until the client hangs up
// (a kept-alive connection), unless the answer ends with a close; a path
// starting "/trickle" then gets a byte every 100 ms until the hang-up.
struct LoopServer
{
    struct Answer
    {
        std::string bytes;
        bool close = false;
    };
    std::map<std::string, Answer> answers;
    std::atomic<uint32_t> lastPeer{0};
    std::atomic<int> requests{0}; // read in full
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    std::thread thread;

    explicit LoopServer(std::map<std::string, Answer> canned = {}) : answers(std::move(canned))
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        bind(fd, reinterpret_cast<sockaddr*>(&a), len);
        listen(fd, 4);
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        thread = std::thread([this] {
            sockaddr_in peer{};
            socklen_t size = sizeof peer;
            for (int c; (c = accept(fd, reinterpret_cast<sockaddr*>(&peer), &size)) >= 0; close(c), size = sizeof peer) {
                lastPeer = peer.sin_addr.s_addr;
                std::string request;
                char buf[2048];
                for (ssize_t n; request.find("\r\n\r\n") == std::string::npos && (n = recv(c, buf, sizeof buf, 0)) > 0;)
                    request.append(buf, size_t(n));
                ++requests;
                if (request.size() > 4)
                    Serve(c, request.substr(4, request.find(' ', 4) - 4));
            }
        });
    }
    ~LoopServer()
    {
        shutdown(fd, SHUT_RDWR); // ends the accept
        thread.join();
        close(fd);
    }
    QString Url(const char* path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path); }

    static bool Put(int c, const std::string& s) { return s.empty() || send(c, s.data(), s.size(), MSG_NOSIGNAL) > 0; }

    void Serve(int c, const std::string& path)
    {
        const auto it = answers.find(path);
        if (it == answers.end() || !Put(c, it->second.bytes) || it->second.close)
            return;
        for (bool alive = path.starts_with("/trickle"); alive; alive = Put(c, "t"))
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // Kept alive: wait for the client's close (a bound in case it never comes).
        pollfd p{c, POLLIN, 0};
        for (char b[512]; poll(&p, 1, 20000) > 0 && recv(c, b, sizeof b, 0) > 0;) {
        }
    }
};

struct Work
{
    std::vector<int64_t> Begins, Counts;
    int Ends = 0;
    int CancelAfter = -1; // counts seen before the caller cancels
    TransferEvents Events()
    {
        return {[this](int64_t t) { Begins.push_back(t); }, [this](int64_t c) { Counts.push_back(c); },
                [this] { ++Ends; }, [this] { return CancelAfter >= 0 && int(Counts.size()) > CancelAfter; }};
    }
};

QByteArray Image(const QByteArray& doc)
{
    TCOBFileStorage cob;
    cob.AddFile(-1)->FileName = "postsoap.xml";
    cob.GetFile(0)->Data = doc;
    cob.SetHttpHeader(0, "");
    return cob.BuildImage();
}

const QString kDev = QString::fromLatin1(NetBench::DevIp);

void DevPut(const NetBench& bench, const QByteArray& data, const TftpOptions& o = {}, Work* work = nullptr)
{
    NetBench::Entered pc(bench.PcNamespace());
    TftpPut(kDev, "WEB6", data, o, work ? work->Events() : TransferEvents{});
}

} // namespace

const std::string kOk = "HTTP/1.1 200 OK\r\n";
const std::string kChunked = kOk + "Transfer-Encoding: chunked\r\n\r\n";
const auto kLongLine = [](int size) {
    return kOk + "X-Long: " + std::string(size, 'a') + "\r\nContent-Length: 2\r\n\r\nok";
};

// Each answer ends as its exact body or as a clear failure within the
// limits: never a body cut short, run on, still encoded, or waited out.
TEST(HttpClient, BrokenServersEndInTheExactBodyOrAClearFailure)
{
    const struct
    {
        const char* path;
        std::string answer;
        bool close; // else kept alive
        QByteArray body;
        QString error; // empty: the body arrives
    } rows[] = {
        {"/two-lengths", kOk + "Content-Length: 5\r\nContent-Length: 11\r\n\r\nhello world", true, {},
         "Conflicting Content-Length values"},
        {"/same-length-twice", kOk + "Content-Length: 5\r\nContent-Length: 5\r\n\r\nhello", false, "hello", {}},
        {"/bytes-after-length", kOk + "Content-Length: 5\r\n\r\nhello world", false, "hello", {}},
        {"/length-minus-one", kOk + "Content-Length: -1\r\n\r\nhello", true, {}, "Invalid Content-Length: value"},
        {"/length-5abc", kOk + "Content-Length: 5abc\r\n\r\nhello", true, {}, "Invalid Content-Length: value"},
        {"/coding-contains-chunked", kOk + "Transfer-Encoding: unchunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", true, {},
         "Unsupported Transfer-Encoding: unchunked"},
        {"/gzip-chunked", kOk + "Transfer-Encoding: gzip, chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", false, {},
         "Unsupported Transfer-Encoding: gzip, chunked"},
        {"/length-and-chunked", kOk + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         false, {}, "Both Content-Length and Transfer-Encoding"},
        {"/chunk-length-0x5", kChunked + "0x5\r\nhello\r\n0\r\n\r\n", false, {}, "Failed reading the chunked-encoded stream"},
        {"/chunked", kChunked + "5\r\nhello\r\n6;x=1\r\n world\r\n0\r\nX-Sum: 1\r\n\r\n", false, "hello world", {}},
        {"/chunked-cut", kChunked + "5\r\nhello\r\n", true, {}, "transfer closed with outstanding read data remaining"},
        {"/length-cut", kOk + "Content-Length: 10\r\n\r\nhello", true, {}, "transfer closed with 5 bytes remaining to read"},
        {"/until-close", kOk + "\r\nhello", true, "hello", {}},
        {"/204-kept-alive", "HTTP/1.1 204 No Content\r\n\r\n", false, "", {}},
        {"/head-ends-lf-cr-lf", kOk + "Content-Length: 5\n\r\nhello", false, "hello", {}},
        {"/interim-head", "HTTP/1.1 100 Continue\r\n\r\n" + kOk + "Content-Length: 2\r\n\r\nok", false, "ok", {}},
        {"/not-found", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", false, {}, "HTTP/1.1 404 Not Found"},
        // A redirection is not followed and is no success.
        {"/moved", "HTTP/1.1 302 Found\r\nLocation: /chunked\r\nContent-Length: 0\r\n\r\n", false, {},
         "HTTP/1.1 302 Found"},
        // The server's reason as far as a message window can hold it: a
        // status line of 512 characters whole, one more cut and marked.
        {"/reason-of-512", "HTTP/1.1 500 " + std::string(499, 'r') + "\r\nContent-Length: 0\r\n\r\n", false, {},
         QStringLiteral("HTTP/1.1 500 ") + QString(499, u'r')},
        {"/reason-of-513", "HTTP/1.1 500 " + std::string(499, 'r') + "s\r\nContent-Length: 0\r\n\r\n", false, {},
         QStringLiteral("HTTP/1.1 500 ") + QString(499, u'r') + QStringLiteral("…")},
        {"/long-reason", "HTTP/1.1 500 " + std::string(600, 'r') + "\r\nContent-Length: 0\r\n\r\n", false, {},
         QStringLiteral("HTTP/1.1 500 ") + QString(499, u'r') + QStringLiteral("…")},
        {"/no-status-line", "hello\r\n", true, {}, "Received HTTP/0.9 when not allowed"},
        {"/nothing", "", true, {}, "Empty reply from server"},
        {"/silent-after-head", kOk + "Content-Length: 5\r\n\r\nhe", false, {},
         "Read timed out: nothing arrived for 700 ms."},
        {"/silent-after-whole-head", kOk + "Content-Length: 5\r\n\r\n", false, {},
         "Read timed out: nothing arrived for 700 ms."},
        {"/trickle-in-head", kOk + "X-Slow: ", false, {},
         "Read timed out: bytes arrived too slowly, no line complete within 700 ms."},
        // libcurl would drop a length it cannot hold and read until the close.
        {"/length-overflows", kOk + "Content-Length: 99999999999999999999999\r\n\r\nhello", true, {},
         "The answer is larger than 1048576 bytes."},
        {"/line-of-60-kB", kLongLine(60000), false, "ok", {}},
        {"/line-of-70-kB", kLongLine(70000), true, {}, "The head of the answer is longer than 65536 bytes."},
        {"/line-of-1-MiB", kLongLine(1 << 20), true, {}, "The head of the answer is longer than 65536 bytes."},
    };
    std::map<std::string, LoopServer::Answer> answers;
    for (const auto& row : rows)
        answers[row.path] = {row.answer, row.close};
    LoopServer server(answers);
    HttpOptions o;
    o.ReadTimeoutMs = 700; // below libcurl's one-second grain
    o.TotalTimeoutMs = 10000;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        Work work;
        QByteArray body;
        const QString error = ExceptionText([&] { body = HttpGet(server.Url(row.path), o, work.Events()); });
        if (row.error.isEmpty()) {
            EXPECT_EQ(error, "<no exception>");
            EXPECT_EQ(body, row.body);
            EXPECT_EQ(work.Begins.size(), 1u);
        } else {
            EXPECT_EQ(error, row.error);
        }
        EXPECT_EQ(work.Ends, int(work.Begins.size()));
    }
}

// The cap on the announced and on the arriving body; proxies never asked;
// plain http over IPv4 only; the chosen local address.
TEST(HttpClient, BodyCapProxiesProtocolsAndAddresses)
{
    LoopServer server({{"/unannounced-1000", {kOk + "\r\n" + std::string(1000, 'b'), true}},
                       {"/unannounced-1001", {kOk + "\r\n" + std::string(1001, 'b'), true}},
                       {"/announced-too-big", {kOk + "Content-Length: 1048577\r\n\r\nxyz", true}}});
    // A proxy named by the environment is never asked (there is none there).
    setenv("http_proxy", "http://127.0.0.1:9", 1);
    setenv("all_proxy", "http://127.0.0.1:9", 1);
    HttpOptions o;
    o.MaxBody = 1000;
    EXPECT_EQ(HttpGet(server.Url("/unannounced-1000"), o), QByteArray(1000, 'b'));
    unsetenv("http_proxy");
    unsetenv("all_proxy");
    EXPECT_EQ(server.lastPeer.load(), inet_addr("127.0.0.1"));
    EXPECT_EQ(ExceptionText([&] { HttpGet(server.Url("/unannounced-1001"), o); }),
              "The answer is larger than 1000 bytes.");
    EXPECT_EQ(ExceptionText([&] { HttpGet(server.Url("/announced-too-big"), {}); }),
              "The answer is larger than 1048576 bytes.");

    o.LocalAddress = inet_addr("127.0.0.2");
    EXPECT_EQ(HttpGet(server.Url("/unannounced-1000"), o), QByteArray(1000, 'b'));
    EXPECT_EQ(server.lastPeer.load(), inet_addr("127.0.0.2"));

    const QString port = QString::number(server.port);
    for (const QString& url : {"https://127.0.0.1:" + port, "ftp://127.0.0.1:" + port, QStringLiteral("file:///etc/hostname")})
        EXPECT_EQ(ExceptionText([&] { HttpGet(url, {}); }),
                  QStringLiteral("Protocol \"%1\" not supported or disabled in libcurl").arg(url.section(u':', 0, 0)));
    // Something listens on the IPv6 loopback, yet it is never asked.
    const int v6 = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(v6, reinterpret_cast<sockaddr*>(&a), len), 0);
    listen(v6, 1);
    getsockname(v6, reinterpret_cast<sockaddr*>(&a), &len);
    HttpOptions quick;
    quick.ReadTimeoutMs = 300;
    EXPECT_EQ(ExceptionText([&] { HttpGet(QStringLiteral("http://[::1]:%1/").arg(ntohs(a.sin6_port)), quick); }),
              "Couldn't connect to server");
    close(v6);
}

TEST(HttpClient, TricklingOrSilentPeerMeetsTheDeadlineOrTheCaller)
{
    LoopServer server({{"/trickle", {kOk + "Connection: close\r\nContent-Length: 100000\r\n\r\n", false}},
                       {"/silent", {"", false}}});
    HttpOptions o;
    o.ReadTimeoutMs = 1000;
    o.TotalTimeoutMs = 1500;
    Work work;
    EXPECT_EQ(ExceptionText([&] { HttpGet(server.Url("/trickle"), o, work.Events()); }),
              "The answer did not arrive in full within 1500 ms.");
    EXPECT_EQ(work.Begins, std::vector<int64_t>{100000});
    ASSERT_FALSE(work.Counts.empty());
    EXPECT_EQ(work.Ends, 1);

    Work cancelled;
    cancelled.CancelAfter = 2;
    o.TotalTimeoutMs = 30000;
    EXPECT_EQ(ExceptionText([&] { HttpGet(server.Url("/trickle"), o, cancelled.Events()); }),
              "The transfer was cancelled.");
    ASSERT_EQ(cancelled.Counts.size(), 3u);
    EXPECT_LT(cancelled.Counts[0], cancelled.Counts[1]); // bytes so far, not per chunk
    EXPECT_LT(cancelled.Counts[1], cancelled.Counts[2]);
    EXPECT_EQ(cancelled.Ends, 1);

    // A handler's exception leaves the call as it was thrown, after the end.
    struct Thrown
    {
    };
    for (int which = 0; which < 3; ++which) {
        SCOPED_TRACE(which);
        Work throwing;
        TransferEvents e = throwing.Events();
        const auto raise = [](auto...) -> bool { throw Thrown{}; };
        if (which == 0)
            e.OnWorkBegin = raise;
        else if (which == 1)
            e.OnWork = raise;
        else
            e.Cancelled = raise;
        EXPECT_THROW(HttpGet(server.Url("/trickle"), o, e), Thrown);
        EXPECT_EQ(throwing.Ends, int(throwing.Begins.size()) + (which == 0));
    }

    // Cancelled while the server says nothing: over long before the read
    // time-out (a bound for "at once", not a speed check).
    o.ReadTimeoutMs = 30000;
    const int before = server.requests;
    const auto start = std::chrono::steady_clock::now();
    TransferEvents e;
    e.Cancelled = [&] { return server.requests > before; };
    EXPECT_EQ(ExceptionText([&] { HttpGet(server.Url("/silent"), o, e); }), "The transfer was cancelled.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}


TEST(TransferOnDevice, UploadFromTheChosenAdapterIsServedBackByteForByte)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("xfu");
    SimDevice sim(bench);
    ASSERT_EQ(bench.RunInPc("ip addr add 10.213.0.5/24 dev veth-pc"), 0);
    HttpOptions web;
    web.LocalAddress = inet_addr("10.213.0.5");
    TftpOptions tftp;
    tftp.LocalAddress = web.LocalAddress;
    const QByteArray head = "POST /Sensors.asmx HTTP/1.1\r\nHost: 10.0.0.1\r\n\r\n";
    const qsizetype overhead = Image(head).size() - head.size();
    // Whole blocks only (an empty last block ends it), then a short last block.
    for (const qsizetype size : {1024, 1500}) {
        QByteArray doc = head;
        for (int i = 0; doc.size() + overhead < size; ++i)
            doc.append(char(i * 7));
        const QByteArray image = Image(doc);
        ASSERT_EQ(image.size(), size);
        Work work;
        DevPut(bench, image, tftp, &work);
        EXPECT_EQ(work.Begins, std::vector<int64_t>{size});
        EXPECT_EQ(work.Counts.back(), size);
        EXPECT_EQ(work.Ends, 1);
        NetBench::Entered pc(bench.PcNamespace());
        EXPECT_EQ(HttpGet("http://" + kDev + ":80/postsoap.xml", web), doc);
    }
    EXPECT_TRUE(sim.WaitForLog("tftp rx 10.213.0.5:"));
    EXPECT_TRUE(sim.WaitForLog("WRQ WEB6 octet tsize=1024 blksize=512 timeout=3\n"));
    EXPECT_TRUE(sim.WaitForLog("http 10.213.0.5:"));
}

TEST(TransferOnDevice, RefusalsCarryTheDevicesTextAndSilenceEndsInBoundedTime)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("xfe");
    SimDevice sim(bench);
    TftpOptions quick;
    quick.TimeoutMs = 300;
    EXPECT_EQ(ExceptionText([&] { DevPut(bench, "CoB2", quick); }).left(11), "bad image: ");
    sim.Set("tftp-error");
    EXPECT_EQ(ExceptionText([&] { DevPut(bench, Image("x"), quick); }), "upload refused (on purpose)");
    sim.Set("tftp-error", "0");
    sim.Set("tftp-stall");
    Work work;
    EXPECT_EQ(ExceptionText([&] { DevPut(bench, Image("x"), quick, &work); }),
              "No answer from 10.213.0.2 within 1200 ms (sent 4 times).");
    EXPECT_EQ(work.Ends, 1);
    quick.TotalTimeoutMs = 700;
    EXPECT_EQ(ExceptionText([&] { DevPut(bench, Image("x"), quick); }),
              "The upload to 10.213.0.2 did not finish within 700 ms.");

    // Nobody at this address of the PC's subnet.
    HttpOptions web;
    web.ConnectTimeoutMs = 1500;
    EXPECT_EQ(ExceptionText([&] {
                  NetBench::Entered pc(bench.PcNamespace());
                  HttpGet("http://10.213.0.99/vyn.xml", web);
              }),
              "No connection to 10.213.0.99 within 1500 ms.");
}
