#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into an ordinary close of the program
// from its event loop, so a session logout, a Ctrl+C in the terminal or a
// service manager stopping us ends the program as the operator closing it
// would: settings and table written, files closed. A second signal while
// that close is still running ends the process at once. A message box
// still open is answered as its Escape key would answer it.
class CloseOnSignal : public QObject {
public:
    explicit CloseOnSignal(std::function<void()> close, QObject *parent = nullptr);
    ~CloseOnSignal() override;

private:
    void received();
    // Boxes still waiting for an operator are dismissed first: the close
    // could not run while one of them holds the event loop.
    void closeOnceNoBoxIsOpen();

    std::function<void()> m_close;
    QSocketNotifier *m_notifier = nullptr;
    bool m_closing = false;
};
