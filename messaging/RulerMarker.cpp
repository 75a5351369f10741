#include "messaging/RulerMarker.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>

RulerMarker::RulerMarker(Glyph glyph, QWidget *parent) : QWidget(parent), m_glyph(glyph)
{
    setCursor(Qt::SizeHorCursor);
}

void RulerMarker::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = width(), h = height();
    const double mid = w / 2.0;
    // An arrow: a triangular head and a stem, pointing at the ruler line.
    QPolygonF arrow;
    if (m_glyph == Glyph::Down) {
        arrow << QPointF(mid - w * 0.2, 0) << QPointF(mid + w * 0.2, 0) << QPointF(mid + w * 0.2, h * 0.45)
              << QPointF(w - 0.5, h * 0.45) << QPointF(mid, h) << QPointF(0.5, h * 0.45)
              << QPointF(mid - w * 0.2, h * 0.45);
    } else {
        arrow << QPointF(mid, 0) << QPointF(w - 0.5, h * 0.5) << QPointF(mid + w * 0.2, h * 0.5)
              << QPointF(mid + w * 0.2, h) << QPointF(mid - w * 0.2, h) << QPointF(mid - w * 0.2, h * 0.5)
              << QPointF(0.5, h * 0.5);
    }
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    p.setBrush(m_glyph == Glyph::OutlineUp ? palette().color(QPalette::Window)
                                           : palette().color(QPalette::WindowText));
    p.drawPolygon(arrow);
}

void RulerMarker::mousePressEvent(QMouseEvent *e)
{
    if (OnMouseDown)
        OnMouseDown(this, static_cast<int>(e->position().x()));
}

void RulerMarker::mouseMoveEvent(QMouseEvent *e)
{
    if (OnMouseMove)
        OnMouseMove(this, static_cast<int>(e->position().x()));
}

void RulerMarker::mouseReleaseEvent(QMouseEvent *e)
{
    if (OnMouseUp)
        OnMouseUp(this, static_cast<int>(e->position().x()));
}
