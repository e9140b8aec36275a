#include "app/MyUtils.h"

#include "support/ExceptionText.h"
#include "support/QStringPrint.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

std::uint32_t FromBytes(unsigned char a, unsigned char b, unsigned char c, unsigned char d)
{
    const unsigned char bytes[4] = {a, b, c, d};
    std::uint32_t v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

} // namespace

TEST(MyUtils, IPAddressTextsInMemoryOrderAndAReaderThatNeverFails)
{
    EXPECT_EQ(IPAddrToStr(FromBytes(0xC0, 0xA8, 0x01, 0xFE)), QStringLiteral("192.168.1.254"));
    EXPECT_EQ(IPAddrToStr(0), QStringLiteral("0.0.0.0"));
    const struct {
        const char* text;
        std::uint32_t addr;
    } rows[] = {
        {"192.168.1.254", FromBytes(0xC0, 0xA8, 0x01, 0xFE)}, {"", 0}, {"1.2.3.4.5", FromBytes(1, 2, 3, 4)},
        {" 10 . 1 . 2 . 3 ", FromBytes(10, 1, 2, 3)}, {"10.0", FromBytes(10, 0, 0, 0)},
        {"300.1.1.1", FromBytes(0x2C, 1, 1, 1)},
        // Bad parts keep their place and stay 0.
        {"abc..x7.4", FromBytes(0, 0, 0, 4)}, {"1 2.3.4.5", FromBytes(0, 3, 4, 5)}, {"١.2.3.4", FromBytes(0, 2, 3, 4)},
        // Hexadecimal after "$" or "0x", signs, and the low eight bits only.
        {"$FF.0x10.-1.+7", FromBytes(0xFF, 0x10, 0xFF, 7)}, {"0x.$.-.99999999999", 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(StrToIPAddr(QString::fromUtf8(row.text)), row.addr) << row.text;
}

TEST(MyUtils, SplitKeepsInnerEmptyPartsButNoTrailingOne)
{
    const struct {
        const char *text, *delimiter;
        QStringList parts;
    } rows[] = {
        {"", ".", {}},          {"1.2.", ".", {"1", "2"}},  {"a..b", ".", {"a", "", "b"}},
        {".a", ".", {"", "a"}}, {".", ".", {""}},           {"abc", ".", {"abc"}},
        {"a--b--", "--", {"a", "b"}}, {"a.b", "", {"a.b"}}, {"", "", {}},
    };
    for (const auto& row : rows) {
        QStringList list{QStringLiteral("stale")};
        EXPECT_EQ(Split(QString::fromLatin1(row.text), QString::fromLatin1(row.delimiter), list), row.parts.size());
        EXPECT_EQ(list, row.parts) << row.text << " at " << row.delimiter;
    }
}

TEST(MyUtils, ReadFileToBufferReadsUpToTheLimitAndReportsUnreadableFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("data.bin");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("abc\0def", 7));
    file.close();
    char buffer[16] = {};
    EXPECT_EQ(ReadFileToBuffer(path, buffer, 4, true), 4);
    EXPECT_EQ(QByteArray(buffer, 5), QByteArray("abc\0\0", 5));
    EXPECT_EQ(ReadFileToBuffer(path, buffer, sizeof buffer, false), 7);

    // A directory opens on this system but is no file; a negative length is
    // refused rather than read.
    const QString missing = dir.filePath("není.txt");
    EXPECT_EQ(ReadFileToBuffer(missing, buffer, 4, false), -1);
    EXPECT_EQ(ReadFileToBuffer(path, buffer, -1, false), -1);
    EXPECT_EQ(ExceptionText([&] { ReadFileToBuffer(missing, buffer, 4, true); }),
              "Chyba při čtení souboru " + missing + "\r\n" + QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_NE(ExceptionText([&] { ReadFileToBuffer(dir.path(), buffer, 4, true); }), "<no exception>");
}

TEST(MyUtils, StrictAddressTextIsFourPlainDecimalPartsAndMasksRunUnbroken)
{
    std::uint32_t addr = 0;
    EXPECT_TRUE(TryStrictStrToIP(QStringLiteral("10.0.100.9"), addr));
    EXPECT_EQ(addr, FromBytes(10, 0, 100, 9));
    for (const char* bad : {"", "192.168.1", "10", "1.2.3.4.5", "1.2.3.4.", ".1.2.3", "1..2.3", "010.001.001.010",
                            "1.2.3.00", "0x0a.1.1.1", "1.2.3.256", "1.2.3.1000", "+1.2.3.4", "1.2.3.-4", " 1.2.3.4",
                            "1.2.3.4 ", "1.2.3.a", "1,2,3,4", "١.2.3.4"}) {
        addr = 0x5A5A5A5A;
        EXPECT_FALSE(TryStrictStrToIP(QString::fromUtf8(bad), addr)) << bad;
        EXPECT_EQ(addr, 0x5A5A5A5Au) << bad;
    }

    for (const auto& m : {FromBytes(0, 0, 0, 0), FromBytes(255, 0, 0, 0), FromBytes(255, 255, 255, 0),
                          FromBytes(255, 255, 255, 252), FromBytes(255, 255, 255, 255), FromBytes(128, 0, 0, 0)})
        EXPECT_TRUE(IsContiguousMask(m)) << std::hex << m;
    for (const auto& m : {FromBytes(255, 0, 255, 0), FromBytes(0, 255, 255, 255), FromBytes(255, 255, 255, 1),
                          FromBytes(255, 255, 254, 255), FromBytes(127, 0, 0, 0), FromBytes(255, 255, 253, 0)})
        EXPECT_FALSE(IsContiguousMask(m)) << std::hex << m;
}
