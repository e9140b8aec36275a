// What the simulator refuses in TFTP requests.
#include "TftpService.h"

#include <gtest/gtest.h>

using namespace vynsim;

namespace {

Bytes Request(uint16_t opcode, std::vector<std::string> fields)
{
    Bytes b = {static_cast<uint8_t>(opcode >> 8), static_cast<uint8_t>(opcode)};
    for (const auto& f : fields) {
        b.insert(b.end(), f.begin(), f.end());
        b.push_back(0);
    }
    return b;
}

} // namespace

TEST(VynSimTftp, WhatTheDeviceCannotTakeIsRefused)
{
    const struct
    {
        uint16_t op;
        std::vector<std::string> fields;
        uint16_t error;
    } rows[] = {
        {tftp::RRQ, {"WEB6", "octet"}, tftp::AccessViolation},
        {tftp::WRQ, {"web6", "octet"}, tftp::AccessViolation},
        {tftp::WRQ, {"WEB7", "octet"}, tftp::AccessViolation},
        {tftp::WRQ, {"WEB6", "netascii"}, tftp::IllegalOperation},
        {tftp::WRQ, {"WEB6", "octet", "blksize", "7"}, tftp::OptionRefused},
        {tftp::WRQ, {"WEB6", "octet", "blksize", "lots"}, tftp::OptionRefused},
        {tftp::WRQ, {"WEB6", "octet", "tsize", "2000000"}, tftp::DiskFull},
        {tftp::WRQ, {"WEB6", "octet", "timeout", "0"}, tftp::OptionRefused},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fields[0] + " " + row.fields.back());
        const auto request = ParseTftpRequest(Request(row.op, row.fields));
        ASSERT_TRUE(request);
        EXPECT_EQ(AcceptRequest(*request).errorCode, row.error);
    }
    // Not requests at all.
    EXPECT_FALSE(ParseTftpRequest(Bytes{0, 3, 0, 1}));
    EXPECT_FALSE(ParseTftpRequest(Bytes{0, 2, 'W'}));
    EXPECT_FALSE(ParseTftpRequest(Request(tftp::WRQ, {"WEB6"})));
    EXPECT_FALSE(ParseTftpRequest(Request(tftp::WRQ, {"WEB6", "octet", "blksize"})));
    EXPECT_EQ(TftpErrorPacket(2, "no"), (Bytes{0, 5, 0, 2, 'n', 'o', 0}));
}
