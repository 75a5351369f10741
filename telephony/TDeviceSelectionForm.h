#pragma once

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

// "Device Selection": the line devices (and direct COM ports) to choose from.
class TDeviceSelectionForm : public QDialog {
public:
    explicit TDeviceSelectionForm(QWidget *parent = nullptr);

    void setEntries(const QStringList &entries, int preselected);
    QString selectedEntry() const;

    QLabel *lblDevices;
    QListWidget *lbDevices;
    QPushButton *btnOK;
    QPushButton *btnCancel;
};
