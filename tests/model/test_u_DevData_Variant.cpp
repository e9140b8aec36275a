#include "model/u_DevData_Variant.h"

#include "platform/Exception.h"
#include "support/ExceptionText.h"

#include <gtest/gtest.h>

#include <utility>

TEST(Variant, IntegerTextFormsAndFailures)
{
    for (const auto& [text, value] : {std::pair{"  -12", int64_t(-12)}, {"+7", 7}, {"$1f", 31}, {"x10", 16},
                                      {"0X10", 16}, {"-$10", -16}, {"9223372036854775807", INT64_MAX},
                                      {"0xFFFFFFFFFFFFFFFF", -1}})
        EXPECT_EQ(Variant(text).ToInt64(), value) << text;
    EXPECT_EQ(Variant("$FFFFFFFF").ToInt32(), -1);
    EXPECT_EQ(Variant("-2147483648").ToInt32(), INT32_MIN);

    EXPECT_EQ(ExceptionText([] { Variant("12 ").ToInt32(); }), QStringLiteral("'12 ' is not a valid integer value"));
    EXPECT_THROW(Variant("2147483648").ToInt32(), EConvertError);
    EXPECT_THROW(Variant("$100000000").ToInt32(), EConvertError);
    for (const char* bad : {"", "9223372036854775808", "1.5", "0x"})
        EXPECT_THROW(Variant(bad).ToInt64(), EConvertError) << bad;
}

TEST(Variant, FloatingValuesRoundHalfToEven)
{
    EXPECT_EQ(Variant(2.5).ToInt64(), 2);
    EXPECT_EQ(Variant(3.5).ToInt64(), 4);
    EXPECT_EQ(Variant(-2.5).ToInt32(), -2);
    EXPECT_EQ(Variant(Currency{25000}).ToInt64(), 2);
    EXPECT_EQ(Variant(Currency{35000}).ToInt64(), 4);
    EXPECT_EQ(Variant(Currency{-15001}).ToInt64(), -2);
    EXPECT_THROW(Variant(1e300).ToInt64(), EConvertError);
    EXPECT_THROW(Variant(3e9).ToInt32(), EConvertError);
    // Integer kinds keep their low 32 bits.
    EXPECT_EQ(Variant(int64_t(0x1FFFFFFFF)).ToInt32(), -1);
}

TEST(Variant, TextNumbersAndBooleans)
{
    for (const auto& [v, text] : {std::pair{Variant(int32_t(-5)), "-5"}, {Variant(uint32_t(4000000000u)), "4000000000"},
                                  {Variant(true), "True"}, {Variant(false), "False"}, {Variant(Currency{15000}), "1.5"},
                                  {Variant(Currency{-20000}), "-2"}, {Variant(0.25), "0.25"}, {Variant::Null(), ""}})
        EXPECT_EQ(v.ToText(), text) << text;
    EXPECT_THROW(Variant(VariantError{5}).ToText(), EConvertError);

    EXPECT_DOUBLE_EQ(Variant(" 1.5e2 ").ToDouble(), 150.0);
    EXPECT_THROW(Variant("inf").ToDouble(), EConvertError);
    EXPECT_THROW(Variant("1,5").ToDouble(), EConvertError);

    EXPECT_TRUE(Variant("TRUE").ToBool());
    EXPECT_FALSE(Variant("false").ToBool());
    EXPECT_FALSE(Variant("0").ToBool());
    EXPECT_TRUE(Variant("0.5").ToBool());
    EXPECT_EQ(ExceptionText([] { Variant("yes").ToBool(); }), QStringLiteral("'yes' is not a valid boolean value"));
    // A missing item reads as an empty value.
    EXPECT_EQ(Variant::Null().ToInt64(), 0);
    EXPECT_THROW(Variant(QDateTime::currentDateTime()).ToInt64(), EConvertError);
}

TEST(Variant, DeviceTextIsWindows1250)
{
    const QString czech = QStringLiteral("Žluťoučký kůň");
    const QByteArray bytes = ToDeviceText(czech);
    EXPECT_EQ(bytes, QByteArray("\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2"));
    EXPECT_EQ(FromDeviceText(bytes), czech);
    EXPECT_EQ(ToDeviceText(QStringLiteral("a\u2192b")), "a\x1a" "b");
}
