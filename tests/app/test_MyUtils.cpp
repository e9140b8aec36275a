#include "app/MyUtils.h"

#include "platform/Exception.h"

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

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
    return path;
}

QStringList SplitAll(const QString& text, const QString& delimiter)
{
    QStringList list{QStringLiteral("stale")};
    const int n = Split(text, delimiter, list);
    EXPECT_EQ(n, list.size());
    return list;
}

} // namespace

TEST(MyUtils, IPAddressTextsInMemoryOrderAndAReaderThatNeverFails)
{
    EXPECT_EQ(IPAddrToStr(FromBytes(0xC0, 0xA8, 0x01, 0xFE)), QStringLiteral("192.168.1.254"));
    EXPECT_EQ(IPAddrToStr(0xFFFFFFFF), QStringLiteral("255.255.255.255"));
    EXPECT_EQ(StrToIPAddr(QStringLiteral("192.168.1.254")), FromBytes(0xC0, 0xA8, 0x01, 0xFE));
    EXPECT_EQ(StrToIPAddr(QString()), 0u);
    EXPECT_EQ(StrToIPAddr(QStringLiteral("1.2.3.4.5")), FromBytes(1, 2, 3, 4));
    EXPECT_EQ(StrToIPAddr(QStringLiteral(" 10 . 1 . 2 . 3 ")), FromBytes(10, 1, 2, 3));
    EXPECT_EQ(StrToIPAddr(QStringLiteral("10.0")), FromBytes(10, 0, 0, 0));
    EXPECT_EQ(StrToIPAddr(QStringLiteral("300.1.1.1")), FromBytes(0x2C, 1, 1, 1));
    // Bad parts keep their place and stay 0.
    EXPECT_EQ(StrToIPAddr(QStringLiteral("abc..x7.4")), FromBytes(0, 0, 0, 4));
    EXPECT_EQ(StrToIPAddr(QStringLiteral("1 2.3.4.5")), FromBytes(0, 3, 4, 5));
    // Hexadecimal after "$" or "0x", signs, and the low eight bits only.
    EXPECT_EQ(StrToIPAddr(QStringLiteral("$FF.0x10.-1.+7")), FromBytes(0xFF, 0x10, 0xFF, 7));
    EXPECT_EQ(StrToIPAddr(QStringLiteral("0x.$.-.99999999999")), 0u);
    EXPECT_EQ(StrToIPAddr(QStringLiteral("١.2.3.4")), FromBytes(0, 2, 3, 4)); // not an ASCII digit
}

TEST(MyUtils, SplitKeepsInnerEmptyPartsButNoTrailingOne)
{
    EXPECT_EQ(SplitAll(QString(), QStringLiteral(".")), QStringList());
    EXPECT_EQ(SplitAll(QStringLiteral("1.2."), QStringLiteral(".")), (QStringList{"1", "2"}));
    EXPECT_EQ(SplitAll(QStringLiteral("a..b"), QStringLiteral(".")), (QStringList{"a", "", "b"}));
    EXPECT_EQ(SplitAll(QStringLiteral(".a"), QStringLiteral(".")), (QStringList{"", "a"}));
    EXPECT_EQ(SplitAll(QStringLiteral("."), QStringLiteral(".")), (QStringList{""}));
    EXPECT_EQ(SplitAll(QStringLiteral("abc"), QStringLiteral(".")), (QStringList{"abc"}));
    EXPECT_EQ(SplitAll(QStringLiteral("a--b--"), QStringLiteral("--")), (QStringList{"a", "b"}));
    // An empty delimiter occurs nowhere.
    EXPECT_EQ(SplitAll(QStringLiteral("a.b"), QString()), (QStringList{"a.b"}));
    EXPECT_EQ(SplitAll(QString(), QString()), QStringList());
}

TEST(MyUtils, ReadFileToBufferReadsUpToTheLimitAndReportsUnreadableFiles)
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir, "data.bin", QByteArray("abc\0def", 7));
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(ReadFileToBuffer(path, buffer, 4, true), 4);
    EXPECT_EQ(QByteArray(buffer, 5), QByteArray("abc\0x", 5));
    EXPECT_EQ(ReadFileToBuffer(path, buffer, sizeof buffer, false), 7);
    EXPECT_EQ(QByteArray(buffer, 7), QByteArray("abc\0def", 7));
    EXPECT_EQ(ReadFileToBuffer(path, buffer, 0, true), 0);

    // Unreadable files, with the system's text.
    const QString missing = dir.filePath("není.txt");
    EXPECT_EQ(ReadFileToBuffer(missing, buffer, 4, false), -1);
    try {
        ReadFileToBuffer(missing, buffer, 4, true);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Chyba při čtení souboru ") + missing + QStringLiteral("\r\n") +
                                   QString::fromLocal8Bit(std::strerror(ENOENT)));
    }
    errno = EACCES;
    EXPECT_EQ(SysErrorText(), SysErrorText(EACCES));

    // A directory opens on this system but is no file.
    EXPECT_EQ(ReadFileToBuffer(dir.path(), buffer, 4, false), -1);
    EXPECT_THROW(ReadFileToBuffer(dir.path(), buffer, 4, true), Exception);
    // A negative length is refused rather than read.
    EXPECT_EQ(ReadFileToBuffer(path, buffer, -1, false), -1);
    EXPECT_THROW(ReadFileToBuffer(path, buffer, -1, true), Exception);
}

TEST(MyUtils, StrictAddressTextIsFourPlainDecimalPartsAndMasksRunUnbroken)
{
    const struct {
        const char* text;
        std::uint32_t addr;
    } good[] = {{"192.168.1.254", FromBytes(192, 168, 1, 254)}, {"0.0.0.0", 0}, {"255.255.255.255", 0xFFFFFFFF},
                {"10.0.100.9", FromBytes(10, 0, 100, 9)}};
    for (const auto& t : good) {
        std::uint32_t addr = 0x5A5A5A5A;
        EXPECT_TRUE(TryStrictStrToIP(QString::fromLatin1(t.text), addr)) << t.text;
        EXPECT_EQ(addr, t.addr) << t.text;
    }
    for (const char* bad : {"", "192.168.1", "10", "1.2.3.4.5", "1.2.3.4.", ".1.2.3", "1..2.3", "010.001.001.010",
                            "1.2.3.00", "0x0a.1.1.1", "1.2.3.256", "1.2.3.1000", "+1.2.3.4", "1.2.3.-4", " 1.2.3.4",
                            "1.2.3.4 ", "1.2.3.4 junk", "1.2.3.a", "1,2,3,4", "١.2.3.4"}) {
        std::uint32_t addr = 0x5A5A5A5A;
        EXPECT_FALSE(TryStrictStrToIP(QString::fromUtf8(bad), addr)) << bad;
        EXPECT_EQ(addr, 0x5A5A5A5Au) << bad;
    }

    for (const auto& m : {FromBytes(0, 0, 0, 0), FromBytes(255, 0, 0, 0), FromBytes(255, 255, 0, 0),
                          FromBytes(255, 255, 255, 0), FromBytes(255, 255, 255, 252), FromBytes(255, 255, 255, 255),
                          FromBytes(128, 0, 0, 0)})
        EXPECT_TRUE(IsContiguousMask(m)) << std::hex << m;
    for (const auto& m : {FromBytes(255, 0, 255, 0), FromBytes(0, 255, 255, 255), FromBytes(255, 255, 255, 1),
                          FromBytes(255, 255, 254, 255), FromBytes(0, 0, 0, 255), FromBytes(127, 0, 0, 0),
                          FromBytes(255, 255, 253, 0)})
        EXPECT_FALSE(IsContiguousMask(m)) << std::hex << m;
}
