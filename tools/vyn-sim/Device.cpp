#include "Device.h"

#include "CobReader.h"

#include <arpa/inet.h>

namespace vynsim {

namespace {

std::string CodeText(uint8_t code)
{
    return HexText(&code, 1);
}

Reaction Note(std::string text)
{
    Reaction r;
    r.note = std::move(text);
    return r;
}

} // namespace

bool UsableAddress(Ip4 ip)
{
    const uint32_t h = ntohl(ip);
    return h != 0 && (h >> 24) != 127 && (h >> 24) < 224;
}

Device::Device(Options& options, const Mac& mac, const NetSettings& net)
    : m_options(options), m_mac(mac), m_net(net), m_records(net, options.webPort)
{
}

DeviceFacts Device::Facts() const
{
    DeviceFacts f;
    f.devidPrefix = m_options.devidPrefix;
    f.deviceType = m_options.deviceType;
    f.deviceVersion = m_options.deviceVersion;
    f.soapAvailable = m_soap && !m_soap->empty();
    f.mac = m_options.faults.answerMac.value_or(m_mac);
    f.serial = m_options.serial;
    return f;
}

Destination Device::Classify(Ip4 destination) const
{
    if (destination == m_net.ip)
        return Destination::Own;
    if (destination == INADDR_BROADCAST)
        return Destination::Broadcast;
    const int prefix = Prefix();
    if (prefix > 0 && prefix < 32) {
        const uint32_t hostMask = (1u << (32 - prefix)) - 1;
        if (ntohl(destination) == (ntohl(m_net.ip) | hostMask))
            return Destination::Broadcast;
    }
    return Destination::Other;
}

Reaction Device::Handle(const Bytes& datagram, Destination destination)
{
    if (datagram.size() < 4)
        return Note("ignored: shorter than a header");
    const uint8_t code = datagram[3];
    const CodeMatch match = FindCode(code);
    if (match.record < 0)
        return Note("ignored: unknown code " + CodeText(code));
    const bool setIp = match.kind == Kind::Set && match.record == kSetIp;
    // A set-IP record may come addressed to the address the device is about
    // to take (the PC maps it to our MAC by a static ARP entry); anything
    // else addressed to another host is not ours.
    if (destination == Destination::Other && !setIp)
        return Note("ignored: addressed to another host");

    switch (match.kind) {
    case Kind::Query: {
        Reaction r;
        r.answer = m_records.Answer(match.record, Facts());
        return r;
    }
    case Kind::Set:
        return HandleSet(match.record, datagram, destination);
    default:
        return Note("ignored: " + CodeText(code) + " is an answer code");
    }
}

Reaction Device::HandleSet(int record, const Bytes& datagram, Destination destination)
{
    const RecordLayout& layout = kRecords[record];
    if (destination == Destination::Broadcast)
        return Note("ignored: set by broadcast");
    if (m_options.faults.refuseSets)
        return Note("refused: sets are switched off");
    if (datagram.size() < layout.size)
        return Note("ignored: set of " + std::to_string(datagram.size()) + " bytes, " + layout.name
                    + " has " + std::to_string(layout.size));

    Reaction r;
    if (record == kSetIp) {
        const NetSettings wanted = NetOfRecord(datagram);
        if (!UsableAddress(wanted.ip) || PrefixOf(wanted.ip, wanted.hostBits) < 0)
            return Note("refused: set-IP to " + IpText(wanted.ip) + " with "
                        + std::to_string(wanted.hostBits) + " host bits");
        m_records.Store(record, datagram);
        m_pending.reset();
        m_net = wanted;
        m_records.SetNet(wanted);
        r.move = wanted;
        r.note = "set-IP: now " + IpText(wanted.ip) + "/"
                 + std::to_string(PrefixOf(wanted.ip, wanted.hostBits)) + " gateway "
                 + IpText(wanted.gateway);
    } else {
        m_records.Store(record, datagram);
        if (record == kSetup0) {
            // The address settings of the setup record take effect once the
            // whole write batch is acknowledged, as after a restart.
            // The last one written counts; unusable settings leave the address.
            const NetSettings wanted = m_records.Net(kSetup0);
            if (wanted != m_net && UsableAddress(wanted.ip) && PrefixOf(wanted.ip, wanted.hostBits) > 0)
                m_pending = wanted;
            else
                m_pending.reset();
        }
        r.note = std::string("stored ") + layout.name;
    }
    r.answer = m_records.SetAnswer(record, Facts());

    // Header byte 1 is 01 while more records of the batch follow.
    if (record != kSetIp && datagram[1] != 0x01 && m_pending) {
        m_net = *m_pending;
        m_records.SetNet(m_net);
        r.move = m_pending;
        r.note += "; batch done, now " + IpText(m_net.ip) + "/" + std::to_string(Prefix());
        m_pending.reset();
    }
    return r;
}

std::string Device::StoreImage(const Bytes& image)
{
    const CobImage cob = ReadCob1(image);
    if (!cob.ok)
        return cob.error;
    m_soap.reset();
    for (const CobEntry& e : cob.entries)
        if (e.name == "postsoap.xml") {
            m_soap = e.block;
            break;
        }
    return {};
}

int Device::NextTemperature()
{
    // A slow triangle: up for ten readings, down for ten.
    const unsigned phase = m_temperatureReads++ % 20;
    const int offset = static_cast<int>(phase < 10 ? phase : 20 - phase);
    return m_options.temperature + m_options.temperatureStep * offset;
}

} // namespace vynsim
