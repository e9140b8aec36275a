#include "link/uf_DataSender_Conversations.h"

#include "lang/uLanguage.h"
#include "link/u_ARPTx.h"
#include "model/u_DevData.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

uint16_t DevicePort = DefaultDevicePort;
uint32_t LocalAdapterIP = 0;

namespace {

using namespace platform;

const QString Broadcast = QStringLiteral("255.255.255.255");
const QString Ellipsis = QStringLiteral("...");
const QString CRLF = QStringLiteral("\r\n");

constexpr int DeviceTryCount = 13;
constexpr int32_t DeviceTryTimeoutMs = 1000;
constexpr int StaticSends = 3;
constexpr auto StaticSendPause = std::chrono::milliseconds(10);
constexpr uint32_t StaticEntryType = 4;

// Every text the operator sees is looked up when it is shown.
QString Txt(const char16_t* key, const char16_t* fallback)
{
    return Language.GetText(QString::fromUtf16(key), QString::fromUtf16(fallback));
}

QString Num(int64_t n)
{
    return QString::number(n);
}

// A MAC text of the model's form from the value MACToInt64 gives.
QString MACText(int64_t value)
{
    uint8_t bytes[8];
    std::memcpy(bytes, &value, sizeof bytes);
    return MACToStr(std::span<const uint8_t, 6>(bytes, 6));
}

QString ItemText(const TDataPacket& packet, const char* name)
{
    return QString::fromLatin1(packet.GetValue(QString::fromLatin1(name)).ToText());
}

bool IsZeroMAC(const TMACBuffer& mac)
{
    return std::all_of(mac.begin(), mac.begin() + 6, [](uint8_t b) { return b == 0; });
}

bool SameMAC(const TMACBuffer& mac, const TMACBytes& device)
{
    return std::equal(device.begin(), device.end(), mac.begin());
}

// Runs its function when the scope ends, however it ends.
template <class F>
class TFinally
{
public:
    explicit TFinally(F f) : m_f(std::move(f)) {}
    ~TFinally() { m_f(); }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;

private:
    F m_f;
};

// The static ARP way needs both capabilities, which only the network helper
// holds; without them the operator is told so (and how to give them to the
// helper) before a question leads there.
QString RightsNote(TARPManager& arp)
{
    const QString why = arp.MissingRightsText();
    return why.isEmpty() ? QString() : CRLF + CRLF + why;
}

} // namespace

TDataSenderConversations::TConversationScope::TConversationScope(TDataSenderConversations& c) : m_c(c)
{
    if (m_c.FConversing++ == 0) {
        m_c.WaitCycles = 0;
        m_c.DeviceTries = 0;
        m_c.ConversationStarted();
    }
}

TDataSenderConversations::TConversationScope::~TConversationScope()
{
    if (--m_c.FConversing == 0) {
        try {
            m_c.ConversationFinished();
        } catch (...) {
        }
    }
}

uint8_t PercentHalfEven(int64_t x, int64_t total)
{
    if (total <= 0 || x <= 0)
        return 0;
    const int64_t n = x * 100;
    int64_t q = n / total;
    const int64_t twice = 2 * (n % total);
    if (twice > total || (twice == total && (q & 1) != 0))
        ++q;
    return static_cast<uint8_t>(std::min<int64_t>(q, 100));
}

TDataSenderConversations::TDataSenderConversations(uint16_t Port, TDataManager* DataManager)
    : DataManager(DataManager), Port(Port != 0 ? Port : DefaultDevicePort)
{
    MySock.SetLocalIP(LocalAdapterIP != 0 ? IPToStr(LocalAdapterIP) : QString());
}

TDataSenderConversations::~TDataSenderConversations()
{
    MySock.Close();
}

void TDataSenderConversations::RunMessages()
{
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------- looks

void TDataSenderConversations::ShowSearching()
{
    ShowSearchingLook();
    if (Port != 0)
        MySock.SetRemotePort(Port);
    MySock.SetBroadCastAccept(true);
}

void TDataSenderConversations::PrepareTransfer(const QString& IP)
{
    ShowTransferLook();
    if (!IP.isEmpty()) {
        DeviceIP = IP;
        MySock.SetRemoteIP(IP);
    }
    if (Port != 0)
        MySock.SetRemotePort(Port);
    MySock.SetBroadCastAccept(false);
}

// ---------------------------------------------------------------- helpers

TDataPacket* TDataSenderConversations::PacketOrBuiltIn(const char* Name, std::unique_ptr<TDataPacket>& Own) const
{
    if (DataManager) {
        if (TDataPacket* p = DataManager->FindPacket(QString::fromLatin1(Name)))
            return p;
    }
    Own = qstrcmp(Name, "searching_record") == 0 ? NewSearchingRecord() : NewSetIPRecord();
    return Own.get();
}

void TDataSenderConversations::Connect(bool DoBind)
{
    MySock.Connect(DoBind);
    FPeerIP = MySock.RemoteIP();
    FPeerPort = MySock.RemotePort();
}

bool TDataSenderConversations::ConnectedElsewhere() const
{
    return MySock.Connected() && (FPeerIP != DeviceIP || FPeerPort != Port || MySock.RemoteIP() != DeviceIP ||
                                  MySock.RemotePort() != Port);
}

void TDataSenderConversations::ReconnectToDevice(bool DoBind)
{
    if (MySock.Connected() && (ConnectedElsewhere() || MySock.Bound()))
        MySock.Close();
    MySock.SetRemoteIP(DeviceIP);
    MySock.SetRemotePort(Port);
    Connect(DoBind);
}

void TDataSenderConversations::ConnectForBatch()
{
    if (MySock.Connected())
        MySock.Close();
    MySock.SetRemoteIP(DeviceIP);
    MySock.SetRemotePort(Port);
    Connect(false);
}

std::vector<TDataPacket*> TDataSenderConversations::SetupPackets(bool OnlyLoaded) const
{
    std::vector<TDataPacket*> list;
    for (int32_t i = 0; i < DataManager->Count(); ++i) {
        TDataPacket* p = DataManager->GetPacket(i);
        if (p && p->PacketType() == ptSetup && (!OnlyLoaded || p->Loaded()))
            list.push_back(p);
    }
    return list;
}

template <class Try>
bool TDataSenderConversations::RetryForDevice(Try tryOnce)
{
    const TFinally restore([this, saved = TimeoutMs] { TimeoutMs = saved; });
    TimeoutMs = DeviceTryTimeoutMs;
    for (int i = 0; i < DeviceTryCount; ++i) {
        ++this->DeviceTries;
        if (tryOnce(i))
            return true;
    }
    return false;
}

bool TDataSenderConversations::AskYes(const QString& Text, const QString& Caption, unsigned Flags)
{
    return Ask(Text, Caption, Flags) == IDYES;
}

// ---------------------------------------------------------------- built-in records

std::unique_ptr<TDataPacket> TDataSenderConversations::NewSearchingRecord()
{
    auto p = std::make_unique<TDataPacket>(QStringLiteral("searching_record"), 30,
                                           THeaders{QStringLiteral("000000f6"), QStringLiteral("000000f7"), {}, {}},
                                           ptQuery);
    p->AddItem(std::make_unique<TDataItem>(QStringLiteral("$header"), p->GetDataPtr(), dtHexa, 0, 32, 0));
    p->AddItem(std::make_unique<TDataItem>(QStringLiteral("unit_mac"), p->GetDataPtr(), dtMACAddress, 24, 48, 0));
    return p;
}

std::unique_ptr<TDataPacket> TDataSenderConversations::NewSetIPRecord()
{
    auto p = std::make_unique<TDataPacket>(QStringLiteral("setip_record"), 124,
                                           THeaders{QStringLiteral("000000f8"), QStringLiteral("000000f9"),
                                                    QStringLiteral("000000fd"), QStringLiteral("000000fb")},
                                           ptSet);
    p->AddItem(std::make_unique<TDataItem>(QStringLiteral("$header"), p->GetDataPtr(), dtHexa, 0, 32, 0));
    p->AddItem(std::make_unique<TDataItem>(QStringLiteral("unit_ip"), p->GetDataPtr(), dtIPAddress, 4, 32, 0));
    p->AddItem(std::make_unique<TDataItem>(QStringLiteral("gateway_ip"), p->GetDataPtr(), dtIPAddress, 16, 32, 0));
    p->AddItem(std::make_unique<TDataItem>(QStringLiteral("num_host_bits"), p->GetDataPtr(), dtUnsigned, 10, 8, 0));
    return p;
}

// ---------------------------------------------------------------- searches

QString TDataSenderConversations::FindMACByIP(const QString& IP, const QString& Caption, QString& MAC, bool KeepSocket)
{
    const TConversationScope conversing(*this);
    ShowSearching();
    MAC.clear();
    Answered = false;
    if (!IP.isEmpty())
        DeviceIP = IP;
    DeviceMAC.clear();
    FoundIP = DeviceIP;
    if (!KeepSocket)
        ReconnectToDevice(LocalAdapterIP != 0);

    SetCaption(!Caption.isEmpty() ? Caption
                                  : Txt(u"Vyhledávámzaříz", u"Vyhledávám zařízení ") + IPToStr(StrToIP(DeviceIP)) +
                                        Ellipsis);
    StartAnimation();
    const TFinally animating([this] { StopAnimation(); });
    RunMessages();

    std::unique_ptr<TDataPacket> own;
    TDataPacket* packet = PacketOrBuiltIn("searching_record", own);
    MySock.Send(packet->GetQueryHeader());

    const int32_t cycles = TimeoutMs / 100 + 1;
    for (int32_t c = 0; MAC.isEmpty() && c < cycles; ++c) {
        MySock.WaitForData(100, true);
        ++WaitCycles;
        AnimationStep();
        TMyPacket d;
        while (MAC.isEmpty() && MySock.ReceiveQueue().Pop(d)) {
            if (d.IP != DeviceIP)
                continue;
            packet->SetDataFromString(d.Data);
            if (packet->GetRecordKind() == rkAnswer) {
                MAC = ItemText(*packet, "unit_mac");
                DeviceMAC = MAC;
                Answered = true;
            }
        }
    }
    return MAC;
}

QString TDataSenderConversations::FindIPByMAC(const QString& MAC, const QString& Caption, QString& IP, bool KeepSocket)
{
    const TConversationScope conversing(*this);
    ShowSearching();
    IP.clear();
    Answered = false;
    DeviceMAC = MAC;
    const int64_t target = TARPManager::MACToInt64(MAC);
    FoundIP.clear();
    DeviceIP.clear();
    if (!KeepSocket) {
        if (MySock.IsOpen())
            MySock.Close();
        MySock.SetRemoteIP(Broadcast);
        MySock.SetRemotePort(Port);
        MySock.Bind();
        MySock.SetBroadCastAccept(true);
    }

    SetCaption(!Caption.isEmpty() ? Caption
                                  : Txt(u"Vyhledávámzaříz", u"Vyhledávám zařízení ") + MACText(target) + Ellipsis);
    StartAnimation();
    const TFinally animating([this] { StopAnimation(); });
    RunMessages();

    std::unique_ptr<TDataPacket> own;
    TDataPacket* packet = PacketOrBuiltIn("searching_record", own);
    // Answers to a broadcast are taken only while this search runs.
    const TFinally broadcastOff([this] { MySock.SetBroadCastAccept(false); });
    MySock.SendTo(packet->GetQueryHeader(), MySock.RemoteIP(), MySock.RemotePort());

    const int32_t cycles = TimeoutMs / 100 + 1;
    for (int32_t c = 0; IP.isEmpty() && c < cycles; ++c) {
        MySock.WaitForData(100, true);
        ++WaitCycles;
        AnimationStep();
        TMyPacket d;
        while (IP.isEmpty() && MySock.ReceiveQueue().Pop(d)) {
            packet->SetDataFromString(d.Data);
            if (TARPManager::MACToInt64(ItemText(*packet, "unit_mac")) == target &&
                packet->GetRecordKind() == rkAnswer) {
                FoundIP = d.IP;
                IP = FoundIP;
                Answered = true;
            }
        }
    }
    return IP;
}

QString TDataSenderConversations::WaitForDevice(const QString& MAC, const QString& Caption, QString& IP)
{
    const TConversationScope conversing(*this);
    IP.clear();
    const QString caption = Caption.isEmpty() ? Txt(u"Čekámnazařízen", u"Čekám na zařízení...") : Caption;
    RetryForDevice([&](int tryIndex) {
        if (tryIndex == 0) {
            CloseSocket();
            ShowSearching();
            MySock.SetRemoteIP(Broadcast);
            MySock.SetRemotePort(Port);
            MySock.Bind();
        }
        QString found;
        FindIPByMAC(MAC, caption, found, true);
        if (found.isEmpty())
            return false;
        IP = found;
        return true;
    });
    return IP;
}

// ---------------------------------------------------------------- one record

bool TDataSenderConversations::QueryRecord(TDataPacket* Packet, bool Wait, bool ShowProgress)
{
    return OneRecord(Packet, Wait, ShowProgress, false);
}

bool TDataSenderConversations::SetRecord(TDataPacket* Packet, bool Wait, bool ShowProgress)
{
    return OneRecord(Packet, Wait, ShowProgress, true);
}

bool TDataSenderConversations::OneRecord(TDataPacket* Packet, bool Wait, bool ShowProgress, bool Set)
{
    if (!Packet)
        return false;
    const TConversationScope conversing(*this);
    bool result = false;
    try {
        if (ShowProgress) {
            SetProgress(1);
            SetCaption(Set ? Txt(u"Nastavujidata", u"Nastavuji data...") : Txt(u"Přijímámdata", u"Přijímám data..."));
            RunMessages();
        }
        MySock.SetRemoteIP(DeviceIP);
        MySock.SetRemotePort(Port);
        if (MySock.Connected() && (MySock.Bound() || ConnectedElsewhere()))
            MySock.Close();
        if (!MySock.Connected())
            Connect(false);
        MySock.Send(Set ? Packet->GetSetRecord() : Packet->GetQueryHeader());
        if (ShowProgress) {
            SetProgress(33);
            RunMessages();
        }
        if (Wait) {
            const int32_t cycles = TimeoutMs / 20 + 1;
            for (int32_t c = 0; !result && c < cycles; ++c) {
                MySock.WaitForData(20, true);
                ++WaitCycles;
                TMyPacket d;
                while (!result && MySock.ReceiveQueue().Pop(d)) {
                    if (d.IP != DeviceIP || d.Data.isEmpty())
                        continue;
                    if (Set) {
                        // The first datagram of the device decides this cycle;
                        // later ones wait for the next.
                        result = Packet->IdentifyRecord(d.Data) == rkSetAnswer;
                        break;
                    }
                    if (Packet->IdentifyRecord(d.Data) == rkAnswer)
                        result = Packet->LoadFromString(d.Data);
                }
            }
        }
    } catch (const std::exception&) {
        result = false;
    }
    if (ShowProgress) {
        SetProgress(result ? 100 : 20);
        RunMessages();
    }
    return result;
}

// ---------------------------------------------------------------- batches

int32_t TDataSenderConversations::ReadAllRecords()
{
    if (!DataManager)
        return 0;
    const TConversationScope conversing(*this);
    const std::vector<TDataPacket*> setup = SetupPackets(false);
    for (TDataPacket* p : setup)
        p->SetLoaded(false);
    const auto total = static_cast<int32_t>(setup.size());
    ConnectForBatch();
    RecordsTotal = total;
    if (total == 0) {
        RecordsDone = 0;
        return 0;
    }

    for (int32_t k = 0; k < total; ++k) {
        SetProgress(PercentHalfEven(k, total));
        SetCaption(k == 0 ? Txt(u"Předávámpožadav", u"Předávám požadavek na data...")
                          : Txt(u"Předávámpožadav0", u"Předávám požadavek na záznam č.") + Num(k) + Txt(u"z4", u" z ") +
                                Num(total) + Ellipsis);
        RunMessages();
        QueryRecord(setup[size_t(k)], false, false);
        MySock.WaitForData(1, false);
    }
    SetProgress(100);
    SetCaption(Txt(u"Předávámpožadav1", u"Předávám požadavek na záznam č.") + Num(total) + Txt(u"z3", u" z ") +
               Num(total) + Ellipsis);
    RunMessages();

    int32_t done = 0;
    const int32_t cycles = TimeoutMs / 20 + 2;
    for (int32_t c = 0; done < total && c < cycles; ++c) {
        MySock.WaitForData(20, true);
        ++WaitCycles;
        TMyPacket d;
        while (MySock.ReceiveQueue().Pop(d)) {
            if (d.IP != DeviceIP || d.Data.isEmpty())
                continue;
            const int i = DataManager->FindPacketForRecord(d.Data, ptSetup);
            if (i >= 0)
                DataManager->GetPacket(i)->LoadFromString(d.Data);
        }
        done = static_cast<int32_t>(std::count_if(setup.begin(), setup.end(), [](const TDataPacket* p) {
            return p->Loaded();
        }));
        SetProgress(PercentHalfEven(done, total));
        SetCaption(Num(done) + Txt(u"z2", u" z ") + Num(total) + Txt(u"záznamůpřija", u" záznam(ů) přijato."));
        RunMessages();
    }
    RecordsDone = done;
    return done;
}

int32_t TDataSenderConversations::WriteAllRecords(bool OnlyLoaded)
{
    if (!DataManager)
        return 0;
    const TConversationScope conversing(*this);
    const std::vector<TDataPacket*> setup = SetupPackets(OnlyLoaded);
    const auto total = static_cast<int32_t>(setup.size());
    ConnectForBatch();
    RecordsTotal = total;
    RecordsDone = 0;
    if (total == 0)
        return 0;

    for (int32_t k = 0; k < total; ++k) {
        TDataPacket* p = setup[size_t(k)];
        SetProgress(PercentHalfEven(k, total));
        SetCaption(k == 0 ? Txt(u"Ukládánídat", u"Ukládání dat ...")
                          : Txt(u"Ukládámzáznamč", u"Ukládám záznam č.") + Num(k) + Txt(u"z1", u" z ") + Num(total) +
                                Ellipsis);
        RunMessages();
        p->SetHeader(rkSet);
        // Byte 1 tells the device that more records of this batch follow.
        if (k < total - 1)
            p->SetHeaderByte(1, 1);
        SetRecord(p, false, false);
        MySock.WaitForData(1, false);
    }
    SetProgress(100);
    SetCaption(Txt(u"Ukládámzáznamč0", u"Ukládám záznam č.") + Num(total) + Txt(u"z0", u" z ") + Num(total) +
               Ellipsis);
    RunMessages();

    // A record counts as saved once any acknowledgement for it came: a
    // device that answers one record twice and another not at all has not
    // saved everything.
    std::vector<bool> acked(setup.size(), false);
    int32_t acks = 0;
    const int32_t cycles = TimeoutMs / 20 + 2;
    for (int32_t c = 0; acks < total && c < cycles; ++c) {
        MySock.WaitForData(20, true);
        ++WaitCycles;
        TMyPacket d;
        while (MySock.ReceiveQueue().Pop(d)) {
            if (d.IP != DeviceIP || d.Data.isEmpty())
                continue;
            const int i = DataManager->FindPacketForRecord(d.Data, ptSetup);
            if (i < 0)
                continue;
            const auto sent = std::find(setup.begin(), setup.end(), DataManager->GetPacket(i));
            if (sent == setup.end() || acked[size_t(sent - setup.begin())])
                continue;
            acked[size_t(sent - setup.begin())] = true;
            ++acks;
        }
        SetProgress(PercentHalfEven(acks, total));
        SetCaption(Num(acks) + Txt(u"z", u" z ") + Num(total) + Txt(u"záznamůuloženo", u" záznamů uloženo."));
        RunMessages();
    }
    if (acks >= total)
        SetCaption(total == 1 ? Txt(u"Záznamuložen", u"Záznam uložen.")
                              : Txt(u"Všechnyzáznamy", u"Všechny záznamy uloženy (") + Num(total) + QStringLiteral(")"));
    RecordsDone = acks;
    return acks;
}

// ---------------------------------------------------------------- setting the IP

bool TDataSenderConversations::SetIPDirect(const QString& CurrentIP, const QString& NewIP, const QString& Gateway,
                                           uint32_t Mask, bool WaitAnswer, bool SkipQuery)
{
    const TConversationScope conversing(*this);
    bool result = false;
    if (!CurrentIP.isEmpty())
        DeviceIP = CurrentIP;
    std::unique_ptr<TDataPacket> own;
    TDataPacket* packet = PacketOrBuiltIn("setip_record", own);
    bool asked = own == nullptr;
    ReconnectToDevice(false);
    packet->ApplyDefaults();
    if (!SkipQuery) {
        PrepareTransfer(CurrentIP);
        asked = QueryRecord(packet, true, true);
    }
    if (!asked && !SkipQuery &&
        !AskYes(Txt(u"Nastavenímůžez", u"Nastavení může způsobit přepsání původního nastavení.") + CRLF +
                    Txt(u"Chcetepokračova", u"Chcete pokračovat?"),
                Txt(u"Upozornění", u"Upozornění"), MB_YESNO | MB_ICONASTERISK | MB_DEFBUTTON2))
        return false;

    SetCaption(Txt(u"NastaveníIPadr", u"Nastavení IP adresy na ") + NewIP + Ellipsis);
    RunMessages();
    packet->SetValue(QStringLiteral("unit_ip"), Variant(NewIP.toLatin1()));
    if (packet->HasItem(QStringLiteral("gateway_ip")))
        packet->SetValue(QStringLiteral("gateway_ip"), Variant(Gateway.toLatin1()));
    if (packet->HasItem(QStringLiteral("num_host_bits")))
        packet->SetValue(QStringLiteral("num_host_bits"), Variant(TARPManager::MaskToHostBits(Mask)));
    MySock.SendTo(packet->GetSetRecord(), DeviceIP, MySock.RemotePort());

    if (WaitAnswer) {
        const int32_t cycles = TimeoutMs / 100 + 1;
        for (int32_t c = 0; !result && c < cycles; ++c) {
            MySock.WaitForData(100, true);
            ++WaitCycles;
            TMyPacket d;
            while (!result && MySock.ReceiveQueue().Pop(d)) {
                packet->SetDataFromString(d.Data);
                if (packet->GetRecordKind() == rkSetAnswer) {
                    result = true;
                    Answered = true;
                }
            }
        }
    }
    return result;
}

bool TDataSenderConversations::SetIPByMAC(const QString& MAC, const QString& NewIP, const QString& Gateway,
                                          uint32_t Mask)
{
    const TConversationScope conversing(*this);
    TMACBytes device{};
    try {
        if (!StrToMAC(MAC, device))
            return false;
    } catch (const EConvertError&) {
        return false;
    }
    const uint32_t New = StrToIP(NewIP);
    if (New == 0xFFFFFFFFu)
        return false;

    TARPManager& arp = ARPManager();
    if (New != 0 && !arp.IsLocalSubnet(New)) {
        Answered = true;
        if (!AskYes(Txt(u"Adresakterouc", u"Adresa, kterou chcete přiřadit (") + NewIP +
                        Txt(u"nepříslušíste", u") nepřísluší stejné podsíti jako tento počítač.") + CRLF +
                        Txt(u"Chcetejipřesto", u"Chcete ji přesto přiřadit?"),
                    Txt(u"Varování", u"Varování"), MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2))
            return false;
    }

    SetCaption(Txt(u"Hledánízařízení", u"Hledání zařízení ") + MAC + Ellipsis);
    RunMessages();
    QString found;
    FindIPByMAC(MAC, QString(), found, false);
    bool usable = !found.isEmpty();

    if (!found.isEmpty() && !arp.IsLocalSubnetStr(found)) {
        bool replied = false;
        try {
            TMACBuffer reply{};
            uint32_t length = 6;
            replied = arp.SendARP(StrToIP(found), reply, length, 0);
        } catch (const std::exception&) {
            replied = false;
        }
        // An ARP reply only says the device is on the wire; datagrams to it
        // follow the routes, and through a gateway they never arrive.
        replied = replied && arp.IsOnLink(StrToIP(found));
        if (!replied) {
            if (!AskYes(Txt(u"Zařízeníbylode",
                            u"Zařízení bylo detekováno, ale nelze s ním komunikovat kvůli jeho síťovému nastavení. "
                            u"Pokud se pokusíte nastavit jeho IP adresu, můžou být ztracena některá současná "
                            u"nastavení zařízení.") +
                            CRLF + Txt(u"Chcetepřestopo", u"Chcete přesto pokračovat?") + RightsNote(arp),
                        Txt(u"Varování0", u"Varování"), MB_YESNO | MB_ICONEXCLAMATION))
                return false;
            usable = false;
        }
    }

    if (usable) {
        if (StrToIP(found) != New || New == 0) {
            TMACBuffer holder{};
            arp.ResolveMAC(New, holder);
            if (!IsZeroMAC(holder) && !SameMAC(holder, device) &&
                !AskYes(Txt(u"IPadresa", u"IP adresa ") + NewIP +
                            Txt(u"jižjepřiřazen", u" již je přiřazena jinému zařízení v síti (") +
                            MACToStr(std::span<const uint8_t, 6>(holder.data(), 6)) +
                            Txt(u"amohlobydoj", u") a mohlo by dojít ke konfliktu.") + CRLF +
                            Txt(u"Chcetepřestopo", u"Chcete přesto pokračovat?"),
                        Txt(u"Varování", u"Varování"), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2))
                return false;
        }
        return SetIPDirect(found, NewIP, Gateway, Mask, true, false);
    }
    return StaticARPWay(MAC, device, NewIP, New, Gateway, Mask, !found.isEmpty());
}

bool TDataSenderConversations::StaticARPWay(const QString& MAC, const TMACBytes& Device, const QString& NewIP,
                                            uint32_t New, const QString& Gateway, uint32_t Mask, bool Found)
{
    if (!Found &&
        !AskYes(Txt(u"Zařízení", u"Zařízení (") + MAC + Txt(u"nebylonalezen", u") nebylo nalezeno!") + CRLF +
                    Txt(u"Pokudjstesiji",
                        u"Pokud jste si jisti, že je zařízení správně připojeno k síti a souhlasí MAC adresa, ") +
                    Txt(u"jemožnéžejeh",
                        u" je možné že jeho síťové nastavení nesouhlasí s místní sítí a nekomunikuje správně.") +
                    CRLF + CRLF + Txt(u"Chcetepřestozk", u"Chcete přesto zkusit přiřadit IP adresu?") +
                    RightsNote(ARPManager()),
                Txt(u"Zařízenínebylo", u"Zařízení nebylo nalezeno"), MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2))
        return false;

    TARPManager& arp = ARPManager();
    SetCaption(Txt(u"KontrolaIPadre", u"Kontrola IP adresy ") + NewIP + Ellipsis);
    RunMessages();
    TMACBuffer holder{};
    arp.ResolveMAC(New, holder);
    if (!IsZeroMAC(holder) && !SameMAC(holder, Device) &&
        !AskYes(Txt(u"IPadresa0", u"IP adresa ") + NewIP +
                    Txt(u"jižjepřiřazen0", u" již je přiřazena jinému zařízení v síti (") +
                    MACToStr(std::span<const uint8_t, 6>(holder.data(), 6)) +
                    Txt(u"amohlobydoj", u") a mohlo by dojít ke konfliktu.") + CRLF +
                    Txt(u"Chcetepřestopo1", u"Chcete přesto pokračovat?"),
                Txt(u"Varování2", u"Varování"), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2))
        return false;

    // Old entries for the address or the device would compete with ours.
    arp.GetARPTable();
    arp.DeleteByIPNum(New, 0);
    arp.DeleteByMACBytes(Device, 0);
    const int32_t chosen = LocalAdapterIP != 0 ? arp.InterfaceOfAddress(LocalAdapterIP) : -1;
    const int32_t index = chosen != -1 ? chosen : arp.InterfaceFor(New);
    if (!arp.CreateARPEntry(New, Device, StaticEntryType, index))
        return false;

    // The entry (and the route beside it) must not outlive this
    // conversation, whatever way it ends: a stale one would send the PC's
    // traffic for the address to the device's MAC long after the device has
    // gone elsewhere. What cannot be removed is reported.
    bool routeAdded = false;
    const auto cleanUp = [&]() -> QString {
        QStringList failures;
        const auto failure = [](const QString& name) {
            return name + QStringLiteral(":\r\n") + ARPErrorText(GetLastError());
        };
        if (routeAdded) {
            try {
                if (!arp.DeleteHostRoute(New, index))
                    failures << failure(QStringLiteral("DeleteHostRoute"));
            } catch (const Exception& e) {
                failures << e.Message();
            }
        }
        try {
            if (arp.GetARPTable() < 0 || (arp.FindEntry(New, Device, 0) && !arp.DeleteEntry(New, Device, 0)))
                failures << failure(QStringLiteral("DeleteARPEntry"));
        } catch (const Exception& e) {
            failures << e.Message();
        }
        return failures.join(CRLF);
    };

    bool result = false;
    try {
        // Datagrams to the new address follow the routes, not the entry: the
        // address must be on-link on the entry's interface while we send.
        if (!arp.IsOnLink(New, index)) {
            routeAdded = arp.CreateHostRoute(New, index);
            if (!routeAdded) {
                const QString failed = cleanUp();
                if (!failed.isEmpty())
                    throw EARPException(failed);
                return false;
            }
        }
        result = SendThroughStaticEntry(MAC, NewIP, Gateway, Mask);
    } catch (const Exception& e) {
        const QString failed = cleanUp();
        if (failed.isEmpty())
            throw;
        throw EARPException(e.Message() + CRLF + failed);
    } catch (...) {
        cleanUp();
        throw;
    }
    const QString failed = cleanUp();
    if (!failed.isEmpty())
        throw EARPException(failed);
    return result;
}

bool TDataSenderConversations::SendThroughStaticEntry(const QString& MAC, const QString& NewIP,
                                                      const QString& Gateway, uint32_t Mask)
{
    SetCaption(Txt(u"Předáváminforma", u"Předávám informace ..."));
    RunMessages();
    for (int i = 0; i < StaticSends; ++i) {
        std::this_thread::sleep_for(StaticSendPause);
        SetIPDirect(NewIP, NewIP, Gateway, Mask, false, true);
    }

    const int64_t deviceMac = TARPManager::MACToInt64(MAC);
    const QString waiting = Txt(u"Čekámnazařízen", u"Čekám na zařízení...");
    return RetryForDevice([&](int tryIndex) {
        if (tryIndex == 0) {
            CloseSocket();
            ShowSearching();
            MySock.SetRemoteIP(NewIP);
            MySock.SetRemotePort(Port);
            Connect(false);
        }
        QString answer;
        FindMACByIP(NewIP, waiting, answer, true);
        // An empty answer must not pass for an all-zero MAC.
        return !answer.isEmpty() && TARPManager::MACToInt64(answer) == deviceMac;
    });
}

bool TDataSenderConversations::ReadIPSettings(QString& IP, QString& Gateway, uint32_t& Mask)
{
    const TConversationScope conversing(*this);
    if (!IP.isEmpty())
        DeviceIP = IP;
    std::unique_ptr<TDataPacket> own;
    TDataPacket* packet = PacketOrBuiltIn("setip_record", own);
    PrepareTransfer(IP);
    const bool ok = QueryRecord(packet, true, true);
    if (ok) {
        IP = ItemText(*packet, "unit_ip");
        Gateway = packet->HasItem(QStringLiteral("gateway_ip")) ? ItemText(*packet, "gateway_ip") : QString();
        Mask = packet->HasItem(QStringLiteral("num_host_bits"))
                   ? TARPManager::HostBitsToMask(
                         static_cast<int32_t>(packet->GetValue(QStringLiteral("num_host_bits")).ToInt64()))
                   : 0;
    }
    return ok;
}
