// Drawing conventions shared by the spectrum and tone trace views: colours
// given as grey levels, pens and the monospaced font.
#pragma once

#include <QColor>
#include <QFont>
#include <cstddef>
#include <QPen>

QColor cw_grey(double level);

// Butt caps and mitred joins, so lines end exactly where they are drawn.
QPen cw_pen(const QColor& color, double width);

// The system's monospaced font, regular, `size` display points high.
QFont cw_monospaced_font(int size);

// How many characters of a monospaced font fit in `width` pixels.
size_t cw_monospaced_columns(const QFont& font, double width);
