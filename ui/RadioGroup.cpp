#include "ui/RadioGroup.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>

TRadioGroup::TRadioGroup(const QString &caption, const QStringList &items, int columns, QWidget *parent)
    : QGroupBox(caption, parent)
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 2, 8, 2);
    grid->setVerticalSpacing(0);
    columns = std::max(1, columns);
    const int rows = (int(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items[i], this);
        b->setObjectName(QStringLiteral("item%1").arg(i));
        m_group.addButton(b, i);
        grid->addWidget(b, i % rows, i / rows);
        m_buttons << b;
    }
    connect(&m_group, &QButtonGroup::idClicked, this, [this](int id) { setItemIndex(id); });
}

void TRadioGroup::setItemIndex(int index)
{
    if (index < -1 || index >= m_buttons.size())
        index = -1;
    if (index >= 0)
        m_buttons[index]->setChecked(true);
    if (index == m_index)
        return;
    m_index = index;
    if (index < 0) {
        m_group.setExclusive(false);
        for (QRadioButton *b : m_buttons)
            b->setChecked(false);
        m_group.setExclusive(true);
    }
    if (OnClick)
        OnClick();
}

TStatusBar::TStatusBar(const QList<int> &widths, QWidget *parent) : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 2, 0, 0);
    row->setSpacing(2);
    for (int i = 0; i < widths.size(); ++i) {
        auto *l = new QLabel(this);
        l->setObjectName(QStringLiteral("panel%1").arg(i));
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setTextFormat(Qt::PlainText);
        l->setIndent(2);
        if (i + 1 < widths.size())
            l->setFixedWidth(widths[i]);
        else
            l->setMinimumWidth(widths[i]);
        row->addWidget(l, i + 1 < widths.size() ? 0 : 1);
        m_panels << l;
    }
}

QString TStatusBar::panelText(int index) const
{
    return m_panels.value(index) ? m_panels[index]->text() : QString();
}

void TStatusBar::setPanelText(int index, const QString &text)
{
    if (QLabel *l = m_panels.value(index))
        l->setText(text);
}
