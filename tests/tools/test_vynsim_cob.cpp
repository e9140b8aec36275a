// The simulated device's reader of uploaded CoB1 images.
#include "CobBytes.h"
#include "CobReader.h"
#include "Device.h"

#include <gtest/gtest.h>

using namespace vynsim;

TEST(CobReader, ReadsTheLayoutOfTheFormat)
{
    const Bytes one = CobBytes({{"postsoap.xml", std::string(1000, 'x')}});
    ASSERT_EQ(one.size(), 1024u);
    // Name length, size E8 03, offset 24.
    EXPECT_EQ(Bytes(one.begin() + 4, one.begin() + 11), (Bytes{12, 0xE8, 0x03, 0x18, 0x00, 0x00, 0x00}));
    const CobImage two = ReadCob1(CobBytes({{"a.htm", "HTTP/1.1 200 OK\r\n\r\n<a/>"}, {"postsoap.xml", "doc"}}));
    ASSERT_TRUE(two.ok) << two.error;
    ASSERT_EQ(two.entries.size(), 2u);
    EXPECT_EQ(two.entries[1].name, "postsoap.xml");
    EXPECT_EQ(two.entries[1].block, (Bytes{'d', 'o', 'c'}));
    EXPECT_TRUE(ReadCob1(Bytes{'C', 'o', 'B', '1', 0}).ok);
    EXPECT_TRUE(ReadCob1(CobBytes({{"postsoap.xml", ""}})).ok);
}

TEST(CobReader, RefusesWhatDoesNotAddUp)
{
    const Bytes good = CobBytes({{"postsoap.xml", "hello"}});
    Bytes magic = good, longer = good, off = good, early = good, big = good;
    magic[3] = '2';
    longer.push_back('!');
    off[7] += 1;
    off.push_back('!');
    early[7] -= 1;
    big[5] = big[6] = 0xFF;
    const struct
    {
        const char* what;
        Bytes image;
    } rows[] = {
        {"empty", {}},
        {"magic only", {'C', 'o', 'B', '1'}},
        {"other magic", magic},
        {"directory cut in its first entry", Bytes(good.begin(), good.begin() + 10)},
        {"directory without its closing zero", Bytes(good.begin(), good.begin() + 4 + 7 + 12)},
        {"block cut short", Bytes(good.begin(), good.end() - 1)},
        {"bytes behind the last block", longer},
        {"offset one byte late", off},
        {"offset one byte early", early},
        {"oversized block size", big},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const CobImage r = ReadCob1(row.image);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.empty());
    }
}

TEST(CobReader, DeviceKeepsOnlyTheSoapEntryOfAGoodImage)
{
    Options options;
    Device device(options, Mac{}, NetSettings{0x0200D50A, 8, 0});
    EXPECT_EQ(device.StoreImage(CobBytes({{"index.htm", "x"}, {"postsoap.xml", "<s/>"}})), "");
    ASSERT_TRUE(device.SoapDocument());
    EXPECT_EQ(*device.SoapDocument(), (Bytes{'<', 's', '/', '>'}));
    EXPECT_TRUE(device.Facts().soapAvailable);
    // A refused image leaves what was stored; one without the entry takes it away.
    EXPECT_NE(device.StoreImage(Bytes{'C', 'o', 'B'}), "");
    EXPECT_TRUE(device.SoapDocument());
    EXPECT_EQ(device.StoreImage(CobBytes({})), "");
    EXPECT_FALSE(device.SoapDocument());
    EXPECT_FALSE(device.Facts().soapAvailable);
}
