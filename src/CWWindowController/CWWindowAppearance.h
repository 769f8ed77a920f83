// The look every window and dialog of the program shares: dark fields,
// grey captions, frames written with y measured up from the bottom edge.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

constexpr double kCWFieldTextGrey = 0.92;
constexpr double kCWFieldBackgroundGrey = 0.13;
constexpr double kCWCaptionGrey = 0.82;
constexpr double kCWButtonTintGrey = 0.88;
constexpr int kCWCaptionPoints = 12;

// The system font, `points` logical pixels high.
QFont cw_system_font(int points);

// A frame with y measured from the bottom edge of a content of height H.
QRect cw_frame(int height, int x, int y, int width, int frameHeight);

void cw_set_colour(QWidget* widget, QPalette::ColorRole role, const QColor& colour);
void cw_apply_text_field_dark_appearance(QLineEdit* field);

// A caption: not editable, no background, grey 0.82 in the 12-point font.
QLabel* cw_label(const QString& text, QWidget* parent);
// An editable dark text field showing the text.
QLineEdit* cw_dark_text_field(const QString& text, QWidget* parent);
