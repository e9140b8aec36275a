// What the simulated device refuses, without a network.
#include "Device.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace vynsim;

namespace {

Ip4 Ip(const char* text)
{
    return *ParseIp(text);
}

Bytes Header(uint8_t code, uint8_t byte1 = 0)
{
    return {0, byte1, 0, code};
}

// A set datagram of a record's size: the header, then a pattern that makes
// every byte's position visible.
Bytes SetDatagram(int record, uint8_t byte1 = 0)
{
    Bytes d(kRecords[record].size);
    for (size_t i = 4; i < d.size(); ++i)
        d[i] = static_cast<uint8_t>(i);
    d[1] = byte1;
    d[3] = kRecords[record].set;
    return d;
}

void PutIp(Bytes& d, size_t at, const char* ip)
{
    const Ip4 v = Ip(ip);
    std::memcpy(&d[at], &v, 4);
}

struct DeviceTest : ::testing::Test
{
    Options options;
    Mac mac{0x02, 0x76, 0x79, 0x6e, 0x00, 0x02};
    Device device{options, mac, NetSettings{Ip("10.213.0.2"), 8, 0}};
};

} // namespace

TEST_F(DeviceTest, SetsThatAreShortBroadcastOrRefusedChangeNothing)
{
    const Bytes before = *device.Handle(Header(0xE2), Destination::Own).answer;
    Bytes shortSet = SetDatagram(kSetup2);
    shortSet.resize(129);
    EXPECT_FALSE(device.Handle(shortSet, Destination::Own).answer);
    EXPECT_FALSE(device.Handle(SetDatagram(kSetup2), Destination::Broadcast).answer);
    options.faults.refuseSets = true;
    const Reaction refused = device.Handle(SetDatagram(kSetup2), Destination::Own);
    EXPECT_FALSE(refused.answer);
    EXPECT_NE(refused.note.find("refused"), std::string::npos);
    EXPECT_EQ(*device.Handle(Header(0xE2), Destination::Own).answer, before);
    EXPECT_TRUE(device.Records().LastSet(kSetup2).empty());
}

TEST_F(DeviceTest, DatagramsThatAreNoRequestsAreIgnored)
{
    EXPECT_FALSE(device.Handle(Bytes{0, 0, 0}, Destination::Own).answer);
    EXPECT_FALSE(device.Handle(Bytes{}, Destination::Own).answer);
    EXPECT_FALSE(device.Handle(Header(0x12), Destination::Own).answer);
    EXPECT_FALSE(device.Handle(Header(0xD0), Destination::Own).answer);  // an answer
    EXPECT_FALSE(device.Handle(Header(0xB0), Destination::Own).answer);  // a set-answer
    EXPECT_FALSE(device.Handle(Header(0xF7), Destination::Own).answer);
    // Queries to an address that is not ours are not for us.
    EXPECT_FALSE(device.Handle(Header(0xF6), Destination::Other).answer);
    EXPECT_FALSE(device.Handle(Header(0xE0), Destination::Other).answer);
}

TEST_F(DeviceTest, SetIpByBroadcastOrToAnUnusableAddressIsRefused)
{
    Bytes set = SetDatagram(kSetIp);
    PutIp(set, 4, "10.213.0.9");
    set[10] = 0;
    EXPECT_FALSE(device.Handle(set, Destination::Broadcast).answer);
    for (const char* bad : {"0.0.0.0", "127.0.0.5", "224.0.0.1", "255.255.255.255"}) {
        PutIp(set, 4, bad);
        EXPECT_FALSE(device.Handle(set, Destination::Own).answer) << bad;
    }
    PutIp(set, 4, "10.213.0.9");
    set[10] = 31; // no netmask leaves a single bit of network
    EXPECT_FALSE(device.Handle(set, Destination::Own).answer);
    EXPECT_EQ(device.Net().ip, Ip("10.213.0.2"));
}
