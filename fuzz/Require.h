// What a fuzz target does when a check fails: abort, so that libFuzzer reports the input and keeps it.
#pragma once

#include <cstdlib>

inline void require(bool condition)
{
    if (!condition)
        std::abort();
}
