// One QApplication on the offscreen platform for widget tests, created on first use so that listing the tests
// needs no display; and ways to read back what a widget painted.
#pragma once

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace qt_offscreen {

inline QApplication& app()
{
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *instance;
}

// The widget painted at its size, one pixel per point.
inline QImage render(QWidget* widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image);
    return image;
}

// Colour `c` at `alpha` laid over an opaque background.
inline QColor over(const QColor& c, double alpha, const QColor& background)
{
    const auto mix = [alpha](double a, double b) { return a * alpha + b * (1.0 - alpha); };
    return QColor::fromRgbF(mix(c.redF(), background.redF()), mix(c.greenF(), background.greenF()),
                            mix(c.blueF(), background.blueF()));
}

inline QColor grey(double g)
{
    return QColor::fromRgbF(g, g, g);
}

// Each channel within `tolerance` of the expected 0..255 value.
inline bool near(const QColor& actual, const QColor& expected, int tolerance = 3)
{
    return std::max({std::abs(actual.red() - expected.red()), std::abs(actual.green() - expected.green()),
                     std::abs(actual.blue() - expected.blue())}) <= tolerance;
}

inline std::string describe(const QColor& c)
{
    return "rgb(" + std::to_string(c.red()) + ", " + std::to_string(c.green()) + ", " + std::to_string(c.blue()) + ")";
}

}  // namespace qt_offscreen
