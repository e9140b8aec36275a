#pragma once

// The address services: the host's ARP table (read, add a static entry,
// delete entries), its IPv4 address table (is an address on a local subnet?),
// its interfaces and adapters, and ARP requests. Plus the stateless address,
// mask, MAC, host-name and URL routines used all over the program.
//
// IPv4 addresses and masks are uint32_t values whose memory bytes are the
// dotted numbers in text order (as inet_addr gives them).

#include "platform/Exception.h"
#include "platform/IpHelper.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

using platform::IP_ADAPTER_INFO;
using platform::IP_ADAPTER_INDEX_MAP;
using platform::IP_ADDR_STRING;
using platform::MIB_IPADDRROW;
using platform::MIB_IPNETROW;

// A failure of the address services; the text names the operation.
class EARPException : public Exception
{
public:
    using Exception::Exception;
};

// One local address of one adapter.
struct TAdapterIPAddress
{
    QString IP;
    QString Mask;
    QString AdapterName;
    QString Description;
};
using AAdapterIPAddresses = std::vector<TAdapterIPAddress>;

// A neighbour entry (or, Route, a host route) an error is about, and why
// its change was refused when the change said (platform::GetLastErrorReason).
struct TNetEntry
{
    uint32_t IP = 0;
    uint32_t Interface = 0;
    bool Route = false;
    platform::net::Reason Why = {};
};

// The text of an address-services error code in the program's language,
// ending with CR LF as the system's texts do. The missing rights name the
// helper and what an administrator does about them; a refused change names
// its address and interface and, by the reason's kind, what is in the way
// (as `ip` shows it, when the reason says); without a kind, an entry or
// route someone else made (ERROR_NOT_OWNER) or an address the changes may
// not name (ERROR_INVALID_PARAMETER) is told in general.
QString ARPErrorText(uint32_t Code, const TNetEntry& Entry = {});

using TMACBytes = std::array<uint8_t, 6>;  // a MAC address in wire order
using TMACBuffer = std::array<uint8_t, 8>; // room for a hardware address

class TARPManager
{
public:
    explicit TARPManager(bool ReadNow);
    virtual ~TARPManager();
    TARPManager(const TARPManager&) = delete;
    TARPManager& operator=(const TARPManager&) = delete;

    // Failures raise EARPException only while this is on; otherwise the
    // operations just return their failure value.
    bool RaiseErrors = true;
    // Asks for the ARP and address tables sorted by address.
    bool SortTables = true;

    // Reading the host's tables; each returns the count, or -1 on failure
    // (the rows of the previous read are then kept).
    int32_t GetARPTable();
    int32_t GetIPTable();
    int32_t GetInterfacesInfo();
    int32_t GetAdaptersInfo();

    // The tables as last read; bad indexes give nullptr or empty text.
    int32_t ArpCount() const { return static_cast<int32_t>(ArpRows.size()); }
    const MIB_IPNETROW* ArpRow(int32_t i) const;
    int32_t AddrCount() const { return static_cast<int32_t>(AddrRows.size()); }
    const MIB_IPADDRROW* AddrRow(int32_t i) const;
    int32_t IfCount() const { return static_cast<int32_t>(IfMap.size()); }
    int32_t AdapterCount() const { return static_cast<int32_t>(AdapterList.size()); }
    const IP_ADAPTER_INFO* Adapter(int32_t i) const;
    QString AdapterName(int32_t i) const;
    QString AdapterDescription(int32_t i) const;
    // The n-th address of adapter i (0 = its first).
    const IP_ADDR_STRING* AdapterAddress(int32_t i, int32_t n) const;

    // ARP entries. EntryType 0 matches every type; the Delete...By methods
    // work on the rows of the last GetARPTable and do not re-read it.
    bool DeleteARPEntry(const MIB_IPNETROW& Row);
    bool DeleteARPEntryByIndex(int32_t i);
    bool DeleteByIP(const QString& IP, uint32_t EntryType);
    bool DeleteByIPNum(uint32_t IP, uint32_t EntryType);
    bool DeleteByMAC(const QString& MAC, uint32_t EntryType);
    bool DeleteByMACBytes(const TMACBytes& MAC, uint32_t EntryType);
    int32_t FindEntryIndex(uint32_t IP, const TMACBytes& MAC, uint32_t EntryType) const;
    const MIB_IPNETROW* FindEntry(uint32_t IP, const TMACBytes& MAC, uint32_t EntryType) const;
    int32_t FindEntryByIP(uint32_t IP, uint32_t EntryType) const;
    bool DeleteEntry(uint32_t IP, const TMACBytes& MAC, uint32_t EntryType);
    bool CreateARPEntryRow(const MIB_IPNETROW& Row);
    // Interface -1: the interface the host would use for IP.
    bool CreateARPEntry(uint32_t IP, const TMACBytes& MAC, uint32_t EntryType, int32_t Interface = -1);
    uint32_t GetBestInterface(uint32_t IP);
    bool SendARP(uint32_t DestIP, TMACBuffer& MAC, uint32_t& Length, uint32_t SrcIP);
    // The MAC of the host holding IP, asked on the wire; never raises.
    bool ResolveMAC(uint32_t IP, TMACBuffer& MAC);

    // Routing. IsOnLink: the host would send to IP straight on the link (no
    // gateway), on interface Interface unless that is -1; never raises.
    bool IsOnLink(uint32_t IP, int32_t Interface = -1);
    // The interface the host would use for IP (-1: none found).
    int32_t InterfaceFor(uint32_t IP);
    // The interface holding the local address IP (-1: none).
    int32_t InterfaceOfAddress(uint32_t IP);
    // A host route making IP on-link on the interface, and its removal.
    bool CreateHostRoute(uint32_t IP, int32_t Interface);
    bool DeleteHostRoute(uint32_t IP, int32_t Interface);
    // Why this thread may not change the neighbour and route tables and send
    // raw ARP requests (the static ARP way needs it), in the program's
    // language as ARPErrorText words the missing rights; empty when it may.
    QString MissingRightsText();

    // Whether IP lies in the subnet of one of the host's addresses. The
    // address table is read on first use only.
    bool IsLocalSubnet(uint32_t IP);
    bool IsLocalSubnetStr(const QString& IP);
    static bool SameSubnet(uint32_t A, uint32_t B, uint32_t Mask);

    // The addresses of all adapters (adapters without one are left out).
    int32_t GetLocalAddresses(AAdapterIPAddresses& List, bool ReadNow);

    static bool RowHasMAC(const MIB_IPNETROW* Row, const TMACBytes& MAC);

    // Address and URL routines that need no instance.
    static QString IPToStr(uint32_t IP);
    // inet_addr: text it rejects gives all bits set, like "255.255.255.255".
    static uint32_t StrToIP(const QString& Text);
    static bool IsValidIP(const QString& Text);
    // 'A' to 'E' by the first number, '\0' for no class.
    static char IPClass(uint32_t IP);
    static uint32_t ClassMask(char Class);
    static uint32_t DefaultMask(uint32_t IP);
    static QString DefaultMaskStr(const QString& IP);
    static uint32_t MaskToHostBits(uint32_t Mask);
    static uint32_t HostBitsToMask(int32_t Count);
    static QString MACBufToStr(const uint8_t* Bytes, int32_t Length);
    // Pairs of hex digits; "-", blanks, CR, LF and TAB are ignored; a pair
    // that is not hexadecimal raises EConvertError.
    static QByteArray StrToMACBytes(const QString& Text);
    // True exactly when the text gave Length (at most 8) bytes.
    static bool StrToMACBuf(const QString& Text, uint8_t* Buffer, int32_t Length);
    static int64_t MACToInt64(const QString& Text);
    // The host's first IPv4 address, 0 when it cannot be resolved.
    static uint32_t ResolveHostName(const QString& Name);

    // The IP Helper, opened on first use; nullptr (reported under
    // "iphlpapi.dll") when it cannot be opened.
    platform::IpHelper* LoadIphlpapi();

private:
    using TableCall = std::function<uint32_t(platform::IpHelper&, void*, uint32_t*, bool)>;
    template <class Row>
    int32_t ReadTable(const QString& Name, const TableCall& Call, std::vector<Row>& Rows);
    // A read that asks for the size first and then fills a buffer of it:
    // the bytes read, 0 for nothing, -1 after a reported failure.
    using SizedCall = std::function<uint32_t(platform::IpHelper&, void*, uint32_t*)>;
    template <class Word>
    int64_t ReadSized(const QString& Name, const SizedCall& Call, std::vector<Word>& Buffer);
    void ReportError(const QString& Name, uint32_t Code, const TNetEntry& Entry = {});
    void ReportText(const QString& Name, const QString& Text);

    std::vector<MIB_IPNETROW> ArpRows;
    std::vector<IP_ADAPTER_INDEX_MAP> IfMap;
    std::vector<MIB_IPADDRROW> AddrRows;
    std::vector<const IP_ADAPTER_INFO*> AdapterList;
    std::vector<uint64_t> AdapterBuffer; // 64-bit words keep the records aligned
};

// The program's one address-services object, made on first use.
TARPManager& ARPManager();

// How the IP Helper is opened; tests hand in a stand-in. Setting it drops the
// one opened before, so the next operation opens it anew.
using TIpHelperLoader = std::function<std::unique_ptr<platform::IpHelper>()>;
void SetIpHelperLoader(TIpHelperLoader Loader);

QString BuildURL(const QString& Host, uint16_t Port, const QString& Path);
// Splits an http address; raises for another scheme or a port that is not a
// number. Always returns true otherwise.
bool ParseURL(const QString& URL, QString& Host, uint16_t& Port, QString& Path);
