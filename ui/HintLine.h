#pragma once

#include <QObject>
#include <functional>

// The application-wide hint: whenever the hint of the control under the
// mouse (its statusTip) or of a menu item changes, the handler gets it.
// Installed once on the application; removed with this object.
class ApplicationHint : public QObject {
    Q_OBJECT
public:
    explicit ApplicationHint(std::function<void(const QString &)> onHint, QObject *parent = nullptr);
    ~ApplicationHint() override;

    // The long part of a hint: the text after the first "|", or all of it.
    static QString GetLongHint(const QString &hint);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void(const QString &)> m_onHint;
};
