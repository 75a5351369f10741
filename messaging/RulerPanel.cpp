#include "messaging/RulerPanel.h"

#include <QPainter>
#include <QTextLayout>
#include <QTextOption>

RulerPanel::RulerPanel(QWidget *parent) : QFrame(parent) {}

void RulerPanel::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void RulerPanel::setTabStop(double px)
{
    m_tabStop = px;
    update();
}

void RulerPanel::paintEvent(QPaintEvent *e)
{
    QFrame::paintEvent(e);
    QPainter p(this);
    QFont small = font();
    small.setPointSizeF(std::max(5.0, small.pointSizeF() * 0.8));
    QTextOption option(Qt::AlignLeft | Qt::AlignVCenter);
    option.setTabStopDistance(m_tabStop);
    option.setWrapMode(QTextOption::NoWrap);
    QTextLayout layout(m_caption, small);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    // Ticks start where the text does: the editor's frame plus its gap.
    const QRect r = contentsRect();
    p.setPen(palette().color(QPalette::WindowText));
    line.draw(&p, QPointF(r.left() + 7, r.top() + (r.height() - line.height()) / 2));
}

void RulerPanel::resizeEvent(QResizeEvent *e)
{
    QFrame::resizeEvent(e);
    if (OnResize)
        OnResize();
}
