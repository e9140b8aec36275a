#pragma once

// Words of a command a person is told to run, as a POSIX shell takes them
// back when the command is pasted. Free of Qt: the program uses it before Qt
// starts.

#include <string>
#include <string_view>

namespace platform {

// The word as it stands when it holds only the plain characters of a path
// or an option; otherwise in single quotes, each quote inside written '\''.
std::string ShellWord(std::string_view word);

} // namespace platform
