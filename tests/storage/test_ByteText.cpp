#include "storage/ByteText.h"

#include <gtest/gtest.h>

using namespace bytetext;

TEST(ByteText, TrimAndCaseFoldingWorkOnBytes)
{
    EXPECT_EQ(Trim(QByteArray("\t\x01 a b \r\n\0", 10)), QByteArray("a b"));
    EXPECT_EQ(Trim("\xE9x\xA0"), QByteArray("\xE9x\xA0")); // high bytes are no blanks
    EXPECT_TRUE(SameText("Content-Type", "content-TYPE"));
    EXPECT_FALSE(SameText("\xC8", "\xE8")); // ASCII letters only
    EXPECT_FALSE(SameText(QByteArray("a\0b", 3), QByteArray("a\0c", 3)));
}

TEST(ByteText, ValIntegerTakesTheLeadingValidPart)
{
    EXPECT_EQ(ValInteger("  42"), 42);
    EXPECT_EQ(ValInteger("$1F"), 31);
    EXPECT_EQ(ValInteger("0x10"), 16);
    EXPECT_EQ(ValInteger("12abc"), 12);
    EXPECT_EQ(ValInteger("-2147483648"), -2147483647 - 1);
    // Digits past the 32-bit range are not part of the number.
    EXPECT_EQ(ValInteger("99999999999"), 999999999);
    EXPECT_EQ(ValInteger("$FFFFFFFFFF"), 0x0FFFFFFF);
}
