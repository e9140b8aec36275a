#include "Records.h"

#include <algorithm>
#include <cstring>

namespace vynsim {

CodeMatch FindCode(uint8_t code)
{
    for (int i = 0; i < kRecordCount; ++i) {
        const auto& r = kRecords[i];
        if (code == r.query)
            return {i, Kind::Query};
        if (code == r.answer)
            return {i, Kind::Answer};
        if (r.set && code == r.set)
            return {i, Kind::Set};
        if (r.set && code == r.setAnswer)
            return {i, Kind::SetAnswer};
    }
    return {};
}

int PrefixOf(Ip4 ip, uint8_t hostBits)
{
    if (hostBits == 0) {
        const uint8_t first = reinterpret_cast<const uint8_t*>(&ip)[0];
        return first < 128 ? 8 : first < 192 ? 16 : 24;
    }
    return hostBits <= 30 ? 32 - hostBits : -1;
}

void PutLe(Bytes& b, size_t at, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        b.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLe(const Bytes& b, size_t at, int size)
{
    uint32_t v = 0;
    for (int i = 0; i < size; ++i)
        v |= static_cast<uint32_t>(b.at(at + i)) << (8 * i);
    return v;
}

void PutText(Bytes& b, size_t at, const std::string& text)
{
    std::memcpy(&b.at(at), text.data(), text.size());
}

namespace {

void PutIp(Bytes& b, size_t at, Ip4 ip)
{
    std::memcpy(&b.at(at), &ip, 4);
}

Ip4 GetIp(const Bytes& b, size_t at)
{
    Ip4 ip = 0;
    std::memcpy(&ip, &b.at(at), 4);
    return ip;
}

void PutSigned16(Bytes& b, size_t at, int value)
{
    PutLe(b, at, static_cast<uint16_t>(static_cast<int16_t>(value)), 2);
}

} // namespace

DeviceRecords::DeviceRecords(const NetSettings& net, uint16_t webPort)
{
    for (int i = 0; i < kRecordCount; ++i)
        m_bytes[i].assign(kRecords[i].size, 0);
    // A device fresh from the factory: the mapping document's defaults.
    PutLe(m_bytes[kSetup0], at::UnitPort, 10001, 2);
    PutLe(m_bytes[kSetup2], at::HttpGetPort, 80, 2);
    PutLe(m_bytes[kSetup2], at::WebPort, webPort, 2);
    Bytes& r4 = m_bytes[kSetup4];
    PutSigned16(r4, at::MinTemp, -9999);
    PutSigned16(r4, at::MaxTemp, 9999);
    PutLe(r4, at::Hystereze, 5, 2);
    PutText(r4, at::ReadCommunity, "garnet");
    PutText(r4, at::WriteCommunity, "juniper");
    PutLe(r4, at::SendInterval, 10, 2);
    PutText(m_bytes[kSetup5], at::VynName, "VYN");
    PutLe(m_bytes[kSetIp], at::UnitPort, 10001, 2);
    PutLe(m_bytes[kSetIp], at::SetIpSendInterval, 10, 2);
    PutText(m_bytes[kSetIp], at::SetIpVynName, "VYN");
    SetNet(net);
}

Bytes DeviceRecords::WithFacts(int record, uint8_t code, const DeviceFacts& facts) const
{
    Bytes b = m_bytes.at(record);
    b[0] = b[1] = b[2] = 0;
    b[3] = code;
    switch (record) {
    case kSetup2:
        b[at::SoapFileAvailable] = facts.soapAvailable ? 1 : 0;
        break;
    case kSetup4:
        PutLe(b, at::DevidPrefix, facts.devidPrefix, 2);
        b[at::DeviceVersion] = facts.deviceVersion;
        PutLe(b, at::DeviceType, facts.deviceType, 2);
        break;
    case kSearching:
        for (int i = 0; i < 16; ++i)
            b[at::Firmware + i] = static_cast<uint8_t>(0x10 + i);
        PutLe(b, at::Serial, facts.serial, 4);
        std::memcpy(&b[at::UnitMac], facts.mac.data(), 6);
        break;
    default:
        break;
    }
    return b;
}

Bytes DeviceRecords::Answer(int record, const DeviceFacts& facts) const
{
    return WithFacts(record, kRecords.at(record).answer, facts);
}

Bytes DeviceRecords::SetAnswer(int record, const DeviceFacts& facts) const
{
    return WithFacts(record, kRecords.at(record).setAnswer, facts);
}

void DeviceRecords::Store(int record, const Bytes& datagram)
{
    Bytes& b = m_bytes.at(record);
    std::memcpy(b.data(), datagram.data(), std::min(b.size(), datagram.size()));
    m_lastSet.at(record) = datagram;
}

NetSettings NetOfRecord(const Bytes& b)
{
    return {GetIp(b, at::UnitIp), b.at(at::HostBits), GetIp(b, at::Gateway)};
}

NetSettings DeviceRecords::Net(int record) const
{
    return NetOfRecord(m_bytes.at(record));
}

void DeviceRecords::SetNet(const NetSettings& net)
{
    for (int r : {kSetup0, kSetIp}) {
        PutIp(m_bytes[r], at::UnitIp, net.ip);
        m_bytes[r][at::HostBits] = net.hostBits;
        PutIp(m_bytes[r], at::Gateway, net.gateway);
    }
}

uint16_t DeviceRecords::WebPort() const
{
    return static_cast<uint16_t>(GetLe(m_bytes[kSetup2], at::WebPort, 2));
}

} // namespace vynsim
