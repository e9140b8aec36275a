#pragma once

#include "Options.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace vynsim {

// The device's records, kept as plain bytes at the positions of the
// program's built-in mapping document. This code knows nothing of item
// types: the few fields the device fills in itself are written out below,
// so a mistake in the program's record codec shows up against them.
struct RecordLayout
{
    const char* name;
    uint8_t query;     // header byte 3 of each kind of datagram
    uint8_t answer;
    uint8_t set;       // 0: the record has no set form
    uint8_t setAnswer;
    size_t size;
};

enum RecordIndex { kSetup0, kSetup2, kSetup4, kSetup5, kSearching, kSetIp, kRecordCount };

inline constexpr std::array<RecordLayout, kRecordCount> kRecords = {{
    {"SetupRecord0", 0xE0, 0xD0, 0xC0, 0xB0, 124},
    {"SetupRecord2", 0xE2, 0xD2, 0xC2, 0xB2, 130},
    {"SetupRecord4", 0xE4, 0xD4, 0xC4, 0xB4, 130},
    {"SetupRecord4 (e5)", 0xE5, 0xD5, 0xC5, 0xB5, 130},
    {"searching_record", 0xF6, 0xF7, 0, 0, 30},
    {"setip_record", 0xF8, 0xF9, 0xFD, 0xFB, 124},
}};

// Byte positions; numbers are little-endian, addresses in text order.
namespace at {
// SetupRecord0, and setip_record for the first three
inline constexpr size_t UnitIp = 4;        // 4 bytes
inline constexpr size_t HostBits = 10;     // 1 byte, 0: the address class's netmask
inline constexpr size_t Gateway = 16;      // 4 bytes
inline constexpr size_t UnitPort = 24;     // 2 bytes
// SetupRecord2
inline constexpr size_t HttpGetPort = 5;   // 2 bytes
inline constexpr size_t WebPort = 14;      // 2 bytes
inline constexpr size_t SoapFileAvailable = 104;
// SetupRecord4 (e4)
inline constexpr size_t MaxTemp = 5;       // 2 bytes, signed
inline constexpr size_t MinTemp = 7;       // 2 bytes, signed
inline constexpr size_t Hystereze = 58;    // 2 bytes
inline constexpr size_t ReadCommunity = 82;
inline constexpr size_t WriteCommunity = 98;
inline constexpr size_t SendInterval = 114; // 2 bytes
inline constexpr size_t DevidPrefix = 116; // 2 bytes
inline constexpr size_t DeviceVersion = 118;
inline constexpr size_t DeviceType = 119;  // 2 bytes
// SetupRecord4 (e5)
inline constexpr size_t VynName = 106;
// searching_record
inline constexpr size_t Firmware = 4;      // 16 bytes
inline constexpr size_t Serial = 20;       // 4 bytes
inline constexpr size_t UnitMac = 24;      // 6 bytes
// setip_record
inline constexpr size_t SetIpSendInterval = 26; // 2 bytes
inline constexpr size_t SetIpVynName = 68;
} // namespace at

enum class Kind { None, Query, Answer, Set, SetAnswer };

struct CodeMatch
{
    int record = -1;
    Kind kind = Kind::None;
};

// Which record and kind a header code byte stands for.
CodeMatch FindCode(uint8_t code);

// The address settings a device lives by.
struct NetSettings
{
    Ip4 ip = 0;
    uint8_t hostBits = 0;
    Ip4 gateway = 0;
    bool operator==(const NetSettings&) const = default;
};

// The address settings in the bytes of SetupRecord0 or setip_record.
NetSettings NetOfRecord(const Bytes& record);

// Prefix length for an address and its number of host bits; 0 host bits
// stand for the netmask of the address's class. -1 when the bits make no mask.
int PrefixOf(Ip4 ip, uint8_t hostBits);

// What the device fills into its answers itself, whatever was set.
struct DeviceFacts
{
    uint16_t devidPrefix = 0xEE03;
    uint16_t deviceType = 201;
    uint8_t deviceVersion = 17;
    bool soapAvailable = false;
    Mac mac{};
    uint32_t serial = 0;
};

class DeviceRecords
{
public:
    DeviceRecords(const NetSettings& net, uint16_t webPort);

    // The whole record behind its answer or set-answer code.
    Bytes Answer(int record, const DeviceFacts& facts) const;
    Bytes SetAnswer(int record, const DeviceFacts& facts) const;

    // Takes a set datagram of at least the record's size; bytes past the
    // record are not kept. The datagram itself stays readable as LastSet.
    void Store(int record, const Bytes& datagram);
    const Bytes& LastSet(int record) const { return m_lastSet.at(record); }

    NetSettings Net(int record) const;
    void SetNet(const NetSettings& net); // into SetupRecord0 and setip_record
    uint16_t WebPort() const;

private:
    Bytes WithFacts(int record, uint8_t code, const DeviceFacts& facts) const;

    std::array<Bytes, kRecordCount> m_bytes;
    std::array<Bytes, kRecordCount> m_lastSet;
};

// Little-endian access to record bytes.
void PutLe(Bytes& b, size_t at, uint32_t value, int size);
uint32_t GetLe(const Bytes& b, size_t at, int size);
void PutText(Bytes& b, size_t at, const std::string& text);

} // namespace vynsim
