// The tone trace widget painted offscreen and clicked.
#include "CWToneTraceView.h"

#include "qt_offscreen_app.h"

#include <QMouseEvent>
#include <gtest/gtest.h>

#include <vector>

using namespace qt_offscreen;

namespace {

constexpr int kW = 1180, kH = 75;  // the layout size: trace area (10, 8, 1160, 59)
const QColor kThresholdRed = QColor::fromRgbF(1.0, 0.1, 0.08);

struct Thresholds : CWToneTraceViewDelegate {
    std::vector<float> values;
    void toneTraceViewDidChangeThreshold(CWToneTraceView*, float threshold) override { values.push_back(threshold); }
};

class ToneTraceView : public ::testing::Test {
protected:
    static void SetUpTestSuite() { app(); }
    void SetUp() override { view.resize(kW, kH); }

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

// Five entries fill the columns at the right edge only (column 357 covers
// x 1163.5 to 1166.8 alone); the threshold line crosses the whole area.
TEST_F(ToneTraceView, EntriesDrawKeyDownLevelAndThresholdAtTheRightEdge)
{
    for (int i = 0; i < 5; ++i)
        view.updateWithLevel(0.8f, 0.3f, 1);  // level at y 19.8, threshold 49.3
    const QImage image = render(&view);
    const auto expect_colour = [&](int x, int y, const QColor& c, int tolerance = 3) {
        EXPECT_TRUE(near(image.pixelColor(x, y), c, tolerance))
            << x << ", " << y << ": " << describe(image.pixelColor(x, y));
    };
    expect_colour(2, 2, grey(0.04));
    expect_colour(1165, 35, over(QColor::fromRgbF(0.08, 0.25, 0.08), 0.55, grey(0.07)));  // key down
    expect_colour(500, 35, grey(0.07));
    expect_colour(600, 44, grey(0.07));
    for (int x : {12, 600, 1168})
        expect_colour(x, 49, kThresholdRed, 6);
    EXPECT_TRUE(green(image.pixelColor(1165, 19)) && !green(image.pixelColor(1150, 19)));
}

// A click or drag places the threshold, held to 0..1, and tells a delegate
// that asks; the history is not touched, and the next update sets it again.
TEST_F(ToneTraceView, AClickPlacesTheThresholdAndTellsTheDelegate)
{
    Thresholds delegate;
    view.setDelegate(&delegate);
    for (auto [type, y] :
         {std::pair{QEvent::MouseButtonPress, 37.5}, {QEvent::MouseMove, 2.0}, {QEvent::MouseMove, 74.0}})
        mouse(type, 300.0, y);
    EXPECT_EQ(delegate.values, (std::vector<float>{0.5f, 1.0f, 0.0f}));
    mouse(QEvent::MouseButtonPress, 300.0, 37.5);
    EXPECT_TRUE(near(render(&view).pixelColor(600, 37), kThresholdRed, 6));
    EXPECT_EQ(view.history().size(), 0u);
    view.updateWithLevel(0.2f, 0.7f, 0);
    EXPECT_EQ(view.currentThreshold(), 0.7f);

    struct : CWToneTraceViewDelegate {
    } indifferent;  // one that does not ask
    view.setDelegate(&indifferent);
    mouse(QEvent::MouseButtonPress, 300.0, 8.0 + 59.0 * 0.75);
    EXPECT_NEAR(view.currentThreshold(), 0.25f, 1e-6);
    view.setDelegate(nullptr);
    mouse(QEvent::MouseButtonPress, 300.0, 2.0);
    EXPECT_EQ(view.currentThreshold(), 1.0f);
}

// What stays the same from paint to paint is drawn once and kept: it must
// follow a resize, and the label must follow the threshold it reads.
TEST_F(ToneTraceView, TheFrameFollowsTheSizeAndTheLabelTheThreshold)
{
    const auto label_area = [](const QImage& image) { return image.copy(18, 13, 280, 14); };
    view.updateWithLevel(0.1f, 0.3f, 0);
    const QImage wide = render(&view);
    view.resize(600, kH);  // trace area (10, 8, 580, 59)
    const QImage narrow = render(&view);
    ASSERT_EQ(narrow.width(), 600);
    EXPECT_TRUE(near(narrow.pixelColor(300, 35), grey(0.07))) << describe(narrow.pixelColor(300, 35));
    EXPECT_TRUE(near(narrow.pixelColor(595, 35), grey(0.04))) << describe(narrow.pixelColor(595, 35));
    EXPECT_TRUE(near(wide.pixelColor(595, 35), grey(0.07))) << describe(wide.pixelColor(595, 35));
    EXPECT_EQ(label_area(narrow), label_area(wide));

    view.updateWithLevel(0.1f, 0.2f, 0);  // "thr 0.20"; the threshold line stays below the label
    const QImage lower = render(&view);
    EXPECT_NE(label_area(lower), label_area(narrow));
    view.updateWithLevel(0.1f, 0.3f, 0);
    EXPECT_EQ(label_area(render(&view)), label_area(narrow));
}
