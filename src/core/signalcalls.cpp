#include "core/signalcalls.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace keelwatch {

namespace {

// The handler may only write: the signal's number, as a byte, wakes the
// owning thread's notifier.
int wakeFds[2] = {-1, -1};

void WakeOwningThread(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(wakeFds[0], &byte, 1);
}

} // namespace

SignalCalls::SignalCalls(std::vector<Call> signalCalls, QObject *parent)
    : QObject(parent), calls(std::move(signalCalls))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeFds) != 0)
        return;
    notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(wakeFds[1], &byte, 1) != 1)
            return;
        for (const auto &[signal, call] : calls) {
            if (signal == byte && call)
                call();
        }
    });
    struct sigaction action = {};
    action.sa_handler = WakeOwningThread;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const auto &[signal, call] : calls)
        sigaction(signal, &action, nullptr);
}

SignalCalls::~SignalCalls()
{
    for (const auto &[signal, call] : calls)
        std::signal(signal, SIG_DFL);
    for (int &fd : wakeFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace keelwatch
