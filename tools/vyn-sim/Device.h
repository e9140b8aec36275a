#pragma once

#include "Options.h"
#include "Records.h"

#include <optional>
#include <string>

namespace vynsim {

// Where a datagram was addressed, from the device's point of view.
enum class Destination { Own, Broadcast, Other };

// What the device does about one datagram.
struct Reaction
{
    std::optional<Bytes> answer;
    std::optional<NetSettings> move; // the device lives at these settings once the answer is out
    std::string note;                // what happened, for the log
};

// The device's state and its part of the setup-record protocol, without any
// socket: the services feed it datagrams and carry out its reactions.
class Device
{
public:
    Device(Options& options, const Mac& mac, const NetSettings& net);

    Reaction Handle(const Bytes& datagram, Destination destination);
    Destination Classify(Ip4 destination) const;

    const NetSettings& Net() const { return m_net; }
    int Prefix() const { return PrefixOf(m_net.ip, m_net.hostBits); }
    DeviceFacts Facts() const;
    const DeviceRecords& Records() const { return m_records; }
    uint16_t WebPort() const { return m_records.WebPort(); }
    Options& Settings() { return m_options; }
    const Options& Settings() const { return m_options; }

    // Takes an uploaded image; an empty text means it was stored, otherwise
    // the text says why it was refused.
    std::string StoreImage(const Bytes& image);
    const std::optional<Bytes>& SoapDocument() const { return m_soap; }
    void SetSoapDocument(std::optional<Bytes> document) { m_soap = std::move(document); }

    // The temperature for the next status page, moving a little each time.
    int NextTemperature();

private:
    Reaction HandleSet(int record, const Bytes& datagram, Destination destination);

    Options& m_options;
    Mac m_mac;
    NetSettings m_net;
    DeviceRecords m_records;
    std::optional<NetSettings> m_pending; // from SetupRecord0, taken when its batch ends
    std::optional<Bytes> m_soap;
    unsigned m_temperatureReads = 0;
};

// An address a device can live at: not 0, not loopback, not multicast or above.
bool UsableAddress(Ip4 ip);

} // namespace vynsim
