#pragma once

#include <gtest/gtest.h>

// SKIP_UNDER_WINE skips the current test under Wine only, where Wine's registry is known to behave unlike
// Windows'; the test still runs on Windows and against our own store. SKIP_ON_WINDOWS skips it on Windows,
// Wine included, where our store keeps a promise that Windows' registry does not make or answers
// differently by design (texts in UTF-8, values as stored). The reason says how, in one line.
#ifdef _WIN32
#include <windows.h>
#endif

// Wine's ntdll exports its version; Windows' does not.
inline bool runningUnderWine()
{
#ifdef _WIN32
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

#define SKIP_UNDER_WINE(reason)                                                                              \
    if (!runningUnderWine()) {                                                                               \
    } else                                                                                                   \
        GTEST_SKIP() << "Wine's registry differs: " << (reason)
#ifdef _WIN32
#define SKIP_ON_WINDOWS(reason) GTEST_SKIP() << "Windows' registry differs: " << (reason)
#else
#define SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif
