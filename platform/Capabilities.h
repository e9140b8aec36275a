#pragma once

// Giving up the capabilities a program was started with, for a program that
// must never hold any: a Qt program loads plugins from places its user
// names in the environment.

#include <string>

namespace platform {

// Clears what the calling thread holds and checks that nothing is left.
// Held are the rights it uses or may take up (effective, permitted) and
// those it passes to the programs it starts (inheritable; the ambient set
// lies within the permitted and inheritable ones). The bounding set is no
// holding: it only limits what a program started later may gain, and
// lowering it takes a capability. Holding nothing, it changes nothing, so
// it succeeds where the system denies capset. Called while the process has
// one thread, this covers the whole process and every thread it starts.
// Returns 0, or the errno of the step that failed. Reads no environment.
int DropAllCapabilities();

// The file this process runs, for advice to take capabilities from it.
struct ProgramFile
{
    std::string path; // absolute; empty when /proc names no path that leads to it
    bool capabilities = true; // the file carries capabilities of its own, or nothing tells
};
ProgramFile RunningProgramFile();

} // namespace platform
