// The spectrum widget painted offscreen and clicked.
#include "CWSpectrumView.h"

#include "qt_offscreen_app.h"

#include <QMouseEvent>
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

using namespace qt_offscreen;

namespace {

constexpr int kW = 1180, kH = 110;  // the layout size: plot (10, 10, 1160, 52)

double x_of(double hz)
{
    return 10.0 + hz * 1160.0 / 1500.0;
}

struct Picks : CWSpectrumViewDelegate {
    std::vector<double> pitches;
    void spectrumViewDidSelectPitchHz(CWSpectrumView*, double pitchHz) override { pitches.push_back(pitchHz); }
};

class SpectrumView : public ::testing::Test {
protected:
    static void SetUpTestSuite() { app(); }
    void SetUp() override { view.resize(kW, kH), view.setDelegate(&picks); }

    // A tuner's spectrum of one tone, its peak marked when within reach of the pitch.
    void show(double toneHz, double pitchHz)
    {
        CW_SPECTRUM_SNAPSHOT s{};
        const auto k = static_cast<size_t>(std::lround(toneHz / kCWSpectrumBinHz));
        s.bins[k] = 0.9f;
        s.bins[k - 1] = s.bins[k + 1] = 0.3f;
        const bool near = std::fabs(toneHz - pitchHz) <= kCWSpectrumPeakSearchHz;
        s.pitchHz = pitchHz, s.peakHz = near ? toneHz : pitchHz - kCWSpectrumPeakSearchHz;
        s.peakLevel = near ? 0.9f : 0.0f, s.peakMarkerVisible = near ? 1 : 0;
        CW_SPECTRUM_FIGURES f = cw_spectrum_initial_figures();
        f.pitchHz = pitchHz;
        view.show(s, f);
    }

    CWSpectrumView view;
    Picks picks;
};

void mouse(QWidget* widget, QEvent::Type type, double x, double y, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(x, y), widget->mapToGlobal(QPointF(x, y)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

bool red(const QColor& c)
{
    return c.red() > 200 && c.green() < 110 && c.blue() < 100;
}
bool green(const QColor& c)
{
    return c.green() > 100 && c.green() > c.red() + 50;
}

}  // namespace

// The pitch marker at x = 474 runs 5 points under the plot, half over each
// of the two pixel columns it straddles; the curve rises to the tone bin's
// level (its mitre may stand a few points above) and lies on the plot's
// bottom edge elsewhere.
TEST_F(SpectrumView, PaintsBackgroundPlotPitchMarkerAndCurve)
{
    show(1200.0, 600.0);
    const QImage image = render(&view);
    const auto expect_colour = [&](int x, int y, const QColor& c, int tolerance = 3) {
        EXPECT_TRUE(near(image.pixelColor(x, y), c, tolerance))
            << x << ", " << y << ": " << describe(image.pixelColor(x, y));
    };
    expect_colour(2, 2, grey(0.04));
    expect_colour(50, 20, grey(0.08));
    for (int x : {473, 474})
        expect_colour(x, 64, over(QColor::fromRgbF(1.0, 0.85, 0.2), 0.5, grey(0.04)), 12);
    expect_colour(470, 64, grey(0.04));
    expect_colour(474, 69, grey(0.04));

    const double topY = 62.0 - view.spectrum().bins[240] * 52.0;
    ASSERT_LT(topY, 40.0);
    EXPECT_TRUE(green(image.pixelColor(938, static_cast<int>(topY) + 1))) << topY;
    for (int x = 930; x <= 946; ++x)  // nothing over the peak but its mitre
        for (int y = 0; y < topY - 6.0; ++y)
            ASSERT_FALSE(green(image.pixelColor(x, y))) << x << ", " << y;
    EXPECT_TRUE(green(image.pixelColor(200, 61))) << describe(image.pixelColor(200, 61));
    for (int y = 10; y < 61; ++y)
        ASSERT_FALSE(green(image.pixelColor(200, y))) << y;
}

// Dashes of 3 on and 2 off from the plot's top; the dot, 6 across, sits 2
// under the top, so beside the line it shows at its middle row only.
TEST_F(SpectrumView, ThePeakMarkerIsADashedRedLineWithADotNearTheTop)
{
    show(830.0, 600.0);
    const QImage image = render(&view);
    const int x = static_cast<int>(x_of(830.0));  // one pixel fully under the 2-point line
    for (auto [dx, y, shown] :
         {std::tuple{0, 15, true}, {0, 21, true}, {0, 24, false}, {-2, 15, true}, {-2, 21, false}, {5, 15, false}})
        EXPECT_EQ(red(image.pixelColor(x + dx, y)), shown) << dx << ", " << y;
}

// A click picks a rounded pitch and moves the marker; a drag reports every
// move inside the plot; clicks outside it or with other buttons do nothing.
TEST_F(SpectrumView, ClicksAndDragsInsideThePlotPickThePitch)
{
    mouse(&view, QEvent::MouseButtonPress, 5.0, 30.0);
    mouse(&view, QEvent::MouseButtonPress, x_of(700.0), 69.0);
    mouse(&view, QEvent::MouseButtonPress, x_of(700.0), 30.0, Qt::RightButton);
    EXPECT_TRUE(picks.pitches.empty());
    EXPECT_EQ(view.figures().pitchHz, 600.0);

    show(1200.0, 600.0);
    mouse(&view, QEvent::MouseButtonPress, x_of(1002.4), 30.0);
    ASSERT_EQ(picks.pitches, std::vector<double>{1000.0});
    EXPECT_EQ(view.figures().pitchHz, 1000.0);
    const QImage image = render(&view);
    EXPECT_GT(image.pixelColor(static_cast<int>(x_of(1000.0)), 64).red(), 150);
    EXPECT_TRUE(near(image.pixelColor(474, 64), grey(0.04))) << describe(image.pixelColor(474, 64));

    mouse(&view, QEvent::MouseMove, x_of(1002.5), 30.0);
    mouse(&view, QEvent::MouseMove, x_of(1237.0), 30.0);
    mouse(&view, QEvent::MouseMove, x_of(800.0), 100.0);  // below the plot
    mouse(&view, QEvent::MouseButtonRelease, x_of(800.0), 100.0);
    EXPECT_EQ(picks.pitches, (std::vector<double>{1000.0, 1005.0, 1200.0}));
}
