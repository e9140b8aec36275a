#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vynsim {

using Bytes = std::vector<uint8_t>;
using Mac = std::array<uint8_t, 6>;

// An IPv4 address as the socket layer holds it (network byte order).
using Ip4 = uint32_t;

// Misbehaviour a test switches on to see how the program copes with it.
// Everything here can also be changed while the simulator runs.
struct Faults
{
    bool silent = false;                    // nothing is answered, sets are not applied
    int dropFirst = 0;                      // the next N answers are lost
    int delayMs = 0;                        // answers go out this late
    bool twice = false;                     // every answer goes out twice
    std::optional<Ip4> answerFromIp;        // answers leave from this source address
    std::optional<uint16_t> answerFromPort; // answers leave from this source port
    bool malformed = false;                 // answers carry a code byte no record has
    int shortAnswers = 0;                   // answers are cut to N bytes (0: whole)
    std::optional<Mac> answerMac;           // search answers report this MAC
    bool refuseSets = false;                // sets are neither stored nor acknowledged
    int httpSlowMs = 0;                     // web answers start this late
    bool http404 = false;                   // every web page is missing
    bool httpBrokenXml = false;             // the status page is not well-formed
    bool http500Soap = false;               // the stored document is answered with 500
    bool tftpError = false;                 // upload requests get a TFTP error
    bool tftpStall = false;                 // uploads are accepted, then never acknowledged
    int tftpDropBlock = 0;                  // this DATA block is lost once (0: none)
};

struct Options
{
    uint16_t port = 30718;
    uint16_t tftpPort = 69;
    uint16_t webPort = 80;
    std::string iface = "veth-dev";
    std::optional<std::pair<Ip4, int>> ip; // address/prefix to take at start
    std::optional<Mac> mac;                // default: the interface's
    Ip4 gateway = 0;
    uint16_t devidPrefix = 0xEE03;
    uint16_t deviceType = 201;
    uint8_t deviceVersion = 17;
    uint32_t serial = 1;
    int temperature = 235; // tenths of a degree
    int temperatureStep = 1;
    std::string soapFile; // a SOAP document stored from the start
    std::string control;  // path of the control socket
    bool verbose = false;
    Faults faults;
};

// Reads the command line; throws std::invalid_argument naming the bad option.
// `--help` throws HelpRequested.
Options ParseOptions(const std::vector<std::string>& args);

struct HelpRequested
{
};

// Sets one option by name (without "--") as the control socket does; flags
// take "1"/"0". Only options marked changeable at run time are accepted when
// `runtimeOnly` is set. Throws std::invalid_argument.
void SetOption(Options& options, const std::string& name, const std::string& value,
               bool runtimeOnly);

std::string Usage();

// Text forms used in options, logs and the control socket.
std::optional<Ip4> ParseIp(const std::string& text);
std::optional<Mac> ParseMac(const std::string& text);
std::string IpText(Ip4 ip);
std::string MacText(const Mac& mac);
std::string HexText(const uint8_t* data, size_t size, const char* separator = "");
inline std::string HexText(const Bytes& b, const char* separator = "")
{
    return HexText(b.data(), b.size(), separator);
}
std::optional<Bytes> ParseHex(const std::string& text);

} // namespace vynsim
