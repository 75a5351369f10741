#pragma once

#include "app/WindowRegistry.h"

#include <QWidget>

class QLineEdit;
class QPushButton;

// "Manual Dial": a number typed by the operator, dialled as it stands.
// Not modal; it stays open until the operator closes it.
class TfrmManualDial : public QWidget {
    Q_OBJECT
public:
    explicit TfrmManualDial(WindowRegistry &registry, QWidget *parent = nullptr);

    void Button1Click();

    QLineEdit *Edit1 = nullptr;
    QPushButton *Button1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    WindowRegistry *m_registry;
};
