#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// An up-down control bound to an edit: each click steps the number in the
// edit, within Min..Max, and writes it back as text.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QLineEdit *associate, QWidget *parent = nullptr);

    int Position() const { return m_position; }
    void setPosition(int position);
    int Min() const { return m_min; }
    int Max() const { return m_max; }
    void setRange(int min, int max);

    void stepUp() { step(1); }
    void stepDown() { step(-1); }

private:
    void step(int delta);

    QLineEdit *m_associate;
    QToolButton *m_up;
    QToolButton *m_down;
    int m_position = 0;
    int m_min = 0;
    int m_max = 100;
};
