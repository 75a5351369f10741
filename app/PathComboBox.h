#pragma once

#include <QComboBox>
#include <functional>

class QPainter;

// A drop-down list whose items are drawn by its owner, in the list and in
// the closed box alike: the message lists show the end of a long path.
class PathComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit PathComboBox(QWidget *parent = nullptr);

    // Draws item index into rect; selected items use the highlight colours.
    std::function<void(QPainter &, const QRect &, int index, bool selected)> OnDrawItem;

    // The owner's drawing when it has one, else right-aligned text ending
    // 2 pixels inside the rectangle, from its top.
    void drawItem(QPainter &painter, const QRect &rect, int index, bool selected) const;
    static void drawRightAligned(QPainter &painter, const QRect &rect, const QString &text, bool selected,
                                 const QPalette &palette);

protected:
    void paintEvent(QPaintEvent *event) override;
};
