#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A CoB1 image laid out byte by byte, as the format describes it: "CoB1", per
// file (name length, block size LE16, block offset LE32, name), a zero byte,
// then the blocks back to back.
inline std::vector<uint8_t> CobBytes(const std::vector<std::pair<std::string, std::string>>& files)
{
    std::vector<uint8_t> b = {'C', 'o', 'B', '1'};
    auto put = [&b](uint32_t v, int size) {
        for (int i = 0; i < size; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    size_t offset = 5;
    for (const auto& f : files)
        offset += 7 + f.first.size();
    for (const auto& [name, data] : files) {
        b.push_back(static_cast<uint8_t>(name.size()));
        put(static_cast<uint32_t>(data.size()), 2);
        put(static_cast<uint32_t>(offset), 4);
        b.insert(b.end(), name.begin(), name.end());
        offset += data.size();
    }
    b.push_back(0);
    for (const auto& f : files)
        b.insert(b.end(), f.second.begin(), f.second.end());
    return b;
}
