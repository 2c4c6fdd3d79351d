#include <QApplication>

#include <gtest/gtest.h>

// One application object for the widget tests; each fixture keeps its settings in a store of its own.
int main(int argc, char** argv)
{
    // Listing the tests at build time runs this program where no display need exist.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
