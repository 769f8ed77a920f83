#include "CWSpectrumView.h"

#include <gtest/gtest.h>

#include <QMouseEvent>

#include <cmath>
#include <numbers>
#include <vector>

#include "qt_offscreen_app.h"

using namespace qt_offscreen;

namespace {

constexpr int kW = 1180, kH = 110;  // the layout size: plot (10, 10, 1160, 52)
const QColor kYellow = QColor::fromRgbF(1.0, 0.85, 0.2);

double x_of(double hz)
{
    return 10.0 + hz * 1160.0 / 1500.0;
}

void send_mouse(QWidget* widget, QEvent::Type type, double x, double y, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(x, y), widget->mapToGlobal(QPointF(x, y)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

struct Picks : CWSpectrumViewDelegate {
    std::vector<double> pitches;
    void spectrumViewDidSelectPitchHz(CWSpectrumView*, double pitchHz) override { pitches.push_back(pitchHz); }
};

class SpectrumView : public ::testing::Test {
protected:
    static void SetUpTestSuite() { app(); }

    void SetUp() override
    {
        view.resize(kW, kH);
        view.setDelegate(&picks);
    }

    // A tuner's spectrum of one tone: its bin high, its neighbours lower,
    // the peak marked when it lies within reach of the pitch.
    void show(double toneHz, double pitchHz)
    {
        CW_SPECTRUM_SNAPSHOT s{};
        const auto k = static_cast<size_t>(std::lround(toneHz / kCWSpectrumBinHz));
        s.bins[k] = 0.9f;
        s.bins[k - 1] = s.bins[k + 1] = 0.3f;
        const bool near = std::fabs(toneHz - pitchHz) <= kCWSpectrumPeakSearchHz;
        s.pitchHz = pitchHz;
        s.peakHz = near ? toneHz : pitchHz - kCWSpectrumPeakSearchHz;
        s.peakLevel = near ? 0.9f : 0.0f;
        s.peakMarkerVisible = near ? 1 : 0;
        CW_SPECTRUM_FIGURES f = cw_spectrum_initial_figures();
        f.pitchHz = pitchHz;
        view.show(s, f);
    }

    void mouse(QEvent::Type type, double x, double y, Qt::MouseButton button = Qt::LeftButton)
    {
        send_mouse(&view, type, x, y, button);
    }

    CWSpectrumView view;
    Picks picks;
};

bool red_dominant(const QColor& c)
{
    return c.red() > 200 && c.green() < 110 && c.blue() < 100;
}

bool green(const QColor& c)
{
    return c.green() > 100 && c.green() > c.red() + 50;
}

}  // namespace

TEST_F(SpectrumView, PaintsBackgroundPlotAndThePitchMarkerColumn)
{
    show(1200.0, 600.0);
    const QImage image = render(&view);
    EXPECT_TRUE(near(image.pixelColor(2, 2), grey(0.04))) << describe(image.pixelColor(2, 2));
    EXPECT_TRUE(near(image.pixelColor(50, 20), grey(0.08))) << describe(image.pixelColor(50, 20));
    // The marker line at x = 474 runs 5 points under the plot, half over
    // each of the two pixel columns it straddles.
    for (int x : {473, 474}) {
        const QColor c = image.pixelColor(x, 64);
        EXPECT_TRUE(near(c, over(kYellow, 0.5, grey(0.04)), 12)) << x << " " << describe(c);
    }
    EXPECT_TRUE(near(image.pixelColor(470, 64), grey(0.04))) << describe(image.pixelColor(470, 64));
    EXPECT_TRUE(near(image.pixelColor(474, 69), grey(0.04))) << describe(image.pixelColor(474, 69));
}

TEST_F(SpectrumView, TheCurveRisesToTheToneBinsLevel)
{
    show(1200.0, 600.0);
    const QImage image = render(&view);
    const double topY = 62.0 - view.spectrum().bins[240] * 52.0;
    ASSERT_LT(topY, 40.0);
    // The sharp peak's mitre may stand a few points above the bin's value.
    EXPECT_TRUE(green(image.pixelColor(938, static_cast<int>(topY) + 1))) << topY;
    for (int x = 930; x <= 946; ++x)
        for (int y = 0; y < topY - 6.0; ++y) ASSERT_FALSE(green(image.pixelColor(x, y))) << x << ", " << y;
    // A silent bin lies on the plot's bottom edge.
    EXPECT_TRUE(green(image.pixelColor(200, 61))) << describe(image.pixelColor(200, 61));
    for (int y = 10; y < 61; ++y) ASSERT_FALSE(green(image.pixelColor(200, y))) << y;
}

TEST_F(SpectrumView, ThePeakMarkerIsADashedRedLineWithADotNearTheTop)
{
    show(830.0, 600.0);
    const QImage image = render(&view);
    const int x = static_cast<int>(x_of(830.0));  // 651.9: one pixel fully under the 2-point line
    EXPECT_TRUE(red_dominant(image.pixelColor(x, 15))) << describe(image.pixelColor(x, 15));
    // Dashes of 3 on and 2 off from the plot's top at 10: on 20..23, off 23..25.
    EXPECT_TRUE(red_dominant(image.pixelColor(x, 21))) << describe(image.pixelColor(x, 21));
    EXPECT_FALSE(red_dominant(image.pixelColor(x, 24))) << describe(image.pixelColor(x, 24));
    // The dot, 6 across, sits 2 under the plot's top: beside the line it
    // shows at its middle row and nowhere lower down.
    EXPECT_TRUE(red_dominant(image.pixelColor(x - 2, 15))) << describe(image.pixelColor(x - 2, 15));
    EXPECT_FALSE(red_dominant(image.pixelColor(x - 2, 21))) << describe(image.pixelColor(x - 2, 21));
    EXPECT_FALSE(red_dominant(image.pixelColor(x + 5, 15))) << describe(image.pixelColor(x + 5, 15));
}

TEST_F(SpectrumView, AClickPicksARoundedPitchAndMovesTheMarker)
{
    show(1200.0, 600.0);
    mouse(QEvent::MouseButtonPress, x_of(1002.4), 30.0);
    ASSERT_EQ(picks.pitches, std::vector<double>{1000.0});
    EXPECT_EQ(view.figures().pitchHz, 1000.0);
    const QImage image = render(&view);
    const QColor c = image.pixelColor(static_cast<int>(x_of(1000.0)), 64);  // 783.3
    EXPECT_GT(c.red(), 150) << describe(c);
    EXPECT_TRUE(near(image.pixelColor(474, 64), grey(0.04))) << describe(image.pixelColor(474, 64));
}

TEST_F(SpectrumView, DraggingReportsEveryMoveInsideThePlot)
{
    mouse(QEvent::MouseButtonPress, x_of(700.0), 30.0);
    mouse(QEvent::MouseMove, x_of(1002.5), 30.0);
    mouse(QEvent::MouseMove, x_of(1237.0), 30.0);
    mouse(QEvent::MouseMove, x_of(800.0), 100.0);  // below the plot
    mouse(QEvent::MouseButtonRelease, x_of(800.0), 100.0);
    EXPECT_EQ(picks.pitches, (std::vector<double>{700.0, 1005.0, 1200.0}));
}

TEST_F(SpectrumView, ClicksOutsideThePlotOrWithOtherButtonsAreIgnored)
{
    mouse(QEvent::MouseButtonPress, 5.0, 30.0);
    mouse(QEvent::MouseButtonPress, x_of(700.0), 69.0);
    mouse(QEvent::MouseButtonPress, x_of(700.0), 30.0, Qt::RightButton);
    EXPECT_TRUE(picks.pitches.empty());
    EXPECT_EQ(view.figures().pitchHz, 600.0);
}

TEST_F(SpectrumView, APressTakesKeyboardFocus)
{
    QWidget window;
    QWidget* other = new QWidget(&window);
    CWSpectrumView* shown = new CWSpectrumView(&window);
    shown->resize(kW, kH);
    other->setFocusPolicy(Qt::StrongFocus);
    window.show();
    window.activateWindow();
    other->setFocus();
    QCoreApplication::processEvents();
    ASSERT_FALSE(shown->hasFocus());
    send_mouse(shown, QEvent::MouseButtonPress, x_of(700.0), 30.0, Qt::LeftButton);
    EXPECT_TRUE(shown->hasFocus());
}
