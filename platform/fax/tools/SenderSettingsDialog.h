#pragma once

#include <QDialog>

class QLineEdit;

// The fax service's settings: the sender details every cover page shows
// unless a document sets its own.
class SenderSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SenderSettingsDialog(QString faxFolder, QWidget *parent = nullptr);

    QLineEdit *editName, *editFaxNumber, *editCompany, *editPhone, *editEmail;

    // Saves the fields as the defaults; false (with the reason shown) when
    // they cannot be written.
    bool save();

private:
    QString m_folder;
};
