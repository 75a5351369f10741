#pragma once

// The about box: the program's name, a notice and its web address, with a
// button that opens the address.

#include <QDialog>

class QLabel;
class QPushButton;
class Shell;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 228;
    static constexpr int kClientHeight = 179;
    // The product's web address; the project has none of its own yet, so
    // this is a reserved name that goes nowhere.
    static QString websiteAddress();

    explicit TfrmAbout(Shell &shell, QWidget *parent = nullptr);

    QLabel *lblProduct;
    QLabel *lblDescription;
    QLabel *lblNotice;
    QLabel *lblWebsite;
    QPushButton *Button1;

    // "Visit Website": opens the address, then closes the box.
    void Button1Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    Shell &m_shell;
};
