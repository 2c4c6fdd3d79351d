#include "ScreenSaver.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

bool screenSaverActive()
{
    BOOL active = FALSE;
    EXPECT_TRUE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0));
    return active != FALSE;
}

TEST(ScreenSaver, SwitchesTheSessionsScreenSaverOffAndOnAgain)
{
    const bool before = screenSaverActive();
    for (const bool active : {false, true, false}) {
        EXPECT_TRUE(dawdlex::platform::setScreenSaverActive(active));
        EXPECT_EQ(screenSaverActive(), active);
    }
    // The session's switch goes back as it was, whatever happened above.
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, before ? 1 : 0, nullptr, 0);
}

} // namespace
