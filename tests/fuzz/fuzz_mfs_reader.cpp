// Any bytes into the MFS text reader. Besides the sanitizers' own checks:
// the entries hold no more than the text plus the shared-data allowance, and
// whatever it reads can be written again (the writer refuses nothing it got
// from a reader), and that text reads back to the same storage.
#include "FuzzCheck.h"

#include "platform/Exception.h"
#include "storage/uMFS.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

namespace {

bool SameParams(const AMFSParams& a, const AMFSParams& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t j = 0; j < a.size(); ++j) {
        if (a[j].Name != b[j].Name || a[j].Value != b[j].Value)
            return false;
    }
    return true;
}

AMFSParams Globals(TMultiFileStorage& s)
{
    AMFSParams params;
    for (int j = 0; j < s.GlobalParamCount(); ++j)
        params.push_back(*s.GetGlobalParam(j));
    return params;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    TMultiFileStorage storage;
    try {
        if (!storage.LoadFromString(text)) {
            Require(storage.GetCount() == 0 && storage.GlobalParamCount() == 0, "failed read left entries");
            return 0;
        }
    } catch (const Exception&) {
        return 0; // an unknown compression or too much shared data: refused with its message
    }
    Require(storage.TotalDataSize() <= text.size() + TMultiFileStorage::SharedDataAllowance,
            "entries multiply the text's bytes");

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const qint64 written = storage.SaveToStream(buffer);
    Require(written == buffer.size(), "writer count differs from the bytes written");

    TMultiFileStorage copy;
    Require(copy.LoadFromString(buffer.data()), "written text has no separator");
    Require(SameParams(Globals(copy), Globals(storage)), "global parameters changed");
    Require(copy.GetCount() == storage.GetCount(), "entry count changed");
    for (int i = 0; i < copy.GetCount(); ++i) {
        const TMFSFile& a = *storage.GetFile(i);
        const TMFSFile& b = *copy.GetFile(i);
        Require(a.Name == b.Name, "section name changed");
        Require(a.FileName == b.FileName, "file name changed");
        Require(a.Data == b.Data, "data changed");
        Require(SameParams(a.Params, b.Params), "entry parameters changed");
        Require(datetimedays::FormatMfs(a.FileTime) == datetimedays::FormatMfs(b.FileTime), "time changed");
    }
    return 0;
}
