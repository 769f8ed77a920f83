#include "CWToneTraceView.h"

#include <gtest/gtest.h>

#include <QMouseEvent>

#include <vector>

#include "qt_offscreen_app.h"

using namespace qt_offscreen;

namespace {

constexpr int kW = 1180, kH = 75;  // the layout size: trace area (10, 8, 1160, 59)

struct Thresholds : CWToneTraceViewDelegate {
    std::vector<float> values;
    void toneTraceViewDidChangeThreshold(CWToneTraceView*, float threshold) override { values.push_back(threshold); }
};

struct Indifferent : CWToneTraceViewDelegate {};

class ToneTraceView : public ::testing::Test {
protected:
    static void SetUpTestSuite() { app(); }

    void SetUp() override
    {
        view.resize(kW, kH);
    }

    void mouse(QEvent::Type type, double x, double y)
    {
        QMouseEvent event(type, QPointF(x, y), view.mapToGlobal(QPointF(x, y)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &event);
    }

    CWToneTraceView view;
};

bool green(const QColor& c)
{
    return c.green() > 100 && c.green() > c.red() + 50;
}

}  // namespace

TEST_F(ToneTraceView, FiveEntriesDrawKeyDownAndLevelAtTheRightEdgeOnly)
{
    for (int i = 0; i < 5; ++i) view.updateWithLevel(0.8f, 0.3f, 1);  // level at y 19.8, threshold 49.3
    const QImage image = render(&view);
    EXPECT_TRUE(near(image.pixelColor(2, 2), grey(0.04))) << describe(image.pixelColor(2, 2));
    // Column 357 covers x 1163.5 to 1166.8 alone.
    const QColor keyDown = over(QColor::fromRgbF(0.08, 0.25, 0.08), 0.55, grey(0.07));
    EXPECT_TRUE(near(image.pixelColor(1165, 35), keyDown)) << describe(image.pixelColor(1165, 35));
    EXPECT_TRUE(near(image.pixelColor(500, 35), grey(0.07))) << describe(image.pixelColor(500, 35));
    const QColor level = image.pixelColor(1165, 19);
    EXPECT_GT(level.green(), 150) << describe(level);
    EXPECT_LT(level.red(), 120) << describe(level);
    EXPECT_LT(image.pixelColor(1150, 19).green(), 40) << describe(image.pixelColor(1150, 19));
}

TEST_F(ToneTraceView, TheCurrentThresholdLineCrossesTheWholeArea)
{
    view.updateWithLevel(0.8f, 0.3f, 0);
    const QImage image = render(&view);
    const QColor line = QColor::fromRgbF(1.0, 0.1, 0.08);
    for (int x : {12, 600, 1168}) EXPECT_TRUE(near(image.pixelColor(x, 49), line, 6)) << x;
    EXPECT_TRUE(near(image.pixelColor(600, 44), grey(0.07))) << describe(image.pixelColor(600, 44));
}

TEST_F(ToneTraceView, LevelsOutsideTheScaleAreDrawnAtItsEdges)
{
    view.updateWithLevel(1.7f, 0.5f, 0);
    view.updateWithLevel(1.7f, 0.5f, 0);
    const QImage top = render(&view);
    EXPECT_TRUE(green(top.pixelColor(1168, 8))) << describe(top.pixelColor(1168, 8));
    EXPECT_FALSE(green(top.pixelColor(1168, 12))) << describe(top.pixelColor(1168, 12));
    view.updateWithLevel(-0.2f, 0.5f, 0);
    view.updateWithLevel(-0.2f, 0.5f, 0);
    const QImage bottom = render(&view);
    EXPECT_TRUE(green(bottom.pixelColor(1168, 66))) << describe(bottom.pixelColor(1168, 66));
    EXPECT_FALSE(green(bottom.pixelColor(1168, 62))) << describe(bottom.pixelColor(1168, 62));
}

TEST_F(ToneTraceView, AClickPlacesTheThresholdAndTellsTheDelegate)
{
    Thresholds delegate;
    view.setDelegate(&delegate);
    mouse(QEvent::MouseButtonPress, 300.0, 37.5);
    mouse(QEvent::MouseMove, 300.0, 2.0);
    mouse(QEvent::MouseMove, 300.0, 74.0);
    EXPECT_EQ(delegate.values, (std::vector<float>{0.5f, 1.0f, 0.0f}));
    EXPECT_EQ(view.currentThreshold(), 0.0f);
    mouse(QEvent::MouseButtonPress, 300.0, 37.5);
    const QImage image = render(&view);
    EXPECT_TRUE(near(image.pixelColor(600, 37), QColor::fromRgbF(1.0, 0.1, 0.08), 6))
        << describe(image.pixelColor(600, 37));
    EXPECT_EQ(view.history().size(), 0u);  // the history is not touched
    view.updateWithLevel(0.2f, 0.7f, 0);
    EXPECT_EQ(view.currentThreshold(), 0.7f);
}

TEST_F(ToneTraceView, ADelegateWithoutTheMethodStillSeesTheLineMove)
{
    Indifferent delegate;
    view.setDelegate(&delegate);
    mouse(QEvent::MouseButtonPress, 300.0, 8.0 + 59.0 * 0.75);
    EXPECT_NEAR(view.currentThreshold(), 0.25f, 1e-6);
    view.setDelegate(nullptr);
    mouse(QEvent::MouseButtonPress, 300.0, 2.0);
    EXPECT_EQ(view.currentThreshold(), 1.0f);
}

TEST_F(ToneTraceView, ShowsACrosshairAndPaintsOpaquely)
{
    EXPECT_EQ(view.cursor().shape(), Qt::CrossCursor);
    EXPECT_TRUE(view.testAttribute(Qt::WA_OpaquePaintEvent));
}
