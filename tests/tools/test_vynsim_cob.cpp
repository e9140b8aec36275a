// The simulated device's reader of uploaded CoB1 images, against images the
// program's writer makes; a good single-entry image is proven by the save road.
#include "CobReader.h"
#include "Device.h"
#include "storage/uCOB.h"

#include <gtest/gtest.h>

using namespace vynsim;

namespace {

Bytes Image(const std::vector<std::pair<QByteArray, QByteArray>>& files)
{
    TCOBFileStorage cob;
    for (const auto& [name, data] : files) {
        const PMFSFile file = cob.AddFile(-1);
        file->FileName = name;
        file->Data = data;
        cob.SetHttpHeader(cob.GetCount() - 1, "");
    }
    const QByteArray image = cob.BuildImage();
    return Bytes(image.begin(), image.end());
}

} // namespace

TEST(CobReader, ReadsEveryEntryAndRefusesWhatDoesNotAddUp)
{
    const CobImage two = ReadCob1(Image({{"a.htm", "<a/>"}, {"postsoap.xml", "doc"}}));
    ASSERT_TRUE(two.ok) << two.error;
    ASSERT_EQ(two.entries.size(), 2u);
    EXPECT_EQ(two.entries[1].name, "postsoap.xml");
    EXPECT_EQ(two.entries[1].block, (Bytes{'d', 'o', 'c'}));
    EXPECT_TRUE(ReadCob1(Image({})).ok);
    EXPECT_TRUE(ReadCob1(Image({{"postsoap.xml", ""}})).ok);

    // The directory: "CoB1", per entry name length, size LE16, offset LE32
    // and name, then a zero byte.
    const Bytes good = Image({{"postsoap.xml", "hello"}});
    ASSERT_EQ(Bytes(good.begin() + 4, good.begin() + 11), (Bytes{12, 5, 0, 24, 0, 0, 0}));
    Bytes magic = good, longer = good, late = good, early = good, big = good;
    magic[3] = '2';
    longer.push_back('!');
    late[7] += 1;
    late.push_back('!');
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
        {"offset one byte late", late},
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
    EXPECT_EQ(device.StoreImage(Image({{"index.htm", "x"}, {"postsoap.xml", "<s/>"}})), "");
    ASSERT_TRUE(device.SoapDocument());
    EXPECT_EQ(*device.SoapDocument(), (Bytes{'<', 's', '/', '>'}));
    EXPECT_TRUE(device.Facts().soapAvailable);
    // A refused image leaves what was stored; one without the entry takes it away.
    EXPECT_NE(device.StoreImage(Bytes{'C', 'o', 'B'}), "");
    EXPECT_TRUE(device.SoapDocument());
    EXPECT_EQ(device.StoreImage(Image({})), "");
    EXPECT_FALSE(device.SoapDocument());
    EXPECT_FALSE(device.Facts().soapAvailable);
}
