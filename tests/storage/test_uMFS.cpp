#include "storage/uMFS.h"

#include "platform/Exception.h"
#include "support/ExceptionText.h"

#include "SaveToBuffer.h"
#include "platform/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QByteArray Sep("\r\n<[--$DATA$--]>\r\n");
const TDateTime Stamp = datetimedays::Encode(QDate(2024, 3, 5), QTime(14, 7, 9));

} // namespace

TEST(MultiFileStorage, EntriesLookupsAndParameters)
{
    TMultiFileStorage s;
    EXPECT_EQ(s.InsertFile(7), 0); // past the end: appended
    s.AddParamValueByIndex(0, "mode", "kept");
    EXPECT_EQ(s.InsertFile(0), 0);
    EXPECT_EQ(s.GetFile(0)->Name, "2");
    EXPECT_EQ(s.GetParamValueByIndex(1, "MODE"), "kept");
    s.AddFile(-1)->FileName = "Index.htm";
    EXPECT_EQ(s.IndexOfFileName("index.HTM"), 2);
    EXPECT_EQ(s.IndexOfFileName(" index.htm"), -1);
    s.AddParamValueByIndex(1, "Type", " Image ");
    EXPECT_EQ(s.FindByParam("TYPE", "image", true), s.GetFile(1));
    s.SetGlobalParamValue("  Key  ", " v1 ");
    s.SetGlobalParamValue("key", "v2");
    ASSERT_EQ(s.GlobalParamCount(), 1);
    EXPECT_EQ(s.GetGlobalParam(0)->Name + "=" + s.GetGlobalParam(0)->Value, "Key=v2");
}

TEST(MultiFileStorage, WriterLayout)
{
    TMultiFileStorage s;
    qint64 n = 0;
    EXPECT_EQ(SaveToBuffer(s, &n), Sep);
    EXPECT_EQ(n, 18);

    PMFSFile e = s.AddFile(-1);
    e->Name = "a";
    e->Data = "xyz";
    e->FileTime = Stamp;
    s.SetGlobalParamValue("Site", "VYN");
    PMFSFile f = s.AddFile(-1);
    f->Name = "b";
    f->FileName = "b.bin";
    f->Data = "12";
    f->FileTime = datetimedays::Encode(QDate(2001, 2, 3), QTime(0, 0));
    s.AddParamValue(f, "datacompression", "zip");
    const QByteArray two = "Site=VYN\r\n\r\n"
                           "[a]\r\nFileName=\r\nDataPosition=0\r\nDataSize=3\r\nFileSize=3\r\n"
                           "FileTime=2024-03-05 14:07:09\r\nDataCompression=NONE\r\n\r\n"
                           "[b]\r\nFileName=b.bin\r\nDataPosition=3\r\nDataSize=2\r\nFileSize=2\r\n"
                           "FileTime=2001-02-03\r\ndatacompression=zip\r\n\r\n"
        + Sep + "xyz12";
    EXPECT_EQ(SaveToBuffer(s, &n), two);
    EXPECT_EQ(n, two.size());

    // The compressed entry is refused when read back, and what was read stays.
    TMultiFileStorage r;
    EXPECT_EQ(ExceptionText([&] { r.LoadFromString(two); }), "Unknown compression : zip");
    EXPECT_EQ(r.GetCount(), 2);
    EXPECT_EQ(r.GetDataByIndex(0), "xyz");
}

TEST(MultiFileStorage, RoundTripKeepsEveryStoredField)
{
    TMultiFileStorage s;
    s.SetGlobalParamValue("empty", "");
    for (const QByteArray& data : {QByteArray("\0\r\n", 3) + Sep + QByteArray(300, '\xFF'), QByteArray(), QByteArray("z")}) {
        PMFSFile e = s.AddFile(-1);
        e->Name = " Section [" + e->Name + "] ";
        e->Data = data;
        s.AddParamValue(e, "content-type", " text/plain; a=b ");
    }
    const QByteArray text = SaveToBuffer(s);
    TMultiFileStorage r;
    r.SetGlobalParamValue("stale", "x");
    ASSERT_TRUE(r.LoadFromString(text));
    EXPECT_EQ(r.GetLoadMap(), "[ Section [1] ],0,321|[ Section [2] ]|[ Section [3] ],321,1");
    EXPECT_EQ(SaveToBuffer(r), text);
}

TEST(MultiFileStorage, ReaderToleratesLooseAndHostileHeaders)
{
    TMultiFileStorage s;
    s.AddFile(-1);
    EXPECT_FALSE(s.LoadFromString("[a]\r\nDataPosition=0\r\nDataSize=1\r\n")); // no separator
    EXPECT_EQ(s.GetCount(), 0);

    const QByteArray header = "  Global  = g \r"
                              "no equals sign\n"
                              "  [first]  \n"
                              "FileName =spaced key\r\n"
                              "filename=real.txt\r\n"
                              "FileTime=not a time\r\n"
                              "FileSize=999\r\n"
                              "DataCompression= None \r\n"
                              "Extra=1\r\nEXTRA=2\r\n"
                              "DataSize=4\r\nDataPosition=$2\r\n"
                              "DataPosition=0\r\n"
                              "[\n"
                              "DataPosition=0\nDataSize=0\n"
                              "[third\n"
                              "DataPosition=-1\nDataSize=3\n"
                              "[fourth]\n"
                              "DataPosition=8junk\nDataSize=100\n"
                              "[fifth]\n"
                              "DataPosition=999\nDataSize=1\n";
    ASSERT_TRUE(s.LoadFromString(header + Sep + "0123456789"));
    EXPECT_EQ(s.GetGlobalParamValue("global"), " g ");
    ASSERT_EQ(s.GetCount(), 5);
    EXPECT_EQ(s.GetFile(0)->FileName, "real.txt");
    EXPECT_EQ(s.GetParamValueByIndex(0, "FileName "), "spaced key");
    EXPECT_EQ(s.GetParamValueByIndex(0, "extra"), "2");
    EXPECT_EQ(s.ParamCountByIndex(0), 2);
    EXPECT_EQ(s.GetFile(0)->Data, "2345");
    EXPECT_EQ(s.GetFile(3)->Data, "89"); // cut short by the end of the text
    EXPECT_EQ(s.GetLoadMap(), "[first],2,4|[]|[thir]|[fourth],8,100|[fifth]");

    // Entries sharing one data area: two stay within the allowance, a
    // third is refused and nothing of the text is kept.
    QByteArray shared;
    for (int i = 0; i < 3; ++i)
        shared += "[e" + QByteArray::number(i) + "]\r\nDataPosition=0\r\nDataSize=40000\r\n";
    EXPECT_TRUE(s.LoadFromString(shared.left(shared.size() / 3 * 2) + Sep + QByteArray(40000, 'x')));
    EXPECT_EQ(s.GetCount(), 2);
    EXPECT_THROW(s.LoadFromString(shared + Sep + QByteArray(40000, 'x')), Exception);
    EXPECT_EQ(s.GetCount(), 0);
}

TEST(MultiFileStorage, WriterRefusesTextsThatWouldNotReadBack)
{
    const std::pair<std::function<void(TMultiFileStorage&)>, const char*> table[] = {
        {[](auto& s) { s.GetFile(0)->FileName = "a\r\n[b]"; }, "line break"},
        {[](auto& s) { s.AddParamValueByIndex(0, "note", "two\rlines"); }, "line break"},
        {[](auto& s) { s.AddParamValueByIndex(0, "a=b", "c"); }, "\"=\""},
        {[](auto& s) { s.AddParamValueByIndex(0, "filesize", "4"); }, "field of the entry"},
        {[](auto& s) { s.GetFile(0)->FileTime = 1e12; }, "years 1 to 9999"},
    };
    for (const auto& [fill, why] : table) {
        TMultiFileStorage s;
        s.AddFile(-1)->Data = "data";
        fill(s);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        EXPECT_TRUE(ExceptionText([&] { s.SaveToStream(buffer); }).contains(why)) << why;
        EXPECT_EQ(buffer.size(), 0) << why;
    }
}

TEST(MultiFileStorage, DiskImportAndExport)
{
    QTemporaryDir dir;
    const QString src = dir.filePath("page.htm");
    writeFile(src, QByteArray("<html>\0</html>", 14));
    QFile f(src);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.setFileTime(QDateTime(QDate(2020, 6, 7), QTime(8, 9, 10), Qt::UTC),
                                                               QFileDevice::FileModificationTime));
    f.close();
    writeFile(dir.filePath("limit.bin"), QByteArray(16 * 1024 * 1024, 'a'));
    writeFile(dir.filePath("over.bin"), QByteArray(16 * 1024 * 1024 + 1, 'a'));
    TMultiFileStorage s;
    EXPECT_EQ(s.AddFileFromDisk(dir.filePath("limit.bin"), "l", -1), 0);
    EXPECT_EQ(s.AddFileFromDisk(dir.filePath("over.bin"), "o", -1), -1);
    EXPECT_EQ(s.AddFileFromDisk(dir.filePath("missing"), "m", -1), -1);
    PMFSFile e = s.AddFileFromDiskP(dir.path() + "/./page.htm", "Main", 0);
    ASSERT_EQ(s.GetCount(), 2);
    EXPECT_EQ(e->FileName + "|" + e->Name, "page.htm|Main");
    EXPECT_EQ(e->OriginalPath, QFile::encodeName(QDir::cleanPath(QFileInfo(src).absoluteFilePath())));
    EXPECT_EQ(e->Data, QByteArray("<html>\0</html>", 14));
    EXPECT_EQ(*datetimedays::FormatMfs(e->FileTime), "2020-06-07 08:09:10");

    // Exporting: the question decides whether an existing file is replaced.
    const QString out = dir.filePath("out.htm");
    writeFile(out, "keep");
    QString asked;
    for (const int answer : {7, 6}) {
        s.OnOverwriteQuery = [&](const QString& text, const QString& caption, unsigned flags) {
            asked = caption + "|" + text + "|" + QString::number(flags);
            return answer;
        };
        EXPECT_EQ(s.SaveFileTo(e, out, true), answer == 6);
        EXPECT_EQ(readFile(out), answer == 6 ? e->Data : "keep");
    }
    EXPECT_EQ(asked, "Overwrite existing file|Overwrite file " + out + "?|36");
}
