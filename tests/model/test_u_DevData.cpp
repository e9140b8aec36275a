#include "ModelTestUtil.h"
#include "platform/Exception.h"
#include "support/ExceptionText.h"

#include <gtest/gtest.h>

TEST(DataManager, ItemPaths)
{
    auto m = BuiltInModel();
    EXPECT_EQ(m->GetPacket(6), nullptr);
    const auto in = [&](int packet, const char* name) { return m->GetPacket(packet)->FindItem(QString::fromLatin1(name)); };
    const std::pair<const char*, TDataItem*> table[] = {
        {"SetupRecord0.unit_ip", in(0, "unit_ip")},
        {"unit_ip", in(0, "unit_ip")},
        {"setip_record.unit_ip", in(5, "unit_ip")},
        // Two packets share the name SetupRecord4: paths reach the first only.
        {"SetupRecord4.email_smtp", nullptr},
        {"email_smtp", in(3, "email_smtp")},
        {"SetupRecord0.unit_ip.x", nullptr},
        {"nopacket.unit_ip", nullptr},
    };
    for (const auto& [path, item] : table)
        EXPECT_EQ(m->FindItem(QString::fromLatin1(path)), item) << path;
    m->SetValue(QStringLiteral("SetupRecord4.min_temp"), Variant("-50"));
    EXPECT_EQ(m->GetValue(QStringLiteral("min_temp")), Variant(int32_t(-50)));
    EXPECT_TRUE(m->GetValue(QStringLiteral("SetupRecord4.email_smtp")).IsNull());
    EXPECT_EQ(ExceptionText([&] { m->SetValue(QStringLiteral("SetupRecord4.email_smtp"), Variant("1.2.3.4")); }),
              QStringLiteral("Polozka SetupRecord4.email_smtp nebyla nalezena."));
}

TEST(DataManager, MatchingReceivedRecords)
{
    auto m = BuiltInModel();
    const std::tuple<QByteArray, TDataPacketType, int> table[] = {
        {Record(130, 0xD2), ptSetup, 1}, {Record(130, 0xF7), ptSetup, -1}, {Record(130, 0xF7), ptNone, 4},
        {Record(130, 0xB5), ptSetup, 3}, {Record(130, 0xE0), ptSetup, -1}, {Bytes("000000"), ptNone, -1},
    };
    for (const auto& [record, type, index] : table)
        EXPECT_EQ(m->FindPacketForRecord(record, type), index) << record.left(4).toHex().toStdString();
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
    EXPECT_EQ(m->FindPacket(QStringLiteral("B")), m->GetPacket(1));

    XmlSnippet second(QStringLiteral("<datamanager/>"));
    m->LoadFromXML(second.root);
    EXPECT_EQ(m->Count(), 0);
    EXPECT_THROW(m->LoadFromXML(QDomElement()), Exception);

    // Many large records stop at the model's budget.
    auto many = ModelFromPackets(QStringLiteral("<datapacket size='65535'/>").repeated(300));
    EXPECT_EQ(many->Count(), int(MaxModelRecordBytes / 65535));
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
        "<dataitem name='off_byte' type='enum' sizebits='1' bitsoffset='255'/>"
        "<dataitem name='bits_wide' type='number' sizebits='200'/>"
        "<dataitem name='$header' type='hexa' size='4' position='8'/>"
        "<dataitem name='mac' type='mac' size='6' position='2' init_value='01-02-03-04-05-06-07-08'/>"
        "</datapacket>"));
    TDataPacket* p = m->GetPacket(0);
    ASSERT_EQ(p->ItemCount(), 2);
    EXPECT_EQ(p->GetDataAsString(), Bytes("00000102030405060000"));
    EXPECT_EQ(m->ApplyDefaults(), 1);
    EXPECT_EQ(p->GetDataAsString(), Bytes("00000102030405060102"));
    EXPECT_TRUE(p->LoadFromString(QByteArray(64, '\xd0')));
    EXPECT_EQ(p->GetDataSize(), 10);
}
