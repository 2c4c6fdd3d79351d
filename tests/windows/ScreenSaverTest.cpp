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

// Gives the session's switch back as it was, whatever the test did to it.
class SwitchRestorer
{
public:
    SwitchRestorer() : m_active(screenSaverActive()) {}
    ~SwitchRestorer() { SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, m_active ? 1 : 0, nullptr, 0); }
    SwitchRestorer(const SwitchRestorer&) = delete;
    SwitchRestorer& operator=(const SwitchRestorer&) = delete;

private:
    bool m_active;
};

TEST(ScreenSaver, SwitchesTheSessionsScreenSaverOffAndOnAgain)
{
    SwitchRestorer restorer;
    ASSERT_TRUE(dawdlex::platform::setScreenSaverActive(false));
    EXPECT_FALSE(screenSaverActive());
    ASSERT_TRUE(dawdlex::platform::setScreenSaverActive(true));
    EXPECT_TRUE(screenSaverActive());
    ASSERT_TRUE(dawdlex::platform::setScreenSaverActive(false));
    EXPECT_FALSE(screenSaverActive());
}

} // namespace
