#pragma once

// Giving up the capabilities a program was started with, for a program that
// must never hold any: a Qt program loads plugins from places its user
// names in the environment.

namespace platform {

// Clears the calling thread's effective, permitted, inheritable and ambient
// capability sets and checks that they are empty. Called while the process
// has one thread, this covers the whole process and every thread it starts.
// Returns 0, or the errno of the step that failed. Reads no environment.
int DropAllCapabilities();

} // namespace platform
