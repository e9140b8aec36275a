// The simulated device on the two-host bench: what crosses the wire, byte by
// byte, from a PC namespace that builds its datagrams by hand, and libcurl as
// the TFTP and HTTP client. Needs root (namespaces).
#include "CobBytes.h"
#include "support/NetBench.h"
#include "support/SimDevice.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

constexpr uint16_t kPort = 30718;
const Bytes kDevMac = {0x02, 0x76, 0x79, 0x6e, 0x00, 0x02};

struct Datagram
{
    Bytes data;
    std::string from;
    uint16_t port = 0;
};

// A UDP socket of the PC namespace.
class PcSocket
{
public:
    explicit PcSocket(const NetBench& bench)
    {
        NetBench::Entered pc(bench.PcNamespace());
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        bind(m_fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    }
    ~PcSocket() { close(m_fd); }

    void Send(const Bytes& d, const std::string& ip, uint16_t port = kPort) const
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
        ASSERT_EQ(sendto(m_fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(d.size()));
    }

    std::optional<Datagram> Receive(std::chrono::milliseconds timeout = 3s) const
    {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeout.count())) != 1)
            return std::nullopt;
        uint8_t buf[2048];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0)
            return std::nullopt;
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        return Datagram{Bytes(buf, buf + n), text, ntohs(from.sin_port)};
    }

    // Everything that arrives until nothing more comes for `quiet`.
    std::vector<Datagram> Collect(std::chrono::milliseconds quiet = 700ms) const
    {
        std::vector<Datagram> all;
        while (auto d = Receive(quiet))
            all.push_back(*d);
        return all;
    }

    // One request, its one answer.
    std::optional<Datagram> Ask(const Bytes& d, const std::string& ip) const
    {
        Send(d, ip);
        return Receive();
    }

private:
    int m_fd = -1;
};

Bytes Header(uint8_t code, uint8_t byte1 = 0)
{
    return {0, byte1, 0, code};
}

Bytes Ip(const std::string& text)
{
    in_addr a{};
    inet_pton(AF_INET, text.c_str(), &a);
    const auto* p = reinterpret_cast<const uint8_t*>(&a);
    return Bytes(p, p + 4);
}

Bytes SetIpRecord(const std::string& ip, uint8_t hostBits, const std::string& gateway)
{
    Bytes r(124, 0);
    r[3] = 0xFD;
    const Bytes a = Ip(ip), g = Ip(gateway);
    std::copy(a.begin(), a.end(), r.begin() + 4);
    r[10] = hostBits;
    std::copy(g.begin(), g.end(), r.begin() + 16);
    return r;
}

// The address the device's interface really has.
bool DevHasAddress(const NetBench& bench, const std::string& cidr)
{
    return bench.RunInDev("ip -4 addr show dev veth-dev | grep -q 'inet " + cidr + " '") == 0;
}

struct CurlGlobal
{
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

struct HttpResult
{
    CURLcode rc = CURLE_OK;
    long status = 0;
    std::string body;
    std::chrono::milliseconds took{};
};

HttpResult HttpGet(const NetBench& bench, const std::string& url, long timeoutMs = 5000)
{
    static CurlGlobal global;
    NetBench::Entered pc(bench.PcNamespace());
    HttpResult r;
    CURL* c = curl_easy_init();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, +[](char* p, size_t s, size_t n, void* out) {
        static_cast<std::string*>(out)->append(p, s * n);
        return s * n;
    });
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &r.body);
    const auto start = std::chrono::steady_clock::now();
    r.rc = curl_easy_perform(c);
    r.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &r.status);
    curl_easy_cleanup(c);
    return r;
}

struct Upload
{
    const Bytes* data;
    size_t sent = 0;
};

CURLcode TftpPut(const NetBench& bench, const std::string& url, const Bytes& data, long timeoutMs = 10000,
                 bool bare = false)
{
    static CurlGlobal global;
    NetBench::Entered pc(bench.PcNamespace());
    Upload up{&data};
    CURL* c = curl_easy_init();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data.size()));
    curl_easy_setopt(c, CURLOPT_TFTP_BLKSIZE, 512L);
    curl_easy_setopt(c, CURLOPT_TFTP_NO_OPTIONS, bare ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, +[](char* p, size_t s, size_t n, void* in) {
        auto* u = static_cast<Upload*>(in);
        const size_t take = std::min(s * n, u->data->size() - u->sent);
        std::memcpy(p, u->data->data() + u->sent, take);
        u->sent += take;
        return take;
    });
    curl_easy_setopt(c, CURLOPT_READDATA, &up);
    const CURLcode rc = curl_easy_perform(c);
    curl_easy_cleanup(c);
    return rc;
}

Bytes Slice(const Bytes& b, size_t from, size_t to)
{
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(to));
}

std::string Url(const std::string& ip, const std::string& path, int port = 80)
{
    return "http://" + ip + ":" + std::to_string(port) + path;
}

// A bench and a simulator with default options, for most tests.
struct SimBench : ::testing::Test
{
    void SetUp() override
    {
        if (!NetBench::IsRoot())
            GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";
        bench = std::make_unique<NetBench>("sim");
        sim = std::make_unique<SimDevice>(*bench);
        pc = std::make_unique<PcSocket>(*bench);
    }
    void TearDown() override
    {
        pc.reset();
        sim.reset();
        bench.reset();
    }
    std::unique_ptr<NetBench> bench;
    std::unique_ptr<SimDevice> sim;
    std::unique_ptr<PcSocket> pc;
};

} // namespace

TEST(VynSimBench, SetIpReachesADeviceOutsideTheSubnetThroughAStaticArpEntry)
{
    VYN_REQUIRE_ROOT();
    NetBenchOptions options;
    options.devAddress = "192.168.50.7/24";
    options.devAnswersArp = false;
    NetBench bench("sip", options);
    SimDevice sim(bench);
    PcSocket pc(bench);

    // Found by broadcast, answering from outside the PC's subnet ...
    const auto search = pc.Ask(Header(0xF6), "255.255.255.255");
    ASSERT_TRUE(search);
    EXPECT_EQ(search->from, "192.168.50.7");
    // ... but not reachable at that address: it ignores ARP.
    pc.Send(Header(0xE0), "192.168.50.7");
    EXPECT_FALSE(pc.Receive(1500ms));

    // The PC maps the new address to the device's MAC and sends the set-IP
    // record there, three times, as the program does.
    ASSERT_EQ(bench.RunInPc(std::string("ip neigh replace 10.213.0.50 lladdr ") + NetBench::DevMac
                            + " dev veth-pc nud permanent"),
              0);
    for (int i = 0; i < 3; ++i) {
        pc.Send(SetIpRecord("10.213.0.50", 0, "0.0.0.0"), "10.213.0.50");
        std::this_thread::sleep_for(10ms);
    }
    const auto acks = pc.Collect();
    ASSERT_FALSE(acks.empty());
    for (const auto& a : acks) {
        EXPECT_EQ(a.from, "10.213.0.50");
        EXPECT_EQ(a.data[3], 0xFB);
    }
    EXPECT_EQ(sim.Address(), "10.213.0.50/8 0.0.0.0"); // no host bits: the class's netmask
    EXPECT_TRUE(DevHasAddress(bench, "10.213.0.50/8"));
    const auto found = pc.Ask(Header(0xF6), "10.213.0.50");
    ASSERT_TRUE(found);
    EXPECT_EQ(Slice(found->data, 24, 30), kDevMac);
}

TEST(VynSimBench, DeviceAnswersArpOrNotAsChosen)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("arp");
    SimDevice sim(bench);
    PcSocket pc(bench);
    ASSERT_TRUE(pc.Ask(Header(0xE0), NetBench::DevIp));
    bench.SetDevArp(false);
    ASSERT_EQ(bench.RunInPc("ip neigh flush dev veth-pc"), 0);
    pc.Send(Header(0xE0), NetBench::DevIp);
    EXPECT_FALSE(pc.Receive(1500ms));
    // Broadcasts still reach it, and its answers still reach the PC.
    EXPECT_TRUE(pc.Ask(Header(0xF6), "255.255.255.255"));
    bench.SetDevArp(true);
    EXPECT_TRUE(pc.Ask(Header(0xE0), NetBench::DevIp));
}

TEST_F(SimBench, SoapDocumentUploadedByTftpIsServedBack)
{
    EXPECT_EQ(HttpGet(*bench, Url(NetBench::DevIp, "/postsoap.xml")).status, 404);
    const std::string doc = "POST /Sensors.asmx HTTP/1.1\r\nHost: 10.0.0.1\r\n\r\n<t><%val0%></t>";
    ASSERT_EQ(TftpPut(*bench, "tftp://10.213.0.2/WEB6", CobBytes({{"postsoap.xml", doc}})), CURLE_OK);
    EXPECT_EQ(sim->SoapDocument(), doc);
    EXPECT_EQ(sim->Record(0xE2)[104], 1); // soap_file_available
    const HttpResult back = HttpGet(*bench, Url(NetBench::DevIp, "/postsoap.xml"));
    EXPECT_EQ(back.rc, CURLE_OK);
    EXPECT_EQ(back.status, 200);
    EXPECT_EQ(back.body, doc);

    // Several blocks, an image of exactly two blocks (it ends with an empty
    // one), and a bare request without options.
    const std::string big(5000, 'b');
    ASSERT_EQ(TftpPut(*bench, "tftp://10.213.0.2/WEB6", CobBytes({{"postsoap.xml", big}})), CURLE_OK);
    EXPECT_EQ(sim->SoapDocument(), big);
    const std::string even(1024 - 24, 'e');
    ASSERT_EQ(CobBytes({{"postsoap.xml", even}}).size(), 1024u);
    ASSERT_EQ(TftpPut(*bench, "tftp://10.213.0.2/WEB6", CobBytes({{"postsoap.xml", even}})), CURLE_OK);
    EXPECT_EQ(sim->SoapDocument(), even);
    ASSERT_EQ(TftpPut(*bench, "tftp://10.213.0.2/WEB6", CobBytes({{"postsoap.xml", "x"}}), 10000, true),
              CURLE_OK);
    EXPECT_EQ(sim->SoapDocument(), "x");
}

TEST_F(SimBench, MalformedImagesAndOtherFilesAreRefused)
{
    ASSERT_EQ(TftpPut(*bench, "tftp://10.213.0.2/WEB6", CobBytes({{"postsoap.xml", "keep"}})), CURLE_OK);
    Bytes cut = CobBytes({{"postsoap.xml", "new document"}});
    cut.resize(cut.size() - 3);
    EXPECT_NE(TftpPut(*bench, "tftp://10.213.0.2/WEB6", cut), CURLE_OK);
    EXPECT_NE(TftpPut(*bench, "tftp://10.213.0.2/WEB6", Bytes{'n', 'o', 'p', 'e'}), CURLE_OK);
    EXPECT_NE(TftpPut(*bench, "tftp://10.213.0.2/WEB7", CobBytes({{"postsoap.xml", "new"}})), CURLE_OK);
    EXPECT_EQ(sim->SoapDocument(), "keep");
    EXPECT_TRUE(sim->WaitForLog("image refused"));
}

TEST(VynSimBench, WebServerFollowsTheWebPortSetting)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("web");
    SimDevice sim(bench, {"--web-port", "8080"});
    PcSocket pc(bench);
    EXPECT_EQ(sim.Record(0xE2)[14], 0x90); // 8080 = 1F90
    EXPECT_EQ(sim.Record(0xE2)[15], 0x1F);
    EXPECT_EQ(HttpGet(bench, Url(NetBench::DevIp, "/vyn.xml", 8080)).status, 200);
    EXPECT_NE(HttpGet(bench, Url(NetBench::DevIp, "/vyn.xml", 80), 2000).rc, CURLE_OK);

    Bytes r2 = sim.Record(0xE2);
    r2[3] = 0xC2;
    r2[14] = 0x91; // 8081
    ASSERT_TRUE(pc.Ask(r2, NetBench::DevIp));
    EXPECT_EQ(HttpGet(bench, Url(NetBench::DevIp, "/vyn.xml", 8081)).status, 200);
}

TEST_F(SimBench, DropDelayAndTwiceShapeTheAnswers)
{
    sim->Set("drop-first", "2");
    for (int i = 0; i < 3; ++i)
        pc->Send(Header(0xE0), NetBench::DevIp);
    EXPECT_EQ(pc->Collect().size(), 1u);
    EXPECT_NE(sim->Control("stats").find("dropped=2"), std::string::npos);
    // Counted from when it is set.
    sim->Set("drop-first", "1");
    pc->Send(Header(0xE0), NetBench::DevIp);
    pc->Send(Header(0xE0), NetBench::DevIp);
    EXPECT_EQ(pc->Collect().size(), 1u);
    EXPECT_NE(sim->Control("stats").find("received=5 sent=2 dropped=3"), std::string::npos);

    sim->Set("delay", "600");
    pc->Send(Header(0xE0), NetBench::DevIp);
    EXPECT_FALSE(pc->Receive(200ms));
    EXPECT_TRUE(pc->Receive(5000ms));
    sim->Set("delay", "0");

    sim->Set("twice");
    pc->Send(Header(0xE2), NetBench::DevIp);
    const auto twice = pc->Collect();
    ASSERT_EQ(twice.size(), 2u);
    EXPECT_EQ(twice[0].data, twice[1].data);
}

TEST_F(SimBench, AnswersFromAnotherAddressOrPort)
{
    sim->Set("answer-from-ip", "10.213.0.99");
    const auto a = pc->Ask(Header(0xE0), NetBench::DevIp);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->from, "10.213.0.99");
    EXPECT_EQ(a->port, kPort);
    sim->Set("answer-from-ip", "none");
    sim->Set("answer-from-port", "30800");
    const auto b = pc->Ask(Header(0xE0), NetBench::DevIp);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->from, NetBench::DevIp);
    EXPECT_EQ(b->port, 30800);
}

TEST_F(SimBench, MalformedShortAndForeignMacAnswers)
{
    sim->Set("malformed");
    const auto m = pc->Ask(Header(0xE0), NetBench::DevIp);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->data.size(), 124u);
    EXPECT_EQ(m->data[3], 0x5A);
    sim->Set("malformed", "0");
    sim->Set("short", "10");
    const auto s = pc->Ask(Header(0xE0), NetBench::DevIp);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->data.size(), 10u);
    EXPECT_EQ(s->data[3], 0xD0);
    sim->Set("short", "0");
    sim->Set("answer-mac", "02-00-00-00-00-99");
    const auto f = pc->Ask(Header(0xF6), "255.255.255.255");
    ASSERT_TRUE(f);
    EXPECT_EQ(Slice(f->data, 24, 30), (Bytes{2, 0, 0, 0, 0, 0x99}));
}

TEST_F(SimBench, WebFaults)
{
    sim->Set("http-slow", "1500");
    const HttpResult slow = HttpGet(*bench, "http://10.213.0.2/vyn.xml", 10000);
    EXPECT_EQ(slow.status, 200);
    EXPECT_GE(slow.took.count(), 1000);
    EXPECT_NE(HttpGet(*bench, "http://10.213.0.2/vyn.xml", 500).rc, CURLE_OK); // a client that gives up
    sim->Set("http-slow", "0");
    sim->Set("http-404");
    EXPECT_EQ(HttpGet(*bench, "http://10.213.0.2/vyn.xml").status, 404);
}

TEST_F(SimBench, TftpFaults)
{
    const Bytes image = CobBytes({{"postsoap.xml", "doc"}});
    sim->Set("tftp-error");
    EXPECT_EQ(TftpPut(*bench, "tftp://10.213.0.2/WEB6", image), CURLE_TFTP_PERM);
    sim->Set("tftp-error", "0");
    sim->Set("tftp-stall");
    EXPECT_NE(TftpPut(*bench, "tftp://10.213.0.2/WEB6", image, 3000), CURLE_OK);
    EXPECT_FALSE(sim->SoapDocument());
    sim->Set("tftp-stall", "0");
    EXPECT_EQ(TftpPut(*bench, "tftp://10.213.0.2/WEB6", image), CURLE_OK);
    EXPECT_EQ(sim->SoapDocument(), "doc");
}
