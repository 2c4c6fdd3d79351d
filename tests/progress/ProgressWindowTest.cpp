#include "ProgressWindow.h"

#include "OptionsWindow.h"
#include "MessageBoxes.h"
#include "PictureBox.h"
#include "SettingsStore.h"
#include "CRegistry.h"
#include "FreshRegistry.h"
#include "OptionsFakes.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace dawdlex {
namespace {

// The custom icon entry with `path`, as stored settings.
Settings customIcon(const QString& path)
{
    Settings settings;
    settings.icon = Settings::kCustomIcon;
    settings.customIconPath = path.toStdString();
    return settings;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(bytes), bytes.size());
    return file.fileName();
}

class ProgressWindowTest : public ::testing::Test, protected OptionsFakes
{
protected:
    // Every test is a later start, with the defaults stored, unless it stores settings of its own.
    ProgressWindowTest() { store(Settings{}); }

    // What the next start finds stored.
    static void store(const Settings& settings)
    {
        ASSERT_TRUE(CRegistry().CreateKey(kSettingsKey) || CRegistry().KeyExists(kSettingsKey));
        ASSERT_TRUE(saveSettings(settings));
    }

    static std::string storedText(const std::string& name)
    {
        CRegistry registry;
        return registry.OpenKey(kSettingsKey) ? registry.ReadString(name) : std::string();
    }

    void tick(int count)
    {
        for (int i = 0; i < count; ++i)
            form.onTick();
    }

    FreshRegistry freshRegistry;
    ProgressWindow form{seams()};
};

QImage pixels(const QPixmap& pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST_F(ProgressWindowTest, StartsWithTheDefaults)
{
    form.start();
    EXPECT_EQ(form.windowTitle(), "Processing...");
    EXPECT_EQ(form.cancelButton()->text(), "Cancel");
    EXPECT_EQ(form.statusLabel()->text(), "Reading Files...");
    EXPECT_EQ(form.tickTimer()->interval(), 50);
    EXPECT_TRUE(form.tickTimer()->isActive());
    EXPECT_EQ(form.tickTimer()->timerType(), Qt::PreciseTimer);
    EXPECT_FALSE(form.bars()[0]->isHidden());
    EXPECT_FALSE(form.bars()[1]->isHidden());
    EXPECT_EQ(form.bars()[0]->value(), 0);
    EXPECT_EQ(form.bars()[0]->maximum(), 40);
    EXPECT_FALSE(form.bars()[0]->isTextVisible());
    EXPECT_EQ(pixels(form.iconPicture()->picture()), pixels(QPixmap(":/dawdlex/icons/gear.svg")));
    EXPECT_EQ(form.iconPicture()->toolTip(), "Click here for options.");
    EXPECT_EQ(form.iconPicture()->cursor().hotSpot(), QPoint(12, 9));
    EXPECT_EQ(form.iconPicture()->geometry(), QRect(16, 40, 33, 33));
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(form.statusLabel()->font().bold());
    EXPECT_TRUE(form.cancelButton()->font().bold());
    EXPECT_EQ(form.size(), QSize(433, 134));
    ASSERT_NE(form.options(), nullptr);
    EXPECT_FALSE(form.options()->isVisible());
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(saverCalls.empty()) << "the screen saver is left alone";
}

TEST_F(ProgressWindowTest, TimerDoesNotRunBeforeStartUp)
{
    EXPECT_FALSE(form.tickTimer()->isActive());
    EXPECT_EQ(form.tickTimer()->interval(), 0);
}

TEST_F(ProgressWindowTest, StoredSettingsShapeTheStart)
{
    Settings stored;
    stored.title = "Compiling";
    stored.buttonText = "Stop";
    stored.statuses[0] = "Step one";
    stored.delays[0] = "0";
    stored.dualBars = false;
    stored.disableScreenSaver = true;
    stored.icon = 5;
    store(stored);
    form.start();
    EXPECT_EQ(form.windowTitle(), "Compiling");
    EXPECT_EQ(form.cancelButton()->text(), "Stop");
    EXPECT_EQ(form.statusLabel()->text(), "Step one");
    EXPECT_EQ(form.tickTimer()->interval(), 1) << "a stored 0 is corrected to 1";
    EXPECT_TRUE(form.bars()[1]->isHidden());
    EXPECT_EQ(saverCalls, (std::vector<bool>{false, false})) << "the box's own switch, then start-up's";
    EXPECT_EQ(pixels(form.iconPicture()->picture()), pixels(QPixmap(":/dawdlex/icons/cd.svg")));
}

// Keys go to the focus window: the Options window must be it after a click on the icon, also when it was
// already open behind the main window.
bool hasKeyboard(QWidget* window)
{
    return QTest::qWaitFor([window] { return QGuiApplication::focusWindow() == window->windowHandle(); },
                           2000);
}

TEST_F(ProgressWindowTest, ClickingThePictureShowsTheOptionsAndKeepsThemShown)
{
    form.start();
    form.show();
    QTest::mouseClick(form.iconPicture(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(form.options()->isVisible());
    EXPECT_TRUE(hasKeyboard(form.options()));
    EXPECT_EQ(QApplication::focusWidget(), form.options()->titleEdit());
    form.activateWindow();
    ASSERT_TRUE(hasKeyboard(&form));
    QTest::mouseClick(form.iconPicture(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(form.options()->isVisible());
    EXPECT_TRUE(hasKeyboard(form.options()));
    EXPECT_TRUE(form.isVisible());
}

TEST_F(ProgressWindowTest, EndingSavesOnceAndStopsEverything)
{
    form.start();
    form.show();
    form.options()->show();
    tick(3);
    form.options()->titleEdit()->setText("Saved");
    form.cancelButton()->click();
    EXPECT_EQ(storedText("Title"), "Saved");
    form.options()->titleEdit()->setText("Not saved");
    form.close();
    form.endProgram();
    EXPECT_EQ(storedText("Title"), "Saved") << "saved once";
    EXPECT_FALSE(form.options()->isVisible()) << "the Options window was asked to close";
    EXPECT_FALSE(form.tickTimer()->isActive());
    tick(5);
    EXPECT_EQ(form.bars()[0]->value(), 3) << "no tick is handled after the end";
    QTest::mouseClick(form.iconPicture(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(form.options()->isVisible());
}

TEST_F(ProgressWindowTest, ApplyDuringPhaseTwoUsesPhaseTwoAndLeavesTheRun)
{
    form.start();
    tick(2 * 41 + 7);
    ASSERT_EQ(form.run().phase(), 2);
    OptionsWindow& options = *form.options();
    options.delayEdits()[2]->setText("650");
    options.titleEdit()->setText("Applied");
    options.applyButton()->click();
    EXPECT_EQ(form.statusLabel()->text(), "Updating...");
    EXPECT_EQ(form.tickTimer()->interval(), 650);
    EXPECT_EQ(form.windowTitle(), "Applied");
    EXPECT_EQ(form.run().phase(), 2);
    EXPECT_EQ(form.bars()[0]->value(), 7);
    EXPECT_EQ(form.bars()[1]->value(), 2);
}

TEST_F(ProgressWindowTest, HiddenSecondBarKeepsCountingAndShowsTheCountAgain)
{
    form.start();
    OptionsWindow& options = *form.options();
    options.dualBarsCheck()->setChecked(false);
    options.applyButton()->click();
    EXPECT_TRUE(form.bars()[1]->isHidden());
    tick(41 * 3);
    options.dualBarsCheck()->setChecked(true);
    options.applyButton()->click();
    EXPECT_FALSE(form.bars()[1]->isHidden());
    EXPECT_EQ(form.bars()[1]->value(), 3);
}

TEST_F(ProgressWindowTest, EditedMessageReachesTheRunAtTheNextChangeOfPhaseWithoutApply)
{
    form.start();
    form.options()->statusEdits()[1]->setText("Edited");
    form.options()->delayEdits()[1]->setText("321");
    EXPECT_EQ(form.statusLabel()->text(), "Reading Files...");
    tick(41);
    EXPECT_EQ(form.statusLabel()->text(), "Edited");
    EXPECT_EQ(form.tickTimer()->interval(), 321);
}

TEST_F(ProgressWindowTest, CustomIconThatCannotBeShownWarnsAndShowsTheOptions)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Only a path to nothing is missing; a folder, a text file and a damaged picture are unreadable.
    const std::vector<std::pair<QString, bool>> cases{
        {dir.filePath("gone.ico"), true},
        {dir.path(), false},
        {writeFile(dir, "notes.ico", "this is not a picture\n"), false},
        {writeFile(dir, "damaged.png", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)), false},
    };
    for (const auto& [path, missing] : cases) {
        SCOPED_TRACE(path.toStdString());
        messages.clear();
        store(customIcon(path));
        ProgressWindow other(seams());
        other.start();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].symbol, MessageSymbol::Warning);
        EXPECT_EQ(messages[0].text == "Custom icon file does not exist.", missing)
            << messages[0].text.toStdString();
        EXPECT_TRUE(other.options()->isVisible());
        EXPECT_TRUE(other.iconPicture()->picture().isNull());
        EXPECT_EQ(other.statusLabel()->text(), "Reading Files...") << "the rest of the start-up ran";
    }
}

// A 1 x 1 GIF with one red pixel; Qt reads GIF but cannot write it.
constexpr char kRedGif[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
                           ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";

// The same red pixel in the top-left corner of an 8000 x 8000 picture: decoded whole it is above the
// size Qt refuses by default, though the format allows it.
constexpr char kHugeGif[] = "GIF89a\x40\x1f\x40\x1f\x80\x00\x00\xff\x00\x00\x00\x00\x00"
                            ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";

TEST_F(ProgressWindowTest, CustomPicturesInEachFormatShow)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage blue(32, 32, QImage::Format_ARGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(blue.save(dir.filePath("blue.ico"), "ICO"));
    ASSERT_TRUE(blue.save(dir.filePath("blue.bmp"), "BMP"));
    const std::vector<std::pair<QString, QColor>> files{
        {dir.filePath("blue.ico"), Qt::blue},
        {dir.filePath("blue.bmp"), Qt::blue},
        {writeFile(dir, "red.gif", QByteArray(kRedGif, sizeof kRedGif - 1)), Qt::red},
        {writeFile(dir, "huge.gif", QByteArray(kHugeGif, sizeof kHugeGif - 1)), Qt::red}};
    form.start();
    OptionsWindow& options = *form.options();
    options.iconChoice()->setCurrentIndex(7);
    for (const auto& [path, colour] : files) {
        options.customIconPathEdit()->setText(path);
        options.applyButton()->click();
        const QImage shown = form.iconPicture()->picture().toImage();
        ASSERT_FALSE(shown.isNull()) << path.toStdString();
        EXPECT_EQ(shown.pixelColor(0, 0), colour) << path.toStdString();
        EXPECT_LE(shown.width(), 33) << path.toStdString();
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(ProgressWindowTest, LargePictureShowsOnlyItsTopLeftCorner)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage big(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            big.setPixelColor(x, y, QColor(x * 4, y * 4, (x + y) % 2 ? 255 : 0));
        }
    }
    const QString path = dir.filePath("big.png");
    ASSERT_TRUE(big.save(path, "PNG"));

    store(customIcon(path));
    form.start();
    ASSERT_TRUE(messages.empty());
    const QImage grabbed = form.iconPicture()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(grabbed.size(), QSize(33, 33));
    EXPECT_EQ(grabbed, big.copy(0, 0, 33, 33));
}

} // namespace
} // namespace dawdlex
