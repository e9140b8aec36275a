#include "model/u_DevData_Text.h"

#include "ModelTestUtil.h"
#include "platform/Exception.h"
#include "support/ExceptionText.h"

#include <gtest/gtest.h>

#include <array>

TEST(HexText, HexToBinAndBack)
{
    for (const auto& [text, hex] : {std::pair{"000000e0", "000000e0"}, {"00 00-00.E0", "000000e0"},
                                    {"\r\n0a\tff", "0aff"}, {"0 1", "01"}, {"- .", ""}, {"a", ""}, {"abc", "ab"}})
        EXPECT_EQ(HexToBin(QString::fromLatin1(text)), Bytes(hex)) << text;
    EXPECT_EQ(ExceptionText([] { HexToBin(QStringLiteral("0g12")); }),
              QStringLiteral("'$0g' is not a valid integer value"));
    EXPECT_EQ(BinToHex(Bytes("0aff")), QStringLiteral("0AFF"));
}

TEST(DeviceText, IsWindows1250)
{
    const QString czech = QStringLiteral("Žluťoučký kůň");
    EXPECT_EQ(ToDeviceText(czech), QByteArray("\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2"));
    EXPECT_EQ(FromDeviceText(ToDeviceText(czech)), czech);
    EXPECT_EQ(ToDeviceText(QStringLiteral("a\u2192b")), "a\x1a" "b");
}

TEST(AddressText, IPv4AndMacForms)
{
    EXPECT_EQ(StrToIP(QStringLiteral("0")), 0u);
    EXPECT_EQ(StrToIP(QStringLiteral("1.2.3.4") + QChar(0) + QStringLiteral("x")), 0xFFFFFFFFu);

    std::array<uint8_t, 6> out{};
    EXPECT_TRUE(StrToMAC(QStringLiteral("0200ab cd.ef01"), out));
    EXPECT_EQ(out, (std::array<uint8_t, 6>{0x02, 0x00, 0xAB, 0xCD, 0xEF, 0x01}));
    EXPECT_FALSE(StrToMAC(QStringLiteral("01-02-03-04-05"), out));
    EXPECT_EQ(out, (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 0x01}));
    EXPECT_FALSE(StrToMAC(QStringLiteral("01-02-03-04-05-06-07"), out));
    EXPECT_EQ(out, (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 6}));
}
