// The simulated device's records and protocol logic, without a network.
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

TEST_F(DeviceTest, SearchAnswerCarriesMacSerialAndAnswerCode)
{
    options.serial = 0x01020304;
    const Reaction r = device.Handle(Header(0xF6), Destination::Broadcast);
    ASSERT_TRUE(r.answer);
    const Bytes& a = *r.answer;
    ASSERT_EQ(a.size(), 30u);
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 4), Header(0xF7));
    EXPECT_EQ(Bytes(a.begin() + 20, a.begin() + 24), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(Bytes(a.begin() + 24, a.end()), Bytes(mac.begin(), mac.end()));
    EXPECT_FALSE(r.move);

    options.faults.answerMac = Mac{1, 2, 3, 4, 5, 6};
    const Bytes other = *device.Handle(Header(0xF6), Destination::Own).answer;
    EXPECT_EQ(Bytes(other.begin() + 24, other.end()), (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST_F(DeviceTest, SetupAnswersHaveTheDocumentsSizesDefaultsAndIdentity)
{
    const uint8_t queries[] = {0xE0, 0xE2, 0xE4, 0xE5, 0xF8};
    const uint8_t answers[] = {0xD0, 0xD2, 0xD4, 0xD5, 0xF9};
    const size_t sizes[] = {124, 130, 130, 130, 124};
    for (int i = 0; i < 5; ++i) {
        const auto r = device.Handle(Header(queries[i], 0x01), Destination::Own);
        ASSERT_TRUE(r.answer) << i;
        EXPECT_EQ(r.answer->size(), sizes[i]);
        // Byte 1 of a query does not come back.
        EXPECT_EQ(Bytes(r.answer->begin(), r.answer->begin() + 4), Header(answers[i]));
    }
    const Bytes r0 = *device.Handle(Header(0xE0), Destination::Own).answer;
    EXPECT_EQ(Bytes(r0.begin() + 4, r0.begin() + 8), (Bytes{10, 213, 0, 2}));
    EXPECT_EQ(r0[10], 8);                          // host bits
    EXPECT_EQ(r0[24], 0x11);                       // unit_port 10001
    EXPECT_EQ(r0[25], 0x27);
    const Bytes r2 = *device.Handle(Header(0xE2), Destination::Own).answer;
    EXPECT_EQ(r2[14], 80);                         // web_port
    EXPECT_EQ(r2[104], 0);                         // no SOAP document
    const Bytes r4 = *device.Handle(Header(0xE4), Destination::Own).answer;
    EXPECT_EQ(Bytes(r4.begin() + 5, r4.begin() + 9), (Bytes{0x0F, 0x27, 0xF1, 0xD8})); // 9999, -9999
    EXPECT_EQ(std::string(r4.begin() + 82, r4.begin() + 88), "garnet");
    EXPECT_EQ(Bytes(r4.begin() + 116, r4.begin() + 121), (Bytes{0x03, 0xEE, 17, 0xC9, 0x00}));
    const Bytes r5 = *device.Handle(Header(0xE5), Destination::Own).answer;
    EXPECT_EQ(std::string(r5.begin() + 106, r5.begin() + 110), std::string("VYN\0", 4));

    options.deviceType = 317;
    options.deviceVersion = 2;
    options.devidPrefix = 0x1234;
    const Bytes other = *device.Handle(Header(0xE4), Destination::Own).answer;
    EXPECT_EQ(Bytes(other.begin() + 116, other.begin() + 121), (Bytes{0x34, 0x12, 2, 0x3D, 0x01}));
}

TEST_F(DeviceTest, SetIsStoredAndAcknowledgedButTheDeviceKeepsItsOwnFacts)
{
    for (int record : {kSetup2, kSetup4, kSetup5}) {
        const Bytes set = SetDatagram(record, 0x01);
        const Reaction r = device.Handle(set, Destination::Own);
        ASSERT_TRUE(r.answer) << record;
        EXPECT_EQ(r.answer->size(), set.size());
        EXPECT_EQ((*r.answer)[3], kRecords[record].setAnswer);
        EXPECT_EQ((*r.answer)[1], 0);
        EXPECT_EQ(device.Records().LastSet(record), set);

        Bytes expected = set;
        expected[1] = 0;
        expected[3] = kRecords[record].answer;
        if (record == kSetup2)
            expected[104] = 0; // whether a document is stored is the device's to say
        if (record == kSetup4) {
            const uint8_t identity[] = {0x03, 0xEE, 17, 0xC9, 0x00};
            std::copy(std::begin(identity), std::end(identity), expected.begin() + 116);
        }
        EXPECT_EQ(*device.Handle(Header(kRecords[record].query), Destination::Own).answer, expected);
    }
    device.SetSoapDocument(Bytes{'x'});
    EXPECT_EQ((*device.Handle(Header(0xE2), Destination::Own).answer)[104], 1);

    // A longer datagram is cut to the record.
    Bytes longer = SetDatagram(kSetup5);
    longer.resize(200, 0xAA);
    EXPECT_EQ(device.Handle(longer, Destination::Own).answer->size(), 130u);
}

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

TEST_F(DeviceTest, SetIpMovesTheDeviceAlsoWhenAddressedToItsFutureAddress)
{
    Bytes set = SetDatagram(kSetIp);
    PutIp(set, 4, "192.168.7.9");
    set[10] = 8;
    PutIp(set, 16, "192.168.7.1");
    const Reaction r = device.Handle(set, Destination::Other);
    ASSERT_TRUE(r.answer);
    ASSERT_TRUE(r.move);
    EXPECT_EQ(r.move->ip, Ip("192.168.7.9"));
    EXPECT_EQ(device.Net().ip, Ip("192.168.7.9"));
    EXPECT_EQ(device.Prefix(), 24);
    EXPECT_EQ(r.answer->size(), 124u);
    EXPECT_EQ((*r.answer)[3], 0xFB);
    EXPECT_EQ(Bytes(r.answer->begin() + 4, r.answer->begin() + 8), (Bytes{192, 168, 7, 9}));
    // Both records that carry the address settings tell the new ones.
    for (uint8_t q : {0xE0, 0xF8}) {
        const Bytes a = *device.Handle(Header(q), Destination::Own).answer;
        EXPECT_EQ(Bytes(a.begin() + 4, a.begin() + 8), (Bytes{192, 168, 7, 9}));
        EXPECT_EQ(a[10], 8);
        EXPECT_EQ(Bytes(a.begin() + 16, a.begin() + 20), (Bytes{192, 168, 7, 1}));
    }
    // The rest of the set-IP record is kept as sent.
    EXPECT_EQ((*device.Handle(Header(0xF8), Destination::Own).answer)[68], 68);
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

TEST_F(DeviceTest, NewAddressOfSetupRecord0TakesEffectWhenTheBatchEnds)
{
    Bytes set0 = SetDatagram(kSetup0, 0x01);
    PutIp(set0, 4, "172.16.5.5");
    set0[10] = 0; // the class's netmask: /16
    PutIp(set0, 16, "0.0.0.0");
    const Reaction r0 = device.Handle(set0, Destination::Own);
    ASSERT_TRUE(r0.answer);
    EXPECT_FALSE(r0.move);
    EXPECT_EQ(device.Net().ip, Ip("10.213.0.2"));
    EXPECT_FALSE(device.Handle(SetDatagram(kSetup2, 0x01), Destination::Own).move);
    const Reaction last = device.Handle(SetDatagram(kSetup5, 0x00), Destination::Own);
    ASSERT_TRUE(last.answer);
    ASSERT_TRUE(last.move);
    EXPECT_EQ(device.Net().ip, Ip("172.16.5.5"));
    EXPECT_EQ(device.Prefix(), 16);
    // Writing the same settings again moves nothing.
    EXPECT_FALSE(device.Handle(set0, Destination::Own).move);
}

TEST_F(DeviceTest, DestinationsAreTold)
{
    EXPECT_EQ(device.Classify(Ip("10.213.0.2")), Destination::Own);
    EXPECT_EQ(device.Classify(Ip("255.255.255.255")), Destination::Broadcast);
    EXPECT_EQ(device.Classify(Ip("10.213.0.255")), Destination::Broadcast);
    EXPECT_EQ(device.Classify(Ip("10.213.0.3")), Destination::Other);
    EXPECT_EQ(PrefixOf(Ip("10.1.1.1"), 0), 8);
    EXPECT_EQ(PrefixOf(Ip("172.16.1.1"), 0), 16);
    EXPECT_EQ(PrefixOf(Ip("192.168.1.1"), 0), 24);
    EXPECT_EQ(PrefixOf(Ip("192.168.1.1"), 24), 8);
    EXPECT_EQ(PrefixOf(Ip("192.168.1.1"), 31), -1);
}

TEST_F(DeviceTest, TemperatureMovesAndTurnsBack)
{
    options.temperature = 200;
    options.temperatureStep = 5;
    std::vector<int> seen;
    for (int i = 0; i < 21; ++i)
        seen.push_back(device.NextTemperature());
    EXPECT_EQ(seen[0], 200);
    EXPECT_EQ(seen[1], 205);
    EXPECT_EQ(seen[10], 250);
    EXPECT_EQ(seen[19], 205);
    EXPECT_EQ(seen[20], 200);
}
