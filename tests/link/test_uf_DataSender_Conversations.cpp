// Datagrams put into the receive queue beforehand are examined like new arrivals.

#include "ConversationTestKit.h"
#include "FakeIpHelper.h"
#include "LoopDevice.h"
#include "lang/uLanguage.h"
#include "support/NetBench.h"
#include "support/QStringPrint.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

const QByteArray kMac = QByteArray::fromHex("02abcdef0102");
const QString kMacText = QStringLiteral("02-ab-cd-ef-01-02");

class ConversationTest : public ::testing::Test
{
protected:
    void Start(TLoopDevice::Replier reply, bool withModel = true)
    {
        device = std::make_unique<TLoopDevice>(std::move(reply));
        c = std::make_unique<TRecordingConversations>(device->Port(), withModel ? model.get() : nullptr);
        c->TimeoutMs = 300;
    }

    void Queue(const char* sender, const QByteArray& data)
    {
        c->MySock.ReceiveQueue().Push(TMyPacket{data, QString::fromLatin1(sender), device->Port()});
    }

    TDataPacket* Packet(const char* name) { return model->FindPacket(QString::fromLatin1(name)); }

    std::unique_ptr<TDataManager> model = BuiltInModel();
    std::unique_ptr<TLoopDevice> device;
    std::unique_ptr<TRecordingConversations> c;
};

} // namespace

TEST(ConversationRoutines, ProgressIsTakenToTheEvenNeighbour)
{
    const std::tuple<int, int, int> rows[] = {{1, 8, 12}, {3, 8, 38}, {5, 8, 62},  {2, 3, 67},
                                              {0, 4, 0},  {4, 4, 100}, {8, 4, 100}, {1, 0, 0}};
    for (const auto& [x, total, percent] : rows)
        EXPECT_EQ(PercentHalfEven(x, total), percent) << x << '/' << total;
}

// The waits of the timing table, counted at short time-outs against a device
// that never answers, with the status line each leaves.
TEST_F(ConversationTest, EveryConversationWaitsItsCyclesForASilentDevice)
{
    QString none;
    const struct
    {
        const char* name;
        int32_t timeoutMs;
        int32_t cycles;
        const char* lastCaption;
        std::function<void(TRecordingConversations&)> run;
    } rows[] = {
        {"search by IP", 300, 4, "Vyhledávám zařízení 127.0.0.2...",
         [&](auto& c) { c.FindMACByIP(c.DeviceIP, QString(), none, false); }},
        {"one record", 100, 6, "Přijímám data...",
         [this](auto& c) { c.QueryRecord(Packet("SetupRecord0"), true, true); }},
        {"read", 100, 7, "0 z 4 záznam(ů) přijato.", [](auto& c) { c.ReadAllRecords(); }},
        {"write", 100, 7, "0 z 4 záznamů uloženo.",
         [](auto& c) {
             c.MySock.ReceiveQueue().Push(TMyPacket{DeviceRecord(0xB0, 124), QStringLiteral("10.1.1.1"), c.Port});
             c.WriteAllRecords(false);
         }},
        {"set-IP acknowledgement", 300, 4, "Nastavení IP adresy na 10.0.0.9...",
         [](auto& c) {
             // An answer is no set-answer.
             c.MySock.ReceiveQueue().Push(TMyPacket{DeviceRecord(0xF9, 124), c.DeviceIP, c.Port});
             EXPECT_FALSE(c.SetIPDirect(c.DeviceIP, QStringLiteral("10.0.0.9"), QString(), 0, true, true));
         }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Start(SilentDevice());
        c->TimeoutMs = r.timeoutMs;
        c->PrepareTransfer(device->IP());
        c->MySock.Bind();
        r.run(*c);
        EXPECT_EQ(c->WaitCycles, r.cycles);
        EXPECT_EQ(c->Captions.last(), QString::fromUtf8(r.lastCaption));
        EXPECT_FALSE(c->Answered);
        EXPECT_EQ(c->RecordsDone, 0);
    }
}

TEST_F(ConversationTest, SearchesTakeOnlyTheAnswersTheyAskFor)
{
    Start(DeviceReplies({}));
    Queue("10.9.9.9", SearchRecord(QByteArray::fromHex("020000000009")));
    QString mac;
    EXPECT_EQ(c->FindMACByIP(device->IP(), QString(), mac, false), kMacText);
    EXPECT_EQ(c->FoundIP, device->IP());
    EXPECT_TRUE(c->Answered);
    EXPECT_EQ(device->Received(), std::vector<QByteArray>{QByteArray::fromHex("000000f6")});
    EXPECT_TRUE(c->MySock.BroadCastAccept());
    // The sender is compared as text: a differently written address of the
    // same device never matches.
    c->TimeoutMs = 100;
    EXPECT_TRUE(c->FindMACByIP(QStringLiteral("127.000.000.002"), QStringLiteral("Hledám"), mac, false).isEmpty());
    EXPECT_EQ(c->Captions.last(), QStringLiteral("Hledám"));

    // By MAC: the device's own query-kind datagram, another device's answer
    // and a short datagram do not count; a matching answer counts whoever
    // sent it.
    c->MySock.Bind();
    Queue("127.0.0.2", SearchRecord(kMac, 0xF6));
    Queue("10.1.1.1", SearchRecord(QByteArray::fromHex("02abcdef0103")));
    Queue("10.1.1.2", QByteArray::fromHex("000000f7"));
    Queue("10.7.7.7", SearchRecord(kMac));
    QString ip;
    EXPECT_EQ(c->FindIPByMAC(QStringLiteral("02-AB-CD-EF-01-02"), QString(), ip, true), QStringLiteral("10.7.7.7"));
    EXPECT_TRUE(c->Answered);
    EXPECT_TRUE(c->DeviceIP.isEmpty());
    EXPECT_FALSE(c->MySock.BroadCastAccept());
}

TEST_F(ConversationTest, ReadCountsEachSetupRecordOnceFromTheDeviceOnly)
{
    Start(SilentDevice());
    Queue("127.0.0.2", QByteArray());
    Queue("127.0.0.2", DeviceRecord(0xD0, 124, "record 0"));
    Queue("10.1.1.1", DeviceRecord(0xD0, 124, "foreign!"));
    Queue("127.0.0.2", DeviceRecord(0xB2, 130, "set-ans2"));
    Queue("127.0.0.2", DeviceRecord(0xD2, 130, "record 2"));
    Queue("127.0.0.2", DeviceRecord(0xD2, 130, "record 2"));
    Queue("127.0.0.2", SearchRecord(kMac));
    Queue("127.0.0.2", DeviceRecord(0xD4, 130, "record 4"));
    Queue("127.0.0.2", DeviceRecord(0xD5, 1400, "record 5")); // oversized: the record keeps its size
    Packet("SetupRecord0")->SetLoaded(true);
    c->PrepareTransfer(device->IP());

    EXPECT_EQ(c->ReadAllRecords(), 4);
    ASSERT_TRUE(device->WaitForReceived(4));
    const std::vector<QByteArray> sent = device->Received();
    EXPECT_EQ(QByteArrayList(sent.begin(), sent.end()).join().toHex(), QByteArray("000000e0000000e2000000e4000000e5"));
    EXPECT_EQ(Packet("SetupRecord0")->GetDataAsString().mid(4, 8), QByteArray("record 0"));
    EXPECT_EQ(model->GetPacket(3)->GetDataAsString().size(), 130);
    for (int i = 0; i < model->Count(); ++i)
        EXPECT_EQ(model->GetPacket(i)->Loaded(), model->GetPacket(i)->PacketType() == ptSetup) << i;
    // Everything was there before collecting: one collection cycle.
    EXPECT_EQ(c->Captions, (QStringList{QStringLiteral("Předávám požadavek na data..."),
                                        QStringLiteral("Předávám požadavek na záznam č.1 z 4..."),
                                        QStringLiteral("Předávám požadavek na záznam č.2 z 4..."),
                                        QStringLiteral("Předávám požadavek na záznam č.3 z 4..."),
                                        QStringLiteral("Předávám požadavek na záznam č.4 z 4..."),
                                        QStringLiteral("4 z 4 záznam(ů) přijato.")}));
    EXPECT_EQ(c->Progress, (std::vector<int>{0, 25, 50, 75, 100, 100}));
}

TEST_F(ConversationTest, WriteMarksEveryRecordButTheLastAndCountsEachRecordOnce)
{
    Start(SilentDevice());
    Packet("SetupRecord0")->SetLoaded(true);
    model->GetPacket(2)->SetLoaded(true); // SetupRecord4 (C4)
    model->GetPacket(3)->SetLoaded(true); // the second SetupRecord4 (C5)
    // An acknowledgement that came in twice counts once; an answer counts like a set-answer; datagrams of no
    // setup record do not count.
    for (const uint8_t code : {0xB0, 0xB0, 0xD4, 0xB5})
        Queue("127.0.0.2", DeviceRecord(code, 130));
    Queue("127.0.0.2", SearchRecord(kMac));
    c->PrepareTransfer2(device->IP());

    EXPECT_EQ(c->WriteAllRecords(true), 3);
    ASSERT_TRUE(device->WaitForReceived(3));
    const std::vector<QByteArray> sent = device->Received();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].left(4).toHex(), QByteArray("000100c0"));
    EXPECT_EQ(sent[1].left(4).toHex(), QByteArray("000100c4"));
    EXPECT_EQ(sent[2].left(4).toHex(), QByteArray("000000c5"));
    EXPECT_EQ(sent[0].size(), 124);
    EXPECT_EQ(c->Progress, (std::vector<int>{0, 33, 67, 100, 100}));
    EXPECT_EQ(c->Captions, (QStringList{QStringLiteral("Ukládání dat ..."),
                                        QStringLiteral("Ukládám záznam č.1 z 3..."),
                                        QStringLiteral("Ukládám záznam č.2 z 3..."),
                                        QStringLiteral("Ukládám záznam č.3 z 3..."),
                                        QStringLiteral("3 z 3 záznamů uloženo."),
                                        QStringLiteral("Všechny záznamy uloženy (3)")}));

    Packet("SetupRecord0")->SetLoaded(false);
    model->GetPacket(2)->SetLoaded(false);
    Queue("127.0.0.2", DeviceRecord(0xB5, 130));
    EXPECT_EQ(c->WriteAllRecords(true), 1);
    EXPECT_EQ(c->Captions.last(), QStringLiteral("Záznam uložen."));
}

TEST_F(ConversationTest, SetIPDirectKeepsWhatTheDeviceReportedOrAsksBeforeSendingDefaults)
{
    TDeviceFacts facts;
    Start(DeviceReplies(facts));
    EXPECT_TRUE(c->SetIPDirect(device->IP(), QStringLiteral("10.0.0.77"), QStringLiteral("10.0.0.1"),
                               StrToIP(QStringLiteral("255.255.255.0")), true, false));
    EXPECT_TRUE(c->Questions.empty());
    EXPECT_EQ(device->Received().back().left(20).toHex(), QByteArray("000000fd0a00004d00000800500000000a000001"));

    facts.AnswerSetIPQuery = false;
    Start(DeviceReplies(facts));
    c->Answer = [](const TQuestion&) { return int(platform::IDNO); };
    EXPECT_FALSE(c->SetIPDirect(device->IP(), QStringLiteral("10.0.0.77"), QString(), 0, true, false));
    ASSERT_EQ(c->Questions.size(), 1u);
    EXPECT_EQ(c->Questions[0].Caption, QStringLiteral("Upozornění"));
    EXPECT_EQ(c->Questions[0].Text,
              QStringLiteral("Nastavení může způsobit přepsání původního nastavení.\r\nChcete pokračovat?"));
    EXPECT_EQ(c->Questions[0].Flags, 0x144u);
    EXPECT_EQ(device->Received(), std::vector<QByteArray>{QByteArray::fromHex("000000f8")});

    // Yes: the mapping document's defaults plus the new values.
    c->Answer = [](const TQuestion&) { return int(platform::IDYES); };
    EXPECT_TRUE(c->SetIPDirect(device->IP(), QStringLiteral("10.0.0.77"), QStringLiteral("10.0.0.1"),
                               StrToIP(QStringLiteral("255.255.0.0")), true, false));
    TDataPacket* decoded = Packet("setip_record");
    decoded->SetDataFromString(device->Received().back());
    EXPECT_EQ(decoded->GetValue(QStringLiteral("_unit_port")).ToInt64(), 10001);
    EXPECT_EQ(decoded->GetValue(QStringLiteral("num_host_bits")).ToInt64(), 16);

    // Without a model and without the query, the built-in record goes out:
    // zeros but for the three values, and nobody is asked.
    c->DataManager = nullptr;
    c->Questions.clear();
    EXPECT_FALSE(c->SetIPDirect(device->IP(), QStringLiteral("10.0.0.78"), QStringLiteral("10.0.0.1"),
                                StrToIP(QStringLiteral("255.255.255.0")), false, true));
    EXPECT_TRUE(c->Questions.empty());
    ASSERT_TRUE(device->WaitForReceived(4));
    const QByteArray bare = device->Received().back();
    EXPECT_EQ(bare.left(20).toHex(), QByteArray("000000fd0a00004e00000800000000000a000001"));
    EXPECT_EQ(bare.mid(20), QByteArray(104, '\0'));
}

// The query of one record loads only its answer from the device: a foreign
// answer, a set-answer and another record's answer are passed over.
TEST_F(ConversationTest, ReadIPSettingsTakesItsAnswerAndTurnsHostBitsIntoAMask)
{
    TDeviceFacts facts;
    facts.HostBits = 24;
    Start(DeviceReplies(facts), false);
    Queue("10.1.1.1", DeviceRecord(0xF9, 124, "\x0a\x01\x01\x01"));
    Queue("127.0.0.2", DeviceRecord(0xFB, 124, "\x0a\x01\x01\x02"));
    Queue("127.0.0.2", DeviceRecord(0xD0, 124, "\x0a\x01\x01\x03"));
    QString ip = device->IP();
    QString gateway;
    uint32_t m = 1;
    EXPECT_TRUE(c->ReadIPSettings(ip, gateway, m));
    EXPECT_EQ(ip, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(gateway, QStringLiteral("10.0.0.1"));
    EXPECT_EQ(IPToStr(m), QStringLiteral("255.0.0.0"));
    EXPECT_EQ(c->Progress, (std::vector<int>{1, 33, 100}));
}

// The static ARP way, the address services answering from a stand-in: old entries of the new address and
// of the device go first, and the static entry goes when the wait for the device ends.
TEST(SetIPByMAC, RefusesUnusableInputAndClearsOldEntriesOnTheStaticWay)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("setip");
    TRecordingConversations c(0, nullptr);
    for (const auto& [mac, ip] : {std::pair{"02-00-00", "10.0.0.9"}, {"zz-00-00-00-00-01", "10.0.0.9"},
                                  {"02-00-00-00-00-01-07", "10.0.0.9"}, {"02-ab-cd-ef-01-02", "no address"},
                                  {"02-ab-cd-ef-01-02", "255.255.255.255"}})
        EXPECT_FALSE(c.SetIPByMAC(QString::fromLatin1(mac), QString::fromLatin1(ip), QString(), 0)) << mac << ip;
    EXPECT_TRUE(c.Captions.isEmpty());

    FakeIpHelper fake;
    MIB_IPNETROW address{}, device{};
    address.dwAddr = StrToIP(QStringLiteral("10.213.0.60"));
    device.dwAddr = StrToIP(QStringLiteral("10.213.0.70"));
    std::memcpy(device.bPhysAddr, kMac.constData(), 6);
    fake.Arp = {address, device};
    fake.ArpRequestResult = platform::ERROR_BAD_NET_NAME;
    fake.CreateAddsRow = true;
    SetIpHelperLoader([&fake] { return std::make_unique<FakeIpHelperLink>(fake); });
    c.TimeoutMs = 300;
    c.OnCaption = [](const QString& text) {
        if (text == QStringLiteral("Čekám na zařízení..."))
            throw Exception(QStringLiteral("přerušeno"));
    };
    NetBench::RunOnThreadIn(bench.PcNamespace(), false, [&] {
        EXPECT_THROW(c.SetIPByMAC(kMacText, QStringLiteral("10.213.0.60"), QString(), 0), Exception);
    });
    SetIpHelperLoader(nullptr);
    QStringList deleted;
    for (const MIB_IPNETROW& row : fake.Deleted)
        deleted << IPToStr(row.dwAddr);
    // The probe drops the cached entry of the address first.
    EXPECT_EQ(deleted, (QStringList{QStringLiteral("10.213.0.60"), QStringLiteral("10.213.0.60"),
                                    QStringLiteral("10.213.0.70"), QStringLiteral("10.213.0.60")}));
    ASSERT_EQ(fake.Created.size(), 1u);
    EXPECT_EQ(fake.Created[0].dwType, 4u);
}

// The direct way (the device answered the search at an address of the PC's
// subnet) asks before taking an address another MAC answers ARP for, in the
// program's language.
TEST(SetIPByMAC, TheDirectWaysConflictQuestionIsInTheProgramsLanguage)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("conflict");
    FakeIpHelper fake;
    fake.Addrs.push_back({StrToIP(QStringLiteral("10.213.0.1")), 2, StrToIP(QStringLiteral("255.255.255.0")), 0, 0, 0, 1});
    SetIpHelperLoader([&fake] { return std::make_unique<FakeIpHelperLink>(fake); });
    const struct {
        const char* file;
        const char* text;
        const char* caption;
    } rows[] = {
        {"cesky.lng",
         "IP adresa 10.213.0.60 již je přiřazena jinému zařízení v síti (00-1a-2b-3c-4d-5e) a mohlo by dojít ke "
         "konfliktu.\r\nChcete přesto pokračovat?",
         "Varování"},
        {"english.lng",
         "IP address 10.213.0.60 is already assigned to another device in the network (00-1a-2b-3c-4d-5e) and this "
         "could cause a conflict.\r\nDo you want to go on all the same?",
         "Warning"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.file);
        Language.LoadFromFile(QStringLiteral(VYN_SOURCE_DIR "/resources/") + QLatin1String(r.file));
        TRecordingConversations c(0, nullptr);
        c.TimeoutMs = 300;
        c.Answer = [](const TQuestion&) { return int(platform::IDNO); };
        c.MySock.ReceiveQueue().Push(TMyPacket{SearchRecord(kMac), QStringLiteral("10.213.0.7"), 0});
        NetBench::RunOnThreadIn(bench.PcNamespace(), false, [&] {
            EXPECT_FALSE(c.SetIPByMAC(kMacText, QStringLiteral("10.213.0.60"), QString(), 0));
        });
        ASSERT_EQ(c.Questions.size(), 1u);
        EXPECT_EQ(c.Questions[0].Text, QString::fromUtf8(r.text));
        EXPECT_EQ(c.Questions[0].Caption, QString::fromUtf8(r.caption));
        EXPECT_EQ(c.Questions[0].Flags, 0x124u);
    }
    Language = TLanguage();
    // The address services keep the subnets they read: read them again, empty.
    fake.Addrs.clear();
    ARPManager().GetIPTable();
    SetIpHelperLoader(nullptr);
    EXPECT_TRUE(fake.Created.empty());
}
