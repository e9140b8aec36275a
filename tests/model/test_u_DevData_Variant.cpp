#include "model/u_DevData_Variant.h"

#include "platform/Exception.h"
#include "support/ExceptionText.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

} // namespace

TEST(Variant, IntegerTextFormsAndFailures)
{
    EXPECT_EQ(Variant("  -12").ToInt64(), -12);
    EXPECT_EQ(Variant("+7").ToInt32(), 7);
    EXPECT_EQ(Variant("$1f").ToInt32(), 31);
    EXPECT_EQ(Variant("x10").ToInt32(), 16);
    EXPECT_EQ(Variant("0X10").ToInt32(), 16);
    EXPECT_EQ(Variant("-$10").ToInt32(), -16);
    EXPECT_EQ(Variant("$FFFFFFFF").ToInt32(), -1);
    EXPECT_EQ(Variant("-2147483648").ToInt32(), INT32_MIN);
    EXPECT_EQ(Variant("9223372036854775807").ToInt64(), INT64_MAX);
    EXPECT_EQ(Variant("0xFFFFFFFFFFFFFFFF").ToInt64(), -1);

    EXPECT_EQ(ExceptionText([] { Variant("12 ").ToInt32(); }),
              QStringLiteral("'12 ' is not a valid integer value"));
    EXPECT_EQ(ExceptionText([] { Variant("").ToInt32(); }),
              QStringLiteral("'' is not a valid integer value"));
    EXPECT_THROW(Variant("2147483648").ToInt32(), EConvertError);
    EXPECT_THROW(Variant("$100000000").ToInt32(), EConvertError);
    EXPECT_THROW(Variant("9223372036854775808").ToInt64(), EConvertError);
    EXPECT_THROW(Variant("1.5").ToInt64(), EConvertError);
    EXPECT_THROW(Variant("0x").ToInt64(), EConvertError);
}

TEST(Variant, FloatingValuesRoundHalfToEven)
{
    EXPECT_EQ(Variant(2.5).ToInt64(), 2);
    EXPECT_EQ(Variant(3.5).ToInt64(), 4);
    EXPECT_EQ(Variant(-2.5).ToInt32(), -2);
    EXPECT_EQ(Variant(2.6f).ToInt32(), 3);
    EXPECT_EQ(Variant(Currency{25000}).ToInt64(), 2);
    EXPECT_EQ(Variant(Currency{35000}).ToInt64(), 4);
    EXPECT_EQ(Variant(Currency{-15001}).ToInt64(), -2);
    EXPECT_THROW(Variant(1e300).ToInt64(), EConvertError);
    EXPECT_THROW(Variant(3e9).ToInt32(), EConvertError);
    // Integer kinds keep their low 32 bits.
    EXPECT_EQ(Variant(int64_t(0x1FFFFFFFF)).ToInt32(), -1);
}

TEST(Variant, TextForms)
{
    EXPECT_EQ(Variant(int32_t(-5)).ToText(), "-5");
    EXPECT_EQ(Variant(uint32_t(4000000000u)).ToText(), "4000000000");
    EXPECT_EQ(Variant(true).ToText(), "True");
    EXPECT_EQ(Variant(false).ToText(), "False");
    EXPECT_EQ(Variant(Currency{15000}).ToText(), "1.5");
    EXPECT_EQ(Variant(Currency{-20000}).ToText(), "-2");
    EXPECT_EQ(Variant(0.25).ToText(), "0.25");
    EXPECT_EQ(Variant().ToText(), "");
    EXPECT_EQ(Variant::Null().ToText(), "");
    EXPECT_THROW(Variant(VariantError{5}).ToText(), EConvertError);
}

TEST(Variant, NumbersBooleansAndKinds)
{
    EXPECT_DOUBLE_EQ(Variant(" 1.5e2 ").ToDouble(), 150.0);
    EXPECT_THROW(Variant("inf").ToDouble(), EConvertError);
    EXPECT_THROW(Variant("1,5").ToDouble(), EConvertError);

    EXPECT_TRUE(Variant("TRUE").ToBool());
    EXPECT_FALSE(Variant("false").ToBool());
    EXPECT_FALSE(Variant("0").ToBool());
    EXPECT_TRUE(Variant("0.5").ToBool());
    EXPECT_EQ(ExceptionText([] { Variant("yes").ToBool(); }),
              QStringLiteral("'yes' is not a valid boolean value"));
    EXPECT_EQ(Variant(true).ToInt64(), 1);

    // A missing item reads as an empty value.
    EXPECT_EQ(Variant::Null().ToInt64(), 0);
    EXPECT_FALSE(Variant::Null().ToBool());

    EXPECT_EQ(Variant(uint8_t(1)).Kind(), VariantKind::UInt8);
    EXPECT_EQ(Variant("x").Kind(), VariantKind::String);
    EXPECT_TRUE(Variant(Currency{}).IsNumeric());
    EXPECT_FALSE(Variant(true).IsNumeric());
    EXPECT_FALSE(Variant(QDateTime()).IsNumeric());
    EXPECT_THROW(Variant(QDateTime::currentDateTime()).ToInt64(), EConvertError);
}

TEST(Variant, DeviceTextIsWindows1250)
{
    const QString czech = QStringLiteral("Žluťoučký kůň");
    const QByteArray bytes = ToDeviceText(czech);
    EXPECT_EQ(bytes, QByteArray("\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2"));
    EXPECT_EQ(FromDeviceText(bytes), czech);
    EXPECT_EQ(ToDeviceText(QStringLiteral("a\u2192b")), "a\x1a" "b");
    EXPECT_EQ(Variant(qint64(-3)).Kind(), VariantKind::Int64);
}
