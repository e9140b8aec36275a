// Reading and writing items in record bytes, per type.

#include "ModelTestUtil.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <array>

namespace {

QString SetValueError(TDataItem& item, const Variant& value)
{
    try {
        item.SetValue(value);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

} // namespace

TEST(Codec, BitFieldsAndKeepMask)
{
    QByteArray rec(12, '\0');
    rec[9] = char(0x81);
    TDataItem flag(QStringLiteral("flag"), ByteSpan(rec), dtEnum, 9, 1, 6);
    flag.SetValue(Variant(int32_t(1)));
    EXPECT_EQ(uint8_t(rec[9]), 0xC1);
    EXPECT_EQ(flag.GetValue(), Variant(uint32_t(1)));
    flag.SetValue(Variant(int32_t(2)));  // only the field's bit counts
    EXPECT_EQ(uint8_t(rec[9]), 0x81);

    rec[5] = char(0x5A);
    TDataItem nibble(QStringLiteral("n"), ByteSpan(rec), dtEnum, 5, 4, 0);
    EXPECT_EQ(nibble.GetValue(), Variant(uint32_t(10)));
    nibble.SetValue(Variant(int32_t(3)));
    EXPECT_EQ(uint8_t(rec[5]), 0x53);

    QByteArray one = Bytes("a7");
    auto masked = ItemFromXml(QStringLiteral("type='number' size='1' bitmask='15'"), one);
    EXPECT_EQ(masked->GetValue(), Variant(uint32_t(7)));
    masked->SetValue(Variant(int32_t(5)));
    EXPECT_EQ(one, Bytes("a5"));

    // A mask over a bit field lies over the field's own bits.
    QByteArray b = Bytes("00");
    auto field = ItemFromXml(QStringLiteral("type='enum' sizebits='4' bitsoffset='2' bitmask_negative='1'"), b);
    field->SetValue(Variant(int32_t(15)));
    EXPECT_EQ(b, Bytes("38"));
    Fill(b, "3c");
    EXPECT_EQ(field->GetValue(), Variant(uint32_t(14)));

    // Longer transfers ignore the mask.
    QByteArray six = Bytes("ffffffffffff");
    auto wide = ItemFromXml(QStringLiteral("type='hexa' size='6' bitmask='0'"), six);
    wide->SetValue(Variant("000000000000"));
    EXPECT_EQ(six, Bytes("000000000000"));
}

TEST(Codec, UnsignedAndSignedNumbers)
{
    QByteArray rec = Bytes("1127");
    TDataItem u(QStringLiteral("u"), ByteSpan(rec), dtUnsigned, 0, 16, 0);
    EXPECT_EQ(u.GetValue(), Variant(uint32_t(10001)));
    u.SetValue(Variant(int32_t(70000)));
    EXPECT_EQ(rec, Bytes("7011"));
    u.SetValue(Variant("$0102"));
    EXPECT_EQ(rec, Bytes("0201"));
    u.SetValue(Variant(true));
    EXPECT_EQ(rec, Bytes("0100"));
    u.SetValue(Variant(2.5));
    EXPECT_EQ(rec, Bytes("0200"));

    Fill(rec, "f1d8");
    TDataItem s(QStringLiteral("s"), ByteSpan(rec), dtSigned, 0, 16, 0);
    EXPECT_EQ(s.GetValue(), Variant(int32_t(-9999)));
    EXPECT_EQ(s.GetAsInt64(), -9999);
    s.SetValue(Variant(int32_t(0)));
    s.SetValue(Variant(int32_t(-9999)));
    EXPECT_EQ(rec, Bytes("f1d8"));
    s.SetValue(Variant("-1"));
    EXPECT_EQ(rec, Bytes("ffff"));

    QByteArray bits = Bytes("00");
    TDataItem s3(QStringLiteral("s3"), ByteSpan(bits), dtSigned, 0, 3, 2);
    s3.SetValue(Variant(int32_t(-2)));
    EXPECT_EQ(bits, Bytes("18"));
    EXPECT_EQ(s3.GetValue(), Variant(int32_t(-2)));

    QByteArray eight = Bytes("0100000002000000");
    TDataItem u8(QStringLiteral("u8"), ByteSpan(eight), dtUnsigned, 0, 64, 0);
    EXPECT_EQ(u8.GetValue(), Variant(uint32_t(1)));
    EXPECT_EQ(u8.GetAsInt64(), 1);

    // Named values first, then integer text; the first of repeated names.
    auto e = ItemFromXml(QStringLiteral("type='enum' size='1'"), rec,
                         QStringLiteral("<enumitem name='x' value='2'/><enumitem name='x' value='3'/>"));
    e->SetValue(Variant("x"));
    EXPECT_EQ(uint8_t(rec[0]), 2);
    e->SetValue(Variant("0"));
    EXPECT_EQ(uint8_t(rec[0]), 0);
    EXPECT_EQ(SetValueError(*e, Variant("y")), QStringLiteral("'y' is not a valid integer value"));
    EXPECT_EQ(SetValueError(*e, Variant()), QStringLiteral("Nekompatibilni typ hodnoty."));
    EXPECT_EQ(SetValueError(*e, Variant(QDateTime::currentDateTime())),
              QStringLiteral("Nekompatibilni typ hodnoty."));
    rec[0] = 9;
    e->SetValue(Variant::Null());
    EXPECT_EQ(rec[0], 9);
}

TEST(Codec, Booleans)
{
    QByteArray rec = Bytes("00");
    auto b = ItemFromXml(QStringLiteral("type='bool' size='1'"), rec);
    EXPECT_EQ(b->GetValue(), Variant(false));
    Fill(rec, "01");
    EXPECT_EQ(b->GetValue(), Variant(true));
    Fill(rec, "02");
    EXPECT_EQ(b->GetValue(), Variant(true));
    EXPECT_EQ(b->GetAsInt64(), 1);
    b->SetValue(Variant(true));
    EXPECT_EQ(rec, Bytes("01"));
    b->SetValue(Variant("false"));
    EXPECT_EQ(rec, Bytes("00"));
    b->SetValue(Variant("TRUE"));
    EXPECT_EQ(rec, Bytes("01"));
    b->SetValue(Variant("7"));
    EXPECT_EQ(rec, Bytes("07"));
    b->SetValue(Variant(int32_t(7)));
    EXPECT_EQ(rec, Bytes("07"));
    EXPECT_EQ(SetValueError(*b, Variant("ano")), QStringLiteral("'ano' is not a valid boolean value"));
    EXPECT_EQ(rec, Bytes("07"));

    auto inv = ItemFromXml(QStringLiteral("type='bool' size='1' true_value='0' false_value='1'"), rec);
    Fill(rec, "01");
    EXPECT_EQ(inv->GetValue(), Variant(false));
    Fill(rec, "00");
    EXPECT_EQ(inv->GetValue(), Variant(true));
    Fill(rec, "05");
    EXPECT_EQ(inv->GetValue(), Variant(true));
    inv->SetValue(Variant(true));
    EXPECT_EQ(rec, Bytes("00"));
}

TEST(Codec, Strings)
{
    QByteArray rec = Bytes("ffffffffff");
    TDataItem s(QStringLiteral("s"), ByteSpan(rec), dtString, 0, 32, 0);
    s.SetValue(Variant("ab"));
    EXPECT_EQ(rec, Bytes("61620000ff"));
    s.SetValue(Variant("abcdef"));
    EXPECT_EQ(rec, Bytes("61626364ff"));
    EXPECT_EQ(s.GetValue(), Variant("abcd"));
    rec[1] = '\0';
    EXPECT_EQ(s.GetValue(), Variant("a"));
    s.SetValue(Variant(int32_t(-12)));
    EXPECT_EQ(s.GetValue(), Variant("-12"));
    EXPECT_EQ(s.GetAsInt64(), -12);
    s.SetValue(Variant(true));
    EXPECT_EQ(s.GetValue(), Variant("True"));
    s.SetValue(Variant());
    EXPECT_EQ(rec, Bytes("00000000ff"));
    EXPECT_THROW(s.GetAsInt64(), EConvertError);
    // Device text passes through unchanged.
    s.SetValue(Variant(QByteArray("\x8A\xE8")));
    EXPECT_EQ(rec, Bytes("8ae80000ff"));
}

TEST(Codec, AddressesAndHex)
{
    QByteArray rec(4, '\0');
    TDataItem ip(QStringLiteral("ip"), ByteSpan(rec), dtIPAddress, 0, 32, 0);
    ip.SetValue(Variant("192.168.1.10"));
    EXPECT_EQ(rec, Bytes("c0a8010a"));
    EXPECT_EQ(ip.GetValue(), Variant("192.168.1.10"));
    EXPECT_EQ(ip.GetAsInt64(), 0x0A01A8C0);
    rec.fill('\0');
    ip.SetValue(Variant(int32_t(167880896)));
    EXPECT_EQ(rec, Bytes("c0a8010a"));
    ip.SetValue(Variant("no address"));
    EXPECT_EQ(rec, Bytes("ffffffff"));
    EXPECT_EQ(SetValueError(ip, Variant(true)), QStringLiteral("Nekompatibilni typ hodnoty."));

    QByteArray m(6, '\0');
    TDataItem mac(QStringLiteral("mac"), ByteSpan(m), dtMACAddress, 0, 48, 0);
    mac.SetValue(Variant("02-00-AB-CD-EF-01"));
    EXPECT_EQ(m, Bytes("0200abcdef01"));
    EXPECT_EQ(mac.GetValue(), Variant("02-00-ab-cd-ef-01"));
    EXPECT_EQ(mac.GetAsInt64(), 0x01EFCDAB0002LL);
    EXPECT_THROW(mac.SetValue(Variant("02:00:AB:CD:EF:01")), EConvertError);
    mac.SetValue(Variant("01-02-03-04"));
    EXPECT_EQ(m, Bytes("010203040000"));
    EXPECT_EQ(SetValueError(mac, Variant(int32_t(1))), QStringLiteral("Nekompatibilni typ hodnoty."));
    mac.SetValue(Variant(int64_t(0x0102030405060708LL)));
    EXPECT_EQ(m, Bytes("080706050403"));

    TDataItem shortMac(QStringLiteral("m4"), ByteSpan(rec), dtMACAddress, 0, 32, 0);
    EXPECT_EQ(SetValueError(shortMac, Variant("01-02-03-04-05-06")),
              QStringLiteral("Nedostatek prostoru pro MAC adresu."));
    EXPECT_EQ(SetValueError(shortMac, Variant(true)), QStringLiteral("Nedostatek prostoru pro MAC adresu."));
    // A short address item reads only its own bytes.
    EXPECT_EQ(shortMac.GetValue(), Variant("ff-ff-ff-ff-00-00"));

    Fill(rec, "000000e0");
    TDataItem hex(QStringLiteral("h"), ByteSpan(rec), dtHexa, 0, 32, 0);
    EXPECT_EQ(hex.GetValue(), Variant("000000E0"));
    EXPECT_EQ(hex.GetAsInt64(), 3758096384LL);
    hex.SetValue(Variant("000000e0"));
    EXPECT_EQ(rec, Bytes("000000e0"));
    hex.SetValue(Variant("ab"));
    EXPECT_EQ(rec, Bytes("ab000000"));
    EXPECT_THROW(hex.SetValue(Variant("zz")), EConvertError);
    EXPECT_EQ(rec, Bytes("ab000000"));

    QByteArray big(16, '\0');
    TDataItem hex16(QStringLiteral("h16"), ByteSpan(big), dtHexa, 0, 128, 0);
    try {
        hex16.GetAsInt64();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Data nelze prevest na cislo."));
    }
}

TEST(Codec, RawAccessEmptyAndReadOnlyItems)
{
    QByteArray rec = Bytes("05ff");
    TDataItem one(QStringLiteral("one"), ByteSpan(rec), dtUnsigned, 0, 8, 0);
    std::array<uint8_t, 4> dest{9, 9, 9, 9};
    EXPECT_EQ(one.GetRawValue(std::span<uint8_t>()), 1);
    EXPECT_EQ(one.GetRawValue(dest), 1);
    EXPECT_EQ(dest, (std::array<uint8_t, 4>{5, 0, 0, 0}));
    EXPECT_FALSE(one.SetRawValue(std::span<const uint8_t>()));

    TDataItem none(QStringLiteral("none"), ByteSpan(rec), dtUnsigned, 0, 0, 0);
    EXPECT_TRUE(none.GetValue().IsEmpty());
    none.SetValue(Variant(int32_t(1)));
    EXPECT_EQ(rec, Bytes("05ff"));
    try {
        none.GetAsInt64();
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Zadna hodnota k prevedeni na cislo."));
    }

    TDataItem unknown(QStringLiteral("u"), ByteSpan(rec), dtUnknown, 0, 16, 0);
    EXPECT_TRUE(unknown.GetValue().IsEmpty());
    unknown.SetValue(Variant(int32_t(1)));
    EXPECT_EQ(rec, Bytes("05ff"));

    auto ro = ItemFromXml(QStringLiteral("type='number' size='1' readonly='true'"), rec);
    ro->SetValue(Variant(int32_t(1)));
    ro->SetRawString(Bytes("01"));
    const uint8_t src = 1;
    EXPECT_FALSE(ro->SetRawValue(std::span(&src, 1)));
    EXPECT_EQ(rec, Bytes("05ff"));
}

TEST(Codec, ItemsOutsideTheRecordAreRefused)
{
    QByteArray rec(8, '\0');
    auto make = [&](int32_t pos, uint16_t bits, uint8_t offset) {
        TDataItem item(QStringLiteral("x"), ByteSpan(rec), dtUnsigned, pos, bits, offset);
    };
    EXPECT_NO_THROW(make(4, 32, 0));
    EXPECT_NO_THROW(make(7, 4, 4));
    EXPECT_NO_THROW(make(8, 0, 0));
    EXPECT_THROW(make(5, 32, 0), Exception);
    EXPECT_THROW(make(-1, 8, 0), Exception);
    EXPECT_THROW(make(8, 1, 0), Exception);
    EXPECT_THROW(make(0, 4, 5), Exception);
    EXPECT_THROW(make(0, 1, 200), Exception);
    EXPECT_THROW(make(INT32_MAX, 16, 0), Exception);
    try {
        make(6, 32, 0);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Polozka x nelezi v zaznamu."));
    }
}
