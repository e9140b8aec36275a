// The simulated device's reader of uploaded CoB1 images.
#include "CobBytes.h"
#include "CobReader.h"
#include "Device.h"

#include <gtest/gtest.h>

using namespace vynsim;

namespace {

Bytes Image(const std::vector<std::pair<std::string, std::string>>& files)
{
    return CobBytes(files);
}

} // namespace

TEST(CobReader, ReadsTheLayoutOfTheFormat)
{
    const Bytes one = Image({{"postsoap.xml", std::string(1000, 'x')}});
    ASSERT_EQ(one.size(), 1024u);
    EXPECT_EQ(one[4], 12);                               // name length
    EXPECT_EQ(Bytes(one.begin() + 5, one.begin() + 11), // size E8 03, offset 24
              (Bytes{0xE8, 0x03, 0x18, 0x00, 0x00, 0x00}));
    const CobImage r = ReadCob1(one);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].name, "postsoap.xml");
    EXPECT_EQ(r.entries[0].block, Bytes(1000, 'x'));

    const CobImage two = ReadCob1(Image({{"a.htm", "HTTP/1.1 200 OK\r\n\r\n<a/>"}, {"postsoap.xml", "doc"}}));
    ASSERT_TRUE(two.ok) << two.error;
    ASSERT_EQ(two.entries.size(), 2u);
    EXPECT_EQ(std::string(two.entries[1].block.begin(), two.entries[1].block.end()), "doc");

    const CobImage empty = ReadCob1(Bytes{'C', 'o', 'B', '1', 0});
    EXPECT_TRUE(empty.ok);
    EXPECT_TRUE(empty.entries.empty());

    const CobImage emptyBlock = ReadCob1(Image({{"postsoap.xml", ""}}));
    EXPECT_TRUE(emptyBlock.ok);
}

TEST(CobReader, RefusesWhatDoesNotAddUp)
{
    const Bytes good = Image({{"postsoap.xml", "hello"}});
    auto refused = [](const Bytes& b) { return !ReadCob1(b).ok && !ReadCob1(b).error.empty(); };

    EXPECT_TRUE(refused(Bytes{}));
    EXPECT_TRUE(refused(Bytes{'C', 'o', 'B', '1'}));
    Bytes magic = good;
    magic[3] = '2';
    EXPECT_TRUE(refused(magic));
    // Directory cut inside its first entry.
    EXPECT_TRUE(refused(Bytes(good.begin(), good.begin() + 10)));
    // Directory without its closing zero byte.
    Bytes noEnd(good.begin(), good.begin() + 4 + 7 + 12);
    EXPECT_TRUE(refused(noEnd));
    // Block cut short, block too long, bytes behind the last block.
    EXPECT_TRUE(refused(Bytes(good.begin(), good.end() - 1)));
    Bytes longer = good;
    longer.push_back('!');
    EXPECT_TRUE(refused(longer));
    // Offset pointing one byte off.
    Bytes off = good;
    off[7] += 1;
    off.push_back('!');
    EXPECT_TRUE(refused(off));
    // An oversized block size.
    Bytes big = good;
    big[5] = 0xFF;
    big[6] = 0xFF;
    EXPECT_TRUE(refused(big));
}

TEST(CobReader, DeviceKeepsOnlyTheSoapEntryOfAGoodImage)
{
    Options options;
    Device device(options, Mac{}, NetSettings{0x0200D50A, 8, 0});
    EXPECT_EQ(device.StoreImage(Image({{"index.htm", "x"}, {"postsoap.xml", "<s/>"}})), "");
    ASSERT_TRUE(device.SoapDocument());
    EXPECT_EQ(*device.SoapDocument(), (Bytes{'<', 's', '/', '>'}));
    EXPECT_TRUE(device.Facts().soapAvailable);

    // A refused image leaves what was stored.
    EXPECT_NE(device.StoreImage(Bytes{'C', 'o', 'B'}), "");
    EXPECT_TRUE(device.SoapDocument());

    // An image without the entry takes the document away.
    EXPECT_EQ(device.StoreImage(Image({})), "");
    EXPECT_FALSE(device.SoapDocument());
    EXPECT_FALSE(device.Facts().soapAvailable);
}
