#include "platform/IpHelper.h"

#include "support/NetBench.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <gtest/gtest.h>

#include <cerrno>

using namespace platform;

namespace {

uint32_t ip(const char* text)
{
    return ::inet_addr(text);
}

} // namespace

TEST(IpHelper, AdapterRecordsAreChainedInsideTheBufferAndErrorsHaveTexts)
{
    AdapterEntry bare;
    bare.Name = "eth0";
    bare.Description = std::string(300, 'd'); // cut to fit
    AdapterEntry two;
    two.Name = "eth1";
    two.Addresses = {{ip("10.0.0.5"), ip("255.0.0.0")}, {ip("192.168.1.10"), ip("255.255.255.0")}};

    uint32_t size = 0;
    EXPECT_EQ(WriteAdaptersInfo({bare, two}, nullptr, &size), ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(size, 2 * sizeof(IP_ADAPTER_INFO) + sizeof(IP_ADDR_STRING));
    std::vector<uint64_t> buffer(size / 8 + 1);
    EXPECT_EQ(WriteAdaptersInfo({bare, two}, reinterpret_cast<char*>(buffer.data()) + 1, &size), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(WriteAdaptersInfo({bare, two}, buffer.data(), &size), NO_ERROR);

    const auto* a = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
    EXPECT_STREQ(a->AdapterName, "eth0");
    EXPECT_EQ(strlen(a->Description), sizeof a->Description - 1);
    EXPECT_STREQ(a->IpAddressList.IpAddress, "0.0.0.0");
    const IP_ADAPTER_INFO* b = a->Next;
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->IpAddressList.IpAddress, "10.0.0.5");
    ASSERT_NE(b->IpAddressList.Next, nullptr);
    EXPECT_STREQ(b->IpAddressList.Next->IpMask, "255.255.255.0");

    EXPECT_EQ(WriteAdaptersInfo({}, nullptr, &size), NO_ERROR);
    EXPECT_EQ(size, 0u);

    // Error texts end with a line break, as the system's do.
    EXPECT_EQ(SystemErrorText(ERROR_MOD_NOT_FOUND), QStringLiteral("The specified module could not be found.\r\n"));
    EXPECT_TRUE(SystemErrorText(ERROR_ERRNO_FLAG | EIO).endsWith(QStringLiteral("\r\n")));
    EXPECT_TRUE(SystemErrorText(999999).isEmpty());
}

TEST(IpHelper, LinuxTablesInANamespace)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("iph");
    NetBench::Entered inPc(bench.PcNamespace());
    auto helper = OpenIpHelper();
    ASSERT_TRUE(helper);

    uint32_t size = 4;
    uint32_t scratch = 0;
    ASSERT_EQ(helper->GetIpAddrTable(&scratch, &size, true), ERROR_INSUFFICIENT_BUFFER);
    std::vector<uint8_t> buffer(size);
    ASSERT_EQ(helper->GetIpAddrTable(buffer.data(), &size, true), NO_ERROR);
    uint32_t count;
    std::memcpy(&count, buffer.data(), 4);
    ASSERT_EQ(count, 2u); // loopback and veth-pc, sorted by address
    MIB_IPADDRROW rows[2];
    std::memcpy(rows, buffer.data() + 4, sizeof rows);
    EXPECT_EQ(rows[0].dwAddr, ip("10.213.0.1"));
    EXPECT_EQ(rows[0].dwBCastAddr, ip("10.213.0.255"));
    EXPECT_EQ(rows[0].dwIndex, if_nametoindex("veth-pc"));
    EXPECT_EQ(rows[1].dwAddr, ip("127.0.0.1"));

    uint32_t index = 0;
    EXPECT_EQ(helper->GetBestInterface(ip("10.213.0.2"), &index), NO_ERROR);
    EXPECT_EQ(index, if_nametoindex("veth-pc"));

    // Entries that cannot be made say why.
    MIB_IPNETROW row{};
    row.dwIndex = index;
    row.dwAddr = ip("10.213.0.70");
    row.dwPhysAddrLen = 6;
    row.dwType = MIB_IPNET_TYPE_INVALID;
    EXPECT_EQ(helper->CreateIpNetEntry(row), ERROR_INVALID_PARAMETER);
    row.dwType = MIB_IPNET_TYPE_STATIC;
    row.dwIndex = 9999;
    EXPECT_EQ(helper->CreateIpNetEntry(row), ERROR_INVALID_PARAMETER);
    // Deleting what is not there leaves the table as wanted.
    row.dwIndex = index;
    EXPECT_EQ(helper->DeleteIpNetEntry(row), NO_ERROR);
}
