#pragma once

// A stand-in for the host's IP Helper: tables, a log and failure switches.

#include "link/u_ARPTx.h"

#include <vector>

struct FakeIpHelper
{
    std::vector<MIB_IPNETROW> Arp;
    std::vector<MIB_IPADDRROW> Addrs;
    std::vector<platform::AdapterEntry> Adapters;

    uint32_t ArpFirstResult = 0;         // forced result of the first ARP table call (0 = none)
    std::vector<MIB_IPNETROW> ArpGrowth; // rows that appear before the second ARP table call
    bool CreateAddsRow = false; // a created entry shows in the table
    uint32_t ArpRequestResult = 0;
    uint32_t CreateResult = 0; // forced result of creating an entry
    uint32_t RouteResult = 0;  // forced result of creating a host route
    platform::net::Reason Why; // the reason those forced results are given with
    uint32_t Rights = 0;       // what NetworkRights says
    uint8_t ArpReplyMac[6] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};

    int ArpCalls = 0;
    std::vector<MIB_IPNETROW> Deleted;
    std::vector<MIB_IPNETROW> Created;
};

// What the address services are handed; the fake stays with the test.
class FakeIpHelperLink : public platform::IpHelper
{
public:
    explicit FakeIpHelperLink(FakeIpHelper& fake) : m_fake(fake) {}

    uint32_t GetIpNetTable(void* t, uint32_t* s, bool) override
    {
        if (++m_fake.ArpCalls == 1 && m_fake.ArpFirstResult != 0)
            return Fail(m_fake.ArpFirstResult);
        if (m_fake.ArpCalls == 2)
            m_fake.Arp.insert(m_fake.Arp.end(), m_fake.ArpGrowth.begin(), m_fake.ArpGrowth.end());
        return platform::WriteTable(m_fake.Arp, t, s);
    }
    uint32_t GetIpAddrTable(void* t, uint32_t* s, bool) override { return platform::WriteTable(m_fake.Addrs, t, s); }
    uint32_t GetInterfaceInfo(void*, uint32_t* s) override
    {
        *s = 0;
        return 0;
    }
    uint32_t GetAdaptersInfo(void* i, uint32_t* s) override
    {
        return platform::WriteAdaptersInfo(m_fake.Adapters, i, s);
    }
    uint32_t CreateIpNetEntry(const MIB_IPNETROW& r) override
    {
        if (m_fake.CreateResult != 0)
            return Fail(m_fake.CreateResult, m_fake.Why);
        m_fake.Created.push_back(r);
        if (m_fake.CreateAddsRow)
            m_fake.Arp.push_back(r);
        return 0;
    }
    uint32_t DeleteIpNetEntry(const MIB_IPNETROW& r) override
    {
        m_fake.Deleted.push_back(r);
        return 0;
    }
    uint32_t GetBestInterface(uint32_t, uint32_t* i) override
    {
        *i = 7;
        return 0;
    }
    uint32_t SendARP(uint32_t, uint32_t, void* m, uint32_t* l) override
    {
        if (m_fake.ArpRequestResult != 0)
            return Fail(m_fake.ArpRequestResult);
        std::memcpy(m, m_fake.ArpReplyMac, 6);
        *l = 6;
        return 0;
    }

    uint32_t CreateHostRoute(uint32_t, uint32_t) override
    {
        return m_fake.RouteResult != 0 ? Fail(m_fake.RouteResult, m_fake.Why) : 0;
    }
    uint32_t NetworkRights() override { return m_fake.Rights; }

private:
    static uint32_t Fail(uint32_t result, const platform::net::Reason& why = {})
    {
        platform::SetLastError(result, why);
        return result;
    }

    FakeIpHelper& m_fake;
};
