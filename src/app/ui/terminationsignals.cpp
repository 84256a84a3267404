#include "app/ui/terminationsignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon {

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    // Only async-signal-safe work here: wake the event loop through the pipe.
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(g_signalPipe[0], &byte, 1);
}

} // namespace

TTerminationSignals::TTerminationSignals(QObject* parent) : QObject(parent)
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    notifier_ = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] ssize_t n = read(g_signalPipe[1], &byte, 1);
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
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        signal(sig, SIG_DFL);
    close(g_signalPipe[0]);
    close(g_signalPipe[1]);
}

} // namespace quillon
