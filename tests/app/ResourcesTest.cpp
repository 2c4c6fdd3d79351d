#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

namespace {

// Every picture the windows ask for is compiled in and draws at its size. The main window's icon and the
// seven built-in icons all differ, and the first built-in icon is the window gear.
TEST(Resources, EveryPictureDrawsAtItsSizeAndTheIconsDiffer)
{
    const std::pair<const char*, QSize> pictures[] = {
        {":/dawdlex/document.svg", {32, 32}},     {":/dawdlex/icons/gear.svg", {32, 32}},
        {":/dawdlex/icons/arrow.svg", {32, 32}},  {":/dawdlex/icons/scissors.svg", {32, 32}},
        {":/dawdlex/icons/folder.svg", {32, 32}}, {":/dawdlex/icons/files.svg", {32, 32}},
        {":/dawdlex/icons/cd.svg", {32, 32}},     {":/dawdlex/icons/monitor.svg", {32, 32}},
        {":/dawdlex/gear.svg", {32, 32}},         {":/dawdlex/banner.svg", {222, 50}},
        {":/dawdlex/browse.svg", {16, 16}},       {":/dawdlex/hand.svg", {32, 32}},
        {":/dawdlex/hand-point.svg", {32, 32}}};
    for (const auto& [path, size] : pictures)
        EXPECT_EQ(QImage(path).size(), size) << path;
    for (int i = 0; i < 8; ++i) {
        for (int j = i + 1; j < 8; ++j)
            EXPECT_NE(QImage(pictures[i].first), QImage(pictures[j].first))
                << pictures[i].first << pictures[j].first;
    }
    EXPECT_EQ(QImage(":/dawdlex/icons/gear.svg"), QImage(":/dawdlex/gear.svg"));
}

} // namespace

int main(int argc, char** argv)
{
    // Listing the tests at build time runs this program where no display need exist.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
