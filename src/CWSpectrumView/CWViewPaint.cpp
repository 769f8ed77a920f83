#include "CWViewPaint.h"

#include <QFontDatabase>
#include <QFontMetricsF>

QColor cw_grey(double level)
{
    return QColor::fromRgbF(level, level, level, 1.0);
}

QPen cw_pen(const QColor& color, double width)
{
    QPen pen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(5.0);  // Qt measures from the joint, so this is the usual limit of 10
    return pen;
}

QFont cw_monospaced_font(int size)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!font.fixedPitch()) {
        font.setFamily(QStringLiteral("monospace"));
        font.setStyleHint(QFont::Monospace);
    }
    font.setWeight(QFont::Normal);
    font.setPixelSize(size);  // one pixel per display point at scale 1
    return font;
}

void cw_draw_backdrop(QPainter& p, const QWidget& widget, QPixmap* cache, const std::function<void(QPainter&)>& draw)
{
    const qreal ratio = widget.devicePixelRatioF();
    const QSize pixels = (QSizeF(widget.size()) * ratio).toSize();
    if (cache->size() != pixels || cache->devicePixelRatio() != ratio) {
        *cache = QPixmap(pixels);
        cache->setDevicePixelRatio(ratio);
        QPainter q(cache);
        q.setRenderHints(p.renderHints());
        draw(q);
    }
    p.drawPixmap(0, 0, *cache);
}

size_t cw_monospaced_columns(const QFont& font, double width)
{
    const double advance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('0'));
    return advance > 0.0 && width > 0.0 ? static_cast<size_t>(width / advance) : 0;
}
