#include <QGuiApplication>

#include <gtest/gtest.h>

// Runs under Xvfb on the platform plugin the desktop uses: the offscreen one cannot open addresses. The
// screen-saver tests talk to the X server directly.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
