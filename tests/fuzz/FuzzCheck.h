#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property is a finding like a crash: report it and abort, so the
// fuzzer keeps the input.
inline void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "property violated: %s\n", what);
        std::abort();
    }
}
