// The manager: item paths, record matching, defaults, and documents that
// try to reach outside their records.

#include "ModelTestUtil.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>

TEST(DataManager, ItemPaths)
{
    auto m = BuiltInModel();
    ASSERT_EQ(m->Count(), 6);

    TDataItem* unitIp = m->GetPacket(0)->FindItem(QStringLiteral("unit_ip"));
    ASSERT_NE(unitIp, nullptr);
    EXPECT_EQ(m->FindItem(QStringLiteral("SetupRecord0.unit_ip")), unitIp);
    EXPECT_EQ(m->FindItem(QStringLiteral("setip_record.unit_ip")),
              m->GetPacket(5)->FindItem(QStringLiteral("unit_ip")));

    // Two packets share the name SetupRecord4: paths reach the first only.
    EXPECT_EQ(m->FindPacket(QStringLiteral("SetupRecord4")), m->GetPacket(2));
    EXPECT_EQ(m->FindItem(QStringLiteral("SetupRecord4.email_smtp")), nullptr);
    try {
        m->SetValue(QStringLiteral("SetupRecord4.email_smtp"), Variant("1.2.3.4"));
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Polozka SetupRecord4.email_smtp nebyla nalezena."));
    }
    EXPECT_EQ(m->FindItem(QStringLiteral("email_smtp")),
              m->GetPacket(3)->FindItem(QStringLiteral("email_smtp")));

    EXPECT_EQ(m->FindItem(QStringLiteral("SetupRecord0.unit_ip.x")), nullptr);
    EXPECT_EQ(m->FindItem(QStringLiteral("setuprecord0.unit_ip")), nullptr);

    m->SetValue(QStringLiteral("SetupRecord4.min_temp"), Variant("-50"));
    EXPECT_EQ(m->GetValue(QStringLiteral("min_temp")), Variant(int32_t(-50)));
    m->SetValue(QStringLiteral("vyn_name"), Variant("Sklep"));
    EXPECT_EQ(m->GetPacket(3)->GetDataAsString().mid(106, 6), QByteArray("Sklep\0", 6));
}

TEST(DataManager, MatchingReceivedRecords)
{
    auto m = BuiltInModel();
    EXPECT_EQ(m->FindPacketForRecord(Record(130, 0xD2), ptSetup), 1);
    EXPECT_EQ(m->FindPacketForRecord(Record(130, 0xF7), ptSetup), -1);
    EXPECT_EQ(m->FindPacketForRecord(Record(130, 0xF7), ptNone), 4);
    EXPECT_EQ(m->FindPacketForRecord(Record(130, 0xB5), ptSetup), 3);
    EXPECT_EQ(m->FindPacketForRecord(Record(130, 0xE0), ptSetup), -1);
    EXPECT_EQ(m->FindPacketForRecord(Bytes("000000"), ptNone), -1);
    // Only identified, not loaded.
    EXPECT_FALSE(m->GetPacket(1)->Loaded());
}

TEST(DataManager, LoadingReplacesAndSkipsBadPackets)
{
    auto m = ModelFromPackets(QStringLiteral(
        "<datapacket name='a' size='4'/>"
        "<!-- comment --><other name='x'/>"
        "<datapacket name='bad' size='ten'/>"
        "<datapacket name='neg' size='-5'/>"
        "<datapacket name='huge' size='2000000000'/>"
        "<datapacket name='b' alias='B' type='Query'/>"));
    ASSERT_EQ(m->Count(), 2);
    EXPECT_EQ(m->GetPacket(1)->GetDataSize(), 0);
    EXPECT_EQ(m->GetPacket(1)->PacketType(), ptQuery);
    EXPECT_EQ(m->FindPacket(QStringLiteral("B")), m->GetPacket(1));

    XmlSnippet second(QStringLiteral("<datamanager/>"));
    m->LoadFromXML(second.root);
    EXPECT_EQ(m->Count(), 0);
    EXPECT_THROW(m->LoadFromXML(QDomElement()), Exception);

    // Many large records stop at the model's budget.
    auto many = ModelFromPackets(QStringLiteral("<datapacket size='65535'/>").repeated(300));
    EXPECT_EQ(many->Count(), int(MaxModelRecordBytes / 65535));
    many->Clear();
    EXPECT_EQ(many->AddPacket(std::make_unique<TDataPacket>(QStringLiteral("p"), 65535, THeaders{}, ptNone)), 0);
}

TEST(DataManager, HostileItemsStayInsideTheirRecord)
{
    auto m = ModelFromPackets(QStringLiteral(
        "<datapacket name='p' size='10' h_answer='000000d0'>"
        "<dataitem name='ok' type='number' size='2' position='8' default_value='513'/>"
        "<dataitem name='past_end' type='string' size='8' position='6' default_value='xxxxxxxx'/>"
        "<dataitem name='negative' type='number' size='1' position='-1'/>"
        "<dataitem name='far' type='hexa' size='4' position='2147483647'/>"
        "<dataitem name='bits_cross' type='enum' sizebits='4' position='9' bitsoffset='6'/>"
        "<dataitem name='bits_far' type='enum' sizebits='1' position='10'/>"
        "<dataitem name='wide' type='hexa' sizebits='65535'/>"
        "<dataitem name='wrapped' type='hexa' size='-1'/>"
        "<dataitem name='$header' type='hexa' size='4' position='8'/>"
        "<dataitem name='mac' type='mac' size='6' position='2' init_value='01-02-03-04-05-06-07-08'/>"
        "</datapacket>"));
    ASSERT_EQ(m->Count(), 1);
    TDataPacket* p = m->GetPacket(0);
    ASSERT_EQ(p->ItemCount(), 2);
    EXPECT_EQ(p->GetDataAsString(), Bytes("00000102030405060000"));

    EXPECT_EQ(m->ApplyDefaults(), 1);
    EXPECT_EQ(p->GetDataAsString(), Bytes("00000102030405060102"));
    EXPECT_TRUE(m->GetValue(QStringLiteral("past_end")).IsNull());
    EXPECT_TRUE(p->LoadFromString(QByteArray(64, '\xd0')));
    EXPECT_EQ(p->GetDataSize(), 10);
}

// Every place an item might be given, on a small record: either the item
// is refused when made, or no write through it touches the guard bytes
// around the record. (Reads past the record stay inside the block, where no
// sanitizer can see them.)
TEST(DataManager, NoItemPlaceReachesOutsideTheRecord)
{
    const TDataItemType types[] = {dtUnknown, dtEnum, dtBool, dtSigned, dtUnsigned,
                                   dtString, dtIPAddress, dtMACAddress, dtHexa};
    const Variant values[] = {Variant(int32_t(-1)), Variant("01-02-03-04-05-06"),
                              Variant(int64_t(-1)), Variant(true), Variant()};
    for (int pos = -2; pos <= 11; ++pos)
        for (uint16_t bits : {0, 1, 4, 7, 8, 12, 16, 32, 40, 48, 64, 80, 200})
            for (uint8_t offset : {0, 3, 7, 8, 255})
                for (TDataItemType type : types) {
                    // The record sits inside a larger block whose guard
                    // bytes must stay untouched.
                    QByteArray block(30, '\x5a');
                    std::span<uint8_t> record = ByteSpan(block).subspan(10, 10);
                    std::unique_ptr<TDataItem> item;
                    try {
                        item = std::make_unique<TDataItem>(QStringLiteral("i"), record, type, pos,
                                                           bits, offset);
                    } catch (const Exception&) {
                        continue;
                    }
                    for (const Variant& v : values) {
                        try {
                            item->SetValue(v);
                        } catch (const Exception&) {
                        }
                        item->GetValue();
                        try {
                            item->GetAsInt64();
                        } catch (const Exception&) {
                        }
                    }
                    item->SetRawString(QByteArray(100, '\xff'));
                    item->GetRawString();
                    item->SetDefaultRaw(QByteArray(100, '\x01'));
                    item->ApplyDefault();
                    uint8_t big[64];
                    item->GetRawValue(big);
                    ASSERT_EQ(block.left(10), QByteArray(10, '\x5a'))
                        << "pos " << pos << " bits " << bits << " offset " << int(offset);
                    ASSERT_EQ(block.right(10), QByteArray(10, '\x5a'))
                        << "pos " << pos << " bits " << bits << " offset " << int(offset);
                }
}
