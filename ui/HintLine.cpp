#include "ui/HintLine.h"

#include <QApplication>
#include <QStatusTipEvent>

ApplicationHint::ApplicationHint(std::function<void(const QString &)> onHint, QObject *parent)
    : QObject(parent), m_onHint(std::move(onHint))
{
    qApp->installEventFilter(this);
}

ApplicationHint::~ApplicationHint()
{
    qApp->removeEventFilter(this);
}

QString ApplicationHint::GetLongHint(const QString &hint)
{
    const int bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.mid(bar + 1);
}

bool ApplicationHint::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::StatusTip) {
        if (m_onHint)
            m_onHint(static_cast<QStatusTipEvent *>(event)->tip());
        // Handled here: no window shows it as a transient status message.
        return true;
    }
    return QObject::eventFilter(watched, event);
}
