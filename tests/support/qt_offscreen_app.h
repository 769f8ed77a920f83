// One QApplication on the offscreen platform for widget tests, created on
// first use so that listing the tests needs no display.
#pragma once

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QWidget>

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
    return QColor::fromRgbF(c.redF() * alpha + background.redF() * (1.0 - alpha),
                            c.greenF() * alpha + background.greenF() * (1.0 - alpha),
                            c.blueF() * alpha + background.blueF() * (1.0 - alpha));
}

inline QColor grey(double g)
{
    return QColor::fromRgbF(g, g, g);
}

// Each channel within `tolerance` of the expected 0..255 value.
inline bool near(const QColor& actual, const QColor& expected, int tolerance = 3)
{
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

inline std::string describe(const QColor& c)
{
    return "rgb(" + std::to_string(c.red()) + ", " + std::to_string(c.green()) + ", " + std::to_string(c.blue()) + ")";
}

}  // namespace qt_offscreen
