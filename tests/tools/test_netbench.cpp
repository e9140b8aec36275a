#include "support/NetBench.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

// The bench itself: two namespaces that reach each other, and nothing left
// behind afterwards.
TEST(NetBench, PcReachesDeviceAndIsRemovedAfterwards)
{
    VYN_REQUIRE_ROOT();
    std::string pcNs;
    {
        NetBench bench("nb");
        pcNs = bench.PcNamespace();

        // A datagram from the PC namespace to the device namespace arrives.
        int rx = -1;
        {
            NetBench::Entered inDev(bench.DevNamespace());
            rx = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(30999);
            ASSERT_EQ(bind(rx, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        }
        {
            NetBench::Entered inPc(pcNs);
            int tx = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(30999);
            inet_pton(AF_INET, NetBench::DevIp, &to.sin_addr);
            ASSERT_EQ(sendto(tx, "hi", 2, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 2);
            close(tx);
        }
        pollfd p{rx, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 5000), 1);
        sockaddr_in from{};
        socklen_t len = sizeof from;
        char buf[8];
        EXPECT_EQ(recvfrom(rx, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len), 2);
        char text[INET_ADDRSTRLEN];
        EXPECT_STREQ(inet_ntop(AF_INET, &from.sin_addr, text, sizeof text), NetBench::PcIp);
        close(rx);
    }
    EXPECT_NE(std::system(("ip netns list | grep -q '^" + pcNs + "'").c_str()), 0);
}
