#include "platform/ShellWord.h"

#include <algorithm>

namespace platform {

std::string ShellWord(std::string_view word)
{
    static constexpr std::string_view kPlain = "/._+-,:@%=";
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            kPlain.find(c) != std::string_view::npos;
    });
    if (plain)
        return std::string(word);
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + '\'';
}

} // namespace platform
