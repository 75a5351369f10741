#include "messaging/UpDown.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

UpDown::UpDown(QLineEdit *associate, QWidget *parent) : QWidget(parent), m_associate(associate)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_up = new QToolButton(this);
    m_up->setObjectName("UpButton");
    m_up->setArrowType(Qt::UpArrow);
    m_down = new QToolButton(this);
    m_down->setObjectName("DownButton");
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton *b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setFixedSize(16, 11);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
    }
    connect(m_up, &QToolButton::clicked, this, &UpDown::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDown::stepDown);
}

void UpDown::setPosition(int position)
{
    m_position = std::clamp(position, m_min, m_max);
    if (m_associate)
        m_associate->setText(QString::number(m_position));
}

void UpDown::setRange(int min, int max)
{
    m_min = min;
    m_max = std::max(min, max);
    m_position = std::clamp(m_position, m_min, m_max);
}

void UpDown::step(int delta)
{
    // Steps from what the edit shows now, as the operator may have typed.
    bool ok = false;
    const int shown = m_associate ? m_associate->text().trimmed().toInt(&ok) : 0;
    setPosition((ok ? shown : m_position) + delta);
}
