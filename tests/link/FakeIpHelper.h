#pragma once

// A stand-in for the host's IP Helper: tables the test fills, a log of what
// was asked, and switches for the failures a real host can give.

#include "link/u_ARPTx.h"

#include <vector>

class FakeIpHelper
{
public:
    std::vector<MIB_IPNETROW> Arp;
    std::vector<MIB_IPADDRROW> Addrs;
    std::vector<IP_ADAPTER_INDEX_MAP> Interfaces;
    std::vector<platform::AdapterEntry> Adapters;

    // Forced results of the first table call (0 = behave normally).
    uint32_t ArpFirstResult = 0;
    bool ArpFirstResultSetsLastError = true;
    // Rows that appear between the first and the second ARP table call.
    std::vector<MIB_IPNETROW> ArpGrowth;
    uint32_t InterfaceFirstResult = 0;

    uint32_t DeleteResult = 0;
    uint32_t CreateResult = 0;
    bool CreateAddsRow = false; // a created entry shows in the table
    uint32_t BestResult = 0;
    uint32_t BestIndex = 7;
    uint32_t ArpRequestResult = 0;
    uint8_t ArpReplyMac[6] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};

    int ArpCalls = 0;
    int AddrCalls = 0;
    std::vector<MIB_IPNETROW> Deleted;
    std::vector<MIB_IPNETROW> Created;
    std::vector<uint32_t> ArpRequests;
    uint32_t LastRequestLength = 0;

    uint32_t GetIpNetTable(void* table, uint32_t* size)
    {
        ++ArpCalls;
        if (ArpCalls == 1 && ArpFirstResult != 0) {
            if (ArpFirstResultSetsLastError)
                platform::SetLastError(ArpFirstResult);
            return ArpFirstResult;
        }
        if (ArpCalls == 2)
            Arp.insert(Arp.end(), ArpGrowth.begin(), ArpGrowth.end());
        return platform::WriteTable(Arp, table, size);
    }

    uint32_t GetIpAddrTable(void* table, uint32_t* size)
    {
        ++AddrCalls;
        return platform::WriteTable(Addrs, table, size);
    }

    uint32_t GetInterfaceInfo(void* table, uint32_t* size)
    {
        if (InterfaceFirstResult != 0 && !table)
            return InterfaceFirstResult;
        if (Interfaces.empty()) {
            *size = 0;
            return 0;
        }
        return platform::WriteTable(Interfaces, table, size);
    }

    uint32_t GetAdaptersInfo(void* info, uint32_t* size) { return platform::WriteAdaptersInfo(Adapters, info, size); }

    uint32_t Fail(uint32_t result)
    {
        if (result != 0)
            platform::SetLastError(result);
        return result;
    }

    uint32_t DeleteIpNetEntry(const MIB_IPNETROW& row)
    {
        Deleted.push_back(row);
        return Fail(DeleteResult);
    }

    uint32_t CreateIpNetEntry(const MIB_IPNETROW& row)
    {
        Created.push_back(row);
        if (CreateAddsRow && CreateResult == 0)
            Arp.push_back(row);
        return Fail(CreateResult);
    }

    uint32_t GetBestInterface(uint32_t, uint32_t* index)
    {
        if (BestResult == 0)
            *index = BestIndex;
        return Fail(BestResult);
    }

    uint32_t SendARP(uint32_t dest, void* mac, uint32_t* length)
    {
        ArpRequests.push_back(dest);
        LastRequestLength = *length;
        if (ArpRequestResult != 0)
            return Fail(ArpRequestResult);
        std::memcpy(mac, ArpReplyMac, 6);
        *length = 6;
        return 0;
    }
};

// The interface object handed to the address services; the fake itself stays
// with the test.
class FakeIpHelperLink : public platform::IpHelper
{
public:
    explicit FakeIpHelperLink(FakeIpHelper& fake) : m_fake(fake) {}
    uint32_t GetIpNetTable(void* t, uint32_t* s, bool) override { return m_fake.GetIpNetTable(t, s); }
    uint32_t GetIpAddrTable(void* t, uint32_t* s, bool) override { return m_fake.GetIpAddrTable(t, s); }
    uint32_t GetInterfaceInfo(void* t, uint32_t* s) override { return m_fake.GetInterfaceInfo(t, s); }
    uint32_t GetAdaptersInfo(void* i, uint32_t* s) override { return m_fake.GetAdaptersInfo(i, s); }
    uint32_t CreateIpNetEntry(const MIB_IPNETROW& r) override { return m_fake.CreateIpNetEntry(r); }
    uint32_t DeleteIpNetEntry(const MIB_IPNETROW& r) override { return m_fake.DeleteIpNetEntry(r); }
    uint32_t GetBestInterface(uint32_t d, uint32_t* i) override { return m_fake.GetBestInterface(d, i); }
    uint32_t SendARP(uint32_t d, uint32_t, void* m, uint32_t* l) override { return m_fake.SendARP(d, m, l); }

private:
    FakeIpHelper& m_fake;
};
