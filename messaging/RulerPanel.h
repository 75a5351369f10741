#pragma once

#include <QFrame>
#include <functional>

// The ruler panel: its caption, the tick string, is drawn left-justified
// with tabs expanded at the editor's default tab stops.
class RulerPanel : public QFrame {
    Q_OBJECT
public:
    explicit RulerPanel(QWidget *parent = nullptr);

    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);
    void setTabStop(double px);
    int ClientWidth() const { return contentsRect().width(); }

    std::function<void()> OnResize;

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    QString m_caption;
    double m_tabStop = 48;
};
