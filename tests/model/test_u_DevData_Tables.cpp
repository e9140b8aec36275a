// The data model's own tables, one test each: a wrong row fails.

#include "ModelTestUtil.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

TEST(ModelTables, TypeKeywords)
{
    const std::vector<std::pair<const char*, TDataItemType>> table{
        {"enum", dtEnum},         {"bool", dtBool},          {"boolean", dtBool},
        {"sig", dtSigned},        {"signed", dtSigned},      {"signumber", dtSigned},
        {"int", dtSigned},        {"unsig", dtUnsigned},     {"unsigned", dtUnsigned},
        {"unsignumber", dtUnsigned}, {"number", dtUnsigned}, {"word", dtUnsigned},
        {"string", dtString},     {"char", dtString},        {"ip", dtIPAddress},
        {"ipaddress", dtIPAddress}, {"mac", dtMACAddress},   {"macaddress", dtMACAddress},
        {"hexa", dtHexa},
        // Lower-cased first; anything else is unknown.
        {"ENUM", dtEnum},         {"IpAddress", dtIPAddress}, {" enum", dtUnknown},
        {"enumeration", dtUnknown}, {"hex", dtUnknown},      {"", dtUnknown},
    };
    for (const auto& [keyword, type] : table) {
        EXPECT_EQ(StrToDataItemType(QString::fromLatin1(keyword)), type) << keyword;
        // The same keyword in a document.
        QByteArray rec(8, '\0');
        EXPECT_EQ(ItemFromXml(QStringLiteral("type='%1' size='1'").arg(QString::fromLatin1(keyword)), rec)->DataType(),
                  type)
            << keyword;
    }
}

TEST(ModelTables, PacketTypeKeywords)
{
    const std::vector<std::pair<const char*, TDataPacketType>> table{
        {"setup", ptSetup}, {"setuprecord", ptSetup}, {"query", ptQuery}, {"queryrecord", ptQuery},
        {"set", ptSet},     {"setrecord", ptSet},     {"SetupRecord", ptSetup}, {"answer", ptNone},
    };
    QString packets;
    for (const auto& [keyword, type] : table)
        packets += QStringLiteral("<datapacket name='p%1' size='8' type='%1'/>").arg(QString::fromLatin1(keyword));
    packets += QStringLiteral("<datapacket name='none' size='8'/>");
    const auto m = ModelFromPackets(packets);
    for (const auto& [keyword, type] : table) {
        const TDataPacket* p = m->FindPacket(QStringLiteral("p") + QString::fromLatin1(keyword));
        ASSERT_NE(p, nullptr) << keyword;
        EXPECT_EQ(p->PacketType(), type) << keyword;
    }
    EXPECT_EQ(m->FindPacket(QStringLiteral("none"))->PacketType(), ptNone);
}

// A keep mask lies over the item's first bytes as a little-endian word, for
// items of one to four bytes; longer transfers ignore it.
TEST(ModelTables, KeepMaskOnItemsOfOneToFourBytes)
{
    struct Case
    {
        int size;
        const char* before; // record bytes from the item's first byte
        int64_t write;
    };
    // bitmask_negative 0x0F0F0FF0: those bits belong to something else.
    const std::vector<Case> table{
        {1, "a7", 0x05}, {2, "a7b6", 0x1234}, {3, "a7b6c5", 0x123456}, {4, "a7b6c5d4", 0x12345678}};
    for (const Case& c : table) {
        QByteArray rec(8, '\0');
        auto item = ItemFromXml(
            QStringLiteral("type='unsigned' size='%1' bitmask_negative='%2'").arg(c.size).arg(0x0F0F0FF0), rec);
        Fill(rec, c.before);
        uint32_t word = 0;
        for (int i = 0; i < c.size; ++i)
            word |= uint32_t(uint8_t(rec[i])) << (8 * i);
        EXPECT_EQ(item->GetValue().ToInt64(), int64_t(word & ~0x0F0F0FF0u)) << c.size;
        item->SetValue(Variant(int64_t(c.write)));
        uint32_t expected = (word & 0x0F0F0FF0u) | (uint32_t(c.write) & ~0x0F0F0FF0u);
        uint32_t got = 0;
        for (int i = 0; i < c.size; ++i)
            got |= uint32_t(uint8_t(rec[i])) << (8 * i);
        if (c.size < 4)
            expected &= (1u << (8 * c.size)) - 1;
        EXPECT_EQ(got, expected) << c.size;
    }
    // Five bytes: the mask is ignored.
    QByteArray rec(8, '\0');
    auto wide = ItemFromXml(QStringLiteral("type='hexa' size='5' bitmask_negative='255'"), rec);
    wide->SetRawString(Bytes("1122334455"));
    EXPECT_EQ(rec.left(5).toHex(), "1122334455");
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
        QByteArray rec(8, '\0');
        auto item = ItemFromXml(QStringLiteral("type='signed' size='%1'").arg(size), rec);
        item->SetValue(Variant(value));
        EXPECT_EQ(rec.left(size).toHex(), QByteArray(hex)) << value;
        EXPECT_EQ(item->GetValue().ToInt64(), back) << value;
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
    m->ApplyDefaults();
    EXPECT_EQ(m->GetValue(QStringLiteral("both")).ToInt64(), 2);
    EXPECT_EQ(m->GetValue(QStringLiteral("init")).ToInt64(), 3);
    // A name wins over an earlier item's alias.
    EXPECT_EQ(m->GetValue(QStringLiteral("second")).ToInt64(), 7);
    EXPECT_EQ(m->GetValue(QStringLiteral("P.second")).ToInt64(), 7);
    EXPECT_EQ(m->GetValue(QStringLiteral("P.first")).ToInt64(), 6);
}
