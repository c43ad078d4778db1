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

void HoldSignals(std::initializer_list<int> signals)
{
    sigset_t held;
    sigemptyset(&held);
    for (int signal : signals)
        sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

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
    sigset_t taken;
    sigemptyset(&taken);
    for (const auto &[signal, call] : calls) {
        sigaction(signal, &action, nullptr);
        sigaddset(&taken, signal);
    }
    pthread_sigmask(SIG_UNBLOCK, &taken, nullptr);
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
