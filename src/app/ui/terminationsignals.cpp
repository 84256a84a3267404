#include "app/ui/terminationsignals.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon {

namespace {

int g_signalPipe[2] = {-1, -1};
// One request waiting to be read is enough: a second one asks for the same shutdown.
std::atomic_flag g_requestPending = ATOMIC_FLAG_INIT;

void OnSignal(int)
{
    // Only async-signal-safe work here. The write cannot block: the socket is
    // non-blocking, and at most one byte is ever waiting in it, so a flood of signals
    // while the event loop is busy costs nothing.
    if (g_requestPending.test_and_set())
        return;
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(g_signalPipe[0], &byte, 1);
    errno = savedErrno;
}

bool MakeNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

TTerminationSignals::TTerminationSignals(QObject* parent) : QObject(parent)
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    if (!MakeNonBlocking(g_signalPipe[0]) || !MakeNonBlocking(g_signalPipe[1])) {
        close(g_signalPipe[0]);
        close(g_signalPipe[1]);
        g_signalPipe[0] = g_signalPipe[1] = -1;
        return;
    }
    g_requestPending.clear();
    notifier_ = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (read(g_signalPipe[1], bytes, sizeof bytes) > 0) {
        }
        // Cleared after the read, so a signal from now on wakes the loop again.
        g_requestPending.clear();
        emit Received();
    });
    struct sigaction action{};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
}

TTerminationSignals::~TTerminationSignals()
{
    if (!notifier_)
        return;
    // The files are written by now; signals that still arrive while the program winds
    // down must neither write to a closed socket nor cut the ending short.
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        signal(sig, SIG_IGN);
    close(g_signalPipe[0]);
    close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
}

} // namespace quillon
