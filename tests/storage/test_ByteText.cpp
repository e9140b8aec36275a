#include "storage/ByteText.h"

#include <gtest/gtest.h>

using namespace bytetext;

TEST(ByteText, TrimCaseFoldingAndLeadingIntegers)
{
    EXPECT_EQ(Trim(QByteArray("\t\x01 a b \r\n\0", 10)), QByteArray("a b"));
    EXPECT_EQ(Trim("\xE9x\xA0"), QByteArray("\xE9x\xA0")); // high bytes are no blanks
    EXPECT_TRUE(SameText("Content-Type", "content-TYPE"));
    EXPECT_FALSE(SameText("\xC8", "\xE8")); // ASCII letters only
    EXPECT_FALSE(SameText(QByteArray("a\0b", 3), QByteArray("a\0c", 3)));
    for (const auto& [text, value] : {std::pair{"  42", 42}, {"$1F", 31}, {"0x10", 16}, {"12abc", 12},
                                      {"-2147483648", INT32_MIN}, {"99999999999", 999999999}})
        EXPECT_EQ(ValInteger(text), value) << text;
}
