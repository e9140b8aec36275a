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

MIB_IPADDRROW addrRow(const char* addr, const char* mask)
{
    MIB_IPADDRROW r{};
    r.dwAddr = ip(addr);
    r.dwMask = ip(mask);
    r.dwIndex = 1;
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
    EXPECT_EQ(M::IPToStr(0), QStringLiteral("0.0.0.0"));

    EXPECT_EQ(M::StrToIP(QStringLiteral("300.1.1.1")), 0xFFFFFFFFu);
    EXPECT_EQ(M::StrToIP(QStringLiteral("255.255.255.255")), 0xFFFFFFFFu);
    EXPECT_TRUE(M::IsValidIP(QStringLiteral("255.255.255.255")));
    EXPECT_FALSE(M::IsValidIP(QStringLiteral("300.1.1.1")));
    EXPECT_FALSE(M::IsValidIP(QString()));
    EXPECT_FALSE(M::IsValidIP(QStringLiteral("host.example")));
    EXPECT_TRUE(M::IsValidIP(QStringLiteral("10.0.0.1")));
}

TEST(ARPRoutines, ClassesAndMasks)
{
    EXPECT_EQ(M::IPClass(ip("127.0.0.1")), '\0');
    EXPECT_EQ(M::IPClass(ip("255.255.255.255")), '\0');
    EXPECT_EQ(M::IPClass(ip("0.1.2.3")), '\0');
    EXPECT_EQ(M::IPClass(ip("10.1.2.3")), 'A');
    EXPECT_EQ(M::IPClass(ip("172.16.0.1")), 'B');
    EXPECT_EQ(M::IPClass(ip("192.168.0.1")), 'C');
    EXPECT_EQ(M::IPClass(ip("239.1.1.1")), 'D');
    EXPECT_EQ(M::IPClass(ip("247.1.1.1")), 'D');
    EXPECT_EQ(M::IPClass(ip("248.0.0.1")), 'E');
    EXPECT_EQ(M::IPClass(ip("250.0.0.1")), 'E');

    EXPECT_EQ(M::ClassMask('a'), ip("255.0.0.0"));
    EXPECT_EQ(M::ClassMask('C'), ip("255.255.255.0"));
    EXPECT_EQ(M::ClassMask('D'), 0u);
    EXPECT_EQ(M::DefaultMaskStr(QStringLiteral("172.16.0.1")), QStringLiteral("255.255.0.0"));
    EXPECT_EQ(M::DefaultMaskStr(QStringLiteral("224.0.0.1")), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(M::DefaultMaskStr(QStringLiteral("127.0.0.1")), QStringLiteral("0.0.0.0"));

    EXPECT_EQ(M::MaskToHostBits(ip("255.255.255.0")), 8u);
    EXPECT_EQ(M::MaskToHostBits(ip("255.255.0.0")), 16u);
    EXPECT_EQ(M::MaskToHostBits(ip("255.255.255.252")), 2u);
    EXPECT_EQ(M::MaskToHostBits(ip("255.255.255.255")), 0u);
    EXPECT_EQ(M::MaskToHostBits(0), 0u);
    EXPECT_EQ(M::MaskToHostBits(ip("255.0.255.0")), 8u); // holes above the lowest one bit do not count

    EXPECT_EQ(M::HostBitsToMask(8), ip("255.255.255.0"));
    EXPECT_EQ(M::HostBitsToMask(24), ip("255.0.0.0"));
    EXPECT_EQ(M::HostBitsToMask(32), 0u);
    EXPECT_EQ(M::HostBitsToMask(40), 0u);
    EXPECT_EQ(M::HostBitsToMask(0), 0xFFFFFFFFu);
    EXPECT_EQ(M::HostBitsToMask(-3), 0xFFFFFFFFu);
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
    EXPECT_EQ(M::MACBufToStr(mac, 0), QString());
    EXPECT_EQ(M::MACBufToStr(mac, -1), QString());

    const QByteArray expected("\x00\x1a\x2b\x3c\x4d\x5e", 6);
    EXPECT_EQ(M::StrToMACBytes(QStringLiteral("00-1A-2b-3C-4d-5E")), expected);
    EXPECT_EQ(M::StrToMACBytes(QStringLiteral("001a2b3c4d5e")), expected);
    EXPECT_EQ(M::StrToMACBytes(QStringLiteral("00 1a 2b\t3c\r\n4d 5e")), expected);
    EXPECT_EQ(M::StrToMACBytes(QStringLiteral("001a2")), QByteArray("\x00\x1a", 2)); // odd digit ignored
    try {
        M::StrToMACBytes(QStringLiteral("00-zz-11"));
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'zz' is not a valid integer value"));
    }
    EXPECT_THROW(M::StrToMACBytes(QStringLiteral("0x1a")), EConvertError);

    uint8_t buf[8];
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_FALSE(M::StrToMACBuf(QStringLiteral("00-1A-2B"), buf, 6));
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buf), 7), QByteArray("\x00\x1a\x2b\x00\x00\x00\xee", 7));
    EXPECT_FALSE(M::StrToMACBuf(QStringLiteral("00-1a-2b-3c-4d-5e-6f"), buf, 6)); // too long: 6 filled, false
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buf), 6), expected);
    EXPECT_TRUE(M::StrToMACBuf(QStringLiteral("00-1a-2b-3c-4d-5e"), buf, 6));
    EXPECT_FALSE(M::StrToMACBuf(QStringLiteral("00-1a"), buf, 0));
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_THROW(M::StrToMACBuf(QStringLiteral("qq"), buf, 6), EConvertError);
    EXPECT_EQ(buf[0], 0xEE); // left alone when the text does not convert

    EXPECT_EQ(M::MACToInt64(QStringLiteral("00-1A-2B-3C-4D-5E")), M::MACToInt64(QStringLiteral("001a2b3c4d5e")));
    EXPECT_NE(M::MACToInt64(QStringLiteral("00-1A-2B-3C-4D-5E")), M::MACToInt64(QStringLiteral("00-1A-2B-3C-4D-5F")));
    EXPECT_EQ(M::MACToInt64(QStringLiteral("")), 0);
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
    EXPECT_EQ(BuildURL(QString(), 80, QString()), QStringLiteral("http://"));
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
    EXPECT_EQ(BuildURL(host, port, path), QStringLiteral("http://10.0.0.2:8080/a/b"));

    ParseURL(QStringLiteral(" \t10.0.0.2\r\n "), host, port, path);
    EXPECT_EQ(host, QStringLiteral("10.0.0.2"));
    EXPECT_EQ(port, 80);
    EXPECT_TRUE(path.isEmpty());

    ParseURL(QStringLiteral("HTTP://h/"), host, port, path);
    EXPECT_EQ(host, QStringLiteral("h"));
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
    EXPECT_THROW(ParseURL(QStringLiteral("https://x/"), host, port, path), Exception);
    try {
        ParseURL(QStringLiteral("http://h:web/x"), host, port, path);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'web' is not a valid integer value"));
    }
}

// ---------------------------------------------------------------- manager

TEST_F(ARPManagerTest, TableReadsAndEmptyTables)
{
    TARPManager m(false);
    EXPECT_EQ(m.GetARPTable(), 0); // empty: the first call already fits
    EXPECT_EQ(m.ArpCount(), 0);

    fake.Arp = {arpRow("10.0.0.1", kDevMac, 3), arpRow("10.0.0.2", kOtherMac, 4)};
    EXPECT_EQ(m.GetARPTable(), 2);
    ASSERT_NE(m.ArpRow(1), nullptr);
    EXPECT_EQ(m.ArpRow(1)->dwAddr, ip("10.0.0.2"));
    EXPECT_EQ(m.ArpRow(2), nullptr);
    EXPECT_EQ(m.ArpRow(-1), nullptr);

    // "No data" on the first call is an empty table too.
    FakeIpHelper noData;
    noData.ArpFirstResult = platform::ERROR_NO_DATA;
    SetIpHelperLoader([&noData] { return std::make_unique<FakeIpHelperLink>(noData); });
    EXPECT_EQ(m.GetARPTable(), 0);
    EXPECT_EQ(m.ArpCount(), 0);
}

TEST_F(ARPManagerTest, TableThatGrowsBetweenTheTwoCallsIsReported)
{
    TARPManager m(false);
    fake.Arp = {arpRow("10.0.0.1", kDevMac, 3)};
    ASSERT_EQ(m.GetARPTable(), 1);

    fake.ArpCalls = 0;
    fake.ArpGrowth = {arpRow("10.0.0.9", kOtherMac, 3)};
    EXPECT_EQ(ExceptionText<EARPException>([&] { m.GetARPTable(); }),
              QStringLiteral("GetARPTable:\r\nThe data area passed to a system call is too small.\r\n(#0000007A)"));
    EXPECT_EQ(fake.ArpCalls, 2); // no third try
    EXPECT_EQ(m.ArpCount(), 1);  // the previous rows are kept

    m.RaiseErrors = false;
    fake.ArpCalls = 0;
    EXPECT_EQ(m.GetARPTable(), -1);
    EXPECT_EQ(m.ArpCount(), 1);
}

TEST_F(ARPManagerTest, FailedReadsReportTheLastError)
{
    TARPManager m(false);
    fake.ArpFirstResult = platform::ERROR_ACCESS_DENIED;
    const QString text = ExceptionText<EARPException>([&] { m.GetARPTable(); });
    EXPECT_TRUE(text.startsWith(QStringLiteral("GetARPTable:\r\nAccess is denied"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n(#00000005)")));

    // A failure that leaves no last error is not reported, only returned.
    fake.ArpCalls = 0;
    fake.ArpFirstResult = 31;
    fake.ArpFirstResultSetsLastError = false;
    platform::SetLastError(0);
    EXPECT_EQ(m.GetARPTable(), -1);

    // The interface list reports its own first result.
    fake.InterfaceFirstResult = platform::ERROR_NO_DATA;
    EXPECT_EQ(ExceptionText<EARPException>([&] { m.GetInterfacesInfo(); }),
              QStringLiteral("GetInterfacesInfo:\r\nThere is no data to return.\r\n(#000000E8)"));
    fake.InterfaceFirstResult = 0;
    EXPECT_EQ(m.GetInterfacesInfo(), 0);
    fake.Interfaces.resize(2);
    EXPECT_EQ(m.GetInterfacesInfo(), 2);
    EXPECT_EQ(m.IfCount(), 2);

    // Reading at creation swallows failures.
    fake.ArpCalls = 0;
    fake.ArpFirstResult = platform::ERROR_ACCESS_DENIED;
    fake.ArpFirstResultSetsLastError = true;
    EXPECT_NO_THROW(TARPManager(true));
}

TEST_F(ARPManagerTest, DeleteByIndexIPAndMAC)
{
    TARPManager m(false);
    fake.Arp = {arpRow("10.0.0.5", kDevMac, 3), arpRow("10.0.0.5", kOtherMac, 4),
                arpRow("10.0.0.6", kDevMac, 4, 3, 0), arpRow("10.0.0.7", kOtherMac, 3)};
    ASSERT_EQ(m.GetARPTable(), 4);

    EXPECT_EQ(ExceptionText<EARPException>([&] { m.DeleteARPEntryByIndex(m.ArpCount()); }),
              QStringLiteral("DeleteARPEntry:\r\nIndex out of bounds."));
    m.RaiseErrors = false;
    EXPECT_FALSE(m.DeleteARPEntryByIndex(-1));
    m.RaiseErrors = true;
    EXPECT_TRUE(fake.Deleted.empty());

    // Every type, one platform call per row.
    EXPECT_TRUE(m.DeleteByIP(QStringLiteral("10.0.0.5"), 0));
    ASSERT_EQ(fake.Deleted.size(), 2u);
    fake.Deleted.clear();
    EXPECT_TRUE(m.DeleteByIPNum(ip("10.0.0.5"), 4));
    ASSERT_EQ(fake.Deleted.size(), 1u);
    EXPECT_EQ(fake.Deleted[0].dwType, 4u);
    fake.Deleted.clear();
    EXPECT_FALSE(m.DeleteByIP(QStringLiteral("10.0.0.99"), 0));

    // By MAC: the first six bytes count, whatever length the row claims.
    EXPECT_TRUE(m.DeleteByMAC(QStringLiteral("00-1A-2B-3C-4D-5E"), 0));
    ASSERT_EQ(fake.Deleted.size(), 2u);
    EXPECT_EQ(fake.Deleted[1].dwAddr, ip("10.0.0.6"));
    fake.Deleted.clear();
    EXPECT_TRUE(m.DeleteByMACBytes(kOtherMac, 3));
    ASSERT_EQ(fake.Deleted.size(), 1u);
    EXPECT_EQ(fake.Deleted[0].dwAddr, ip("10.0.0.7"));
    fake.Deleted.clear();
    EXPECT_FALSE(m.DeleteByMAC(QStringLiteral("00-00-00-00-00-00"), 0));
    EXPECT_FALSE(m.DeleteByMAC(QStringLiteral("00-1A-2B-3C-4D"), 0));
    EXPECT_TRUE(fake.Deleted.empty());

    // A refused deletion: raised, or just false with errors off.
    fake.DeleteResult = platform::ERROR_ACCESS_DENIED;
    EXPECT_TRUE(ExceptionText<EARPException>([&] { m.DeleteARPEntryByIndex(0); }).startsWith(QStringLiteral("DeleteARPEntry:\r\n")));
    m.RaiseErrors = false;
    EXPECT_FALSE(m.DeleteByIP(QStringLiteral("10.0.0.5"), 0));
}

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
    EXPECT_EQ(m.FindEntryByIP(ip("10.0.0.8"), 0), -1);
    EXPECT_EQ(m.FindEntry(ip("10.0.0.8"), kDevMac, 0), nullptr);
    EXPECT_FALSE(M::RowHasMAC(nullptr, kDevMac));

    EXPECT_FALSE(m.DeleteEntry(ip("10.0.0.6"), kDevMac, 0));
    EXPECT_TRUE(m.DeleteEntry(ip("10.0.0.6"), kOtherMac, 0));
    ASSERT_EQ(fake.Deleted.size(), 1u);
    EXPECT_EQ(m.ArpCount(), 3); // deleted rows stay until the next read
}

TEST_F(ARPManagerTest, CreateEntryChoosesTheInterface)
{
    TARPManager m(false);
    ASSERT_TRUE(m.CreateARPEntry(ip("10.0.0.50"), kDevMac, 4));
    ASSERT_EQ(fake.Created.size(), 1u);
    const MIB_IPNETROW& row = fake.Created[0];
    EXPECT_EQ(row.dwIndex, 7u); // the best interface
    EXPECT_EQ(row.dwPhysAddrLen, 6u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(row.bPhysAddr), 8), QByteArray("\x00\x1a\x2b\x3c\x4d\x5e\x00\x00", 8));
    EXPECT_EQ(row.dwAddr, ip("10.0.0.50"));
    EXPECT_EQ(row.dwType, 4u);

    EXPECT_TRUE(m.CreateARPEntry(ip("10.0.0.50"), kDevMac, 4, 12));
    EXPECT_EQ(fake.Created.back().dwIndex, 12u);

    // No best interface: the first ARP row's interface...
    fake.BestResult = platform::ERROR_NETWORK_UNREACHABLE;
    fake.Arp = {arpRow("10.0.0.1", kOtherMac, 3, 9)};
    m.GetARPTable();
    EXPECT_TRUE(m.CreateARPEntry(ip("10.0.0.50"), kDevMac, 4));
    EXPECT_EQ(fake.Created.back().dwIndex, 9u);
    // ...also with errors off, where the look-up gives 0 instead of raising.
    m.RaiseErrors = false;
    EXPECT_TRUE(m.CreateARPEntry(ip("10.0.0.50"), kDevMac, 4));
    EXPECT_EQ(fake.Created.back().dwIndex, 9u);
    m.RaiseErrors = true;

    // ...and without rows, the failure is reported under CreateARPEntry.
    fake.Arp.clear();
    m.GetARPTable();
    const size_t created = fake.Created.size();
    const QString text = ExceptionText<EARPException>([&] { m.CreateARPEntry(ip("10.0.0.50"), kDevMac, 4); });
    EXPECT_TRUE(text.startsWith(QStringLiteral("CreateARPEntry:\r\nThe network location cannot be reached.")))
        << text.toStdString();
    EXPECT_EQ(fake.Created.size(), created);
    m.RaiseErrors = false;
    EXPECT_FALSE(m.CreateARPEntry(ip("10.0.0.50"), kDevMac, 4));

    // A refused entry.
    fake.BestResult = 0;
    fake.CreateResult = platform::ERROR_ACCESS_DENIED;
    EXPECT_FALSE(m.CreateARPEntry(ip("10.0.0.50"), kDevMac, 4));
    m.RaiseErrors = true;
    EXPECT_TRUE(ExceptionText<EARPException>([&] { m.CreateARPEntry(ip("10.0.0.50"), kDevMac, 4); }).contains(QStringLiteral("CAP_NET_ADMIN")));
}

TEST_F(ARPManagerTest, ResolveMacAsksTheWireAndNeverRaises)
{
    TARPManager m(false);
    fake.Arp = {arpRow("10.0.0.8", kOtherMac, 3), arpRow("10.0.0.2", kOtherMac, 3, 5)};
    TMACBuffer mac;
    mac.fill(0xEE);
    ASSERT_TRUE(m.ResolveMAC(ip("10.0.0.2"), mac));
    EXPECT_EQ(TMACBytes({mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]}), kDevMac);
    EXPECT_EQ(mac[6], 0);
    ASSERT_EQ(fake.Deleted.size(), 1u); // the cached entry went first
    EXPECT_EQ(fake.Deleted[0].dwIndex, 5u);
    EXPECT_EQ(fake.ArpRequests, std::vector<uint32_t>{ip("10.0.0.2")});
    EXPECT_EQ(fake.LastRequestLength, 6u);

    // Nobody answers, and the cache cannot be cleared either.
    fake.ArpRequestResult = platform::ERROR_BAD_NET_NAME;
    fake.DeleteResult = platform::ERROR_ACCESS_DENIED;
    bool ok = true;
    EXPECT_NO_THROW(ok = m.ResolveMAC(ip("10.0.0.2"), mac));
    EXPECT_FALSE(ok);
    EXPECT_EQ(mac, TMACBuffer{});
    EXPECT_EQ(platform::GetLastError(), 0u);

    // SendARP itself raises, and asks with 8 bytes of room unless told 6.
    EXPECT_TRUE(ExceptionText<EARPException>([&] {
                    uint32_t len = 3;
                    m.SendARP(ip("10.0.0.2"), mac, len, 0);
                }).startsWith(QStringLiteral("SendARP:\r\nThe network name cannot be found")));
    EXPECT_EQ(fake.LastRequestLength, 8u);
}

TEST_F(ARPManagerTest, SubnetTestReadsTheAddressTableOnce)
{
    TARPManager m(false);
    fake.Addrs = {addrRow("0.0.0.0", "0.0.0.0"), addrRow("10.0.0.5", "255.0.0.0")};
    EXPECT_FALSE(m.IsLocalSubnet(ip("192.168.1.77")));
    EXPECT_TRUE(m.IsLocalSubnet(ip("10.9.9.9")));
    EXPECT_EQ(fake.AddrCalls, 2); // two calls of one read

    fake.Addrs.push_back(addrRow("192.168.1.10", "255.255.255.0"));
    EXPECT_FALSE(m.IsLocalSubnetStr(QStringLiteral("192.168.1.77"))); // rows held from before
    EXPECT_EQ(m.GetIPTable(), 3);
    EXPECT_TRUE(m.IsLocalSubnetStr(QStringLiteral("192.168.1.77")));
    EXPECT_FALSE(m.IsLocalSubnetStr(QStringLiteral("192.168.2.77")));
    ASSERT_NE(m.AddrRow(2), nullptr);
    EXPECT_EQ(m.AddrRow(3), nullptr);
}

TEST_F(ARPManagerTest, LocalAddressesSkipAdaptersWithoutOne)
{
    TARPManager m(false);
    AAdapterIPAddresses list{TAdapterIPAddress{}};
    EXPECT_EQ(m.GetLocalAddresses(list, true), 0);
    EXPECT_TRUE(list.empty());

    platform::AdapterEntry none;
    none.Name = "eth0";
    none.Description = "Unplugged";
    platform::AdapterEntry two;
    two.Name = "eth1";
    two.Description = "Office";
    two.Addresses = {{ip("10.0.0.5"), ip("255.0.0.0")}, {ip("192.168.1.10"), ip("255.255.255.0")}};
    fake.Adapters = {none, two};
    EXPECT_EQ(m.GetLocalAddresses(list, false), 0); // not read yet
    EXPECT_EQ(m.GetLocalAddresses(list, true), 2);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].IP, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(list[0].Mask, QStringLiteral("255.0.0.0"));
    EXPECT_EQ(list[1].IP, QStringLiteral("192.168.1.10"));
    EXPECT_EQ(list[1].AdapterName, QStringLiteral("eth1"));
    EXPECT_EQ(list[1].Description, QStringLiteral("Office"));

    EXPECT_EQ(m.AdapterCount(), 2);
    EXPECT_EQ(m.AdapterName(0), QStringLiteral("eth0"));
    EXPECT_EQ(m.AdapterDescription(2), QString());
    ASSERT_NE(m.AdapterAddress(0, 0), nullptr);
    EXPECT_STREQ(m.AdapterAddress(0, 0)->IpAddress, "0.0.0.0");
    EXPECT_EQ(m.AdapterAddress(0, 1), nullptr);
    ASSERT_NE(m.AdapterAddress(1, 1), nullptr);
    EXPECT_STREQ(m.AdapterAddress(1, 1)->IpMask, "255.255.255.0");
    EXPECT_EQ(m.AdapterAddress(1, 2), nullptr);
    EXPECT_EQ(m.AdapterAddress(5, 0), nullptr);
}

TEST_F(ARPManagerTest, MissingLibraryFailsInOrder)
{
    SetIpHelperLoader([this]() -> std::unique_ptr<platform::IpHelper> {
        ++loads;
        platform::SetLastError(0);
        return nullptr;
    });
    TARPManager m(false);
    EXPECT_EQ(ExceptionText<EARPException>([&] { m.GetARPTable(); }),
              QStringLiteral("iphlpapi.dll:\r\nThe specified module could not be found.\r\n(#0000007E)"));
    EXPECT_THROW(m.IsLocalSubnet(ip("10.0.0.1")), EARPException);

    TMACBuffer mac;
    EXPECT_FALSE(m.ResolveMAC(ip("10.0.0.1"), mac));
    m.RaiseErrors = false;
    EXPECT_EQ(m.GetARPTable(), -1);
    EXPECT_EQ(m.GetAdaptersInfo(), -1);
    EXPECT_EQ(m.GetBestInterface(ip("10.0.0.1")), 0u);
    EXPECT_FALSE(m.CreateARPEntry(ip("10.0.0.1"), kDevMac, 4));
    AAdapterIPAddresses list;
    EXPECT_EQ(m.GetLocalAddresses(list, true), 0);
    EXPECT_EQ(loads, 1); // no new attempt after a failure
}

TEST_F(ARPManagerTest, SharedInstance)
{
    TARPManager& a = ARPManager();
    EXPECT_EQ(&a, &ARPManager());
    EXPECT_TRUE(a.RaiseErrors);
    EXPECT_TRUE(a.SortTables);
    EXPECT_EQ(loads, 0); // made without reading any table
}
