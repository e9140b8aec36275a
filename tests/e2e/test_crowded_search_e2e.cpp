// A search by MAC on a crowded segment: 200 other devices answer every
// broadcast search in one burst while the PC is busy for a moment, as a
// loaded PC is. On a quiet PC the receiving side keeps up and hides a
// receive buffer too small for the burst.

#include "link/ConversationTestKit.h"
#include "support/CrowdResponder.h"
#include "support/QStringPrint.h"
#include "support/SimDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace {

// The kernel's count of datagrams dropped because a receive buffer was full.
long UdpReceiveBufferErrors(const NetBench& bench)
{
    std::istringstream snmp(bench.OutputInPc("cat /proc/net/snmp"));
    std::string names, values, line;
    while (std::getline(snmp, line)) {
        if (line.rfind("Udp: ", 0) != 0)
            continue;
        (names.empty() ? names : values) = line;
    }
    std::istringstream n(names), v(values);
    std::string name, value;
    while (n >> name && v >> value)
        if (name == "RcvbufErrors")
            return std::stol(value);
    return -1;
}

} // namespace

TEST(CrowdedSearch, EverySearchByMACFindsItsDeviceAmongTwoHundredAnsweringOnes)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("crowd");
    // The searched device answers just after the crowd's burst, the worst of
    // the orders a real segment gives.
    SimDevice sim(bench, {"--delay", "5"});
    CrowdResponder crowd(bench, 200);
    const long overflowsBefore = UdpReceiveBufferErrors(bench);
    ASSERT_GE(overflowsBefore, 0);

    // The simulated device, and the first and the last of the crowd.
    const std::pair<QString, QString> rows[] = {
        {QStringLiteral("02-76-79-6e-00-02"), QString::fromLatin1(NetBench::DevIp)},
        {QStringLiteral("02-63-72-00-00-c8"), QStringLiteral("10.213.0.209")},
        {QStringLiteral("02-63-72-00-00-01"), QStringLiteral("10.213.0.10")},
    };
    constexpr int Searches = 12;
    NetBench::RunOnThreadIn(bench.PcNamespace(), false, [&] {
        TRecordingConversations c(0, nullptr);
        // Busy for 20 ms right after each query went out.
        c.MySock.OnDataSent = [](TMySocket*, int32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
        for (int i = 0; i < Searches; ++i) {
            const auto& [mac, ip] = rows[i % std::size(rows)];
            QString found;
            ASSERT_EQ(c.FindIPByMAC(mac, QString(), found, false), ip) << "search " << i << " for " << mac.toStdString();
        }
    });
    EXPECT_EQ(crowd.Bursts(), Searches);
    EXPECT_EQ(crowd.SendFailures(), 0);
    EXPECT_EQ(UdpReceiveBufferErrors(bench), overflowsBefore);
}
