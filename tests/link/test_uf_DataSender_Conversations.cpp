// The device conversations without a window, against a stand-in device on
// loopback. Datagrams that must be told apart (foreign senders, duplicates,
// wrong kinds) are put into the receive queue before a conversation starts:
// a conversation examines what an earlier one left there like new arrivals,
// and this keeps the order of events exact.

#include "ConversationTestKit.h"
#include "LoopDevice.h"
#include "support/QStringPrint.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const QByteArray kMac = QByteArray::fromHex("02abcdef0102");
const QString kMacText = QStringLiteral("02-ab-cd-ef-01-02");

TLoopDevice::Replier Silent()
{
    return [](const QByteArray&) { return std::vector<QByteArray>{}; };
}

std::vector<uint8_t> Codes(const std::vector<QByteArray>& datagrams)
{
    std::vector<uint8_t> codes;
    for (const QByteArray& d : datagrams)
        codes.push_back(d.size() > 3 ? uint8_t(d[3]) : 0);
    return codes;
}

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

TEST(ConversationRoutines, BuiltInRecordsHaveTheLayoutOfTheMappingDocument)
{
    auto model = BuiltInModel();

    auto search = TDataSenderConversations::NewSearchingRecord();
    EXPECT_EQ(search->Name(), QStringLiteral("searching_record"));
    EXPECT_EQ(search->GetDataSize(), 30);
    EXPECT_EQ(search->PacketType(), ptQuery);
    EXPECT_EQ(search->GetQueryHeader(), model->FindPacket(QStringLiteral("searching_record"))->GetQueryHeader());
    search->SetDataFromString(SearchRecord(kMac));
    EXPECT_EQ(search->GetRecordKind(), rkAnswer);
    EXPECT_EQ(search->GetValue(QStringLiteral("unit_mac")).ToText(), kMacText.toLatin1());

    auto setip = TDataSenderConversations::NewSetIPRecord();
    TDataPacket* documented = model->FindPacket(QStringLiteral("setip_record"));
    EXPECT_EQ(setip->GetDataSize(), 124);
    EXPECT_EQ(setip->PacketType(), ptSet);
    EXPECT_EQ(setip->Headers(), documented->Headers());
    for (TDataPacket* p : {setip.get(), documented}) {
        p->SetValue(QStringLiteral("unit_ip"), "10.1.2.3");
        p->SetValue(QStringLiteral("gateway_ip"), "10.1.2.254");
        p->SetValue(QStringLiteral("num_host_bits"), Variant(uint32_t(8)));
    }
    EXPECT_EQ(setip->GetSetRecord().left(20).toHex(), QByteArray("000000fd0a01020300000800000000000a0102fe"));
    EXPECT_EQ(setip->GetSetRecord(), documented->GetSetRecord());
}

TEST(ConversationRoutines, ProgressIsTakenToTheEvenNeighbour)
{
    EXPECT_EQ(PercentHalfEven(1, 8), 12);
    EXPECT_EQ(PercentHalfEven(3, 8), 38);
    EXPECT_EQ(PercentHalfEven(5, 8), 62);
    EXPECT_EQ(PercentHalfEven(7, 8), 88);
    EXPECT_EQ(PercentHalfEven(2, 3), 67);
    EXPECT_EQ(PercentHalfEven(0, 4), 0);
    EXPECT_EQ(PercentHalfEven(4, 4), 100);
    // Duplicated acknowledgements can count past the total.
    EXPECT_EQ(PercentHalfEven(8, 4), 100);
    EXPECT_EQ(PercentHalfEven(1, 0), 0);
}

TEST_F(ConversationTest, SearchByIPTakesTheAnswerOfThatAddressOnly)
{
    Start(DeviceReplies({}));
    Queue("10.9.9.9", SearchRecord(QByteArray::fromHex("020000000009")));
    bool conversingMeanwhile = false;
    c->OnCaption = [&](const QString&) { conversingMeanwhile = c->Conversing(); };

    QString mac;
    EXPECT_EQ(c->FindMACByIP(device->IP(), QString(), mac, false), kMacText);
    EXPECT_EQ(mac, kMacText);
    EXPECT_EQ(c->DeviceMAC, kMacText);
    EXPECT_EQ(c->FoundIP, device->IP());
    EXPECT_TRUE(c->Answered);
    EXPECT_TRUE(conversingMeanwhile);
    EXPECT_FALSE(c->Conversing());
    EXPECT_EQ(c->Captions, QStringList{QStringLiteral("Vyhledávám zařízení 127.0.0.2...")});
    EXPECT_EQ(c->Looks, (QStringList{QStringLiteral("searching"), QStringLiteral("play"), QStringLiteral("stop")}));
    EXPECT_EQ(c->MessageRuns, 1);
    EXPECT_EQ(Codes(device->Received()), std::vector<uint8_t>{0xF6});
    EXPECT_EQ(device->Received()[0].size(), 4);
    // Left connected to the device, with broadcasts still accepted.
    EXPECT_TRUE(c->MySock.Connected());
    EXPECT_FALSE(c->MySock.Bound());
    EXPECT_TRUE(c->MySock.BroadCastAccept());
    EXPECT_EQ(c->MySock.RemoteIP(), device->IP());

    // The sender is compared as text: a differently written address of the
    // same device never matches, and the search runs out.
    c->Answered = true;
    EXPECT_TRUE(c->FindMACByIP(QStringLiteral("127.000.000.002"), QStringLiteral("Hledám"), mac, false).isEmpty());
    EXPECT_TRUE(mac.isEmpty());
    EXPECT_FALSE(c->Answered);
    EXPECT_EQ(c->Captions.last(), QStringLiteral("Hledám"));
    EXPECT_EQ(device->Received().size(), 2u);
}

TEST_F(ConversationTest, SearchByMACTakesAMatchingAnswerFromAnySender)
{
    Start(DeviceReplies({}));
    c->MySock.SetRemoteIP(device->IP());
    c->MySock.SetRemotePort(device->Port());
    c->MySock.Bind();
    // The device's own query-kind datagram and another device's answer do
    // not count; a matching answer counts whoever sent it.
    Queue("127.0.0.2", SearchRecord(kMac, 0xF6));
    Queue("10.1.1.1", SearchRecord(QByteArray::fromHex("02abcdef0103")));
    Queue("10.7.7.7", SearchRecord(kMac));

    QString ip;
    EXPECT_EQ(c->FindIPByMAC(QStringLiteral("02-AB-CD-EF-01-02"), QString(), ip, true), QStringLiteral("10.7.7.7"));
    EXPECT_EQ(ip, QStringLiteral("10.7.7.7"));
    EXPECT_EQ(c->FoundIP, ip);
    EXPECT_TRUE(c->Answered);
    EXPECT_TRUE(c->DeviceIP.isEmpty());
    EXPECT_EQ(c->DeviceMAC, QStringLiteral("02-AB-CD-EF-01-02"));
    EXPECT_EQ(c->Captions, QStringList{QStringLiteral("Vyhledávám zařízení 02-ab-cd-ef-01-02...")});
    EXPECT_FALSE(c->MySock.BroadCastAccept());
    EXPECT_TRUE(c->MySock.Bound());

    // The device's own answer came too and waits in the queue: the next
    // search takes it like a new one.
    EXPECT_EQ(c->FindIPByMAC(kMacText, QString(), ip, true), device->IP());

    c->TimeoutMs = 100;
    EXPECT_TRUE(c->FindIPByMAC(QStringLiteral("02-00-00-00-00-09"), QString(), ip, true).isEmpty());
    EXPECT_FALSE(c->Answered);
}

TEST_F(ConversationTest, ReadCountsEachSetupRecordOnceFromTheDeviceOnly)
{
    Start(Silent());
    Queue("10.1.1.1", DeviceRecord(0xD0, 124, "foreign!"));
    Queue("127.0.0.2", QByteArray());
    Queue("127.0.0.2", DeviceRecord(0xD0, 124, "record 0"));
    Queue("127.0.0.2", DeviceRecord(0xB2, 130, "set-ans2"));
    Queue("127.0.0.2", DeviceRecord(0xD2, 130, "record 2"));
    Queue("127.0.0.2", DeviceRecord(0xD2, 130, "record 2"));
    Queue("127.0.0.2", SearchRecord(kMac));
    Queue("127.0.0.2", DeviceRecord(0xD4, 130, "record 4"));
    Queue("127.0.0.2", DeviceRecord(0xD5, 130, "record 5"));
    Packet("SetupRecord0")->SetLoaded(true);
    c->PrepareTransfer(device->IP());

    EXPECT_EQ(c->ReadAllRecords(), 4);
    EXPECT_EQ(c->RecordsTotal, 4);
    EXPECT_EQ(c->RecordsDone, 4);
    ASSERT_TRUE(device->WaitForReceived(4));
    EXPECT_EQ(Codes(device->Received()), (std::vector<uint8_t>{0xE0, 0xE2, 0xE4, 0xE5}));
    EXPECT_EQ(Packet("SetupRecord0")->GetDataAsString().mid(4, 8), QByteArray("record 0"));
    EXPECT_EQ(Packet("SetupRecord2")->GetDataAsString().mid(4, 8), QByteArray("record 2"));
    for (int i = 0; i < model->Count(); ++i) {
        const TDataPacket* p = model->GetPacket(i);
        EXPECT_EQ(p->Loaded(), p->PacketType() == ptSetup) << p->Name().toStdString();
    }
    // Everything was there before collecting: one collection cycle.
    EXPECT_EQ(c->Captions, (QStringList{QStringLiteral("Předávám požadavek na data..."),
                                        QStringLiteral("Předávám požadavek na záznam č.1 z 4..."),
                                        QStringLiteral("Předávám požadavek na záznam č.2 z 4..."),
                                        QStringLiteral("Předávám požadavek na záznam č.3 z 4..."),
                                        QStringLiteral("Předávám požadavek na záznam č.4 z 4..."),
                                        QStringLiteral("4 z 4 záznam(ů) přijato.")}));
    EXPECT_EQ(c->Progress, (std::vector<int>{0, 25, 50, 75, 100, 100}));
    EXPECT_TRUE(c->MySock.Connected());
    EXPECT_FALSE(c->MySock.Bound());
}

TEST_F(ConversationTest, WriteMarksEveryRecordButTheLastAndCountsEachRecordOnce)
{
    Start(Silent());
    Packet("SetupRecord0")->SetLoaded(true);
    model->GetPacket(2)->SetLoaded(true); // SetupRecord4 (C4)
    model->GetPacket(3)->SetLoaded(true); // the second SetupRecord4 (C5)
    // An acknowledgement that came in twice counts once; an answer counts
    // like a set-answer; a foreign one and datagrams of no setup record do
    // not count.
    for (const char* code : {"b0", "b0", "d4", "b5"})
        Queue("127.0.0.2", DeviceRecord(uint8_t(QByteArray::fromHex(code)[0]), 130));
    Queue("10.1.1.1", DeviceRecord(0xB4, 130));
    Queue("127.0.0.2", SearchRecord(kMac));
    c->PrepareTransfer2(device->IP());

    EXPECT_EQ(c->WriteAllRecords(true), 3);
    EXPECT_EQ(c->RecordsTotal, 3);
    EXPECT_EQ(c->RecordsDone, 3);
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
    // The flags stay; the records keep what was sent.
    EXPECT_FALSE(Packet("SetupRecord2")->Loaded());
    EXPECT_EQ(Packet("SetupRecord0")->GetHeaderBytes().toHex(), QByteArray("000100c0"));

    // Doubled and dropped together: as many datagrams as records, yet one
    // record was never acknowledged.
    c->Captions.clear();
    c->TimeoutMs = 100;
    for (const char* code : {"b0", "b0", "b5"})
        Queue("127.0.0.2", DeviceRecord(uint8_t(QByteArray::fromHex(code)[0]), 130));
    EXPECT_EQ(c->WriteAllRecords(true), 2);
    EXPECT_EQ(c->RecordsDone, 2);
    EXPECT_EQ(c->Captions.last(), QStringLiteral("2 z 3 záznamů uloženo."));
    EXPECT_FALSE(c->Captions.contains(QStringLiteral("Všechny záznamy uloženy (3)")));
    ASSERT_TRUE(device->WaitForReceived(6));

    // One record: byte 1 stays the set code's.
    Packet("SetupRecord0")->SetLoaded(false);
    model->GetPacket(2)->SetLoaded(false);
    Queue("127.0.0.2", DeviceRecord(0xB5, 130));
    EXPECT_EQ(c->WriteAllRecords(true), 1);
    ASSERT_TRUE(device->WaitForReceived(7));
    EXPECT_EQ(device->Received().back().left(4).toHex(), QByteArray("000000c5"));
    EXPECT_EQ(c->Captions.last(), QStringLiteral("Záznam uložen."));
}

TEST_F(ConversationTest, WriteWithoutAcknowledgementsRunsOutAndSaysSo)
{
    Start(Silent());
    c->TimeoutMs = 100;
    c->PrepareTransfer2(device->IP());
    EXPECT_EQ(c->WriteAllRecords(false), 0);
    EXPECT_EQ(c->RecordsTotal, 4);
    EXPECT_EQ(c->RecordsDone, 0);
    EXPECT_TRUE(device->WaitForReceived(4));
    // 100 div 20 + 2 collection cycles.
    EXPECT_EQ(c->CaptionsAfter(QStringLiteral("Ukládám záznam č.4 z 4...")).size(), 7);
    EXPECT_EQ(c->Captions.last(), QStringLiteral("0 z 4 záznamů uloženo."));
}

TEST_F(ConversationTest, OneRecordQueriesAndSets)
{
    Start(Silent());
    c->DeviceIP = device->IP();
    TDataPacket* p = Packet("SetupRecord0");

    EXPECT_FALSE(c->QueryRecord(p, false, true));
    EXPECT_EQ(c->Progress, (std::vector<int>{1, 33, 20}));
    EXPECT_EQ(c->Captions, QStringList{QStringLiteral("Přijímám data...")});
    EXPECT_FALSE(c->QueryRecord(nullptr, true, true));

    // Only an answer of this record from the device is loaded.
    Queue("10.1.1.1", DeviceRecord(0xD0, 124, "foreign!"));
    Queue("127.0.0.2", DeviceRecord(0xB0, 124, "set-answ"));
    Queue("127.0.0.2", DeviceRecord(0xD2, 130, "record 2"));
    Queue("127.0.0.2", DeviceRecord(0xD0, 124, "record 0"));
    c->Progress.clear();
    EXPECT_TRUE(c->QueryRecord(p, true, true));
    EXPECT_TRUE(p->Loaded());
    EXPECT_EQ(p->GetDataAsString().mid(4, 8), QByteArray("record 0"));
    EXPECT_EQ(c->Progress, (std::vector<int>{1, 33, 100}));

    // A set: the device's first datagram decides the cycle, so with one
    // cycle an answer in front of the set-answer means no success...
    c->TimeoutMs = 10;
    Queue("127.0.0.2", DeviceRecord(0xD0, 124));
    Queue("127.0.0.2", DeviceRecord(0xB0, 124));
    EXPECT_FALSE(c->SetRecord(p, true, false));
    // ... and the set-answer decides the next one.
    EXPECT_TRUE(c->SetRecord(p, true, true));
    EXPECT_EQ(c->Captions.last(), QStringLiteral("Nastavuji data..."));
    ASSERT_TRUE(device->WaitForReceived(4));
    EXPECT_EQ(Codes(device->Received()), (std::vector<uint8_t>{0xE0, 0xE0, 0xC0, 0xC0}));
    EXPECT_EQ(device->Received().back().size(), 124);

    // Socket failures end in a false result, not an exception.
    c->DeviceIP.clear();
    EXPECT_FALSE(c->QueryRecord(p, true, false));
}

TEST_F(ConversationTest, SetIPDirectAsksBeforeSendingDefaults)
{
    TDeviceFacts facts;
    facts.AnswerSetIPQuery = false;
    Start(DeviceReplies(facts));
    c->TimeoutMs = 200;
    c->Answer = [](const TQuestion&) { return int(platform::IDNO); };
    EXPECT_FALSE(c->SetIPDirect(device->IP(), QStringLiteral("10.0.0.77"), QString(), 0, true, false));
    ASSERT_EQ(c->Questions.size(), 1u);
    EXPECT_EQ(c->Questions[0].Caption, QStringLiteral("Upozornění"));
    EXPECT_EQ(c->Questions[0].Text,
              QStringLiteral("Nastavení může způsobit přepsání původního nastavení.\r\nChcete pokračovat?"));
    EXPECT_EQ(c->Questions[0].Flags, 0x144u);
    EXPECT_EQ(Codes(device->Received()), std::vector<uint8_t>{0xF8});

    // Yes: the mapping document's defaults plus the new values.
    c->Answer = [](const TQuestion&) { return int(platform::IDYES); };
    EXPECT_TRUE(c->SetIPDirect(device->IP(), QStringLiteral("10.0.0.77"), QStringLiteral("10.0.0.1"),
                               StrToIP(QStringLiteral("255.255.0.0")), true, false));
    const QByteArray record = device->Received().back();
    auto fresh = BuiltInModel();
    TDataPacket* decoded = fresh->FindPacket(QStringLiteral("setip_record"));
    decoded->SetDataFromString(record);
    EXPECT_EQ(decoded->GetValue(QStringLiteral("_unit_port")).ToInt64(), 10001);
    EXPECT_EQ(decoded->GetValue(QStringLiteral("unit_ip")).ToText(), QByteArray("10.0.0.77"));
    EXPECT_EQ(decoded->GetValue(QStringLiteral("num_host_bits")).ToInt64(), 16);

    // Without a model and without the query, a zero record with the three
    // values goes out and nobody is asked.
    c->DataManager = nullptr;
    c->Questions.clear();
    EXPECT_FALSE(c->SetIPDirect(device->IP(), QStringLiteral("10.0.0.78"), QStringLiteral("0.0.0.0"), 0, false, true));
    EXPECT_TRUE(c->Questions.empty());
    ASSERT_TRUE(device->WaitForReceived(4));
    const QByteArray bare = device->Received().back();
    EXPECT_EQ(bare.left(10).toHex(), QByteArray("000000fd0a00004e0000"));
    EXPECT_EQ(bare.mid(11), QByteArray(113, '\0'));
}

TEST_F(ConversationTest, ReadIPSettingsTurnsHostBitsIntoAMask)
{
    for (const auto& [bits, mask] : {std::pair{24, "255.0.0.0"}, {8, "255.255.255.0"}, {0, "255.255.255.255"}}) {
        TDeviceFacts facts;
        facts.HostBits = uint8_t(bits);
        Start(DeviceReplies(facts), bits != 8);
        QString ip = device->IP();
        QString gateway;
        uint32_t m = 1;
        EXPECT_TRUE(c->ReadIPSettings(ip, gateway, m));
        EXPECT_EQ(ip, QStringLiteral("10.0.0.5"));
        EXPECT_EQ(gateway, QStringLiteral("10.0.0.1"));
        EXPECT_EQ(IPToStr(m), QString::fromLatin1(mask));
    }

    TDeviceFacts mute;
    mute.AnswerSetIPQuery = false;
    Start(DeviceReplies(mute));
    QString ip = device->IP();
    QString gateway = QStringLiteral("kept");
    uint32_t m = 7;
    EXPECT_FALSE(c->ReadIPSettings(ip, gateway, m));
    EXPECT_EQ(ip, device->IP());
    EXPECT_EQ(gateway, QStringLiteral("kept"));
    EXPECT_EQ(m, 7u);
}

TEST_F(ConversationTest, SetIPByMACRefusesUnusableInputAtOnce)
{
    Start(Silent());
    for (const char* mac : {"02-00-00", "zz-00-00-00-00-01", "02-00-00-00-00-01-07"})
        EXPECT_FALSE(c->SetIPByMAC(QString::fromLatin1(mac), QStringLiteral("10.0.0.9"), QString(), 0)) << mac;
    EXPECT_FALSE(c->SetIPByMAC(kMacText, QStringLiteral("no address"), QString(), 0));
    EXPECT_FALSE(c->SetIPByMAC(kMacText, QStringLiteral("255.255.255.255"), QString(), 0));
    EXPECT_TRUE(c->Questions.empty());
    EXPECT_TRUE(c->Captions.isEmpty());
    EXPECT_TRUE(device->Received().empty());
}
