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
    EXPECT_EQ(ExceptionText([] { Variant("12 ").ToInt32(); }), QStringLiteral("'12 ' is not a valid integer value"));
    for (const char* bad : {"2147483648", "$100000000", "", "1.5", "0x"})
        EXPECT_THROW(Variant(bad).ToInt32(), EConvertError) << bad;
    EXPECT_THROW(Variant(1e300).ToInt64(), EConvertError);
}

TEST(Variant, DeviceTextIsWindows1250)
{
    const QString czech = QStringLiteral("Žluťoučký kůň");
    EXPECT_EQ(ToDeviceText(czech), QByteArray("\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2"));
    EXPECT_EQ(FromDeviceText(ToDeviceText(czech)), czech);
    EXPECT_EQ(ToDeviceText(QStringLiteral("a\u2192b")), "a\x1a" "b");
}
