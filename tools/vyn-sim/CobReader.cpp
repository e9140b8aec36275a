#include "CobReader.h"

namespace vynsim {

namespace {

CobImage Refuse(std::string why)
{
    CobImage r;
    r.error = std::move(why);
    return r;
}

} // namespace

CobImage ReadCob1(const Bytes& image)
{
    if (image.size() < 5 || image[0] != 'C' || image[1] != 'o' || image[2] != 'B' || image[3] != '1')
        return Refuse("not a CoB1 image");

    struct Dir
    {
        std::string name;
        size_t size;
        size_t offset;
    };
    std::vector<Dir> dir;
    size_t pos = 4;
    for (;;) {
        if (pos >= image.size())
            return Refuse("directory without its closing zero byte");
        const size_t nameLen = image[pos];
        if (nameLen == 0)
            break;
        if (pos + 7 + nameLen > image.size())
            return Refuse("directory entry " + std::to_string(dir.size()) + " runs past the end");
        Dir d;
        d.size = image[pos + 1] | (image[pos + 2] << 8);
        d.offset = static_cast<size_t>(image[pos + 3]) | (static_cast<size_t>(image[pos + 4]) << 8)
                   | (static_cast<size_t>(image[pos + 5]) << 16)
                   | (static_cast<size_t>(image[pos + 6]) << 24);
        d.name.assign(reinterpret_cast<const char*>(&image[pos + 7]), nameLen);
        dir.push_back(std::move(d));
        pos += 7 + nameLen;
    }

    CobImage result;
    size_t expected = pos + 1; // blocks start right behind the closing zero
    for (const Dir& d : dir) {
        if (d.offset != expected)
            return Refuse("block of \"" + d.name + "\" at " + std::to_string(d.offset) + ", expected at "
                          + std::to_string(expected));
        if (d.offset + d.size > image.size())
            return Refuse("block of \"" + d.name + "\" runs past the end");
        result.entries.push_back({d.name, Bytes(image.begin() + static_cast<long>(d.offset),
                                                image.begin() + static_cast<long>(d.offset + d.size))});
        expected += d.size;
    }
    if (expected != image.size())
        return Refuse(std::to_string(image.size() - expected) + " bytes behind the last block");
    result.ok = true;
    return result;
}

} // namespace vynsim
