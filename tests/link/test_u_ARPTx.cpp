#include "link/u_ARPTx.h"

#include "FakeIpHelper.h"
#include "support/ExceptionText.h"
#include "support/QStringPrint.h"

#include <gtest/gtest.h>

namespace {

using M = TARPManager;

uint32_t ip(const char* text)
{
    return M::StrToIP(QString::fromLatin1(text));
}

MIB_IPNETROW arpRow(const char* addr, TMACBytes mac, uint32_t type, uint32_t macLen = 6)
{
    MIB_IPNETROW r{};
    r.dwIndex = 3;
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
        SetIpHelperLoader([this] { return std::make_unique<FakeIpHelperLink>(fake); });
        platform::SetLastError(0);
    }
    void TearDown() override { SetIpHelperLoader(nullptr); }

    FakeIpHelper fake;
};

} // namespace

TEST(ARPRoutines, AddressesAndMasks)
{
    const uint8_t bytes[4] = {192, 168, 1, 10};
    uint32_t v;
    std::memcpy(&v, bytes, 4);
    EXPECT_EQ(M::IPToStr(v), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(M::StrToIP(QStringLiteral("192.168.1.10")), v);
    EXPECT_EQ(M::StrToIP(QStringLiteral("300.1.1.1")), 0xFFFFFFFFu);
    EXPECT_TRUE(M::IsValidIP(QStringLiteral("255.255.255.255")));
    EXPECT_FALSE(M::IsValidIP(QStringLiteral("300.1.1.1")));
    EXPECT_FALSE(M::IsValidIP(QStringLiteral("host.example")));

    // Holes above the lowest one bit do not count.
    const std::pair<const char*, uint32_t> hostBits[] = {{"255.255.255.0", 8},   {"255.255.0.0", 16},
                                                         {"255.255.255.252", 2}, {"255.255.255.255", 0},
                                                         {"0.0.0.0", 0},         {"255.0.255.0", 8}};
    for (const auto& [mask, bits] : hostBits)
        EXPECT_EQ(M::MaskToHostBits(ip(mask)), bits) << mask;
    for (const auto& [bits, mask] : {std::pair{8, "255.255.255.0"}, {24, "255.0.0.0"}, {32, "0.0.0.0"},
                                     {40, "0.0.0.0"}, {0, "255.255.255.255"}, {-3, "255.255.255.255"}})
        EXPECT_EQ(M::HostBitsToMask(bits), ip(mask)) << bits;
}

TEST(ARPRoutines, MacTextForms)
{
    const uint8_t mac[10] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x70, 0x81, 0x92};
    EXPECT_EQ(M::MACBufToStr(mac, 6), QStringLiteral("00-1a-2b-3c-4d-5e"));
    EXPECT_EQ(M::MACBufToStr(mac, 10), QStringLiteral("00-1a-2b-3c-4d-5e-6f-70"));

    const QByteArray expected("\x00\x1a\x2b\x3c\x4d\x5e", 6);
    for (const char* text : {"00-1A-2b-3C-4d-5E", "00 1a 2b\t3c\r\n4d 5e"})
        EXPECT_EQ(M::StrToMACBytes(QString::fromLatin1(text)), expected) << text;
    EXPECT_EQ(M::StrToMACBytes(QStringLiteral("001a2")), QByteArray("\x00\x1a", 2)); // odd digit ignored
    EXPECT_EQ(ExceptionText<EConvertError>([] { M::StrToMACBytes(QStringLiteral("00-zz-11")); }),
              QStringLiteral("'zz' is not a valid integer value"));

    uint8_t buf[8];
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_FALSE(M::StrToMACBuf(QStringLiteral("00-1A-2B"), buf, 6));
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buf), 7), QByteArray("\x00\x1a\x2b\x00\x00\x00\xee", 7));
    EXPECT_FALSE(M::StrToMACBuf(QStringLiteral("00-1a-2b-3c-4d-5e-6f"), buf, 6)); // too long: 6 filled, false
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buf), 6), expected);

    EXPECT_EQ(M::MACToInt64(QStringLiteral("00-1A-2B-3C-4D-5E")), M::MACToInt64(QStringLiteral("001a2b3c4d5e")));
    EXPECT_NE(M::MACToInt64(QStringLiteral("00-1A-2B-3C-4D-5E")), M::MACToInt64(QStringLiteral("00-1A-2B-3C-4D-5F")));
}

TEST_F(ARPManagerTest, TableReadsAcceptEmptyAnswersAndTryOnceMore)
{
    const struct
    {
        const char* name;
        uint32_t firstResult;
        bool grows;
        int32_t count;
        const char* error;
    } rows[] = {{"rows", 0, false, 2, ""},
                {"no data", platform::ERROR_NO_DATA, false, 0, ""},
                {"refused", platform::ERROR_ACCESS_DENIED, false, -1, "GetARPTable:\r\n"},
                {"grew in between", 0, true, -1, "GetARPTable:\r\n"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        fake = FakeIpHelper{};
        fake.Arp = {arpRow("10.0.0.5", kDevMac, 3), arpRow("10.0.0.6", kOtherMac, 4)};
        fake.ArpFirstResult = r.firstResult;
        if (r.grows)
            fake.ArpGrowth = {arpRow("10.0.0.7", kOtherMac, 3)};
        TARPManager m(false);
        const QString error = ExceptionText<EARPException>([&] { EXPECT_EQ(m.GetARPTable(), r.count); });
        EXPECT_TRUE(error.startsWith(QString::fromLatin1(r.error))) << error.toStdString();
        EXPECT_LE(fake.ArpCalls, 2);
        m.RaiseErrors = false;
        EXPECT_EQ(m.GetARPTable(), r.grows ? 3 : 2);
    }
}

TEST_F(ARPManagerTest, FindAndDeleteEntries)
{
    TARPManager m(false);
    fake.Arp = {arpRow("10.0.0.5", kDevMac, 3, 0), arpRow("10.0.0.5", kDevMac, 4), arpRow("10.0.0.6", kOtherMac, 3),
                arpRow("10.0.0.9", TMACBytes{}, 3)};
    ASSERT_EQ(m.GetARPTable(), 4);
    EXPECT_EQ(m.FindEntryIndex(ip("10.0.0.5"), kDevMac, 0), 1); // row 0 has no 6-byte address
    EXPECT_EQ(m.FindEntryIndex(ip("10.0.0.5"), kDevMac, 3), -1);
    EXPECT_EQ(m.FindEntryIndex(ip("10.0.0.6"), kDevMac, 0), -1);
    EXPECT_EQ(m.FindEntryByIP(ip("10.0.0.5"), 4), 1);

    EXPECT_FALSE(m.DeleteEntry(ip("10.0.0.6"), kDevMac, 0));
    EXPECT_TRUE(m.DeleteEntry(ip("10.0.0.6"), kOtherMac, 0));
    ASSERT_EQ(fake.Deleted.size(), 1u);
    // A zero MAC or one of five bytes deletes nothing.
    EXPECT_FALSE(m.DeleteByMAC(QStringLiteral("00-00-00-00-00-00"), 0));
    EXPECT_FALSE(m.DeleteByMAC(QStringLiteral("00-1a-2b-3c-4d"), 0));
    EXPECT_EQ(fake.Deleted.size(), 1u);
    // Any type: one platform call per row, the rows stay until the next read.
    EXPECT_TRUE(m.DeleteByIP(QStringLiteral("10.0.0.5"), 0));
    EXPECT_EQ(fake.Deleted.size(), 3u);
    EXPECT_EQ(m.ArpCount(), 4);
    EXPECT_EQ(ExceptionText<EARPException>([&] { m.DeleteARPEntryByIndex(4); }),
              QStringLiteral("DeleteARPEntry:\r\nIndex out of bounds."));
}
