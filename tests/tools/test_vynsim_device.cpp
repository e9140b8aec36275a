// What the simulated device leaves unanswered, without a network.
#include "Device.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vynsim;

namespace {

// A set datagram of a record's size; with an address, the set-IP fields:
// the address at byte 4 and the count of host bits at byte 10.
Bytes SetDatagram(int record, const char* ip = nullptr, uint8_t hostBits = 0)
{
    Bytes d(kRecords[record].size);
    d[3] = kRecords[record].set;
    if (ip) {
        const Ip4 v = *ParseIp(ip);
        std::memcpy(&d[4], &v, 4);
        d[10] = hostBits;
    }
    return d;
}

} // namespace

TEST(VynSimDevice, WhatItMustNotAnswerChangesNothing)
{
    Options options;
    Device device(options, Mac{0x02, 0x76, 0x79, 0x6e, 0x00, 0x02}, NetSettings{*ParseIp("10.213.0.2"), 8, 0});
    const Bytes before = *device.Handle({0, 0, 0, 0xE2}, Destination::Own).answer;
    Bytes shortSet = SetDatagram(kSetup2);
    shortSet.pop_back();
    const struct
    {
        const char* what;
        Bytes datagram;
        Destination to;
    } rows[] = {
        {"empty", {}, Destination::Own},
        {"no kind byte", {0, 0, 0}, Destination::Own},
        {"unknown kind", {0, 0, 0, 0x12}, Destination::Own},
        {"an answer", {0, 0, 0, 0xD0}, Destination::Own},
        {"a set-answer", {0, 0, 0, 0xB0}, Destination::Own},
        {"no query", {0, 0, 0, 0xF7}, Destination::Own},
        {"query for another address", {0, 0, 0, 0xF6}, Destination::Other},
        {"record query for another address", {0, 0, 0, 0xE0}, Destination::Other},
        {"short set", shortSet, Destination::Own},
        {"set by broadcast", SetDatagram(kSetup2), Destination::Broadcast},
        {"set IP by broadcast", SetDatagram(kSetIp, "10.213.0.9"), Destination::Broadcast},
        {"set IP to 0.0.0.0", SetDatagram(kSetIp, "0.0.0.0"), Destination::Own},
        {"set IP to loopback", SetDatagram(kSetIp, "127.0.0.5"), Destination::Own},
        {"set IP to multicast", SetDatagram(kSetIp, "224.0.0.1"), Destination::Own},
        {"set IP to broadcast", SetDatagram(kSetIp, "255.255.255.255"), Destination::Own},
        {"set IP with one network bit", SetDatagram(kSetIp, "10.213.0.9", 31), Destination::Own},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_FALSE(device.Handle(row.datagram, row.to).answer);
    }
    EXPECT_EQ(*device.Handle({0, 0, 0, 0xE2}, Destination::Own).answer, before);
    EXPECT_TRUE(device.Records().LastSet(kSetup2).empty());
    EXPECT_EQ(device.Net().ip, *ParseIp("10.213.0.2"));
}
