// The simulator's command line, TFTP negotiation, web answers and control
// commands, without a network.
#include "ControlService.h"
#include "HttpService.h"
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

std::string Body(const std::string& response)
{
    const size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

} // namespace

TEST(VynSimOptions, CommandLineSetsDeviceAndFaults)
{
    const Options o = ParseOptions({"--port", "4000", "--device-type=317", "--device-version", "2",
                                    "--devid-prefix", "0x1234", "--ip", "192.168.50.7/16", "--mac",
                                    "02-00-00-00-00-09", "--twice", "--drop-first", "3", "--answer-from-ip",
                                    "10.213.0.99", "--answer-mac", "02:00:00:00:00:0a", "--verbose"});
    EXPECT_EQ(o.port, 4000);
    EXPECT_EQ(o.deviceType, 317);
    EXPECT_EQ(o.deviceVersion, 2);
    EXPECT_EQ(o.devidPrefix, 0x1234);
    ASSERT_TRUE(o.ip);
    EXPECT_EQ(IpText(o.ip->first), "192.168.50.7");
    EXPECT_EQ(o.ip->second, 16);
    EXPECT_EQ(MacText(*o.mac), "02-00-00-00-00-09");
    EXPECT_TRUE(o.faults.twice);
    EXPECT_EQ(o.faults.dropFirst, 3);
    EXPECT_EQ(IpText(*o.faults.answerFromIp), "10.213.0.99");
    EXPECT_EQ(MacText(*o.faults.answerMac), "02-00-00-00-00-0a");
    EXPECT_TRUE(o.verbose);

    EXPECT_EQ(ParseOptions({}).port, 30718);
}

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

TEST(VynSimOptions, OnlyFaultsAndIdentityChangeWhileRunning)
{
    Options o;
    SetOption(o, "silent", "1", true);
    SetOption(o, "delay", "250", true);
    SetOption(o, "answer-from-port", "0", true);
    SetOption(o, "device-type", "999", true);
    EXPECT_TRUE(o.faults.silent);
    EXPECT_EQ(o.faults.delayMs, 250);
    EXPECT_FALSE(o.faults.answerFromPort);
    EXPECT_EQ(o.deviceType, 999);
    SetOption(o, "silent", "0", true);
    EXPECT_FALSE(o.faults.silent);
    EXPECT_THROW(SetOption(o, "port", "1", true), std::invalid_argument);
    EXPECT_THROW(SetOption(o, "nothing", "1", true), std::invalid_argument);
}

TEST(VynSimTftp, RequestsAreReadAndNegotiated)
{
    const auto r = ParseTftpRequest(
        Request(tftp::WRQ, {"WEB6", "octet", "tsize", "29", "blksize", "512", "timeout", "6", "x", "y"}));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->file, "WEB6");
    const TftpAcceptance a = AcceptRequest(*r);
    ASSERT_TRUE(a.accepted) << a.error;
    EXPECT_EQ(a.blockSize, 512u);
    EXPECT_EQ(a.timeoutS, 6);
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(a.oack, (Pairs{{"tsize", "29"}, {"blksize", "512"}, {"timeout", "6"}}));

    // A larger block is answered with the device's 512, a smaller one kept.
    EXPECT_EQ(AcceptRequest(*ParseTftpRequest(Request(tftp::WRQ, {"WEB6", "OCTET", "BLKSIZE", "1428"})))
                  .blockSize,
              512u);
    EXPECT_EQ(AcceptRequest(*ParseTftpRequest(Request(tftp::WRQ, {"WEB6", "octet", "blksize", "100"})))
                  .blockSize,
              100u);
    // Without options: no OACK, a plain ACK 0.
    const TftpAcceptance bare = AcceptRequest(*ParseTftpRequest(Request(tftp::WRQ, {"WEB6", "octet"})));
    EXPECT_TRUE(bare.accepted);
    EXPECT_TRUE(bare.oack.empty());
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

TEST(VynSimWeb, StatusPageAndStoredDocument)
{
    Options options;
    options.temperature = -50;
    options.temperatureStep = 0;
    Device device(options, Mac{}, NetSettings{0x0200D50A, 8, 0});
    std::string summary;
    const std::string page = WebAnswer(device, "GET /vyn.xml HTTP/1.1\r\nHost: x", summary);
    EXPECT_EQ(page.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(Body(page).find("<temperature>-50</temperature>"), std::string::npos);
    EXPECT_NE(page.find("Content-Length: " + std::to_string(Body(page).size()) + "\r\n"), std::string::npos);

    EXPECT_EQ(WebAnswer(device, "GET /postsoap.xml HTTP/1.1", summary).rfind("HTTP/1.1 404", 0), 0u);
    device.SetSoapDocument(Bytes{'<', 'a', '/', '>'});
    const std::string doc = WebAnswer(device, "GET /postsoap.xml?x=1 HTTP/1.0", summary);
    EXPECT_EQ(doc.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_EQ(Body(doc), "<a/>");
    // A block stored with its own response head goes out as it is.
    const std::string own = "HTTP/1.1 200 OK\r\nContent-type: text/xml\r\n\r\n<b/>";
    device.SetSoapDocument(Bytes(own.begin(), own.end()));
    EXPECT_EQ(WebAnswer(device, "GET /postsoap.xml HTTP/1.1", summary), own);

    EXPECT_EQ(WebAnswer(device, "GET /other HTTP/1.1", summary).rfind("HTTP/1.1 404", 0), 0u);
    EXPECT_EQ(WebAnswer(device, "POST /vyn.xml HTTP/1.1", summary).rfind("HTTP/1.1 501", 0), 0u);
    EXPECT_EQ(WebAnswer(device, "garbage", summary).rfind("HTTP/1.1 400", 0), 0u);

    SetOption(options, "http-broken-xml", "1", true);
    const std::string broken = Body(WebAnswer(device, "GET /vyn.xml HTTP/1.1", summary));
    EXPECT_EQ(broken.find("</vyn>"), std::string::npos);
    options.faults.http404 = true;
    EXPECT_EQ(WebAnswer(device, "GET /vyn.xml HTTP/1.1", summary).rfind("HTTP/1.1 404", 0), 0u);
}

TEST(VynSimControl, CommandsReadRecordsAndChangeFaults)
{
    Options options;
    Device device(options, Mac{2, 0, 0, 0, 0, 1}, NetSettings{0x0200D50A, 8, 0x0100D50A});
    UdpService::Stats stats;
    stats.received = 3;
    EXPECT_EQ(ControlService::Execute(device, stats, "ping"), "ok");
    EXPECT_EQ(ControlService::Execute(device, stats, "set silent 1"), "ok");
    EXPECT_TRUE(options.faults.silent);
    EXPECT_EQ(ControlService::Execute(device, stats, "set port 5").rfind("error", 0), 0u);
    const std::string search = ControlService::Execute(device, stats, "record f6");
    EXPECT_EQ(search.substr(0, 11), "ok 000000f7");
    EXPECT_EQ(search.substr(search.size() - 12), "020000000001");
    // Any code of a record finds it.
    EXPECT_EQ(ControlService::Execute(device, stats, "record c0").substr(0, 11), "ok 000000d0");
    EXPECT_EQ(ControlService::Execute(device, stats, "last-set e0"), "none");
    EXPECT_EQ(ControlService::Execute(device, stats, "record 77").rfind("error", 0), 0u);
    EXPECT_EQ(ControlService::Execute(device, stats, "soap"), "none");
    EXPECT_EQ(ControlService::Execute(device, stats, "address"), "ok 10.213.0.2/24 10.213.0.1");
    EXPECT_EQ(ControlService::Execute(device, stats, "stats"), "ok received=3 sent=0 dropped=0");
    EXPECT_EQ(ControlService::Execute(device, stats, "dance").rfind("error", 0), 0u);
}
