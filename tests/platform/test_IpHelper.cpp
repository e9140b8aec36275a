#include "platform/IpHelper.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <cerrno>

using namespace platform;

TEST(IpHelper, AdapterRecordsAreChainedInsideTheBufferAndErrorsHaveTexts)
{
    AdapterEntry bare;
    bare.Name = "eth0";
    bare.Description = std::string(300, 'd'); // cut to fit
    AdapterEntry two;
    two.Name = "eth1";
    two.Addresses = {{inet_addr("10.0.0.5"), inet_addr("255.0.0.0")},
                     {inet_addr("192.168.1.10"), inet_addr("255.255.255.0")}};

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
    ASSERT_NE(a->Next, nullptr);
    ASSERT_NE(a->Next->IpAddressList.Next, nullptr);
    EXPECT_STREQ(a->Next->IpAddressList.Next->IpMask, "255.255.255.0");

    EXPECT_EQ(WriteAdaptersInfo({}, nullptr, &size), NO_ERROR);
    EXPECT_EQ(size, 0u);

    // Error texts end with a line break, as the system's do.
    EXPECT_EQ(SystemErrorText(ERROR_MOD_NOT_FOUND), QStringLiteral("The specified module could not be found.\r\n"));
    EXPECT_TRUE(SystemErrorText(ERROR_ERRNO_FLAG | EIO).endsWith(QStringLiteral("\r\n")));
    EXPECT_TRUE(SystemErrorText(999999).isEmpty());
}
