#include "model/u_DevData_Variant.h"

#include "platform/Exception.h"
#include "support/ExceptionText.h"

#include <gtest/gtest.h>

#include <utility>

TEST(Variant, IntegersFromTextAndNumbers)
{
    for (const auto& [v, value] : {std::pair{Variant("  -12"), int64_t(-12)}, {Variant("+7"), 7}, {Variant("$1f"), 31},
                                   {Variant("x10"), 16}, {Variant("0X10"), 16}, {Variant("-$10"), -16},
                                   {Variant("0xFFFFFFFFFFFFFFFF"), -1}, {Variant(2.5), 2}, {Variant(3.5), 4},
                                   {Variant(Currency{25000}), 2}, {Variant(Currency{-15001}), -2}})
        EXPECT_EQ(v.ToInt64(), value) << v.ToText().toStdString();
    EXPECT_EQ(Variant("$FFFFFFFF").ToInt32(), -1);
    EXPECT_EQ(Variant(int64_t(0x1FFFFFFFF)).ToInt32(), -1);
    EXPECT_EQ(ExceptionText([] { Variant("12 ").ToInt32(); }), QStringLiteral("'12 ' is not a valid integer value"));
    for (const char* bad : {"2147483648", "$100000000", "", "1.5", "0x"})
        EXPECT_THROW(Variant(bad).ToInt32(), EConvertError) << bad;
    EXPECT_THROW(Variant(1e300).ToInt64(), EConvertError);
    EXPECT_THROW(Variant(QDateTime::currentDateTime()).ToInt64(), EConvertError);
}

TEST(Variant, TextNumbersAndBooleans)
{
    for (const auto& [v, text] : {std::pair{Variant(int32_t(-5)), "-5"}, {Variant(uint32_t(4000000000u)), "4000000000"},
                                  {Variant(true), "True"}, {Variant(Currency{15000}), "1.5"}, {Variant(0.25), "0.25"},
                                  {Variant::Null(), ""}})
        EXPECT_EQ(v.ToText(), text) << text;
    EXPECT_DOUBLE_EQ(Variant(" 1.5e2 ").ToDouble(), 150.0);
    EXPECT_THROW(Variant("1,5").ToDouble(), EConvertError);
    EXPECT_TRUE(Variant("0.5").ToBool());
    EXPECT_FALSE(Variant("0").ToBool());
    EXPECT_EQ(ExceptionText([] { Variant("yes").ToBool(); }), QStringLiteral("'yes' is not a valid boolean value"));
}

TEST(Variant, DeviceTextIsWindows1250)
{
    const QString czech = QStringLiteral("Žluťoučký kůň");
    EXPECT_EQ(ToDeviceText(czech), QByteArray("\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2"));
    EXPECT_EQ(FromDeviceText(ToDeviceText(czech)), czech);
    EXPECT_EQ(ToDeviceText(QStringLiteral("a\u2192b")), "a\x1a" "b");
}
