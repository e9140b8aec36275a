#include "link/u_ARPTx.h"

#include "FakeIpHelper.h"
#include "support/QStringPrint.h"
#include "support/ExceptionText.h"

#include <gtest/gtest.h>

namespace {

using M = TARPManager;

uint32_t ip(const char* text)
{
    return M::StrToIP(QString::fromLatin1(text));
}

MIB_IPNETROW arpRow(const char* addr, TMACBytes mac, uint32_t type, uint32_t index = 3, uint32_t macLen = 6)
{
    MIB_IPNETROW r{};
    r.dwIndex = index;
    r.dwPhysAddrLen = macLen;
    std::copy(mac.begin(), mac.end(), r.bPhysAddr);
    r.dwAddr = ip(addr);
    r.dwType = type;
    return r;
}

const TMACBytes kDevMac{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
const TMACBytes kOtherMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};

// Every test gets a fresh stand-in, loaded the way the real library is.
class ARPManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetIpHelperLoader([this] {
            ++loads;
            return std::make_unique<FakeIpHelperLink>(fake);
        });
        platform::SetLastError(0);
    }
    void TearDown() override { SetIpHelperLoader(nullptr); }

    FakeIpHelper fake;
    int loads = 0;
};

} // namespace

// ---------------------------------------------------------------- routines

TEST(ARPRoutines, AddressTextAndValidity)
{
    const uint8_t bytes[4] = {192, 168, 1, 10};
    uint32_t v;
    std::memcpy(&v, bytes, 4);
    EXPECT_EQ(M::IPToStr(v), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(M::StrToIP(QStringLiteral("192.168.1.10")), v);

    EXPECT_EQ(M::StrToIP(QStringLiteral("300.1.1.1")), 0xFFFFFFFFu);
    EXPECT_EQ(M::StrToIP(QStringLiteral("255.255.255.255")), 0xFFFFFFFFu);
    EXPECT_TRUE(M::IsValidIP(QStringLiteral("255.255.255.255")));
    EXPECT_FALSE(M::IsValidIP(QStringLiteral("300.1.1.1")));
    EXPECT_FALSE(M::IsValidIP(QStringLiteral("host.example")));
}

TEST(ARPRoutines, ClassesAndMasks)
{
    const std::pair<const char*, char> classes[] = {
        {"127.0.0.1", '\0'}, {"255.255.255.255", '\0'}, {"0.1.2.3", '\0'}, {"10.1.2.3", 'A'}, {"172.16.0.1", 'B'},
        {"192.168.0.1", 'C'}, {"239.1.1.1", 'D'}, {"247.1.1.1", 'D'}, {"248.0.0.1", 'E'}, {"250.0.0.1", 'E'}};
    for (const auto& [address, cls] : classes)
        EXPECT_EQ(M::IPClass(ip(address)), cls) << address;
    EXPECT_EQ(M::ClassMask('a'), ip("255.0.0.0"));
    EXPECT_EQ(M::ClassMask('C'), ip("255.255.255.0"));
    EXPECT_EQ(M::ClassMask('D'), 0u);
    for (const auto& [address, mask] : {std::pair{"172.16.0.1", "255.255.0.0"}, std::pair{"224.0.0.1", "0.0.0.0"},
                                        std::pair{"127.0.0.1", "0.0.0.0"}})
        EXPECT_EQ(M::DefaultMaskStr(QString::fromLatin1(address)), QString::fromLatin1(mask)) << address;

    // Holes above the lowest one bit do not count.
    const std::pair<const char*, uint32_t> hostBits[] = {{"255.255.255.0", 8},   {"255.255.0.0", 16},
                                                         {"255.255.255.252", 2}, {"255.255.255.255", 0},
                                                         {"0.0.0.0", 0},         {"255.0.255.0", 8}};
    for (const auto& [mask, bits] : hostBits)
        EXPECT_EQ(M::MaskToHostBits(ip(mask)), bits) << mask;
    for (const auto& [bits, mask] : {std::pair{8, "255.255.255.0"}, std::pair{24, "255.0.0.0"}, std::pair{32, "0.0.0.0"},
                                     std::pair{40, "0.0.0.0"}, std::pair{0, "255.255.255.255"},
                                     std::pair{-3, "255.255.255.255"}})
        EXPECT_EQ(M::HostBitsToMask(bits), ip(mask)) << bits;
    for (int n = 0; n < 32; ++n)
        EXPECT_EQ(M::MaskToHostBits(M::HostBitsToMask(n)), static_cast<uint32_t>(n)) << n;

    EXPECT_TRUE(M::SameSubnet(ip("192.168.1.77"), ip("192.168.1.10"), ip("255.255.255.0")));
    EXPECT_FALSE(M::SameSubnet(ip("192.168.2.77"), ip("192.168.1.10"), ip("255.255.255.0")));
}

TEST(ARPRoutines, MacTextForms)
{
    const uint8_t mac[10] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x70, 0x81, 0x92};
    EXPECT_EQ(M::MACBufToStr(mac, 6), QStringLiteral("00-1a-2b-3c-4d-5e"));
    EXPECT_EQ(M::MACBufToStr(mac, 10), QStringLiteral("00-1a-2b-3c-4d-5e-6f-70"));
    EXPECT_EQ(M::MACBufToStr(mac, -1), QString());

    const QByteArray expected("\x00\x1a\x2b\x3c\x4d\x5e", 6);
    EXPECT_EQ(M::StrToMACBytes(QStringLiteral("00-1A-2b-3C-4d-5E")), expected);
    EXPECT_EQ(M::StrToMACBytes(QStringLiteral("00 1a 2b\t3c\r\n4d 5e")), expected);
    EXPECT_EQ(M::StrToMACBytes(QStringLiteral("001a2")), QByteArray("\x00\x1a", 2)); // odd digit ignored
    try {
        M::StrToMACBytes(QStringLiteral("00-zz-11"));
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'zz' is not a valid integer value"));
    }

    uint8_t buf[8];
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_FALSE(M::StrToMACBuf(QStringLiteral("00-1A-2B"), buf, 6));
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buf), 7), QByteArray("\x00\x1a\x2b\x00\x00\x00\xee", 7));
    EXPECT_FALSE(M::StrToMACBuf(QStringLiteral("00-1a-2b-3c-4d-5e-6f"), buf, 6)); // too long: 6 filled, false
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buf), 6), expected);
    EXPECT_FALSE(M::StrToMACBuf(QStringLiteral("00-1a"), buf, 0));
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_THROW(M::StrToMACBuf(QStringLiteral("qq"), buf, 6), EConvertError);
    EXPECT_EQ(buf[0], 0xEE); // left alone when the text does not convert

    EXPECT_EQ(M::MACToInt64(QStringLiteral("00-1A-2B-3C-4D-5E")), M::MACToInt64(QStringLiteral("001a2b3c4d5e")));
    EXPECT_NE(M::MACToInt64(QStringLiteral("00-1A-2B-3C-4D-5E")), M::MACToInt64(QStringLiteral("00-1A-2B-3C-4D-5F")));
}

TEST(ARPRoutines, HostNamesWithoutTheNetwork)
{
    EXPECT_EQ(M::ResolveHostName(QStringLiteral("localhost")), ip("127.0.0.1"));
    EXPECT_EQ(M::ResolveHostName(QStringLiteral("10.1.2.3")), ip("10.1.2.3"));
    EXPECT_EQ(M::ResolveHostName(QString()), 0u);
}

TEST(URLRoutines, BuildURL)
{
    EXPECT_EQ(BuildURL(QStringLiteral("10.0.0.2"), 80, QString()), QStringLiteral("http://10.0.0.2/"));
    EXPECT_EQ(BuildURL(QStringLiteral("10.0.0.2"), 8080, QStringLiteral("a/b")), QStringLiteral("http://10.0.0.2:8080/a/b"));
    EXPECT_EQ(BuildURL(QStringLiteral("10.0.0.2"), 0, QStringLiteral("/a")), QStringLiteral("http://10.0.0.2/a"));
    EXPECT_EQ(BuildURL(QString(), 81, QString()), QStringLiteral("http://:81"));
    EXPECT_EQ(BuildURL(QString(), 80, QStringLiteral("x")), QStringLiteral("http:///x"));
}

TEST(URLRoutines, ParseURL)
{
    QString host = QStringLiteral("old"), path = QStringLiteral("old");
    uint16_t port = 1;
    EXPECT_TRUE(ParseURL(QStringLiteral("http://10.0.0.2:8080/a/b"), host, port, path));
    EXPECT_EQ(host, QStringLiteral("10.0.0.2"));
    EXPECT_EQ(port, 8080);
    EXPECT_EQ(path, QStringLiteral("a/b"));

    ParseURL(QStringLiteral(" \t10.0.0.2\r\n "), host, port, path);
    EXPECT_EQ(host, QStringLiteral("10.0.0.2"));
    EXPECT_EQ(port, 80);
    EXPECT_TRUE(path.isEmpty());

    ParseURL(QStringLiteral("http://"), host, port, path);
    EXPECT_TRUE(host.isEmpty());
    EXPECT_EQ(port, 80);
    EXPECT_TRUE(path.isEmpty());

    ParseURL(QStringLiteral("http://h:70000/x"), host, port, path);
    EXPECT_EQ(port, 70000 & 0xFFFF); // kept in 16 bits

    try {
        ParseURL(QStringLiteral("ftp://x"), host, port, path);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid HTTP prefix ftp://"));
    }
    try {
        ParseURL(QStringLiteral("http://h:web/x"), host, port, path);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'web' is not a valid integer value"));
    }
}

// ---------------------------------------------------------------- manager

TEST_F(ARPManagerTest, FindAndDeleteEntries)
{
    TARPManager m(false);
    fake.Arp = {arpRow("10.0.0.5", kDevMac, 3, 3, 0), arpRow("10.0.0.5", kDevMac, 4), arpRow("10.0.0.6", kOtherMac, 3)};
    ASSERT_EQ(m.GetARPTable(), 3);
    EXPECT_EQ(m.FindEntryIndex(ip("10.0.0.5"), kDevMac, 0), 1); // row 0 has no 6-byte address
    EXPECT_EQ(m.FindEntryIndex(ip("10.0.0.5"), kDevMac, 3), -1);
    EXPECT_EQ(m.FindEntryIndex(ip("10.0.0.6"), kDevMac, 0), -1);
    EXPECT_EQ(m.FindEntryByIP(ip("10.0.0.5"), 0), 0);
    EXPECT_EQ(m.FindEntryByIP(ip("10.0.0.5"), 4), 1);
    EXPECT_EQ(m.FindEntry(ip("10.0.0.8"), kDevMac, 0), nullptr);

    EXPECT_FALSE(m.DeleteEntry(ip("10.0.0.6"), kDevMac, 0));
    EXPECT_TRUE(m.DeleteEntry(ip("10.0.0.6"), kOtherMac, 0));
    ASSERT_EQ(fake.Deleted.size(), 1u);
    EXPECT_EQ(m.ArpCount(), 3); // deleted rows stay until the next read
}
