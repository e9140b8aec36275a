// Any bytes into the CoB1 reader. Besides the sanitizers' own checks: every
// entry it yields must fit the format, the entries together hold no more
// than the image plus the shared-data allowance, and writing the entries
// again gives an image that reads back to the same names and data.
#include "FuzzCheck.h"

#include "storage/uCOB.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray image(reinterpret_cast<const char*>(data), qsizetype(size));
    TCOBFileStorage storage;
    const bool complete = storage.LoadFromString(image);
    if (!image.startsWith("CoB1") || image.size() < 5) {
        Require(!complete && storage.GetCount() == 0, "a non-image gave entries");
        return 0;
    }
    Require(storage.TotalDataSize() <= image.size() + TCOBFileStorage::SharedDataAllowance,
            "entries multiply the image's bytes");
    for (int i = 0; i < storage.GetCount(); ++i) {
        const TMFSFile& entry = *storage.GetFile(i);
        Require(!entry.FileName.isEmpty() && entry.FileName.size() <= TCOBFileStorage::MaxFileNameSize,
                "file name outside 1..255 bytes");
        Require(entry.Data.size() <= TCOBFileStorage::MaxBlockSize, "block over 65535 bytes");
        Require(storage.ParamCountByIndex(i) == 0, "reader set parameters");
    }

    const QByteArray again = storage.BuildImage();
    Require(again.size() == storage.GetHeaderSize() + storage.TotalDataSize(), "rebuilt image size");
    TCOBFileStorage copy;
    Require(copy.LoadFromString(again), "rebuilt image not read completely");
    Require(copy.GetCount() == storage.GetCount(), "entry count changed");
    for (int i = 0; i < copy.GetCount(); ++i) {
        Require(copy.GetFile(i)->FileName == storage.GetFile(i)->FileName, "file name changed");
        Require(copy.GetFile(i)->Data == storage.GetFile(i)->Data, "data changed");
    }
    return 0;
}
