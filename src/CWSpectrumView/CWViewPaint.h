// Drawing conventions shared by the spectrum and tone trace views: colours
// given as grey levels, pens and the monospaced font.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QWidget>

#include <cstddef>
#include <functional>

QColor cw_grey(double level);

// Butt caps and mitred joins, so lines end exactly where they are drawn.
QPen cw_pen(const QColor& color, double width);

// The system's monospaced font, regular, `size` display points high.
QFont cw_monospaced_font(int size);

// How many characters of a monospaced font fit in `width` pixels.
size_t cw_monospaced_columns(const QFont& font, double width);

// What a view paints alike every time (backgrounds, frame, grid), drawn by
// `draw` into `cache` once and copied from it until the widget's size or
// pixel ratio changes: the views repaint many times a second, and copying
// pixels costs far less than filling and stroking them again.
void cw_draw_backdrop(QPainter& p, const QWidget& widget, QPixmap* cache, const std::function<void(QPainter&)>& draw);
