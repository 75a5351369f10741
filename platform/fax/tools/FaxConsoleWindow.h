#pragma once

#include <QMainWindow>

class FaxServer;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

// The fax console: the jobs waiting in the outgoing queue and the faxes
// sent, refreshed every second; the line sends due jobs while it is open.
class FaxConsoleWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit FaxConsoleWindow(FaxServer &server, QWidget *parent = nullptr);

    void refresh();
    void cancelSelectedJob();
    void viewSelectedFax();
    void editSender();

    QTableWidget *tblOutbox, *tblSent;
    QPushButton *btnCancelJob, *btnView, *btnSender, *btnRefresh;
    QLabel *lblStatus;

private:
    FaxServer *m_server;
    QTimer *m_timer;
};
