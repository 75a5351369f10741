#include "app/PathComboBox.h"

#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>

namespace {
constexpr int kItemHeight = 13;

class OwnerDrawDelegate : public QStyledItemDelegate {
public:
    explicit OwnerDrawDelegate(PathComboBox *box) : QStyledItemDelegate(box), m_box(box) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        m_box->drawItem(*painter, option.rect, index.row(), option.state & QStyle::State_Selected);
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kItemHeight};
    }

private:
    PathComboBox *m_box;
};
} // namespace

PathComboBox::PathComboBox(QWidget *parent) : QComboBox(parent)
{
    setItemDelegate(new OwnerDrawDelegate(this));
}

void PathComboBox::drawRightAligned(QPainter &painter, const QRect &rect, const QString &text, bool selected,
                                    const QPalette &palette)
{
    painter.save();
    painter.fillRect(rect, palette.color(selected ? QPalette::Highlight : QPalette::Base));
    painter.setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    // Right end 2 pixels inside, top-aligned: a long path shows its file name.
    const QRect area(rect.left(), rect.top(), rect.width() - 2, rect.height());
    painter.setClipRect(rect);
    painter.drawText(area, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, text);
    painter.restore();
}

void PathComboBox::drawItem(QPainter &painter, const QRect &rect, int index, bool selected) const
{
    if (OnDrawItem)
        OnDrawItem(painter, rect, index, selected);
    else
        drawRightAligned(painter, rect, itemText(index), selected, palette());
}

void PathComboBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0)
        return;
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    drawItem(painter, field, currentIndex(), hasFocus());
}
