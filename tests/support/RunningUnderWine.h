#pragma once

#include <gtest/gtest.h>

// True when this Windows program runs under Wine rather than Windows; always false on Linux builds.
bool runningUnderWine();

// Skips the current test under Wine only, where Wine's registry is known to behave unlike Windows'. The
// reason says how in one line; the test still runs on Windows and against our own store.
#define SKIP_UNDER_WINE(reason)                                                                              \
    if (!runningUnderWine()) {                                                                               \
    } else                                                                                                   \
        GTEST_SKIP() << "Wine's registry differs: " << (reason)

// Skips the current test on Windows, Wine included, where our store keeps a promise that Windows' registry
// does not make or answers differently by design (texts in UTF-8, values as stored). The reason says how.
#ifdef _WIN32
#define SKIP_ON_WINDOWS(reason) GTEST_SKIP() << "Windows' registry differs: " << (reason)
#else
#define SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif
