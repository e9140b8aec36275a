#include "storage/uMFS.h"

#include "platform/Exception.h"

#include "SaveToBuffer.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QByteArray Sep("\r\n<[--$DATA$--]>\r\n");
const TDateTime Stamp = datetimedays::Encode(QDate(2024, 3, 5), QTime(14, 7, 9));

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

TEST(MultiFileStorage, EntriesAreInsertedAtTheirPlaceAndDeleted)
{
    TMultiFileStorage s;
    EXPECT_EQ(s.InsertFile(-1), 0);
    s.AddParamValueByIndex(0, "p", "first");
    EXPECT_EQ(s.InsertFile(7), 1); // past the end: appended
    s.AddParamValueByIndex(1, "p", "second");

    EXPECT_EQ(s.InsertFile(0), 0);
    ASSERT_EQ(s.GetCount(), 3);
    EXPECT_EQ(s.GetFile(0)->Name, "3");
    EXPECT_EQ(s.ParamCountByIndex(0), 0);
    EXPECT_EQ(s.GetFile(0)->FileName, "");
    EXPECT_LT(std::abs(s.GetFile(0)->FileTime - datetimedays::Now()), 1.0 / 24);
    EXPECT_EQ(s.GetParamValueByIndex(1, "p"), "first");
    EXPECT_EQ(s.GetParamValueByIndex(2, "p"), "second");

    EXPECT_EQ(s.GetFile(3), nullptr);
    EXPECT_EQ(s.GetFile(-1), nullptr);
    s.Delete(3);
    s.Delete(-1);
    EXPECT_EQ(s.GetCount(), 3);
    s.Delete(1);
    EXPECT_EQ(s.GetCount(), 2);
    EXPECT_EQ(s.GetParamValueByIndex(1, "p"), "second");

    TMFSFile record;
    record.FileName = "x.txt";
    s.SetFile(1, &record);
    s.SetFile(2, &record);
    s.SetFile(0, nullptr);
    EXPECT_EQ(s.GetFile(1)->FileName, "x.txt");
    EXPECT_EQ(s.GetFile(0)->Name, "3");

    s.SetGlobalParamValue("g", "1");
    s.Clear();
    EXPECT_EQ(s.GetCount(), 0);
    EXPECT_EQ(s.GlobalParamCount(), 0);
}

TEST(MultiFileStorage, NilEntriesAndBadIndexesDoNothing)
{
    TMultiFileStorage s;
    s.SetDataByIndex(0, "x");
    s.SetParamValueByIndex(0, "a", "b");
    s.DeleteParamByIndex(0, 0);
    s.SetGlobalParam(0, {"a", "b"});
    EXPECT_EQ(s.GetDataByIndex(0), "");
    EXPECT_EQ(s.ParamCountByIndex(0), -1);
    EXPECT_EQ(s.AddParamValueByIndex(0, "a", "b"), nullptr);
    EXPECT_EQ(s.GetParamValueByIndex(0, "a"), "");
    EXPECT_EQ(s.AddFileFromDiskP("/nonexistent/file", "n", -1), nullptr);
    EXPECT_EQ(s.GetCount() + s.GlobalParamCount(), 0);

    s.SetDataByIndex(s.InsertFile(-1), QByteArray("a\0b", 3));
    s.SetDataByIndex(s.InsertFile(-1), "cd");
    EXPECT_EQ(s.GetDataByIndex(0), QByteArray("a\0b", 3));
    EXPECT_EQ(s.TotalDataSize(), 5);
}

TEST(MultiFileStorage, LookupsFollowTheirComparisonRules)
{
    TMultiFileStorage s;
    for (const char* name : {"Index.htm", "logo.gif", "INDEX.HTM"}) {
        PMFSFile e = s.AddFile(-1);
        e->FileName = name;
        e->Name = QByteArray("Sec_") + name;
    }
    EXPECT_EQ(s.IndexOfFileName("index.HTM"), 0);
    EXPECT_EQ(s.IndexOfFileName(" index.htm"), -1);
    EXPECT_EQ(s.IndexOfName("sec_LOGO.gif"), 1);
    EXPECT_EQ(s.FindFileName("LOGO.GIF"), s.GetFile(1));
    EXPECT_EQ(s.FindName("none"), nullptr);
    EXPECT_EQ(s.IndexOfFile(s.GetFile(2)), 2);
    TMFSFile foreign;
    EXPECT_EQ(s.IndexOfFile(&foreign), -1);

    s.AddParamValueByIndex(1, "Type", " Image ");
    s.AddParamValueByIndex(2, "type", "image");
    EXPECT_EQ(s.FindByParam("TYPE", "image", false), s.GetFile(2));
    EXPECT_EQ(s.FindByParam("type", "IMAGE", true), s.GetFile(1));
    EXPECT_EQ(s.FindByParam("type", "IMAGE", false), nullptr);
    EXPECT_EQ(s.FindByParam("kind", "image", true), nullptr);
}

TEST(MultiFileStorage, ParametersMatchByNameWithoutRegardToCase)
{
    TMultiFileStorage s;
    PMFSFile e = s.AddFile(-1);
    s.AddParamValue(e, "Mode", "a");
    s.AddParamValue(e, "MODE", "b"); // no duplicate check
    EXPECT_EQ(s.GetParamValue(e, "mode"), "a");
    EXPECT_EQ(s.GetParamValue(e, "mode "), "");
    s.SetParamValue(e, "mODE", "c");
    EXPECT_EQ(s.GetParam(e, 0)->Name + "=" + s.GetParam(e, 0)->Value, "Mode=c");
    s.SetParamValue(e, "New", "n");
    EXPECT_EQ(s.GetParam(e, 2)->Name, "New");
    s.DeleteParamByName(e, "mode");
    EXPECT_EQ(s.GetParamValue(e, "mode"), "b");
    s.DeleteParam(e, 5);
    s.DeleteParam(e, 0);
    EXPECT_EQ(s.IndexOfParam(e, "new"), 0);
    s.ClearParams(e);
    EXPECT_EQ(s.ParamCount(e), 0);

    // Global parameter names are compared trimmed as well.
    s.SetGlobalParamValue("  Key  ", " v1 ");
    s.SetGlobalParamValue("key", "v2");
    ASSERT_EQ(s.GlobalParamCount(), 1);
    EXPECT_EQ(s.GetGlobalParam(0)->Name, "Key");
    EXPECT_EQ(s.GetGlobalParamValue(" KEY"), "v2");
    s.SetGlobalParamValue("other", " spaced ");
    EXPECT_EQ(s.GetGlobalParamValue("OTHER"), " spaced ");
    EXPECT_EQ(s.IndexOfGlobalParam("other "), 1);
    s.SetGlobalParam(1, {"Renamed", "r"});
    EXPECT_EQ(s.GetGlobalParamValue("renamed"), "r");
    s.DeleteGlobalParamByName("KEY");
    s.DeleteGlobalParam(3);
    EXPECT_EQ(s.GlobalParamCount(), 1);
}

TEST(MultiFileStorage, CopiesAreIndependentEvenFromItself)
{
    TMultiFileStorage a;
    PMFSFile e = a.AddFile(-1);
    e->FileName = "a.txt";
    e->Data = "aaa";
    a.AddParamValue(e, "p", "1");

    // Adding an entry moves the storage; the record must be read before that.
    for (int i = 0; i < 20; ++i)
        a.InsertCopy(*a.GetFile(0), -1);
    EXPECT_EQ(a.GetCount(), 21);
    EXPECT_EQ(a.GetFile(20)->FileName, "a.txt");
    EXPECT_EQ(a.GetFile(20)->Name, "1");

    TMultiFileStorage b;
    EXPECT_EQ(b.AddFrom(nullptr), 0);
    EXPECT_EQ(b.AddFrom(&a), 21);
    b.SetParamValueByIndex(0, "p", "changed");
    EXPECT_EQ(a.GetParamValueByIndex(0, "p"), "1");
    EXPECT_EQ(b.AddFrom(&b), 21);
    EXPECT_EQ(b.GetCount(), 42);
    EXPECT_EQ(b.GetParamValueByIndex(21, "p"), "changed");
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
    const QByteArray one = "[a]\r\nFileName=\r\nDataPosition=0\r\nDataSize=3\r\nFileSize=3\r\n"
                           "FileTime=2024-03-05 14:07:09\r\nDataCompression=NONE\r\n\r\n"
        + Sep + "xyz";
    EXPECT_EQ(SaveToBuffer(s, &n), one);
    EXPECT_EQ(n, one.size());

    s.SetGlobalParamValue("Site", "VYN");
    PMFSFile f = s.AddFile(-1);
    f->Name = "b";
    f->FileName = "b.bin";
    f->Data = "12";
    f->FileTime = datetimedays::Encode(QDate(2001, 2, 3), QTime(0, 0));
    s.AddParamValue(f, "datacompression", "zip");
    const QByteArray two = "Site=VYN\r\n\r\n" + one.left(one.indexOf(Sep))
        + "[b]\r\nFileName=b.bin\r\nDataPosition=3\r\nDataSize=2\r\nFileSize=2\r\n"
          "FileTime=2001-02-03\r\ndatacompression=zip\r\n\r\n"
        + Sep + "xyz12";
    EXPECT_EQ(SaveToBuffer(s), two);

    qint64 pos = 10;
    EXPECT_TRUE(s.BuildFileHeader(s.GetFile(1), pos, true).contains("\r\nOriginalPath=\r\nDataPosition=10\r\n"));
    EXPECT_EQ(pos, 12);
    EXPECT_EQ(s.BuildFileHeader(nullptr, pos, true), "");

    // The compressed entry is refused when read back, and what was read stays.
    TMultiFileStorage r;
    try {
        r.LoadFromString(two);
        FAIL() << "no exception";
    } catch (const Exception& ex) {
        EXPECT_EQ(ex.Message(), "Unknown compression : zip");
    }
    EXPECT_EQ(r.GetCount(), 2);
    EXPECT_EQ(r.GetDataByIndex(0), "xyz");
}

TEST(MultiFileStorage, RoundTripKeepsEveryStoredField)
{
    TMultiFileStorage s;
    s.SetGlobalParamValue("Version", " 1.6 ");
    s.SetGlobalParamValue("empty", "");
    const QByteArray binary = QByteArray("\0\r\n", 3) + Sep + QByteArray(300, '\xFF');
    const QList<QByteArray> data = {binary, "", "plain"};
    for (int i = 0; i < 3; ++i) {
        PMFSFile e = s.AddFile(-1);
        e->FileName = "f" + QByteArray::number(i) + ".bin";
        e->Name = " Section [" + QByteArray::number(i) + "] ";
        e->Data = data[i];
        e->FileTime = Stamp + i;
        s.AddParamValue(e, "content-type", " text/plain; a=b ");
        s.AddParamValue(e, "", "nameless");
    }
    const QByteArray text = SaveToBuffer(s);

    TMultiFileStorage r;
    r.SetGlobalParamValue("stale", "x");
    ASSERT_TRUE(r.LoadFromString(text));
    ASSERT_EQ(r.GlobalParamCount(), 2);
    EXPECT_EQ(r.GetGlobalParamValue("version"), " 1.6 ");
    EXPECT_EQ(r.IndexOfGlobalParam("stale"), -1);
    ASSERT_EQ(r.GetCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const TMFSFile& a = *s.GetFile(i);
        const TMFSFile& b = *r.GetFile(i);
        EXPECT_EQ(b.FileName, a.FileName);
        EXPECT_EQ(b.Name, a.Name);
        EXPECT_EQ(b.Data, a.Data);
        EXPECT_DOUBLE_EQ(b.FileTime, a.FileTime);
        ASSERT_EQ(b.Params.size(), 2u);
        EXPECT_EQ(b.Params[0].Value, " text/plain; a=b ");
        EXPECT_EQ(b.Params[1].Value, "nameless");
    }
    EXPECT_EQ(r.GetLoadMap(), "[ Section [0] ],0,321|[ Section [1] ]|[ Section [2] ],321,5");
    EXPECT_EQ(SaveToBuffer(r), text);
}

TEST(MultiFileStorage, ReaderToleratesLooseHeaders)
{
    TMultiFileStorage s;
    s.AddFile(-1);
    EXPECT_FALSE(s.LoadFromString("[a]\r\nDataPosition=0\r\nDataSize=1\r\n"));
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
    const TMFSFile& first = *s.GetFile(0);
    EXPECT_EQ(first.Name, "first");
    EXPECT_EQ(first.FileName, "real.txt");
    EXPECT_EQ(s.GetParamValueByIndex(0, "FileName "), "spaced key");
    EXPECT_EQ(s.GetParamValueByIndex(0, "extra"), "2");
    EXPECT_EQ(s.ParamCountByIndex(0), 2);
    EXPECT_EQ(first.Data, "2345");
    EXPECT_LT(std::abs(first.FileTime - datetimedays::Now()), 1.0 / 24);
    EXPECT_EQ(s.GetFile(1)->Name, "");
    EXPECT_EQ(s.GetFile(1)->Data, "");
    EXPECT_EQ(s.GetFile(2)->Name, "thir");
    EXPECT_EQ(s.GetFile(2)->Data, "");
    EXPECT_EQ(s.GetFile(3)->Data, "89"); // cut short by the end of the text
    EXPECT_EQ(s.GetFile(4)->Data, "");
    EXPECT_EQ(s.GetLoadMap(), "[first],2,4|[]|[thir]|[fourth],8,100|[fifth]");
}

TEST(MultiFileStorage, WriterRefusesTextsThatWouldNotReadBack)
{
    const auto refused = [](const std::function<void(TMultiFileStorage&)>& fill, const char* why) {
        TMultiFileStorage s;
        PMFSFile e = s.AddFile(-1);
        e->Data = "data";
        fill(s);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        try {
            s.SaveToStream(buffer);
            ADD_FAILURE() << "accepted: " << why;
        } catch (const Exception& ex) {
            EXPECT_TRUE(ex.Message().contains(why)) << ex.what();
        }
        EXPECT_EQ(buffer.size(), 0) << why;
    };
    refused([](auto& s) { s.GetFile(0)->FileName = "a\r\n[b]"; }, "line break");
    refused([](auto& s) { s.GetFile(0)->Name = "a\nb"; }, "line break");
    refused([](auto& s) { s.AddParamValueByIndex(0, "note", "two\rlines"); }, "line break");
    refused([](auto& s) { s.AddParamValueByIndex(0, "a=b", "c"); }, "\"=\"");
    refused([](auto& s) { s.AddParamValueByIndex(0, " [x", "c"); }, "\"[\"");
    refused([](auto& s) { s.AddParamValueByIndex(0, "filesize", "4"); }, "field of the entry");
    refused([](auto& s) { s.SetGlobalParamValue("[section", "v"); }, "\"[\"");
    refused([](auto& s) { s.SetGlobalParamValue("g", "v\n"); }, "line break");
    refused([](auto& s) { s.GetFile(0)->FileTime = 1e12; }, "years 1 to 9999");
}

TEST(MultiFileStorage, WriterReportsWhatTheStreamTook)
{
    TMultiFileStorage s;
    s.AddFile(-1)->Data = "abc";
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    EXPECT_EQ(s.SaveToStream(readOnly), 0);
}

TEST(MultiFileStorage, DiskImportAndExport)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString src = dir.filePath("page.htm");
    WriteFile(src, QByteArray("<html>\0</html>", 14));
    {
        QFile f(src);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2020, 6, 7), QTime(8, 9, 10), Qt::UTC),
                                  QFileDevice::FileModificationTime));
    }

    TMultiFileStorage s;
    s.AddFile(-1);
    EXPECT_EQ(s.AddFileFromDisk(dir.path() + "/missing", "m", 0), -1);
    EXPECT_EQ(s.AddFileFromDisk(dir.path(), "d", 0), -1);
    EXPECT_EQ(s.GetCount(), 1);
    PMFSFile e = s.AddFileFromDiskP(dir.path() + "/./page.htm", "Main", 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(s.IndexOfFile(e), 0);
    EXPECT_EQ(e->FileName, "page.htm");
    EXPECT_EQ(e->Name, "Main");
    EXPECT_EQ(e->OriginalPath, QFile::encodeName(QDir::cleanPath(QFileInfo(src).absoluteFilePath())));
    EXPECT_FALSE(e->OriginalPath.contains("/./"));
    EXPECT_EQ(e->Data, QByteArray("<html>\0</html>", 14));
    EXPECT_EQ(*datetimedays::FormatMfs(e->FileTime), "2020-06-07 08:09:10");

    // Exporting: the question decides whether an existing file is replaced.
    const QString out = dir.filePath("out.htm");
    EXPECT_TRUE(s.ExtractFile(0, out, true));
    EXPECT_EQ(ReadFile(out), e->Data);
    WriteFile(out, "keep");
    EXPECT_FALSE(s.SaveFileTo(e, out, true)); // nobody to ask: keep the file
    EXPECT_EQ(ReadFile(out), "keep");
    QString asked;
    int answer = 7;
    s.OnOverwriteQuery = [&](const QString& text, const QString& caption, unsigned flags) {
        asked = caption + "|" + text + "|" + QString::number(flags);
        return answer;
    };
    EXPECT_FALSE(s.SaveFileTo(e, out, true));
    EXPECT_EQ(asked, "Overwrite existing file|Overwrite file " + out + "?|36");
    EXPECT_EQ(ReadFile(out), "keep");
    answer = 6;
    EXPECT_TRUE(s.SaveFileTo(e, out, true));
    EXPECT_EQ(ReadFile(out), e->Data);
    asked.clear();
    EXPECT_TRUE(s.ExtractFile(1, out, false)); // empty data: an empty file
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(ReadFile(out), "");

    EXPECT_FALSE(s.ExtractFile(s.GetCount(), dir.filePath("never"), false));
    EXPECT_FALSE(QFile::exists(dir.filePath("never")));
    EXPECT_FALSE(s.SaveFileTo(nullptr, out, false));
    EXPECT_FALSE(s.SaveFileTo(e, dir.filePath("no/such/dir/file"), false));
}

TEST(MultiFileStorage, EntriesSharingOneDataAreaCannotMultiplyTheText)
{
    QByteArray header;
    for (int i = 0; i < 3; ++i)
        header += "[e" + QByteArray::number(i) + "]\r\nDataPosition=0\r\nDataSize=40000\r\n";
    TMultiFileStorage s;
    // Two entries on the same 40000 bytes stay within the allowance.
    EXPECT_TRUE(s.LoadFromString(header.left(header.size() / 3 * 2) + Sep + QByteArray(40000, 'x')));
    EXPECT_EQ(s.GetCount(), 2);
    // A third is refused, and nothing of the text is kept.
    EXPECT_THROW(s.LoadFromString(header + Sep + QByteArray(40000, 'x')), Exception);
    EXPECT_EQ(s.GetCount(), 0);
}

TEST(MultiFileStorage, DiskImportTakesFilesUpToTheSizeLimit)
{
    QTemporaryDir dir;
    TMultiFileStorage s;
    const QString limit = dir.filePath("limit.bin");
    WriteFile(limit, QByteArray(TMultiFileStorage::MaxDiskFileSize, 'a'));
    EXPECT_EQ(s.AddFileFromDisk(limit, "l", -1), 0);
    EXPECT_EQ(s.GetFile(0)->Data.size(), TMultiFileStorage::MaxDiskFileSize);
    const QString over = dir.filePath("over.bin");
    WriteFile(over, QByteArray(TMultiFileStorage::MaxDiskFileSize + 1, 'a'));
    EXPECT_EQ(s.AddFileFromDisk(over, "o", -1), -1);
    EXPECT_EQ(s.GetCount(), 1);
}
