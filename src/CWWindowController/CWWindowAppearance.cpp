#include "CWWindowAppearance.h"

#include "CWViewPaint.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

QFont cw_system_font(int points)
{
    // The layout's points are Qt's logical pixels, so text keeps the
    // proportions of the frames it sits in at any screen resolution.
    QFont font = QApplication::font();
    font.setPixelSize(points);
    return font;
}

QRect cw_frame(int height, int x, int y, int width, int frameHeight)
{
    return QRect(x, height - y - frameHeight, width, frameHeight);
}

void cw_set_colour(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

void cw_apply_text_field_dark_appearance(QLineEdit* field)
{
    field->setFrame(false);
    field->setAttribute(Qt::WA_MacShowFocusRect, false);
    cw_set_colour(field, QPalette::Base, cw_grey(kCWFieldBackgroundGrey));
    cw_set_colour(field, QPalette::Text, cw_grey(kCWFieldTextGrey));
}

QLabel* cw_label(const QString& text, QWidget* parent)
{
    QLabel* label = new QLabel(text, parent);
    label->setFont(cw_system_font(kCWCaptionPoints));
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    cw_set_colour(label, QPalette::WindowText, cw_grey(kCWCaptionGrey));
    return label;
}

QLineEdit* cw_dark_text_field(const QString& text, QWidget* parent)
{
    QLineEdit* field = new QLineEdit(text, parent);
    cw_apply_text_field_dark_appearance(field);
    return field;
}
