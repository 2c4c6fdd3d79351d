#include "FramePacer.h"

#include <QPaintEvent>
#include <QProgressBar>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace dawdlex {
namespace {

class CountingBar : public QProgressBar
{
public:
    using QProgressBar::QProgressBar;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        QProgressBar::paintEvent(event);
    }
};

class FramePacerTest : public ::testing::Test
{
protected:
    FramePacerTest()
    {
        window.resize(200, 40);
        bar = new CountingBar(&window);
        bar->setRange(0, 40);
        bar->setGeometry(0, 0, 200, 20);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(50);
    }

    QWidget window;
    CountingBar* bar = nullptr;
    FramePacer pacer{&window};
};

TEST_F(FramePacerTest, TheValueIsThereAtOnceAndThePaintFollowsOnce)
{
    const int before = bar->paints;
    for (int step = 1; step <= 30; ++step) {
        pacer.setValue(bar, step);
        EXPECT_EQ(bar->value(), step);
    }
    EXPECT_EQ(bar->paints, before) << "no synchronous repaint per change";
    EXPECT_TRUE(QTest::qWaitFor([this, before] { return bar->paints > before; }, 2000));
    QTest::qWait(100);
    EXPECT_EQ(bar->paints, before + 1) << "thirty changes in one frame paint once";
    EXPECT_TRUE(bar->updatesEnabled());
}

TEST_F(FramePacerTest, AnUnchangedValueAsksForNoPaint)
{
    pacer.setValue(bar, 7);
    EXPECT_TRUE(QTest::qWaitFor([this] { return bar->updatesEnabled(); }, 2000));
    QTest::qWait(100);
    const int before = bar->paints;
    pacer.setValue(bar, 7);
    EXPECT_TRUE(bar->updatesEnabled());
    QTest::qWait(100);
    EXPECT_EQ(bar->paints, before);
}

TEST_F(FramePacerTest, AHiddenBarKeepsItsValueAndShowsItWhenShown)
{
    bar->hide();
    pacer.setValue(bar, 12);
    EXPECT_TRUE(QTest::qWaitFor([this] { return bar->updatesEnabled(); }, 2000));
    bar->show();
    EXPECT_EQ(bar->value(), 12);
}

} // namespace
} // namespace dawdlex
