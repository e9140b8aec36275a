#include "ModelTestUtil.h"
#include "platform/Exception.h"
#include "support/ExceptionText.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TDataPacket> SetupRecord0()
{
    XmlSnippet xml(QStringLiteral(
        "<datapacket name='SetupRecord0' size='124' h_query='000000e0' h_answer='000000d0' "
        "h_set='000000c0' h_setanswer='000000b0' type='SetupRecord'>"
        "<dataitem name='$header' type='hexa' size='4' position='0'/>"
        "<dataitem name='unit_port' type='number' size='2' position='24' alias='port'/>"
        "<dataitem name='stop' type='number' size='1' position='30' init_value='0'/>"
        "</datapacket>"));
    return std::make_unique<TDataPacket>(xml.root);
}

} // namespace

TEST(Packet, RecordKindsByTheFourthByte)
{
    auto p = SetupRecord0();
    TDataPacket search(QStringLiteral("searching_record"), 30,
                       THeaders{QStringLiteral("000000f6"), QStringLiteral("000000f7"), {}, {}}, ptQuery);
    // Codes that share their fourth byte are told as the earlier kind.
    TDataPacket twins(QStringLiteral("t"), 8, THeaders{QStringLiteral("010000a1"), QStringLiteral("020000a1"), {}, {}},
                      ptNone);
    const std::tuple<TDataPacket*, QByteArray, TRecordKind> table[] = {
        {p.get(), Record(124, 0xD0), rkAnswer},   {p.get(), Record(124, 0xB0), rkSetAnswer},
        {p.get(), Record(124, 0xE0), rkQuery},    {p.get(), Record(4, 0xC0), rkSet},
        {p.get(), Record(124, 0x12), rkNone},     {p.get(), Bytes("0000d0"), rkNone},
        {&search, Record(30, 0xF7), rkAnswer},    {&search, Record(30, 0xC0), rkNone},
        {&search, Record(30, 0x00), rkNone},      {&twins, Bytes("020000a1"), rkQuery},
    };
    for (const auto& [packet, record, kind] : table)
        EXPECT_EQ(packet->IdentifyRecord(record), kind) << record.left(4).toHex().toStdString();
}

TEST(Packet, LoadingAnswersAndSetAnswers)
{
    auto p = SetupRecord0();
    EXPECT_TRUE(p->LoadFromString(Record(200, 0xD0)));
    EXPECT_TRUE(p->Loaded());
    QByteArray expected = Record(124, 0xD0);
    expected[30] = '\0';  // init value re-applied
    EXPECT_EQ(p->GetDataAsString(), expected);

    const QByteArray shortAnswer = QByteArray(10, '\x22').replace(3, 1, "\xD0");
    EXPECT_TRUE(p->LoadFromString(shortAnswer));
    EXPECT_EQ(p->GetDataAsString().left(11), shortAnswer + '\x11');

    p->SetLoaded(false);
    EXPECT_TRUE(p->LoadFromString(Record(124, 0xB0)));
    EXPECT_FALSE(p->Loaded());
    EXPECT_EQ(p->GetDataAsString().mid(29, 2), Bytes("1100"));
    const QByteArray before = p->GetDataAsString();
    EXPECT_FALSE(p->LoadFromString(Record(124, 0xE0)));
    EXPECT_EQ(p->GetDataAsString(), before);
}

// Set headers and their byte 1 are pinned on the wire by the write
// conversation; bytes outside the header are never touched.
TEST(Packet, HeaderBytes)
{
    auto p = SetupRecord0();
    p->LoadFromString(Record(124, 0xD0));
    p->SetHeaderByte(4, 9);
    p->SetHeaderByte(-1, 9);
    p->SetHeader(rkNone);
    EXPECT_EQ(p->GetDataAsString().left(5), Bytes("111111d011"));

    // Without a "$header" item the header is the first four bytes; with one
    // an undefined code clears it.
    TDataPacket bare(QStringLiteral("b"), 6, THeaders{QStringLiteral("aabbccdd"), {}, {}, {}}, ptNone);
    bare.SetHeader(rkQuery);
    bare.SetHeader(rkAnswer);
    EXPECT_EQ(bare.GetDataAsString(), Bytes("aabbccdd0000"));
    TDataPacket noSet(QStringLiteral("n"), 8, THeaders{QStringLiteral("000000f6"), {}, {}, {}}, ptNone);
    noSet.AddItem(std::make_unique<TDataItem>(QStringLiteral("$header"), noSet.GetDataPtr(), dtHexa, 0, 32, 0));
    noSet.SetDataFromString(Bytes("ffffffff"));
    noSet.SetHeader(rkSet);
    EXPECT_EQ(noSet.GetHeaderBytes(), Bytes("00000000"));
}

TEST(Packet, ItemsValuesAndBadInput)
{
    auto p = SetupRecord0();
    EXPECT_EQ(p->FindItem(QStringLiteral("port")), p->Items(1));
    EXPECT_EQ(p->FindItem(QStringLiteral("Unit_port")), nullptr);
    EXPECT_EQ(p->FindItem(QString()), p->Items(0));  // the first item without an alias
    p->SetValue(QStringLiteral("unit_port"), Variant(int32_t(10001)));
    EXPECT_EQ(p->GetValue(QStringLiteral("port")), Variant(uint32_t(10001)));
    EXPECT_TRUE(p->GetValue(QStringLiteral("nic")).IsNull());
    EXPECT_THROW(p->SetValue(QStringLiteral("nic"), Variant(int32_t(1))), Exception);

    EXPECT_THROW(TDataPacket(QStringLiteral("x"), -1, THeaders{}, ptNone), Exception);
    EXPECT_EQ(ExceptionText([] { TDataPacket{QDomElement()}; }), QStringLiteral("TDataPacket::Create> iNode je nil."));
    TDataPacket bad(QStringLiteral("b"), 8, THeaders{QStringLiteral("0000zz01"), {}, {}, {}}, ptNone);
    EXPECT_THROW(bad.GetQueryHeader(), EConvertError);
    EXPECT_THROW(bad.IdentifyRecord(Bytes("00000001")), EConvertError);
}
