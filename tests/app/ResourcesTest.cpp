#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <iterator>
#include <ostream>
#include <string>

namespace {

struct Picture
{
    const char* path;
    int width;
    int height;
};

constexpr Picture kPictures[] = {
    {":/dawdlex/document.svg", 32, 32},       {":/dawdlex/gear.svg", 32, 32},
    {":/dawdlex/icons/gear.svg", 32, 32},     {":/dawdlex/icons/arrow.svg", 32, 32},
    {":/dawdlex/icons/scissors.svg", 32, 32}, {":/dawdlex/icons/folder.svg", 32, 32},
    {":/dawdlex/icons/files.svg", 32, 32},    {":/dawdlex/icons/cd.svg", 32, 32},
    {":/dawdlex/icons/monitor.svg", 32, 32},  {":/dawdlex/banner.svg", 222, 50},
    {":/dawdlex/browse.svg", 16, 16},         {":/dawdlex/hand.svg", 32, 32},
    {":/dawdlex/hand-point.svg", 32, 32},
};

void PrintTo(const Picture& picture, std::ostream* out)
{
    *out << picture.path;
}

QImage render(const char* path)
{
    return QImage(QString::fromLatin1(path)).convertToFormat(QImage::Format_ARGB32);
}

class PictureLoads : public ::testing::TestWithParam<Picture>
{
};

TEST_P(PictureLoads, AsImagePixmapAndIconAtItsOwnSize)
{
    const Picture picture = GetParam();
    const QSize size(picture.width, picture.height);
    const QString path = QString::fromLatin1(picture.path);

    const QImage image(path);
    ASSERT_FALSE(image.isNull()) << picture.path;
    EXPECT_EQ(image.size(), size) << picture.path;

    const QPixmap pixmap(path);
    ASSERT_FALSE(pixmap.isNull()) << picture.path;
    EXPECT_EQ(pixmap.size(), size) << picture.path;

    const QIcon icon(path);
    ASSERT_FALSE(icon.isNull()) << picture.path;
    EXPECT_EQ(icon.pixmap(size).size(), size) << picture.path;
}

std::string testName(const ::testing::TestParamInfo<Picture>& info)
{
    std::string name = std::string(info.param.path).substr(std::strlen(":/dawdlex/"));
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Artwork, PictureLoads, ::testing::ValuesIn(kPictures), testName);

TEST(BuiltInIcons, TheFirstIsTheWindowGear)
{
    EXPECT_EQ(render(":/dawdlex/icons/gear.svg"), render(":/dawdlex/gear.svg"));
}

TEST(BuiltInIcons, AllSevenAndTheMainWindowIconDiffer)
{
    const char* paths[] = {":/dawdlex/document.svg",     ":/dawdlex/icons/gear.svg",
                           ":/dawdlex/icons/arrow.svg",  ":/dawdlex/icons/scissors.svg",
                           ":/dawdlex/icons/folder.svg", ":/dawdlex/icons/files.svg",
                           ":/dawdlex/icons/cd.svg",     ":/dawdlex/icons/monitor.svg"};
    for (std::size_t i = 0; i < std::size(paths); ++i) {
        for (std::size_t j = i + 1; j < std::size(paths); ++j) {
            EXPECT_NE(render(paths[i]), render(paths[j])) << paths[i] << " draws the same as " << paths[j];
        }
    }
}

// The pointers are made with hot spot (12, 9): that pixel must be the fingertip's outline and nothing
// may stand above it, or the click lands beside where the finger points.
TEST(HandPointers, FingertipIsTheHotSpot)
{
    for (const char* path : {":/dawdlex/hand.svg", ":/dawdlex/hand-point.svg"}) {
        const QImage image = render(path);
        const QColor tip = image.pixelColor(12, 9);
        EXPECT_GT(tip.alpha(), 200) << path;
        EXPECT_LT(tip.lightness(), 100) << path;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_EQ(image.pixelColor(x, y).alpha(), 0) << path << " has ink at " << x << "," << y;
    }
}

TEST(Banner, IsOpaqueWhiteAtItsEdges)
{
    const QImage image = render(":/dawdlex/banner.svg");
    for (const QPoint corner : {QPoint(0, 0), QPoint(221, 0), QPoint(0, 49), QPoint(221, 49)})
        EXPECT_EQ(image.pixel(corner), qRgba(255, 255, 255, 255)) << corner.x() << "," << corner.y();
}

} // namespace

int main(int argc, char** argv)
{
    // Nothing here writes settings, but keep any Qt look-up away from the real configuration.
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    // The build lists the tests by running this program, where no display need exist.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
