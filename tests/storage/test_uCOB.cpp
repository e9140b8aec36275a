#include "storage/uCOB.h"

#include "platform/Exception.h"
#include "support/ExceptionText.h"

#include "SaveToBuffer.h"

#include <gtest/gtest.h>

#include <QtEndian>

namespace {

PMFSFile AddEntry(TCOBFileStorage& s, const QByteArray& fileName, const QByteArray& data)
{
    PMFSFile e = s.AddFile(-1);
    e->FileName = fileName;
    e->Data = data;
    return e;
}

// A directory record: name length, block size (2 bytes), offset (4 bytes),
// all little-endian, then the name.
QByteArray Record(const QByteArray& name, quint16 size, quint32 offset)
{
    char r[7] = {char(name.size())};
    qToLittleEndian(size, r + 1);
    qToLittleEndian(offset, r + 3);
    return QByteArray(r, 7) + name;
}

} // namespace

TEST(COBFileStorage, ImageLayoutAndReadingItBack)
{
    TCOBFileStorage s;
    qint64 n = 0;
    EXPECT_EQ(SaveToBuffer(s, &n), QByteArray("CoB1\0", 5));
    EXPECT_EQ(n, 5);

    AddEntry(s, "a.xml", "<a/>");
    s.SetParamValueByIndex(0, "content-type", "text/xml");
    AddEntry(s, "b", "");
    AddEntry(s, "c.txt", QByteArray(300, 'c'));
    const QByteArray headerA = "HTTP/1.1 200 OK\r\nContent-type: text/xml\r\n\r\n";
    const int headerSize = 5 + (7 + 5) + (7 + 1) + (7 + 5);
    const quint32 blockB = quint32(headerSize + headerA.size() + 4);
    const QByteArray expected = "CoB1" + Record("a.xml", quint16(headerA.size() + 4), headerSize)
        + Record("b", 0, blockB) + Record("c.txt", 300, blockB) + QByteArray(1, '\0') + headerA + "<a/>"
        + QByteArray(300, 'c');
    EXPECT_EQ(s.GetHeaderSize(), headerSize);
    EXPECT_EQ(SaveToBuffer(s, &n), expected);
    EXPECT_EQ(n, expected.size());

    // Reading gives the blocks back as data, header included.
    TCOBFileStorage r;
    ASSERT_TRUE(r.LoadFromString(expected));
    ASSERT_EQ(r.GetCount(), 3);
    EXPECT_EQ(r.GetFile(0)->FileName, "a.xml");
    EXPECT_EQ(r.GetFile(0)->Data, headerA + "<a/>");
    EXPECT_EQ(r.GetFile(2)->Data, QByteArray(300, 'c'));
}

TEST(COBFileStorage, OversizedBlocksAndNamesAreNotWritten)
{
    TCOBFileStorage s;
    AddEntry(s, "small", "s");
    AddEntry(s, "big", QByteArray(65535, 'b'));
    const QByteArray image = s.BuildImage();
    EXPECT_EQ(image.size(), s.GetHeaderSize() + 65536);
    // The header counts towards the block.
    s.SetParamValueByIndex(1, "content-type", "text/plain");
    EXPECT_EQ(s.BuildImage(), "");
    s.SetHttpHeader(1, "");
    s.GetFile(1)->Data += 'b';
    qint64 n = -1;
    EXPECT_EQ(SaveToBuffer(s, &n), "");
    EXPECT_EQ(n, 0);

    s.GetFile(1)->Data = QByteArray(255, 'n');
    s.GetFile(1)->FileName = QByteArray(255, 'n');
    EXPECT_EQ(s.BuildImage().mid(4 + 7 + 5, 8), QByteArray::fromHex("ff ff00 18010000") + 'n');
    for (const QByteArray& bad : {QByteArray(), QByteArray(256, 'n')}) {
        s.GetFile(1)->FileName = bad;
        EXPECT_TRUE(ExceptionText([&] { SaveToBuffer(s); }).contains("entry 1")) << bad.size();
    }
}

TEST(COBFileStorage, HttpHeaderFromParameters)
{
    TCOBFileStorage s;
    AddEntry(s, "index.htm", "<html/>");
    s.SetParamValueByIndex(0, "Content-Type", "  text/html||Cache-Control: no-cache ");
    EXPECT_EQ(s.GetHttpHeader(0), "HTTP/1.1 200 OK\r\nContent-type: text/html\r\nCache-Control: no-cache\r\n\r\n");
    s.SetHttpHeader(0, "  HTTP/1.1 200 OK\r\nContent-type: text/html \r\nX: y\r\n\r\n");
    EXPECT_EQ(s.ParamCountByIndex(0), 1);
    EXPECT_EQ(s.GetParamValueByIndex(0, "http-header"), "HTTP/1.1 200 OK||Content-type: text/html ||X: y");
    EXPECT_EQ(s.GetHttpHeader(0), "HTTP/1.1 200 OK\r\nContent-type: text/html \r\nX: y\r\n\r\n");
    EXPECT_EQ(s.GetContentType(0), "text/html");

    // The header wins over a bare content type, and a header that opens with
    // its content-type line has none that can be found.
    s.SetParamValueByIndex(0, "content-type", "text/plain");
    s.SetParamValueByIndex(0, "HTTP-Header", "Content-type: image/gif||Server: VYN");
    EXPECT_EQ(s.GetContentType(0), "");
    EXPECT_EQ(s.GetHttpHeader(0), "Content-type: image/gif\r\nServer: VYN\r\n\r\n");
    // A blank stored header is no header: the bare content type applies.
    s.SetParamValueByIndex(0, "http-header", " || ");
    EXPECT_EQ(s.GetHttpHeader(0), "HTTP/1.1 200 OK\r\nContent-type: text/plain\r\n\r\n");
    s.SetHttpHeader(0, " \r\n ");
    EXPECT_EQ(s.ParamCountByIndex(0), 0);
}

TEST(COBFileStorage, ReaderStaysInsideHostileImages)
{
    TCOBFileStorage s;
    AddEntry(s, "kept", "k");
    for (const QByteArray& bad : {QByteArray("CoB1"), QByteArray("CoB2\0", 5), QByteArray("cob1\0", 5)}) {
        EXPECT_FALSE(s.LoadFromString(bad));
        EXPECT_EQ(s.GetCount(), 1);
    }

    // Offsets and sizes pointing anywhere: the data is what lies inside the image.
    const quint32 total = 4 + 9 + 11 + 10 + 11 + 1 + 10;
    const QByteArray image = "CoB1" + Record("in", 2, 2) + Record("past", 100, 0)
        + Record("far", 10, 0xFFFFFFFFu) + Record("edge", 1, total) + QByteArray(1, '\0') + "0123456789";
    ASSERT_TRUE(s.LoadFromString(image));
    ASSERT_EQ(s.GetCount(), 4);
    EXPECT_EQ(s.GetFile(0)->Data + s.GetFile(2)->Data + s.GetFile(3)->Data, "B1");
    EXPECT_EQ(s.GetFile(1)->Data, image);

    // No terminator: the directory ends with the image.
    ASSERT_TRUE(s.LoadFromString("CoB1" + Record("x", 1, 4)));
    EXPECT_EQ(s.GetFile(0)->Data, QByteArray(1, '\x01'));

    // A record cut short keeps the entries before it.
    const QByteArray two = "CoB1" + Record("one", 0, 0) + Record("two", 0, 0);
    for (int cut = 1; cut < 7 + 3; ++cut) {
        EXPECT_FALSE(s.LoadFromString(two.left(two.size() - cut))) << cut;
        ASSERT_EQ(s.GetCount(), 1);
    }
    // A zero name length ends the directory, whatever follows.
    ASSERT_TRUE(s.LoadFromString("CoB1" + Record("one", 0, 0) + QByteArray(1, '\0') + Record("two", 0, 0)));
    EXPECT_EQ(s.GetCount(), 1);

    // Five entries point at one 40000-byte block: the first two fit within
    // the image's size plus the 64 KiB allowance, the third does not.
    QByteArray dir = "CoB1";
    for (char c = 'a'; c < 'f'; ++c)
        dir += Record(QByteArray(1, c), 40000, 4 + 5 * 8 + 1);
    EXPECT_FALSE(s.LoadFromString(dir + QByteArray(1, '\0') + QByteArray(40000, 'x')));
    ASSERT_EQ(s.GetCount(), 2);
    EXPECT_EQ(s.GetFile(1)->Data, QByteArray(40000, 'x'));
}
