#include "ScreenSaver.h"

#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <memory>

// Last: Xlib defines macros (None, Bool, Status...) that clash with the headers above.
#include <X11/Xlib.h>

namespace {

struct ScreenSaverSettings
{
    int timeout = 0;
    int interval = 0;
    int preferBlanking = 0;
    int allowExposures = 0;

    bool operator==(const ScreenSaverSettings&) const = default;
};

struct DisplayCloser
{
    void operator()(Display* display) const { XCloseDisplay(display); }
};

// Reads the server's settings through a connection of the test's own, so every read sees what the switch
// left on the server after its own connection closed. Holding this connection also keeps the server from
// resetting between calls, as the other clients of a desktop session do.
class ScreenSaverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "no X display";
        m_display.reset(XOpenDisplay(nullptr));
        ASSERT_TRUE(m_display) << "cannot open the X display";
    }

    ScreenSaverSettings read() const
    {
        ScreenSaverSettings s;
        XGetScreenSaver(m_display.get(), &s.timeout, &s.interval, &s.preferBlanking, &s.allowExposures);
        return s;
    }

    void write(const ScreenSaverSettings& s) const
    {
        XSetScreenSaver(m_display.get(), s.timeout, s.interval, s.preferBlanking, s.allowExposures);
        XSync(m_display.get(), False);
    }

    std::unique_ptr<Display, DisplayCloser> m_display;
};

TEST_F(ScreenSaverTest, OffSetsTimeoutZeroAndOnGivesTheServerDefaultBack)
{
    const ScreenSaverSettings serverDefault = read();
    ASSERT_GT(serverDefault.timeout, 0) << "a fresh server starts with its screen saver on";
    // Values of the user's own, which the switch must keep apart from the timeout.
    const ScreenSaverSettings custom{123, 45, DontPreferBlanking, DontAllowExposures};
    ASSERT_NE(custom.preferBlanking, serverDefault.preferBlanking);
    write(custom);

    EXPECT_TRUE(dawdlex::platform::setScreenSaverActive(false));
    EXPECT_EQ(read(), (ScreenSaverSettings{0, 45, DontPreferBlanking, DontAllowExposures}));

    // Switching off twice stays off.
    EXPECT_TRUE(dawdlex::platform::setScreenSaverActive(false));
    EXPECT_EQ(read().timeout, 0);

    EXPECT_TRUE(dawdlex::platform::setScreenSaverActive(true));
    EXPECT_EQ(read(),
              (ScreenSaverSettings{serverDefault.timeout, 45, DontPreferBlanking, DontAllowExposures}));
}

TEST(ScreenSaverWithoutDisplay, ReportsFailure)
{
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    const bool switched = dawdlex::platform::setScreenSaverActive(false);
    if (!display.isEmpty())
        qputenv("DISPLAY", display);
    EXPECT_FALSE(switched);
}

} // namespace
