// What the simulator refuses on its command line and in TFTP requests.
#include "Options.h"
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

TEST(VynSimOptions, BadCommandLinesNameTheOption)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"}, {"--port"}, {"--port", "0"}, {"--port", "70000"}, {"--port", "12x"},
        {"--ip", "10.0.0.300"}, {"--ip", "10.0.0.1/33"}, {"--mac", "02-00-00"}, {"--twice=maybe"},
        {"stray"}, {"--iface", ""},
    };
    for (const auto& args : bad) {
        try {
            ParseOptions(args);
            ADD_FAILURE() << "accepted " << args[0];
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(args[0].substr(0, 6)), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(ParseOptions({"--help"}), HelpRequested);
    EXPECT_NE(Usage().find("--drop-first"), std::string::npos);
}

TEST(VynSimTftp, WhatTheDeviceCannotTakeIsRefused)
{
    auto refusal = [](uint16_t op, std::vector<std::string> fields) {
        const auto r = ParseTftpRequest(Request(op, std::move(fields)));
        return r ? AcceptRequest(*r).errorCode : 0xFFFF;
    };
    EXPECT_EQ(refusal(tftp::RRQ, {"WEB6", "octet"}), tftp::AccessViolation);
    EXPECT_EQ(refusal(tftp::WRQ, {"web6", "octet"}), tftp::AccessViolation);
    EXPECT_EQ(refusal(tftp::WRQ, {"WEB6", "netascii"}), tftp::IllegalOperation);
    EXPECT_EQ(refusal(tftp::WRQ, {"WEB6", "octet", "blksize", "7"}), tftp::OptionRefused);
    EXPECT_EQ(refusal(tftp::WRQ, {"WEB6", "octet", "blksize", "lots"}), tftp::OptionRefused);
    EXPECT_EQ(refusal(tftp::WRQ, {"WEB6", "octet", "tsize", "2000000"}), tftp::DiskFull);
    EXPECT_EQ(refusal(tftp::WRQ, {"WEB6", "octet", "timeout", "0"}), tftp::OptionRefused);
    // Not requests at all.
    EXPECT_FALSE(ParseTftpRequest(Bytes{0, 3, 0, 1}));
    EXPECT_FALSE(ParseTftpRequest(Bytes{0, 2, 'W'}));                 // no terminator
    EXPECT_FALSE(ParseTftpRequest(Request(tftp::WRQ, {"WEB6"})));     // no mode
    EXPECT_FALSE(ParseTftpRequest(Request(tftp::WRQ, {"WEB6", "octet", "blksize"})));
    const Bytes error = TftpErrorPacket(2, "no");
    EXPECT_EQ(error, (Bytes{0, 5, 0, 2, 'n', 'o', 0}));
}
