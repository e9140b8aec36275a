#include "ModelTestUtil.h"
#include "platform/Exception.h"
#include "support/ExceptionText.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

// One write on a record of ff bytes: the bytes it leaves, the value read back.
TEST(Codec, WritesAndReadsPerType)
{
    const QString names = QStringLiteral("<enumitem name='x' value='2'/><enumitem name='x' value='3'/>");
    const std::tuple<const char*, Variant, const char*, Variant> table[] = {
        {"type='number' size='2'", Variant(int32_t(70000)), "7011ffffffff", Variant(uint32_t(4464))},
        {"type='number' size='2'", Variant(3.5), "0400ffffffff", Variant(uint32_t(4))},
        {"type='number' size='2'", Variant(2.5), "0200ffffffff", Variant(uint32_t(2))},
        {"type='number' size='2'", Variant(" -x10"), "f0ffffffffff", Variant(uint32_t(65520))},
        {"type='number' size='2'", Variant("+0X10"), "1000ffffffff", Variant(uint32_t(16))},
        {"type='enum' size='1'", Variant("x"), "02ffffffffff", Variant(uint32_t(2))},
        {"type='enum' size='1'", Variant("0"), "00ffffffffff", Variant(uint32_t(0))},
        {"type='enum' sizebits='1' bitsoffset='6'", Variant(int32_t(2)), "bfffffffffff", Variant(uint32_t(0))},
        {"type='enum' sizebits='4'", Variant(int32_t(3)), "f3ffffffffff", Variant(uint32_t(3))},
        {"type='bool' size='1'", Variant("false"), "00ffffffffff", Variant(false)},
        {"type='bool' size='1'", Variant("7"), "07ffffffffff", Variant(true)},
        {"type='bool' size='1'", Variant(int32_t(6)), "06ffffffffff", Variant(true)},
        {"type='bool' size='1' true_value='0' false_value='1'", Variant(true), "00ffffffffff", Variant(true)},
        {"type='bool' size='1' true_value='0' false_value='1'", Variant(false), "01ffffffffff", Variant(false)},
        {"type='string' size='4'", Variant("ab"), "61620000ffff", Variant("ab")},
        {"type='string' size='4'", Variant("abcdef"), "61626364ffff", Variant("abcd")},
        {"type='string' size='4'", Variant(int32_t(-12)), "2d313200ffff", Variant("-12")},
        {"type='string' size='4'", Variant(), "00000000ffff", Variant("")},
        {"type='string' size='4'", Variant(QByteArray("\x8A\xE8")), "8ae80000ffff", Variant(QByteArray("\x8A\xE8"))},
        {"type='ip' size='4'", Variant("192.168.1.10"), "c0a8010affff", Variant("192.168.1.10")},
        {"type='ip' size='4'", Variant(int64_t(0x0A01A8C0)), "c0a8010affff", Variant("192.168.1.10")},
        {"type='ip' size='4'", Variant("no address"), "ffffffffffff", Variant("255.255.255.255")},
        {"type='mac' size='6'", Variant("02-00-AB-CD-EF-01"), "0200abcdef01", Variant("02-00-ab-cd-ef-01")},
        {"type='mac' size='6'", Variant("01-02-03-04"), "010203040000", Variant("01-02-03-04-00-00")},
        {"type='mac' size='6'", Variant(int64_t(0x0102030405060708LL)), "080706050403", Variant("08-07-06-05-04-03")},
        {"type='hexa' size='4'", Variant("000000e0"), "000000e0ffff", Variant("000000E0")},
        {"type='hexa' size='4'", Variant("ab"), "ab000000ffff", Variant("AB000000")},
        {"type='number' size='1'", Variant::Null(), "ffffffffffff", Variant(uint32_t(255))},
        {"type='number' size='1' readonly='1'", Variant(int32_t(1)), "ffffffffffff", Variant(uint32_t(255))},
        {"type='word'", Variant(int32_t(1)), "ffffffffffff", Variant()},
        {"type='other' size='1'", Variant(int32_t(1)), "ffffffffffff", Variant()},
    };
    for (const auto& [attrs, in, bytes, out] : table) {
        SCOPED_TRACE(std::string(attrs) + " <- " + in.ToText().toStdString());
        QByteArray rec(6, '\xff');
        auto item = ItemFromXml(QString::fromLatin1(attrs), rec, names);
        item->SetValue(in);
        EXPECT_EQ(rec.toHex(), bytes);
        EXPECT_EQ(item->GetValue(), out);
    }
}

TEST(Codec, RefusedValuesWriteNothing)
{
    const std::tuple<const char*, Variant, const char*> table[] = {
        {"type='enum' size='1'", Variant("y"), "'y' is not a valid integer value"},
        {"type='number' size='1'", Variant(), "Nekompatibilni typ hodnoty."},
        {"type='bool' size='1'", Variant("ano"), "'ano' is not a valid boolean value"},
        {"type='ip' size='4'", Variant(true), "Nekompatibilni typ hodnoty."},
        {"type='mac' size='6'", Variant(int32_t(1)), "Nekompatibilni typ hodnoty."},
        {"type='mac' size='6'", Variant("02:00:AB:CD:EF:01"), "'$:0' is not a valid integer value"},
        {"type='mac' size='4'", Variant("01-02-03-04-05-06"), "Nedostatek prostoru pro MAC adresu."},
        {"type='hexa' size='4'", Variant("zz"), "'$zz' is not a valid integer value"},
    };
    for (const auto& [attrs, value, message] : table) {
        SCOPED_TRACE(attrs);
        QByteArray rec(6, '\xff');
        auto item = ItemFromXml(QString::fromLatin1(attrs), rec);
        EXPECT_EQ(ExceptionText([&] { item->SetValue(value); }), QString::fromLatin1(message));
        EXPECT_EQ(rec, QByteArray(6, '\xff'));
    }
}

TEST(Codec, NumbersAndRawAccess)
{
    QByteArray rec = Bytes("0200abcdef01ffffffffffffffffffff");
    EXPECT_EQ(ItemFromXml(QStringLiteral("type='mac' size='6'"), rec)->GetAsInt64(), 0x01EFCDAB0002LL);
    EXPECT_EQ(ItemFromXml(QStringLiteral("type='hexa' size='4'"), rec)->GetAsInt64(), 0xCDAB0002LL);
    EXPECT_EQ(ItemFromXml(QStringLiteral("type='number' size='8'"), rec)->GetAsInt64(), 0xCDAB0002LL);
    EXPECT_EQ(ExceptionText([&] { ItemFromXml(QStringLiteral("type='hexa' size='16'"), rec)->GetAsInt64(); }),
              QStringLiteral("Data nelze prevest na cislo."));
    EXPECT_EQ(ExceptionText([&] { ItemFromXml(QStringLiteral("type='number'"), rec)->GetAsInt64(); }),
              QStringLiteral("Zadna hodnota k prevedeni na cislo."));

    std::array<uint8_t, 4> dest{9, 9, 9, 9};
    auto one = ItemFromXml(QStringLiteral("type='number' size='1' readonly='1'"), rec);
    EXPECT_EQ(one->GetRawValue(std::span<uint8_t>()), 1);
    EXPECT_EQ(one->GetRawValue(dest), 1);
    EXPECT_EQ(dest, (std::array<uint8_t, 4>{2, 0, 0, 0}));
    EXPECT_FALSE(one->SetRawValue(dest));
}
