#include "app/CloseOnSignal.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A signal handler may only write to a descriptor; the event loop reads the
// other end and does the real work outside the handler.
int g_pipe[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void onSignal(int sig)
{
    const char byte = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
}

} // namespace

CloseOnSignal::CloseOnSignal(std::function<void()> close, QObject *parent)
    : QObject(parent), m_close(std::move(close))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return; // without the pipe the signals keep their default: end the process
    ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CloseOnSignal::received);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kSignals)
        ::sigaction(sig, &sa, nullptr);
}

CloseOnSignal::~CloseOnSignal()
{
    if (!m_notifier)
        return;
    for (int sig : kSignals)
        ::signal(sig, SIG_DFL);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void CloseOnSignal::received()
{
    char byte = 0;
    if (::read(g_pipe[0], &byte, 1) != 1)
        return;
    if (m_closing) {
        // The close is stuck (a modal box waiting for an operator who is gone).
        ::signal(byte, SIG_DFL);
        ::raise(byte);
        return;
    }
    m_closing = true;
    closeOnceNoBoxIsOpen();
}

void CloseOnSignal::closeOnceNoBoxIsOpen()
{
    if (QWidget *box = QApplication::activeModalWidget()) {
        box->close();
        // Its nested event loop returns first; then look again.
        QTimer::singleShot(50, this, &CloseOnSignal::closeOnceNoBoxIsOpen);
        return;
    }
    m_close();
}
