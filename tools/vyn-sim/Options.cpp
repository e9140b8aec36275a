#include "Options.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdio>
#include <functional>
#include <stdexcept>

namespace vynsim {

namespace {

long long ToInt(const std::string& name, const std::string& value, long long min, long long max)
{
    long long n = 0;
    int base = 10;
    const char* first = value.data();
    const char* last = value.data() + value.size();
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        base = 16;
        first += 2;
    }
    const auto [ptr, ec] = std::from_chars(first, last, n, base);
    if (value.empty() || ec != std::errc() || ptr != last || n < min || n > max)
        throw std::invalid_argument("--" + name + ": '" + value + "' is not a number from "
                                    + std::to_string(min) + " to " + std::to_string(max));
    return n;
}

bool ToFlag(const std::string& name, const std::string& value)
{
    if (value == "1" || value == "on" || value == "true")
        return true;
    if (value == "0" || value == "off" || value == "false")
        return false;
    throw std::invalid_argument("--" + name + ": '" + value + "' is not 1 or 0");
}

Ip4 ToIp(const std::string& name, const std::string& value)
{
    if (auto ip = ParseIp(value))
        return *ip;
    throw std::invalid_argument("--" + name + ": '" + value + "' is not an IPv4 address");
}

Mac ToMac(const std::string& name, const std::string& value)
{
    if (auto mac = ParseMac(value))
        return *mac;
    throw std::invalid_argument("--" + name + ": '" + value + "' is not a MAC address");
}

struct OptionDef
{
    const char* name;
    const char* arg; // nullptr: a flag
    bool runtime;    // may be changed through the control socket
    const char* help;
    std::function<void(Options&, const std::string& name, const std::string& value)> apply;
};

const std::vector<OptionDef>& Table()
{
    using O = Options;
    using S = const std::string&;
    static const std::vector<OptionDef> table = {
        {"port", "N", false, "UDP port of the setup-record protocol (30718)",
         [](O& o, S n, S v) { o.port = static_cast<uint16_t>(ToInt(n, v, 1, 65535)); }},
        {"web-port", "N", false, "web_port at start; the web server follows it (80)",
         [](O& o, S n, S v) { o.webPort = static_cast<uint16_t>(ToInt(n, v, 1, 65535)); }},
        {"tftp-port", "N", false, "TFTP port (69)",
         [](O& o, S n, S v) { o.tftpPort = static_cast<uint16_t>(ToInt(n, v, 1, 65535)); }},
        {"iface", "NAME", false, "interface of the device (veth-dev)",
         [](O& o, S n, S v) {
             if (v.empty())
                 throw std::invalid_argument("--" + n + ": empty interface name");
             o.iface = v;
         }},
        {"ip", "ADDR/PREFIX", false, "put the interface at this address first",
         [](O& o, S n, S v) {
             const auto slash = v.find('/');
             const Ip4 ip = ToIp(n, v.substr(0, slash));
             const int prefix = slash == std::string::npos
                                    ? 24
                                    : static_cast<int>(ToInt(n, v.substr(slash + 1), 1, 32));
             o.ip = std::make_pair(ip, prefix);
         }},
        {"gateway", "ADDR", false, "gateway the device reports (0.0.0.0)",
         [](O& o, S n, S v) { o.gateway = ToIp(n, v); }},
        {"mac", "MAC", false, "MAC the device reports (default: the interface's)",
         [](O& o, S n, S v) { o.mac = ToMac(n, v); }},
        {"devid-prefix", "N", true, "devid_prefix (0xEE03)",
         [](O& o, S n, S v) { o.devidPrefix = static_cast<uint16_t>(ToInt(n, v, 0, 65535)); }},
        {"device-type", "N", true, "device_type (201)",
         [](O& o, S n, S v) { o.deviceType = static_cast<uint16_t>(ToInt(n, v, 0, 65535)); }},
        {"device-version", "N", true, "device_version, version x 10 (17)",
         [](O& o, S n, S v) { o.deviceVersion = static_cast<uint8_t>(ToInt(n, v, 0, 255)); }},
        {"serial", "N", false, "serial number in the search answer (1)",
         [](O& o, S n, S v) { o.serial = static_cast<uint32_t>(ToInt(n, v, 0, 0xFFFFFFFFLL)); }},
        {"temperature", "TENTHS", true, "temperature on the status page (235)",
         [](O& o, S n, S v) { o.temperature = static_cast<int>(ToInt(n, v, -9999, 9999)); }},
        {"temperature-step", "TENTHS", true,
         "change per status page read; turns back every 10 reads (1)",
         [](O& o, S n, S v) { o.temperatureStep = static_cast<int>(ToInt(n, v, -999, 999)); }},
        {"soap", "FILE", false, "a SOAP document stored from the start",
         [](O& o, S, S v) { o.soapFile = v; }},
        {"control", "PATH", false, "Unix socket for tests (see below)",
         [](O& o, S, S v) { o.control = v; }},
        {"verbose", nullptr, false, "one log line per datagram and request",
         [](O& o, S n, S v) { o.verbose = ToFlag(n, v); }},
        // Faults.
        {"silent", nullptr, true, "answer nothing, apply no set",
         [](O& o, S n, S v) { o.faults.silent = ToFlag(n, v); }},
        {"drop-first", "N", true, "lose the next N answers",
         [](O& o, S n, S v) { o.faults.dropFirst = static_cast<int>(ToInt(n, v, 0, 1000000)); }},
        {"delay", "MS", true, "send every answer this late",
         [](O& o, S n, S v) { o.faults.delayMs = static_cast<int>(ToInt(n, v, 0, 600000)); }},
        {"twice", nullptr, true, "send every answer twice",
         [](O& o, S n, S v) { o.faults.twice = ToFlag(n, v); }},
        {"answer-from-ip", "ADDR", true, "answers leave from this address (none: off)",
         [](O& o, S n, S v) {
             o.faults.answerFromIp = v == "none" ? std::nullopt : std::optional(ToIp(n, v));
         }},
        {"answer-from-port", "N", true, "answers leave from this port (0: off)",
         [](O& o, S n, S v) {
             const auto p = static_cast<uint16_t>(ToInt(n, v, 0, 65535));
             o.faults.answerFromPort = p ? std::optional<uint16_t>(p) : std::nullopt;
         }},
        {"malformed", nullptr, true, "answers carry code byte 5A instead of theirs",
         [](O& o, S n, S v) { o.faults.malformed = ToFlag(n, v); }},
        {"short", "N", true, "cut answers to N bytes (0: off)",
         [](O& o, S n, S v) { o.faults.shortAnswers = static_cast<int>(ToInt(n, v, 0, 65535)); }},
        {"answer-mac", "MAC", true, "search answers report this MAC (none: off)",
         [](O& o, S n, S v) {
             o.faults.answerMac = v == "none" ? std::nullopt : std::optional(ToMac(n, v));
         }},
        {"refuse-sets", nullptr, true, "neither store nor acknowledge sets",
         [](O& o, S n, S v) { o.faults.refuseSets = ToFlag(n, v); }},
        {"http-slow", "MS", true, "start every web answer this late",
         [](O& o, S n, S v) { o.faults.httpSlowMs = static_cast<int>(ToInt(n, v, 0, 600000)); }},
        {"http-404", nullptr, true, "answer every web request with 404",
         [](O& o, S n, S v) { o.faults.http404 = ToFlag(n, v); }},
        {"http-broken-xml", nullptr, true, "status page that is not well-formed",
         [](O& o, S n, S v) { o.faults.httpBrokenXml = ToFlag(n, v); }},
        {"http-500-soap", nullptr, true, "answer /postsoap.xml with 500",
         [](O& o, S n, S v) { o.faults.http500Soap = ToFlag(n, v); }},
        {"tftp-error", nullptr, true, "refuse uploads with a TFTP error",
         [](O& o, S n, S v) { o.faults.tftpError = ToFlag(n, v); }},
        {"tftp-stall", nullptr, true, "accept an upload, then acknowledge nothing",
         [](O& o, S n, S v) { o.faults.tftpStall = ToFlag(n, v); }},
        {"tftp-drop-block", "N", true, "lose DATA block N of the next upload once (0: off)",
         [](O& o, S n, S v) { o.faults.tftpDropBlock = static_cast<int>(ToInt(n, v, 0, 65535)); }},
    };
    return table;
}

const OptionDef* Find(const std::string& name)
{
    for (const auto& def : Table())
        if (name == def.name)
            return &def;
    return nullptr;
}

} // namespace

Options ParseOptions(const std::vector<std::string>& args)
{
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h")
            throw HelpRequested{};
        if (a.rfind("--", 0) != 0)
            throw std::invalid_argument("unexpected argument '" + a + "'");
        std::string name = a.substr(2);
        std::optional<std::string> value;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const OptionDef* def = Find(name);
        if (!def)
            throw std::invalid_argument("unknown option '--" + name + "'");
        if (!def->arg) {
            def->apply(options, name, value.value_or("1"));
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size())
                throw std::invalid_argument("--" + name + " needs a value");
            value = args[++i];
        }
        def->apply(options, name, *value);
    }
    return options;
}

void SetOption(Options& options, const std::string& name, const std::string& value,
               bool runtimeOnly)
{
    const OptionDef* def = Find(name);
    if (!def)
        throw std::invalid_argument("unknown option '" + name + "'");
    if (runtimeOnly && !def->runtime)
        throw std::invalid_argument("'" + name + "' can only be given at start");
    def->apply(options, name, value);
}

std::string Usage()
{
    std::string text =
        "usage: vyn-sim [OPTIONS]\n"
        "A simulated VYN device: the setup-record protocol on UDP, the web server\n"
        "and the TFTP upload of the SOAP document. Run it inside the device's\n"
        "network namespace (tools/netbench.sh sim NAME ...).\n\n";
    for (const auto& def : Table()) {
        if (std::string(def.name) == "silent")
            text += "\nFaults:\n";
        std::string left = std::string("  --") + def.name + (def.arg ? std::string(" ") + def.arg : "");
        if (left.size() < 28)
            left.resize(28, ' ');
        else
            left += "  ";
        text += left + def.help + (def.runtime ? " *" : "") + "\n";
    }
    text +=
        "\n* can also be changed while running, through the control socket.\n"
        "Control socket commands, one line each, answered by one line:\n"
        "  ping | set NAME VALUE | record CODE | last-set CODE | soap | address | stats\n"
        "  CODE is any header code of a record in hex (e0, d0, c0, f6, f8, ...).\n";
    return text;
}

std::optional<Ip4> ParseIp(const std::string& text)
{
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return std::nullopt;
    return a.s_addr;
}

std::optional<Mac> ParseMac(const std::string& text)
{
    std::string digits;
    for (char c : text) {
        if (c == '-' || c == ':' || c == '.')
            continue;
        digits += c;
    }
    auto bytes = ParseHex(digits);
    if (!bytes || bytes->size() != 6)
        return std::nullopt;
    Mac mac{};
    std::copy(bytes->begin(), bytes->end(), mac.begin());
    return mac;
}

std::string IpText(Ip4 ip)
{
    char buf[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = ip;
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

std::string MacText(const Mac& mac)
{
    return HexText(mac.data(), mac.size(), "-");
}

std::string HexText(const uint8_t* data, size_t size, const char* separator)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        if (i)
            out += separator;
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::optional<Bytes> ParseHex(const std::string& text)
{
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string digits;
    for (char c : text)
        if (c != ' ')
            digits += c;
    if (digits.size() % 2)
        return std::nullopt;
    Bytes out;
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int hi = nibble(digits[i]), lo = nibble(digits[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return out;
}

} // namespace vynsim
