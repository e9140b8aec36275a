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
    EXPECT_THROW(HexToBin(QStringLiteral("0x12")), EConvertError);
    EXPECT_EQ(BinToHex(Bytes("0aff")), QStringLiteral("0AFF"));
}

TEST(AddressText, IPv4InMemoryOrder)
{
    EXPECT_EQ(StrToIP(QStringLiteral("192.168.1.10")), 0x0A01A8C0u);
    EXPECT_EQ(IPToStr(0x0A01A8C0u), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(IPToStr(0xFFFFFFFFu), QStringLiteral("255.255.255.255"));
    EXPECT_EQ(StrToIP(QStringLiteral("0")), 0u);
    EXPECT_EQ(StrToIP(QStringLiteral("abc")), 0xFFFFFFFFu);
    EXPECT_EQ(StrToIP(QStringLiteral("1.2.3.4") + QChar(0) + QStringLiteral("x")), 0xFFFFFFFFu);
}

TEST(AddressText, MacForms)
{
    const std::array<uint8_t, 6> mac{0x02, 0x00, 0xAB, 0xCD, 0xEF, 0x01};
    EXPECT_EQ(MACToStr(mac), QStringLiteral("02-00-ab-cd-ef-01"));
    for (const char* text : {"02-00-AB-CD-EF-01", "0200ABCDEF01", "02 00 ab cd ef 01"}) {
        std::array<uint8_t, 6> out{};
        EXPECT_TRUE(StrToMAC(QString::fromLatin1(text), out)) << text;
        EXPECT_EQ(out, mac) << text;
    }
    std::array<uint8_t, 6> out;
    out.fill(0x77);
    EXPECT_FALSE(StrToMAC(QStringLiteral("01-02-03-04-05"), out));
    EXPECT_EQ(out, (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 0x77}));
    EXPECT_FALSE(StrToMAC(QStringLiteral("01-02-03-04-05-06-07"), out));
    EXPECT_EQ(out, (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 6}));
    EXPECT_THROW(StrToMAC(QStringLiteral("02:00:AB:CD:EF:01"), out), EConvertError);
}
