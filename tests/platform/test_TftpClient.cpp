// The TFTP client against loopback servers that lose packets, refuse or
// say nothing.
#include "platform/TftpClient.h"
#include "support/ExceptionText.h"
#include "support/QStringPrint.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <thread>
#include <vector>

using namespace platform;

namespace {

using Clock = std::chrono::steady_clock;

struct Plan
{
    bool dropWrq = false;             // the first write request is lost
    std::vector<int> dropBlocks = {}; // these DATA blocks are lost the first time
    int copies = 1;                   // every acknowledgement goes out this often
    int repeatMs = 0; // the last acknowledgement again this long after it went; 0: never
    // To the write request; empty: none, an ERROR packet ends the upload.
    QByteArray answer = QByteArray("\0\6blksize\0" "512\0", 14);
};

// One upload's server, as TFTP servers work: a port of its own for the
// transfer, a duplicate DATA acknowledged again, and the last
// acknowledgement repeated on its own timer, given up after three repeats
// without progress. What arrived is read after Join().
class LossyServer
{
public:
    explicit LossyServer(const Plan& plan) : m_plan(plan)
    {
        m_port = Bind(m_fd);
        m_thread = std::thread([this] { Run(); });
    }
    ~LossyServer()
    {
        Join();
        close(m_session);
        close(m_fd);
    }
    void Join()
    {
        shutdown(m_fd, SHUT_RDWR); // a silent server reads what came, then ends
        if (m_thread.joinable())
            m_thread.join();
    }
    uint16_t Port() const { return m_port; }

    int Wrqs = 0;
    std::map<int, int> DataCount; // block number: DATA packets that arrived
    QByteArray Stored;

private:
    static uint16_t Bind(int fd)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        bind(fd, reinterpret_cast<sockaddr*>(&a), len);
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        return ntohs(a.sin_port);
    }

    static bool Wait(int fd, int ms)
    {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, ms) > 0;
    }

    void Acknowledge(const QByteArray& packet)
    {
        m_ack = packet;
        for (int i = 0; i < m_plan.copies; ++i)
            send(m_session, packet.constData(), size_t(packet.size()), 0);
        m_ackSent = Clock::now();
    }

    void Run()
    {
        char buf[2048]; // room for blocks larger than agreed
        sockaddr_in from{};
        for (;;) {
            if (!Wait(m_fd, 20000))
                return;
            socklen_t len = sizeof from;
            const ssize_t n = recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0)
                return; // Join()
            if (n >= 2 && buf[1] == 2 && ++Wrqs > int(m_plan.dropWrq) && !m_plan.answer.isEmpty())
                break;
        }
        Bind(m_session);
        connect(m_session, reinterpret_cast<sockaddr*>(&from), sizeof from);
        Acknowledge(m_plan.answer);
        if (m_plan.answer[1] == 5)
            return; // refused
        uint16_t expected = 1;
        std::set<int> dropped;
        for (int repeats = 0;;) {
            const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_ackSent);
            if (!Wait(m_session, m_plan.repeatMs ? std::max<int>(0, m_plan.repeatMs - int(since.count())) : 20000)) {
                if (!m_plan.repeatMs || ++repeats > 3)
                    return; // the client is gone
                Acknowledge(m_ack);
                continue;
            }
            const ssize_t n = recv(m_session, buf, sizeof buf, 0);
            if (n < 4 || buf[1] != 3)
                continue;
            const uint16_t block = uint16_t(uint8_t(buf[2]) << 8 | uint8_t(buf[3]));
            ++DataCount[block];
            if (std::ranges::count(m_plan.dropBlocks, block) && dropped.insert(block).second)
                continue; // lost on the way
            if (block == uint16_t(expected - 1)) {
                Acknowledge(m_ack); // our acknowledgement was lost
                continue;
            }
            if (block != expected)
                continue;
            Stored.append(buf + 4, n - 4);
            ++expected;
            repeats = 0;
            Acknowledge(QByteArray("\0\4", 2) + char(block >> 8) + char(block & 0xFF));
            if (n - 4 < 512)
                return;
        }
    }

    const Plan m_plan;
    int m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int m_session = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    uint16_t m_port = 0;
    QByteArray m_ack;
    Clock::time_point m_ackSent;
    std::thread m_thread;
};

} // namespace

// One lost packet costs one resend, however the server repeats itself, and
// a repeated acknowledgement is never answered with a second DATA; each
// block has three resends of its own. A refusal ends the upload in the
// server's words (windows-1250, as the device writes; cut to 512 characters)
// or its code.
TEST(TftpClient, UploadArrivesWholeOrEndsWithTheReason)
{
    QByteArray data;
    for (int i = 0; i < 4 * 512 + 100; ++i)
        data.append(char(i * 31 + i / 512));
    QByteArray wordy; // a whole datagram of the server's words
    for (int i = 0; i < 65000; ++i)
        wordy.append(char('a' + i % 26));
    const struct
    {
        const char* name;
        Plan plan;
        std::vector<int> twice; // the DATA blocks that arrive twice
        int wrqs = 1;
        int timeoutMs = 3000; // per packet, as the device agrees
        QString error = "<no exception>";
    } rows[] = {
        {"write request lost", {.dropWrq = true}, {}, 2},
        {"first block lost, acknowledgement repeated", {.dropBlocks = {1}, .repeatMs = 2900}, {1}},
        {"middle block lost, acknowledgement repeated", {.dropBlocks = {3}, .repeatMs = 2900}, {3}},
        {"every acknowledgement three times", {.copies = 3}, {}},
        {"one loss in each of four blocks", {.dropBlocks = {1, 2, 3, 4}}, {1, 2, 3, 4}, 1, 1000},
        {"OACK without options: 512-byte blocks", {.answer = QByteArray("\0\6", 2)}, {}},
        {"refused", {.answer = QByteArray("\0\5\0\2P\xF8\xEDstup odep\xF8" "en", 20)}, {}, 1, 3000,
         QStringLiteral("Přístup odepřen")},
        // Letters where windows-1250 and ISO-8859-2 differ: š ž ť.
        {"refused in the device's code page",
         {.answer = QByteArray("\0\5\0\3", 4) + "Pam\xEC\x9D je pln\xE1, soubor je\x9At\xEC nelze ulo\x9Eit"}, {}, 1,
         3000, QStringLiteral("Paměť je plná, soubor ještě nelze uložit")},
        {"refused at length", {.answer = QByteArray("\0\5\0\0", 4) + wordy}, {}, 1, 3000,
         QString::fromLatin1(wordy.left(512)) + QStringLiteral("…")},
        {"refused in as many words as are shown", {.answer = QByteArray("\0\5\0\0", 4) + wordy.left(512)}, {}, 1,
         3000, QString::fromLatin1(wordy.left(512))},
        {"refused in one word more", {.answer = QByteArray("\0\5\0\0", 4) + wordy.left(513)}, {}, 1, 3000,
         QString::fromLatin1(wordy.left(512)) + QStringLiteral("…")},
        {"refused without text", {.answer = QByteArray("\0\5\0\2", 4)}, {}, 1, 3000, "TFTP error 2"},
        {"silent", {.answer = {}}, {}, 4, 100, "No answer from 127.0.0.1 within 400 ms (sent 4 times)."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LossyServer server(row.plan);
        TftpOptions o;
        o.Port = server.Port();
        o.BlockSize = 1024; // every server here holds to 512
        o.TimeoutMs = row.timeoutMs;
        int64_t moved = 0;
        TransferEvents events;
        events.OnWork = [&](int64_t count) { moved = count; };
        EXPECT_EQ(ExceptionText([&] { TftpPut(QStringLiteral("127.0.0.1"), QStringLiteral("WEB6"), data, o, events); }),
                  row.error);
        server.Join();
        const bool whole = row.error == "<no exception>";
        EXPECT_EQ(server.Stored, whole ? data : QByteArray());
        EXPECT_EQ(moved, server.Stored.size());
        EXPECT_EQ(server.Wrqs, row.wrqs);
        std::map<int, int> expected;
        for (int block = 1; whole && block <= 5; ++block)
            expected[block] = 1;
        for (const int block : row.twice)
            expected[block] = 2;
        EXPECT_EQ(server.DataCount, expected);
    }
}
