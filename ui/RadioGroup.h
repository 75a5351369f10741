#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>
#include <functional>

class QRadioButton;

// A captioned group of radio buttons with one selected index. OnClick runs
// whenever the selected index changes, by the operator or by setItemIndex;
// choosing the item that is already selected changes nothing.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString &caption, const QStringList &items, int columns = 1, QWidget *parent = nullptr);

    int ItemIndex() const { return m_index; }
    void setItemIndex(int index);
    int count() const { return int(m_buttons.size()); }
    QRadioButton *item(int index) const { return m_buttons.value(index); }

    std::function<void()> OnClick;

private:
    QButtonGroup m_group;
    QList<QRadioButton *> m_buttons;
    int m_index = -1;
};

// A status bar of fixed-width text panels.
class TStatusBar : public QWidget {
    Q_OBJECT
public:
    // widths of the panels; the last one takes what is left
    explicit TStatusBar(const QList<int> &widths, QWidget *parent = nullptr);
    QString panelText(int index) const;
    void setPanelText(int index, const QString &text);
    int panelCount() const { return int(m_panels.size()); }

private:
    QList<class QLabel *> m_panels;
};
