#pragma once

#include "app/WindowRegistry.h"
#include "telephony/CallController.h"
#include "ui/DBGrid.h"

#include <QWidget>

class QPushButton;
class DataSource;

// The number list: the contacts' names and numbers on the main contact
// window's data source, with one "Dial" button. Under "Any schedule due"
// the numbers due today are painted lime green.
class TfrmSimpleNumbers : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSimpleNumbers(WindowRegistry &registry, QWidget *parent = nullptr);

    // The grid is bound once the main contact window (created after us) exists.
    void bindDataSource(DataSource &source);

    void btnDialClick();
    // The call state the main window's timer published.
    void applyCallState(const CallButtons &state);
    void DBGrid1DrawColumnCell(DBGrid::DrawCell &cell);
    void FormClose();

    DBGrid *DBGrid1 = nullptr;
    QWidget *Panel1 = nullptr;
    QPushButton *btnDial = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    WindowRegistry *m_registry;
    bool m_closing = false;
};
