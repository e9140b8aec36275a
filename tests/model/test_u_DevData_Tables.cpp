#include "ModelTestUtil.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

TEST(ModelTables, TypeKeywords)
{
    const std::vector<std::pair<const char*, TDataItemType>> table{
        {"enum", dtEnum},           {"bool", dtBool},          {"boolean", dtBool},     {"sig", dtSigned},
        {"signed", dtSigned},       {"signumber", dtSigned},   {"int", dtSigned},       {"unsig", dtUnsigned},
        {"unsigned", dtUnsigned},   {"unsignumber", dtUnsigned}, {"number", dtUnsigned}, {"word", dtUnsigned},
        {"string", dtString},       {"char", dtString},        {"ip", dtIPAddress},     {"ipaddress", dtIPAddress},
        {"mac", dtMACAddress},      {"macaddress", dtMACAddress}, {"hexa", dtHexa},
        // Lower-cased first; anything else is unknown.
        {"ENUM", dtEnum},           {"IpAddress", dtIPAddress}, {" enum", dtUnknown},   {"enumeration", dtUnknown},
        {"hex", dtUnknown},         {"", dtUnknown},
    };
    for (const auto& [keyword, type] : table) {
        SCOPED_TRACE(keyword);
        EXPECT_EQ(StrToDataItemType(QString::fromLatin1(keyword)), type);
        QByteArray rec(8, '\0');
        EXPECT_EQ(ItemFromXml(QStringLiteral("type='%1' size='1'").arg(QString::fromLatin1(keyword)), rec)->DataType(),
                  type);
    }
}

TEST(ModelTables, PacketTypeKeywords)
{
    const std::vector<std::pair<const char*, TDataPacketType>> table{
        {"setup", ptSetup}, {"setuprecord", ptSetup}, {"query", ptQuery},       {"queryrecord", ptQuery},
        {"set", ptSet},     {"setrecord", ptSet},     {"SetupRecord", ptSetup}, {"answer", ptNone},
    };
    for (const auto& [keyword, type] : table) {
        XmlSnippet xml(QStringLiteral("<datapacket size='8' type='%1'/>").arg(QString::fromLatin1(keyword)));
        EXPECT_EQ(TDataPacket(xml.root).PacketType(), type) << keyword;
    }
    XmlSnippet none(QStringLiteral("<datapacket size='8'/>"));
    EXPECT_EQ(TDataPacket(none.root).PacketType(), ptNone);
}

// The keep mask lies over the item's first bytes as a little-endian word
// (over a bit field's own bits); reads clear its bits, writes keep them.
TEST(ModelTables, KeepMasks)
{
    // attributes, record before, value read, value written, record after
    const std::tuple<const char*, const char*, const char*, Variant, const char*> table[] = {
        {"type='number' size='1' bitmask_negative='$0F0F0FF0'", "a7", "7", Variant(int32_t(0x05)), "a5"},
        {"type='number' size='2' bitmask_negative='$0F0F0FF0'", "a7b6", "45063", Variant(int32_t(0x1234)), "a416"},
        {"type='number' size='3' bitmask_negative='$0F0F0FF0'", "a7b6c5", "12627975", Variant(int32_t(0x123456)),
         "a63615"},
        {"type='number' size='4' bitmask_negative='$0F0F0FF0'", "a7b6c5d4", "3502288903",
         Variant(int32_t(0x12345678)), "a8563514"},
        {"type='number' size='1' bitmask='15'", "a7", "7", Variant(int32_t(5)), "a5"},
        {"type='number' size='1' bitmask='15' bitmask_negative='15'", "a7", "7", Variant(int32_t(5)), "a5"},
        {"type='enum' sizebits='4' bitsoffset='2' bitmask_negative='1'", "3c", "14", Variant(int32_t(15)), "3c"},
        {"type='enum' sizebits='4' bitsoffset='2' bitmask_negative='1'", "00", "0", Variant(int32_t(15)), "38"},
        // Five bytes and more: the mask is ignored.
        {"type='hexa' size='5' bitmask_negative='255'", "a7b6c5d4e3", "A7B6C5D4E3", Variant("1122334455"),
         "1122334455"},
    };
    for (const auto& [attrs, before, read, write, after] : table) {
        SCOPED_TRACE(attrs);
        QByteArray rec = Bytes(before);
        auto item = ItemFromXml(QString::fromLatin1(attrs), rec);
        EXPECT_EQ(item->GetValue().ToText(), read);
        item->SetValue(write);
        EXPECT_EQ(rec.toHex(), after);
    }
}

// Negative values out of a signed item's range keep their sign: the item's
// sign bit is set and the low bytes written.
TEST(ModelTables, SignRuleForNegativesOutOfRange)
{
    const std::vector<std::tuple<int, int64_t, const char*, int64_t>> table{
        {1, -200, "b8", -72},          // FFFFFF38 -> 38 | 80
        {2, -40000, "c0e3", -7232},    // FFFF63C0 -> 63C0 | 8000
        {2, -5, "fbff", -5},           // in range: as it is
        {1, 300, "2c", 44},            // positive: only cut
        {4, -5, "fbffffff", -5},       // 32 bits: as it is
    };
    for (const auto& [size, value, hex, back] : table) {
        SCOPED_TRACE(value);
        QByteArray rec(8, '\0');
        auto item = ItemFromXml(QStringLiteral("type='signed' size='%1'").arg(size), rec);
        item->SetValue(Variant(value));
        EXPECT_EQ(rec.left(size).toHex(), QByteArray(hex));
        EXPECT_EQ(item->GetValue().ToInt64(), back);
    }
}

TEST(ModelTables, InitValuesBeforeDefaultsAndNamesBeforeAliases)
{
    const auto m = ModelFromPackets(QStringLiteral(
        "<datapacket name='P' size='8' type='setup'>"
        "<dataitem name='both' type='unsigned' size='1' position='4' init_value='1' default_value='2'/>"
        "<dataitem name='init' type='unsigned' size='1' position='5' init_value='3'/>"
        "<dataitem name='first' alias='second' type='unsigned' size='1' position='6' init_value='6'/>"
        "<dataitem name='second' alias='first' type='unsigned' size='1' position='7' init_value='7'/>"
        "</datapacket>"));
    EXPECT_EQ(m->GetValue(QStringLiteral("both")).ToInt64(), 1);
    m->SetValue(QStringLiteral("init"), Variant(int32_t(9)));
    EXPECT_EQ(m->ApplyDefaults(), 1);
    EXPECT_EQ(m->GetValue(QStringLiteral("both")).ToInt64(), 2);
    EXPECT_EQ(m->GetValue(QStringLiteral("init")).ToInt64(), 3);
    // A name wins over an earlier item's alias.
    EXPECT_EQ(m->GetValue(QStringLiteral("second")).ToInt64(), 7);
    EXPECT_EQ(m->GetValue(QStringLiteral("P.second")).ToInt64(), 7);
    EXPECT_EQ(m->GetValue(QStringLiteral("P.first")).ToInt64(), 6);
}
