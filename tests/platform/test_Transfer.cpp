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
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

using namespace platform;

namespace {

// A web server on loopback; the request path picks its misbehaviour.
struct LoopServer
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    std::thread thread;

    LoopServer()
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
            for (int c; (c = accept(fd, nullptr, nullptr)) >= 0; close(c)) {
                char buf[2048] = {};
                recv(c, buf, sizeof buf - 1, 0); // a head fits one read on loopback
                const std::string request(buf);
                Answer(c, request.substr(4, request.find(' ', 4) - 4));
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

    static bool Put(int c, const std::string& s) { return send(c, s.data(), s.size(), MSG_NOSIGNAL) > 0; }

    static void Answer(int c, const std::string& path)
    {
        const std::string ok = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
        if (path == "/announced-too-big")
            Put(c, ok + "Content-Length: 1048577\r\n\r\nxyz");
        else if (path == "/unannounced-1000" || path == "/unannounced-1001")
            Put(c, ok + "\r\n" + std::string(path == "/unannounced-1000" ? 1000 : 1001, 'b'));
        else if (path == "/moved")
            Put(c, "HTTP/1.1 302 Found\r\nLocation: /unannounced-1000\r\nContent-Length: 0\r\n\r\n");
        else if (path == "/trickle") // a byte every 100 ms, until the client hangs up
            for (bool alive = Put(c, ok + "Content-Length: 100000\r\n\r\n"); alive;) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                alive = Put(c, "t");
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

TEST(HttpClient, BodyCapStatusAndProxiesOnLoopback)
{
    LoopServer server;
    // A proxy named by the environment is never asked (there is none there).
    setenv("http_proxy", "http://127.0.0.1:9", 1);
    setenv("all_proxy", "http://127.0.0.1:9", 1);
    HttpOptions o;
    o.MaxBody = 1000;
    EXPECT_EQ(HttpGet(server.Url("/unannounced-1000"), o), QByteArray(1000, 'b'));
    unsetenv("http_proxy");
    unsetenv("all_proxy");
    EXPECT_EQ(ExceptionText([&] { HttpGet(server.Url("/unannounced-1001"), o); }),
              "The answer is larger than 1000 bytes.");
    EXPECT_EQ(ExceptionText([&] { HttpGet(server.Url("/announced-too-big"), {}); }),
              "The answer is larger than 1048576 bytes.");
    // A redirection is not followed and is no success.
    EXPECT_EQ(ExceptionText([&] { HttpGet(server.Url("/moved"), {}); }), "HTTP/1.1 302 Found");
}

TEST(HttpClient, TricklingPeerMeetsTheDeadlineOrTheCaller)
{
    LoopServer server;
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
              "No answer from 10.213.0.2 within 300 ms.");
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
