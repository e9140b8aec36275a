#include "storage/uCOB.h"

#include "platform/Exception.h"

#include "SaveToBuffer.h"

#include <gtest/gtest.h>

#include <QBuffer>

namespace {

PMFSFile AddEntry(TCOBFileStorage& s, const QByteArray& fileName, const QByteArray& data)
{
    PMFSFile e = s.AddFile(-1);
    e->FileName = fileName;
    e->Data = data;
    return e;
}

// A directory record as the writer lays it out.
QByteArray Record(const QByteArray& name, quint16 size, quint32 offset)
{
    QByteArray r(1, char(name.size()));
    r += char(size & 0xFF);
    r += char(size >> 8);
    for (int i = 0; i < 4; ++i)
        r += char((offset >> (8 * i)) & 0xFF);
    return r + name;
}

} // namespace

TEST(COBFileStorage, LayoutOfTheSoapDocumentImage)
{
    TCOBFileStorage s;
    QByteArray data(1000, 'x');
    data[0] = '<';
    data[999] = '>';
    AddEntry(s, "postsoap.xml", data);
    s.SetHttpHeader(0, "");
    EXPECT_EQ(s.GetHeaderSize(), 24);

    const QByteArray expected = QByteArray("CoB1\x0C\xE8\x03\x18\x00\x00\x00", 11) + "postsoap.xml"
        + QByteArray(1, '\0') + data;
    qint64 n = 0;
    EXPECT_EQ(SaveToBuffer(s, &n), expected);
    EXPECT_EQ(n, 1024);
}

TEST(COBFileStorage, EmptyStorageAndChainedBlocks)
{
    TCOBFileStorage s;
    qint64 n = 0;
    EXPECT_EQ(SaveToBuffer(s, &n), QByteArray("CoB1\0", 5));
    EXPECT_EQ(n, 5);

    AddEntry(s, "a.xml", "<a/>");
    s.SetParamValueByIndex(0, "content-type", "text/xml");
    AddEntry(s, "b", "");
    AddEntry(s, "c.txt", "ccc");
    const QByteArray headerA = "HTTP/1.1 200 OK\r\nContent-type: text/xml\r\n\r\n";
    const int headerSize = 5 + (7 + 5) + (7 + 1) + (7 + 5);
    const QByteArray expected = "CoB1" + Record("a.xml", quint16(headerA.size() + 4), headerSize)
        + Record("b", 0, quint32(headerSize + headerA.size() + 4))
        + Record("c.txt", 3, quint32(headerSize + headerA.size() + 4)) + QByteArray(1, '\0') + headerA
        + "<a/>" + "ccc";
    EXPECT_EQ(s.GetHeaderSize(), headerSize);
    EXPECT_EQ(SaveToBuffer(s), expected);

    // Reading gives the blocks back as data, header included.
    TCOBFileStorage r;
    ASSERT_TRUE(r.LoadFromString(expected));
    ASSERT_EQ(r.GetCount(), 3);
    EXPECT_EQ(r.GetFile(0)->FileName, "a.xml");
    EXPECT_EQ(r.GetFile(0)->Data, headerA + "<a/>");
    EXPECT_EQ(r.GetFile(2)->Data, "ccc");
    EXPECT_EQ(r.GetFile(2)->Name, "3");
}

TEST(COBFileStorage, BlockSizeLimit)
{
    TCOBFileStorage s;
    AddEntry(s, "small", "s");
    AddEntry(s, "big", QByteArray(65535, 'b'));
    const QByteArray image = s.BuildImage();
    EXPECT_EQ(image.size(), s.GetHeaderSize() + 65536);
    TCOBFileStorage r;
    ASSERT_TRUE(r.LoadFromString(image));
    EXPECT_EQ(r.GetFile(1)->Data, QByteArray(65535, 'b'));

    // The header counts towards the block.
    s.SetParamValueByIndex(1, "content-type", "text/plain");
    EXPECT_EQ(s.BuildImage(), "");

    s.SetHttpHeader(1, "");
    s.GetFile(1)->Data += 'b';
    EXPECT_EQ(s.BuildImage(), "");
}

TEST(COBFileStorage, FileNamesMustFitTheDirectory)
{
    TCOBFileStorage s;
    const QByteArray longest(255, 'n');
    AddEntry(s, longest, "data");
    TCOBFileStorage r;
    ASSERT_TRUE(r.LoadFromString(s.BuildImage()));
    EXPECT_EQ(r.GetFile(0)->FileName, longest);

    for (const QByteArray& bad : {QByteArray(), QByteArray(256, 'n')}) {
        TCOBFileStorage t;
        AddEntry(t, "first", "1");
        AddEntry(t, bad, "2");
        AddEntry(t, "third", "3");
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        try {
            t.SaveToStream(buffer);
            ADD_FAILURE() << "accepted a name of " << bad.size() << " bytes";
        } catch (const Exception& ex) {
            EXPECT_TRUE(ex.Message().contains("entry 1")) << ex.what();
        }
        EXPECT_EQ(buffer.size(), 0);
    }
}

TEST(COBFileStorage, HttpHeaderFromParameters)
{
    TCOBFileStorage s;
    AddEntry(s, "index.htm", "<html/>");

    s.SetParamValueByIndex(0, "Content-Type", "  text/html||Cache-Control: no-cache ");
    EXPECT_EQ(s.GetContentType(0), "text/html||Cache-Control: no-cache");
    EXPECT_EQ(s.GetHttpHeader(0), "HTTP/1.1 200 OK\r\nContent-type: text/html\r\nCache-Control: no-cache\r\n\r\n");

    s.SetHttpHeader(0, "  HTTP/1.1 200 OK\r\nContent-type: text/html \r\nX: y\r\n\r\n");
    EXPECT_EQ(s.GetParamValueByIndex(0, "http-header"), "HTTP/1.1 200 OK||Content-type: text/html ||X: y");
    EXPECT_EQ(s.GetHttpHeader(0), "HTTP/1.1 200 OK\r\nContent-type: text/html \r\nX: y\r\n\r\n");
    EXPECT_EQ(s.GetContentType(0), "text/html");

    // The header wins over a bare content type, and a header that opens with
    // its content-type line has none that can be found.
    s.SetParamValueByIndex(0, "content-type", "text/plain");
    s.SetParamValueByIndex(0, "HTTP-Header", "Content-type: image/gif||Server: VYN");
    EXPECT_EQ(s.GetContentType(0), "");
    EXPECT_EQ(s.GetHttpHeader(0), "Content-type: image/gif\r\nServer: VYN\r\n\r\n");
    s.SetParamValueByIndex(0, "http-header", "HTTP/1.1 200 OK||Content-type:image/gif");
    EXPECT_EQ(s.GetContentType(0), "image/gif");

    s.SetParamValueByIndex(0, "content-type", "text/plain");
    s.SetHttpHeader(0, " \r\n ");
    EXPECT_EQ(s.ParamCountByIndex(0), 0);

    // A blank stored header is no header: the bare content type applies.
    for (const char* blank : {"   ", " || "}) {
        s.SetParamValueByIndex(0, "http-header", blank);
        s.SetParamValueByIndex(0, "content-type", "text/xml");
        EXPECT_EQ(s.GetContentType(0), "text/xml");
        EXPECT_EQ(s.GetHttpHeader(0), "HTTP/1.1 200 OK\r\nContent-type: text/xml\r\n\r\n") << blank;
    }
}

TEST(COBFileStorage, ReaderRejectsWhatIsNoImage)
{
    TCOBFileStorage s;
    AddEntry(s, "kept", "k");
    s.SetGlobalParamValue("g", "1");
    for (const QByteArray& bad : {QByteArray("CoB1"), QByteArray("CoB2\0", 5), QByteArray("cob1\0", 5)}) {
        EXPECT_FALSE(s.LoadFromString(bad));
        EXPECT_EQ(s.GetCount(), 1);
        EXPECT_EQ(s.GlobalParamCount(), 1);
    }
    EXPECT_TRUE(s.LoadFromString(QByteArray("CoB1\0", 5)));
    EXPECT_EQ(s.GetCount(), 0);
    EXPECT_EQ(s.GlobalParamCount(), 0);
}

TEST(COBFileStorage, ReaderStaysInsideHostileImages)
{
    const QByteArray data = "0123456789";
    // Offsets and sizes pointing anywhere: the data is what lies inside the image.
    const quint32 total = 4 + 9 + 11 + 10 + 11 + 1 + 10;
    const QByteArray image = "CoB1" + Record("in", 2, 2) + Record("past", 100, 0)
        + Record("far", 10, 0xFFFFFFFFu) + Record("edge", 1, total) + QByteArray(1, '\0') + data;
    ASSERT_EQ(image.size(), qsizetype(total));

    TCOBFileStorage s;
    ASSERT_TRUE(s.LoadFromString(image));
    ASSERT_EQ(s.GetCount(), 4);
    EXPECT_EQ(s.GetFile(0)->Data, "B1");
    EXPECT_EQ(s.GetFile(1)->Data, image);
    EXPECT_EQ(s.GetFile(3)->Data, ""); // offset at the very end

    // No terminator: the directory ends with the image.
    ASSERT_TRUE(s.LoadFromString("CoB1" + Record("x", 1, 4)));
    EXPECT_EQ(s.GetFile(0)->Data, QByteArray(1, '\x01'));

    // A record cut short keeps the entries before it.
    const QByteArray two = "CoB1" + Record("one", 0, 0) + Record("two", 0, 0);
    for (int cut = 1; cut < 7 + 3; ++cut) {
        EXPECT_FALSE(s.LoadFromString(two.left(two.size() - cut))) << cut;
        ASSERT_EQ(s.GetCount(), 1);
        EXPECT_EQ(s.GetFile(0)->FileName, "one");
    }

    // A zero name length ends the directory, whatever follows.
    ASSERT_TRUE(s.LoadFromString("CoB1" + Record("one", 0, 0) + QByteArray(1, '\0') + Record("two", 0, 0)));
    EXPECT_EQ(s.GetCount(), 1);
}

TEST(COBFileStorage, EntriesSharingOneBlockCannotMultiplyTheImage)
{
    // Five entries point at one 40000-byte block: the first two fit within
    // the image's size plus the 64 KiB allowance, the third does not.
    QByteArray dir = "CoB1";
    for (char c = 'a'; c < 'f'; ++c)
        dir += Record(QByteArray(1, c), 40000, 4 + 5 * 8 + 1);
    const QByteArray image = dir + QByteArray(1, '\0') + QByteArray(40000, 'x');
    TCOBFileStorage s;
    EXPECT_FALSE(s.LoadFromString(image));
    ASSERT_EQ(s.GetCount(), 2);
    EXPECT_EQ(s.GetFile(1)->Data, QByteArray(40000, 'x'));
    EXPECT_LE(s.TotalDataSize(), image.size() + TCOBFileStorage::SharedDataAllowance);
}
