// Reading and writing items in record bytes, per type.

#include "ModelTestUtil.h"
#include "platform/Exception.h"
#include "support/ExceptionText.h"

#include <gtest/gtest.h>

#include <array>

namespace {

QString SetValueError(TDataItem& item, const Variant& value)
{
    return ExceptionText([&] { item.SetValue(value); });
}

// The record in hex after writing value through item (which lies on rec).
QByteArray Set(TDataItem& item, const QByteArray& rec, const Variant& value)
{
    item.SetValue(value);
    return rec.toHex();
}

// What item reads once the record holds hex.
Variant Read(const TDataItem& item, QByteArray& rec, const char* hex)
{
    Fill(rec, hex);
    return item.GetValue();
}

} // namespace

TEST(Codec, BitFieldsAndKeepMask)
{
    QByteArray rec(12, '\0');
    rec[9] = char(0x81);
    TDataItem flag(QStringLiteral("flag"), ByteSpan(rec), dtEnum, 9, 1, 6);
    flag.SetValue(Variant(int32_t(1)));
    EXPECT_EQ(uint8_t(rec[9]), 0xC1);
    flag.SetValue(Variant(int32_t(2)));  // only the field's bit counts
    EXPECT_EQ(uint8_t(rec[9]), 0x81);

    QByteArray one = Bytes("5a");
    TDataItem nibble(QStringLiteral("n"), ByteSpan(one), dtEnum, 0, 4, 0);
    EXPECT_EQ(nibble.GetValue(), Variant(uint32_t(10)));
    EXPECT_EQ(Set(nibble, one, Variant(int32_t(3))), "53");
    // "bitmask" wins over "bitmask_negative".
    EXPECT_EQ(ItemFromXml(QStringLiteral("type='number' size='1' bitmask='15' bitmask_negative='240'"), one)
                  ->KeepMask(),
              0xFFFFFFF0u);

    // A mask over a bit field lies over the field's own bits.
    QByteArray b = Bytes("00");
    auto field = ItemFromXml(QStringLiteral("type='enum' sizebits='4' bitsoffset='2' bitmask_negative='1'"), b);
    EXPECT_EQ(Set(*field, b, Variant(int32_t(15))), "38");
    EXPECT_EQ(Read(*field, b, "3c"), Variant(uint32_t(14)));
}

TEST(Codec, UnsignedAndSignedNumbers)
{
    QByteArray rec = Bytes("1127");
    TDataItem u(QStringLiteral("u"), ByteSpan(rec), dtUnsigned, 0, 16, 0);
    EXPECT_EQ(u.GetValue(), Variant(uint32_t(10001)));
    EXPECT_EQ(Set(u, rec, Variant(int32_t(70000))), "7011");
    EXPECT_EQ(Set(u, rec, Variant("$0102")), "0201");
    EXPECT_EQ(Set(u, rec, Variant(true)), "0100");
    EXPECT_EQ(Set(u, rec, Variant(3.5)), "0400"); // rounded, not cut

    TDataItem s(QStringLiteral("s"), ByteSpan(rec), dtSigned, 0, 16, 0);
    EXPECT_EQ(Read(s, rec, "f1d8"), Variant(int32_t(-9999)));
    EXPECT_EQ(Set(s, rec, Variant(int32_t(-9999))), "f1d8");
    EXPECT_EQ(Set(s, rec, Variant("-1")), "ffff");

    QByteArray bits = Bytes("00");
    TDataItem s3(QStringLiteral("s3"), ByteSpan(bits), dtSigned, 0, 3, 2);
    EXPECT_EQ(Set(s3, bits, Variant(int32_t(-2))), "18");
    EXPECT_EQ(s3.GetValue(), Variant(int32_t(-2)));

    QByteArray eight = Bytes("0100000002000000");
    TDataItem u8(QStringLiteral("u8"), ByteSpan(eight), dtUnsigned, 0, 64, 0);
    EXPECT_EQ(u8.GetValue(), Variant(uint32_t(1)));
    EXPECT_EQ(u8.GetAsInt64(), 1);

    // Named values first, then integer text; the first of repeated names.
    auto e = ItemFromXml(QStringLiteral("type='enum' size='1'"), rec,
                         QStringLiteral("<enumitem name='x' value='2'/><enumitem name='x' value='3'/>"));
    EXPECT_EQ(Set(*e, rec, Variant("x")), "02ff");
    EXPECT_EQ(Set(*e, rec, Variant("0")), "00ff");
    EXPECT_EQ(SetValueError(*e, Variant("y")), QStringLiteral("'y' is not a valid integer value"));
    EXPECT_EQ(SetValueError(*e, Variant()), QStringLiteral("Nekompatibilni typ hodnoty."));
    rec[0] = 9;
    EXPECT_EQ(Set(*e, rec, Variant::Null()), "09ff");
}

TEST(Codec, Booleans)
{
    QByteArray rec = Bytes("00");
    auto b = ItemFromXml(QStringLiteral("type='bool' size='1'"), rec);
    EXPECT_EQ(b->GetValue(), Variant(false));
    EXPECT_EQ(Read(*b, rec, "02"), Variant(true));
    EXPECT_EQ(b->GetAsInt64(), 1);
    EXPECT_EQ(Set(*b, rec, Variant("false")), "00");
    EXPECT_EQ(Set(*b, rec, Variant("TRUE")), "01");
    EXPECT_EQ(Set(*b, rec, Variant("7")), "07");
    EXPECT_EQ(SetValueError(*b, Variant("ano")), QStringLiteral("'ano' is not a valid boolean value"));
    EXPECT_EQ(rec, Bytes("07"));

    auto inv = ItemFromXml(QStringLiteral("type='bool' size='1' true_value='0' false_value='1'"), rec);
    EXPECT_EQ(Read(*inv, rec, "01"), Variant(false));
    EXPECT_EQ(Read(*inv, rec, "05"), Variant(true));
    EXPECT_EQ(Set(*inv, rec, Variant(true)), "00");
}

TEST(Codec, Strings)
{
    QByteArray rec = Bytes("ffffffffff");
    TDataItem s(QStringLiteral("s"), ByteSpan(rec), dtString, 0, 32, 0);
    EXPECT_EQ(Set(s, rec, Variant("ab")), "61620000ff");
    EXPECT_EQ(Set(s, rec, Variant("abcdef")), "61626364ff");
    EXPECT_EQ(s.GetValue(), Variant("abcd"));
    s.SetValue(Variant(int32_t(-12)));
    EXPECT_EQ(s.GetValue(), Variant("-12"));
    EXPECT_EQ(s.GetAsInt64(), -12);
    s.SetValue(Variant(true));
    EXPECT_EQ(s.GetValue(), Variant("True"));
    EXPECT_EQ(Set(s, rec, Variant()), "00000000ff");
    EXPECT_THROW(s.GetAsInt64(), EConvertError);
    // Device text passes through unchanged.
    EXPECT_EQ(Set(s, rec, Variant(QByteArray("\x8A\xE8"))), "8ae80000ff");
}

TEST(Codec, AddressesAndHex)
{
    QByteArray rec(4, '\0');
    TDataItem ip(QStringLiteral("ip"), ByteSpan(rec), dtIPAddress, 0, 32, 0);
    EXPECT_EQ(Set(ip, rec, Variant("192.168.1.10")), "c0a8010a");
    EXPECT_EQ(ip.GetValue(), Variant("192.168.1.10"));
    EXPECT_EQ(ip.GetAsInt64(), 0x0A01A8C0);
    EXPECT_EQ(Set(ip, rec, Variant("no address")), "ffffffff");
    EXPECT_EQ(SetValueError(ip, Variant(true)), QStringLiteral("Nekompatibilni typ hodnoty."));

    QByteArray m(6, '\0');
    TDataItem mac(QStringLiteral("mac"), ByteSpan(m), dtMACAddress, 0, 48, 0);
    EXPECT_EQ(Set(mac, m, Variant("02-00-AB-CD-EF-01")), "0200abcdef01");
    EXPECT_EQ(mac.GetValue(), Variant("02-00-ab-cd-ef-01"));
    EXPECT_EQ(mac.GetAsInt64(), 0x01EFCDAB0002LL);
    EXPECT_THROW(mac.SetValue(Variant("02:00:AB:CD:EF:01")), EConvertError);
    EXPECT_EQ(Set(mac, m, Variant("01-02-03-04")), "010203040000");
    EXPECT_EQ(SetValueError(mac, Variant(int32_t(1))), QStringLiteral("Nekompatibilni typ hodnoty."));
    EXPECT_EQ(Set(mac, m, Variant(int64_t(0x0102030405060708LL))), "080706050403");

    TDataItem shortMac(QStringLiteral("m4"), ByteSpan(rec), dtMACAddress, 0, 32, 0);
    EXPECT_EQ(SetValueError(shortMac, Variant("01-02-03-04-05-06")),
              QStringLiteral("Nedostatek prostoru pro MAC adresu."));
    // A short address item reads only its own bytes.
    EXPECT_EQ(shortMac.GetValue(), Variant("ff-ff-ff-ff-00-00"));

    TDataItem hex(QStringLiteral("h"), ByteSpan(rec), dtHexa, 0, 32, 0);
    EXPECT_EQ(Read(hex, rec, "000000e0"), Variant("000000E0"));
    EXPECT_EQ(hex.GetAsInt64(), 3758096384LL);
    EXPECT_EQ(Set(hex, rec, Variant("ab")), "ab000000");
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
    auto refusal = [&](int32_t pos, uint16_t bits, uint8_t offset) {
        try {
            TDataItem item(QStringLiteral("x"), ByteSpan(rec), dtUnsigned, pos, bits, offset);
        } catch (const Exception& e) {
            return e.Message();
        }
        return QString();
    };
    EXPECT_EQ(refusal(4, 32, 0), "");
    EXPECT_EQ(refusal(7, 4, 4), "");
    EXPECT_EQ(refusal(5, 32, 0), QStringLiteral("Polozka x nelezi v zaznamu."));
    for (auto [pos, bits, offset] : {std::tuple(-1, 8, 0), std::tuple(8, 1, 0), std::tuple(0, 4, 5),
                                     std::tuple(0, 1, 200), std::tuple(INT32_MAX, 16, 0)})
        EXPECT_FALSE(refusal(pos, uint16_t(bits), uint8_t(offset)).isEmpty()) << pos << " " << bits << " " << offset;
}
