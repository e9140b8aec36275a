#pragma once

#include "Options.h"

#include <string>
#include <vector>

namespace vynsim {

// The web-content image the device takes by TFTP: "CoB1", a directory of
// (name length: 1 byte, block size: 2 bytes, block offset: 4 bytes, name),
// a zero byte, then the blocks back to back. The device is strict: anything
// that does not add up exactly is refused, so a faulty writer is caught.
struct CobEntry
{
    std::string name;
    Bytes block;
};

struct CobImage
{
    bool ok = false;
    std::string error; // why the image was refused
    std::vector<CobEntry> entries;
};

CobImage ReadCob1(const Bytes& image);

} // namespace vynsim
